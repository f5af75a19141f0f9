#pragma once

#include "rename/Journal.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace pelmora {

class NameDatabase;

// A run that was cut short (the program was killed or the machine stopped),
// whose folder no live run holds.
struct UnfinishedRun {
    journal::Run run;
    int awaitingRestore = 0; // files still under temporary names
};

std::vector<UnfinishedRun> findUnfinishedRuns(NameDatabase &database);

struct RecoveryResult {
    QString folder;
    int restored = 0;  // back under their former names
    int completed = 0; // renamed before the cut but not yet recorded: recorded now
    int failed = 0;    // could not be given their former names back
    QStringList notRestored;
};

// Reconciles the run's record with what its folder holds: files under
// temporary names get their former names back (never replacing a file),
// renames that happened are recorded and logged, and the run is closed.
RecoveryResult recover(NameDatabase &database, const journal::Run &run);

// Closes the unfinished runs of the folder that left nothing under a
// temporary name, and counts the files that still wait for their former
// names. The caller holds the folder.
int filesAwaitingRestore(NameDatabase &database, const QString &folder);

// The same for every folder: closes the quiet ones, and gives the first run
// whose files still wait for their former names, if any.
std::optional<UnfinishedRun> settleUnfinishedRuns(NameDatabase &database);

namespace text {
QString strandedQuestion(const UnfinishedRun &run);
QString restoreSummary(const RecoveryResult &result);
inline const QString kStrandedTitle = QStringLiteral("中断された処理");
} // namespace text

} // namespace pelmora
