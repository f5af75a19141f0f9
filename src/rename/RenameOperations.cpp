#include "rename/RenameOperations.h"

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/IsolatedReader.h"
#include "platform/PropertyReader.h"
#include "rename/Journal.h"
#include "rename/Messages.h"
#include "rename/NameDatabase.h"
#include "rename/Progress.h"
#include "rename/Recovery.h"

#include <QDir>
#include <QSet>

#include <algorithm>
#include <optional>

namespace pelmora {

namespace {

// Rows without a date come first, as an empty date sorts before any other;
// shots of one second go by their fraction of it (a burst), then by the
// order of the listing.
void sortByDate(std::vector<PlannedRename> &files)
{
    std::stable_sort(files.begin(), files.end(), [](const PlannedRename &a, const PlannedRename &b) {
        if (!a.date.isValid() || !b.date.isValid())
            return !a.date.isValid() && b.date.isValid();
        if (a.date != b.date)
            return a.date < b.date;
        return a.subSecond < b.subSecond;
    });
}

// The files of the folder that take part, each with its date and camera;
// the others are left out. Metadata is read for all of them at once, by
// workers on every core.
void collectCandidates(const OperationRules &rules, const NamingInputs &inputs, ProgressSink *progress,
                       RenamePlan &plan)
{
    QStringList paths;
    for (const QString &name : fs::listPlainFiles(inputs.folder)) {
        if (progress)
            progress->working();
        const QString extension = fs::extensionOf(name);
        if (!takesPart(extension, inputs.extensions, rules.extensionRule)) {
            plan.leftOut.push_back({name, LeftOut::Reason::Extension});
            if (rules.countsExcluded)
                ++plan.excluded;
            continue;
        }
        PlannedRename file;
        file.formerName = name;
        file.extension = extension;
        file.identity = fs::identityOf(inputs.folder, name);
        file.date = fs::lastModified(fs::joinPath(inputs.folder, name));
        file.dateSource = DateSource::Modified;
        plan.files.push_back(file);
        paths << fs::joinPath(inputs.folder, name);
    }
    if (!rules.readsCamera && rules.dateSource != DateSource::Taken)
        return;
    IsolatedPropertyReader reader;
    const std::vector<ShotProperties> read = reader.readAll(paths, [progress] {
        if (progress)
            progress->working();
    });
    for (size_t i = 0; i < plan.files.size(); ++i) {
        PlannedRename &file = plan.files[i];
        const ShotProperties &properties = read[i];
        file.camera = properties.cameraModel;
        if (rules.dateSource != DateSource::Taken)
            continue;
        const bool taken = properties.dateTaken.isValid();
        if (taken)
            file.date = properties.dateTaken;
        file.dateSource = taken ? DateSource::Taken : DateSource::Modified;
        file.dateOrigin = taken ? properties.dateOrigin : QStringLiteral("ファイル日時");
        file.subSecond = taken ? properties.subSecond : -1;
        file.movieLong = movieLengthText(properties.length);
    }
    plan.unreadable = reader.unreadable();
}

// Date order, numbers from the Start Number on every new day.
void nameByDay(const OperationRules &rules, const NamingInputs &inputs, std::vector<PlannedRename> &files)
{
    sortByDate(files);
    const qint64 startNumber = wholeNumber(inputs.startNumber).value_or(1);
    const DatePattern pattern = datePatternFor(inputs.option);
    QString previousDate;
    qint64 number = startNumber;
    for (PlannedRename &file : files) {
        const QString date = dateText(file.date, pattern);
        if (date != previousDate) {
            previousDate = date;
            number = startNumber;
        }
        QString name = numberedName(date, inputs.preText, number, inputs.postText);
        if (rules.formerNameAlways || inputs.option == NamingOption::Option3)
            name += u'(' + fs::baseNameOf(file.formerName) + u')';
        if (rules.lengthWithOption4 && inputs.option == NamingOption::Option4)
            name += file.movieLong;
        file.newFileName = name;
        file.newName = name + u'.' + file.extension;
        ++number;
    }
}

// The lowest number of the day whose final name is free, as the folder will
// be when this file's turn comes.
void nameLowestFree(const NamingInputs &inputs, std::vector<PlannedRename> &files)
{
    sortByDate(files);
    const QStringList all = fs::allNames(inputs.folder);
    QSet<QString> present(all.begin(), all.end());
    const DatePattern pattern = datePatternFor(inputs.option);
    for (PlannedRename &file : files) {
        const QString date = dateText(file.date, pattern);
        auto finalName = [&](int number) {
            return numberedName(date, inputs.preText, number, inputs.postText) + u'.' + file.extension;
        };
        int number = 1;
        while (number < 1000 && present.contains(finalName(number)))
            ++number;
        file.newFileName = numberedName(date, inputs.preText, number, inputs.postText);
        file.newName = finalName(number);
        present.remove(file.formerName);
        present.insert(file.newName);
    }
}

// Replacement and append keep the listing order; a name that would not
// change is left alone: nothing to rename or log.
void nameByText(const OperationRules &rules, const NamingInputs &inputs, RenamePlan &plan)
{
    std::vector<PlannedRename> kept;
    for (PlannedRename &file : plan.files) {
        if (rules.naming == Naming::Replace) {
            QString replaced = file.formerName;
            if (!inputs.preText.isEmpty())
                replaced.replace(inputs.preText, inputs.postText, Qt::CaseSensitive);
            if (replaced == file.formerName) {
                plan.leftOut.push_back({file.formerName, LeftOut::Reason::Unchanged});
                continue;
            }
            file.newName = replaced;
            file.newFileName = replaced;
        } else {
            file.newFileName = fs::baseNameOf(file.formerName) + u'(' + inputs.postText + u')';
            file.newName = file.newFileName + u'.' + file.extension;
        }
        kept.push_back(std::move(file));
    }
    plan.files = std::move(kept);
}

// "TempFileName" + minute and second + "_" + number: a name that no entry of
// the folder and no other file of this run bears, so that neither a leftover
// file nor another run can meet it.
void giveTemporaryNames(const QString &folder, const Clock &clock, std::vector<PlannedRename> &files)
{
    const QStringList all = fs::allNames(folder);
    QSet<QString> taken(all.begin(), all.end());
    int number = 0;
    for (PlannedRename &file : files) {
        do {
            file.temporaryName = temporaryName(clock.now().time(), ++number, file.extension);
        } while (taken.contains(file.temporaryName));
        taken.insert(file.temporaryName);
    }
}

FailureCause causeOf(fs::RenameStatus status)
{
    switch (status) {
    case fs::RenameStatus::Renamed: return FailureCause::None;
    case fs::RenameStatus::TargetExists: return FailureCause::TargetExists;
    case fs::RenameStatus::SourceMissing: return FailureCause::Vanished;
    case fs::RenameStatus::UnsafeName: return FailureCause::NameRefused;
    case fs::RenameStatus::PermissionDenied: return FailureCause::Permission;
    case fs::RenameStatus::Failed: break;
    }
    return FailureCause::Other;
}

// Progress against the file list's count; nothing when that count is 0.
class ProgressReport {
public:
    ProgressReport(ProgressSink *sink, int fileCount)
        : sink_(sink)
        , fileCount_(fileCount)
    {
        if (sink_)
            sink_->show();
    }
    ~ProgressReport()
    {
        if (sink_)
            sink_->hide();
    }
    void set(float done, float offset = 0, float share = 1)
    {
        if (!sink_ || fileCount_ <= 0)
            return;
        const float value = done * share * 100 / fileCount_ + offset;
        sink_->setValue(std::clamp(static_cast<int>(value), 0, 100));
    }

private:
    ProgressSink *sink_;
    int fileCount_;
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

// Renames the files of a recorded run and commits each file's state right
// after its rename. When a state cannot be committed the run stops there:
// the rename that could not be recorded is taken back, files under
// temporary names get their former names again, and nothing else is touched.
class Applier {
public:
    Applier(const OperationRules &rules, RenamePlan &plan, NameDatabase &database, qint64 runId,
            ProgressSink *progress)
        : rules_(rules)
        , plan_(plan)
        , database_(database)
        , runId_(runId)
    {
        if (rules.showsProgress)
            progress_.emplace(progress, plan.progressCount);
    }

