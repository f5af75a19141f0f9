// SPDX-License-Identifier: GPL-3.0-or-later
#include "RenameFixture.h"
#include "rename/Journal.h"
#include "text/Messages.h"
#include "rename/Recovery.h"
#include "rename/RunGuards.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <functional>
#include <map>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

// Settles the quiet runs of every folder and gives the first run whose
// files still wait for their former names, if any; a run whose folder is
// not there only when `withUnavailable`.
std::optional<UnfinishedRun> settleUnfinishedRuns(NameDatabase &database, bool withUnavailable = false,
                                                  fs::RenameCalls &calls = fs::systemRenameCalls())
{
    std::optional<UnfinishedRun> awaiting;
    for (const UnfinishedRun &run : settleQuietRuns(database, QString(), calls)) {
        if (run.folderUnavailable) {
            if (withUnavailable && !awaiting)
                awaiting = run;
        } else if (!awaiting || awaiting->folderUnavailable) {
            awaiting = run;
        }
    }
    return awaiting;
}

// Calls the hook once, the first time the bar reaches the value.
class HookAt final : public ProgressSink {
public:
    HookAt(int value, std::function<void()> hook) : value_(value), hook_(std::move(hook)) {}
    void show() override {}
    void hide() override {}
    void setValue(int percent) override
    {
        if (hook_ && percent >= value_)
            std::exchange(hook_, nullptr)();
    }

private:
    int value_;
    std::function<void()> hook_;
};

class RunRecord : public RenameFixture {
protected:
    // Files with contents of their own, so that every file can be followed.
    void photos(int count)
    {
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("IMG_%1.jpg").arg(i, 4, 10, QChar(u'0'));
            setModified(writeFile(folder.path(), name, name.toUtf8()), at("2021-03-05 09:00:00").addSecs(i * 600));
        }
    }
    // Two photos of one day, the earlier first, under each other's new
    // names (210305-00N and -00N+1): numbered anew they swap, so both step
    // aside under temporary names first.
    void crossNamed(const QString &earlier, const QString &later, int number)
    {
        const auto numbered = [](int n) { return QStringLiteral("210305-%1.jpg").arg(n, 3, 10, QChar(u'0')); };
        ASSERT_TRUE(QFile::rename(folder.filePath(earlier), folder.filePath("x")));
        ASSERT_TRUE(QFile::rename(folder.filePath(later), folder.filePath(numbered(number))));
        ASSERT_TRUE(QFile::rename(folder.filePath("x"), folder.filePath(numbered(number + 1))));
    }
    NamingInputs inputsFor(Operation operation) const
    {
        NamingInputs in = inputs();
        in.preText = operation == Operation::ReplaceText ? "IMG_" : "";
        in.postText = operation == Operation::ReplaceText ? "Trip_" : operation == Operation::AppendText ? "x" : "";
        return in;
    }
    OperationOutcome undo() { return RenameSession(clock, nullptr, nullptr, *volume).undo(*database); }
    // A two-pass run cut short after `steps` renames (first pass, then
    // second), the last of them committed to the record or not.
    void cutShort(RenamePlan plan, int steps, bool lastRecorded)
    {
        Transaction transaction(*database);
        const qint64 run = journal::begin(*database, plan);
        transaction.commit();
        int done = 0;
        for (const bool final : {false, true}) {
            for (size_t i = 0; i < plan.files.size() && done < steps; ++i) {
                PlannedRename &file = plan.files[i];
                EXPECT_EQ(fs::renameNoReplace(plan.folder, final ? file.temporaryName : file.formerName,
                                              final ? file.newName : file.temporaryName),
                          fs::RenameStatus::Renamed);
                file.state = final ? FileState::Done : FileState::Temporary;
                if (++done < steps || lastRecorded)
                    journal::record(*database, run, int(i), file,
                                    final ? std::optional(journal::logRowFor(file)) : std::nullopt, plan.undoOf);
            }
        }
    }
    // Runs the work in a child process on a connection of its own, ended
    // right after its `rename`th rename; true when it was ended there. The
    // fixture's connection is closed first: none crosses the fork.
    bool killedAfter(int rename, const std::function<void(NameDatabase &, fs::RenameCalls &)> &work)
    {
        class KillAfter final : public fs::RenameCalls {
        public:
            explicit KillAfter(int rename) : left_(rename) {}
            int renameNoReplace(const char *from, const char *to) override
            {
                const int result = RenameCalls::renameNoReplace(from, to);
                if (--left_ == 0)
                    ::_exit(9);
                return result;
            }

        private:
            int left_;
        };
        database.reset();
        const pid_t child = ::fork();
        if (child == 0) {
            KillAfter calls(rename);
            NameDatabase own(data.path(), clock);
            work(own, calls);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 9;
    }
    // Logged renames, and logged ways back (whose new names are the photos' former ones).
    std::pair<int, int> logRowsForwardAndBack()
    {
        int forward = 0, back = 0;
        for (const LogRow &row : database->logRowsNewestFirst())
            (row.newFileName.startsWith("IMG_") ? back : forward)++;
        return {forward, back};
    }
    OperationOutcome applyWith(ProgressSink &sink, Operation operation)
    {
        RenamePlan plan = RenameOperations(clock).plan(operation, inputsFor(operation));
        plan.progressCount = int(plan.files.size());
        return RenameOperations(clock, &sink, nullptr, *volume).apply(std::move(plan), *database);
    }
};

// Asks the run to stop at its Nth question, a file's turn.
class StopAt final : public ProgressSink {
public:
    explicit StopAt(int question) : question_(question) {}
    void show() override {}
    void hide() override {}
    void setValue(int) override {}
    bool stopRequested() const override { return ++asked_ >= question_; }

private:
    int question_;
    mutable int asked_ = 0;
};

const Operation kRenames[] = {Operation::ShotDate,       Operation::NewNumber,   Operation::KeepExisting,
                              Operation::NewAndExisting, Operation::ReplaceText, Operation::AppendText};

