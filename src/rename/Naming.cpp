// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/Naming.h"

#include "platform/FileSystem.h"
#include "rename/NameFormat.h"

#include <QDateTime>

#include <algorithm>
#include <map>
#include <optional>

namespace pelmora {

FolderNames::FolderNames(const QStringList &all, bool anyCase)
    : anyCase(anyCase)
{
    for (const QString &name : all)
        keys.insert(key(name));
}

FolderNames FolderNames::of(const QString &folder)
{
    QStringList folders;
    const QStringList all = fs::allNames(folder, &folders);
    FolderNames names(all, fs::caseInsensitive(folder, all));
    for (const QString &name : std::as_const(folders))
        names.folderKeys.insert(names.key(name));
    return names;
}

QString FolderNames::key(const QString &name) const
{
    return fs::nameKey(name, anyCase);
}

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

QString shotKey(const NamingInputs &inputs, const PlannedRename &file)
{
    if (!inputs.companions || !file.date.isValid())
        return {};
    return fs::matchKey(fs::baseNameOf(file.formerName)) + u'\n' + QString::number(file.date.toSecsSinceEpoch());
}

namespace {

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

// The date the name of a file shows: that of the day it belongs to.
QString dayText(const QDateTime &date, const NamingInputs &inputs, DatePattern pattern)
{
    if (!date.isValid())
        return dateText(date, pattern);
    // By the clock's hour, not by the time passed: a day that starts at 03:00
    // starts then on the day summer time begins too. Noon is never skipped.
    const QDate day = date.time() < inputs.dayStart ? date.date().addDays(-1) : date.date();
    return dateText(QDateTime(day, QTime(12, 0)), pattern);
}

void takeNameOf(PlannedRename &file, const QString &newFileName)
{
    file.newFileName = newFileName;
    file.newName = newFileName + u'.' + file.extension;
}

} // namespace

void nameByDay(const OperationRules &rules, const NamingInputs &inputs, std::vector<PlannedRename> &files,
               const ShotNameFree &free)
{
    sortByDate(files);
    const qint64 startNumber = wholeNumber(inputs.startNumber).value_or(1);
    const DatePattern pattern = datePatternFor(inputs.option);
    // Each file's shot first: a shot's number must suit all its files.
    Shots shots;
    std::vector<std::optional<size_t>> pairOf;
    std::vector<std::vector<const PlannedRename *>> shotOf(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        pairOf.push_back(shots.pairedWith(shotKey(inputs, files[i]), files[i], i));
        shotOf[pairOf.back().value_or(i)].push_back(&files[i]);
    }
    QString previousDate;
    qint64 number = startNumber;
    for (size_t i = 0; i < files.size(); ++i) {
        PlannedRename &file = files[i];
        if (pairOf[i]) {
            takeNameOf(file, files[*pairOf[i]].newFileName);
            continue;
        }
        const QString date = dayText(file.date, inputs, pattern);
        if (date != previousDate) {
            previousDate = date;
            number = startNumber;
        }
        const auto nameAt = [&](qint64 at) {
            QString name = numberedName(date, inputs.preText, at, inputs.postText);
            if (rules.formerNameAlways || inputs.option == NamingOption::Option3)
                name += u'(' + fs::baseNameOf(file.formerName) + u')';
            if (rules.lengthWithOption4 && inputs.option == NamingOption::Option4)
                name += file.movieLong;
            return name;
        };
        // The number widens past its digits, so a free one is always found.
        while (free && !free(shotOf[i], nameAt(number)))
            ++number;
        takeNameOf(file, nameAt(number));
        ++number;
    }
}

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
    const auto moveTo = [&](PlannedRename &file) {
        present.remove(names.key(file.formerName));
        present.insert(names.key(file.newName));
    };
    for (size_t i = 0; i < files.size(); ++i) {
        PlannedRename &file = files[i];
        if (pairOf[i]) {
            takeNameOf(file, files[*pairOf[i]].newFileName);
            moveTo(file);
            continue;
        }
        const auto shot = keys[i].isEmpty() ? shots.byKey.end() : shots.byKey.find(keys[i]);
        const QString date = dayText(file.date, inputs, pattern);
        const QStringList extensions = shot != shots.byKey.end() && shot->second.first == i
            ? shot->second.extensions
            : QStringList{file.extension};
        const auto taken = [&](qint64 number) {
            const QString base = numberedName(date, inputs.preText, number, inputs.postText);
            return std::any_of(extensions.begin(), extensions.end(), [&](const QString &extension) {
                return present.contains(names.key(base + u'.' + extension));
            });
        };
        // The number widens past its digits, so a free one is always found.
        qint64 number = 1;
        while (taken(number))
            ++number;
        takeNameOf(file, numberedName(date, inputs.preText, number, inputs.postText));
        moveTo(file);
    }
}

