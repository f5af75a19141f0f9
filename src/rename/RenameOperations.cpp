#include "rename/RenameOperations.h"

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/IsolatedReader.h"
#include "platform/PropertyReader.h"
#include "rename/FileMoves.h"
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
        const std::optional<fs::FileIdentity> identity = fs::identify(inputs.folder, name);
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
    if (!rules.readsCamera && rules.dateSource != DateSource::Taken)
        return;
    IsolatedPropertyReader reader;
    const std::vector<Metadata> read = reader.readAll(paths, [progress] {
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

// Which files of a run get a temporary name.
enum class TemporaryFor {
    All,         // two-pass runs: every file, in listing order
    CaseChanges, // one-pass runs: where the name changes its letter case alone, which a card's folder takes for the same name
    Sidecars     // two-pass runs: the sidecars set beside the files afterwards
};

// "TempFileName" + minute and second + "_" + number: a name that no entry of
// the folder and no other file of this run bears, so that neither a leftover
// file nor another run can meet it.
void giveTemporaryNames(const FolderNames &names, const Clock &clock, std::vector<PlannedRename> &files,
                        TemporaryFor which = TemporaryFor::All)
{
    QSet<QString> taken = names.keys;
    int number = 0;
    for (const PlannedRename &file : files) {
        if (which == TemporaryFor::Sidecars && !file.temporaryName.isEmpty()) {
            taken.insert(names.key(file.temporaryName));
            ++number;
        }
    }
    for (PlannedRename &file : files) {
        if (which == TemporaryFor::CaseChanges && !fs::differInCaseOnly(file.formerName, file.newName))
            continue;
        if (which == TemporaryFor::Sidecars && !file.companion)
            continue;
        do {
            file.temporaryName = temporaryName(clock.now().time(), ++number, file.extension);
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

// The files of a shot (same new name) stand together, where its first file
// stands; nothing moves without pairs.
void bringShotsTogether(std::vector<PlannedRename> &files)
{
    QHash<QString, size_t> firstOf;
    std::vector<size_t> place(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        auto first = firstOf.constFind(files[i].newFileName);
        if (first == firstOf.constEnd())
            first = firstOf.insert(files[i].newFileName, i);
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
        sidecar.identity = fs::identify(plan.folder, file.name).value_or(fs::FileIdentity{});
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
// after its rename. A run stops part-way when a state cannot be committed or
// the volume turns read-only, fills up or goes away: files under temporary
// names then get their former names again where the folder still allows it,
// and nothing else is touched.
class Applier {
public:
    using StopReason = OperationOutcome::StopReason;

    Applier(const OperationRules &rules, RenamePlan &plan, NameDatabase &database, qint64 runId,
            ProgressSink *progress)
        : rules_(rules)
        , plan_(plan)
        , database_(database)
        , runId_(runId)
        , moves_(plan.folder)
        , sink_(progress)
    {
        if (rules.showsProgress)
            progress_.emplace(progress, plan.progressCount);
    }

    StopReason run()
    {
        const float firstShare = rules_.twoPasses ? 0.5f : 1;
        // An undo moves only the files it recorded, never one saved under
        // their names since.
        const bool onlyRecorded = plan_.operation == Operation::Undo;
        int processed = 0;
        Group group{0, false, plan_.keepShotsTogether};
        for (size_t i = 0; i < plan_.files.size(); ++i) {
            // A file and its sidecars move together: never stopped between them.
            if (group.startsAt(i, plan_.files)) {
                if (stopRequested())
                    return stop(i, QString(), StopReason::Cancelled);
                // A group one of whose new names another entry holds is not
                // started at all: a file of it could not follow the others.
                group.failed = blockedGroup(i);
            }
            PlannedRename &file = plan_.files[i];
            if (group.failed) {
                if (!keepWithGroup(i))
                    return stop(i, QString(), StopReason::Database);
                progress(float(++processed), 0, firstShare);
                continue;
            }
            // One-pass runs go through a temporary name only where the new
            // name differs in letter case alone.
            const bool viaTemporary = !file.temporaryName.isEmpty();
            const QString target = viaTemporary ? file.temporaryName : file.newName;
            if (moves_.move(file, file.formerName, target, onlyRecorded)) {
                file.state = viaTemporary ? FileState::Temporary : FileState::Done;
                if (!record(i))
                    return stop(i, target, StopReason::Database);
                if (viaTemporary && !rules_.twoPasses && !toFinal(i))
                    return stopReason_;
                if (file.state != FileState::Done && file.state != FileState::Temporary && !takeBackGroup(group, i))
                    return stop(i, QString(), StopReason::Database);
            } else if (moves_.stopReason() != StopReason::None) {
                return stop(i, QString(), moves_.stopReason());
            } else {
                file.state = FileState::Failed;
                if (!record(i) || !takeBackGroup(group, i))
                    return stop(i, QString(), StopReason::Database);
            }
            progress(float(++processed), 0, firstShare);
        }
        if (!commit())
            return stop(plan_.files.size() - 1, QString(), StopReason::Database);
        if (!rules_.twoPasses)
            return StopReason::None;
        processed = 0;
        group = Group{0, false, plan_.keepShotsTogether};
        for (size_t i = 0; i < plan_.files.size(); ++i) {
            const bool temporary = plan_.files[i].state == FileState::Temporary;
            // Stopped here, the files still under temporary names go back.
            if (group.startsAt(i, plan_.files) && temporary && stopRequested())
                return stop(i, QString(), StopReason::Cancelled);
            if (temporary && group.failed) {
                if (!keepWithGroup(i))
                    return stop(i, QString(), StopReason::Database);
            } else if (temporary) {
                if (!toFinal(i))
                    return stopReason_;
                if (plan_.files[i].state != FileState::Done && !takeBackGroup(group, i))
                    return stop(i, QString(), StopReason::Database);
            }
            progress(float(++processed), 50, 0.5f);
        }
        if (!commit())
            return stop(plan_.files.size() - 1, QString(), StopReason::Database);
        return StopReason::None;
    }

    std::optional<DatabaseError> databaseError;

private:
    // A file with the sidecars before it; a group that failed moves no more
    // of its files, so that none of them ends apart from the others.
    // The files of one shot (a RAW+JPEG pair), each with its sidecars, are
    // one group too: they share a new name and stand together in the run.
    struct Group {
        size_t start = 0;
        bool failed = false;
        bool shotsTogether = false;
        bool startsAt(size_t i, const std::vector<PlannedRename> &files)
        {
            if (i > 0 && (files[i - 1].companion || (shotsTogether && shotName(files, i) == shotName(files, i - 1))))
                return false;
            start = i;
            failed = false;
            return true;
        }
        // The new name of the file at i, or of the file a sidecar at i follows.
        static const QString &shotName(const std::vector<PlannedRename> &files, size_t i)
        {
            while (files[i].companion && i + 1 < files.size())
                ++i;
            return files[i].newFileName;
        }
    };

    // Whether the group starting at i has more than one file and a new name
    // that an entry the run leaves alone holds.
    bool blockedGroup(size_t i) const
    {
        Group probe{i, false, plan_.keepShotsTogether};
        bool taken = plan_.files[i].nameTaken;
        size_t end = i + 1;
        for (; end < plan_.files.size() && !probe.startsAt(end, plan_.files); ++end)
            taken = taken || plan_.files[end].nameTaken;
        return taken && end > i + 1;
    }

    // File i could not be renamed: the files of its group moved so far go
    // back to their former names, and the rest stay.
    bool takeBackGroup(Group &group, size_t i)
    {
        group.failed = true;
        for (size_t k = group.start; k < i; ++k) {
            PlannedRename &other = plan_.files[k];
            if (other.state == FileState::Temporary && !keepWithGroup(k))
                return false;
            if (other.state != FileState::Done)
                continue;
            if (!moves_.move(other, other.newName, other.formerName)) {
                // Renamed, and there it stays: recorded (and logged) already.
                other.cause = FailureCause::None;
                other.error = 0;
                continue;
            }
            other.state = FileState::Restored;
            other.cause = FailureCause::CompanionFailed;
            if (!record(k))
                return false;
        }
        return true;
    }

    // File i belongs to a group that failed: it keeps (or gets back) its
    // former name. Its cause is its own new name held by another entry, or
    // else the group.
    bool keepWithGroup(size_t i)
    {
        PlannedRename &file = plan_.files[i];
        if (file.state == FileState::Temporary) {
            const bool back = moves_.move(file, file.temporaryName, file.formerName);
            file.state = back ? FileState::Restored : FileState::Failed;
            file.cause = back ? FailureCause::CompanionFailed : FailureCause::LeftTemporary;
        } else {
            file.state = FileState::Failed;
            file.cause = file.nameTaken ? FailureCause::TargetExists : FailureCause::CompanionFailed;
        }
        return record(i);
    }

    // File i from its temporary name to its new one, or back to its former
    // name when that fails. False when the run stops.
    bool toFinal(size_t i)
    {
        PlannedRename &file = plan_.files[i];
        if (moves_.move(file, file.temporaryName, file.newName)) {
            file.state = FileState::Done;
            file.cause = FailureCause::None;
            if (!record(i)) {
                stopReason_ = stop(i, file.newName, StopReason::Database);
                return false;
            }
            return true;
        }
        if (moves_.stopReason() == StopReason::FolderGone) {
            stopReason_ = stop(i, QString(), StopReason::FolderGone);
            return false;
        }
        const FailureCause cause = file.cause;
        const int error = file.error;
        // Gone only if its temporary name is gone too: some FUSE file
        // systems answer ENOENT for a file that is there.
        const bool vanished = cause == FailureCause::Vanished && !fs::exists(plan_.folder, file.temporaryName);
        const bool back = !vanished && moves_.move(file, file.temporaryName, file.formerName);
        file.state = back ? FileState::Restored : FileState::Failed;
        file.cause = back || vanished ? cause : FailureCause::LeftTemporary;
        file.error = error;
        if (!record(i)) {
            stopReason_ = stop(i, QString(), StopReason::Database);
            return false;
        }
        if (moves_.stopReason() != StopReason::None) {
            stopReason_ = stop(i, QString(), moves_.stopReason());
            return false;
        }
        return true;
    }

    // Stages file i's state (with its log row) in the open batch. Batches
    // are committed every so many files: a run cut short before a commit
    // loses no name, as recovery reads where each file is from the folder
    // itself, and a rename is never logged without its state or the other
    // way round.
    bool record(size_t i)
    {
        const PlannedRename &file = plan_.files[i];
        std::optional<LogRow> log;
        if (file.state == FileState::Done && rules_.writesLog)
            log = journal::logRowFor(file);
        try {
            if (!batch_) {
                batch_.emplace(database_);
                batchStarted_.start();
            }
            journal::record(database_, runId_, int(i), file, log, plan_.undoOf);
            staged_.push_back(i);
            if (staged_.size() >= kBatchFiles || batchStarted_.hasExpired(kBatchMilliseconds))
                return commit();
            return true;
        } catch (const DatabaseError &error) {
            databaseError = error;
            return false;
        }
    }

    // Commits the open batch; false when the database refused it.
    bool commit()
    {
        if (!batch_)
            return true;
        try {
            batch_->commit();
            batch_.reset();
            staged_.clear();
            return true;
        } catch (const DatabaseError &error) {
            databaseError = error;
            return false;
        }
    }

    // The run stops at file i; `unrecorded` is the name it was given whose
    // state could not be committed (empty when none). Files under temporary
    // names go back to their former names, unless the folder is gone:
    // recovery does that once it is back.
    StopReason stop(size_t i, const QString &unrecorded, StopReason reason)
    {
        if (reason == StopReason::Database)
            takeBackUnrecorded();
        else if (!commit())
            return stop(i, QString(), StopReason::Database);
        PlannedRename &file = plan_.files[i];
        // The rename of file i whose record failed, unless the batch's way
        // back has already moved it.
        if (!unrecorded.isEmpty() && fs::exists(plan_.folder, unrecorded)) {
            const bool toTemporary = unrecorded == file.newName && !file.temporaryName.isEmpty();
            if (moves_.move(file, unrecorded, toTemporary ? file.temporaryName : file.formerName))
                file.state = toTemporary ? FileState::Temporary : FileState::Planned;
        }
        if (file.state == FileState::Planned)
            file.cause = FailureCause::Stopped;
        const bool recordable = reason != StopReason::Database;
        for (size_t j = 0; j < plan_.files.size(); ++j) {
            PlannedRename &other = plan_.files[j];
            if (other.state == FileState::Temporary && reason != StopReason::FolderGone) {
                const bool back = moves_.move(other, other.temporaryName, other.formerName);
                other.state = back ? FileState::Planned : FileState::Failed;
                other.cause = back ? FailureCause::Stopped : FailureCause::LeftTemporary;
                if (recordable)
                    record(j);
            } else if (other.state == FileState::Planned) {
                other.cause = FailureCause::Stopped;
            }
        }
        if (recordable)
            commit();
        return reason;
    }

    // The batch the database refused: its renames were never recorded, so
    // they are taken back, renamed files to their temporary names (or their
    // former ones), for the way back of the stop to finish.
    void takeBackUnrecorded()
    {
        batch_.reset(); // rolled back
        for (auto position = staged_.rbegin(); position != staged_.rend(); ++position) {
            PlannedRename &file = plan_.files[*position];
            if (file.state != FileState::Done)
                continue;
            const bool viaTemporary = !file.temporaryName.isEmpty();
            if (moves_.move(file, file.newName, viaTemporary ? file.temporaryName : file.formerName))
                file.state = viaTemporary ? FileState::Temporary : FileState::Planned;
        }
        staged_.clear();
    }

    bool stopRequested() const { return sink_ && sink_->stopRequested(); }

    void progress(float done, float offset = 0, float share = 1)
    {
        if (progress_)
            progress_->set(done, offset, share);
    }

    const OperationRules &rules_;
    RenamePlan &plan_;
    NameDatabase &database_;
    qint64 runId_;
    static constexpr size_t kBatchFiles = 64;
    static constexpr qint64 kBatchMilliseconds = 100;

    FileMoves moves_;
    ProgressSink *sink_;
    StopReason stopReason_ = StopReason::None;
    std::optional<ProgressReport> progress_;
    std::optional<Transaction> batch_;
    QElapsedTimer batchStarted_;
    std::vector<size_t> staged_;
};

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
        anyTemporary = anyTemporary || !file.temporaryName.isEmpty();
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
    collectCandidates(rules, inputs, progress_, plan);
    if (plan.cancelled)
        return plan;
    std::vector<SetAside> sidecars = takeOutSidecars(rules, inputs, plan);
    const FolderNames names(plan.folder);
    // Numbered in listing order, as the files are taken.
    if (rules.twoPasses)
        giveTemporaryNames(names, clock_, plan.files);
    switch (rules.naming) {
    case Naming::ByDay: nameByDay(rules, inputs, plan.files); break;
    case Naming::LowestFree: nameLowestFree(inputs, names, plan.files); break;
    case Naming::Replace:
    case Naming::Append: nameByText(rules, inputs, plan); break;
    case Naming::Former: break;
    }
    plan.keepShotsTogether = inputs.companions && (rules.naming == Naming::ByDay || rules.naming == Naming::LowestFree);
    if (plan.keepShotsTogether)
        bringShotsTogether(plan.files);
    attachSidecars(rules, std::move(sidecars), plan);
    giveTemporaryNames(names, clock_, plan.files, rules.twoPasses ? TemporaryFor::Sidecars : TemporaryFor::CaseChanges);
    markTakenNames(names, plan);
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
            giveTemporaryNames(FolderNames(folder), clock_, outcome.plan.files);
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
        const int waiting = filesAwaitingRestore(database, folder);
        if (waiting > 0) {
            outcome.status = OperationOutcome::Status::UnfinishedRun;
            refuse(outcome, Refusal::RecoverFirst, outcome.folder);
            outcome.count = waiting;
            return outcome;
        }
        // Temporary names that no open run explains: the record of their
        // run was lost, and only the user can tell which name was whose.
        QStringList stray;
        for (const QString &name : fs::listPlainFiles(folder)) {
            if (isTemporaryName(name))
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

    Applier applier(rules, plan, database, outcome.runId, progress_);
    outcome.stopReason = applier.run();
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
            applier.databaseError = error;
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
        outcome.databaseError = applier.databaseError;
    }
    return outcome;
}

bool isTemporaryName(const QString &name)
{
    static const QRegularExpression form(QStringLiteral("^TempFileName[0-9]{4}_[0-9]{3,}(\\.|$)"));
    return form.match(name).hasMatch();
}

} // namespace pelmora