    // False when the run stopped because the database failed.
    bool run()
    {
        if (rules_.twoPasses)
            return fromFormerNames(&PlannedRename::temporaryName, FileState::Temporary, 0.5f) && toFinal();
        return fromFormerNames(&PlannedRename::newName, FileState::Done, 1);
    }

private:
    // Every file from its former name to the name the member holds; the
    // share of the progress bar this pass fills.
    bool fromFormerNames(QString PlannedRename::*target, FileState reached, float share)
    {
        int processed = 0;
        for (size_t i = 0; i < plan_.files.size(); ++i) {
            PlannedRename &file = plan_.files[i];
            const fs::RenameStatus status = fs::renameNoReplace(plan_.folder, file.formerName, file.*target);
            file.state = status == fs::RenameStatus::Renamed ? reached : FileState::Failed;
            file.cause = causeOf(status);
            if (!record(i))
                return stop(i, file.state == reached ? file.*target : QString());
            progress(float(++processed), 0, share);
        }
        return true;
    }

    bool toFinal()
    {
        int processed = 0;
        for (size_t i = 0; i < plan_.files.size(); ++i) {
            PlannedRename &file = plan_.files[i];
            if (file.state == FileState::Temporary) {
                const fs::RenameStatus status = fs::renameNoReplace(plan_.folder, file.temporaryName, file.newName);
                if (status == fs::RenameStatus::Renamed) {
                    file.state = FileState::Done;
                    if (!record(i))
                        return stop(i, file.newName);
                } else {
                    // Never leave a file under its temporary name.
                    file.cause = causeOf(status);
                    const bool back = status != fs::RenameStatus::SourceMissing
                        && fs::renameNoReplace(plan_.folder, file.temporaryName, file.formerName)
                            == fs::RenameStatus::Renamed;
                    file.state = back ? FileState::Restored : FileState::Failed;
                    if (!back && status != fs::RenameStatus::SourceMissing)
                        file.cause = FailureCause::LeftTemporary;
                    if (!record(i))
                        return stop(i, QString());
                }
            }
            progress(float(++processed), 50, 0.5f);
        }
        return true;
    }

