// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the metadata reader the worker process runs, fed any
// bytes as a file. Built and run by tools/fuzz-reader.
#include "platform/PropertyReader.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir folder;
    static const bool utf8 = (pelmora::useUtf8FileNames(), true);
    static pelmora::PropertyReader reader;
    const QString path = folder.filePath(QStringLiteral("input"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();
    reader.read(path);
    reader.columns(path);
    return 0;
}
