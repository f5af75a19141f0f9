#pragma once

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace pelmora {

// Calls work(i) once for every i of [0, count), on one thread a core. The
// calling thread works too, and after its first item, then at most every
// 50 ms, calls watch(done) with the number of items finished; once watch
// returns false, no further item is started. Where no thread can be had,
// the calling thread does the rest. False when it was stopped so.
template <typename Work, typename Watch>
bool eachInParallel(qsizetype count, const Work &work, const Watch &watch)
{
    constexpr qint64 kWatchEveryMs = 50;
    std::atomic<qsizetype> next{0};
    std::atomic<qsizetype> done{0};
    std::atomic<bool> stopped{false};
    const auto takeItems = [&](bool watching) {
        QElapsedTimer sinceWatched;
        for (qsizetype i = 0; !stopped && (i = next++) < count;) {
            work(i);
            ++done;
            if (watching && (!sinceWatched.isValid() || sinceWatched.elapsed() >= kWatchEveryMs)) {
                if (!watch(done.load()))
                    stopped = true;
                sinceWatched.restart();
            }
        }
    };
    const qsizetype threads = std::clamp<qsizetype>(QThread::idealThreadCount(), 1, 8);
    std::vector<std::thread> workers;
    try {
        for (qsizetype t = 1; t < std::min(threads, count); ++t)
            workers.emplace_back(takeItems, false);
    } catch (const std::system_error &) {
    }
    takeItems(true);
    for (std::thread &worker : workers)
        worker.join();
    return !stopped;
}

} // namespace pelmora
