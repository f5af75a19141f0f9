// pelmora-cli: the rename operations of the window, for scripts and benchmarks.
#include "platform/Clock.h"
#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "rename/Messages.h"
#include "rename/NameDatabase.h"
#include "rename/Recovery.h"
#include "rename/RenameOperations.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

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

// The closing message on standard output; a run that stopped or was
// refused says so on standard error and exits non-zero.
int report(const OperationOutcome &outcome)
{
    using Status = OperationOutcome::Status;
    if (outcome.status == Status::Completed) {
        print(stdout, outcome.message);
        return 0;
    }
    if (outcome.status == Status::Stopped) {
        print(stdout, outcome.message);
        return 3;
    }
    return fail(outcome.message);
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
        failed += result.failed;
    }
    return failed == 0 ? 0 : 3;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Pelmora"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Renames the files of FOLDER as the window's operations do.\n"
        "Commands: shot-date, new-number, keep-existing, new-and-existing, replace, append (each with FOLDER);\n"
        "undo (the last run back to its former names); recover (runs cut short back to their former names)."));
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
    parser.addOptions({data, ext, option, pre, post, start, dryRun});
    parser.process(app);

    const QStringList positional = parser.positionalArguments();
    const QString command = positional.value(0);
    const OperationSpec *spec = specNamed(command);
    const bool withoutFolder = command == u"recover" || command == u"undo";
    if ((!spec && command != u"recover") || positional.size() != (withoutFolder ? 1 : 2))
        return fail(QStringLiteral("usage: pelmora-cli [--data DIR] COMMAND [FOLDER] [options]; see --help"));
    const QString dataFolder = parser.isSet(data) ? parser.value(data) : defaultDataFolder();
    SystemClock clock;
    RenameOperations operations(clock);

    if (withoutFolder) {
        try {
            NameDatabase database(dataFolder, clock);
            if (command == u"recover")
                return recoverAll(database);
            if (parser.isSet(dryRun)) {
                print(stdout, planPreview(RenameOperations::planUndo(database)));
                return 0;
            }
            return report(operations.undo(database));
        } catch (const DatabaseError &error) {
            return fail(text::databaseUnavailable(error));
        }
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

    const OperationOutcome refusal = RenameOperations::check(spec->operation, inputs);
    if (refusal.status != OperationOutcome::Status::Completed)
        return fail(refusal.message);
    if (parser.isSet(dryRun)) {
        print(stdout, planPreview(operations.plan(spec->operation, inputs)));
        return 0;
    }
    try {
        NameDatabase database(dataFolder, clock);
        return report(operations.run(spec->operation, inputs, database));
    } catch (const DatabaseError &error) {
        return fail(text::databaseUnavailable(error));
    }
}
