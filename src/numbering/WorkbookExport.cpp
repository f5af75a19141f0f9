#include "numbering/WorkbookExport.h"

#include "platform/DataFolder.h"

#include <xlsxwriter.h>
#include <zip.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <map>
#include <memory>
#include <unistd.h>
#include <utility>

namespace pelmora::workbook {

QString templateFileIn(const QString &dataFolder)
{
    return dataFolder + u'/' + kWorkbookTemplateName;
}

QString outputName(const QDateTime &now)
{
    return now.toString(QStringLiteral("yyMMdd")) + QStringLiteral("-File_Name_ID-")
        + now.toString(QStringLiteral("HHmmss")) + QStringLiteral(".xlsx");
}

namespace {

// Workbooks come from anywhere: a part that inflates beyond this, or a sheet
// or string table with more entries than this, is refused rather than read
// into memory. Both are far above what a workbook of a whole drive holds.
constexpr qint64 kMaxPartBytes = 64 * 1024 * 1024;
constexpr qsizetype kMaxItems = qsizetype(1) << 22;
// The largest row and column numbers a worksheet can have.
constexpr qint64 kMaxRow = 1048576;
constexpr qsizetype kMaxColumn = 16384;

const QString kFilesSheet = QStringLiteral("Files");
const QString kFoldersSheet = QStringLiteral("Folders");

// Workbook text carries characters XML cannot, such as control characters,
// as "_x0001_", and an underscore that would start such a sequence as
// "_x005F_". libxlsxwriter writes the first kind; the second is ours to write,
// or a file named "trip_x2021_.jpg" would read as "trip‡.jpg".
const QRegularExpression kEscape(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
const QRegularExpression kUnderscoreToEscape(QStringLiteral("_(?=x[0-9A-Fa-f]{4}_)"));

QString escaped(const QString &text)
{
    return text.contains(u"_x") ? QString(text).replace(kUnderscoreToEscape, QStringLiteral("_x005F_")) : text;
}

QString unescaped(const QString &text)
{
    if (!text.contains(u"_x"))
        return text;
    QString plain;
    qsizetype from = 0;
    for (auto matches = kEscape.globalMatch(text); matches.hasNext();) {
        const QRegularExpressionMatch match = matches.next();
        plain += QStringView(text).mid(from, match.capturedStart() - from);
        plain += QChar(char16_t(match.capturedView(1).toUShort(nullptr, 16)));
        from = match.capturedEnd();
    }
    plain += QStringView(text).mid(from);
    return plain;
}

// ---------------------------------------------------------------- reading

struct SheetRow {
    qint64 number = 0; // 1 for the first row of the sheet
    QStringList cells;
};

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

// The relationship id of an element (r:id): an attribute "id" in whichever
// relationship namespace the workbook uses (transitional or strict).
QString relationshipId(const QXmlStreamAttributes &attributes)
{
    for (const QXmlStreamAttribute &attribute : attributes)
        if (attribute.name() == u"id" && !attribute.namespaceUri().isEmpty())
            return attribute.value().toString();
    return {};
}

// 1-based column of a cell reference such as "AB12"; 0 when it is not one.
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

// An .xlsx file open for reading: its sheets by name and its shared strings.
class XlsxFile {
public:
    bool open(const QString &path);
    // The non-empty rows of a sheet up to row `lastRow`.
    std::optional<std::vector<SheetRow>> rows(const QString &sheet, qint64 lastRow = kMaxRow);
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
    bool readSheetNames();
    bool readRelationships();
    bool readSharedStrings(const QString &name);
    bool readRows(const QByteArray &bytes, const QString &name, qint64 lastRow, std::vector<SheetRow> *rows);

    std::unique_ptr<zip_t, ZipDiscard> zip_;
    std::vector<std::pair<QString, QString>> sheets_; // name, relationship id
    std::map<QString, QString> targets_;              // relationship id -> part
    QString sharedStringsPart_;
    QStringList sharedStrings_;
};

bool XlsxFile::open(const QString &path)
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
    return readSheetNames() && readRelationships()
        && (sharedStringsPart_.isEmpty() || readSharedStrings(sharedStringsPart_));
}

// The bytes of one part, refused beyond kMaxPartBytes whatever size the
// archive claims for it.
std::optional<QByteArray> XlsxFile::part(const QString &name)
{
    const zip_int64_t index = zip_name_locate(zip_.get(), name.toUtf8().constData(), ZIP_FL_NOCASE);
    zip_stat_t stat;
    if (index < 0 || zip_stat_index(zip_.get(), zip_uint64_t(index), 0, &stat) != 0) {
        cause = QStringLiteral("%1 is missing").arg(name);
        return std::nullopt;
    }
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > zip_uint64_t(kMaxPartBytes)) {
        cause = QStringLiteral("%1 is too large").arg(name);
        return std::nullopt;
    }
    std::unique_ptr<zip_file_t, ZipFileClose> file(zip_fopen_index(zip_.get(), zip_uint64_t(index), 0));
    if (!file) {
        cause = QStringLiteral("%1: %2").arg(name, QString::fromUtf8(zip_strerror(zip_.get())));
        return std::nullopt;
    }
    QByteArray bytes;
    if (stat.valid & ZIP_STAT_SIZE)
        bytes.reserve(qsizetype(stat.size));
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

bool XlsxFile::parsed(const QXmlStreamReader &xml, const QString &name)
{
    if (!xml.hasError())
        return true;
    cause = QStringLiteral("%1, line %2: %3").arg(name).arg(xml.lineNumber()).arg(xml.errorString());
    return false;
}

bool XlsxFile::readSheetNames()
{
    const QString name = QStringLiteral("xl/workbook.xml");
    const auto bytes = part(name);
    if (!bytes)
        return false;
    QXmlStreamReader xml(*bytes);
    while (advance(xml))
        if (xml.isStartElement() && xml.name() == u"sheet")
            sheets_.emplace_back(xml.attributes().value(QLatin1String("name")).toString(),
                                 relationshipId(xml.attributes()));
    return parsed(xml, name);
}

bool XlsxFile::readRelationships()
{
    const QString name = QStringLiteral("xl/_rels/workbook.xml.rels");
    const auto bytes = part(name);
    if (!bytes)
        return false;
    QXmlStreamReader xml(*bytes);
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
    return parsed(xml, name);
}

bool XlsxFile::readSharedStrings(const QString &name)
{
    const auto bytes = part(name);
    if (!bytes)
        return false;
    QXmlStreamReader xml(*bytes);
    while (advance(xml)) {
        if (!xml.isStartElement() || xml.name() != u"si")
            continue;
        if (sharedStrings_.size() == kMaxItems)
            xml.raiseError(QStringLiteral("too many strings"));
        else
            sharedStrings_.append(stringItem(xml));
    }
    return parsed(xml, name);
}

std::optional<std::vector<SheetRow>> XlsxFile::rows(const QString &sheet, qint64 lastRow)
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
    const auto bytes = part(target->second);
    if (!bytes)
        return std::nullopt;
    std::vector<SheetRow> rows;
    if (!readRows(*bytes, target->second, lastRow, &rows))
        return std::nullopt;
    return rows;
}

bool XlsxFile::readRows(const QByteArray &bytes, const QString &name, qint64 lastRow, std::vector<SheetRow> *rows)
{
    QXmlStreamReader xml(bytes);
    SheetRow row;
    qsizetype column = 0; // of the last cell read, 1-based
    qsizetype cellCount = 0;
    while (advance(xml)) {
        if (xml.isEndElement() && xml.name() == u"row") {
            if (!row.cells.isEmpty())
                rows->push_back(std::move(row));
            row.cells.clear();
            continue;
        }
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"row") {
            const QXmlStreamAttributes attributes = xml.attributes();
            const QStringView number = attributes.value(QLatin1String("r"));
            const qint64 next = number.isEmpty() ? row.number + 1 : number.toLongLong();
            if (next < 1 || next > kMaxRow) {
                xml.raiseError(QStringLiteral("bad row number"));
                break;
            }
            if (next > lastRow)
                break;
            row.number = next;
            column = 0;
        } else if (xml.name() == u"c") {
            const QXmlStreamAttributes attributes = xml.attributes();
            const QStringView reference = attributes.value(QLatin1String("r"));
            column = reference.isEmpty() ? column + 1 : columnOf(reference);
            if (column < 1 || column > kMaxColumn) {
                xml.raiseError(QStringLiteral("bad cell reference"));
                break;
            }
            const QString type = attributes.value(QLatin1String("t")).toString();
            QString value;
            while (advance(xml) && !(xml.isEndElement() && xml.name() == u"c")) {
                if (!xml.isStartElement())
                    continue;
                if (xml.name() == u"v")
                    value = xml.readElementText();
                else if (xml.name() == u"is")
                    value = stringItem(xml);
                else
                    xml.skipCurrentElement(); // a formula: its result is in <v>
            }
            if (type == u"s" && !value.isEmpty()) {
                bool ok = false;
                const qsizetype index = value.toLongLong(&ok);
                if (!ok || index < 0 || index >= sharedStrings_.size()) {
                    xml.raiseError(QStringLiteral("bad shared string index"));
                    break;
                }
                value = sharedStrings_.at(index);
            }
            if (value.isEmpty())
                continue;
            const qsizetype at = column - 1;
            if (at >= row.cells.size()) {
                cellCount += at + 1 - row.cells.size();
                if (cellCount > kMaxItems) {
                    xml.raiseError(QStringLiteral("too many cells"));
                    break;
                }
                row.cells.resize(at + 1);
            }
            row.cells[at] = value;
        }
    }
    return parsed(xml, name);
}

