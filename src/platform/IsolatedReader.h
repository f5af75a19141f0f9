// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/PropertyReader.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>
#include <memory>

class QProcess;

namespace pelmora {

// The property reader run in a worker process of its own ("pelmora-reader")
// with a memory and a time limit: a file that makes a metadata library
// crash, spin or eat memory costs that worker, not the program. Such a file
// gets empty values, and its name is kept for the closing message. Without
// the worker program it reads in this process.
class IsolatedPropertyReader final : public MetadataSource {
public:
    IsolatedPropertyReader();
    ~IsolatedPropertyReader();
    IsolatedPropertyReader(const IsolatedPropertyReader &) = delete;
    IsolatedPropertyReader &operator=(const IsolatedPropertyReader &) = delete;

    // All there is to read of one file.
    Metadata read(const QString &path);
    // The files the quick scan did not read are read by one worker per core.
    std::vector<Metadata> readAll(const QStringList &paths, std::vector<std::optional<Metadata>> quick,
                                  const ReadTick &tick = {}) override;
    const QStringList &unreadable() const override { return unreadable_; }

    static constexpr int kSecondsPerFile = 5;
    static constexpr qint64 kMemoryLimit = 1536LL * 1024 * 1024;
    // Processor seconds a worker may spend in all: far more than any run's
    // share of reading takes.
    static constexpr qint64 kCpuSecondsLimit = 900;

private:
    struct Worker;
    // The workers' readings of the files `which` of `paths`, in the order of
    // `paths`; none for a file whose worker died or ran out of time on it.
    // `step` is asked whether to go on as each file is answered (true) and
    // every 50 ms while none is (false).
    std::vector<std::optional<QByteArray>> ask(const QStringList &paths, const std::vector<qsizetype> &which,
                                               const std::function<bool(bool answered)> &step = {});
    static std::unique_ptr<QProcess> startWorker();
    void giveUp(const QString &path);

    std::vector<Worker> workers_; // one per core, kept between requests
    std::unique_ptr<PropertyReader> local_; // when there is no worker program
    QStringList unreadable_;
};

// The worker's side. A request is a path, and its answer the file's
// Metadata; each is one frame: its length in four bytes (big-endian, at most
// the longest frame), then its values as a QDataStream. The answer to a
// request, framed.
inline constexpr quint32 kLongestReaderFrame = 16 * 1024 * 1024;
QByteArray answerReaderRequest(PropertyReader &reader, const QByteArray &request);

} // namespace pelmora
