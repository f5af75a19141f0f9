// pelmora-cli: the operations of the window, for scripts and benchmarks.
#include "app/FavouriteFolder.h"
#include "attributes/AttributeText.h"
#include "maintenance/Compaction.h"
#include "maintenance/LogTableModel.h"
#include "numbering/FolderNumbering.h"
#include "numbering/NumberingExport.h"
#include "platform/Clock.h"
#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "platform/IsolatedReader.h"
#include "rename/Messages.h"
#include "rename/NameDatabase.h"
#include "rename/Recovery.h"
#include "rename/RenameOperations.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
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
// with its cause), 3 the run stopped part-way, 1 refused.
int report(const OperationOutcome &outcome)
{
    using Status = OperationOutcome::Status;
    if (outcome.status != Status::Completed && outcome.status != Status::Stopped)
        return fail(outcome.message);
    print(stdout, outcome.message);
    const QString details = text::failureDetails(outcome.plan);
    if (!details.isEmpty())
        print(stderr, details);
    if (outcome.status == Status::Stopped)
        return 3;
    return outcome.failed == 0 && outcome.leftTemporary == 0 ? 0 : 2;
}

int recoverAll(NameDatabase &database)
{
    const std::vector<UnfinishedRun> runs = findUnfinishedRuns(database);
    if (runs.empty())
        print(stdout, QStringLiteral("中断された処理はありません。"));
    int failed = 0;
    for (const UnfinishedRun &run : runs) {
        const RecoveryResult result = recover(database, run.run);
        print(stdout, run.run.folder + QStringLiteral(": ") + text::restoreSummary(result));
        failed += result.failed + (result.folderUnavailable ? 1 : 0);
    }
    return failed == 0 ? 0 : 3;
}

int printLog(NameDatabase &database)
{
    const auto field = [](QString text) { return text.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' '); };
    const auto print = [](const QString &line) {
        return std::fputs((line + u'\n').toLocal8Bit().constData(), stdout) >= 0;
    };
    // Row by row: a log of years of renames never sits in memory at once.
    // The first write that fails (a full disk, a closed output) ends it.
    bool written = print(LogTableModel::fieldNames().join(u'\t'));
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

int compact(const QString &dataFolder)
{
    const std::optional<CompactionError> error = compactDatabase(dataFolder);
    if (!error)
        return 0;
    return fail(text::compactionError(*error) + (error->inUse ? u'\r' + text::kAccessRestricted : QString()));
}

// A folder shows its first file; a file itself.
int printAttributes(const QString &path)
{
    const std::optional<QString> file = QFileInfo(path).isDir() ? firstFileOf(path) : std::optional(path);
    if (!file || !QFileInfo(*file).isFile())
        return fail(text::noFileToShow(path));
    IsolatedPropertyReader reader;
    const QString attributes = attributeText(*file, reader);
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
            return fail(QStringLiteral("登録されたフォルダはありません。"));
        print(stdout, *stored);
        return 0;
    }
    if (!QFileInfo(folder).isDir())
        return fail(text::folderMissing(folder));
    const QString absolute = QDir::cleanPath(QDir(folder).absolutePath());
    if (const std::optional<QString> cause = favourite::store(dataFolder, absolute))
        return fail(text::registerFailed(favourite::fileIn(dataFolder), *cause));
    print(stdout, text::kRegistered);
    return 0;
}

int numberFolder(NameDatabase &database, const QString &folder)
{
    if (!QFileInfo(folder).isDir())
        return fail(text::folderMissing(folder));
    print(stdout, text::numberingDone(FolderNumbering(database).run(QDir(folder).absolutePath())));
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

// Every command, with how many arguments it takes after its name.
struct Command {
    const char *name;
    const char *arguments;
    int fewest;
    int most;
    const char *description;
};
const Command kCommands[] = {
    {"shot-date", "FOLDER", 1, 1, "rename by the date taken, numbered per day (--pre, --post, --start, --option)"},
    {"new-number", "FOLDER", 1, 1, "rename by the date modified, numbered per day"},
    {"keep-existing", "FOLDER", 1, 1, "rename by the date modified, each file taking the lowest free number"},
    {"new-and-existing", "FOLDER", 1, 1, "rename by the date modified, keeping the former name in brackets"},
    {"replace", "FOLDER", 1, 1, "replace the --pre text in the names by the --post text"},
    {"append", "FOLDER", 1, 1, "add the --post text in brackets before the extension"},
    {"undo", "", 0, 0, "give the files of the last run their former names back"},
    {"recover", "", 0, 0, "give the files of runs cut short their former names back"},
    {"log", "", 0, 0, "print the rename log, newest first, tab-separated"},
    {"compact", "", 0, 0, "compact the database file"},
    {"clear-log", "", 0, 0, "empty the rename log, then compact"},
    {"attributes", "FOLDER|FILE", 1, 1, "print every property of the folder's first file, or of the file"},
    {"favourite", "[FOLDER]", 0, 1, "store the folder for the Drive button, or print the one stored"},
    {"number", "FOLDER", 1, 1, "give every file and folder below FOLDER its ID"},
    {"export", "[--to DIR]", 0, 0, "write the IDs to a workbook in DIR (default: the desktop)"},
};

} // namespace