// Row `number`'s cells of a sheet (empty when the row is).
std::optional<QStringList> rowOf(XlsxFile &file, const QString &sheet, qint64 number)
{
    const auto rows = file.rows(sheet, number);
    if (!rows)
        return std::nullopt;
    return !rows->empty() && rows->back().number == number ? rows->back().cells : QStringList();
}

// ---------------------------------------------------------------- writing

// A file of a fresh name beside the target, created as any new file is
// (permissions from the umask, unlike a private temporary file), and removed
// again unless it was renamed into place.
class PartFile {
public:
    explicit PartFile(const QString &target) : target_(target) {}
    ~PartFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!path_.isEmpty() && !renamed_)
            ::unlink(QFile::encodeName(path_).constData());
    }
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;

    bool create(QString *cause)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString path = QStringLiteral("%1.part-%2")
                                     .arg(target_)
                                     .arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
            fd_ = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0) {
                // Held while it is written: a lock nobody holds marks the
                // leftover of an export that was killed.
                ::flock(fd_, LOCK_EX | LOCK_NB);
                path_ = path;
                return true;
            }
            if (errno != EEXIST)
                break;
        }
        *cause = qt_error_string(errno);
        return false;
    }
    const QString &path() const { return path_; }

    // Makes sure the bytes are on the disk before the name is, so that a
    // crash never leaves an empty workbook under the target's name.
    bool renameIntoPlace(QString *cause)
    {
        const int fd = std::exchange(fd_, -1);
        int failure = ::fsync(fd) == 0 ? 0 : errno;
        if (::close(fd) != 0 && failure == 0)
            failure = errno;
        if (failure == 0
            && std::rename(QFile::encodeName(path_).constData(), QFile::encodeName(target_).constData()) != 0)
            failure = errno;
        if (failure == 0) {
            renamed_ = true;
            return true;
        }
        *cause = qt_error_string(failure);
        return false;
    }