TEST_F(RunRecord, JournalKeepsEachFilesStateAndCause)
{
    photos(4);
    crossNamed("IMG_0000.jpg", "IMG_0001.jpg", 1);
    // Then: the first one's final name taken (it goes back), the second's
    // final and former names taken (it stays under its temporary name), a
    // file gone.
    HookAt between(25, [&] {
        writeFile(folder.path(), "210305-001.jpg", "someone else's");
        QFile::remove(folder.filePath("IMG_0002.jpg"));
    });
    const OperationOutcome outcome = applyWith(between, Operation::NewNumber);
    EXPECT_EQ(outcome.renamed, 1);
    EXPECT_EQ(outcome.failed, 3);

    const std::vector<PlannedRename> recorded = journal::files(*database, outcome.runId);
    ASSERT_EQ(recorded.size(), 4u);
    const std::pair<FileState, FailureCause> expected[] = {
        {FileState::Restored, FailureCause::TargetExists}, {FileState::Failed, FailureCause::LeftTemporary},
        {FileState::Failed, FailureCause::Vanished},       {FileState::Done, FailureCause::None}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(recorded[i].state, expected[i].first) << i;
        EXPECT_EQ(recorded[i].cause, expected[i].second) << i;
        EXPECT_EQ(recorded[i].dateSource, DateSource::Modified);
    }
    EXPECT_TRUE(recorded[1].temporaryName.startsWith("TempFileName3405_001-"));
    EXPECT_TRUE(files().contains(recorded[1].temporaryName)); // named in the record, nowhere lost
    EXPECT_EQ(database->count(Table::FileNameLog), 1);
    EXPECT_EQ(database->count(Table::FileNameList), 4);
}

// For every rename operation: the previewed renames are those that follow,
// and undo gives every name back.
TEST_F(RunRecord, PreviewedRenamesHappenAndUndoGivesTheNamesBack)
{
    photos(3);
    dated("IMG_9.txt", "2021-03-05 10:00:00");
    const auto before = contents();
    for (Operation operation : kRenames) {
        SCOPED_TRACE(int(operation));
        RenameOperations operations(clock);
        RenamePlan plan = operations.plan(operation, inputsFor(operation));
        const DetailTable table = text::planTable(plan);
        EXPECT_EQ(table.rows.back().cells, QStringList({"IMG_9.txt", "", "", "", "対象外：拡張子"}));
        ASSERT_EQ(operations.apply(std::move(plan), *database).renamed, 3);
        const auto after = contents();
        int renames = 0;
        for (const DetailTable::Row &row : table.rows) {
            // Former and new name, then the date and where it came from.
            const QString line = row.cells.join(u'|');
            if (row.cells[1].isEmpty())
                continue;
            const QStringList pair = row.cells.mid(0, 2);
            if (operation == Operation::ShotDate) {
                EXPECT_EQ(row.cells[3], "ファイル更新日時") << line.toStdString();
                EXPECT_TRUE(row.marked) << line.toStdString();
            }
            ++renames;
            EXPECT_EQ(after.count(pair[0]), 0u) << line.toStdString();
            EXPECT_EQ(after.at(pair[1]), before.at(pair[0])) << line.toStdString();
        }
        EXPECT_EQ(renames, 3);

        const qint64 logged = database->count(Table::FileNameLog);
        EXPECT_EQ(counted(undo()), std::tuple(3, 0, 0));
        EXPECT_EQ(contents(), before);
        EXPECT_EQ(database->count(Table::FileNameLog), logged + 3);
        // Logged as every rename is: NewFileName without its extension.
        const LogRow wayBack = database->logRowsNewestFirst().front();
        EXPECT_TRUE(wayBack.newFileName.startsWith("IMG_") && !wayBack.newFileName.contains('.'))
            << wayBack.newFileName.toStdString();
    }
    // Every run is undone: nothing is left to undo.
    EXPECT_EQ(undo().status, OperationOutcome::Status::NothingToUndo);
}

// Stopped by the user between two files: what was renamed keeps its new
// name and is logged, the rest keeps its name, and the run can be undone.
TEST_F(RunRecord, StoppedByTheUserKeepsWhatWasDoneAndCanBeUndone)
{
    const struct {
        Operation operation;
        int stopAt; // the question of the run that answers yes
        int renamed;
    } cases[] = {
        {Operation::AppendText, 3, 2},
        {Operation::NewNumber, 1, 0},
        {Operation::NewNumber, 5, 4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stopAt);
        for (const QString &name : files())
            QFile::remove(folder.filePath(name));
        database->empty(Table::FileNameLog);
        photos(6);
        const auto before = contents();
        StopAt stop(c.stopAt);
        const OperationOutcome outcome = applyWith(stop, c.operation);
        EXPECT_EQ(outcome.status, OperationOutcome::Status::Stopped);
        EXPECT_EQ(outcome.renamed, c.renamed);
        EXPECT_EQ(database->count(Table::FileNameLog), c.renamed);
        EXPECT_EQ(outcome.stopReason, OperationOutcome::StopReason::Cancelled);
        EXPECT_EQ(outcome.notDone, 6 - c.renamed);
        EXPECT_EQ(contents().size(), 6u);
        EXPECT_TRUE(journal::unfinishedRuns(*database).empty());
        if (c.renamed > 0) {
            EXPECT_EQ(undo().renamed, c.renamed);
        }
        EXPECT_EQ(contents(), before);
    }
}

// An undo planned before another undo ran (a question left open) is refused,
// and the run before is still undone next.
TEST_F(RunRecord, UndoPlannedBeforeAnotherUndoRanIsRefused)
{
    photos(2);
    const auto original = contents();
    run(Operation::NewNumber);
    const auto numbered = contents();
    run(Operation::AppendText, inputsFor(Operation::AppendText));
    const OperationOutcome stale = RenameOperations(clock).prepareUndo(*database);
    undo();
    EXPECT_EQ(contents(), numbered);
    EXPECT_EQ(RenameOperations(clock).apply(stale.plan, *database).status, OperationOutcome::Status::NothingToUndo);
    EXPECT_EQ(contents(), numbered);
    undo();
    EXPECT_EQ(contents(), original);
}

