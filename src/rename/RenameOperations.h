#pragma once

#include "platform/FileSystem.h"
#include "platform/PropertyReader.h"
#include "rename/NameDatabase.h"
#include "rename/Plan.h"
#include "rename/NamingInputs.h"
#include "rename/Operations.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace pelmora {

class Clock;
class ProgressSink;

class RenameOperations {
public:
    explicit RenameOperations(const Clock &clock, ProgressSink *progress = nullptr);

    // What stops an operation before anything happens; Completed when
    // nothing does.
    static OperationOutcome check(Operation operation, const NamingInputs &inputs);
    // What stops a run in the folder: another run holding it, or files of a
    // run cut short still under temporary names. Closes cut-short runs that
    // left nothing to restore.
    static OperationOutcome checkFolder(const QString &folder, NameDatabase &database);

    // Works out the run from the folder as it is now; changes nothing.
    // An unreadable file simply has no properties.
    RenamePlan plan(Operation operation, const NamingInputs &inputs) const;

    // Applies a plan: takes the folder, records the run, renames, logs. The
    // plan's files carry their end states and causes in the outcome.
    OperationOutcome apply(RenamePlan plan, NameDatabase &database);

    // check + plan + apply.
    OperationOutcome run(Operation operation, const NamingInputs &inputs, NameDatabase &database);
    OperationOutcome undo(NameDatabase &database);
    // What undo would do, for the question and for --dry-run alike: the
    // files of the last finished run not undone yet, back to their former
    // names. Settles runs cut short first, and refuses while one still has
    // files under temporary names. Completed with the plan in the outcome,
    // or why there is nothing to undo.
    OperationOutcome prepareUndo(NameDatabase &database) const;

private:
    const Clock &clock_;
    ProgressSink *progress_;
};

} // namespace pelmora
