// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CameraClockWindow.h"

#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "text/Messages.h"
#include "widgets/WindowLook.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace pelmora {

namespace {

namespace column {
constexpr int Camera = 0, Files = 1, First = 2, Last = 3, Offset = 4, Suggested = 5;
}

// The movie zone choices, in the order of the list.
enum ZoneChoice { Computer, Photos, PhotosElseZone };

QTableWidgetItem *readOnlyItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

} // namespace

CameraClockWindow::CameraClockWindow(const QString &folder, std::vector<CameraSummary> cameras,
                                     const QString &movieZone, MessageBoxes &messages, QWidget *parent)
    : QDialog(parent)
    , cameras_(std::move(cameras))
    , messages_(messages)
    , movieZone_(movieZone)
{
    setObjectName(QStringLiteral("CameraClockWindow"));
    setWindowTitle(text::kCameraClocksTitle);
    useLightGreenBackground(this);
    auto *layout = new QVBoxLayout(this);
    auto *about = new QLabel(text::cameraClocksIntro(folder, cameras_.empty()), this);
    about->setWordWrap(true);
    layout->addWidget(about);

    Grd_Cameras = new QTableWidget(int(cameras_.size()), 6, this);
    Grd_Cameras->setObjectName(QStringLiteral("Grd_Cameras"));
    Grd_Cameras->setHorizontalHeaderLabels({QStringLiteral("カメラ"), QStringLiteral("ファイル数"),
                                            QStringLiteral("最初の日時"), QStringLiteral("最後の日時"),
                                            QStringLiteral("補正"), QStringLiteral("GPSからの提案")});
    Grd_Cameras->verticalHeader()->hide();
    Grd_Cameras->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int row = 0; row < int(cameras_.size()); ++row) {
        const CameraSummary &camera = cameras_[size_t(row)];
        const QString serial = camera.camera.serial.isEmpty() ? QString() : QStringLiteral(" #") + camera.camera.serial;
        Grd_Cameras->setItem(row, column::Camera, readOnlyItem(cameraName(camera.camera) + serial));
        Grd_Cameras->setItem(row, column::Files, readOnlyItem(QString::number(camera.files)));
        Grd_Cameras->setItem(row, column::First, readOnlyItem(fixedDateTimeText(camera.first, u'/')));
        Grd_Cameras->setItem(row, column::Last, readOnlyItem(fixedDateTimeText(camera.last, u'/')));
        Grd_Cameras->setItem(row, column::Offset, new QTableWidgetItem(offsetSecondsText(camera.offset)));
        Grd_Cameras->setItem(row, column::Suggested,
                             readOnlyItem(camera.suggested ? offsetSecondsText(*camera.suggested) : QString()));
    }
    Grd_Cameras->resizeColumnsToContents();
    Grd_Cameras->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(Grd_Cameras);

    auto *suggestionRow = new QHBoxLayout;
    auto *useSuggestion = new QPushButton(QStringLiteral("提案を使う"), this);
    useSuggestion->setObjectName(QStringLiteral("Cmd_UseSuggestion"));
    useSuggestion->setToolTip(QStringLiteral("選んだカメラの補正を、GPSの時刻から求めた値にします"));
    suggestionRow->addWidget(useSuggestion);
    suggestionRow->addStretch();
    layout->addLayout(suggestionRow);

    auto *zoneRow = new QHBoxLayout;
    auto *zoneLabel = new QLabel(QStringLiteral("動画の時間帯"), this);
    Cmb_MovieZone = new QComboBox(this);
    Cmb_MovieZone->setObjectName(QStringLiteral("Cmb_MovieZone"));
    Cmb_MovieZone->addItems({QStringLiteral("このコンピューターの時間帯"), QStringLiteral("同じカメラの写真の時間帯"),
                             QStringLiteral("同じカメラの写真の時間帯、なければ次の時間帯")});
    zoneLabel->setBuddy(Cmb_MovieZone);
    Txt_MovieZone = new QLineEdit(this);
    Txt_MovieZone->setObjectName(QStringLiteral("Txt_MovieZone"));
    Txt_MovieZone->setPlaceholderText(QStringLiteral("+09:00 / Europe/Paris"));
    const QString chosen = movieZone.trimmed();
    Cmb_MovieZone->setCurrentIndex(chosen.isEmpty() ? Computer : chosen == u"photos" ? Photos : PhotosElseZone);
    if (Cmb_MovieZone->currentIndex() == PhotosElseZone)
        Txt_MovieZone->setText(chosen);
    Txt_MovieZone->setEnabled(Cmb_MovieZone->currentIndex() == PhotosElseZone);
    connect(Cmb_MovieZone, &QComboBox::currentIndexChanged, this,
            [this](int index) { Txt_MovieZone->setEnabled(index == PhotosElseZone); });
    zoneRow->addWidget(zoneLabel);
    zoneRow->addWidget(Cmb_MovieZone);
    zoneRow->addWidget(Txt_MovieZone, 1);
    layout->addLayout(zoneRow);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *save = buttons->addButton(QStringLiteral("保存"), QDialogButtonBox::AcceptRole);
    save->setObjectName(QStringLiteral("Cmd_Save"));
    QPushButton *cancel = buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("Cmd_Cancel"));
    layout->addWidget(buttons);

    connect(useSuggestion, &QPushButton::clicked, this, &CameraClockWindow::useSuggestions);
    connect(buttons, &QDialogButtonBox::accepted, this, &CameraClockWindow::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(760, 420);
    fitIntoScreen(this);
}

void CameraClockWindow::useSuggestions()
{
    for (const QModelIndex &index : Grd_Cameras->selectionModel()->selectedRows()) {
        const CameraSummary &camera = cameras_[size_t(index.row())];
        if (camera.suggested)
            Grd_Cameras->item(index.row(), column::Offset)->setText(offsetSecondsText(*camera.suggested));
    }
}

void CameraClockWindow::save()
{
    std::vector<ClockOffset> changed;
    for (int row = 0; row < int(cameras_.size()); ++row) {
        const CameraSummary &camera = cameras_[size_t(row)];
        const QString typed = Grd_Cameras->item(row, column::Offset)->text();
        const std::optional<qint64> seconds = typed.trimmed().isEmpty() ? qint64(0) : parseOffsetSeconds(typed);
        if (!seconds) {
            messages_.show(text::clockOffsetUnreadable(cameraName(camera.camera), typed), Buttons::Ok,
                           Icon::Exclamation, text::kCameraClocksTitle);
            Grd_Cameras->setCurrentCell(row, column::Offset);
            return;
        }
        if (*seconds != camera.offset)
            changed.push_back({cameraName(camera.camera), camera.camera.serial, *seconds});
    }
    QString zone;
    if (Cmb_MovieZone->currentIndex() == Photos)
        zone = QStringLiteral("photos");
    if (Cmb_MovieZone->currentIndex() == PhotosElseZone) {
        zone = Txt_MovieZone->text().trimmed();
        DateCorrections check;
        if (zone.isEmpty() || zone == u"photos" || !chooseMovieZone(zone, check)) {
            messages_.show(text::zoneUnknown(zone), Buttons::Ok, Icon::Exclamation,
                           text::kCameraClocksTitle);
            Txt_MovieZone->setFocus();
            return;
        }
    }
    changed_ = std::move(changed);
    movieZone_ = zone;
    accept();
}

} // namespace pelmora
