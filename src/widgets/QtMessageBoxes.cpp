// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/QtMessageBoxes.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QAbstractTableModel>
#include <QTableView>

#include <algorithm>
#include <QScrollBar>

namespace pelmora {

namespace {

// A message box is as wide as its text needs, and the window manager then
// cuts a longer title ("実施確認【ファイル名変換(新規付番)】"). Room is kept for
// the title, in a title bar's somewhat larger font, and the bar's buttons.
void keepRoomForTitle(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) * 6 / 5 + 140;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

// The icon and the buttons of a box, for QMessageBox and for the box with
// details alike (QDialogButtonBox's buttons have QMessageBox's values).
QMessageBox::Icon messageIconOf(Icon icon)
{
    switch (icon) {
    case Icon::Information: return QMessageBox::Information;
    case Icon::Exclamation: return QMessageBox::Warning;
    case Icon::Critical: return QMessageBox::Critical;
    case Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons standardButtonsOf(Buttons buttons)
{
    switch (buttons) {
    case Buttons::Ok: return QMessageBox::Ok;
    case Buttons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case Buttons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

// The answer of a box closed without a button (Escape, the title bar's
// close button), as QMessageBox gives it.
Answer escapeAnswer(Buttons buttons)
{
    switch (buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::YesNo: return Answer::No;
    case Buttons::YesNoCancel: return Answer::Cancel;
    }
    return Answer::Cancel;
}

// The table as a model that reads its cells where they are: a run of tens
// of thousands of files makes no item per cell.
// Ctrl+Home and Ctrl+End go to the first and last row, staying in the
// column shown: the former names never scroll out of view for them.
class RowsTableView final : public QTableView {
protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override
    {
        const QModelIndex moved = QTableView::moveCursor(action, modifiers);
        if ((action == MoveHome || action == MoveEnd) && moved.isValid())
            return moved.sibling(moved.row(), std::max(currentIndex().column(), 0));
        return moved;
    }
};

class DetailTableModel final : public QAbstractTableModel {
public:
    DetailTableModel(const DetailTable &details, QObject *parent)
        : QAbstractTableModel(parent)
        , details_(details)
    {
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(details_.rows.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(details_.headings.size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        const DetailTable::Row &row = details_.rows[size_t(index.row())];
        if (role == Qt::DisplayRole)
            return row.cells.value(index.column());
        if (role == Qt::BackgroundRole && row.marked)
            return QBrush(QColor(255, 236, 179)); // a pale amber: stands out without alarming
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return details_.headings.value(section);
        return QAbstractTableModel::headerData(section, orientation, role);
    }

private:
    const DetailTable &details_; // outlives the box that shows it
};

const QString kDetailsSizeKey = QStringLiteral("DetailsBox/size");

// A box whose details are a table, shown and hidden by a button below the
// text, as QMessageBox shows its details text.
class DetailsBox final : public QDialog {
public:
    DetailsBox(const QString &text, Buttons buttons, Icon icon, const QString &title, const DetailTable &details,
               QSize &kept)
        : QDialog(QApplication::activeWindow()), kept_(kept)
    {
        setObjectName(QStringLiteral("DetailsBox"));
        setWindowTitle(title.isEmpty() ? kApplicationTitle : title);
        auto *grid = new QGridLayout(this);
        auto *iconLabel = new QLabel;
        iconLabel->setPixmap(QMessageBox::standardIcon(messageIconOf(icon)));
        iconLabel->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
        grid->addWidget(iconLabel, 0, 0);
        // Lines break where the text breaks them, never inside a word.
        auto *label = new QLabel(QString(text).replace(u'\r', u'\n'));
        label->setObjectName(QStringLiteral("text"));
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        grid->addWidget(label, 0, 1);
        grid->setColumnStretch(1, 1);
        grid->setHorizontalSpacing(16);

        auto *row = new QHBoxLayout;
        toggle_ = new QPushButton(showText());
        toggle_->setObjectName(QStringLiteral("detailsButton"));
        toggle_->setAutoDefault(false);
        row->addWidget(toggle_);
        row->addStretch();
        auto *box = new QDialogButtonBox(QDialogButtonBox::StandardButtons(standardButtonsOf(buttons).toInt()));
        row->addWidget(box);
        grid->addLayout(row, 1, 0, 1, 2);

        table_ = new RowsTableView;
        table_->setObjectName(QStringLiteral("detailsTable"));
        table_->setModel(new DetailTableModel(details, table_));
        table_->setSelectionBehavior(QAbstractItemView::SelectRows);
        table_->setWordWrap(false);
        table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
        table_->verticalHeader()->hide();
        table_->horizontalHeader()->setStretchLastSection(true);
        table_->resizeColumnsToContents();
        table_->hide();
        grid->addWidget(table_, 2, 0, 1, 2);
        grid->setRowStretch(2, 1);

        QPushButton *initial = box->button(buttons == Buttons::Ok ? QDialogButtonBox::Ok : QDialogButtonBox::Yes);
        initial->setDefault(true);
        initial->setFocus();
        connect(box, &QDialogButtonBox::clicked, this, [this, box](QAbstractButton *button) {
            switch (box->standardButton(button)) {
            case QDialogButtonBox::Yes: answer_ = Answer::Yes; break;
            case QDialogButtonBox::No: answer_ = Answer::No; break;
            case QDialogButtonBox::Cancel: answer_ = Answer::Cancel; break;
            default: answer_ = Answer::Ok; break;
            }
            accept();
        });
        answer_ = escapeAnswer(buttons);
        connect(toggle_, &QPushButton::clicked, this, [this] { showTable(table_->isHidden()); });
    }

    Answer answer() const { return answer_; }

    void showTable(bool shown)
    {
        if (!shown)
            remember();
        table_->setVisible(shown);
        toggle_->setText(shown ? QCoreApplication::translate("QMessageBox", "Hide Details...") : showText());
        layout()->activate();
        if (!shown) {
            resize(minimumSizeHint());
            return;
        }
        // At least fifteen rows, or the size the user gave it last, within the screen.
        const int rows = std::min<int>(15, table_->model()->rowCount());
        const int tableHeight = table_->horizontalHeader()->height() + rows * table_->verticalHeader()->defaultSectionSize()
            + 2 * table_->frameWidth() + table_->horizontalScrollBar()->sizeHint().height();
        QSize wanted(std::max(width(), table_->horizontalHeader()->length() + 40), height() + tableHeight);
        if (kept_.isValid())
            wanted = kept_;
        if (const QScreen *screen = this->screen())
            wanted = wanted.boundedTo(screen->availableGeometry().size() * 9 / 10);
        resize(wanted);
    }

protected:
    void done(int result) override
    {
        remember();
        QDialog::done(result);
    }

private:
    static QString showText() { return QCoreApplication::translate("QMessageBox", "Show Details..."); }
    void remember()
    {
        if (table_->isVisible())
            kept_ = size();
    }

    QSize &kept_;
    QPushButton *toggle_;
    QTableView *table_;
    Answer answer_ = Answer::Cancel;
};

} // namespace

Answer QtMessageBoxes::show(const QString &text, Buttons buttons, Icon icon, const QString &title,
                            const DetailTable &details)
{
    if (!details.empty()) {
        if (!settingsFile_.isEmpty() && !detailsSize_.isValid())
            detailsSize_ = QSettings(settingsFile_, QSettings::IniFormat).value(kDetailsSizeKey).toSize();
        const QSize before = detailsSize_;
        DetailsBox box(text, buttons, icon, title, details, detailsSize_);
        box.exec();
        if (!settingsFile_.isEmpty() && detailsSize_ != before)
            QSettings(settingsFile_, QSettings::IniFormat).setValue(kDetailsSizeKey, detailsSize_);
        return box.answer();
    }
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title.isEmpty() ? kApplicationTitle : title);
    box.setText(QString(text).replace(u'\r', u'\n'));
    box.setIcon(messageIconOf(icon));
    box.setStandardButtons(standardButtonsOf(buttons));
    if (buttons != Buttons::Ok)
        box.setDefaultButton(QMessageBox::Yes);
    if (buttons == Buttons::YesNoCancel)
        box.setEscapeButton(QMessageBox::Cancel);
    keepRoomForTitle(box);
    switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Cancel: return Answer::Cancel;
    default: return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
}

} // namespace pelmora
