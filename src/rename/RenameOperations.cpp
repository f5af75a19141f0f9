#include "rename/RenameOperations.h"

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/PropertyReader.h"
#include "rename/Messages.h"
#include "rename/NameDatabase.h"
#include "rename/NameFormat.h"
#include "rename/Progress.h"

#include <QDir>
#include <QSet>

#include <algorithm>
#include <optional>

namespace pelmora {

namespace {

bool hasTwoPasses(Operation operation)
{
    return operation == Operation::ShotDate || operation == Operation::NewNumber
        || operation == Operation::NewAndExisting;
}

bool writesLog(Operation operation)
{
    return operation != Operation::KeepExisting && operation != Operation::NewAndExisting;
}

bool readsStartNumber(Operation operation)
{
    return hasTwoPasses(operation);
}

// Rows without a date come first, as an empty date sorts before any other;
// equal dates keep the order of the listing.
void sortByDate(std::vector<PlannedRename> &files)
{
    std::stable_sort(files.begin(), files.end(), [](const PlannedRename &a, const PlannedRename &b) {
        if (!a.makeItDate.isValid() || !b.makeItDate.isValid())
            return !a.makeItDate.isValid() && b.makeItDate.isValid();
        return a.makeItDate < b.makeItDate;
    });
}

QDateTime dateFromColumn(const QString &columnText)
{
    return QDateTime::fromString(cleanedDateColumn(columnText), QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

// Scratch rows of the first pass, each file with its temporary name.
std::vector<PlannedRename> firstPass(Operation operation, const NamingInputs &inputs, const Clock &clock,
                                     int &excluded)
{
    std::optional<PropertyReader> reader;
    if (operation != Operation::NewAndExisting)
        reader.emplace();
    std::vector<PlannedRename> files;
    QSet<QString> temporaryNames;
    int number = 0;
    for (const QString &name : fs::listPlainFiles(inputs.folder)) {
        const QString extension = fs::extensionOf(name);
        if (!takesPart(extension, inputs.extensions, ExtensionRule::UpperOrLowerCase)) {
            ++excluded;
            continue;
        }
        // A leftover file that bears one of this run's temporary names.
        if (temporaryNames.contains(name))
            continue;
        PlannedRename file;
        file.originalName = name;
        file.extension = extension;
        file.temporaryName = temporaryName(clock.now().time(), ++number, extension);
        temporaryNames.insert(file.temporaryName);
        const QString path = fs::joinPath(inputs.folder, name);
        if (operation == Operation::ShotDate) {
            const ShotProperties properties = reader->read(path);
            file.makeItDate = dateFromColumn(properties.dateTaken.isEmpty() ? properties.dateModified
                                                                             : properties.dateTaken);
            file.camera = properties.cameraModel;
            file.movieLong = movieLengthText(properties.length);
        } else {
            file.makeItDate = fs::lastModified(path);
            if (reader)
                file.camera = reader->cameraModel(path);
        }
        files.push_back(file);
    }
    return files;
}

// Second pass: date order, numbers from the Start Number on every new day.
void nameByDay(Operation operation, const NamingInputs &inputs, int startNumber,
               std::vector<PlannedRename> &files)
{
    sortByDate(files);
    const DatePattern pattern = datePatternFor(inputs.option);
    QString previousDate;
    qint64 number = startNumber;
    for (PlannedRename &file : files) {
        const QString date = dateText(file.makeItDate, pattern);
        if (date != previousDate) {
            previousDate = date;
            number = startNumber;
        }
        QString name = numberedName(date, inputs.preText, number, inputs.postText);
        const QString formerBase = fs::baseNameOf(file.originalName);
        if (operation == Operation::NewAndExisting || inputs.option == NamingOption::Option3)
            name += u'(' + formerBase + u')';
        if (operation == Operation::ShotDate && inputs.option == NamingOption::Option4)
            name += file.movieLong;
        file.newFileName = name;
        file.finalName = name + u'.' + file.extension;
        ++number;
    }
}

// Every name in the folder, hidden ones and folders too: a rename must not
// land on any of them.
QSet<QString> namesPresent(const QString &folder)
{
    const QStringList all = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                   | QDir::NoDotAndDotDot);
    return QSet<QString>(all.begin(), all.end());
}

// The lowest number of the day whose final name is free, as the folder will
// be when this file's turn comes.
std::vector<PlannedRename> planKeepExisting(const NamingInputs &inputs)
{
    std::vector<PlannedRename> files;
    for (const QString &name : fs::listPlainFiles(inputs.folder)) {
        const QString extension = fs::extensionOf(name);
        if (!takesPart(extension, inputs.extensions, ExtensionRule::ExactCase))
            continue;
        PlannedRename file;
        file.originalName = name;
        file.extension = extension;
        file.makeItDate = fs::lastModified(fs::joinPath(inputs.folder, name));
        files.push_back(file);
    }
    sortByDate(files);
    QSet<QString> present = namesPresent(inputs.folder);
    const DatePattern pattern = datePatternFor(inputs.option);
    for (PlannedRename &file : files) {
        const QString date = dateText(file.makeItDate, pattern);
        auto finalName = [&](int number) {
            return numberedName(date, inputs.preText, number, inputs.postText) + u'.' + file.extension;
        };
        int number = 1;
        while (number < 1000 && present.contains(finalName(number)))
            ++number;
        file.newFileName = numberedName(date, inputs.preText, number, inputs.postText);
        file.finalName = finalName(number);
        present.remove(file.originalName);
        present.insert(file.finalName);
    }
    return files;
}

// Replacement and append: each file of the listing once, in listing order.
std::vector<PlannedRename> planOnePass(Operation operation, const NamingInputs &inputs, int &excluded)
{
    PropertyReader reader;
    std::vector<PlannedRename> files;
    for (const QString &name : fs::listPlainFiles(inputs.folder)) {
        const QString extension = fs::extensionOf(name);
        if (!takesPart(extension, inputs.extensions, ExtensionRule::UpperOrLowerCase)) {
            ++excluded;
            continue;
        }
        PlannedRename file;
        file.originalName = name;
        file.extension = extension;
        if (operation == Operation::ReplaceText) {
            if (!name.contains(inputs.preText, Qt::CaseSensitive))
                continue;
            QString replaced = name;
            if (!inputs.preText.isEmpty())
                replaced.replace(inputs.preText, inputs.postText, Qt::CaseSensitive);
            // A name that would not change is left alone: nothing to rename or log.
            if (replaced == name)
                continue;
            file.finalName = replaced;
            file.newFileName = replaced;
        } else {
            file.newFileName = fs::baseNameOf(name) + u'(' + inputs.postText + u')';
            file.finalName = file.newFileName + u'.' + extension;
        }
        const QString path = fs::joinPath(inputs.folder, name);
        file.makeItDate = fs::lastModified(path);
        file.camera = reader.cameraModel(path);
        files.push_back(file);
    }
    return files;
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

ListRow listRowFor(Operation operation, const PlannedRename &file)
{
    ListRow row;
    row.makeItDate = file.makeItDate;
    row.extension = file.extension;
    row.newFileName = file.newFileName;
    if (operation == Operation::KeepExisting) {
        row.fileName = file.originalName;
        return row;
    }
    row.fileName = file.temporaryName;
    row.originalFileName = operation == Operation::NewAndExisting ? fs::baseNameOf(file.originalName)
                                                                   : file.originalName;
    row.camera = file.camera;
    row.movieLong = file.movieLong;
    return row;
}

LogRow logRowFor(const PlannedRename &file)
{
    LogRow row;
    row.originalFileName = file.originalName;
    row.makeItDate = file.makeItDate;
    row.extension = file.extension;
    row.camera = file.camera;
    row.newFileName = file.newFileName;
    return row;
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
    if (readsStartNumber(operation) && !wholeNumber(inputs.startNumber)) {
        outcome.status = OperationOutcome::Status::StartNumberInvalid;
        outcome.message = text::notNumericStartNumber(inputs.startNumber);
    } else if (!QDir(inputs.folder).exists() || inputs.folder.isEmpty()) {
        outcome.status = OperationOutcome::Status::FolderMissing;
        outcome.message = text::folderMissing(inputs.folder);
    }
    return outcome;
}

RenamePlan RenameOperations::plan(Operation operation, const NamingInputs &inputs) const
{
    RenamePlan plan;
    switch (operation) {
    case Operation::ShotDate:
    case Operation::NewNumber:
    case Operation::NewAndExisting:
        plan.files = firstPass(operation, inputs, clock_, plan.excluded);
        nameByDay(operation, inputs, wholeNumber(inputs.startNumber).value_or(1), plan.files);
        break;
    case Operation::KeepExisting:
        plan.files = planKeepExisting(inputs);
        break;
    case Operation::ReplaceText:
    case Operation::AppendText:
        plan.files = planOnePass(operation, inputs, plan.excluded);
        break;
    }
    return plan;
}

OperationOutcome RenameOperations::run(Operation operation, const NamingInputs &inputs, NameDatabase &database)
{
    OperationOutcome outcome = check(operation, inputs);
    if (outcome.status != OperationOutcome::Status::Completed)
        return outcome;
    return apply(operation, inputs, plan(operation, inputs), database);
}

OperationOutcome RenameOperations::apply(Operation operation, const NamingInputs &inputs, RenamePlan plan,
                                         NameDatabase &database)
{
    OperationOutcome outcome;
    try {
        database.empty(Table::FileNameList);
        if (hasTwoPasses(operation) || operation == Operation::KeepExisting) {
            std::vector<ListRow> rows;
            rows.reserve(plan.files.size());
            for (const PlannedRename &file : plan.files)
                rows.push_back(listRowFor(operation, file));
            // Written before the first rename: the rows tell which file holds
            // which temporary name should the run be cut short.
            database.addListRows(rows, ListRun{inputs.folder, static_cast<int>(operation)});
        }
    } catch (const DatabaseError &error) {
        outcome.status = OperationOutcome::Status::DatabaseUnavailable;
        outcome.message = text::databaseUnavailable(error);
        return outcome;
    }

    std::optional<ProgressReport> progress;
    if (operation != Operation::KeepExisting)
        progress.emplace(progress_, inputs.fileCount);
    const QString &folder = inputs.folder;
    bool logFailed = false;
    auto log = [&](const PlannedRename &file) {
        if (!writesLog(operation))
            return;
        try {
            database.appendLog(logRowFor(file));
        } catch (const DatabaseError &) {
            logFailed = true;
        }
    };

    if (hasTwoPasses(operation)) {
        int taken = 0;
        for (PlannedRename &file : plan.files) {
            if (fs::renameNoReplace(folder, file.originalName, file.temporaryName) != fs::RenameStatus::Renamed)
                file.result = FileResult::Failed;
            progress->set(float(++taken), 0, 0.5f);
        }
        int processed = 0;
        for (PlannedRename &file : plan.files) {
            if (file.result != FileResult::Failed) {
                if (fs::renameNoReplace(folder, file.temporaryName, file.finalName) == fs::RenameStatus::Renamed) {
                    file.result = FileResult::Renamed;
                    log(file);
                } else {
                    // Never leave a file under its temporary name.
                    fs::renameNoReplace(folder, file.temporaryName, file.originalName);
                    file.result = FileResult::Failed;
                }
            }
            progress->set(float(++processed), 50, 0.5f);
        }
    } else {
        int processed = 0;
        for (PlannedRename &file : plan.files) {
            const bool renamed =
                fs::renameNoReplace(folder, file.originalName, file.finalName) == fs::RenameStatus::Renamed;
            file.result = renamed ? FileResult::Renamed : FileResult::Failed;
            if (renamed)
                log(file);
            if (progress)
                progress->set(float(++processed));
        }
    }

    for (const PlannedRename &file : plan.files)
        (file.result == FileResult::Renamed ? outcome.renamed : outcome.failed)++;
    outcome.message = operation == Operation::KeepExisting
        ? QStringLiteral("変更しました") + text::failureLine(outcome.failed)
        : text::renameSummary(outcome.renamed, plan.excluded, outcome.failed);
    if (logFailed)
        outcome.message += QStringLiteral("\r (ログを書き込めませんでした)");
    outcome.plan = std::move(plan);
    return outcome;
}

} // namespace pelmora
