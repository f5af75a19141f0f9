// SPDX-License-Identifier: GPL-3.0-or-later
// pelmora-reader: reads the metadata of one file per request, for a program
// that would rather lose this process than itself to a damaged file.
#include "platform/Clock.h"
#include "platform/IsolatedReader.h"
#include "platform/PropertyReader.h"

#include <QCoreApplication>
#include <QtEndian>

#include <cstdio>

int main(int argc, char *argv[])
{
    pelmora::settleLocalTimeZone();
    QCoreApplication app(argc, argv);
    pelmora::useUtf8FileNames();
    pelmora::PropertyReader reader;
    // Requests come one frame at a time: four bytes of length, then the request.
    for (;;) {
        unsigned char header[4];
        if (std::fread(header, 1, sizeof header, stdin) != sizeof header)
            return 0;
        const quint32 length = qFromBigEndian<quint32>(header);
        if (length > pelmora::kLongestReaderFrame)
            return 1;
        QByteArray request(qsizetype(length), Qt::Uninitialized);
        if (std::fread(request.data(), 1, length, stdin) != length)
            return 0;
        const QByteArray answer = pelmora::answerReaderRequest(reader, request);
        std::fwrite(answer.constData(), 1, size_t(answer.size()), stdout);
        std::fflush(stdout);
    }
}