TEST_F(RunRecord, UndoNeverReplacesAndReportsWhatItCouldNotUndo)
{
    photos(3);
    run(Operation::NewNumber);
    QFile::rename(folder.filePath("210305-001.jpg"), folder.filePath("mine.jpg")); // renamed meanwhile
    writeFile(folder.path(), "IMG_0001.jpg", "a newcomer");                       // a former name taken
    const OperationOutcome outcome = undo();
    EXPECT_EQ(counted(outcome), std::tuple(1, 0, 2));
    EXPECT_EQ(files(), QStringList({"210305-002.jpg", "IMG_0001.jpg", "IMG_0002.jpg", "mine.jpg"}));
    EXPECT_EQ(contents().at("IMG_0001.jpg"), "a newcomer");
    EXPECT_EQ(contents().at("210305-002.jpg"), "IMG_0001.jpg");
    // The run counts as undone: the next undo has nothing before it.
    EXPECT_EQ(undo().status, OperationOutcome::Status::NothingToUndo);
}

TEST_F(RunRecord, TemporaryNamesNoRecordExplainsAreNeverRenamedAsPhotos)
{
    // A file under a temporary name whose run the database no longer knows
    // (the journal was lost): only the user can tell whose name it was.
    writeFile(folder.path(), "TempFileName3405_001.jpg", "left over");
    photos(2);
    const auto before = contents();
    const OperationOutcome outcome = run(Operation::NewNumber);
    EXPECT_EQ(outcome.status, OperationOutcome::Status::StrayTemporaryNames);
    EXPECT_EQ(outcome.names, QStringList{"TempFileName3405_001.jpg"});
    EXPECT_EQ(contents(), before);
    // Nor does a plan take it for a photo.
    const RenamePlan plan = RenameOperations(clock).plan(Operation::NewNumber, inputs());
    EXPECT_EQ(plan.files.size(), 2u);
    EXPECT_EQ(plan.leftOut.size(), 1u);
}

// Two files that swap names: wherever the run is cut, recovery gives every
// file its former name back, and the log takes back what it had logged.
TEST_F(RunRecord, RecoveryAfterACutAtEveryStepOfASwap)
{
    for (int steps = 1; steps <= 4; ++steps) {
        for (const bool lastRecorded : {false, true}) {
            SCOPED_TRACE(steps * 10 + lastRecorded);
            for (const QString &name : files())
                QFile::remove(folder.filePath(name));
            database->empty(Table::FileNameLog);
            setModified(writeFile(folder.path(), "210305-001.jpg", "A"), at("2021-03-05 11:00:00"));
            setModified(writeFile(folder.path(), "210305-002.jpg", "B"), at("2021-03-05 10:00:00"));
            const auto before = contents();
            clock.set(at("2026-01-02 12:34:05"));
            cutShort(RenameOperations(clock).plan(Operation::NewNumber, inputs()), steps, lastRecorded);

            const QDateTime recovered = at("2026-01-02 13:00:00"); // tells the ways back from the renames
            clock.set(recovered);
            if (const std::optional<UnfinishedRun> unfinished = settleUnfinishedRuns(*database)) {
                EXPECT_EQ(recover(*database, unfinished->run).failed, 0);
                EXPECT_EQ(contents(), before);
                // Each logged rename is logged again on its way back.
                int forward = 0, back = 0;
                for (const LogRow &row : database->logRowsNewestFirst())
                    (row.update == recovered ? back : forward)++;
                EXPECT_EQ(forward, back);
            } else {
                // Cut after its last rename: the run stands, and is logged whole.
                EXPECT_EQ(steps, 4);
                EXPECT_EQ(contents(), (std::map<QString, QByteArray>{{"210305-001.jpg", "B"}, {"210305-002.jpg", "A"}}));
                EXPECT_EQ(database->count(Table::FileNameLog), 2);
            }
            EXPECT_TRUE(journal::unfinishedRuns(*database).empty());
        }
    }
}

// Looking changes nothing: a dry run, an undo's preview and the folder's
// check leave the database and the folder byte for byte as they were, with
// a run cut short waiting to be settled. The run itself settles it first.
TEST_F(RunRecord, LookingChangesNothingTheRunSettlesFirst)
{
    photos(2);
    run(Operation::NewNumber);
    setModified(writeFile(folder.path(), "z.jpg", "z"), at("2021-03-04 09:00:00"));
    cutShort(RenameOperations(clock).plan(Operation::NewNumber, inputs()), 6, false);
    const auto everything = [&] {
        std::map<QString, QByteArray> all = contents();
        for (const QString &name : filesIn(data.path())) {
            QFile file(data.filePath(name));
            if (!name.endsWith("-shm") && file.open(QIODevice::ReadOnly))
                all["DATA/" + name] = file.readAll();
        }
        return all;
    };
    const auto before = everything();
    for (const Operation operation : {Operation::ShotDate, Operation::KeepExisting, Operation::AppendText})
        EXPECT_EQ(RenameSession(clock).preview(operation, inputs()).status, OperationOutcome::Status::Completed);
    RenameSession(clock).previewUndo(*database);
    EXPECT_EQ(inspectFolder(folder.path(), *database).status, OperationOutcome::Status::Completed);
    EXPECT_EQ(everything(), before);
    EXPECT_FALSE(journal::unfinishedRuns(*database).empty());

    EXPECT_EQ(run(Operation::NewNumber).failed, 0);
    EXPECT_EQ(journal::unfinishedRuns(*database).size(), 0u);
}

// A database of the first version that kept runs gains the columns added
// since when it is opened, and its last run is undone by its names alone.
TEST_F(RunRecord, ADatabaseOfTheFirstRunSchemaIsUpgradedAndItsRunUndone)
{
    writeFile(folder.path(), "210305-001.jpg", "one");
    writeFile(folder.path(), "210305-002.jpg", "two");
    database.reset();
    for (const QString &name : filesIn(data.path()))
        QFile::remove(data.filePath(name));
    {
        sqlite3 *old = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(NameDatabase::fileIn(data.path())).constData(), &old), SQLITE_OK);
        const QByteArray sql = readFile(testdataFolder() + "/database/first_run_schema.sql")
                                   .replace("@FOLDER@", QFile::encodeName(folder.path()));
        EXPECT_EQ(sqlite3_exec(old, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(old);
        sqlite3_close(old);
    }
    // A dry run's look neither upgrades nor writes it.
    const QByteArray old = readFile(NameDatabase::fileIn(data.path()));
    try {
        NameDatabase look(data.path(), clock, NameDatabase::Access::ReadOnly);
        ADD_FAILURE() << "an outdated database was opened to look at";
    } catch (const DatabaseError &error) {
        EXPECT_EQ(error.failure().kind, Failure::Kind::Outdated);
    }
    EXPECT_EQ(readFile(NameDatabase::fileIn(data.path())), old);
    database = std::make_unique<NameDatabase>(data.path(), clock);
    EXPECT_EQ(database->count(Table::FileNameLog), 2);
    const OperationOutcome undone = undo();
    EXPECT_EQ(undone.renamed, 2) << text::outcomeMessage(undone).toStdString();
    EXPECT_EQ(contents(), (std::map<QString, QByteArray>{{"IMG_0001.jpg", "one"}, {"IMG_0002.jpg", "two"}}));
    EXPECT_EQ(database->count(Table::FileNameLog), 4);
}

