// SPDX-License-Identifier: GPL-3.0-or-later
// pelmora-cli: the operations of the window, for scripts and benchmarks.
#include "settings/FavouriteFolder.h"
#include "text/AttributeText.h"
#include "database/Compaction.h"
#include "dates/CameraSurvey.h"
#include "maintenance/Maintenance.h"
#include "numbering/FolderNumbering.h"
#include "numbering/NumberingExport.h"
#include "platform/Clock.h"
#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "platform/IsolatedReader.h"
#include "platform/PropertyReader.h"
#include "database/NameDatabase.h"
#include "rename/Progress.h"
#include "rename/Recovery.h"
#include "rename/RenameSession.h"
#include "text/Messages.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>

using namespace pelmora;

namespace {

void print(FILE *stream, QString text)
{
    text.replace(u'\r', u'\n');
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}

int fail(const QString &message)
{
    print(stderr, QStringLiteral("pelmora-cli: ") + message);
    return 1;
}

// The closing message on standard output, and the exit status a script can
// go by: 0 every planned file renamed, 2 some failed (each on standard error
// with its cause), 3 the run stopped part-way (a signal included), 1 refused.
int report(const OperationOutcome &outcome)
{
    using Status = OperationOutcome::Status;
    if (outcome.status != Status::Completed && outcome.status != Status::Stopped)
        return fail(text::outcomeMessage(outcome));
    print(stdout, text::outcomeMessage(outcome));
    const QString details = text::tableLines(text::failureTable(outcome.plan));
    if (!details.isEmpty())
        print(stderr, details);
    if (outcome.status == Status::Stopped)
        return 3;
    return outcome.failed == 0 && outcome.leftTemporary == 0 ? 0 : 2;
}

// SIGINT and SIGTERM ask a rename to stop between two files, for as long as
// one runs; a second signal ends the program at once (the run is then
// recovered as any run cut short).
class StopOnSignals final : public ProgressSink {
public:
    StopOnSignals()
    {
        struct sigaction action {};
        action.sa_handler = [](int) { requested = 1; };
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        for (const int signal : {SIGINT, SIGTERM})
            ::sigaction(signal, &action, nullptr);
    }
    ~StopOnSignals() override
    {
        for (const int signal : {SIGINT, SIGTERM})
            std::signal(signal, SIG_DFL);
    }
    void show() override {}
    void setValue(int) override {}
    void hide() override {}
    bool stopRequested() const override { return requested != 0; }

private:
    static inline volatile std::sig_atomic_t requested = 0;
};

int recoverAll(NameDatabase &database)
{
    takeUpRunsShownByTheirNames(database);
    const std::vector<UnfinishedRun> runs = findUnfinishedRuns(database);
    if (runs.empty())
        print(stdout, text::kNoUnfinishedRuns);
    int failed = 0;
    for (const UnfinishedRun &run : runs) {
        const RecoveryResult result = recover(database, run.run);
        print(stdout, run.run.folder + QStringLiteral(": ") + text::restoreSummary(result));
        failed += result.failed + int(result.unaccounted.size()) + (result.folderUnavailable || result.stopped ? 1 : 0);
    }
    return failed == 0 ? 0 : 3;
}

// A value of a tab-separated line: no control character (a tab, a line
// break, an escape sequence from a file's tags) reaches the output.
QString tableField(QString text)
{
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    return text;
}

int printLog(NameDatabase &database)
{
    const auto field = tableField;
    const auto print = [](const QString &line) {
        return std::fputs((line + u'\n').toLocal8Bit().constData(), stdout) >= 0;
    };
    // Row by row: a log of years of renames never sits in memory at once.
    // The first write that fails (a full disk, a closed output) ends it.
    bool written = print(logFieldNames().join(u'\t'));
    if (written) {
        database.forEachLogRowNewestFirst([&](const LogRow &row) {
            written = print(QStringList{QString::number(row.id), field(row.originalFileName),
                                        databaseDateText(row.makeItDate), field(row.extension), field(row.camera),
                                        field(row.newFileName), databaseDateText(row.update)}
                                .join(u'\t'));
            return written;
        });
    }
    if (written && std::fflush(stdout) == 0)
        return 0;
    const int error = errno;
    return fail(text::logNotWritten(error));
}

QString compactionText(const Failure &error)
{
    return text::compactionError(error) + (error.kind == Failure::Kind::InUse ? u'\r' + text::kAccessRestricted : QString());
}

int compact(const QString &dataFolder)
{
    const std::optional<Failure> error = compactDatabase(dataFolder);
    return error ? fail(compactionText(*error)) : 0;
}

// A folder shows its first file; a file itself; with its camera's kept
// clock offset, when the database can be read.
int printAttributes(const QString &dataFolder, const Clock &clock, const QString &path)
{
    const std::optional<QString> file = QFileInfo(path).isDir() ? firstFileOf(path) : std::optional(path);
    if (!file || !QFileInfo(*file).isFile())
        return fail(text::noFileToShow(path));
    const QString attributes = attributeText(
        readAttributes(*file, IsolatedPropertyReader().read(*file), NameDatabase::clockOffsetsIn(dataFolder, clock)));
    std::fputs((QString(attributes).replace(QStringLiteral("\r\n"), QStringLiteral("\n")) + u'\n').toLocal8Bit().constData(),
               stdout);
    return 0;
}

// With a folder, stores it for the Drive button; without, prints the one stored.
int favouriteFolder(const QString &dataFolder, const QString &folder)
{
    if (folder.isEmpty()) {
        const std::optional<QString> stored = favourite::stored(dataFolder);
        if (!stored)
            return fail(text::kNoFavouriteFolder);
        print(stdout, *stored);
        return 0;
    }
    if (!QFileInfo(folder).isDir())
        return fail(text::folderMissing(folder));
    const QString absolute = QDir::cleanPath(QDir(folder).absolutePath());
    if (const std::optional<Failure> failure = favourite::store(dataFolder, absolute))
        return fail(text::registerFailed(*failure));
    print(stdout, text::kRegistered);
    return 0;
}

int numberFolder(NameDatabase &database, const QString &folder)
{
    if (!QFileInfo(folder).isDir())
        return fail(text::folderMissing(folder));
    const NumberingResult result = FolderNumbering(database).run(QDir(folder).absolutePath());
    print(stdout, text::numberingDone(result.files, result.folders, result.unreadable, result.unnamed));
    return 0;
}

int exportWorkbook(NameDatabase &database, const QString &dataFolder, const QString &folder, const Clock &clock)
{
    const QString target = QDir(folder).filePath(workbook::outputName(clock.now()));
    if (const auto error = workbook::write(findWorkbookTemplate(dataFolder), numberedFiles(database),
                                           numberedFolders(database), target))
        return fail(text::exportFailed(*error));
    print(stdout, target);
    return 0;
}

// What a command is given: its arguments after its name, the options, and
// the DATA folder.
struct Context {
    const QCommandLineParser &parser;
    QStringList arguments;
    QString dataFolder;
    SystemClock clock;
    QString value(const char *option) const { return parser.value(QString::fromLatin1(option)); }
    bool isSet(const char *option) const { return parser.isSet(QString::fromLatin1(option)); }
};

// Runs a command on the database, saying why when the database cannot be used.
int withDatabase(Context &context, const std::function<int(NameDatabase &)> &command)
{
    try {
        NameDatabase database(context.dataFolder, context.clock);
        return command(database);
    } catch (const DatabaseError &error) {
        return fail(text::databaseUnavailable(error.failure()));
    }
}

// The same for a dry run, which only looks: the database is opened to be
// read alone, and not at all when there is none yet.
int lookingAtDatabase(Context &context, const std::function<int(NameDatabase &)> &command)
{
    try {
        if (QFileInfo::exists(NameDatabase::fileIn(context.dataFolder))) {
            NameDatabase database(context.dataFolder, context.clock, NameDatabase::Access::ReadOnly);
            return command(database);
        }
        // None yet: the run would make an empty one, and it is made aside.
        const QTemporaryDir aside;
        NameDatabase empty(aside.path(), context.clock);
        return command(empty);
    } catch (const DatabaseError &error) {
        return fail(text::databaseUnreadable(error.failure()));
    }
}

// --camera-offset (any number of times) and --zone; false, having said
// why, when one of them cannot be read.
bool readCorrections(const Context &context, DateCorrections &corrections)
{
    for (const QString &given : context.parser.values(QStringLiteral("camera-offset"))) {
        const std::optional<ClockOffset> offset = parseClockOffset(given);
        if (!offset) {
            fail(QStringLiteral("--camera-offset takes \"MAKE MODEL[#SERIAL]=+HH:MM:SS\", not \"%1\"").arg(given));
            return false;
        }
        corrections.offsets.set(*offset);
    }
    if (context.isSet("zone")) {
        const QString zone = context.value("zone");
        if (zone.trimmed().isEmpty() || !chooseMovieZone(zone, corrections)) {
            fail(QStringLiteral("--zone takes photos, an offset such as +09:00 or a zone name such as Europe/Paris"));
            return false;
        }
    }
    return true;
}

// The cameras of the folder, tab-separated: camera (a serial after '#'),
// files, first and last date as read, offset, and the offset GPS time suggests.
int printCameras(Context &context)
{
    const QString folder = QDir::cleanPath(QDir(context.arguments[0]).absolutePath());
    if (!QFileInfo(folder).isDir())
        return fail(text::folderMissing(folder));
    DateCorrections run;
    if (!readCorrections(context, run))
        return 1;
    return withDatabase(context, [&](NameDatabase &database) {
        ClockOffsets offsets = database.clockOffsets();
        offsets.setAll(run.offsets);
        IsolatedPropertyReader reader;
        print(stdout, QStringLiteral("Camera\tFiles\tFirst\tLast\tOffset\tSuggested"));
        for (const CameraSummary &camera : camerasOf(folder, reader, offsets)) {
            const QString serial = camera.camera.serial.isEmpty() ? QString() : u'#' + camera.camera.serial;
            print(stdout, QStringList{tableField(cameraName(camera.camera) + serial), QString::number(camera.files),
                                      databaseDateText(camera.first), databaseDateText(camera.last),
                                      offsetSecondsText(camera.offset),
                                      camera.suggested ? offsetSecondsText(*camera.suggested) : QString()}
                              .join(u'\t'));
        }
        return 0;
    });
}

int renameCommand(Context &context, Operation operation)
{
    NamingInputs inputs;
    inputs.folder = QDir::cleanPath(QDir(context.arguments[0]).absolutePath());
    inputs.fileCount = int(fs::listPlainFiles(inputs.folder).size());
    inputs.extensions = pictureExtensions();
    if (context.isSet("ext")) {
        const QStringList list = context.value("ext").split(u',', Qt::SkipEmptyParts);
        if (list.size() > kExtensionBoxCount)
            return fail(QStringLiteral("at most 20 extensions"));
        inputs.extensions = {};
        std::copy(list.begin(), list.end(), inputs.extensions.begin());
    }
    const int optionNumber = context.value("option").toInt();
    if (optionNumber < 1 || optionNumber > 4)
        return fail(QStringLiteral("--option takes 1, 2, 3 or 4"));
    inputs.option = static_cast<NamingOption>(optionNumber);
    inputs.preText = context.value("pre");
    inputs.postText = context.value("post");
    inputs.startNumber = context.value("start");
    inputs.companions = !context.isSet("no-companions");
    if (context.isSet("day-starts")) {
        inputs.dayStart = QTime::fromString(context.value("day-starts"), QStringLiteral("HH:mm"));
        if (!inputs.dayStart.isValid())
            return fail(QStringLiteral("--day-starts takes a time from 00:00 to 23:59, such as 04:00"));
    }
    if (!readCorrections(context, inputs.corrections))
        return 1;

    StopOnSignals stop;
    RenameSession session(context.clock, &stop);
    if (context.isSet("dry-run")) {
        return lookingAtDatabase(context, [&](NameDatabase &database) {
            const OperationOutcome preview = session.preview(operation, inputs, &database);
            if (preview.status == OperationOutcome::Status::Stopped)
                return report(preview);
            if (preview.status != OperationOutcome::Status::Completed)
                return fail(text::outcomeMessage(preview));
            const RenamePlan &plan = preview.plan;
            print(stdout, text::tableLines(text::planTable(plan)));
            // As the run would: 2 when a file of the plan cannot get its new name.
            const bool blocked = std::any_of(plan.files.begin(), plan.files.end(),
                                             [](const PlannedRename &file) { return file.nameTaken; });
            return blocked || !plan.undecodable.isEmpty() || !plan.unopened.isEmpty() ? 2 : 0;
        });
    }
    return withDatabase(context, [&](NameDatabase &database) { return report(session.run(operation, inputs, database)); });
}

int undoCommand(Context &context)
{
    StopOnSignals stop;
    RenameSession session(context.clock, &stop);
    if (!context.isSet("dry-run"))
        return withDatabase(context, [&](NameDatabase &database) { return report(session.undo(database)); });
    return lookingAtDatabase(context, [&](NameDatabase &database) {
        const OperationOutcome prepared = session.previewUndo(database);
        if (prepared.status != OperationOutcome::Status::Completed)
            return report(prepared);
        print(stdout, text::tableLines(text::planTable(prepared.plan)));
        return 0;
    });
}

int clearTheLog(Context &context)
{
    const ClearLogOutcome outcome = clearLog(context.dataFolder, context.clock);
    if (!outcome.cleared)
        return fail(outcome.databaseFailure ? text::databaseUnavailable(*outcome.databaseFailure) : text::kLogNotCleared);
    print(stdout, text::kLogCleared);
    return outcome.compaction ? fail(compactionText(*outcome.compaction)) : 0;
}

// What the help says of each rename operation.
QString descriptionOf(Operation operation)
{
    switch (operation) {
    case Operation::ShotDate: return QStringLiteral("rename by the date taken, numbered per day (--pre, --post, --start, --option)");
    case Operation::NewNumber: return QStringLiteral("rename by the date modified, numbered per day");
    case Operation::KeepExisting: return QStringLiteral("rename by the date modified, each file taking the lowest free number");
    case Operation::NewAndExisting: return QStringLiteral("rename by the date modified, keeping the former name in brackets");
    case Operation::ReplaceText: return QStringLiteral("replace the --pre text in the names by the --post text");
    case Operation::AppendText: return QStringLiteral("add the --post text in brackets before the extension");
    case Operation::Undo: return QStringLiteral("give the files of the last run their former names back");
    }
    return {};
}

// A command, with how many arguments it takes after its name.
struct Command {
    QString name;
    QString arguments;
    int fewest;
    int most;
    QString description;
    std::function<int(Context &)> run;
};

// Every operation of the list is a command of its name; then the others.
std::vector<Command> commands()
{
    std::vector<Command> all;
    for (const OperationRules &rules : allOperations()) {
        const Operation operation = rules.operation;
        if (operation == Operation::Undo)
            all.push_back({rules.name, {}, 0, 0, descriptionOf(operation), undoCommand});
        else
            all.push_back({rules.name, QStringLiteral("FOLDER"), 1, 1, descriptionOf(operation),
                           [operation](Context &context) { return renameCommand(context, operation); }});
    }
    const auto onDatabase = [](int (*command)(NameDatabase &)) {
        return [command](Context &context) { return withDatabase(context, command); };
    };
    all.insert(all.end(), {
        {QStringLiteral("recover"), {}, 0, 0, QStringLiteral("give the files of runs cut short their former names back"),
         onDatabase(recoverAll)},
        {QStringLiteral("log"), {}, 0, 0, QStringLiteral("print the rename log, newest first, tab-separated"),
         onDatabase(printLog)},
        {QStringLiteral("compact"), {}, 0, 0, QStringLiteral("compact the database file"),
         [](Context &context) { return compact(context.dataFolder); }},
        {QStringLiteral("clear-log"), {}, 0, 0, QStringLiteral("empty the rename log, then compact"), clearTheLog},
        {QStringLiteral("attributes"), QStringLiteral("FOLDER|FILE"), 1, 1,
         QStringLiteral("print every property of the folder's first file, or of the file"),
         [](Context &context) { return printAttributes(context.dataFolder, context.clock, context.arguments[0]); }},
        {QStringLiteral("cameras"), QStringLiteral("FOLDER"), 1, 1,
         QStringLiteral("print the folder's cameras, tab-separated: camera, files, first, last, offset, suggested"),
         printCameras},
        {QStringLiteral("favourite"), QStringLiteral("[FOLDER]"), 0, 1,
         QStringLiteral("store the folder for the Drive button, or print the one stored"),
         [](Context &context) { return favouriteFolder(context.dataFolder, context.arguments.value(0)); }},
        {QStringLiteral("number"), QStringLiteral("FOLDER"), 1, 1, QStringLiteral("give every file and folder below FOLDER its ID"),
         [](Context &context) {
             return withDatabase(context, [&](NameDatabase &database) { return numberFolder(database, context.arguments[0]); });
         }},
        {QStringLiteral("export"), QStringLiteral("[--to DIR]"), 0, 0,
         QStringLiteral("write the IDs to a workbook in DIR (default: the desktop)"),
         [](Context &context) {
             const QString folder = context.isSet("to") ? context.value("to") : desktopFolder();
             return withDatabase(context, [&](NameDatabase &database) {
                 return exportWorkbook(database, context.dataFolder, folder, context.clock);
             });
         }},
    });
    return all;
}

} // namespace

