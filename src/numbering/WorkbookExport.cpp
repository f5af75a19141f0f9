// SPDX-License-Identifier: GPL-3.0-or-later
#include "numbering/WorkbookExport.h"

#include "platform/DataFolder.h"

#include <xlsxwriter.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

// Workbook text carries characters XML cannot, such as control characters,
// as "_x0001_", and an underscore that would start such a sequence as
// "_x005F_". libxlsxwriter writes the first kind; the second is ours to write,
// or a file named "trip_x2021_.jpg" would read as "trip‡.jpg".
const QRegularExpression kUnderscoreToEscape(QStringLiteral("_(?=x[0-9A-Fa-f]{4}_)"));

QString escaped(const QString &text)
{
    return text.contains(u"_x") ? QString(text).replace(kUnderscoreToEscape, QStringLiteral("_x005F_")) : text;
}

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
    Error error;
    const std::optional<TemplateHeadings> headings = readTemplateHeadings(templatePath, &error);
    if (!headings)
        return error;

    removeLeftoverParts(QFileInfo(target).absolutePath());
    PartFile part(target);
    QString cause;
    if (!part.create(&cause))
        return Error{Failure::Kind::CannotWrite, target, 0, 0, cause};

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
        return Error{Failure::Kind::CannotWrite, target, 0, 0, QString::fromUtf8(lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED))};
    format_set_num_format(dateFormat, "yyyy/mm/dd hh:mm:ss");
    // Wide enough for the date and time, which would otherwise show as ####.
    book.check(worksheet_set_column(filesSheet, 3, 3, 20, nullptr));

    book.headings(filesSheet, headings->files);
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
    book.headings(foldersSheet, headings->folders);
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
        return Error{Failure::Kind::CannotWrite, target, 0, 0, QString::fromUtf8(lxw_strerror(book.error))};
    // workbook_close frees the workbook whatever it returns.
    const lxw_error closed = workbook_close(book.book.release());
    if (closed != LXW_NO_ERROR)
        return Error{Failure::Kind::CannotWrite, target, 0, 0, QString::fromUtf8(lxw_strerror(closed))};
    if (!part.renameIntoPlace(&cause))
        return Error{Failure::Kind::CannotWrite, target, 0, 0, cause};
    return std::nullopt;
}

} // namespace pelmora::workbook
