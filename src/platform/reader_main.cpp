// pelmora-reader: reads the metadata of one file per request line, for a
// program that would rather lose this process than itself to a damaged file.
#include "platform/Clock.h"
#include "platform/IsolatedReader.h"
#include "platform/PropertyReader.h"

#include <QCoreApplication>

#include <cstdio>
#include <string>

int main(int argc, char *argv[])
{
    pelmora::settleLocalTimeZone();
    QCoreApplication app(argc, argv);
    pelmora::PropertyReader reader;
    char *line = nullptr;
    size_t capacity = 0;
    ssize_t length;
    while ((length = ::getline(&line, &capacity, stdin)) > 0) {
        QByteArray request(line, length);
        if (request.endsWith('\n'))
            request.chop(1);
        const QByteArray answer = pelmora::answerReaderRequest(reader, request) + '\n';
        std::fwrite(answer.constData(), 1, size_t(answer.size()), stdout);
        std::fflush(stdout);
    }
    std::free(line);
    return 0;
}
