// SPDX-License-Identifier: GPL-3.0-or-later
// Dates set right as the photographer asks, on real files whose tags
// exiftool writes: camera clocks, the zone a movie was shot in, the hour a
// day starts.
#include "RenameFixture.h"

#include <QProcess>

#include <algorithm>

using namespace pelmora;
using namespace pelmora::test;

namespace {

void tag(const QString &path, const QStringList &assignments)
{
    QProcess exiftool;
    exiftool.start(QStringLiteral("exiftool"), QStringList{"-q", "-overwrite_original"} + assignments + QStringList{path});
    ASSERT_TRUE(exiftool.waitForFinished(30000) && exiftool.exitCode() == 0)
        << exiftool.readAllStandardError().toStdString();
}

// A trip: the Canon writes its zone (+01:00) and is right; the Sony's clock
// runs 3 minutes 20 seconds fast; the Canon's movie holds its UTC time. In
// real time: canon1 23:50, sony 23:51, canon2 23:52, movie 00:15 (+01:00).
class CorrectedDates : public RenameFixture {
protected:
    void SetUp() override
    {
        RenameFixture::SetUp();
        const auto photo = [this](const char *name, const QStringList &camera, const char *taken) {
            const QString path = copy("exiftool-t-images/JVC2.jpg", name);
            tag(path, QStringList{"-all=", QStringLiteral("-DateTimeOriginal=") + taken} + camera);
        };
        const QStringList canon = {"-Make=Canon", "-Model=Canon EOS R5", "-OffsetTimeOriginal=+01:00"};
        photo("canon1.jpg", canon, "2021:07:04 23:50:00");
        photo("canon2.jpg", canon, "2021:07:04 23:52:00");
        photo("sony.jpg", {"-Make=SONY", "-Model=ILCE-7M3", "-SerialNumber=4711"}, "2021:07:04 23:54:20");
        const QString movie = copy("generated/gen_clip_65s.mp4", "movie.mp4");
        tag(movie, {"-Keys:Make=Canon", "-Keys:Model=Canon EOS R5", "-QuickTime:CreateDate=2021:07:04 23:15:10"});
    }

    NamingInputs withMovies() const
    {
        NamingInputs in = inputs();
        in.extensions = {QStringLiteral("jpg"), QStringLiteral("mp4")};
        return in;
    }

    QStringList previewRemarks(const NamingInputs &in)
    {
        const OperationOutcome preview = RenameSession(clock).preview(Operation::ShotDate, in, database.get());
        QStringList remarks;
        for (const DetailTable::Row &row : text::planTable(preview.plan).rows)
            remarks << row.cells.value(0) + u'|' + row.cells.value(4);
        return remarks;
    }

    // Every file's bytes, whatever its name.
    QList<QByteArray> bytes() const
    {
        QList<QByteArray> all;
        for (const auto &[name, content] : contents())
            all << content;
        std::sort(all.begin(), all.end());
        return all;
    }
};

} // namespace

// Nothing asked: every name as the dates are written, the movie in this
// computer's zone (UTC here), a day from midnight.
TEST_F(CorrectedDates, NothingAskedNamesAsWritten)
{
    ASSERT_EQ(run(Operation::ShotDate, withMovies()).status, OperationOutcome::Status::Completed);
    EXPECT_EQ(files(), QStringList({"210704-001.mp4", "210704-002.jpg", "210704-003.jpg", "210704-004.jpg"}));
    EXPECT_EQ(database->listRows().size(), 4u);
    // canon1, canon2, sony: the Sony's fast clock puts it last.
    const std::vector<ListRow> rows = database->listRows();
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [](const ListRow &row) {
        return row.originalFileName == "sony.jpg" && row.newFileName == "210704-004";
    }));
}

// The Sony's kept offset puts it between the Canon's shots; the movie, in
// the zone its camera's photos carry, lands on the 5th; the preview says
// by how much and from where; no file's bytes change.
TEST_F(CorrectedDates, OffsetsAndTheZoneOfThePhotosSetTheDatesRight)
{
    database->setClockOffsets({{"sony ilce-7m3", "4711", -200}});
    NamingInputs in = withMovies();
    in.corrections.moviesWhereShot = true;
    const QStringList remarks = previewRemarks(in);
    EXPECT_TRUE(remarks.contains("sony.jpg|補正 -3分20秒：元の日時 2021/07/04 23:54:20")) << remarks.join('\n').toStdString();
    EXPECT_TRUE(remarks.contains("movie.mp4|時間帯 +01:00（同じカメラの写真から）：元の日時 2021/07/04 23:15:10"));
    const QList<QByteArray> before = bytes();
    ASSERT_EQ(run(Operation::ShotDate, in).status, OperationOutcome::Status::Completed);
    EXPECT_EQ(bytes(), before);
    std::map<QString, QString> renamed;
    for (const ListRow &row : database->listRows())
        renamed[row.originalFileName] = row.newFileName;
    EXPECT_EQ(renamed, (std::map<QString, QString>{{"canon1.jpg", "210704-001"}, {"sony.jpg", "210704-002"},
                                                   {"canon2.jpg", "210704-003"}, {"movie.mp4", "210705-001"}}));
}

// A run's own offset overrides the kept one; a zone chosen for the run is
// used for a movie whose camera took no photo with a zone; with the day
// starting at 04:00 the night after midnight stays on the 4th.
TEST_F(CorrectedDates, ARunsOwnChoicesWin)
{
    database->setClockOffsets({{"SONY ILCE-7M3", "", -200}});
    tag(folder.filePath("movie.mp4"), {"-Keys:Model=Canon EOS R6"});
    NamingInputs in = withMovies();
    in.corrections.offsets.set({"SONY ILCE-7M3", "4711", 0});
    in.corrections.movieZone = parseZone("Europe/Paris");
    in.dayStart = QTime(4, 0);
    const QStringList remarks = previewRemarks(in);
    EXPECT_TRUE(remarks.contains("movie.mp4|時間帯 Europe/Paris +02:00（指定）：元の日時 2021/07/04 23:15:10"))
        << remarks.join('\n').toStdString();
    EXPECT_TRUE(remarks.contains("sony.jpg|"));
    ASSERT_EQ(run(Operation::ShotDate, in).status, OperationOutcome::Status::Completed);
    EXPECT_EQ(files(), QStringList({"210704-001.jpg", "210704-002.jpg", "210704-003.jpg", "210704-004.mp4"}));
}
