// SPDX-License-Identifier: GPL-3.0-or-later
#include "numbering/WorkbookTemplate.h"

#include <zip.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace pelmora::workbook {

namespace {

// A part that inflates beyond this is refused rather than read into memory;
// a template's parts are a few kilobytes.
constexpr qint64 kMaxPartBytes = 64 * 1024 * 1024;
// The last column of a worksheet: no heading row is wider.
constexpr qsizetype kMaxColumn = 16384;
// Headings are among a template's first strings: a larger index is damage,
// and would make the reader hold a whole string table to find it.
constexpr qsizetype kMaxSharedString = qsizetype(1) << 18;

// Workbook text carries characters XML cannot as "_x0001_" (and an
// underscore as "_x005F_").
QString unescaped(const QString &text)
{
    if (!text.contains(u"_x"))
        return text;
    static const QRegularExpression escape(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
    QString plain;
    qsizetype from = 0;
    for (auto matches = escape.globalMatch(text); matches.hasNext();) {
        const QRegularExpressionMatch match = matches.next();
        plain += QStringView(text).mid(from, match.capturedStart() - from);
        plain += QChar(char16_t(match.capturedView(1).toUShort(nullptr, 16)));
        from = match.capturedEnd();
    }
    plain += QStringView(text).mid(from);
    return plain;
}

// The next token. A document type declaration has no place in a workbook
// part and is the way in for entity tricks, so it ends the reading.
bool advance(QXmlStreamReader &xml)
{
    xml.readNext();
    if (xml.tokenType() == QXmlStreamReader::DTD)
        xml.raiseError(QStringLiteral("unexpected document type declaration"));
    return !xml.atEnd() && !xml.hasError();
}

// The text of a string item (<si> or <is>), positioned on its start: its
// runs joined, without the phonetic guides (<rPh>) Excel adds to Japanese
// text.
QString stringItem(QXmlStreamReader &xml)
{
    QString text;
    int depth = 0;
    int phoneticDepth = 0;
    while (advance(xml)) {
        if (xml.isStartElement()) {
            if (xml.name() == u"t") {
                const QString run = xml.readElementText();
                if (phoneticDepth == 0)
                    text += unescaped(run);
                continue;
            }
            ++depth;
            if (xml.name() == u"rPh" && phoneticDepth == 0)
                phoneticDepth = depth;
        } else if (xml.isEndElement()) {
            if (depth == 0)
                break;
            if (depth == phoneticDepth)
                phoneticDepth = 0;
            --depth;
        }
    }
    return text;
}

// 1-based column of a cell reference such as "AB1"; 0 when it is not one.
qsizetype columnOf(QStringView reference)
{
    qsizetype column = 0;
    qsizetype i = 0;
    for (; i < reference.size() && reference[i].isLetter(); ++i) {
        const char16_t letter = reference[i].toUpper().unicode();
        if (letter < u'A' || letter > u'Z')
            return 0;
        column = column * 26 + (letter - u'A' + 1);
        if (column > kMaxColumn)
            return 0;
    }
    return i > 0 && i < reference.size() ? column : 0;
}

// A heading cell as stored: its text, or the index of a shared string.
struct Cell {
    QString text;
    qsizetype sharedString = -1;
};

class TemplateFile {
public:
    bool open(const QString &path);
    std::optional<QStringList> headings(const QString &sheet);
    QString cause;

private:
    struct ZipDiscard {
        void operator()(zip_t *zip) const { zip_discard(zip); }
    };
    struct ZipFileClose {
        void operator()(zip_file_t *file) const { zip_fclose(file); }
    };

    std::optional<QByteArray> part(const QString &name);
    bool parsed(const QXmlStreamReader &xml, const QString &name);
    bool readWorkbook();
    bool readFirstRow(const QString &name, std::vector<Cell> &cells);
    bool readSharedStrings(qsizetype last);

    std::unique_ptr<zip_t, ZipDiscard> zip_;
    std::vector<std::pair<QString, QString>> sheets_; // name, relationship id
    std::map<QString, QString> targets_;              // relationship id -> part
    QString sharedStringsPart_;
    QStringList sharedStrings_;
};

bool TemplateFile::open(const QString &path)
{
    // Only a plain file: opening a pipe or a device would wait for ever.
    if (!QFileInfo(path).isFile()) {
        cause = QFileInfo::exists(path) ? QStringLiteral("not a file") : QStringLiteral("file not found");
        return false;
    }
    int code = 0;
    zip_.reset(zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code));
    if (!zip_) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        cause = QString::fromUtf8(zip_error_strerror(&error));
        zip_error_fini(&error);
        return false;
    }
    return readWorkbook();
}

