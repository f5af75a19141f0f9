// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dates/CameraClocks.h"

#include <QDialog>

#include <vector>

class QComboBox;
class QLineEdit;
class QTableWidget;

namespace pelmora {

class MessageBoxes;

// "カメラの時計": the cameras of the current folder, each with its files,
// its first and last date and its offset, which the user edits; what GPS
// time suggests is shown beside it and used only on a click. Below, the
// zone movies are shown in. Save checks every text, then accepts.
class CameraClockWindow : public QDialog {
    Q_OBJECT
public:
    CameraClockWindow(const QString &folder, std::vector<CameraSummary> cameras, const QString &movieZone,
                      MessageBoxes &messages, QWidget *parent = nullptr);

    // Once accepted: the offsets the user changed, by camera and serial.
    const std::vector<ClockOffset> &changedOffsets() const { return changed_; }
    // Once accepted: the zone choice, as chooseMovieZone reads it.
    const QString &movieZone() const { return movieZone_; }

private:
    void useSuggestions();
    void save();

    std::vector<CameraSummary> cameras_;
    MessageBoxes &messages_;
    QTableWidget *Grd_Cameras = nullptr;
    QComboBox *Cmb_MovieZone = nullptr;
    QLineEdit *Txt_MovieZone = nullptr;
    std::vector<ClockOffset> changed_;
    QString movieZone_;
};

} // namespace pelmora