// Undo always goes to the last run: one cut short is settled first, an
// undo cut short is taken back whole, and a run whose folder is gone is
// passed by after saying so.
TEST_F(RunRecord, UndoGoesToTheLastRunWhateverBefellIt)
{
    photos(2);
    run(Operation::NewNumber);
    setModified(writeFile(folder.path(), "z.jpg", "z"), at("2021-03-04 09:00:00"));
    RenamePlan second = RenameOperations(clock).plan(Operation::NewNumber, inputs());
    cutShort(second, 6, false); // every rename made, the last not recorded, the run not closed
    const auto afterSecond = contents();

    // The undo itself cut short after its first rename, then recovered.
    const OperationOutcome prepared = RenameSession(clock).prepareUndo(*database);
    ASSERT_EQ(prepared.status, OperationOutcome::Status::Completed);
    EXPECT_EQ(prepared.plan.files.size(), 1u); // the second run (z.jpg: the others kept their names), settled first
    cutShort(prepared.plan, 1, true);
    recover(*database, settleUnfinishedRuns(*database)->run);
    EXPECT_EQ(contents(), afterSecond);

    EXPECT_EQ(undo().renamed, 1);
    EXPECT_EQ(contents().at("z.jpg"), "z");
    EXPECT_EQ(contents().size(), 3u);

    // A run in a folder that is gone: said once, then passed by.
    QTemporaryDir elsewhere;
    NamingInputs gone = inputs();
    gone.folder = elsewhere.path();
    writeFile(elsewhere.path(), "x.jpg");
    run(Operation::AppendText, gone);
    elsewhere.remove();
    EXPECT_EQ(undo().status, OperationOutcome::Status::FolderMissing);
    EXPECT_EQ(undo().renamed, 2); // the first run
    EXPECT_EQ(files(), QStringList({"IMG_0000.jpg", "IMG_0001.jpg", "z.jpg"}));
}

TEST_F(RunRecord, AFolderReachedThroughALinkIsTheSameFolder)
{
    photos(2);
    const QString link = data.filePath("link");
    ASSERT_TRUE(QFile::link(folder.path(), link));
    NamingInputs viaLink = inputs();
    viaLink.folder = link;
    cutShort(RenameOperations(clock).plan(Operation::NewNumber, viaLink), 1, true);
    const auto cut = contents();
    EXPECT_EQ(run(Operation::NewNumber).status, OperationOutcome::Status::UnfinishedRun);
    EXPECT_EQ(contents(), cut);
}

// A database that fills up or refuses writes mid-run: the run
// stops there, and the log and the folder still tell the same story.
TEST_F(RunRecord, DatabaseFailingMidRunStopsWithLogAndFilesInAgreement)
{
    enum class Fault { Full, Refused };
    const std::tuple<Operation, int, Fault> cases[] = {
        {Operation::NewNumber, 60, Fault::Full}, {Operation::AppendText, 20, Fault::Full},
        {Operation::ShotDate, 70, Fault::Refused}};
    for (const auto &[operation, when, fault] : cases) {
        SCOPED_TRACE(int(operation));
        for (const QString &name : files())
            QFile::remove(folder.filePath(name));
        photos(300);
        const auto before = contents();
        const qint64 logged = database->count(Table::FileNameLog);
        HookAt failing(when, [&, fault = fault] {
            if (fault == Fault::Full) {
                Statement pages(*database, "PRAGMA page_count");
                pages.step();
                database->execute(QStringLiteral("PRAGMA max_page_count = %1").arg(pages.integer(0)));
            } else {
                database->execute("PRAGMA query_only = 1");
            }
        });
        const OperationOutcome outcome = applyWith(failing, operation);
        database->execute("PRAGMA query_only = 0");
        database->execute("PRAGMA max_page_count = 1073741823");

        EXPECT_EQ(outcome.status, OperationOutcome::Status::Stopped);
        EXPECT_EQ(outcome.stopReason, OperationOutcome::StopReason::Database);
        EXPECT_GT(outcome.renamed, 0);
        // Every file is either under its former name or under a new name that
        // the log records; nothing is left under a temporary name.
        const auto after = contents();
        ASSERT_EQ(after.size(), before.size());
        std::map<QString, QString> loggedAs; // new name -> former name
        const auto log = database->logRowsNewestFirst();
        for (size_t i = 0; i < log.size() - size_t(logged); ++i)
            loggedAs[log[i].newFileName + u'.' + log[i].extension] = log[i].originalFileName;
        EXPECT_EQ(int(loggedAs.size()), outcome.renamed);
        for (const auto &[name, content] : after) {
            const QString former = before.count(name) ? name : loggedAs[name];
            EXPECT_EQ(content, before.count(former) ? before.at(former) : QByteArray()) << name.toStdString();
        }
        // The next run in the folder closes the record first and goes on.
        EXPECT_TRUE(settleQuietRuns(*database, folder.path()).empty());
        EXPECT_TRUE(journal::unfinishedRuns(*database).empty());
    }
}

