// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileSystem.h"
#include "rename/NamingInputs.h"
#include "rename/Operations.h"
#include "rename/Plan.h"

#include <optional>

namespace pelmora {

class Clock;
class MetadataSource;
class NameDatabase;
class ProgressSink;

// One rename or undo as a person runs it, from the window or a script:
// prepared (checked and planned), shown, then applied or dropped. From
// prepare to apply the session holds the folder, so that no other run
// changes it between the preview and the answer.
class RenameSession {
public:
    // Files move through `calls`; a test gives its own to play a volume.
    explicit RenameSession(const Clock &clock, ProgressSink *progress = nullptr, MetadataSource *source = nullptr,
                           fs::RenameCalls &calls = fs::systemRenameCalls());
    ~RenameSession();
    // Where the planning and the run show their progress, and are stopped.
    void setProgress(ProgressSink *progress) { progress_ = progress; }

    // What a run would do, for --dry-run: the inputs and, given a database,
    // the folder checked, and the plan. Changes nothing.
    OperationOutcome preview(Operation operation, const NamingInputs &inputs, NameDatabase *database = nullptr);
    // What an undo would do; changes nothing.
    OperationOutcome previewUndo(NameDatabase &database);

    // Checks the inputs, takes the folder, settles the runs cut short there
    // that left nothing to restore, checks the folder and plans. Completed
    // with the plan in the outcome; Stopped when the user stopped the
    // planning; else the refusal.
    OperationOutcome prepare(Operation operation, const NamingInputs &inputs, NameDatabase &database);
    // The undo of the last run, prepared alike.
    OperationOutcome prepareUndo(NameDatabase &database);
    // Applies what was prepared, and lets the folder go.
    OperationOutcome apply();

    // prepare, then apply: for a script, which asks no question.
    OperationOutcome run(Operation operation, const NamingInputs &inputs, NameDatabase &database);
    OperationOutcome undo(NameDatabase &database);

private:
    // Holds the folder from here on, settles its quiet runs, and checks it.
    OperationOutcome takeFolder(const QString &folder, NameDatabase &database);

    const Clock &clock_;
    ProgressSink *progress_;
    MetadataSource *source_;
    fs::RenameCalls &calls_;
    NameDatabase *database_ = nullptr;
    std::optional<fs::FolderLock> lock_;
    RenamePlan plan_;
};

} // namespace pelmora
