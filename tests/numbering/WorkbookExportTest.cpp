// SPDX-License-Identifier: GPL-3.0-or-later
#include "numbering/WorkbookExport.h"

#include "TestSupport.h"

#include <zip.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <unistd.h>

namespace pelmora {
inline void PrintTo(const Failure &failure, std::ostream *out)
{
    *out << failure.subject.toStdString() << ": " << failure.detail.toStdString();
}
} // namespace pelmora

namespace {

using namespace pelmora;
using namespace pelmora::workbook;

const QString kTemplate = QStringLiteral(PELMORA_WORKBOOK_TEMPLATE);
const QStringList kFileHeadings{"FileID", "FileName", "Extension", "MakeItDate", "FolderID", "FolderName"};
const QStringList kFolderHeadings{"FolderID", "FolderName"};

// Every entry of a folder, hidden ones too.
QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

using Change = std::function<QByteArray(const QByteArray &)>;

// A copy of the built template with one part changed (removed when the
// change gives a null array).
QString templateWith(const QString &folder, const char *part, const Change &change)
{
    const QString copy = folder + QStringLiteral("/template.xlsx");
    QFile::remove(copy);
    EXPECT_TRUE(QFile::copy(kTemplate, copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    int code = 0;
    zip_t *zip = zip_open(QFile::encodeName(copy).constData(), 0, &code);
    zip_file_t *file = zip ? zip_fopen(zip, part, 0) : nullptr;
    if (!file) {
        ADD_FAILURE() << "no part " << part;
        zip_discard(zip);
        return copy;
    }
    QByteArray old;
    char buffer[4096];
    for (zip_int64_t count; (count = zip_fread(file, buffer, sizeof buffer)) > 0;)
        old.append(buffer, qsizetype(count));
    zip_fclose(file);
    const QByteArray changed = change(old);
    if (changed.isNull())
        zip_delete(zip, zip_uint64_t(zip_name_locate(zip, part, 0)));
    else
        zip_file_add(zip, part, zip_source_buffer(zip, changed.constData(), zip_uint64_t(changed.size()), 0),
                     ZIP_FL_OVERWRITE);
    EXPECT_EQ(zip_close(zip), 0) << part;
    return copy;
}

// Text as Excel reads it: "_xHHHH_" is the character HHHH.
QString unescaped(const QString &text)
{
    static const QRegularExpression escape("_x([0-9A-Fa-f]{4})_");
    QString plain;
    qsizetype from = 0;
    for (auto matches = escape.globalMatch(text); matches.hasNext();) {
        const QRegularExpressionMatch match = matches.next();
        plain += text.mid(from, match.capturedStart() - from) + QChar(match.captured(1).toUShort(nullptr, 16));
        from = match.capturedEnd();
    }
    return plain + text.mid(from);
}

// The cells of a sheet of a workbook Pelmora wrote, row by row as text (a
// date as its number), each row up to its last non-empty cell. Its sheets
// are parts sheet1.xml, sheet2.xml, ... in the order of the workbook, and
// its texts inline strings.
std::optional<std::vector<QStringList>> readSheet(const QString &path, const QString &sheet)
{
    const auto partOf = [&](const QString &name) {
        int code = 0;
        zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
        zip_file_t *file = zip ? zip_fopen(zip, name.toUtf8().constData(), 0) : nullptr;
        QByteArray bytes;
        char buffer[4096];
        for (zip_int64_t count; file && (count = zip_fread(file, buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, qsizetype(count));
        if (file)
            zip_fclose(file);
        zip_discard(zip);
        return bytes;
    };
    QXmlStreamReader workbook(partOf("xl/workbook.xml"));
    int index = 0;
    bool found = false;
    while (!found && workbook.readNext() != QXmlStreamReader::EndDocument && !workbook.hasError())
        if (workbook.isStartElement() && workbook.name() == u"sheet") {
            ++index;
            found = workbook.attributes().value("name") == sheet;
        }
    if (!found)
        return std::nullopt;
    std::vector<QStringList> rows;
    QXmlStreamReader xml(partOf(QStringLiteral("xl/worksheets/sheet%1.xml").arg(index)));
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"row")
            rows.emplace_back();
        if (!xml.isStartElement() || xml.name() != u"c")
            continue;
        const QString reference = xml.attributes().value("r").toString();
        const qsizetype column = reference.at(0).unicode() - u'A';
        QString value;
        while (xml.readNext() != QXmlStreamReader::EndDocument && !(xml.isEndElement() && xml.name() == u"c"))
            if (xml.isStartElement() && (xml.name() == u"v" || xml.name() == u"t"))
                value = xml.readElementText();
        if (!value.isEmpty()) {
            QStringList &row = rows.back();
            while (row.size() <= column)
                row.append(QString());
            row[column] = unescaped(value);
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    std::erase_if(rows, [](const QStringList &row) { return row.isEmpty(); });
    return rows;
}

Change replacing(const char *from, const char *to)
{
    return [=](const QByteArray &bytes) {
        EXPECT_TRUE(bytes.contains(from)) << from;
        return QByteArray(bytes).replace(from, to);
    };
}

const std::vector<FolderRow> kFolders{{"旅行", "FLD0001"}, {"Tom's", "FLD0002"}};

TEST(Workbook, RowsFollowTheTemplateHeadingsWithDatesAsExcelDates)
{
    const struct {
        FileRow file;
        double serial; // Excel's day number; 0: the cell is empty
    } cases[] = {
        {{"FLE000001", "IMG_0001.JPG", QDateTime({2021, 3, 5}, {9, 10, 30}), "JPG", "旅行", "FLD0001"},
         44260 + 33030 / 86400.0},
        {{"FLE000002", "母's <写真> & \"x\"", QDateTime(), "jpeg", "Tom's", "FLD0002"}, 0},
        {{"FLE000003", "trip_x2021_x0041_\x01.jpg", QDateTime({1899, 12, 31}, {0, 0}), "", "Tom's", "FLD0002"}, 0},
        {{"FLE000004", "IMG_0002.PNG", QDateTime({1900, 3, 1}, {12, 0}), "png", "旅行", "FLD0001"}, 61.5},
    };
    std::vector<FileRow> files;
    for (const auto &c : cases)
        files.push_back(c.file);
    QTemporaryDir dir;
    const QString target = dir.filePath("out.xlsx");
    ASSERT_EQ(write(kTemplate, files, kFolders, target), std::nullopt);

    auto rows = readSheet(target, "Files");
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), std::size(cases) + 1);
    EXPECT_EQ(rows->at(0), kFileHeadings);
    for (size_t i = 0; i < std::size(cases); ++i) {
        QStringList row = rows->at(i + 1);
        const FileRow &file = cases[i].file;
        bool number = false;
        const double serial = row.value(3).toDouble(&number);
        if (cases[i].serial == 0)
            EXPECT_EQ(row.value(3), "") << i;
        else
            EXPECT_TRUE(number && serial == cases[i].serial) << i << ": " << row.value(3).toStdString();
        if (row.size() > 3)
            row[3].clear();
        EXPECT_EQ(row, QStringList({file.fileId, file.fileName, file.extension, "", file.folderId, file.folderName}));
    }
    EXPECT_EQ(readSheet(target, "Folders"),
              (std::vector<QStringList>{kFolderHeadings, {"FLD0001", "旅行"}, {"FLD0002", "Tom's"}}));
    EXPECT_EQ(readSheet(target, "Nope"), std::nullopt);
    EXPECT_EQ(entriesOf(dir.path()), QStringList{"out.xlsx"});
}

// Again: the workbook is replaced. The part files of killed exports go,
// but not one a running export holds, nor a file of another name.
TEST(Workbook, WritingAgainReplacesTheWorkbookAndLeftovers)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("out.xlsx");
    const FileRow first{"FLE000001", "a.jpg", {}, "jpg", "旅行", "FLD0001"};
    const FileRow second{"FLE000002", "b.jpg", {}, "jpg", "旅行", "FLD0001"};
    for (const char *name : {"260101-File_Name_ID-101010.xlsx.part-deadbeef", "260101-File_Name_ID-101011.xlsx.part-0badf00d",
                             "mine.xlsx.part-deadbeef", "260101-File_Name_ID-101010.xlsx.part-deadbeef2",
                             "260101-File_Name_ID-101010.xlsx.part-deadbeef\n"})
        test::writeFile(dir.path(), name);
    const int held = ::open(QFile::encodeName(dir.filePath("260101-File_Name_ID-101011.xlsx.part-0badf00d")).constData(),
                            O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    // Rows are told as the sheets are written: the first of each, then every 250th.
    std::vector<std::pair<Sheet, qsizetype>> told;
    const std::vector<FileRow> many(600, first);
    ASSERT_EQ(write(kTemplate, many, kFolders, target, [&](Sheet sheet, qsizetype row) { told.emplace_back(sheet, row); }),
              std::nullopt);
    ::close(held);
    EXPECT_EQ(told, (std::vector<std::pair<Sheet, qsizetype>>{
                        {Sheet::Files, 1}, {Sheet::Files, 251}, {Sheet::Files, 501}, {Sheet::Folders, 1}}));
    EXPECT_EQ(entriesOf(dir.path()), QStringList({"260101-File_Name_ID-101010.xlsx.part-deadbeef\n",
                                                  "260101-File_Name_ID-101010.xlsx.part-deadbeef2",
                                                  "260101-File_Name_ID-101011.xlsx.part-0badf00d",
                                                  "mine.xlsx.part-deadbeef", "out.xlsx"}));
    ASSERT_EQ(write(kTemplate, {first, second}, kFolders, target), std::nullopt);
    ASSERT_EQ(write(kTemplate, {second}, {}, target), std::nullopt);
    EXPECT_EQ(readSheet(target, "Files"),
              (std::vector<QStringList>{kFileHeadings, {"FLE000002", "b.jpg", "jpg", "", "FLD0001", "旅行"}}));
    EXPECT_EQ(readSheet(target, "Folders"), std::vector<QStringList>{kFolderHeadings});
    EXPECT_EQ(entriesOf(dir.path()), QStringList({"260101-File_Name_ID-101010.xlsx.part-deadbeef\n",
                                                  "260101-File_Name_ID-101010.xlsx.part-deadbeef2",
                                                  "mine.xlsx.part-deadbeef", "out.xlsx"})); // no longer held
}

// The headings as Excel may store them: rich text runs with phonetic
// guides, cells without a reference.
TEST(Workbook, HeadingsReadAsExcelStoresThem)
{
    const struct {
        const char *part;
        Change change;
    } cases[] = {
        {"xl/sharedStrings.xml",
         replacing("<si><t>FileName</t></si>", "<si><r><t>File</t></r><r><rPr><b/></rPr><t>Name</t></r>"
                                               "<rPh sb=\"0\" eb=\"8\"><t>ファイル</t></rPh><phoneticPr fontId=\"1\"/></si>")},
        {"xl/worksheets/sheet1.xml", replacing("<c r=\"B1\" t=\"s\">", "<c t=\"s\">")},
    };
    for (const auto &c : cases) {
        QTemporaryDir dir;
        const QString target = dir.filePath("out.xlsx");
        ASSERT_EQ(write(templateWith(dir.path(), c.part, c.change), {}, {}, target), std::nullopt) << c.part;
        EXPECT_EQ(readSheet(target, "Files"), std::vector<QStringList>{kFileHeadings}) << c.part;
    }
}

TEST(Workbook, ADamagedTemplateIsAnErrorAndWritesNothing)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("out");
    ASSERT_TRUE(QDir().mkdir(out));
    const auto part = [&](const char *name, Change change) {
        return [=, &dir] { return templateWith(dir.path(), name, change); };
    };
    const QByteArray entities = R"(<?xml version="1.0"?><!DOCTYPE sst [<!ENTITY a "aaaaaaaaaaaaaaaa">
        <!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;"><!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">
        <!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">]><sst><si><t>&d;&d;&d;&d;&d;&d;&d;</t></si></sst>)";
    const struct {
        const char *what;
        std::function<QString()> make;
    } cases[] = {
        {"missing", [&] { return dir.filePath("none.xlsx"); }},
        {"not a zip", [&] { return test::writeFile(dir.path(), "text.xlsx", "FileID,FileName\n"); }},
        {"cut short", [&] { return test::writeFile(dir.path(), "cut.xlsx", test::readFile(kTemplate).left(2000)); }},
        {"a folder", [&] { return QDir(dir.path()).mkdir("folder.xlsx") ? dir.filePath("folder.xlsx") : QString(); }},
        {"no Folders sheet", part("xl/workbook.xml", replacing("name=\"Folders\"", "name=\"Other\""))},
        {"sheet part missing", part("xl/worksheets/sheet2.xml", [](const QByteArray &) { return QByteArray(); })},
        {"workbook not XML", part("xl/workbook.xml", [](const QByteArray &xml) { return xml.left(xml.size() / 2); })},
        {"entity expansion", part("xl/sharedStrings.xml", [&](const QByteArray &) { return entities; })},
        {"string out of range", part("xl/worksheets/sheet1.xml", replacing("<v>5</v>", "<v>99</v>"))},
        {"bad cell reference", part("xl/worksheets/sheet1.xml", replacing("r=\"F1\"", "r=\"AAAAA1\""))},
        {"huge part",
         part("xl/sharedStrings.xml", [](const QByteArray &xml) { return xml + QByteArray(65 << 20, ' '); })},
    };
    for (const auto &c : cases) {
        const QString path = c.make();
        const auto error = write(path, {{"FLE000001", "a.jpg", {}, "jpg", "旅行", "FLD0001"}}, kFolders,
                                 out + QStringLiteral("/out.xlsx"));
        ASSERT_TRUE(error) << c.what;
        EXPECT_EQ(error->subject, path) << c.what;
        EXPECT_EQ(error->kind, Failure::Kind::Unreadable) << c.what;
        EXPECT_EQ(entriesOf(out), QStringList()) << c.what;
    }
}

TEST(Workbook, AnUnwritableTargetIsAnErrorAndLeavesNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("locked") && QDir(dir.path()).mkdir("taken.xlsx"));
    test::ReadOnly locked(dir.filePath("locked"));
    const struct {
        const char *what;
        QString target;
        bool runs;
    } cases[] = {
        {"missing folder", dir.filePath("missing/out.xlsx"), true},
        {"unwritable folder", dir.filePath("locked/out.xlsx"), locked.ok()},
        {"a folder of that name", dir.filePath("taken.xlsx"), true},
    };
    for (const auto &c : cases) {
        if (!c.runs)
            continue;
        const auto error = write(kTemplate, {}, kFolders, c.target);
        ASSERT_TRUE(error) << c.what;
        EXPECT_EQ(error->subject, c.target) << c.what;
        EXPECT_EQ(error->kind, Failure::Kind::CannotWrite) << c.what;
        EXPECT_EQ(entriesOf(dir.path()), QStringList({"locked", "taken.xlsx"})) << c.what;
        EXPECT_EQ(entriesOf(dir.filePath("locked")), QStringList()) << c.what;
        EXPECT_EQ(entriesOf(dir.filePath("taken.xlsx")), QStringList()) << c.what;
    }
    if (!locked.ok())
        GTEST_SKIP() << "cannot make a folder unwritable here";
}

} // namespace
