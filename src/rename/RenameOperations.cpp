#include "rename/RenameOperations.h"

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/IsolatedReader.h"
#include "platform/PropertyReader.h"
#include "rename/Executor.h"
#include "rename/Journal.h"
#include "rename/NameDatabase.h"
#include "rename/Progress.h"
#include "rename/Recovery.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <numeric>
#include <cstring>
#include <optional>

namespace pelmora {

namespace {

using Refusal = OperationOutcome::Refusal;

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
    QStringList undecodable;
    const QStringList names = fs::listPlainFiles(inputs.folder, &undecodable);
    for (const QString &name : undecodable) {
        if (takesPart(fs::extensionOf(name), inputs.extensions, rules.extensionRule)) {
            plan.leftOut.push_back({name, LeftOut::Reason::UndecodableName});
            plan.undecodable << name;
        } else {
            plan.leftOut.push_back({name, LeftOut::Reason::Extension});
            if (rules.countsExcluded)
                ++plan.excluded;
        }
    }
    QStringList taking;
    for (const QString &name : names) {
        if (progress)
            progress->working();
        const QString extension = fs::extensionOf(name);
        if (!takesPart(extension, inputs.extensions, rules.extensionRule)) {
            plan.leftOut.push_back({name, LeftOut::Reason::Extension});
            if (rules.countsExcluded)
                ++plan.excluded;
            continue;
        }
        // A file under a temporary name is a file of a run, never a photo.
        if (isTemporaryName(name)) {
            plan.leftOut.push_back({name, LeftOut::Reason::TemporaryName});
            continue;
        }
        taking << name;
    }
    // Each file is known by its content, so that undo and recovery move it
    // and no other; a JPEG's date is scanned from the same read of its head.
    const bool readsMetadata = rules.readsCamera || rules.dateSource == DateSource::Taken;
    std::vector<std::optional<Metadata>> quick(size_t(taking.size()));
    const std::vector<std::optional<fs::FileIdentity>> identities = fs::identifyContents(
        inputs.folder, taking, [&](qsizetype i, int fd, const struct ::stat &info, QByteArrayView head) {
            if (readsMetadata && namedAsJpeg(std::as_const(taking)[i]))
                quick[size_t(i)] = readJpegQuickly(fd, info, head);
        });
    for (qsizetype i = 0; i < taking.size(); ++i) {
        const QString &name = taking[i];
        const QString extension = fs::extensionOf(name);
        const std::optional<fs::FileIdentity> &identity = identities[size_t(i)];
        PlannedRename file;
        file.formerName = name;
        file.extension = extension;
        file.identity = identity.value_or(fs::FileIdentity{});
        if (identity)
            file.date = QDateTime::fromSecsSinceEpoch(identity->modified);
        file.dateSource = DateSource::Modified;
        plan.files.push_back(file);
        paths << fs::joinPath(inputs.folder, name);
    }
    if (!readsMetadata)
        return;
    IsolatedPropertyReader reader;
    const std::vector<Metadata> read = reader.readAll(paths, std::move(quick), [progress] {
        if (progress)
            progress->working();
        return !(progress && progress->stopRequested());
    });
    if (progress && progress->stopRequested()) {
        plan.cancelled = true;
        return;
    }
    for (size_t i = 0; i < plan.files.size(); ++i) {
        PlannedRename &file = plan.files[i];
        const Metadata &properties = read[i];
        file.camera = properties.cameraModel;
        if (rules.dateSource != DateSource::Taken)
            continue;
        const bool taken = properties.dateTaken.isValid();
        if (taken)
            file.date = properties.dateTaken;
        file.dateSource = taken ? DateSource::Taken : DateSource::Modified;
        file.dateOrigin = taken ? properties.dateOrigin : DateOrigin{};
        file.subSecond = taken ? properties.subSecond : -1;
        file.movieLong = movieLengthText(properties.length);
    }
    plan.unreadable = reader.unreadable();
}

// The shot a file belongs to, for pairing a raw picture with the JPEG the
// camera wrote beside it: its base name, letter case aside, and the second
// it was taken. Empty without a date, or when pairs are not wanted.
QString shotKey(const NamingInputs &inputs, const PlannedRename &file)
{
    if (!inputs.companions || !file.date.isValid())
        return {};
    return fs::baseNameOf(file.formerName).toCaseFolded() + u'\n' + QString::number(file.date.toSecsSinceEpoch());
}

// The first file of each shot, by its key, and the extensions the shot's
// files have: a second file of a shot takes the first one's name with its
// own extension, unless that extension is taken (then it is a shot of its own).
struct Shots {
    struct Shot {
        size_t first;
        QStringList extensions;
    };
    std::map<QString, Shot> byKey;

