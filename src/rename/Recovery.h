#pragma once

#include "rename/Journal.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace pelmora {

class NameDatabase;

// A run that was cut short (the program was killed, the machine stopped, the
// card was pulled), whose folder no live run holds.
struct UnfinishedRun {
    journal::Run run;
    int awaitingRestore = 0; // files still under temporary names
    int goingBack = 0;       // files a recovery moves: those under temporary names and those the run renamed
    bool folderUnavailable = false; // its folder is not there (card out): nothing of it can be settled now
};

// Runs cut short, after taking up again the runs a recovery closed on what
// was not their folder (a copy of the card in its slot) whose folder now
// shows their temporary names.
std::vector<UnfinishedRun> findUnfinishedRuns(NameDatabase &database);
void takeUpRunsShownByTheirNames(NameDatabase &database);
// The closed run whose file the folder holds under one of the run's
// temporary names, if any: that run was closed on another folder.
std::optional<journal::Run> showsAClosedRun(NameDatabase &database, const QString &folder, const QString &name);

// Where the run's folder is now: its recorded path, or the same folder on
// its volume mounted elsewhere, recognised by the files of the run. Empty
// when neither is there.
QString currentFolderOf(NameDatabase &database, const journal::Run &run);

struct RecoveryResult {
    QString folder;
    bool folderUnavailable = false; // nothing done: the run waits for its folder
    int restored = 0;  // back under their former names
    int completed = 0; // renamed before the cut but not yet recorded: recorded now
    int failed = 0;    // could not be given their former names back
    QStringList notRestored;
    QStringList unaccounted; // files of the run found under none of their names with their content
    bool stopped = false;    // the volume stopped taking writes: the run stays open for the next recovery
};

// Reconciles the run's record with what its folder holds: files under
// temporary names get their former names back (never replacing a file),
// renames that happened are recorded and logged, and the run is closed once
// no file of it is left under a temporary name.
RecoveryResult recover(NameDatabase &database, const journal::Run &run);

// Closes the unfinished runs of the folder that left nothing under a
// temporary name, and counts the files that still wait for their former
// names. The caller holds the folder.
int filesAwaitingRestore(NameDatabase &database, const QString &folder);

// The same for every folder: closes the quiet ones, and gives the first run
// whose files still wait for their former names, if any. A run whose folder
// is not there is left as it is and given only when `withUnavailable`.
std::optional<UnfinishedRun> settleUnfinishedRuns(NameDatabase &database, bool withUnavailable = false);

} // namespace pelmora
