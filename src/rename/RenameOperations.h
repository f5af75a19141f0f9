// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileSystem.h"
#include "platform/PropertyReader.h"
#include "database/NameDatabase.h"
#include "rename/NamingInputs.h"
#include "rename/Operations.h"
#include "rename/Plan.h"

namespace pelmora {

class Clock;
class ProgressSink;

// The engine of the rename operations: plans a run from the folder as it
// is, and applies a plan.
class RenameOperations {
public:
    // `source` reads the files' metadata; without one, each plan reads them
    // in worker processes of its own. Files move through `calls`.
    explicit RenameOperations(const Clock &clock, ProgressSink *progress = nullptr, MetadataSource *source = nullptr,
                              fs::RenameCalls &calls = fs::systemRenameCalls());

    // Works out the run from the folder as it is now; changes nothing.
    // An unreadable file simply has no properties.
    RenamePlan plan(Operation operation, const NamingInputs &inputs) const;

    // What undo would do: the files of the last finished run not undone
    // yet, back to their former names; changes nothing.
    OperationOutcome prepareUndo(NameDatabase &database) const;

    // Applies a plan: takes the folder, settles the runs cut short there that
    // left nothing to restore, checks it again, records the run, renames,
    // logs. The plan's files carry their end states and causes in the outcome.
    // A caller that has held the folder since it settled and checked it says
    // so (Done), and the folder is not looked at again.
    enum class FolderCheck { Needed, Done };
    OperationOutcome apply(RenamePlan plan, NameDatabase &database, FolderCheck check = FolderCheck::Needed);

private:
    const Clock &clock_;
    ProgressSink *progress_;
    MetadataSource *source_;
    fs::RenameCalls &calls_;
};

} // namespace pelmora