void nameByText(const OperationRules &rules, const NamingInputs &inputs, RenamePlan &plan)
{
    std::vector<PlannedRename> kept;
    for (PlannedRename &file : plan.files) {
        if (rules.naming == Naming::Replace) {
            // A Mac writes ガ as カ and a sound mark (NFD); Linux and Windows
            // as one character (NFC): names and the search are compared in
            // the one form, so カ is not found in ガ. A name it is not found
            // in keeps its bytes; one it is found in is written in the one form.
            QString replaced = file.formerName;
            const QString search = inputs.preText.normalized(QString::NormalizationForm_C);
            if (QString composed = replaced.normalized(QString::NormalizationForm_C);
                !search.isEmpty() && composed.contains(search, Qt::CaseSensitive))
                replaced = composed.replace(search, inputs.postText, Qt::CaseSensitive);
            if (replaced == file.formerName) {
                plan.leftOut.push_back({file.formerName, LeftOut::Reason::Unchanged});
                ++plan.unchanged;
                continue;
            }
            // Nothing, or a name that starts with a dot: no name at all, or
            // a hidden file no list would show again.
            if (replaced.isEmpty() || replaced.startsWith(u'.')) {
                plan.leftOut.push_back({file.formerName, LeftOut::Reason::NoName});
                continue;
            }
            file.newName = replaced;
            file.newFileName = replaced;
        } else {
            takeNameOf(file, fs::baseNameOf(file.formerName) + u'(' + inputs.postText + u')');
        }
        kept.push_back(std::move(file));
    }
    plan.files = std::move(kept);
}

// Every file of a run has a temporary name, numbered in the order the files
// are given one (the listing order, then the sidecars set beside them): only
// those that must step aside use it, and a recovery that takes a run back.
void giveTemporaryNames(const FolderNames &names, const QTime &now, const QString &runKey,
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
            file.temporaryName = temporaryName(now, ++number, file.extension, runKey);
        } while (taken.contains(names.key(file.temporaryName)));
        taken.insert(names.key(file.temporaryName));
    }
}

void markDatesThatStandOut(std::vector<PlannedRename> &files)
{
    constexpr qint64 kHalfAYear = 183LL * 24 * 3600;
    std::map<QString, std::vector<qint64>> byCamera;
    for (const PlannedRename &file : files) {
        if (!file.camera.isEmpty() && file.date.isValid())
            byCamera[file.camera].push_back(file.date.toSecsSinceEpoch());
    }
    std::map<QString, qint64> middle;
    for (auto &[camera, dates] : byCamera) {
        if (dates.size() < 3)
            continue;
        std::nth_element(dates.begin(), dates.begin() + qsizetype(dates.size() / 2), dates.end());
        middle[camera] = dates[dates.size() / 2];
    }
    for (PlannedRename &file : files) {
        const auto found = middle.find(file.camera);
        file.dateStandsOut = found != middle.end() && file.date.isValid()
            && std::abs(file.date.toSecsSinceEpoch() - found->second) > kHalfAYear;
    }
}

QSet<QString> keysNotBorneBy(const FolderNames &names, const std::vector<PlannedRename> &files)
{
    QSet<QString> staying = names.keys;
    for (const PlannedRename &file : files)
        staying.remove(names.key(file.formerName));
    return staying;
}

void markTakenNames(const FolderNames &names, RenamePlan &plan)
{
    const QSet<QString> staying = keysNotBorneBy(names, plan.files);
    // Two files of the run never take one name (two names that differ in
    // Unicode form alone, replaced alike): the first one has it.
    QSet<QString> given;
    for (PlannedRename &file : plan.files) {
        const QString key = names.key(file.newName);
        file.nameTaken = staying.contains(key) || (file.newName != file.formerName && given.contains(key));
        file.takenByFolder = staying.contains(key) && names.folderKeys.contains(key);
        given.insert(key);
    }
}

} // namespace pelmora
