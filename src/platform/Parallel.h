// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace pelmora {

// Calls work(i) once for every i of [0, count), on one thread a core. The
// calling thread only watches: at once, then every 50 ms and at the end, it
// calls watch(done) with the number of items finished, so that a window
// stays alive however long one item takes; once watch returns false, no
// further item is started, and the items under way are waited for. Where
// no thread can be had, the calling thread does the work itself, watching
// between items. False when it was stopped so.
template <typename Work, typename Watch>
bool eachInParallel(qsizetype count, const Work &work, const Watch &watch)
{
    constexpr auto kWatchEvery = std::chrono::milliseconds(50);
    std::atomic<qsizetype> next{0};
    std::atomic<qsizetype> done{0};
    std::atomic<bool> stopped{!watch(0)};
    std::mutex finishing;
    std::condition_variable finished;
    qsizetype working = 0; // threads not finished, under `finishing`
    const auto takeItems = [&] {
        for (qsizetype i = 0; !stopped && (i = next++) < count;) {
            work(i);
            ++done;
        }
    };
    const qsizetype threads = std::clamp<qsizetype>(QThread::idealThreadCount(), 1, 8);
    std::vector<std::thread> workers;
    try {
        for (qsizetype t = 0; t < std::min(threads, count); ++t) {
            {
                const std::lock_guard lock(finishing);
                ++working;
            }
            workers.emplace_back([&] {
                takeItems();
                const std::lock_guard lock(finishing);
                --working;
                finished.notify_all();
            });
        }
    } catch (const std::system_error &) {
        const std::lock_guard lock(finishing);
        --working; // the thread that was not had
    }
    if (workers.empty()) {
        for (qsizetype i = 0; !stopped && (i = next++) < count;) {
            work(i);
            ++done;
            if (!watch(done.load()))
                stopped = true;
        }
    }
    for (;;) {
        std::unique_lock lock(finishing);
        if (finished.wait_for(lock, kWatchEvery, [&] { return working == 0; }))
            break;
        lock.unlock();
        if (!watch(done.load())) // watched on while the items under way end, stopped or not
            stopped = true;
    }
    for (std::thread &worker : workers)
        worker.join();
    if (!stopped && !watch(done.load()))
        stopped = true;
    return !stopped;
}

} // namespace pelmora