// The bytes of one part, refused beyond kMaxPartBytes whatever size the
// archive claims for it.
std::optional<QByteArray> TemplateFile::part(const QString &name)
{
    const zip_int64_t index = zip_name_locate(zip_.get(), name.toUtf8().constData(), ZIP_FL_NOCASE);
    zip_stat_t stat;
    if (index < 0 || zip_stat_index(zip_.get(), zip_uint64_t(index), 0, &stat) != 0) {
        cause = QStringLiteral("%1 is missing").arg(name);
        return std::nullopt;
    }
    std::unique_ptr<zip_file_t, ZipFileClose> file(zip_fopen_index(zip_.get(), zip_uint64_t(index), 0));
    if (!file) {
        cause = QStringLiteral("%1: %2").arg(name, QString::fromUtf8(zip_strerror(zip_.get())));
        return std::nullopt;
    }
    QByteArray bytes;
    char buffer[64 * 1024];
    for (;;) {
        const zip_int64_t count = zip_fread(file.get(), buffer, sizeof buffer);
        if (count < 0) {
            cause = QStringLiteral("%1: %2").arg(name, QString::fromUtf8(zip_file_strerror(file.get())));
            return std::nullopt;
        }
        if (count == 0)
            return bytes;
        if (bytes.size() + count > kMaxPartBytes) {
            cause = QStringLiteral("%1 is too large").arg(name);
            return std::nullopt;
        }
        bytes.append(buffer, qsizetype(count));
    }
}

bool TemplateFile::parsed(const QXmlStreamReader &xml, const QString &name)
{
    if (!xml.hasError())
        return true;
    cause = QStringLiteral("%1, line %2: %3").arg(name).arg(xml.lineNumber()).arg(xml.errorString());
    return false;
}

// The sheets by name, and the parts the workbook's relationships point to.
bool TemplateFile::readWorkbook()
{
    const QString workbook = QStringLiteral("xl/workbook.xml");
    const auto sheets = part(workbook);
    if (!sheets)
        return false;
    QXmlStreamReader xml(*sheets);
    while (advance(xml)) {
        if (!xml.isStartElement() || xml.name() != u"sheet")
            continue;
        // r:id, in whichever relationship namespace the workbook uses.
        QString id;
        for (const QXmlStreamAttribute &attribute : xml.attributes())
            if (attribute.name() == u"id" && !attribute.namespaceUri().isEmpty())
                id = attribute.value().toString();
        sheets_.emplace_back(xml.attributes().value(QLatin1String("name")).toString(), id);
    }
    if (!parsed(xml, workbook))
        return false;
    const QString relationships = QStringLiteral("xl/_rels/workbook.xml.rels");
    const auto links = part(relationships);
    if (!links)
        return false;
    xml.clear();
    xml.addData(*links);
    while (advance(xml)) {
        if (!xml.isStartElement() || xml.name() != u"Relationship")
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (attributes.value(QLatin1String("TargetMode")) == u"External")
            continue;
        // A target is relative to xl/, or absolute from the archive's root.
        const QString target = attributes.value(QLatin1String("Target")).toString();
        const QString resolved = target.startsWith(u'/') ? QDir::cleanPath(target.mid(1))
                                                         : QDir::cleanPath(QStringLiteral("xl/") + target);
        targets_[attributes.value(QLatin1String("Id")).toString()] = resolved;
        if (attributes.value(QLatin1String("Type")).endsWith(u"/sharedStrings"))
            sharedStringsPart_ = resolved;
    }
    return parsed(xml, relationships);
}

