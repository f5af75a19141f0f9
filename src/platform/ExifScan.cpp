// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ExifScan.h"

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

namespace pelmora {

namespace {

constexpr std::uint16_t kTypeAscii = 2;
constexpr std::uint16_t kTypeLong = 4;
constexpr std::uint16_t kTypeIfd = 13;
constexpr std::uint16_t kTagMake = 0x010F;
constexpr std::uint16_t kTagModel = 0x0110;
constexpr std::uint16_t kTagExifIfd = 0x8769;
constexpr std::uint16_t kTagDateTimeOriginal = 0x9003;
constexpr std::uint16_t kTagDateTimeDigitized = 0x9004;
constexpr std::uint16_t kTagSubSecTimeOriginal = 0x9291;
constexpr std::uint16_t kTagOffsetTime = 0x9010;
constexpr std::uint16_t kTagOffsetTimeOriginal = 0x9011;
constexpr std::uint16_t kTagBodySerialNumber = 0xA431;
// Exiv2 reads no directory with more entries than this.
constexpr std::uint32_t kMaxEntries = 256;

std::uint16_t bigEndian16(QByteArrayView data, qsizetype at)
{
    return std::uint16_t(std::uint8_t(data[at]) << 8 | std::uint8_t(data[at + 1]));
}

class Tiff {
public:
    explicit Tiff(QByteArrayView data)
        : data_(data)
        , little_(data.size() >= 2 && data[0] == 'I')
    {
    }

    bool fits(std::uint64_t offset, std::uint64_t length) const
    {
        return offset <= std::uint64_t(data_.size()) && length <= std::uint64_t(data_.size()) - offset;
    }
    std::uint16_t u16(qsizetype at) const
    {
        const auto a = std::uint8_t(data_[at]), b = std::uint8_t(data_[at + 1]);
        return little_ ? std::uint16_t(b << 8 | a) : std::uint16_t(a << 8 | b);
    }
    std::uint32_t u32(qsizetype at) const
    {
        const std::uint32_t high = u16(at), low = u16(at + 2);
        return little_ ? (low << 16 | high) : (high << 16 | low);
    }

    struct Entry {
        std::uint16_t tag = 0;
        std::uint16_t type = 0;
        std::uint32_t count = 0;
        qsizetype at = 0; // of the entry itself
    };

    // The entries of the directory at `offset`; false when it does not fit
    // the data or has more entries than a reader accepts.
    bool directory(std::uint32_t offset, std::vector<Entry> &entries) const
    {
        if (!fits(offset, 2))
            return false;
        const std::uint32_t count = u16(qsizetype(offset));
        if (count > kMaxEntries || !fits(std::uint64_t(offset) + 2, std::uint64_t(count) * 12))
            return false;
        entries.clear();
        for (std::uint32_t i = 0; i < count; ++i) {
            const qsizetype at = qsizetype(offset) + 2 + qsizetype(i) * 12;
            entries.push_back({u16(at), u16(at + 2), u32(at + 4), at});
        }
        return true;
    }

