#include "platform/IsolatedReader.h"

#include "platform/FileSystem.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <sys/resource.h>

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

QString workerProgram()
{
    if (QCoreApplication::instance()) {
        const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/pelmora-reader");
        if (QFileInfo(beside).isExecutable())
            return beside;
    }
#ifdef PELMORA_READER_BUILT
    if (QFileInfo(QStringLiteral(PELMORA_READER_BUILT)).isExecutable())
        return QStringLiteral(PELMORA_READER_BUILT);
#endif
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

std::optional<QByteArray> IsolatedPropertyReader::ask(char kind, const QString &path)
{
    if (!worker_ || worker_->state() != QProcess::Running) {
        worker_ = std::make_unique<QProcess>();
        worker_->setProcessChannelMode(QProcess::SeparateChannels);
        worker_->setStandardErrorFile(QProcess::nullDevice());
        worker_->setChildProcessModifier([] {
            const rlimit memory{rlim_t(kMemoryLimit), rlim_t(kMemoryLimit)};
            ::setrlimit(RLIMIT_AS, &memory);
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
        });
        worker_->start(workerProgram(), {});
        if (!worker_->waitForStarted(5000))
            return std::nullopt;
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
            unreadable_ << QFileInfo(path).fileName();
            return std::nullopt;
        }
    }
    QByteArray line = worker_->readLine();
    line.chop(1);
    return line;
}

ShotProperties IsolatedPropertyReader::read(const QString &path)
{
    if (local_)
        return local_->read(path);
    ShotProperties result;
    const std::optional<QByteArray> answer = ask('p', path);
    if (!answer) {
        result.dateModified = fs::lastModified(path);
        return result;
    }
    const QByteArrayList fields = answer->split('\t');
    if (fields.size() != 6)
        return result;
    result.dateTaken = QDateTime::fromString(decoded(fields[0]), kDateFormat);
    result.dateOrigin = decoded(fields[1]);
    result.subSecond = fields[2].toDouble();
    result.dateModified = QDateTime::fromString(decoded(fields[3]), kDateFormat);
    result.cameraModel = decoded(fields[4]);
    result.length = decoded(fields[5]);
    return result;
}

QString IsolatedPropertyReader::cameraModel(const QString &path)
{
    return read(path).cameraModel;
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
