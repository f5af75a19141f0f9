// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/IsolatedReader.h"


#include "platform/FileSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QDataStream>
#include <QtEndian>

#include <algorithm>
#include <deque>

#include <csignal>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace pelmora {

namespace {

// One request or answer between the program and a worker: its length in
// four bytes, then a QDataStream of its values.
constexpr qsizetype kFrameHeader = 4;

template <typename Write> QByteArray frameOf(Write write)
{
    QByteArray frame(kFrameHeader, '\0');
    {
        QDataStream stream(&frame, QIODevice::WriteOnly | QIODevice::Append);
        write(stream);
    }
    qToBigEndian(quint32(frame.size() - kFrameHeader), frame.data());
    return frame;
}

// A whole frame waiting on the device, taken; nothing while it is not all there.
std::optional<QByteArray> takeFrame(QIODevice &device)
{
    if (device.bytesAvailable() < kFrameHeader)
        return std::nullopt;
    const QByteArray header = device.peek(kFrameHeader);
    const quint32 length = qFromBigEndian<quint32>(header.constData());
    if (length > kLongestReaderFrame || device.bytesAvailable() < kFrameHeader + qint64(length))
        return std::nullopt;
    device.skip(kFrameHeader);
    return device.read(length);
}

QByteArray requestFrame(const QString &path)
{
    return frameOf([&](QDataStream &stream) { stream << path; });
}

// Beside the program, or where it is installed. Tests and benchmarks, which
// run elsewhere in the build tree, use the one built there; an installed
// program never runs a worker from a build tree.
QString workerProgram()
{
    bool inBuildTree = true;
    if (QCoreApplication::instance()) {
        const QDir programFolder(QCoreApplication::applicationDirPath());
        for (const QString &candidate : {programFolder.filePath(QStringLiteral("pelmora-reader")),
                                         programFolder.filePath(QStringLiteral(PELMORA_READER_FROM_PROGRAM))}) {
            if (QFileInfo(candidate).isExecutable())
                return QFileInfo(candidate).canonicalFilePath();
        }
        inBuildTree = (programFolder.canonicalPath() + u'/').startsWith(QStringLiteral(PELMORA_BUILD_TREE "/"));
    }
    if (inBuildTree && QFileInfo(QStringLiteral(PELMORA_READER_BUILT)).isExecutable())
        return QStringLiteral(PELMORA_READER_BUILT);
    return {};
}

} // namespace

QByteArray answerReaderRequest(PropertyReader &reader, const QByteArray &request)
{
    QDataStream in(request);
    QString path;
    in >> path;
    return frameOf([&](QDataStream &out) {
        if (in.status() == QDataStream::Ok)
            out << reader.read(path);
    });
}


// Every worker is sent all of its files at once and answers in order: when
// one dies or falls silent, the first file it has not answered is the one
// that did it, and the rest go to a new worker.
struct IsolatedPropertyReader::Worker {
    std::unique_ptr<QProcess> process;
    std::deque<qsizetype> pending;
    QElapsedTimer sinceAnswer;
};

IsolatedPropertyReader::IsolatedPropertyReader()
    : workers_(size_t(std::clamp(QThread::idealThreadCount(), 1, 4)))
{
    if (workerProgram().isEmpty())
        local_ = std::make_unique<PropertyReader>();
}

IsolatedPropertyReader::~IsolatedPropertyReader()
{
    for (Worker &worker : workers_) {
        if (worker.process) {
            worker.process->closeWriteChannel();
            if (!worker.process->waitForFinished(1000))
                worker.process->kill();
            worker.process->waitForFinished(1000);
        }
    }
}

std::unique_ptr<QProcess> IsolatedPropertyReader::startWorker()
{
    auto worker = std::make_unique<QProcess>();
    worker->setStandardErrorFile(QProcess::nullDevice());
    const pid_t parent = ::getpid();
    worker->setChildProcessModifier([parent] {
        // A worker dies with the program that started it, however that ends;
        // the check after the call covers a parent that died before it.
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
            ::_exit(127);
        const rlimit memory{rlim_t(kMemoryLimit), rlim_t(kMemoryLimit)};
        ::setrlimit(RLIMIT_AS, &memory);
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        // A backstop of its own against a file that makes a library spin.
        const rlimit cpu{rlim_t(kCpuSecondsLimit), rlim_t(kCpuSecondsLimit + 5)};
        ::setrlimit(RLIMIT_CPU, &cpu);
    });
    worker->start(workerProgram(), {});
    if (!worker->waitForStarted(5000))
        return nullptr;
    return worker;
}