// Runs are stored by name: every operation is found again by its name and
// by its value, and no two share a name or a list text.
TEST(OperationTable, EveryOperationIsFoundByNameAndValue)
{
    QSet<QString> names, texts;
    for (const auto &entry : allOperations()) {
        EXPECT_EQ(&rulesOf(entry.operation), &entry);
        EXPECT_EQ(operationNamed(entry.name), &entry);
        names.insert(entry.name);
        texts.insert(text::operationName(entry.operation));
    }
    EXPECT_EQ(names.size(), qsizetype(allOperations().size()));
    EXPECT_EQ(texts.size(), qsizetype(allOperations().size()));
    EXPECT_EQ(operationNamed("recover"), nullptr);
}

} // namespace

namespace {

// A memory card: no RENAME_NOREPLACE (EINVAL), no hard links (EPERM). A run
// renames through placeholders of its own, finds that out once, never
// replaces a file, and undo takes it all back.
TEST_F(RunRecord, CardWithoutNoReplaceOrLinksRenamesAndUndoes)
{
    PlayedFileSystem card(volume);
    card.noReplaceError = EINVAL;
    card.linkError = EPERM;
    photos(4);
    ASSERT_TRUE(QDir(folder.path()).mkdir("IMG_0002(x).jpg")); // the third photo's new name is taken
    const auto before = contents();
    const OperationOutcome outcome = run(Operation::AppendText, inputsFor(Operation::AppendText));
    EXPECT_EQ(outcome.renamed, 3);
    EXPECT_EQ(outcome.plan.files[2].cause, FailureCause::TargetExists);
    EXPECT_EQ(card.noReplaceCalls, 1);
    EXPECT_EQ(card.linkCalls, 1);
    EXPECT_EQ(files(), QStringList({"IMG_0000(x).jpg", "IMG_0001(x).jpg", "IMG_0002.jpg", "IMG_0003(x).jpg"}));
    EXPECT_TRUE(QFileInfo(folder.filePath("IMG_0002(x).jpg")).isDir());
    EXPECT_EQ(undo().renamed, 3);
    EXPECT_EQ(contents(), before);
}

// A name that changes its letter case alone goes through a temporary name,
// which a card's folder (taking both for one name) needs.
TEST_F(RunRecord, CaseOnlyRenamesGoThroughATemporaryName)
{
    photos(2);
    NamingInputs in = inputs();
    in.preText = "IMG";
    in.postText = "img";
    const RenamePlan plan = RenameOperations(clock).plan(Operation::ReplaceText, in);
    ASSERT_EQ(plan.files.size(), 2u);
    EXPECT_TRUE(isTemporaryName(plan.files[0].temporaryName));
    EXPECT_EQ(RenameOperations(clock).apply(plan, *database).renamed, 2);
    EXPECT_EQ(files(), QStringList({"img_0000.jpg", "img_0001.jpg"}));
    EXPECT_EQ(undo().renamed, 2);
    EXPECT_EQ(files(), QStringList({"IMG_0000.jpg", "IMG_0001.jpg"}));
}

// The volume turns read-only or fills up mid-run: the run stops there.
// Files it cannot move back keep temporary names, so the run stays open,
// every other run in the folder is refused, and recovery gives every name
// back once the volume takes writes again.
TEST_F(RunRecord, VolumeThatStopsTakingWritesMidRunLosesNoName)
{
    using Reason = OperationOutcome::StopReason;
    const std::pair<int, Reason> faults[] = {{EROFS, Reason::ReadOnly}, {ENOSPC, Reason::DiskFull}};
    for (const auto &[error, reason] : faults) {
        SCOPED_TRACE(error);
        for (const QString &name : files())
            QFile::remove(folder.filePath(name));
        photos(6);
        // The last two swap: aside first, they take their new names before
        // the others; the volume stops taking writes between the two.
        crossNamed("IMG_0004.jpg", "IMG_0005.jpg", 5);
        const auto before = contents();
        {
            PlayedFileSystem failing(volume);
            failing.failFrom = 3; // both aside, one at its new name
            failing.failError = error;
            const OperationOutcome outcome = run(Operation::NewNumber);
            EXPECT_EQ(outcome.status, OperationOutcome::Status::Stopped);
            EXPECT_EQ(outcome.stopReason, reason);
            EXPECT_EQ(outcome.renamed, 1);
            EXPECT_EQ(outcome.leftTemporary, 1);
            EXPECT_EQ(run(Operation::NewNumber).status, OperationOutcome::Status::UnfinishedRun);
        }
        const std::optional<UnfinishedRun> open = settleUnfinishedRuns(*database);
        ASSERT_TRUE(open);
        EXPECT_EQ(open->awaitingRestore, 1);
        EXPECT_EQ(open->goingBack, 2); // the question counts what the recovery moves: the whole run
        EXPECT_EQ(recover(*database, open->run).restored, 2);
        EXPECT_EQ(contents(), before);
        EXPECT_TRUE(journal::unfinishedRuns(*database).empty());
    }
}

// The card is pulled mid-run: one stop naming the folder, the run kept; no
// recovery or undo touches it while the folder is not there, and when it is
// back the run is closed as far as it went and undone.
TEST_F(RunRecord, CardPulledMidRunIsRecoveredWhenItIsBack)
{
    photos(5);
    const auto before = contents();
    {
        PlayedFileSystem card(volume);
        card.failFrom = 3;
        card.failError = ENOTCONN;
        const OperationOutcome outcome = run(Operation::NewNumber);
        EXPECT_EQ(outcome.stopReason, OperationOutcome::StopReason::FolderGone);
        EXPECT_EQ(outcome.notDone, 2);
        EXPECT_EQ(outcome.renamed, 3);
        EXPECT_EQ(outcome.leftTemporary, 0);
    }
    const QString away = folder.path() + "-out";
    ASSERT_TRUE(QDir().rename(folder.path(), away));
    const std::optional<UnfinishedRun> open = settleUnfinishedRuns(*database, true);
    ASSERT_TRUE(open && open->folderUnavailable);
    EXPECT_TRUE(recover(*database, open->run).folderUnavailable);
    const OperationOutcome refused = undo();
    EXPECT_EQ(refused.status, OperationOutcome::Status::UnfinishedRun);
    EXPECT_EQ(refused.refusal, OperationOutcome::Refusal::RecoveryFolderUnavailable);
    ASSERT_TRUE(QDir().rename(away, folder.path()));
    EXPECT_FALSE(settleUnfinishedRuns(*database));
    EXPECT_EQ(undo().renamed, 3);
    EXPECT_EQ(contents(), before);
}

// Undo and recovery move only the file they recorded.
TEST_F(RunRecord, AFileSavedUnderARunsNameIsNeverTakenForItsFile)
{
    photos(3);
    run(Operation::NewNumber);
    QFile::remove(folder.filePath("210305-001.jpg"));
    writeFile(folder.path(), "210305-001.jpg", "another picture, saved since");
    // A look-alike: the same size and modified time as the file it replaced.
    const QDateTime time = QFileInfo(folder.filePath("210305-002.jpg")).lastModified();
    QFile::remove(folder.filePath("210305-002.jpg"));
    setModified(writeFile(folder.path(), "210305-002.jpg", "IMG_9999.jpg"), time);
    const OperationOutcome undone = undo();
    EXPECT_EQ(undone.renamed, 1);
    EXPECT_EQ(undone.failed, 2);
    EXPECT_EQ(undone.plan.files[1].cause, FailureCause::NotTheSameFile);
    EXPECT_EQ(undone.plan.files[2].cause, FailureCause::NotTheSameFile);
    EXPECT_EQ(contents().at("210305-001.jpg"), "another picture, saved since");
    EXPECT_EQ(contents().at("210305-002.jpg"), "IMG_9999.jpg");

    // A file re-saved by another program while under its temporary name is
    // still the run's file: no camera writes that name.
    for (const QString &name : files())
        QFile::remove(folder.filePath(name));
    photos(2);
    RenamePlan plan = RenameOperations(clock).plan(Operation::NewNumber, inputs());
    cutShort(plan, 2, true);
    writeFile(folder.path(), plan.files[0].temporaryName, "re-saved, longer than before");
    EXPECT_EQ(recover(*database, settleUnfinishedRuns(*database)->run).restored, 2);
    EXPECT_EQ(contents().at(plan.files[0].formerName), "re-saved, longer than before");
}

// A recovery cut short while it took a renamed file back: after the move to
// its temporary name but before its record, between the placeholder of
// that name (or of its former name) and the move, or between the link and
// the unlink of a file system without RENAME_NOREPLACE. The next recovery
// still gives every file its former name, logs the way back once and leaves
// nothing behind.
TEST_F(RunRecord, RecoveryCutShortAndRunAgainRestoresEveryFile)
{
    enum class Cut { Moved, TemporaryPlaceholder, FormerPlaceholder, Linked };
    for (const Cut cut : {Cut::Moved, Cut::TemporaryPlaceholder, Cut::FormerPlaceholder, Cut::Linked}) {
        SCOPED_TRACE(int(cut));
        for (const QString &name : files())
            QFile::remove(folder.filePath(name));
        database->empty(Table::FileNameLog);
        photos(3);
        const auto before = contents();
        RenamePlan plan = RenameOperations(clock).plan(Operation::NewNumber, inputs());
        cutShort(plan, 4, true); // three under temporary names, then the first renamed and logged
        const PlannedRename &first = plan.files[0];
        const auto path = [&](const QString &name) { return QFile::encodeName(folder.filePath(name)); };
        switch (cut) {
        case Cut::Moved:
            ASSERT_EQ(fs::renameNoReplace(plan.folder, first.newName, first.temporaryName), fs::RenameStatus::Renamed);
            break;
        case Cut::TemporaryPlaceholder: writeFile(folder.path(), first.temporaryName, ""); break;
        case Cut::FormerPlaceholder:
            ASSERT_EQ(fs::renameNoReplace(plan.folder, first.newName, first.temporaryName), fs::RenameStatus::Renamed);
            writeFile(folder.path(), first.formerName, "");
            break;
        case Cut::Linked: ASSERT_EQ(::link(path(first.newName), path(first.temporaryName)), 0); break;
        }
        const RecoveryResult result = recover(*database, settleUnfinishedRuns(*database)->run);
        EXPECT_EQ(result.restored, 3);
        EXPECT_EQ(result.failed, 0);
        EXPECT_EQ(contents(), before);
        const std::vector<LogRow> log = database->logRowsNewestFirst();
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[0].newFileName, fs::baseNameOf(first.formerName));
        EXPECT_TRUE(journal::unfinishedRuns(*database).empty());
    }
}