    // The file the one at `index` pairs with; none when it starts a shot.
    std::optional<size_t> pairedWith(const QString &key, const PlannedRename &file, size_t index)
    {
        if (key.isEmpty())
            return std::nullopt;
        auto [shot, added] = byKey.try_emplace(key, Shot{index, {file.extension}});
        if (added || shot->second.extensions.contains(file.extension, Qt::CaseInsensitive))
            return std::nullopt;
        shot->second.extensions << file.extension;
        return shot->second.first;
    }
};

// Date order, numbers from the Start Number on every new day; the files of
// one shot share a number.
void nameByDay(const OperationRules &rules, const NamingInputs &inputs, std::vector<PlannedRename> &files)
{
    sortByDate(files);
    const qint64 startNumber = wholeNumber(inputs.startNumber).value_or(1);
    const DatePattern pattern = datePatternFor(inputs.option);
    QString previousDate;
    qint64 number = startNumber;
    Shots shots;
    for (size_t i = 0; i < files.size(); ++i) {
        PlannedRename &file = files[i];
        if (const std::optional<size_t> pair = shots.pairedWith(shotKey(inputs, file), file, i)) {
            file.newFileName = files[*pair].newFileName;
            file.newName = file.newFileName + u'.' + file.extension;
            continue;
        }
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

// Every name of a folder (hidden ones and folders too: a rename must not
// land on any of them), as the folder compares names: on a card, "A.JPG"
// takes "a.jpg" too. Read once for a plan.
struct FolderNames {
    explicit FolderNames(const QString &folder)
    {
        const QStringList all = fs::allNames(folder);
        anyCase = fs::caseInsensitive(folder, all);
        for (const QString &name : all)
            keys.insert(key(name));
    }
    QString key(const QString &name) const { return fs::nameKey(name, anyCase); }

    bool anyCase = false;
    QSet<QString> keys;
};

// The lowest number of the day whose final name is free, as the folder will
// be when this file's turn comes.
void nameLowestFree(const NamingInputs &inputs, const FolderNames &names, std::vector<PlannedRename> &files)
{
    sortByDate(files);
    QSet<QString> present = names.keys;
    const DatePattern pattern = datePatternFor(inputs.option);
    // A shot takes a number that is free for the extension of each of its files.
    Shots shots;
    std::vector<std::optional<size_t>> pairOf;
    std::vector<QString> keys;
    for (size_t i = 0; i < files.size(); ++i) {
        keys.push_back(shotKey(inputs, files[i]));
        pairOf.push_back(shots.pairedWith(keys.back(), files[i], i));
    }
    for (size_t i = 0; i < files.size(); ++i) {
        PlannedRename &file = files[i];
        if (pairOf[i]) {
            file.newFileName = files[*pairOf[i]].newFileName;
            file.newName = file.newFileName + u'.' + file.extension;
            present.remove(names.key(file.formerName));
            present.insert(names.key(file.newName));
            continue;
        }
        const auto shot = keys[i].isEmpty() ? shots.byKey.end() : shots.byKey.find(keys[i]);
        const QString date = dateText(file.date, pattern);
        const QStringList extensions = shot != shots.byKey.end() && shot->second.first == i
            ? shot->second.extensions
            : QStringList{file.extension};
        auto finalName = [&](qint64 number, const QString &extension) {
            return numberedName(date, inputs.preText, number, inputs.postText) + u'.' + extension;
        };
        const auto taken = [&](qint64 number) {
            return std::any_of(extensions.begin(), extensions.end(), [&](const QString &extension) {
                return present.contains(names.key(finalName(number, extension)));
            });
        };
        // The number widens past its digits, so a free one is always found.
        qint64 number = 1;
        while (taken(number))
            ++number;
        file.newFileName = numberedName(date, inputs.preText, number, inputs.postText);
        file.newName = finalName(number, file.extension);
        present.remove(names.key(file.formerName));
        present.insert(names.key(file.newName));
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
// file nor another run can meet it. Every file of a run has one, numbered in
// the order the files are given one (the listing order, then the sidecars
// set beside them); only those that must step aside use it, and a recovery
// that takes a run back.
void giveTemporaryNames(const FolderNames &names, const Clock &clock, const QString &runKey,
                        std::vector<PlannedRename> &files)
{
    QSet<QString> taken = names.keys;
    int number = 0;
    for (const PlannedRename &file : files) {
        if (!file.temporaryName.isEmpty()) {
            taken.insert(names.key(file.temporaryName));
            ++number;
        }
    }
    for (PlannedRename &file : files) {
        if (!file.temporaryName.isEmpty())
            continue;
        do {
            file.temporaryName = temporaryName(clock.now().time(), ++number, file.extension, runKey);
        } while (taken.contains(names.key(file.temporaryName)));
        taken.insert(names.key(file.temporaryName));
    }
}

// New names already borne by an entry that the run does not move, as the
// folder compares names: the preview says so before anything happens.
void markTakenNames(const FolderNames &names, RenamePlan &plan)
{
    QSet<QString> staying = names.keys;
    for (const PlannedRename &file : plan.files)
        staying.remove(names.key(file.formerName));
    for (PlannedRename &file : plan.files)
        file.nameTaken = staying.contains(names.key(file.newName));
}

// The files of a shot stand together, where its first file stands;
// nothing moves without pairs.
void bringShotsTogether(std::vector<PlannedRename> &files)
{
    QHash<QString, size_t> firstOf;
    std::vector<size_t> place(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].shot.isEmpty()) {
            place[i] = i;
            continue;
        }
        auto first = firstOf.constFind(files[i].shot);
        if (first == firstOf.constEnd())
            first = firstOf.insert(files[i].shot, i);
        place[i] = *first;
    }
    std::vector<size_t> order(files.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return place[a] < place[b]; });
    std::vector<PlannedRename> sorted;
    sorted.reserve(files.size());
    for (const size_t i : order)
        sorted.push_back(std::move(files[i]));
    files = std::move(sorted);
}

// Files that hold what belongs to another file: edits and ratings (xmp, and
// an iPhone's aae), a movie's thumbnail (thm), a low-resolution copy (lrv).
bool isSidecarName(const QString &name)
{
    static const QStringList extensions = {QStringLiteral("xmp"), QStringLiteral("aae"), QStringLiteral("thm"),
                                           QStringLiteral("lrv")};
    return extensions.contains(fs::extensionOf(name), Qt::CaseInsensitive);
}

// The name a sidecar is named after: "IMG_1" of "IMG_1.xmp", "IMG_1.CR2" of
// "IMG_1.CR2.xmp", letter case aside.
QString sidecarStem(const QString &name)
{
    return fs::baseNameOf(name).toCaseFolded();
}

// Sidecars named after a file of the run are set aside before the files are
// named (they take no number of their own), from the files of the run and
// from those left out for their extension.
struct SetAside {
    PlannedRename file;
    bool leftOutForExtension = false; // and counted as excluded, when the operation counts them
};

std::vector<SetAside> takeOutSidecars(const OperationRules &rules, const NamingInputs &inputs, RenamePlan &plan)
{
    std::vector<SetAside> sidecars;
    if (!inputs.companions)
        return sidecars;
    QSet<QString> mains;
    for (const PlannedRename &file : plan.files) {
        if (!isSidecarName(file.formerName)) {
            mains.insert(file.formerName.toCaseFolded());
            mains.insert(fs::baseNameOf(file.formerName).toCaseFolded());
        }
    }
    const auto follows = [&](const QString &name) { return isSidecarName(name) && mains.contains(sidecarStem(name)); };
    std::erase_if(plan.files, [&](PlannedRename &file) {
        if (!follows(file.formerName))
            return false;
        sidecars.push_back({std::move(file), false});
        return true;
    });
    std::erase_if(plan.leftOut, [&](const LeftOut &file) {
        if (file.reason != LeftOut::Reason::Extension || !follows(file.name))
            return false;
        PlannedRename sidecar;
        sidecar.formerName = file.name;
        sidecar.extension = fs::extensionOf(file.name);
        sidecar.identity = fs::identifyContent(plan.folder, file.name).value_or(fs::FileIdentity{});
        sidecars.push_back({std::move(sidecar), true});
        if (rules.countsExcluded)
            --plan.excluded;
        return true;
    });
    return sidecars;
}

// Each sidecar follows its file's new name in the form it had ("IMG_1.xmp"
// becomes "<new base>.xmp", "IMG_1.CR2.xmp" "<new name>.xmp") and goes just
// before that file, so that the file never moves without it. A sidecar whose
// file keeps its name keeps its own.
void attachSidecars(const OperationRules &rules, std::vector<SetAside> sidecars, RenamePlan &plan)
{
    if (sidecars.empty())
        return;
    // Each file by its name and by its base name, as written and letter case
    // aside: a sidecar goes with the file it names exactly, if there is one.
    // Of two files of one base name but different shots, a sidecar named
    // after the base goes with the one that is no JPEG: editors keep
    // sidecars for raw pictures and write their edits into a JPEG itself.
    const auto isJpeg = [&](size_t i) { return namedAsJpeg(plan.files[i].formerName); };
    const auto prefer = [&](QHash<QString, size_t> &map, const QString &key, size_t i) {
        const auto held = map.constFind(key);
        if (held == map.constEnd() || (isJpeg(*held) && !isJpeg(i)))
            map.insert(key, i);
    };
    QHash<QString, size_t> byName, byBase, byNameAnyCase, byBaseAnyCase;
    for (size_t i = 0; i < plan.files.size(); ++i) {
        const QString &name = plan.files[i].formerName;
        byName.insert(name, i);
        prefer(byBase, fs::baseNameOf(name), i);
        byNameAnyCase.insert(name.toCaseFolded(), i);
        prefer(byBaseAnyCase, fs::baseNameOf(name).toCaseFolded(), i);
    }
    const auto mainOf = [&](const QString &sidecar, bool &wholeName) -> std::optional<size_t> {
        const QString stem = fs::baseNameOf(sidecar);
        for (const auto &[map, key, whole] : {std::tuple(&byName, stem, true), std::tuple(&byBase, stem, false),
                                              std::tuple(&byNameAnyCase, stem.toCaseFolded(), true),
                                              std::tuple(&byBaseAnyCase, stem.toCaseFolded(), false)}) {
            if (const auto found = map->constFind(key); found != map->constEnd()) {
                wholeName = whole;
                return *found;
            }
        }
        return std::nullopt;
    };
    // Two sidecars never take one name (IMG_1.xmp and img_1.xmp): the first stays.
    QSet<QString> newNames;
    std::vector<std::vector<PlannedRename>> before(plan.files.size());
    for (auto &[sidecar, leftOutForExtension] : sidecars) {
        bool wholeName = false;
        const std::optional<size_t> main = mainOf(sidecar.formerName, wholeName);
        QString newName;
        if (main) {
            const PlannedRename &file = plan.files[*main];
            newName = (wholeName ? file.newName : fs::baseNameOf(file.newName)) + u'.' + sidecar.extension;
        }
        if (!main || newName == sidecar.formerName || newNames.contains(newName.toCaseFolded())) {
            // Its file keeps its name: so does the sidecar, left out as before.
            plan.leftOut.push_back(
                {sidecar.formerName, leftOutForExtension ? LeftOut::Reason::Extension : LeftOut::Reason::Unchanged});
            if (leftOutForExtension && rules.countsExcluded)
                ++plan.excluded;
            continue;
        }
        const PlannedRename &file = plan.files[*main];
        newNames.insert(newName.toCaseFolded());
        sidecar.newName = newName;
        sidecar.newFileName = rules.naming == Naming::Replace ? sidecar.newName : fs::baseNameOf(sidecar.newName);
        sidecar.date = file.date;
        sidecar.dateSource = file.dateSource;
        sidecar.dateOrigin = file.dateOrigin;
        sidecar.companion = true;
        before[*main].push_back(std::move(sidecar));
    }
    std::vector<PlannedRename> files;
    for (size_t i = 0; i < plan.files.size(); ++i) {
        for (PlannedRename &sidecar : before[i])
            files.push_back(std::move(sidecar));
        files.push_back(std::move(plan.files[i]));
    }
    plan.files = std::move(files);
}

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

// An undo planned earlier (before a question, say) still undoes the last
// run; a database that cannot tell throws.
bool stillUndoable(const RenamePlan &plan, NameDatabase &database)
{
    const std::optional<journal::Run> last = journal::lastUndoableRun(database);
    return last && last->id == plan.undoOf;
}

// The files of the run under temporary names, as the run recorded them and
// as the folder shows them: a file system that reported a move it did not
// make still leaves the run open.
int leftUnderTemporaryNames(RenamePlan &plan)
{
    QSet<QString> listed;
    bool anyTemporary = false;
    for (const PlannedRename &file : plan.files)
        anyTemporary = anyTemporary || file.viaTemporary || file.state == FileState::Temporary;
    if (anyTemporary) {
        for (const QString &name : fs::listPlainFiles(plan.folder))
            listed.insert(name);
    }
    int left = 0;
    for (PlannedRename &file : plan.files) {
        if (!file.temporaryName.isEmpty() && listed.contains(file.temporaryName) && file.state != FileState::Temporary
            && file.cause != FailureCause::LeftTemporary) {
            file.state = FileState::Failed;
            file.cause = FailureCause::LeftTemporary;
        }
        if (file.state == FileState::Temporary || file.cause == FailureCause::LeftTemporary)
            ++left;
    }
    return left;
}

void refuse(OperationOutcome &outcome, OperationOutcome::Refusal refusal, const QString &subject = QString())
{
    outcome.refusal = refusal;
    outcome.subject = subject;
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
        refuse(outcome, Refusal::StartNumber, inputs.startNumber);
    } else if (inputs.folder.isEmpty() || !QDir(inputs.folder).exists()) {
        outcome.status = OperationOutcome::Status::FolderMissing;
        refuse(outcome, Refusal::FolderMissing, inputs.folder);
    } else if (const int refusal = fs::writeRefusal(inputs.folder)) {
        outcome.status = OperationOutcome::Status::FolderReadOnly;
        refuse(outcome, Refusal::FolderNotWritable, inputs.folder);
        outcome.error = refusal;
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
    plan.runKey = newRunKey();
    collectCandidates(rules, inputs, progress_, plan);
    if (plan.cancelled)
        return plan;
    std::vector<SetAside> sidecars = takeOutSidecars(rules, inputs, plan);
    const FolderNames names(plan.folder);
    // Numbered in listing order, as the files are taken.
    if (rules.twoPasses)
        giveTemporaryNames(names, clock_, plan.runKey, plan.files);
    switch (rules.naming) {
    case Naming::ByDay: nameByDay(rules, inputs, plan.files); break;
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
    giveTemporaryNames(names, clock_, plan.runKey, plan.files);
    markTakenNames(names, plan);
    assignGroups(plan);
    orderMoves(plan, names.anyCase);
    return plan;
}

namespace {

// The files the run renamed, last first, each from the name the run gave it
// back to the one it had.
RenamePlan planUndoOf(NameDatabase &database, const journal::Run &run)
{
    RenamePlan plan;
    plan.operation = Operation::Undo;
    plan.folder = run.folder;
    plan.undoOf = run.id;
    plan.undoneOperation = run.operation;
    plan.undoneStarted = run.started;
    plan.runKey = newRunKey();
    const std::vector<PlannedRename> files = journal::files(database, run.id);
    for (int position = int(files.size()) - 1; position >= 0; --position) {
        const PlannedRename &done = files[size_t(position)];
        if (done.state != FileState::Done)
            continue;
        PlannedRename file = done;
        file.formerName = done.newName;
        file.newName = done.formerName;
        file.newFileName = fs::baseNameOf(done.formerName); // as the log records every rename: no extension
        file.temporaryName.clear();
        file.state = FileState::Planned;
        file.cause = FailureCause::None;
        file.error = 0;
        file.undoOfPosition = position;
        plan.files.push_back(file);
    }
    plan.progressCount = int(plan.files.size());
    return plan;
}

} // namespace

OperationOutcome RenameOperations::run(Operation operation, const NamingInputs &inputs, NameDatabase &database)
{
    OperationOutcome outcome = check(operation, inputs);
    if (outcome.status != OperationOutcome::Status::Completed)
        return outcome;
    outcome = checkFolder(inputs.folder, database);
    if (outcome.status != OperationOutcome::Status::Completed)
        return outcome;
    RenamePlan planned = plan(operation, inputs);
    if (planned.cancelled) {
        for (PlannedRename &file : planned.files)
            file.cause = FailureCause::Stopped;
        outcome.status = OperationOutcome::Status::Stopped;
        outcome.stopReason = OperationOutcome::StopReason::Cancelled;
        outcome.notDone = int(planned.files.size());
        outcome.plan = std::move(planned);
        return outcome;
    }
    return apply(std::move(planned), database);
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
    outcome.plan.operation = Operation::Undo;
    try {
        // A run cut short comes first: it is the last run, and undo goes to
        // the last run only once its record is whole.
        const std::optional<UnfinishedRun> unfinished = settleUnfinishedRuns(database, true);
        if (unfinished && !unfinished->folderUnavailable) {
            outcome.status = Status::UnfinishedRun;
            outcome.folder = unfinished->run.folder;
            refuse(outcome, Refusal::RecoverFirst, unfinished->run.folder);
            outcome.count = unfinished->awaitingRestore;
            return outcome;
        }
        const std::optional<journal::Run> last = journal::lastUndoableRun(database);
        // A run cut short on a card that is out holds back the undo of its
        // own folder only: a card that never comes back blocks nothing else.
        if (unfinished && (!last || last->folder == unfinished->run.folder)) {
            outcome.status = Status::UnfinishedRun;
            outcome.folder = unfinished->run.folder;
            refuse(outcome, Refusal::RecoveryFolderUnavailable, unfinished->run.folder);
            return outcome;
        }
        if (!last) {
            outcome.status = Status::NothingToUndo;
            refuse(outcome, Refusal::NothingToUndo);
            return outcome;
        }
        outcome.plan = planUndoOf(database, *last);
        outcome.folder = last->folder;
        const QString folder = currentFolderOf(database, *last);
        if (folder.isEmpty() && fs::volumeMounted(last->place)) {
            // Its folder is gone from a volume that is there: the run can
            // never be undone, and the next undo goes to the run before it.
            journal::markNotUndoable(database, last->id);
            outcome.status = Status::FolderMissing;
            refuse(outcome, Refusal::UndoFolderMissing, last->folder);
        } else if (folder.isEmpty()) {
            // Its card or drive is out: the undo waits for it.
            outcome.status = Status::FolderMissing;
            refuse(outcome, Refusal::UndoVolumeMissing, last->folder);
        } else if (const int refusal = fs::writeRefusal(folder)) {
            outcome.status = Status::FolderReadOnly;
            outcome.folder = folder;
            refuse(outcome, Refusal::FolderNotWritable, folder);
            outcome.error = refusal;
        } else {
            outcome.plan.folder = folder;
            outcome.folder = folder;
            const FolderNames names(folder);
            giveTemporaryNames(names, clock_, outcome.plan.runKey, outcome.plan.files);
            orderMoves(outcome.plan, names.anyCase);
            // A temporary name of the run saved since (an editor wrote back
            // to the path it had opened) stays as it is, and is named.
            for (const QString &name : fs::listPlainFiles(folder)) {
                if (!last->runKey.isEmpty() && runKeyOf(name) == last->runKey)
                    outcome.plan.leftOut.push_back({name, LeftOut::Reason::TemporaryName});
            }
        }
    } catch (const DatabaseError &error) {
        outcome.status = Status::DatabaseUnavailable;
        refuse(outcome, Refusal::Database);
        outcome.databaseError = error;
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
        refuse(outcome, Refusal::FolderBusy, folder);
        return outcome;
    }
    try {
        // Temporary names of a run closed elsewhere (on a copy of this
        // card) take that run up again here.
        QStringList temporary;
        for (const QString &name : fs::listPlainFiles(folder)) {
            if (isTemporaryName(name))
                temporary << name;
        }
        for (const QString &name : temporary) {
            if (const std::optional<journal::Run> closed = showsAClosedRun(database, outcome.folder, name))
                journal::reopen(database, closed->id, outcome.folder);
        }
        const int waiting = filesAwaitingRestore(database, folder);
        if (waiting > 0) {
            outcome.status = OperationOutcome::Status::UnfinishedRun;
            refuse(outcome, Refusal::RecoverFirst, outcome.folder);
            outcome.count = waiting;
            return outcome;
        }
        // Temporary names that no record explains: the record of their run
        // was lost, and only the user can tell which name was whose. One a
        // recorded run explains (an editor saved under it after the run)
        // is left alone.
        QStringList stray;
        for (const QString &name : temporary) {
            if (!journal::runWithKey(database, runKeyOf(name)))
                stray << name;
        }
        if (!stray.isEmpty()) {
            outcome.status = OperationOutcome::Status::StrayTemporaryNames;
            refuse(outcome, Refusal::StrayTemporaryNames, outcome.folder);
            outcome.names = stray;
        }
    } catch (const DatabaseError &error) {
        outcome.status = OperationOutcome::Status::DatabaseUnavailable;
        refuse(outcome, Refusal::Database);
        outcome.databaseError = error;
    }
    return outcome;
}

OperationOutcome RenameOperations::apply(RenamePlan plan, NameDatabase &database)
{
    using Status = OperationOutcome::Status;
    using StopReason = OperationOutcome::StopReason;
    const OperationRules &rules = rulesOf(plan.operation);
    OperationOutcome outcome;
    const fs::FolderLock lock(plan.folder);
    // Checked again and held from here on: a run cut short meanwhile is
    // reconciled first, and one with files under temporary names refuses.
    outcome = checkFolder(plan.folder, database);
    if (outcome.status != Status::Completed)
        return outcome;
    if (!lock.held()) {
        outcome.status = Status::FolderBusy;
        refuse(outcome, Refusal::FolderBusy, plan.folder);
        return outcome;
    }

    std::optional<DatabaseError> databaseError;
    try {
        if (plan.operation == Operation::Undo && !stillUndoable(plan, database)) {
            outcome.status = Status::NothingToUndo;
            refuse(outcome, Refusal::UndoChanged);
            return outcome;
        }
        Transaction transaction(database);
        database.empty(Table::FileNameList);
        database.addListRows(listRowsFor(rules, plan));
        outcome.runId = journal::begin(database, plan);
        transaction.commit();
    } catch (const DatabaseError &error) {
        outcome.status = Status::DatabaseUnavailable;
        refuse(outcome, Refusal::Database);
        outcome.databaseError = error;
        return outcome;
    }

    {
        const ProgressShown shown(rules.showsProgress ? progress_ : nullptr);
        Executor executor(plan, database, outcome.runId, StepsFor::Forward, progress_, rules.showsProgress);
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
    outcome.failed = int(plan.undecodable.size()); // files of the run it could not name
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
        outcome.databaseError = databaseError;
    }
    return outcome;
}


} // namespace pelmora
