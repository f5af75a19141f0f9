// pelmora-cli: the rename operations of the window, for scripts and benchmarks.
#include "platform/Clock.h"
#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "rename/Messages.h"
#include "rename/NameDatabase.h"
#include "rename/RenameOperations.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <map>

using namespace pelmora;

namespace {

const std::map<QString, Operation> kCommands = {
    {QStringLiteral("shot-date"), Operation::ShotDate},
    {QStringLiteral("new-number"), Operation::NewNumber},
    {QStringLiteral("keep-existing"), Operation::KeepExisting},
    {QStringLiteral("new-and-existing"), Operation::NewAndExisting},
    {QStringLiteral("replace"), Operation::ReplaceText},
    {QStringLiteral("append"), Operation::AppendText},
};

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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Pelmora"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Renames the files of FOLDER as the window's operations do.\n"
        "Commands: shot-date, new-number, keep-existing, new-and-existing, replace, append."));
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
                                    QStringLiteral("print \"former name<TAB>new name\" and change nothing"));
    parser.addOptions({data, ext, option, pre, post, start, dryRun});
    parser.process(app);

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2 || !kCommands.contains(positional[0]))
        return fail(QStringLiteral("usage: pelmora-cli [--data DIR] COMMAND FOLDER [options]; see --help"));
    const Operation operation = kCommands.at(positional[0]);

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

    SystemClock clock;
    RenameOperations operations(clock);
    const OperationOutcome refusal = RenameOperations::check(operation, inputs);
    if (refusal.status != OperationOutcome::Status::Completed)
        return fail(refusal.message);

    if (parser.isSet(dryRun)) {
        for (const PlannedRename &file : operations.plan(operation, inputs).files)
            print(stdout, file.originalName + u'\t' + file.finalName);
        return 0;
    }

    try {
        NameDatabase database(parser.isSet(data) ? parser.value(data) : defaultDataFolder(), clock);
        const OperationOutcome outcome = operations.run(operation, inputs, database);
        if (outcome.status != OperationOutcome::Status::Completed)
            return fail(outcome.message);
        print(stdout, outcome.message);
        return 0;
    } catch (const DatabaseError &error) {
        return fail(text::databaseUnavailable(error));
    }
}