// A recovery killed right after one of its renames, before it could record
// it, and the next one killed again: the recovery that ends gives every
// file its former name and logs each logged rename's way back once.
TEST_F(RunRecord, RecoveriesKilledAfterAnyRenameLogTheWayBackOnce)
{
    const auto recoverKilledAfter = [&](int rename) {
        return killedAfter(rename, [](NameDatabase &own, fs::RenameCalls &calls) {
            if (const std::optional<UnfinishedRun> unfinished = settleUnfinishedRuns(own, false, calls))
                recover(own, unfinished->run, calls);
        });
    };
    // Two files renamed and logged, a third under its temporary name: the
    // recovery moves two back to temporary names, then three to their former names.
    for (int first = 1; first <= 5; ++first) {
        for (int second = 0; second <= 5; ++second) {
            SCOPED_TRACE(first * 10 + second);
            database = std::make_unique<NameDatabase>(data.path(), clock);
            for (const QString &name : files())
                QFile::remove(folder.filePath(name));
            database->empty(Table::FileNameLog);
            photos(3);
            const auto before = contents();
            cutShort(RenameOperations(clock).plan(Operation::NewNumber, inputs()), 5, true);
            const bool killed = recoverKilledAfter(first);
            ASSERT_TRUE(killed);
            if (second > 0)
                recoverKilledAfter(second);
            database = std::make_unique<NameDatabase>(data.path(), clock);
            if (const std::optional<UnfinishedRun> unfinished = settleUnfinishedRuns(*database))
                EXPECT_EQ(recover(*database, unfinished->run).failed, 0);
            EXPECT_EQ(contents(), before);
            EXPECT_EQ(logRowsForwardAndBack(), std::pair(2, 2));
            EXPECT_TRUE(journal::unfinishedRuns(*database).empty());
        }
    }
}