int main(int argc, char *argv[])
{
    pelmora::settleLocalTimeZone();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Pelmora"));

    QCommandLineParser parser;
    QString description = QStringLiteral("Renames the files of FOLDER as the window's operations do.\nCommands:");
    for (const Command &each : kCommands) {
        const QString usage = QString::fromLatin1(each.name) + u' ' + QString::fromLatin1(each.arguments);
        description += QStringLiteral("\n  %1 %2").arg(usage.trimmed(), -24).arg(QString::fromUtf8(each.description));
    }
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("the operation"));
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("the folder whose files are renamed"));
    const QCommandLineOption data(QStringLiteral("data"), QStringLiteral("the DATA folder"), QStringLiteral("DIR"));
    const QCommandLineOption ext(QStringLiteral("ext"), QStringLiteral("extensions, comma-separated (at most 20)"),
                                 QStringLiteral("LIST"));
    const QCommandLineOption option(QStringLiteral("option"), QStringLiteral("naming option 1 to 4"),
                                    QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption pre(QStringLiteral("pre"), QStringLiteral("Pre Text"), QStringLiteral("TEXT"));
    const QCommandLineOption post(QStringLiteral("post"), QStringLiteral("Post Text"), QStringLiteral("TEXT"));
    const QCommandLineOption start(QStringLiteral("start"), QStringLiteral("Start Number"), QStringLiteral("N"),
                                   QStringLiteral("1"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("print the plan, \"former name → new name\", and change nothing"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("export: the folder of the workbook (default: the desktop)"),
                                QStringLiteral("DIR"));
    parser.addOptions({data, ext, option, pre, post, start, dryRun, to});
    parser.process(app);

    const QStringList positional = parser.positionalArguments();
    const QString command = positional.value(0);
    const OperationRules *rules = operationNamed(command);
    const auto known = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&command](const Command &each) { return command == QLatin1String(each.name); });
    if (known == std::end(kCommands))
        return fail(QStringLiteral("unknown command \"%1\"; see --help").arg(command));
    const auto [fewest, most] = std::pair(known->fewest, known->most);
    const int given = int(positional.size()) - 1;
    if (given < fewest || given > most)
        return fail(QStringLiteral("usage: pelmora-cli [--data DIR] COMMAND [FOLDER] [options]; see --help"));
    // The default folder is only made (and given the template) when used.
    const QString dataFolder = parser.isSet(data) ? parser.value(data) : defaultDataFolder();
    QDir().mkpath(dataFolder);
    SystemClock clock;
    RenameOperations operations(clock);

    if (command == u"attributes")
        return printAttributes(positional[1]);
    if (command == u"favourite")
        return favouriteFolder(dataFolder, positional.value(1));
    if (command == u"compact")
        return compact(dataFolder);
    if (command == u"number" || command == u"export") {
        try {
            NameDatabase database(dataFolder, clock);
            if (command == u"number")
                return numberFolder(database, positional[1]);
            return exportWorkbook(database, dataFolder, parser.isSet(to) ? parser.value(to) : desktopFolder(), clock);
        } catch (const DatabaseError &error) {
            return fail(text::databaseUnavailable(error));
        }
    }
    if (!rules || rules->operation == Operation::Undo) {
        try {
            NameDatabase database(dataFolder, clock);
            if (command == u"recover")
                return recoverAll(database);
            if (command == u"log")
                return printLog(database);
            if (command == u"clear-log") {
                database.empty(Table::FileNameLog);
                if (database.count(Table::FileNameLog) != 0)
                    return fail(text::kLogNotCleared);
            } else if (parser.isSet(dryRun)) {
                const OperationOutcome prepared = operations.prepareUndo(database);
                if (prepared.status != OperationOutcome::Status::Completed)
                    return report(prepared);
                print(stdout, planPreview(prepared.plan));
                return 0;
            } else {
                return report(operations.undo(database));
            }
        } catch (const DatabaseError &error) {
            return fail(text::databaseUnavailable(error));
        }
        // The log is empty and this connection closed: the file can be compacted.
        print(stdout, text::kLogCleared);
        return compact(dataFolder);
    }

    NamingInputs inputs;
    inputs.folder = QDir::cleanPath(QDir(positional[1]).absolutePath());
    inputs.fileCount = int(fs::listPlainFiles(inputs.folder).size());
    inputs.extensions = pictureExtensions();
    if (parser.isSet(ext)) {
        const QStringList list = parser.value(ext).split(u',', Qt::SkipEmptyParts);
        if (list.size() > kExtensionBoxCount)
            return fail(QStringLiteral("at most 20 extensions"));
        inputs.extensions = {};
        std::copy(list.begin(), list.end(), inputs.extensions.begin());
    }
    const int optionNumber = parser.value(option).toInt();
    if (optionNumber < 1 || optionNumber > 4)
        return fail(QStringLiteral("--option takes 1, 2, 3 or 4"));
    inputs.option = static_cast<NamingOption>(optionNumber);
    inputs.preText = parser.value(pre);
    inputs.postText = parser.value(post);
    inputs.startNumber = parser.value(start);

    const OperationOutcome refusal = RenameOperations::check(rules->operation, inputs);
    if (refusal.status != OperationOutcome::Status::Completed)
        return fail(refusal.message);
    if (parser.isSet(dryRun)) {
        print(stdout, planPreview(operations.plan(rules->operation, inputs)));
        return 0;
    }
    try {
        NameDatabase database(dataFolder, clock);
        return report(operations.run(rules->operation, inputs, database));
    } catch (const DatabaseError &error) {
        return fail(text::databaseUnavailable(error));
    }
}
