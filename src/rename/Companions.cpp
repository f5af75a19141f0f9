// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/Companions.h"

#include "platform/FileSystem.h"
#include "platform/PropertyReader.h"
#include "rename/Naming.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <numeric>
#include <optional>
#include <tuple>

namespace pelmora {

namespace {

// The name a sidecar is named after: "IMG_1" of "IMG_1.xmp", "IMG_1.CR2" of
// "IMG_1.CR2.xmp", as a person reads it (letter case and Unicode form aside).
QString sidecarStem(const QString &name)
{
    return fs::matchKey(fs::baseNameOf(name));
}

} // namespace

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

bool isRawName(const QString &name)
{
    static const QStringList extensions = {
        QStringLiteral("cr2"), QStringLiteral("cr3"), QStringLiteral("nef"), QStringLiteral("nrw"), QStringLiteral("arw"),
        QStringLiteral("srf"), QStringLiteral("sr2"), QStringLiteral("raf"), QStringLiteral("orf"), QStringLiteral("rw2"),
        QStringLiteral("pef"), QStringLiteral("dng"), QStringLiteral("srw"), QStringLiteral("x3f"), QStringLiteral("3fr"),
        QStringLiteral("iiq"), QStringLiteral("erf"), QStringLiteral("kdc"), QStringLiteral("mrw"), QStringLiteral("rwl")};
    return extensions.contains(fs::extensionOf(name), Qt::CaseInsensitive);
}

void releaseUnpairedRawMates(const OperationRules &rules, const NamingInputs &inputs, RenamePlan &plan)
{
    QSet<QString> jpegShots;
    for (const PlannedRename &file : plan.files) {
        if (!file.rawMate && namedAsJpeg(file.formerName))
            jpegShots.insert(shotKey(inputs, file));
    }
    jpegShots.remove(QString());
    std::erase_if(plan.files, [&](const PlannedRename &file) {
        if (!file.rawMate || jpegShots.contains(shotKey(inputs, file)))
            return false;
        plan.leftOut.push_back({file.formerName, LeftOut::Reason::Extension});
        if (rules.countsExcluded)
            ++plan.excluded;
        return true;
    });
}

bool isSidecarName(const QString &name)
{
    static const QStringList extensions = {QStringLiteral("xmp"), QStringLiteral("aae"), QStringLiteral("thm"),
                                           QStringLiteral("lrv")};
    return extensions.contains(fs::extensionOf(name), Qt::CaseInsensitive);
}

std::vector<SetAside> takeOutSidecars(const OperationRules &rules, const NamingInputs &inputs, RenamePlan &plan)
{
    std::vector<SetAside> sidecars;
    if (!inputs.companions)
        return sidecars;
    QSet<QString> mains;
    for (const PlannedRename &file : plan.files) {
        if (!isSidecarName(file.formerName)) {
            mains.insert(fs::matchKey(file.formerName));
            mains.insert(fs::matchKey(fs::baseNameOf(file.formerName)));
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

namespace {

// The file each sidecar follows. Each file by its name and by its base
// name, as written and as a person reads it: a sidecar goes with the file it
// names exactly, if there is one. Of two files of one base name but
// different shots, a sidecar named after the base goes with the one that is
// no JPEG: editors keep sidecars for raw pictures and write their edits
// into a JPEG itself.
class SidecarMains {
public:
    explicit SidecarMains(const std::vector<PlannedRename> &files)
    {
        const auto isJpeg = [&](size_t i) { return namedAsJpeg(files[i].formerName); };
        const auto prefer = [&](QHash<QString, size_t> &map, const QString &key, size_t i) {
            const auto held = map.constFind(key);
            if (held == map.constEnd() || (isJpeg(*held) && !isJpeg(i)))
                map.insert(key, i);
        };
        for (size_t i = 0; i < files.size(); ++i) {
            const QString &name = files[i].formerName;
            byName_.insert(name, i);
            prefer(byBase_, fs::baseNameOf(name), i);
            byNameAnyCase_.insert(fs::matchKey(name), i);
            prefer(byBaseAnyCase_, fs::matchKey(fs::baseNameOf(name)), i);
        }
    }

    // The index of the file; `wholeName` when the sidecar names it whole
    // ("IMG_1.CR2.xmp"), not by its base name.
    std::optional<size_t> mainOf(const QString &sidecar, bool &wholeName) const
    {
        const QString stem = fs::baseNameOf(sidecar);
        for (const auto &[map, key, whole] : {std::tuple(&byName_, stem, true), std::tuple(&byBase_, stem, false),
                                              std::tuple(&byNameAnyCase_, fs::matchKey(stem), true),
                                              std::tuple(&byBaseAnyCase_, fs::matchKey(stem), false)}) {
            if (const auto found = map->constFind(key); found != map->constEnd()) {
                wholeName = whole;
                return *found;
            }
        }
        return std::nullopt;
    }

private:
    QHash<QString, size_t> byName_, byBase_, byNameAnyCase_, byBaseAnyCase_;
};

} // namespace

QHash<QString, QStringList> sidecarEndings(const std::vector<PlannedRename> &files,
                                           const std::vector<SetAside> &sidecars)
{
    QHash<QString, QStringList> endings;
    const SidecarMains mains(files);
    for (const SetAside &sidecar : sidecars) {
        bool wholeName = false;
        if (const std::optional<size_t> main = mains.mainOf(sidecar.file.formerName, wholeName)) {
            const PlannedRename &file = files[*main];
            endings[file.formerName] << (wholeName ? u'.' + file.extension : QString()) + u'.' + sidecar.file.extension;
        }
    }
    return endings;
}

void attachSidecars(const OperationRules &rules, std::vector<SetAside> sidecars, RenamePlan &plan)
{
    if (sidecars.empty())
        return;
    const SidecarMains mains(plan.files);
    // Two sidecars never take one name (IMG_1.xmp and img_1.xmp): the first stays.
    QSet<QString> newNames;
    std::vector<std::vector<PlannedRename>> before(plan.files.size());
    for (auto &[sidecar, leftOutForExtension] : sidecars) {
        bool wholeName = false;
        const std::optional<size_t> main = mains.mainOf(sidecar.formerName, wholeName);
        QString newName;
        if (main) {
            const PlannedRename &file = plan.files[*main];
            newName = (wholeName ? file.newName : fs::baseNameOf(file.newName)) + u'.' + sidecar.extension;
        }
        if (!main || newName == sidecar.formerName || newNames.contains(fs::matchKey(newName))) {
            // Its file keeps its name: so does the sidecar, left out as before.
            plan.leftOut.push_back(
                {sidecar.formerName, leftOutForExtension ? LeftOut::Reason::Extension : LeftOut::Reason::Unchanged});
            if (leftOutForExtension && rules.countsExcluded)
                ++plan.excluded;
            continue;
        }
        const PlannedRename &file = plan.files[*main];
        newNames.insert(fs::matchKey(newName));
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

} // namespace pelmora
