// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The values of a rename run: each file with its names, state and cause,
// the whole plan, and what the run came to.

#include "platform/FileSystem.h"
#include "platform/PropertyReader.h"
#include "database/NameDatabase.h"
#include "rename/Operations.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace pelmora {

// Where a file of a run stands; the journal stores the same states.
enum class FileState { Planned, Temporary, Done, Failed, Restored, Undone };

// Why a file was not renamed.
enum class FailureCause {
    None,
    TargetExists,   // a file of the new name is there
    Vanished,       // the file is gone (renamed or removed since the plan)
    Permission,     // the folder or the file may not be changed
    NameRefused,    // the new name would leave the folder, or is empty
    LeftTemporary,  // the final rename failed and so did the way back
    Stopped,        // the run stopped before this file
    RolledBack,     // renamed, then taken back because the run was cut short
    ReadOnly,       // the volume may not be written
    DiskFull,       // the volume is full
    Unreachable,    // the volume went away (card pulled, share gone)
    NotTheSameFile, // another file bears the name now
    CompanionFailed, // its sidecar, or the file it follows, could not be renamed: kept with it
    Other
};

// What was set right in a file's date: its camera's clock, and the zone a
// movie's UTC time is shown in when it is not this computer's.
struct DateCorrection {
    // Photos: those of its camera; NearbyPhotos: of any camera, the movie naming none.
    enum class Zone : quint8 { Computer, Photos, NearbyPhotos, Chosen };
    QDateTime asRead;        // the date before; invalid when nothing was corrected
    qint64 clockOffset = 0;  // seconds added for its camera's clock
    Zone zoneFrom = Zone::Computer;
    QString zone;            // "+01:00", or "Europe/Paris +02:00" as chosen
    bool made() const { return asRead.isValid(); }
};

// One file of a run: what it was, what it becomes, and what happened.
struct PlannedRename {
    QString formerName;    // name before the run
    QString temporaryName; // where it steps aside, when it must (see viaTemporary), and a recovery's way back
    QString newName;       // name on disk after the run
    QString newFileName;   // the new name as the tables record it
    QDateTime date;        // invalid: no date
    DateSource dateSource = DateSource::None;
    DateOrigin dateOrigin;   // where the date taken came from; none for the file time
    DateCorrection correction; // how `date` differs from the date taken as read
    double subSecond = -1;   // orders a burst within one second; -1 unknown
    QString extension;
    QString camera;
    QString movieLong;
    FileState state = FileState::Planned;
    FailureCause cause = FailureCause::None;
    int undoOfPosition = -1; // undo: the position of the file in the run undone
    fs::FileIdentity identity; // which file it is, whatever its name
    bool nameTaken = false;    // another entry, which the run leaves alone, bears the new name
    bool takenByFolder = false; // ... and that entry is a folder
    int error = 0;             // the system's error number of a failure
    bool companion = false;    // a sidecar: follows the next file that is none, moved just before it
    QString shot;              // base name and second: a RAW and its JPEG share one; empty without a date
    int group = 0;             // the files of one group move, fail and stop as one
    bool viaTemporary = false; // steps aside under its temporary name first (a swap, a change of case alone)
    bool blocked = false;      // a file of its group has its new name taken: the group cannot run
    bool rawMate = false;      // a raw file no box names, taken for the JPEG of its shot
    bool dateStandsOut = false; // far from the dates of its camera's other files (a reset clock): named as read, flagged
};

// A file of the folder that the run leaves alone, and why.
struct LeftOut {
    // Folder, Special (a fifo, socket or device), DanglingLink, Link (to a
    // file): entries named as the files the run takes, which are none.
    // NoName: the replacement leaves no name, or a hidden one.
    enum class Reason { Extension, Unchanged, TemporaryName, UndecodableName, Unreadable, Folder, Special, DanglingLink,
                        Link, NoName };
    QString name;
    Reason reason;
};

// The whole run, worked out before any file is touched. Files stand in the
// order they are renamed.
struct RenamePlan {
    Operation operation = Operation::ShotDate;
    QString folder;
    std::vector<PlannedRename> files;
    std::vector<LeftOut> leftOut;
    int excluded = 0;     // left out for their extension, as the closing message counts them
    int unchanged = 0;    // left out as their new name is their name
    qint64 undoOf = 0;    // undo: the run undone, its operation and when it ran
    Operation undoneOperation = Operation::ShotDate;
    QDateTime undoneStarted;
    int progressCount = 0; // divisor of the progress: the file list's entry count
    QStringList unreadable; // files whose metadata could not be read in time: dated by file time
    QStringList undecodable; // files that take part but whose names are no UTF-8: not renamed
    QStringList unopened;    // files that take part but cannot be read: not renamed
    bool cancelled = false;  // the user stopped the planning: the plan is not whole
    bool keepShotsTogether = false; // the files of one shot (a pair) move, fail and stop together
    QString runKey;                 // in every temporary name of the run
};

struct OperationOutcome {
    enum class Status {
        Completed,
        StartNumberInvalid,
        TextUnusable,       // the Pre or Post Text holds what no name may hold
        FolderMissing,
        FolderReadOnly,     // the folder cannot be written
        FolderBusy,         // another run holds the folder
        StrayTemporaryNames, // temporary names no record explains: the journal was lost
        UnfinishedRun,      // files of a cut-short run still need their names back
        NothingToUndo,
        DatabaseUnavailable,
        Stopped             // the run stopped part-way; what was done is recorded
    };
    // Why a run stopped part-way.
    enum class StopReason { None, Database, ReadOnly, DiskFull, FolderGone, Cancelled };
    // Why an operation did not run, finer than its status.
    enum class Refusal {
        None,
        StartNumber,               // `subject`: the Start Number given
        UnusableText,              // `subject`: the character, in the box `textBox`; `count` 1 when only the folder's volume forbids it
        FolderMissing,             // `subject`: the folder
        FolderNotWritable,         // `subject`, and `error`: the system's error number
        FolderBusy,                // `subject`
        RecoverFirst,              // `subject`, and `count` files under temporary names
        RecoveryFolderUnavailable, // `subject`: the folder of a run cut short that is not there
        UnsettledRun,              // `subject`: the folder of a run cut short whose record is not settled yet
        StrayTemporaryNames,       // `subject`, and the `names`
        NothingToUndo,
        UndoChanged,
        UndoFolderMissing,         // `subject`: the last run's folder, gone for good
        UndoVolumeMissing,         // `subject`: the last run's folder, its volume out
        Database                   // `databaseFailure`
    };
    enum class TextBox { None, Pre, Post };
    Status status = Status::Completed;
    Refusal refusal = Refusal::None;
    TextBox textBox = TextBox::None;
    QString subject; // what the refusal names
    int count = 0;
    int error = 0;
    QStringList names;
    std::optional<Failure> databaseFailure; // a refusal's, or what stopped a run
    QString folder;  // the folder the outcome is about
    StopReason stopReason = StopReason::None;
    int renamed = 0;
    int failed = 0;
    int notDone = 0;       // files a stopped run did not reach
    int leftTemporary = 0; // files still under temporary names: the run stays open for recovery
    qint64 runId = 0;
    RenamePlan plan;
};

} // namespace pelmora
