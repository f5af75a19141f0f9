// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/Candidates.h"

#include "platform/FileSystem.h"
#include "rename/Companions.h"
#include "rename/DateCorrections.h"
#include "rename/NameFormat.h"
#include "rename/Progress.h"

#include <QDateTime>
#include <QSet>

namespace pelmora {

void collectCandidates(const OperationRules &rules, const NamingInputs &inputs, MetadataSource &source,
                       ProgressSink *progress, RenamePlan &plan)
{
    QStringList paths;
    QStringList undecodable;
    std::vector<fs::OtherEntry> others;
    const QStringList names = fs::listPlainFiles(inputs.folder, &undecodable, &others);
    // Entries named as the files the run takes but which are none are
    // listed, so that none is passed over in silence.
    for (const fs::OtherEntry &entry : others) {
        if (takesPart(fs::extensionOf(entry.name), inputs.extensions))
            plan.leftOut.push_back({entry.name, entry.kind == fs::EntryKind::Folder ? LeftOut::Reason::Folder
                                           : entry.kind == fs::EntryKind::Special ? LeftOut::Reason::Special
                                           : entry.kind == fs::EntryKind::Link    ? LeftOut::Reason::Link
                                                                                  : LeftOut::Reason::DanglingLink});
    }
    for (const QString &name : undecodable) {
        if (takesPart(fs::extensionOf(name), inputs.extensions)) {
            plan.leftOut.push_back({name, LeftOut::Reason::UndecodableName});
            plan.undecodable << name;
        } else {
            plan.leftOut.push_back({name, LeftOut::Reason::Extension});
            if (rules.countsExcluded)
                ++plan.excluded;
        }
    }
    QStringList taking;
    // A raw file follows the JPEG of its shot though no box names it: taken
    // when a JPEG of its base name takes part, given back unless it shares
    // the JPEG's second (releaseUnpairedRawMates).
    QStringList rawCandidates;
    QSet<QString> jpegBases;
    for (const QString &name : names) {
        const QString extension = fs::extensionOf(name);
        if (!takesPart(extension, inputs.extensions)) {
            if (inputs.companions && isRawName(name) && !isTemporaryName(name)) {
                rawCandidates << name;
                continue;
            }
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
        if (namedAsJpeg(name))
            jpegBases.insert(fs::matchKey(fs::baseNameOf(name)));
    }
    const qsizetype takenByBoxes = taking.size();
    for (const QString &name : rawCandidates) {
        if (jpegBases.contains(fs::matchKey(fs::baseNameOf(name)))) {
            taking << name;
        } else {
            plan.leftOut.push_back({name, LeftOut::Reason::Extension});
            if (rules.countsExcluded)
                ++plan.excluded;
        }
    }
    // Each file is known by its content, so that undo and recovery move it
    // and no other; a JPEG's date is scanned from the same read of its head.
    const bool readsMetadata = rules.readsCamera || rules.dateSource == DateSource::Taken;
    std::vector<std::optional<Metadata>> quick(size_t(taking.size()));
    const auto goOn = [progress](Reading what, qsizetype done, qsizetype total) {
        if (!progress)
            return true;
        progress->reading(what, done, total);
        return !progress->stopRequested();
    };
    bool stopped = false;
    const std::vector<std::optional<fs::FileIdentity>> identities = fs::identifyContents(
        inputs.folder, taking,
        [&](qsizetype i, int fd, const struct ::stat &info, QByteArrayView head) {
            if (readsMetadata && namedAsJpeg(std::as_const(taking)[i]))
                quick[size_t(i)] = readJpegQuickly(fd, info, head);
        },
        [&](qsizetype done) { return goOn(Reading::Files, done, taking.size()); }, &stopped);
    if (stopped) {
        plan.cancelled = true;
        return;
    }
    std::vector<std::optional<Metadata>> quickOfKept;
    for (qsizetype i = 0; i < taking.size(); ++i) {
        const QString &name = taking[i];
        const QString extension = fs::extensionOf(name);
        const std::optional<fs::FileIdentity> &identity = identities[size_t(i)];
        // A file whose content cannot be read has no date taken to name it
        // by (a link, whose content is not hashed, is read through).
        if (readsMetadata && identity && !identity->content && !fs::canRead(inputs.folder, name)) {
            plan.leftOut.push_back({name, LeftOut::Reason::Unreadable});
            plan.unopened << name;
            continue;
        }
        PlannedRename file;
        file.formerName = name;
        file.extension = extension;
        file.identity = identity.value_or(fs::FileIdentity{});
        if (identity)
            file.date = QDateTime::fromSecsSinceEpoch(identity->modified);
        file.dateSource = DateSource::Modified;
        file.rawMate = i >= takenByBoxes;
        plan.files.push_back(file);
        paths << fs::joinPath(inputs.folder, name);
        quickOfKept.push_back(std::move(quick[size_t(i)]));
    }
    if (!readsMetadata)
        return;
    const std::vector<Metadata> read = source.readAll(paths, std::move(quickOfKept), [&](qsizetype done) {
        return goOn(Reading::Dates, done, paths.size());
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
    if (rules.dateSource == DateSource::Taken)
        correctDates(inputs.corrections, read, plan.files);
    plan.unreadable = source.unreadable();
}

} // namespace pelmora
