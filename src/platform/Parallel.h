#pragma once

#include <QThread>

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace pelmora {

// Calls work(from, to) on shares of [0, count), one thread a core. Where no
// thread can be had, the calling thread does what is left.
template <typename Work>
void inParallel(qsizetype count, const Work &work)
{
    const qsizetype threads = std::clamp<qsizetype>(QThread::idealThreadCount(), 1, 8);
    const qsizetype share = std::max<qsizetype>(1, (count + threads - 1) / threads);
    std::vector<std::thread> workers;
    qsizetype from = 0;
    try {
        for (; from + share < count; from += share)
            workers.emplace_back(work, from, from + share);
    } catch (const std::system_error &) {
    }
    work(from, count);
    for (std::thread &worker : workers)
        worker.join();
}

} // namespace pelmora