    bool record(size_t i)
    {
        const PlannedRename &file = plan_.files[i];
        std::optional<LogRow> log;
        if (file.state == FileState::Done && rules_.writesLog)
            log = journal::logRowFor(file);
        try {
            journal::record(database_, runId_, int(i), file, log, plan_.undoOf);
            return true;
        } catch (const DatabaseError &) {
            return false;
        }
    }

    // The state of file i could not be committed; `unrecorded` is the name it
    // was given meanwhile (empty when it was not renamed).
    bool stop(size_t i, const QString &unrecorded)
    {
        PlannedRename &file = plan_.files[i];
        if (!unrecorded.isEmpty()
            && fs::renameNoReplace(plan_.folder, unrecorded, file.formerName) == fs::RenameStatus::Renamed) {
            file.state = FileState::Planned;
        }
        if (file.state == FileState::Planned)
            file.cause = FailureCause::Stopped;
        for (PlannedRename &other : plan_.files) {
            if (other.state == FileState::Temporary) {
                const bool back = fs::renameNoReplace(plan_.folder, other.temporaryName, other.formerName)
                    == fs::RenameStatus::Renamed;
                other.state = back ? FileState::Planned : FileState::Failed;
                other.cause = back ? FailureCause::Stopped : FailureCause::LeftTemporary;
            } else if (other.state == FileState::Planned) {
                other.cause = FailureCause::Stopped;
            }
        }
        return false;
    }

    void progress(float done, float offset = 0, float share = 1)
    {
        if (progress_)
            progress_->set(done, offset, share);
    }