private:
    QString target_;
    QString path_;
    int fd_ = -1;
    bool renamed_ = false;
};

// Removes what killed exports left in the folder: files named as their
// workbooks are while written, that no running export holds.
void removeLeftoverParts(const QString &folder)
{
    static const QRegularExpression leftover(QRegularExpression::anchoredPattern(
        QStringLiteral("[0-9]{6}-File_Name_ID-[0-9]{6}\\.xlsx\\.part-[0-9a-f]{8}")));
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.xlsx.part-*")}, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        if (!leftover.match(name).hasMatch())
            continue;
        const QByteArray path = QFile::encodeName(QDir(folder).filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat opened {}, named {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)
            && ::lstat(path.constData(), &named) == 0 && named.st_ino == opened.st_ino && named.st_dev == opened.st_dev)
            ::unlink(path.constData());
        ::close(fd);
    }
}

struct Book {
    struct Free {
        void operator()(lxw_workbook *book) const { lxw_workbook_free(book); }
    };
    std::unique_ptr<lxw_workbook, Free> book;
    lxw_error error = LXW_NO_ERROR;

    void check(lxw_error result)
    {
        if (error == LXW_NO_ERROR)
            error = result;
    }
    void text(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t column, const QString &value)
    {
        check(worksheet_write_string(sheet, row, column, escaped(value).toUtf8().constData(), nullptr));
    }
    void headings(lxw_worksheet *sheet, const QStringList &cells)
    {
        for (qsizetype column = 0; column < cells.size(); ++column)
            text(sheet, 0, lxw_col_t(column), cells.at(column));
    }
};