// The cells of the sheet's first row; none when the sheet starts lower.
bool TemplateFile::readFirstRow(const QString &name, std::vector<Cell> &cells)
{
    const auto bytes = part(name);
    if (!bytes)
        return false;
    QXmlStreamReader xml(*bytes);
    qsizetype column = 0; // of the last cell read, 1-based
    while (advance(xml)) {
        if (xml.isEndElement() && xml.name() == u"row")
            break;
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"row") {
            const QStringView number = xml.attributes().value(QLatin1String("r"));
            if (!number.isEmpty() && number != u"1")
                break;
        } else if (xml.name() == u"c") {
            const QXmlStreamAttributes attributes = xml.attributes();
            const QStringView reference = attributes.value(QLatin1String("r"));
            column = reference.isEmpty() ? column + 1 : columnOf(reference);
            if (column < 1 || column > kMaxColumn) {
                xml.raiseError(QStringLiteral("bad cell reference"));
                break;
            }
            const bool shared = attributes.value(QLatin1String("t")) == u"s";
            Cell cell;
            while (advance(xml) && !(xml.isEndElement() && xml.name() == u"c")) {
                if (!xml.isStartElement())
                    continue;
                if (xml.name() == u"v")
                    cell.text = xml.readElementText();
                else if (xml.name() == u"is")
                    cell.text = stringItem(xml);
                else
                    xml.skipCurrentElement(); // a formula: its result is in <v>
            }
            if (shared && !cell.text.isEmpty()) {
                bool ok = false;
                cell.sharedString = cell.text.toLongLong(&ok);
                if (!ok || cell.sharedString < 0 || cell.sharedString >= kMaxSharedString) {
                    xml.raiseError(QStringLiteral("bad shared string index"));
                    break;
                }
            }
            if (cell.text.isEmpty())
                continue;
            if (column > qsizetype(cells.size()))
                cells.resize(size_t(column));
            cells[size_t(column - 1)] = cell;
        }
    }
    return parsed(xml, name);
}

// The shared strings up to index `last`.
bool TemplateFile::readSharedStrings(qsizetype last)
{
    if (sharedStrings_.size() > last)
        return true;
    sharedStrings_.clear();
    const auto bytes = sharedStringsPart_.isEmpty() ? std::nullopt : part(sharedStringsPart_);
    if (!bytes) {
        if (sharedStringsPart_.isEmpty())
            cause = QStringLiteral("no shared strings");
        return false;
    }
    QXmlStreamReader xml(*bytes);
    while (sharedStrings_.size() <= last && advance(xml))
        if (xml.isStartElement() && xml.name() == u"si")
            sharedStrings_.append(stringItem(xml));
    if (!parsed(xml, sharedStringsPart_))
        return false;
    if (sharedStrings_.size() <= last) {
        cause = QStringLiteral("%1: bad shared string index").arg(sharedStringsPart_);
        return false;
    }
    return true;
}

std::optional<QStringList> TemplateFile::headings(const QString &sheet)
{
    const auto named = std::find_if(sheets_.begin(), sheets_.end(), [&](const auto &entry) {
        return entry.first.compare(sheet, Qt::CaseInsensitive) == 0; // as Excel matches sheet names
    });
    if (named == sheets_.end()) {
        cause = QStringLiteral("no sheet \"%1\"").arg(sheet);
        return std::nullopt;
    }
    const auto target = targets_.find(named->second);
    if (target == targets_.end()) {
        cause = QStringLiteral("sheet \"%1\" has no part").arg(sheet);
        return std::nullopt;
    }
    std::vector<Cell> cells;
    if (!readFirstRow(target->second, cells))
        return std::nullopt;
    qsizetype last = -1;
    for (const Cell &cell : cells)
        last = std::max(last, cell.sharedString);
    if (last >= 0 && !readSharedStrings(last))
        return std::nullopt;
    QStringList texts;
    for (const Cell &cell : cells)
        texts.append(cell.sharedString >= 0 ? sharedStrings_.at(cell.sharedString) : cell.text);
    return texts;
}

} // namespace

std::optional<TemplateHeadings> readTemplateHeadings(const QString &path, Error *error)
{
    TemplateFile file;
    std::optional<QStringList> files;
    std::optional<QStringList> folders;
    if (file.open(path) && (files = file.headings(QStringLiteral("Files")))
        && (folders = file.headings(QStringLiteral("Folders"))))
        return TemplateHeadings{*std::move(files), *std::move(folders)};
    *error = Error{Failure::Kind::Unreadable, path, 0, 0, file.cause};
    return std::nullopt;
}

} // namespace pelmora::workbook
