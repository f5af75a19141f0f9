// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AvchdDate.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace pelmora {

namespace {

constexpr qsizetype kPacket = 188;
constexpr char kSync = 0x47;

// The user-data identifier of the camera's metadata block, then its name.
const QByteArray kMdpm = QByteArray::fromHex("17ee8c60f84d11d98cd60800200c9a66") + "MDPM";

std::uint8_t byteAt(QByteArrayView data, qsizetype at)
{
    return std::uint8_t(data[at]);
}

// Where the first packet starts and how far apart packets are: 188 bytes
// (.mts from a stream), or 192 with a 4-byte time stamp before each (BDAV).
std::optional<std::pair<qsizetype, qsizetype>> packetLayout(QByteArrayView data)
{
    for (const auto &[first, stride] : {std::pair<qsizetype, qsizetype>{0, 188}, {4, 192}}) {
        if (data.size() >= first + stride + 1 && data[first] == kSync && data[first + stride] == kSync)
            return std::pair(first, stride);
    }
    return std::nullopt;
}

// The payload of each packet: nothing when the packet holds none.
QByteArrayView payloadOf(QByteArrayView packet)
{
    const int adaptation = (byteAt(packet, 3) >> 4) & 3;
    qsizetype start = 4;
    if (adaptation == 2 || adaptation == 0)
        return {};
    if (adaptation == 3)
        start += 1 + byteAt(packet, 4);
    return start < kPacket ? packet.sliced(start, kPacket - start) : QByteArrayView();
}

int pidOf(QByteArrayView packet)
{
    return (byteAt(packet, 1) & 0x1F) << 8 | byteAt(packet, 2);
}

// The payloads of the first video stream, joined, as far as `data` goes.
QByteArray videoStream(QByteArrayView data)
{
    const auto layout = packetLayout(data);
    if (!layout)
        return {};
    const auto [first, stride] = *layout;
    int videoPid = -1;
    QByteArray joined;
    for (qsizetype at = first; at + kPacket <= data.size(); at += stride) {
        const QByteArrayView packet = data.sliced(at, kPacket);
        if (packet[0] != kSync)
            break;
        const QByteArrayView payload = payloadOf(packet);
        const bool unitStart = byteAt(packet, 1) & 0x40;
        if (videoPid < 0 && unitStart && payload.size() >= 4 && payload.first(3) == QByteArrayView("\0\0\1", 3)
            && (byteAt(payload, 3) & 0xF0) == 0xE0)
            videoPid = pidOf(packet);
        if (videoPid >= 0 && pidOf(packet) == videoPid)
            joined += payload;
    }
    return joined;
}

// H.264 escapes a 0, 0 followed by a byte of 3 or less with a 3 between.
QByteArray withoutEscapes(const QByteArray &stream)
{
    QByteArray plain;
    plain.reserve(stream.size());
    int zeros = 0;
    for (const char byte : stream) {
        if (zeros >= 2 && byte == 3) {
            zeros = 0;
            continue;
        }
        zeros = byte == 0 ? zeros + 1 : 0;
        plain += byte;
    }
    return plain;
}

std::optional<int> bcd(std::uint8_t value)
{
    if ((value >> 4) > 9 || (value & 0x0F) > 9)
        return std::nullopt;
    return (value >> 4) * 10 + (value & 0x0F);
}

} // namespace

QDateTime avchdRecordingDate(QByteArrayView head, QString *offset)
{
    const QByteArray stream = withoutEscapes(videoStream(head));
    const qsizetype block = stream.indexOf(kMdpm);
    if (block < 0 || block + kMdpm.size() >= stream.size())
        return {};
    // A count, then that many entries of a tag and four bytes.
    const QByteArrayView entries = QByteArrayView(stream).sliced(block + kMdpm.size());
    const int count = byteAt(entries, 0);
    std::optional<QByteArrayView> dateEntry, timeEntry;
    for (int i = 0; i < count && 1 + 5 * (i + 1) <= entries.size(); ++i) {
        const QByteArrayView entry = entries.sliced(1 + 5 * i, 5);
        if (byteAt(entry, 0) == 0x18 && !dateEntry)
            dateEntry = entry;
        else if (byteAt(entry, 0) == 0x19 && !timeEntry)
            timeEntry = entry;
    }
    if (!dateEntry || !timeEntry)
        return {};
    // Date: zone, century, year, month; time: day, hour, minute, second.
    const auto century = bcd(byteAt(*dateEntry, 2)), year = bcd(byteAt(*dateEntry, 3)),
               month = bcd(byteAt(*dateEntry, 4)), day = bcd(byteAt(*timeEntry, 1)),
               hour = bcd(byteAt(*timeEntry, 2)), minute = bcd(byteAt(*timeEntry, 3)),
               second = bcd(byteAt(*timeEntry, 4));
    if (!century || !year || !month || !day || !hour || !minute || !second)
        return {};
    const QDate date(*century * 100 + *year, *month, *day);
    const QTime time(*hour, *minute, *second);
    if (!date.isValid() || !time.isValid())
        return {};
    if (offset) {
        // Zone byte: bit 6 summer time, bit 5 the sign, bits 4 to 1 the hours,
        // bit 0 half an hour.
        const std::uint8_t zone = byteAt(*dateEntry, 1);
        const int minutes = ((zone >> 1) & 0x0F) * 60 + (zone & 1) * 30;
        *offset = QStringLiteral("%1%2:%3")
                      .arg(QChar(zone & 0x20 ? u'-' : u'+'))
                      .arg(minutes / 60, 2, 10, QChar(u'0'))
                      .arg(minutes % 60, 2, 10, QChar(u'0'));
        if (zone & 0x40)
            *offset += QStringLiteral(" DST");
    }
    return QDateTime(date, time);
}

} // namespace pelmora