// An Excel date cell, or an empty one for an unknown date or one Excel
// cannot show (before 1900 or after 9999).
void date(Book &book, lxw_worksheet *sheet, lxw_row_t row, lxw_col_t column, const QDateTime &when, lxw_format *format)
{
    const QDate day = when.date();
    if (!when.isValid() || day.year() < 1900 || day.year() > 9999) {
        book.check(worksheet_write_blank(sheet, row, column, format));
        return;
    }
    const QTime time = when.time();
    lxw_datetime value{day.year(), day.month(), day.day(), time.hour(), time.minute(),
                       time.second() + time.msec() / 1000.0};
    book.check(worksheet_write_datetime(sheet, row, column, &value, format));
}

} // namespace

std::optional<Error> write(const QString &templatePath, const std::vector<FileRow> &files,
                           const std::vector<FolderRow> &folders, const QString &target, const RowProgress &progress)
{
    constexpr lxw_row_t kRowsPerReport = 250;
    const auto report = [&](Sheet sheet, lxw_row_t row) {
        if (progress && row % kRowsPerReport == 1)
            progress(sheet, qsizetype(row));
    };
    XlsxFile source;
    if (!source.open(templatePath))
        return Error{templatePath, source.cause};
    const auto fileHeadings = rowOf(source, kFilesSheet, 1);
    const auto folderHeadings = fileHeadings ? rowOf(source, kFoldersSheet, 1) : std::nullopt;
    if (!folderHeadings)
        return Error{templatePath, source.cause};

    removeLeftoverParts(QFileInfo(target).absolutePath());
    PartFile part(target);
    QString cause;
    if (!part.create(&cause))
        return Error{target, cause};

    // Rows go out in order, so constant memory mode costs nothing and keeps
    // a drive's worth of rows out of memory.
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    Book book{std::unique_ptr<lxw_workbook, Book::Free>(
        workbook_new_opt(QFile::encodeName(part.path()).constData(), &options))};
    lxw_worksheet *filesSheet = book.book ? workbook_add_worksheet(book.book.get(), "Files") : nullptr;
    lxw_worksheet *foldersSheet = filesSheet ? workbook_add_worksheet(book.book.get(), "Folders") : nullptr;
    lxw_format *dateFormat = foldersSheet ? workbook_add_format(book.book.get()) : nullptr;
    if (!dateFormat)
        return Error{target, QString::fromUtf8(lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED))};
    format_set_num_format(dateFormat, "yyyy/mm/dd hh:mm:ss");
    // Wide enough for the date and time, which would otherwise show as ####.
    book.check(worksheet_set_column(filesSheet, 3, 3, 20, nullptr));

    book.headings(filesSheet, *fileHeadings);
    lxw_row_t row = 1;
    for (const FileRow &file : files) {
        if (book.error != LXW_NO_ERROR)
            break;
        report(Sheet::Files, row);
        book.text(filesSheet, row, 0, file.fileId);
        book.text(filesSheet, row, 1, file.fileName);
        book.text(filesSheet, row, 2, file.extension);
        date(book, filesSheet, row, 3, file.makeItDate, dateFormat);
        book.text(filesSheet, row, 4, file.folderId);
        book.text(filesSheet, row, 5, file.folderName);
        ++row;
    }
    book.headings(foldersSheet, *folderHeadings);
    row = 1;
    for (const FolderRow &folder : folders) {
        if (book.error != LXW_NO_ERROR)
            break;
        report(Sheet::Folders, row);
        book.text(foldersSheet, row, 0, folder.folderId);
        book.text(foldersSheet, row, 1, folder.folderName);
        ++row;
    }
    if (book.error != LXW_NO_ERROR)
        return Error{target, QString::fromUtf8(lxw_strerror(book.error))};
    // workbook_close frees the workbook whatever it returns.
    const lxw_error closed = workbook_close(book.book.release());
    if (closed != LXW_NO_ERROR)
        return Error{target, QString::fromUtf8(lxw_strerror(closed))};
    if (!part.renameIntoPlace(&cause))
        return Error{target, cause};
    return std::nullopt;
}

std::optional<std::vector<QStringList>> readSheet(const QString &path, const QString &sheet, Error *error)
{
    XlsxFile file;
    auto rows = file.open(path) ? file.rows(sheet) : std::nullopt;
    if (!rows) {
        if (error)
            *error = Error{path, file.cause};
        return std::nullopt;
    }
    std::vector<QStringList> cells;
    cells.reserve(rows->size());
    for (SheetRow &row : *rows)
        cells.push_back(std::move(row.cells));
    return cells;
}

} // namespace pelmora::workbook