void IsolatedPropertyReader::giveUp(const QString &path)
{
    unreadable_ << QFileInfo(path).fileName();
}

namespace {

// A worker's answer; none given: empty values and the file time.
Metadata metadataFrom(const std::optional<QByteArray> &answer, const QString &path)
{
    Metadata result;
    if (answer) {
        QDataStream in(*answer);
        in >> result;
        if (in.status() == QDataStream::Ok)
            return result;
    }
    result = Metadata{};
    result.dateModified = fs::lastModified(path);
    return result;
}

} // namespace

Metadata IsolatedPropertyReader::read(const QString &path)
{
    if (local_)
        return local_->read(path);
    return metadataFrom(ask({path}, {0}).front(), path);
}

std::vector<Metadata> IsolatedPropertyReader::readAll(const QStringList &paths,
                                                      std::vector<std::optional<Metadata>> quick,
                                                      const ReadTick &tick)
{
    std::vector<Metadata> results(size_t(paths.size()));
    bool goOn = true;
    qsizetype finished = 0;
    const auto step = [&](bool answered) {
        finished += answered;
        return !tick || tick(finished);
    };
    const auto done = [&] { goOn = goOn && step(true); };
    quick.resize(size_t(paths.size()));
    std::vector<qsizetype> others;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (quick[size_t(i)]) {
            results[size_t(i)] = *std::move(quick[size_t(i)]);
            done();
        } else {
            others.push_back(i);
        }
    }
    if (local_) {
        for (const qsizetype i : others) {
            if (!goOn)
                break;
            results[size_t(i)] = local_->read(paths[i]);
            done();
        }
        return results;
    }
    if (!goOn)
        return results;
    const std::vector<std::optional<QByteArray>> answers = ask(paths, others, step);
    for (const qsizetype i : others)
        results[size_t(i)] = metadataFrom(answers[size_t(i)], paths[i]);
    return results;
}

std::vector<std::optional<QByteArray>> IsolatedPropertyReader::ask(const QStringList &paths,
                                                                   const std::vector<qsizetype> &which,
                                                                   const std::function<bool(bool answered)> &step)
{
    std::vector<std::optional<QByteArray>> answers(size_t(paths.size()));
    bool goOn = true;
    const auto done = [&] { goOn = goOn && (!step || step(true)); };
    QElapsedTimer sinceStep; // while no file is answered, the user may still stop
    sinceStep.start();
    for (size_t n = 0; n < which.size(); ++n)
        workers_[n % workers_.size()].pending.push_back(which[n]);
    // A worker still running from an earlier request takes these as well.
    const auto send = [&](Worker &worker) {
        if (!worker.process || worker.process->state() != QProcess::Running)
            worker.process = startWorker();
        QByteArray requests;
        for (qsizetype i : worker.pending)
            requests += requestFrame(paths[i]);
        if (worker.process)
            worker.process->write(requests);
        worker.sinceAnswer.start();
    };
    for (Worker &worker : workers_) {
        if (!worker.pending.empty())
            send(worker);
    }
    for (bool busy = true; busy;) {
        busy = false;
        if (step && sinceStep.elapsed() >= 50) {
            goOn = goOn && step(false);
            sinceStep.restart();
        }
        if (!goOn) {
            // Stopped: what the workers still have in hand is dropped with them.
            for (Worker &worker : workers_) {
                if (worker.pending.empty())
                    continue;
                worker.pending.clear();
                if (worker.process) {
                    worker.process->kill();
                    worker.process->waitForFinished(1000);
                }
                worker.process.reset();
            }
            break;
        }
        for (Worker &worker : workers_) {
            if (worker.pending.empty())
                continue;
            busy = true;
            QProcess *process = worker.process.get();
            if (std::optional<QByteArray> answer = process ? takeFrame(*process) : std::nullopt) {
                answers[size_t(worker.pending.front())] = std::move(answer);
                worker.pending.pop_front();
                worker.sinceAnswer.restart();
                done();
            } else if (!process || process->state() != QProcess::Running
                       || worker.sinceAnswer.elapsed() > kSecondsPerFile * 1000) {
                // Hung, crashed or out of memory: the file is given up on,
                // and the rest go to a new worker.
                giveUp(paths[worker.pending.front()]);
                worker.pending.pop_front();
                done();
                if (process) {
                    process->kill();
                    process->waitForFinished(1000);
                }
                worker.process.reset();
                if (!worker.pending.empty())
                    send(worker);
            } else {
                process->waitForReadyRead(5);
            }
        }
    }
    return answers;
}

} // namespace pelmora
