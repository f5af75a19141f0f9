// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/MessageBoxes.h"

#include <QSize>

namespace pelmora {

// Message boxes as QMessageBox; the carriage returns of a text become
// visible line breaks here and nowhere else. A box with details is a dialog
// of the same texts, icon and buttons whose "詳細を表示..." button opens the
// table below them; the size the user gives it is kept in `settingsFile`
// (without one: for the program's life).
class QtMessageBoxes final : public MessageBoxes {
public:
    explicit QtMessageBoxes(QString settingsFile = {}) : settingsFile_(std::move(settingsFile)) {}
    Answer show(const QString &text, Buttons buttons, Icon icon, const QString &title,
                const DetailTable &details) override;

private:
    QString settingsFile_;
    QSize detailsSize_;
};

} // namespace pelmora