// A run killed inside or between its batches of records: nothing is under
// a temporary name, so the run is closed as far as it went, every rename
// that happened recorded and logged once, and undo takes it all back.
TEST_F(RunRecord, RunKilledBetweenBatchesIsRecordedAsFarAsItWent)
{
    for (const int rename : {30, 64, 150}) { // in the first batch; right after it; after two
        SCOPED_TRACE(rename);
        database->empty(Table::FileNameLog);
        for (const QString &name : files())
            QFile::remove(folder.filePath(name));
        photos(200);
        const auto before = contents();
        const NamingInputs in = inputs();
        ASSERT_TRUE(killedAfter(rename, [&](NameDatabase &own, fs::RenameCalls &calls) {
            RenameSession(clock, nullptr, nullptr, calls).run(Operation::NewNumber, in, own);
        }));
        database = std::make_unique<NameDatabase>(data.path(), clock);
        EXPECT_FALSE(settleUnfinishedRuns(*database));
        EXPECT_TRUE(journal::unfinishedRuns(*database).empty());
        EXPECT_EQ(logRowsForwardAndBack(), std::make_pair(rename, 0));
        EXPECT_EQ(undo().renamed, rename);
        EXPECT_EQ(contents(), before);
    }
    // Killed after its last rename, before recording it: the run stands, and
    // the recovery says so rather than "0 given back".
    for (const QString &name : files())
        QFile::remove(folder.filePath(name));
    photos(200);
    const NamingInputs in = inputs();
    ASSERT_TRUE(killedAfter(200, [&](NameDatabase &own, fs::RenameCalls &calls) {
        RenameSession(clock, nullptr, nullptr, calls).run(Operation::NewNumber, in, own);
    }));
    database = std::make_unique<NameDatabase>(data.path(), clock);
    const std::vector<UnfinishedRun> runs = findUnfinishedRuns(*database);
    ASSERT_EQ(runs.size(), 1u);
    const RecoveryResult result = recover(*database, runs[0].run);
    EXPECT_EQ(result.restored, 0);
    EXPECT_GT(result.completed, 0);
}

// An undo that stops part-way (the card filled up) leaves the files it did
// not reach undoable; a file system that says a file is missing while it is
// there leaves the run open rather than strand the file.
TEST_F(RunRecord, AnUndoOrARunStoppedByTheVolumeLeavesNothingBehind)
{
    photos(4);
    const auto before = contents();
    for (const int failFrom : {0, 2}) {
        run(Operation::NewNumber);
        {
            PlayedFileSystem full(volume);
            full.failFrom = failFrom;
            full.failError = ENOSPC;
            EXPECT_EQ(undo().stopReason, OperationOutcome::StopReason::DiskFull);
        }
        // Space again: the next undo takes back the files the first did not reach.
        EXPECT_FALSE(settleUnfinishedRuns(*database));
        EXPECT_EQ(undo().renamed, 4 - failFrom);
        EXPECT_EQ(contents(), before);
    }

    crossNamed("IMG_0000.jpg", "IMG_0001.jpg", 1);
    const auto crossed = contents();
    {
        PlayedFileSystem lying(volume);
        lying.failFrom = 2; // once the two crossed are aside: every move answers "no such file"
        lying.failError = ENOENT;
        const OperationOutcome outcome = run(Operation::NewNumber);
        EXPECT_EQ(outcome.leftTemporary, 2);
    }
    EXPECT_EQ(run(Operation::NewNumber).status, OperationOutcome::Status::UnfinishedRun);
    recover(*database, settleUnfinishedRuns(*database)->run);
    EXPECT_EQ(contents(), crossed);
}

// A file whose new name no file of the run holds moves once; a chain (each
// file takes the former name of the next) is ordered so that it needs no
// temporary name; only the files of a cycle step aside. Undo alike.
TEST_F(RunRecord, OnePassWhereItIsEnough)
{
    const struct {
        const char *what;
        std::function<void()> arrange;
        int start;
        int extraMoves; // beyond one a file
    } cases[] = {
        {"fresh names", [] {}, 1, 0},
        {"a chain: numbered from 2", [this] { run(Operation::NewNumber); }, 2, 0},
        {"a cycle of two", [this] { crossNamed("IMG_0002.jpg", "IMG_0003.jpg", 3); }, 1, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString &name : files())
            QFile::remove(folder.filePath(name));
        photos(5);
        c.arrange();
        const auto arranged = contents();
        NamingInputs in = inputs();
        in.startNumber = QString::number(c.start);
        PlayedFileSystem counted(volume);
        const OperationOutcome outcome = run(Operation::NewNumber, in);
        EXPECT_EQ(outcome.renamed, 5);
        EXPECT_EQ(counted.moves, 5 + c.extraMoves);
        EXPECT_EQ(files(), QStringList({"210305-00" + QString::number(c.start) + ".jpg",
                                        "210305-00" + QString::number(c.start + 1) + ".jpg",
                                        "210305-00" + QString::number(c.start + 2) + ".jpg",
                                        "210305-00" + QString::number(c.start + 3) + ".jpg",
                                        "210305-00" + QString::number(c.start + 4) + ".jpg"}));
        counted.moves = 0;
        EXPECT_EQ(undo().renamed, 5);
        EXPECT_EQ(counted.moves, 5 + c.extraMoves);
        EXPECT_EQ(contents(), arranged);
    }
}

// A one-pass run killed between a sidecar and its photo: the recovery
// makes the pair whole, both under their new names, logged once.
TEST_F(RunRecord, RunKilledBetweenASidecarAndItsFileIsMadeWhole)
{
    photos(3);
    for (const QString &name : files())
        writeFile(folder.path(), fs::baseNameOf(name) + ".xmp", "edits of " + name.toUtf8());
    const auto before = contents();
    NamingInputs in = inputsFor(Operation::AppendText);
    in.extensions = {"jpg"};
    ASSERT_TRUE(killedAfter(3, [&](NameDatabase &own, fs::RenameCalls &calls) {
        RenameSession(clock, nullptr, nullptr, calls).run(Operation::AppendText, in, own);
    }));
    database = std::make_unique<NameDatabase>(data.path(), clock);
    EXPECT_TRUE(files().contains("IMG_0001(x).xmp") && files().contains("IMG_0001.jpg")); // cut in two
    EXPECT_FALSE(settleUnfinishedRuns(*database));
    EXPECT_EQ(files(), QStringList({"IMG_0000(x).jpg", "IMG_0000(x).xmp", "IMG_0001(x).jpg", "IMG_0001(x).xmp",
                                    "IMG_0002.jpg", "IMG_0002.xmp"}));
    EXPECT_EQ(database->count(Table::FileNameLog), 4);
    EXPECT_EQ(undo().renamed, 4);
    EXPECT_EQ(contents(), before);
}

