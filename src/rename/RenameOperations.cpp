// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/RenameOperations.h"

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/IsolatedReader.h"
#include "rename/Candidates.h"
#include "rename/Companions.h"
#include "rename/Executor.h"
#include "rename/MoveOrder.h"
#include "rename/Journal.h"
#include "database/NameDatabase.h"
#include "rename/Naming.h"
#include "rename/Progress.h"
#include "rename/Recovery.h"
#include "rename/RunGuards.h"
#include "rename/UndoPlan.h"

namespace pelmora {

namespace {

using Refusal = OperationOutcome::Refusal;

// The progress bar, shown while a run moves its files.
class ProgressShown {
public:
    explicit ProgressShown(ProgressSink *sink)
        : sink_(sink)
    {
        if (sink_)
            sink_->show();
    }
    ~ProgressShown()
    {
        if (sink_)
            sink_->hide();
    }
    ProgressShown(const ProgressShown &) = delete;
    ProgressShown &operator=(const ProgressShown &) = delete;

private:
    ProgressSink *sink_;
};

std::vector<ListRow> listRowsFor(const OperationRules &rules, const RenamePlan &plan)
{
    std::vector<ListRow> rows;
    if (rules.listRows == ListRows::None)
        return rows;
    for (const PlannedRename &file : plan.files) {
        ListRow row;
        row.makeItDate = file.date;
        row.extension = file.extension;
        row.newFileName = file.newFileName;
        if (rules.listRows == ListRows::Current) {
            row.fileName = file.formerName;
        } else {
            row.fileName = file.temporaryName;
            row.originalFileName = rules.listRows == ListRows::TemporaryNoExt ? fs::baseNameOf(file.formerName)
                                                                              : file.formerName;
            row.camera = file.camera;
            row.movieLong = file.movieLong;
        }
        rows.push_back(row);
    }
    return rows;
}

// New names for the files, the sidecars attached to them, and the groups
// that cannot run marked.
void nameFiles(const OperationRules &rules, const NamingInputs &inputs, const FolderNames &names,
               std::vector<SetAside> sidecars, RenamePlan &plan, const ShotNameFree &free = {})
{
    switch (rules.naming) {
    case Naming::ByDay: nameByDay(rules, inputs, plan.files, free); break;
    case Naming::LowestFree: nameLowestFree(inputs, names, plan.files); break;
    case Naming::Replace:
    case Naming::Append: nameByText(rules, inputs, plan); break;
    case Naming::Former: break;
    }
    // A RAW and its JPEG move as one in every operation.
    plan.keepShotsTogether = inputs.companions;
    for (PlannedRename &file : plan.files)
        file.shot = shotKey(inputs, file);
    if (plan.keepShotsTogether)
        bringShotsTogether(plan.files);
    attachSidecars(rules, std::move(sidecars), plan);
    markTakenNames(names, plan);
    assignGroups(plan);
    markBlockedGroups(plan);
}

// The entries no file of the run bears now: they stay.
QSet<QString> staying(const FolderNames &names, const std::vector<PlannedRename> &files,
                      const std::vector<SetAside> &sidecars)
{
    QSet<QString> held = keysNotBorneBy(names, files);
    for (const SetAside &sidecar : sidecars)
        held.remove(names.key(sidecar.file.formerName));
    return held;
}

// Whether a shot can take a new file name: no name of its files or their
// sidecars is held, and no entry that stays and is named as a sidecar would
// be taken for one of its files' on the next run (a stray 080530-001.AAE
// beside what becomes 080530-001.JPG).
ShotNameFree shotNameFree(const FolderNames &names, const QSet<QString> &held, QHash<QString, QStringList> endings)
{
    QSet<QString> strays;
    for (const QString &name : held) {
        if (isSidecarName(name) && !names.folderKeys.contains(name))
            strays.insert(fs::matchKey(name));
    }
    return [&names, held, strays, endings = std::move(endings)](const std::vector<const PlannedRename *> &shot,
                                                                       const QString &newFileName) {
        static const QStringList kSidecars{QStringLiteral(".xmp"), QStringLiteral(".aae"), QStringLiteral(".thm"),
                                           QStringLiteral(".lrv")};
        return std::none_of(shot.begin(), shot.end(), [&](const PlannedRename *file) {
            const QString name = newFileName + u'.' + file->extension;
            const QStringList ending = endings.value(file->formerName);
            const bool taken = held.contains(names.key(name))
                || std::any_of(ending.begin(), ending.end(),
                               [&](const QString &end) { return held.contains(names.key(newFileName + end)); });
            return taken || std::any_of(kSidecars.begin(), kSidecars.end(), [&](const QString &sidecar) {
                       return strays.contains(fs::matchKey(newFileName + sidecar))
                           || strays.contains(fs::matchKey(name + sidecar));
                   });
        });
    };
}

// Names the files of `unnamed` again without the groups of `named` that
// cannot run: those keep the names they were given and stay where they
// are, so their numbers go to the next shots, and every shot takes a
// number at which no name of its files or their sidecars is held by an
// entry that stays. Once: a shot never turns out blocked by it.
void nameRoundBlockedGroups(const OperationRules &rules, const NamingInputs &inputs, const FolderNames &names,
                            std::vector<SetAside> sidecars, RenamePlan unnamed, RenamePlan &named)
{
    QSet<QString> blocked; // former names
    std::vector<PlannedRename> stayingFiles;
    for (PlannedRename &file : named.files) {
        if (file.blocked) {
            blocked.insert(file.formerName);
            stayingFiles.push_back(std::move(file));
        }
    }
    if (stayingFiles.empty())
        return;
    QSet<QString> held = staying(names, unnamed.files, sidecars);
    for (const QString &name : std::as_const(blocked))
        held.insert(names.key(name));
    std::erase_if(unnamed.files, [&](const PlannedRename &file) { return blocked.contains(file.formerName); });
    std::erase_if(sidecars, [&](const SetAside &sidecar) { return blocked.contains(sidecar.file.formerName); });
    const ShotNameFree free = shotNameFree(names, held, sidecarEndings(unnamed.files, sidecars));
    nameFiles(rules, inputs, names, std::move(sidecars), unnamed, free);
    // The groups that cannot run come last, whole, still marked.
    for (PlannedRename &file : stayingFiles)
        unnamed.files.push_back(std::move(file));
    named = std::move(unnamed);
    assignGroups(named);
    markBlockedGroups(named);
}

} // namespace

RenameOperations::RenameOperations(const Clock &clock, ProgressSink *progress, MetadataSource *source,
                                   fs::RenameCalls &calls)
    : clock_(clock)
    , progress_(progress)
    , source_(source)
    , calls_(calls)
{
}

RenamePlan RenameOperations::plan(Operation operation, const NamingInputs &inputs) const
{
    const OperationRules &rules = rulesOf(operation);
    RenamePlan plan;
    plan.operation = operation;
    plan.folder = fs::canonicalFolder(inputs.folder);
    plan.progressCount = inputs.fileCount;
    plan.runKey = newRunKey();
    if (source_) {
        collectCandidates(rules, inputs, *source_, progress_, plan);
    } else {
        IsolatedPropertyReader reader;
        collectCandidates(rules, inputs, reader, progress_, plan);
    }
    if (plan.cancelled)
        return plan;
    releaseUnpairedRawMates(rules, inputs, plan);
    std::vector<SetAside> sidecars = takeOutSidecars(rules, inputs, plan);
    const FolderNames names = FolderNames::of(plan.folder);
    // Numbered in listing order, as the files are taken.
    if (rules.twoPasses)
        giveTemporaryNames(names, clock_.now().time(), plan.runKey, plan.files);
    if (rules.naming == Naming::ByDay || rules.naming == Naming::LowestFree)
        markDatesThatStandOut(plan.files);
    RenamePlan unnamed = rules.naming == Naming::ByDay ? plan : RenamePlan{};
    nameFiles(rules, inputs, names, sidecars, plan);
    // A group that cannot run (a name of its files is taken) keeps the names
    // it was given, and its number goes to the next shot of the day that can
    // take it.
    if (rules.naming == Naming::ByDay)
        nameRoundBlockedGroups(rules, inputs, names, std::move(sidecars), std::move(unnamed), plan);
    giveTemporaryNames(names, clock_.now().time(), plan.runKey, plan.files);
    leaveUnchangedOut(plan);
    orderMoves(plan, names.anyCase);
    return plan;
}

OperationOutcome RenameOperations::prepareUndo(NameDatabase &database) const
{
    return planLastUndo(database, clock_.now().time());
}

OperationOutcome RenameOperations::apply(RenamePlan plan, NameDatabase &database, FolderCheck check)
{
    using Status = OperationOutcome::Status;
    using StopReason = OperationOutcome::StopReason;
    const OperationRules &rules = rulesOf(plan.operation);
    OperationOutcome outcome;
    const fs::FolderLock lock(plan.folder);
    // Checked again and held from here on: a run cut short meanwhile with
    // files under temporary names refuses.
    if (!lock.held()) {
        refuse(outcome, Status::FolderBusy, Refusal::FolderBusy, plan.folder);
        return outcome;
    }
    if (check == FolderCheck::Needed) {
        try {
            settleQuietRuns(database, plan.folder, calls_);
        } catch (const DatabaseError &) {
            // The check below reports the database.
        }
        outcome = inspectFolder(plan.folder, database);
        if (outcome.status != Status::Completed)
            return outcome;
    }

    std::optional<DatabaseError> databaseError;
    try {
        if (plan.operation == Operation::Undo && !stillUndoable(plan, database)) {
            refuse(outcome, Status::NothingToUndo, Refusal::UndoChanged);
            return outcome;
        }
        Transaction transaction(database);
        database.empty(Table::FileNameList);
        database.addListRows(listRowsFor(rules, plan));
        // A run with no file to move is no run: nothing to record or undo.
        if (!plan.files.empty())
            outcome.runId = journal::begin(database, plan);
        transaction.commit();
    } catch (const DatabaseError &error) {
        refuse(outcome, Status::DatabaseUnavailable, Refusal::Database);
        outcome.databaseFailure = error.failure();
        return outcome;
    }
    if (outcome.runId == 0) {
        outcome.failed = int(plan.undecodable.size() + plan.unopened.size());
        outcome.plan = std::move(plan);
        outcome.folder = outcome.plan.folder;
        return outcome;
    }

    {
        const ProgressShown shown(rules.showsProgress ? progress_ : nullptr);
        Executor executor(plan, database, outcome.runId, StepsFor::Forward, progress_, rules.showsProgress, calls_);
        const std::vector<Step> first = firstPassSteps(plan);
        // The bar's first half is the files stepping aside, when any do.
        outcome.stopReason = executor.run(first, 0, 0.5f);
        if (outcome.stopReason == StopReason::None)
            outcome.stopReason = executor.run(secondPassSteps(plan), first.empty() ? 0 : 50, first.empty() ? 1 : 0.5f);
        databaseError = executor.databaseError;
    }
    outcome.leftTemporary = leftUnderTemporaryNames(plan);
    // An undo that stopped before some of its files leaves the run it
    // undoes undoable for them.
    if (plan.undoOf != 0 && outcome.stopReason != StopReason::None && outcome.stopReason != StopReason::Database) {
        try {
            journal::reopenUndoneRun(database, plan.undoOf);
        } catch (const DatabaseError &) {
            // The run stays open: recovery reopens it.
        }
    }
    // A run with a file under a temporary name stays open: it is offered for
    // recovery and holds the folder against other runs until then.
    // A run the user stopped stands as far as it went, and can be undone.
    const bool whole = outcome.stopReason == StopReason::None || outcome.stopReason == StopReason::Cancelled;
    if (whole && outcome.leftTemporary == 0) {
        try {
            journal::finish(database, outcome.runId);
        } catch (const DatabaseError &error) {
            databaseError = error;
            outcome.stopReason = StopReason::Database;
        }
    }

    int notDone = 0;
    outcome.failed = int(plan.undecodable.size() + plan.unopened.size()); // files of the run it could not name or read
    for (const PlannedRename &file : plan.files) {
        if (file.state == FileState::Done)
            ++outcome.renamed;
        else if (file.cause == FailureCause::Stopped)
            ++notDone;
        else
            ++outcome.failed;
    }
    outcome.plan = std::move(plan);
    outcome.folder = outcome.plan.folder;
    outcome.notDone = notDone;
    if (outcome.stopReason != StopReason::None) {
        outcome.status = Status::Stopped;
        if (databaseError)
            outcome.databaseFailure = databaseError->failure();
    }
    return outcome;
}

} // namespace pelmora