int main(int argc, char *argv[])
{
    pelmora::settleLocalTimeZone();
    QCoreApplication app(argc, argv);
    useUtf8FileNames();
    QCoreApplication::setApplicationName(QStringLiteral("Pelmora"));
    QCoreApplication::setApplicationVersion(text::versionNumber());

    const std::vector<Command> table = commands();
    QCommandLineParser parser;
    QString description = QStringLiteral("Renames the files of FOLDER as the window's operations do.\nCommands:");
    for (const Command &each : table) {
        const QString usage = each.name + u' ' + each.arguments;
        description += QStringLiteral("\n  %1 %2").arg(usage.trimmed(), -24).arg(each.description);
    }
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("the operation"));
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("the folder whose files are renamed"));
    parser.addOptions({
        {QStringLiteral("data"), QStringLiteral("the DATA folder"), QStringLiteral("DIR")},
        {QStringLiteral("ext"), QStringLiteral("extensions, comma-separated (at most 20)"), QStringLiteral("LIST")},
        {QStringLiteral("option"), QStringLiteral("naming option 1 to 4"), QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("pre"), QStringLiteral("Pre Text"), QStringLiteral("TEXT")},
        {QStringLiteral("post"), QStringLiteral("Post Text"), QStringLiteral("TEXT")},
        {QStringLiteral("start"), QStringLiteral("Start Number"), QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("dry-run"), QStringLiteral("print the plan, \"former name → new name\", and change nothing")},
        {QStringLiteral("day-starts"),
         QStringLiteral("the hour a day starts: a shot before it is numbered and named with the day before"),
         QStringLiteral("HH:MM"), QStringLiteral("00:00")},
        {QStringLiteral("camera-offset"),
         QStringLiteral("add this to every date of a camera's files, for this run (again for each camera; "
                        "a kept offset is overridden)"),
         QStringLiteral("\"MAKE MODEL[#SERIAL]=+HH:MM:SS\"")},
        {QStringLiteral("zone"),
         QStringLiteral("show a movie's UTC time in the zone written on its camera's photos nearest in time, "
                        "else in this zone (photos: else this computer's)"),
         QStringLiteral("photos|+HH:MM|ZONE")},
        {QStringLiteral("no-companions"),
         QStringLiteral("number a RAW+JPEG pair as two shots, and leave sidecars (xmp, aae, thm, lrv) alone")},
        {QStringLiteral("to"), QStringLiteral("export: the folder of the workbook (default: the desktop)"),
         QStringLiteral("DIR")},
    });
    parser.process(app);

    const QStringList positional = parser.positionalArguments();
    const QString name = positional.value(0);
    const auto command = std::find_if(table.begin(), table.end(), [&](const Command &each) { return each.name == name; });
    if (command == table.end())
        return fail(QStringLiteral("unknown command \"%1\"; see --help").arg(name));
    Context context{parser, positional.mid(1), {}, {}};
    if (context.arguments.size() < command->fewest || context.arguments.size() > command->most)
        return fail(QStringLiteral("usage: pelmora-cli [--data DIR] COMMAND [FOLDER] [options]; see --help"));
    // Only the renames and undo have a dry run: any other command would do
    // what it does, --dry-run or not.
    const bool looksOnly = parser.isSet(QStringLiteral("dry-run"));
    if (looksOnly && !operationNamed(command->name))
        return fail(QStringLiteral("--dry-run is for the rename commands and undo only"));
    // The default folder is only made (and given the template) when used;
    // a dry run makes none.
    context.dataFolder = parser.isSet(QStringLiteral("data"))
        ? parser.value(QStringLiteral("data"))
        : defaultDataFolder(looksOnly ? DataFolderUse::LookOnly : DataFolderUse::Make);
    if (!looksOnly)
        QDir().mkpath(context.dataFolder);
    return command->run(context);
}
