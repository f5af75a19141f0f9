#include "platform/IsolatedReader.h"

#include "platform/FileSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <deque>
#include <thread>

#include <csignal>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace pelmora {

namespace {

QByteArray encoded(const QString &text)
{
    return QUrl::toPercentEncoding(text);
}

QString decoded(const QByteArray &field)
{
    return QUrl::fromPercentEncoding(field);
}

const QString kDateFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

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
    const QString path = decoded(request.mid(2));
    QByteArrayList fields;
    if (request.startsWith("p\t")) {
        const ShotProperties p = reader.read(path);
        fields = {encoded(p.dateTaken.toString(kDateFormat)), encoded(p.dateOrigin), QByteArray::number(p.subSecond),
                  encoded(p.dateModified.toString(kDateFormat)), encoded(p.cameraModel), encoded(p.length)};
    } else if (request.startsWith("c\t")) {
        for (const auto &[number, text] : reader.columns(path))
            fields << QByteArray::number(number) + '=' + encoded(text);
    }
    return fields.join('\t');
}

IsolatedPropertyReader::IsolatedPropertyReader()
{
    if (workerProgram().isEmpty())
        local_ = std::make_unique<PropertyReader>();
}

IsolatedPropertyReader::~IsolatedPropertyReader()
{
    if (worker_) {
        worker_->closeWriteChannel();
        if (!worker_->waitForFinished(1000))
            worker_->kill();
        worker_->waitForFinished(1000);
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

std::optional<QByteArray> IsolatedPropertyReader::ask(char kind, const QString &path)
{
    if (!worker_ || worker_->state() != QProcess::Running) {
        worker_ = startWorker();
        if (!worker_) {
            giveUp(path);
            return std::nullopt;
        }
    }
    worker_->write(QByteArray(1, kind) + '\t' + encoded(path) + '\n');
    QElapsedTimer clock;
    clock.start();
    while (!worker_->canReadLine()) {
        const qint64 left = kSecondsPerFile * 1000 - clock.elapsed();
        if (left <= 0 || worker_->state() != QProcess::Running || !worker_->waitForReadyRead(int(left))) {
            if (worker_->canReadLine())
                break;
            worker_->kill(); // hung, crashed or out of memory: the next file gets a new worker
            worker_->waitForFinished(1000);
            worker_.reset();
            giveUp(path);
            return std::nullopt;
        }
    }
    QByteArray line = worker_->readLine();
    line.chop(1);
    return line;
}

namespace {

// A worker's answer to "p"; none given: empty values and the file time.
ShotProperties propertiesFrom(const std::optional<QByteArray> &answer, const QString &path)
{
    ShotProperties result;
    const QByteArrayList fields = answer ? answer->split('\t') : QByteArrayList();
    if (fields.size() != 6) {
        result.dateModified = fs::lastModified(path);
        return result;
    }
    result.dateTaken = QDateTime::fromString(decoded(fields[0]), kDateFormat);
    result.dateOrigin = decoded(fields[1]);
    result.subSecond = fields[2].toDouble();
    result.dateModified = QDateTime::fromString(decoded(fields[3]), kDateFormat);
    result.cameraModel = decoded(fields[4]);
    result.length = decoded(fields[5]);
    return result;
}

} // namespace

ShotProperties IsolatedPropertyReader::read(const QString &path)
{
    if (local_)
        return local_->read(path);
    if (std::optional<ShotProperties> quick = readJpegQuickly(path))
        return *std::move(quick);
    return propertiesFrom(ask('p', path), path);
}

namespace {

// The JPEGs whose dates Pelmora's own scan reads, read here on every core:
// only the other files go to the workers, which cost a process each.
std::vector<std::optional<ShotProperties>> readJpegsQuickly(const QStringList &paths)
{
    std::vector<std::optional<ShotProperties>> results(size_t(paths.size()));
    const qsizetype threads = std::clamp<qsizetype>(QThread::idealThreadCount(), 1, 8);
    const qsizetype share = (paths.size() + threads - 1) / threads;
    std::vector<std::thread> readers;
    for (qsizetype from = 0; from < paths.size(); from += share) {
        readers.emplace_back([&, from] {
            for (qsizetype i = from; i < std::min(paths.size(), from + share); ++i)
                results[size_t(i)] = readJpegQuickly(paths[i]);
        });
    }
    for (std::thread &reader : readers)
        reader.join();
    return results;
}

} // namespace

std::vector<ShotProperties> IsolatedPropertyReader::readAll(const QStringList &paths,
                                                             const std::function<void()> &tick)
{
    std::vector<ShotProperties> results(size_t(paths.size()));
    const auto done = [&] {
        if (tick)
            tick();
    };
    if (local_) {
        for (qsizetype i = 0; i < paths.size(); ++i, done())
            results[size_t(i)] = local_->read(paths[i]);
        return results;
    }
    std::vector<std::optional<ShotProperties>> quick = readJpegsQuickly(paths);
    std::vector<qsizetype> others;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (quick[size_t(i)]) {
            results[size_t(i)] = *std::move(quick[size_t(i)]);
            done();
        } else {
            others.push_back(i);
        }
    }
    // Every worker is sent all of its files at once and answers in order:
    // when one dies or falls silent, the first file it has not answered is
    // the one that did it, and the rest go to a new worker.
    struct Worker {
        std::unique_ptr<QProcess> process;
        std::deque<qsizetype> pending;
        QElapsedTimer sinceAnswer;
    };
    std::vector<Worker> workers(size_t(std::clamp(QThread::idealThreadCount(), 1, 4)));
    for (size_t n = 0; n < others.size(); ++n)
        workers[n % workers.size()].pending.push_back(others[n]);
    const auto send = [&](Worker &worker) {
        worker.process = startWorker();
        QByteArray requests;
        for (qsizetype i : worker.pending)
            requests += "p\t" + encoded(paths[i]) + '\n';
        if (worker.process)
            worker.process->write(requests);
        worker.sinceAnswer.start();
    };
    for (Worker &worker : workers) {
        if (!worker.pending.empty())
            send(worker);
    }
    for (bool busy = true; busy;) {
        busy = false;
        for (Worker &worker : workers) {
            if (worker.pending.empty())
                continue;
            busy = true;
            QProcess *process = worker.process.get();
            if (process && process->canReadLine()) {
                QByteArray line = process->readLine();
                line.chop(1);
                const qsizetype i = worker.pending.front();
                worker.pending.pop_front();
                results[size_t(i)] = propertiesFrom(line, paths[i]);
                worker.sinceAnswer.restart();
                done();
            } else if (!process || process->state() != QProcess::Running
                       || worker.sinceAnswer.elapsed() > kSecondsPerFile * 1000) {
                const qsizetype i = worker.pending.front();
                worker.pending.pop_front();
                results[size_t(i)] = propertiesFrom(std::nullopt, paths[i]);
                giveUp(paths[i]);
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
    for (Worker &worker : workers) {
        if (worker.process) {
            worker.process->closeWriteChannel();
            if (!worker.process->waitForFinished(1000))
                worker.process->kill();
        }
    }
    return results;
}

std::map<int, QString> IsolatedPropertyReader::columns(const QString &path)
{
    if (local_)
        return local_->columns(path);
    std::map<int, QString> columns;
    const std::optional<QByteArray> answer = ask('c', path);
    if (!answer)
        return columns;
    for (const QByteArray &field : answer->split('\t')) {
        const qsizetype equals = field.indexOf('=');
        if (equals > 0)
            columns[field.left(equals).toInt()] = decoded(field.mid(equals + 1));
    }
    return columns;
}

} // namespace pelmora