    // A text tag's value, cut at its first NUL; nothing when the tag is not
    // text or its value lies outside the data.
    std::optional<QByteArray> text(const Entry &entry) const
    {
        if (entry.type != kTypeAscii)
            return std::nullopt;
        std::uint64_t offset = std::uint64_t(entry.at) + 8;
        if (entry.count > 4)
            offset = u32(entry.at + 8);
        // Exiv2 takes a value at offset 0, the header, as no value.
        if (offset == 0 || !fits(offset, entry.count))
            return std::nullopt;
        QByteArrayView value = data_.sliced(qsizetype(offset), qsizetype(entry.count));
        if (const qsizetype nul = value.indexOf('\0'); nul >= 0)
            value = value.first(nul);
        return value.toByteArray();
    }

private:
    QByteArrayView data_;
    bool little_;
};

// The first entry of each wanted tag into its field; false when one of them
// cannot be read as text.
bool readTexts(const Tiff &tiff, const std::vector<Tiff::Entry> &entries,
               std::initializer_list<std::pair<std::uint16_t, QByteArray *>> wanted)
{
    for (const auto &[tag, field] : wanted) {
        for (const Tiff::Entry &entry : entries) {
            if (entry.tag != tag)
                continue;
            const auto value = tiff.text(entry);
            if (!value)
                return false;
            *field = *value;
            break;
        }
    }
    return true;
}

} // namespace

std::optional<ByteRange> findJpegExif(QByteArrayView head)
{
    if (head.size() < 4 || std::uint8_t(head[0]) != 0xFF || std::uint8_t(head[1]) != 0xD8)
        return std::nullopt;
    qsizetype at = 2;
    while (at + 4 <= head.size()) {
        if (std::uint8_t(head[at]) != 0xFF)
            return std::nullopt;
        const std::uint8_t marker = std::uint8_t(head[at + 1]);
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) // picture data or its end: no Exif before it
            return std::nullopt;
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) { // markers without a length
            at += 2;
            continue;
        }
        const qsizetype length = bigEndian16(head, at + 2);
        if (length < 2)
            return std::nullopt;
        if (marker == 0xE1 && length >= 8 && at + 10 <= head.size()
            && head.sliced(at + 4, 6) == QByteArrayView("Exif\0\0", 6))
            return ByteRange{at + 10, length - 8};
        // Segments Exiv2 reads and may refuse, or after which it stops
        // looking: a comment, a frame header, an ICC profile, Photoshop data.
        const bool frameHeader = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (marker == 0xFE || frameHeader || marker == 0xE2 || marker == 0xED)
            return std::nullopt;
        at += 2 + length;
    }
    return std::nullopt;
}

std::optional<ExifDateFields> scanExifDates(QByteArrayView data)
{
    if (data.size() < 8)
        return std::nullopt;
    const bool little = data.first(2) == "II", big = data.first(2) == "MM";
    const Tiff tiff(data);
    if ((!little && !big) || tiff.u16(2) != 42)
        return std::nullopt;

    ExifDateFields fields;
    std::vector<Tiff::Entry> entries;
    const std::uint32_t ifd0Offset = tiff.u32(4);
    if (!tiff.directory(ifd0Offset, entries) || !readTexts(tiff, entries, {{kTagModel, &fields.model}, {kTagMake, &fields.make}}))
        return std::nullopt;
    std::optional<std::uint32_t> exifOffset;
    for (const Tiff::Entry &entry : entries) {
        if (entry.tag != kTagExifIfd)
            continue;
        if ((entry.type != kTypeLong && entry.type != kTypeIfd) || entry.count != 1)
            return std::nullopt;
        exifOffset = tiff.u32(entry.at + 8);
        break;
    }
    if (!exifOffset)
        return fields;
    // Exiv2 reads no directory twice: an Exif directory that is the first
    // one, or that another entry points at too, may be read as something else.
    if (*exifOffset == ifd0Offset)
        return std::nullopt;
    for (const Tiff::Entry &entry : entries) {
        if (entry.tag != kTagExifIfd && tiff.u32(entry.at + 8) == *exifOffset)
            return std::nullopt;
    }
    if (!tiff.directory(*exifOffset, entries)
        || !readTexts(tiff, entries,
                      {{kTagDateTimeOriginal, &fields.dateTimeOriginal},
                       {kTagDateTimeDigitized, &fields.dateTimeDigitized},
                       {kTagSubSecTimeOriginal, &fields.subSecTimeOriginal},
                       {kTagOffsetTime, &fields.offsetTime},
                       {kTagOffsetTimeOriginal, &fields.offsetTimeOriginal},
                       {kTagBodySerialNumber, &fields.bodySerialNumber}}))
        return std::nullopt;
    return fields;
}

} // namespace pelmora
