// SPDX-License-Identifier: GPL-3.0-or-later
// Realistic folders built from the media corpus by make_scenarios.sh at
// build time, each with exiftool's own reading of every file (expected.csv):
// the names the rename by date taken gives must follow from exiftool's dates
// alone.
#include "RenameFixture.h"
#include "rename/NameFormat.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <map>

using namespace pelmora;
using namespace pelmora::test;

namespace {

// The date a file should be named after: its EXIF date taken, else the date
// it was created or recorded (a movie's is UTC, and the tests run in UTC),
// else its last-modified date (the folders are built with TZ-independent
// times).
QDateTime expectedDate(const CsvRow &row, const QString &path)
{
    // A movie: the recording date exiftool read from the same bytes in the corpus.
    static const std::map<QString, QString> movieDates = [] {
        std::map<QString, QString> dates;
        for (const CsvRow &corpus : readCsv(QDir(testdataFolder()).filePath("oracle.csv"))) {
            if (!corpus.at("movie_date_raw").isEmpty())
                dates[corpus.at("sha256")] = corpus.at("movie_date_raw");
        }
        return dates;
    }();
    const auto movie = movieDates.find(QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256).toHex());
    if (movie != movieDates.end())
        return QDateTime::fromString(movie->second.left(19), "yyyy:MM:dd HH:mm:ss");
    for (const char *column : {"ExifDateTimeOriginal", "CreateDate", "AnyDateTimeOriginal", "FileModifyDate"}) {
        const QDateTime date = QDateTime::fromString(row.at(column).trimmed().left(19), "yyyy:MM:dd HH:mm:ss");
        if (date.isValid() && date.date().year() > 1970)
            return date;
    }
    return {};
}

QStringList expectedNames(const QString &folder, const std::array<QString, kExtensionBoxCount> &boxes)
{
    std::map<QString, QDateTime> dates;
    for (const CsvRow &row : readCsv(folder + "/expected.csv"))
        dates[row.at("FileName")] = expectedDate(row, folder + u'/' + row.at("FileName"));

    std::vector<std::pair<QDateTime, QString>> taking; // in listing order
    QStringList untouched;
    for (const QString &name : fs::listPlainFiles(folder)) {
        if (name != "expected.csv" && takesPart(fs::extensionOf(name), boxes))
            taking.emplace_back(dates.at(name), name);
        else
            untouched << name;
    }
    std::stable_sort(taking.begin(), taking.end(), [](auto &a, auto &b) { return a.first < b.first; });
    QStringList names = untouched;
    QString day;
    int number = 0;
    for (const auto &[date, name] : taking) {
        const QString thisDay = date.toString("yyMMdd");
        number = thisDay == day ? number + 1 : 1;
        day = thisDay;
        names << QStringLiteral("%1-%2.%3").arg(day).arg(number, 3, 10, QChar(u'0')).arg(fs::extensionOf(name));
    }
    names.sort();
    return names;
}

TEST(Scenarios, RenameByDateTakenFollowsExiftoolsDates)
{
    QTemporaryDir work;
    const QString scenarios = work.filePath("scenarios");
    QProcess copy; // cp keeps the files' times, which some files are dated by
    copy.start("cp", {"-a", PELMORA_SCENARIOS, scenarios});
    ASSERT_TRUE(copy.waitForFinished(60000));
    ASSERT_EQ(copy.exitCode(), 0);

    std::array<QString, kExtensionBoxCount> boxes;
    const QStringList extensions = {"jpg", "jpeg", "png", "tiff", "webp", "heic", "mov", "mp4",
                                    "mts", "avi",  "wmv",  "mpeg", "3gp",  "3g2"};
    std::copy(extensions.begin(), extensions.end(), boxes.begin());

    QTemporaryDir data;
    FixedClock clock(at("2026-01-02 12:34:05"));
    NameDatabase database(data.path(), clock);
    RenameSession operations(clock);
    for (const char *scenario : {"a_three_days", "b_mixed", "c_ext_case", "d_odd_names"}) {
        SCOPED_TRACE(scenario);
        NamingInputs inputs;
        inputs.folder = scenarios + "/" + scenario;
        inputs.extensions = boxes;
        const QStringList expected = expectedNames(inputs.folder, boxes);
        const OperationOutcome outcome = operations.run(Operation::ShotDate, inputs, database);
        EXPECT_EQ(outcome.failed, 0);
        EXPECT_EQ(filesIn(inputs.folder), expected);
    }
    EXPECT_TRUE(QFile::exists(scenarios + "/d_odd_names/.hidden.jpg")); // hidden files are not touched
}

} // namespace
