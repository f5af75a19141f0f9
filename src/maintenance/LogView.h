// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "database/NameDatabase.h"

#include <QDialog>

#include <memory>

namespace pelmora {

class Clock;

// "Form1": the rename log, newest first. Holds the database open while it is
// open, so that a compaction meanwhile is refused. Throws DatabaseError when
// the database cannot be read.
class LogView : public QDialog {
    Q_OBJECT
public:
    LogView(const QString &dataFolder, const Clock &clock, QWidget *parent = nullptr);
    ~LogView() override;

private:
    std::unique_ptr<NameDatabase> database_;
};

} // namespace pelmora
