#pragma once

#include "rename/NamingInputs.h"

#include <QDateTime>
#include <QString>

#include <vector>

namespace pelmora {

class Clock;
class NameDatabase;
class ProgressSink;

enum class Operation {
    ShotDate,       // by date taken, numbered per day
    NewNumber,      // by date modified, numbered per day
    KeepExisting,   // by date modified, lowest free number of the day
    NewAndExisting, // by date modified, former name kept in brackets
    ReplaceText,    // Pre Text replaced by Post Text
    AppendText      // "(" + Post Text + ")" before the extension
};

enum class FileResult { Planned, Renamed, Failed };

// One file of a run: what it was, what it becomes, and what happened.
struct PlannedRename {
    QString originalName;  // name before the run
    QString temporaryName; // two-pass operations only
    QString finalName;     // name on disk after the run
    QString newFileName;   // the new name as the tables record it
    QDateTime makeItDate;
    QString extension;
    QString camera;
    QString movieLong;
    FileResult result = FileResult::Planned;
};

// The whole run, worked out before any file is touched. Files stand in the
// order they are renamed.
struct RenamePlan {
    std::vector<PlannedRename> files;
    int excluded = 0;
};

struct OperationOutcome {
    enum class Status { Completed, StartNumberInvalid, FolderMissing, DatabaseUnavailable };
    Status status = Status::Completed;
    QString message; // the closing message, or what stopped the operation
    int renamed = 0;
    int failed = 0;
    RenamePlan plan;
};

class RenameOperations {
public:
    explicit RenameOperations(const Clock &clock, ProgressSink *progress = nullptr);

    // Works out the run from the folder as it is now; changes nothing.
    // Throws nothing: an unreadable file simply has no properties.
    RenamePlan plan(Operation operation, const NamingInputs &inputs) const;

    // Checks the inputs, plans, and applies the plan. An unusable database
    // renames nothing.
    OperationOutcome run(Operation operation, const NamingInputs &inputs, NameDatabase &database);

    // Applies a plan: empties FileNameList, records the run, renames, logs.
    OperationOutcome apply(Operation operation, const NamingInputs &inputs, RenamePlan plan,
                           NameDatabase &database);

    // What stops an operation before anything happens; Completed when
    // nothing does.
    static OperationOutcome check(Operation operation, const NamingInputs &inputs);

private:
    const Clock &clock_;
    ProgressSink *progress_;
};

} // namespace pelmora
