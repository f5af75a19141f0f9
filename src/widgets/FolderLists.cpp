// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/FolderLists.h"

#include "platform/FileSystem.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>

namespace pelmora {

namespace {
constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;
constexpr int kIndentPerLevel = 12;

// Indents each folder by its depth in the drawing, not in its text, so that
// typing a folder's first letters finds it.
class IndentingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        // The row's background (the selection) across the whole width, then
        // its icon and name further in.
        QStyleOptionViewItem row = option;
        initStyleOption(&row, index);
        row.text.clear();
        row.icon = QIcon();
        const QWidget *view = option.widget;
        QStyle *style = view ? view->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &row, painter, view);
        QStyleOptionViewItem indented = option;
        indented.rect.setLeft(option.rect.left() + indent(index));
        QStyledItemDelegate::paint(painter, indented, index);
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(index), 0);
    }

private:
    static int indent(const QModelIndex &index) { return index.data(kDepthRole).toInt() * kIndentPerLevel; }
};

QString normalisedFolder(const QString &folder)
{
    QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    return clean.isEmpty() ? QStringLiteral("/") : clean;
}
} // namespace

FolderList::FolderList(QWidget *parent)
    : QListWidget(parent)
{
    setItemDelegate(new IndentingDelegate(this));
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { setPath(item->data(kPathRole).toString()); });
}

bool FolderList::setPath(const QString &folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    path_ = normalisedFolder(folder);
    fill();
    emit pathChanged(path_);
    return true;
}

void FolderList::fill()
{
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    QStringList chain;
    for (QDir dir(path_);; ) {
        chain.prepend(dir.absolutePath());
        if (!dir.cdUp())
            break;
    }
    int depth = 0;
    for (const QString &folder : chain) {
        const QString name = folder == u"/" ? folder : QFileInfo(folder).fileName();
        auto *item = new QListWidgetItem(open, name, this);
        item->setData(kPathRole, folder);
        item->setData(kDepthRole, depth);
        ++depth;
    }
    setCurrentRow(count() - 1);
    const QStringList children = QDir(path_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &child : children) {
        auto *item = new QListWidgetItem(closed, child, this);
        item->setData(kPathRole, fs::joinPath(path_, child));
        item->setData(kDepthRole, depth);
    }
}

FileList::FileList(QWidget *parent)
    : QListWidget(parent)
{
}

void FileList::setFolder(const QString &folder)
{
    folder_ = folder;
    reread();
}

void FileList::reread()
{
    clear();
    // A name that is no UTF-8 (Shift JIS from an old camera) is listed too,
    // its bytes written as the closing message writes them ("\x93").
    QStringList undecodable;
    QStringList names = fs::listPlainFiles(folder_, &undecodable);
    names << undecodable;
    fs::sortNames(names);
    addItems(names);
}

DriveList::DriveList(QWidget *parent)
    : QComboBox(parent)
{
    listVolumes();
    connect(this, &QComboBox::textActivated, this, &DriveList::driveChosen);
}

void DriveList::showPopup()
{
    listVolumesAgain();
    QComboBox::showPopup();
}

void DriveList::listVolumesAgain()
{
    // A card put in or taken out since is shown as it is now.
    const QString shown = currentText();
    const QSignalBlocker blocker(this);
    clear();
    listVolumes();
    setCurrentIndex(std::max(0, findText(shown)));
}

void DriveList::listVolumes()
{
    QStringList roots;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && !roots.contains(volume.rootPath())
            && fs::isUserVolume(volume.rootPath()))
            roots.append(volume.rootPath());
    }
    if (!roots.contains(QStringLiteral("/")))
        roots.append(QStringLiteral("/"));
    roots.sort();
    addItems(roots);
}

int DriveList::indexHolding(const QString &folder) const
{
    // The volume with the longest root that holds the folder.
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemText(i);
        const bool holds = root == u"/" || folder == root || folder.startsWith(root + u'/');
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

void DriveList::showDriveOf(const QString &folder)
{
    listVolumesAgain();
    const int index = indexHolding(folder);
    if (index >= 0) {
        const QSignalBlocker blocker(this);
        setCurrentIndex(index);
    }
}

std::optional<QString> DriveList::showDriveThatHeld(const QString &folder)
{
    listVolumesAgain();
    const int index = indexHolding(folder);
    if (index < 0)
        return std::nullopt;
    const QString root = itemText(index);
    // Below the places where cards are mounted, the system's own volume
    // holds only the empty slot: the card's volume is not ready.
    static const QStringList cardSlots = {QStringLiteral("/media/"), QStringLiteral("/run/media/"), QStringLiteral("/mnt/")};
    const bool cardOut = root == u"/"
        && std::any_of(cardSlots.begin(), cardSlots.end(), [&](const QString &slot) { return folder.startsWith(slot); });
    const QFileInfo info(root);
    if (cardOut || !info.isDir() || !info.isReadable())
        return std::nullopt;
    const QSignalBlocker blocker(this);
    setCurrentIndex(index);
    return root;
}

} // namespace pelmora