// Files of one content under both names of a file (empty or template
// sidecars, copies) are told apart by what the mount can tell, else taken
// not to have moved: a run cut short before its first rename changes
// nothing and logs nothing. A file of a run taken back that is under none of
// its names is named, not passed over.
TEST_F(RunRecord, RecoveryNeverTakesALookAlikeForTheFileAndNamesWhatIsGone)
{
    const struct {
        const char *what;
        std::function<void()> arrange;
        int start;
    } cases[] = {
        {"an unrelated sidecar of the same bytes holds a new name",
         [this] {
             photos(2);
             writeFile(folder.path(), "IMG_0001.xmp", "<x:xmpmeta/>");
             writeFile(folder.path(), "210305-002.xmp", "<x:xmpmeta/>");
         },
         1},
        {"numbered from 2, every photo with the same sidecar",
         [this] {
             photos(4);
             for (int i = 0; i < 4; ++i)
                 writeFile(folder.path(), QStringLiteral("IMG_%1.xmp").arg(i, 4, 10, QChar(u'0')), "<x:xmpmeta/>");
             run(Operation::NewNumber);
         },
         2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString &name : files())
            QFile::remove(folder.filePath(name));
        c.arrange();
        database->empty(Table::FileNameLog);
        const auto before = contents();
        NamingInputs in = inputs();
        in.startNumber = QString::number(c.start);
        RenamePlan plan = RenameOperations(clock).plan(Operation::NewNumber, in);
        cutShort(plan, 0, true);
        EXPECT_FALSE(settleUnfinishedRuns(*database));
        EXPECT_EQ(contents(), before);
        EXPECT_EQ(database->count(Table::FileNameLog), 0);
    }

    for (const QString &name : files())
        QFile::remove(folder.filePath(name));
    photos(2);
    crossNamed("IMG_0000.jpg", "IMG_0001.jpg", 1);
    RenamePlan plan = RenameOperations(clock).plan(Operation::NewNumber, inputs());
    cutShort(plan, 2, true); // both aside
    QFile::remove(folder.filePath(plan.files[1].temporaryName));
    const RecoveryResult result = recover(*database, settleUnfinishedRuns(*database)->run);
    EXPECT_EQ(result.unaccounted, QStringList({plan.files[1].formerName}));
}

// A recovery whose volume turns read-only leaves every file where it is and
// the run open; the next one, on a volume that takes writes, gives every
// name back.
TEST_F(RunRecord, ARecoveryStoppedByItsVolumeIsTakenUpByTheNext)
{
    photos(4);
    const auto before = contents();
    RenamePlan plan = RenameOperations(clock).plan(Operation::NewNumber, inputs());
    cutShort(plan, 5, false); // every file aside, one at its new name, unrecorded
    {
        PlayedFileSystem readOnly(volume);
        readOnly.failFrom = 0;
        readOnly.failError = EROFS;
        const RecoveryResult stopped = recover(*database, settleUnfinishedRuns(*database)->run, readOnly);
        EXPECT_TRUE(stopped.stopped);
        EXPECT_EQ(stopped.restored, 0);
    }
    ASSERT_EQ(journal::unfinishedRuns(*database).size(), 1u);
    EXPECT_EQ(recover(*database, settleUnfinishedRuns(*database)->run).restored, 4);
    EXPECT_EQ(contents(), before);
    EXPECT_TRUE(journal::unfinishedRuns(*database).empty());
}

// A program that saved a file under one of a run's temporary names after
// the run (an editor writing back to the path it had opened): the name is
// the run's, so nothing is refused; undo names it and leaves it alone.
TEST_F(RunRecord, ATemporaryNameSavedAfterTheRunIsLeftAloneAndNamed)
{
    photos(4);
    crossNamed("IMG_0000.jpg", "IMG_0001.jpg", 1);
    const OperationOutcome outcome = run(Operation::NewNumber);
    ASSERT_EQ(outcome.renamed, 4);
    const QString stray = outcome.plan.files[0].temporaryName;
    ASSERT_TRUE(outcome.plan.files[0].viaTemporary);
    writeFile(folder.path(), stray, "saved by an editor");
    EXPECT_EQ(inspectFolder(folder.path(), *database).status, OperationOutcome::Status::Completed);
    const OperationOutcome undone = undo();
    EXPECT_EQ(undone.renamed, 4);
    const auto leftOut = undone.plan.leftOut;
    EXPECT_TRUE(std::any_of(leftOut.begin(), leftOut.end(), [&](const LeftOut &file) {
        return file.name == stray && file.reason == LeftOut::Reason::TemporaryName;
    }));
    EXPECT_EQ(contents().at(stray), "saved by an editor");
    // One no record explains still holds the folder back.
    writeFile(folder.path(), "TempFileName0000_001-0badc0de.jpg", "whose?");
    EXPECT_EQ(inspectFolder(folder.path(), *database).status,
              OperationOutcome::Status::StrayTemporaryNames);
}

// Every state and cause is stored under a name of its own and read back.
TEST_F(RunRecord, EveryStateAndCauseSurvivesTheJournal)
{
    photos(1);
    RenamePlan plan = RenameOperations(clock).plan(Operation::NewNumber, inputs());
    Transaction transaction(*database);
    const qint64 runId = journal::begin(*database, plan);
    transaction.commit();
    PlannedRename &file = plan.files[0];
    for (int state = 0; state <= int(FileState::Undone); ++state) {
        for (int cause = 0; cause <= int(FailureCause::Other); ++cause) {
            file.state = FileState(state);
            file.cause = FailureCause(cause);
            file.error = cause;
            journal::record(*database, runId, 0, file);
            const PlannedRename read = journal::files(*database, runId).at(0);
            EXPECT_EQ(int(read.state), state);
            EXPECT_EQ(int(read.cause), cause);
            EXPECT_EQ(read.error, cause);
        }
    }
}

} // namespace