    const OperationRules &rules_;
    RenamePlan &plan_;
    NameDatabase &database_;
    qint64 runId_;
    std::optional<ProgressReport> progress_;
};

// An undo planned earlier (before a question, say) still undoes the last run.
bool stillUndoable(const RenamePlan &plan, NameDatabase &database)
{
    try {
        const std::optional<journal::Run> last = journal::lastUndoableRun(database);
        return last && last->id == plan.undoOf;
    } catch (const DatabaseError &) {
        return false;
    }
}

QString closingMessage(const OperationRules &rules, const OperationOutcome &outcome)
{
    switch (rules.closing) {
    case Closing::Counts:
        return text::renameSummary(outcome.renamed, outcome.plan.excluded, outcome.failed);
    case Closing::Plain:
        return QStringLiteral("変更しました") + text::failureLine(outcome.failed);
    case Closing::Undone:
        return text::undoSummary(outcome.renamed, outcome.failed);
    }
    return {};
}

} // namespace

RenameOperations::RenameOperations(const Clock &clock, ProgressSink *progress)
    : clock_(clock)
    , progress_(progress)
{
}

OperationOutcome RenameOperations::check(Operation operation, const NamingInputs &inputs)
{
    OperationOutcome outcome;
    if (rulesOf(operation).readsStartNumber && !wholeNumber(inputs.startNumber)) {
        outcome.status = OperationOutcome::Status::StartNumberInvalid;
        outcome.message = text::notNumericStartNumber(inputs.startNumber);
    } else if (inputs.folder.isEmpty() || !QDir(inputs.folder).exists()) {
        outcome.status = OperationOutcome::Status::FolderMissing;
        outcome.message = text::folderMissing(inputs.folder);
    }
    return outcome;
}

RenamePlan RenameOperations::plan(Operation operation, const NamingInputs &inputs) const
{
    const OperationRules &rules = rulesOf(operation);
    RenamePlan plan;
    plan.operation = operation;
    plan.folder = fs::canonicalFolder(inputs.folder);
    plan.progressCount = inputs.fileCount;
    collectCandidates(rules, inputs, progress_, plan);
    // Numbered in listing order, as the files are taken.
    if (rules.twoPasses)
        giveTemporaryNames(plan.folder, clock_, plan.files);
    switch (rules.naming) {
    case Naming::ByDay: nameByDay(rules, inputs, plan.files); break;
    case Naming::LowestFree: nameLowestFree(inputs, plan.files); break;
    case Naming::Replace:
    case Naming::Append: nameByText(rules, inputs, plan); break;
    case Naming::Former: break;
    }
    return plan;
}

RenamePlan RenameOperations::planUndo(NameDatabase &database)
{
    RenamePlan plan;
    plan.operation = Operation::Undo;
    const std::optional<journal::Run> run = journal::lastUndoableRun(database);
    if (!run)
        return plan;
    plan.folder = run->folder;
    plan.undoOf = run->id;
    const std::vector<PlannedRename> files = journal::files(database, run->id);
    // Last renamed first; each file from the name the run gave it back to
    // the one it had.
    for (int position = int(files.size()) - 1; position >= 0; --position) {
        const PlannedRename &done = files[size_t(position)];
        if (done.state != FileState::Done)
            continue;
        PlannedRename file = done;
        file.formerName = done.newName;
        file.newName = done.formerName;
        file.newFileName = done.formerName;
        file.temporaryName.clear();
        file.state = FileState::Planned;
        file.cause = FailureCause::None;
        file.undoOfPosition = position;
        plan.files.push_back(file);
    }
    plan.progressCount = int(plan.files.size());
    return plan;
}

OperationOutcome RenameOperations::run(Operation operation, const NamingInputs &inputs, NameDatabase &database)
{
    OperationOutcome outcome = check(operation, inputs);
    if (outcome.status != OperationOutcome::Status::Completed)
        return outcome;
    outcome = checkFolder(inputs.folder, database);
    if (outcome.status != OperationOutcome::Status::Completed)
        return outcome;
    return apply(plan(operation, inputs), database);
}

OperationOutcome RenameOperations::undo(NameDatabase &database)
{
    OperationOutcome outcome = prepareUndo(database);
    if (outcome.status != OperationOutcome::Status::Completed)
        return outcome;
    return apply(std::move(outcome.plan), database);
}

OperationOutcome RenameOperations::prepareUndo(NameDatabase &database) const
{
    using Status = OperationOutcome::Status;
    OperationOutcome outcome;
    try {
        // A run cut short comes first: it is the last run, and undo goes to
        // the last run only once its record is whole.
        if (const std::optional<UnfinishedRun> unfinished = settleUnfinishedRuns(database)) {
            outcome.status = Status::UnfinishedRun;
            outcome.folder = unfinished->run.folder;
            outcome.message = text::recoverFirst(unfinished->run.folder, unfinished->awaitingRestore);
            return outcome;
        }
        outcome.plan = planUndo(database);
        if (outcome.plan.undoOf == 0) {
            outcome.status = Status::NothingToUndo;
            outcome.message = text::nothingToUndo();
        } else if (!QDir(outcome.plan.folder).exists()) {
            // Its folder is gone: the run can never be undone, and the next
            // undo goes to the run before it.
            journal::markNotUndoable(database, outcome.plan.undoOf);
            outcome.status = Status::FolderMissing;
            outcome.folder = outcome.plan.folder;
            outcome.message = text::undoFolderMissing(outcome.plan.folder);
        } else {
            giveTemporaryNames(outcome.plan.folder, clock_, outcome.plan.files);
        }
    } catch (const DatabaseError &error) {
        outcome.status = Status::DatabaseUnavailable;
        outcome.message = text::databaseUnavailable(error);
    }
    return outcome;
}

OperationOutcome RenameOperations::checkFolder(const QString &folder, NameDatabase &database)
{
    OperationOutcome outcome;
    outcome.folder = fs::canonicalFolder(folder);
    const fs::FolderLock lock(outcome.folder);
    if (!lock.held()) {
        outcome.status = OperationOutcome::Status::FolderBusy;
        outcome.message = text::folderBusy(folder);
        return outcome;
    }
    try {
        const int waiting = filesAwaitingRestore(database, folder);
        if (waiting > 0) {
            outcome.status = OperationOutcome::Status::UnfinishedRun;
            outcome.message = text::recoverFirst(outcome.folder, waiting);
        }
    } catch (const DatabaseError &error) {
        outcome.status = OperationOutcome::Status::DatabaseUnavailable;
        outcome.message = text::databaseUnavailable(error);
    }
    return outcome;
}

OperationOutcome RenameOperations::apply(RenamePlan plan, NameDatabase &database)
{
    const OperationRules &rules = rulesOf(plan.operation);
    OperationOutcome outcome;
    const fs::FolderLock lock(plan.folder);
    // Checked again and held from here on: a run cut short meanwhile is
    // reconciled first, and one with files under temporary names refuses.
    outcome = checkFolder(plan.folder, database);
    if (outcome.status != OperationOutcome::Status::Completed)
        return outcome;
    if (plan.operation == Operation::Undo && !stillUndoable(plan, database)) {
        outcome.status = OperationOutcome::Status::NothingToUndo;
        outcome.message = text::undoChanged();
        return outcome;
    }

    try {
        Transaction transaction(database);
        database.empty(Table::FileNameList);
        database.addListRows(listRowsFor(rules, plan));
        outcome.runId = journal::begin(database, plan);
        transaction.commit();
    } catch (const DatabaseError &error) {
        outcome.status = OperationOutcome::Status::DatabaseUnavailable;
        outcome.message = text::databaseUnavailable(error);
        return outcome;
    }

    const bool finished = Applier(rules, plan, database, outcome.runId, progress_).run();
    if (finished) {
        try {
            journal::finish(database, outcome.runId);
        } catch (const DatabaseError &) {
            // Left unfinished: the next run in this folder reconciles it first.
        }
    }

    int notDone = 0;
    for (const PlannedRename &file : plan.files) {
        if (file.state == FileState::Done)
            ++outcome.renamed;
        else if (file.cause == FailureCause::Stopped)
            ++notDone;
        else
            ++outcome.failed;
    }
    outcome.plan = std::move(plan);
    outcome.message = closingMessage(rules, outcome) + text::unreadableLine(outcome.plan.unreadable);
    if (!finished) {
        outcome.status = OperationOutcome::Status::Stopped;
        outcome.message += text::stoppedLine(notDone);
    }
    return outcome;
}

QString text::leftOutReason(LeftOut::Reason reason)
{
    return reason == LeftOut::Reason::Extension ? QStringLiteral("拡張子") : QStringLiteral("名前が変わらない");
}

namespace {
// A name holding a line break or another control character would break its
// line in two: such characters are shown as their Unicode pictures.
QString shown(const QString &name)
{
    QString text = name;
    for (QChar &c : text) {
        if (c.unicode() < 0x20)
            c = QChar(0x2400 + c.unicode());
    }
    return text;
}
} // namespace

QString planPreview(const RenamePlan &plan)
{
    QStringList lines;
    for (const PlannedRename &file : plan.files) {
        QString line = shown(file.formerName) + QStringLiteral(" → ") + shown(file.newName);
        if (!file.dateOrigin.isEmpty())
            line += QStringLiteral("（") + file.dateOrigin + QStringLiteral("）");
        lines << line;
    }
    for (const LeftOut &file : plan.leftOut)
        lines << shown(file.name) + QStringLiteral("（対象外：") + text::leftOutReason(file.reason) + QStringLiteral("）");
    return lines.join(u'\n');
}

} // namespace pelmora
