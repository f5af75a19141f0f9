// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/BoxCheck.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

namespace pelmora {

namespace {

constexpr int kDeepest = 24;         // real files nest about ten deep
constexpr int kMostBoxes = 200000;   // real files hold a few thousand
constexpr quint64 kHeaderSize = 8;

quint64 bigEndian(const uchar *bytes, int count)
{
    quint64 value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

// Boxes that hold other boxes, and how many bytes of their own come first.
int childOffset(const QByteArray &type)
{
    static const std::array<const char *, 18> containers = {
        "moov", "trak", "mdia", "minf", "stbl", "dinf", "udta", "edts", "mvex",
        "moof", "traf", "mfra", "iprp", "ipco", "grpl", "sinf", "schi", "tref"};
    for (const char *container : containers) {
        if (type == container)
            return 0;
    }
    return type == "meta" ? 4 : -1; // a full box: version and flags first
}

bool startsTheBoxFamily(const QByteArray &type)
{
    static const std::array<const char *, 9> firstBoxes = {"ftyp", "moov", "mdat", "free", "skip",
                                                           "wide", "pnot", "uuid", "meta"};
    return std::any_of(firstBoxes.begin(), firstBoxes.end(), [&](const char *box) { return type == box; });
}

struct Range {
    quint64 begin;
    quint64 end; // as the box that holds them claims it: past the file's end in a file cut short
    int depth;
};

// A file cut short (a copy that was interrupted) ends inside its last boxes,
// each inside the one before: those are checked as far as the file goes. A
// box that holds others claims no more than real ones do when it is cut.
constexpr quint64 kLongestCutContainer = 64 * 1024 * 1024;
// Bytes after the last box that are no box (a tool that padded the file).
constexpr quint64 kLongestPadding = 4096;

bool boxesFit(QFile &file)
{
    const quint64 size = quint64(file.size());
    std::vector<Range> pending{{0, std::numeric_limits<quint64>::max(), 0}};
    int boxes = 0;
    while (!pending.empty()) {
        const Range range = pending.back();
        pending.pop_back();
        const quint64 readable = std::min(range.end, size);
        quint64 at = range.begin;
        while (at + kHeaderSize <= readable) {
            if (++boxes > kMostBoxes)
                return false;
            uchar header[16];
            if (!file.seek(qint64(at)) || file.read(reinterpret_cast<char *>(header), 16) < 8)
                return false;
            quint64 length = bigEndian(header, 4);
            const QByteArray type(reinterpret_cast<const char *>(header + 4), 4);
            quint64 headerLength = kHeaderSize;
            if (length == 1) { // the length follows, in 64 bits
                length = bigEndian(header + 8, 8);
                headerLength = 16;
            } else if (length == 0) { // up to the end
                length = readable - at;
            }
            if (length < headerLength) {
                if (range.depth == 0 && at > 0 && size - at <= kLongestPadding)
                    break;
                return false;
            }
            if (length > range.end - at)
                return false; // more than the box that holds it
            int offset = childOffset(type);
            if (type == "meta") {
                // ISO's meta is a full box; QuickTime's holds its boxes at once:
                // where the handler box stands tells which.
                char inside[12] = {};
                file.seek(qint64(at + headerLength));
                file.read(inside, 12);
                offset = QByteArray(inside + 4, 4) == "hdlr" ? 0 : 4;
            }
            const bool cutShort = length > size - at;
            if (cutShort && ((range.depth == 0 && at == 0) || (offset >= 0 && length > kLongestCutContainer)))
                return false;
            if (offset >= 0) {
                if (range.depth + 1 > kDeepest)
                    return false;
                pending.push_back({at + headerLength + quint64(offset), at + length, range.depth + 1});
            }
            if (cutShort)
                break; // the last box the file holds at this level
            at += length;
        }
    }
    return true;
}

} // namespace

bool safeToRead(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A file of the box family starts with one of the boxes a file may start
    // with; four letters alone say nothing (a RAF starts "FUJIFILM", an XMP
    // sidecar "<?xpacket", an EPS "%!PS-Adobe").
    const QByteArray head = file.read(8);
    if (head.size() < 8 || !startsTheBoxFamily(head.mid(4, 4)))
        return true; // left to the libraries' own checks
    return boxesFit(file);
}

} // namespace pelmora
