// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

namespace pelmora {

// What is read while a run is planned, before any file is renamed: every
// file, for its identity (and a JPEG's date, from the same read), then the
// dates of the others.
enum class Reading { Files, Dates };

// Where an operation reports its progress, 0 to 100.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void show() = 0;
    virtual void setValue(int percent) = 0;
    virtual void hide() = 0;
    // While the run is planned, before the bar shows the renames: `done` of
    // `total` files read. Called often; a sink shows what it needs.
    virtual void reading(Reading, qsizetype /*done*/, qsizetype /*total*/) {}
    // The user asked the run to stop: asked between two files.
    virtual bool stopRequested() const { return false; }
};

} // namespace pelmora
