// SPDX-License-Identifier: GPL-3.0-or-later
#include "RenameFixture.h"

#include "rename/Recovery.h"
#include "text/Messages.h"

#include <QDir>

#include <map>

namespace {

using namespace pelmora;
using namespace pelmora::test;

// A raw picture and the JPEG the camera wrote beside it, both sidecar
// styles, an iPhone edit, a movie's thumbnail, a pair of different dates and
// a sidecar of a file the run leaves out.
class Companions : public RenameFixture {
protected:
    void SetUp() override
    {
        RenameFixture::SetUp();
        // Taken in the same second, and written in it.
        setModified(copy("derived/Fujifilm_FinePix6900ZOOM.raf", "DSCF0001.RAF"), at("2001-02-19 06:40:05"));
        setModified(copy("ianare-exif-samples/Fujifilm_FinePix6900ZOOM.jpg", "DSCF0001.JPG"), at("2001-02-19 06:40:05"));
        writeFile(folder.path(), "DSCF0001.xmp", "lightroom");
        writeFile(folder.path(), "DSCF0001.RAF.xmp", "darktable");
        copy("ianare-exif-samples/Canon_40D.jpg", "IMG_0002.JPG");
        writeFile(folder.path(), "IMG_0002.AAE", "iphone edit");
        copy("generated/gen_clip_9s.mov", "MVI_0003.MOV");
        writeFile(folder.path(), "MVI_0003.THM", "thumbnail");
        copy("ianare-exif-samples/Nikon_D70.jpg", "IMG_0004.JPG");
        dated("IMG_0004.PNG", "2020-01-01 10:00:00"); // same base, another date: a shot of its own
        writeFile(folder.path(), "notes.txt", "notes");
        writeFile(folder.path(), "notes.xmp", "left with notes.txt");
    }
    NamingInputs chosen(bool companions = true) const
    {
        NamingInputs in = inputs();
        in.extensions = {"JPG", "RAF", "MOV", "PNG"};
        in.companions = companions;
        return in;
    }
};

const QStringList kRenamedByDate = {"010219-001.JPG", "010219-001.RAF", "010219-001.RAF.xmp", "010219-001.xmp",
                                    "080315-001.JPG", "080530-001.AAE", "080530-001.JPG", "200101-001.PNG",
                                    "210705-001.MOV", "210705-001.THM", "notes.txt", "notes.xmp"};

// Every operation: a pair takes one name, each file keeping its extension,
// and the sidecars follow in the form they had; undo takes all of it back.
TEST_F(Companions, PairsShareANameAndSidecarsFollowInEveryOperation)
{
    const auto before = contents();
    const struct {
        Operation operation;
        QStringList after;
        int excluded; // counted as left out for their extension: sidecars that follow are not
    } cases[] = {
        {Operation::ShotDate, kRenamedByDate, 2},
        {Operation::KeepExisting, {}, 0},
        {Operation::AppendText, {"DSCF0001(x).JPG", "DSCF0001(x).RAF", "DSCF0001(x).RAF.xmp", "DSCF0001(x).xmp",
                                 "IMG_0002(x).AAE", "IMG_0002(x).JPG", "IMG_0004(x).JPG", "IMG_0004(x).PNG",
                                 "MVI_0003(x).MOV", "MVI_0003(x).THM", "notes.txt", "notes.xmp"},
         2},
        {Operation::ReplaceText, {"DSCF0001.JPG", "DSCF0001.RAF", "DSCF0001.RAF.xmp", "DSCF0001.xmp",
                                  "MVI_0003.MOV", "MVI_0003.THM", "PIC_0002.AAE", "PIC_0002.JPG", "PIC_0004.JPG",
                                  "PIC_0004.PNG", "notes.txt", "notes.xmp"},
         5}, // the sidecars of the files whose names do not change stay left out
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.operation));
        NamingInputs in = chosen();
        in.preText = c.operation == Operation::ReplaceText ? "IMG" : "";
        in.postText = c.operation == Operation::ReplaceText ? "PIC" : c.operation == Operation::AppendText ? "x" : "";
        const OperationOutcome outcome = run(c.operation, in);
        EXPECT_EQ(outcome.failed, 0) << text::outcomeMessage(outcome).toStdString();
        EXPECT_EQ(outcome.plan.excluded, c.excluded);
        QStringList after = files();
        after.sort();
        if (c.operation == Operation::KeepExisting) {
            // By file time: the pair takes one free number; the other files were written today.
            EXPECT_EQ(outcome.renamed, 10);
            for (const char *name : {"010219-001.JPG", "010219-001.RAF", "010219-001.RAF.xmp", "010219-001.xmp",
                                     "200101-001.PNG", "notes.xmp"})
                EXPECT_TRUE(after.contains(name)) << name;
        } else {
            EXPECT_EQ(after, c.after);
        }
        EXPECT_EQ(RenameSession(clock).undo(*database).failed, 0);
        EXPECT_EQ(contents(), before);
    }
}

// No box names the raw file: it follows the JPEG of its shot, with its
// sidecars, and the preview says so; a raw file of another second does not.
TEST_F(Companions, ARawFollowsItsJpegThoughNoBoxNamesIt)
{
    setModified(copy("exiftool-t-images/CanonRaw.cr2", "IMG_0002.CR2"), at("2001-01-01 00:00:00"));
    NamingInputs in = chosen();
    in.extensions = {"JPG", "MOV", "PNG"};
    const OperationOutcome preview = RenameSession(clock).preview(Operation::ShotDate, in, database.get());
    EXPECT_TRUE(text::tableLines(text::planTable(preview.plan))
                    .contains("DSCF0001.RAF → 010219-001.RAF\t2001/02/19 06:40:05\t撮影日時(EXIF)\t"
                              "関連ファイル（同じ撮影のJPEGと一緒に変更）"))
        << text::tableLines(text::planTable(preview.plan)).toStdString();
    const OperationOutcome outcome = run(Operation::ShotDate, in);
    EXPECT_EQ(outcome.failed, 0);
    EXPECT_EQ(outcome.plan.excluded, 3); // notes.txt and .xmp, and the CR2 of another shot than IMG_0002.JPG
    for (const char *name : {"010219-001.RAF", "010219-001.RAF.xmp", "010219-001.xmp", "IMG_0002.CR2"})
        EXPECT_TRUE(files().contains(name)) << name;
}

// A photo whose sidecar cannot follow is marked with it in the preview;
// after the run both keep their names, and the next shot of the day takes
// their number. A shot whose sidecar's name would be taken at a number
// goes on to the next: one taken name never strands a sidecar nor blocks
// the shots after it.
TEST_F(Companions, AGroupThatCannotRunIsMarkedWholeAndItsNumberGoesOn)
{
    for (const char *taken : {"080530-001.AAE", "080530-002.AAE"})
        ASSERT_TRUE(QDir(folder.path()).mkdir(taken));
    // The same second, after IMG_0002 in the listing.
    for (const char *name : {"IMG_0005.JPG", "IMG_0006.JPG"})
        copy("ianare-exif-samples/Canon_40D.jpg", name);
    writeFile(folder.path(), "IMG_0006.AAE");
    const OperationOutcome preview = RenameSession(clock).preview(Operation::ShotDate, chosen(), database.get());
    const DetailTable table = text::planTable(preview.plan);
    std::map<QString, QString> marked; // former name -> remark of a marked row
    for (const DetailTable::Row &row : table.rows) {
        if (row.marked)
            marked[row.cells.value(0)] = row.cells.value(4);
    }
    EXPECT_EQ(marked["IMG_0002.AAE"], "同じ名前のフォルダがあるため変更できません");
    EXPECT_EQ(marked["IMG_0002.JPG"], "一緒に変更するファイルの名前が既にあるため変更できません");
    for (const char *free : {"IMG_0005.JPG", "IMG_0006.JPG", "IMG_0006.AAE"})
        EXPECT_FALSE(marked.count(free)) << free;
    const OperationOutcome outcome = run(Operation::ShotDate, chosen());
    EXPECT_EQ(outcome.failed, 2);
    for (const char *name : {"IMG_0002.AAE", "IMG_0002.JPG", "080530-001.JPG", "080530-003.JPG", "080530-003.AAE"})
        EXPECT_TRUE(files().contains(name)) << name;
    EXPECT_FALSE(files().contains("IMG_0006.AAE"));
}

// Turned off, a pair is two shots and the sidecars stay as they are.
TEST_F(Companions, TurnedOffEveryFileIsOnItsOwn)
{
    run(Operation::ShotDate, chosen(false));
    EXPECT_EQ(files(), QStringList({"010219-001.JPG", "010219-002.RAF", "080315-001.JPG", "080530-001.JPG",
                                    "200101-001.PNG", "210705-001.MOV", "DSCF0001.RAF.xmp", "DSCF0001.xmp",
                                    "IMG_0002.AAE", "MVI_0003.THM", "notes.txt", "notes.xmp"}));
}

// A sidecar that cannot follow (its new name is taken) is a failure, and its
// file is taken back with it: the two never end apart.
TEST_F(Companions, ASidecarThatCannotFollowKeepsItsFileBack)
{
    for (const Operation operation : {Operation::ShotDate, Operation::AppendText}) {
        SCOPED_TRACE(int(operation));
        const QString taken = operation == Operation::ShotDate ? "080530-001.AAE" : "IMG_0002(x).AAE";
        ASSERT_TRUE(QDir(folder.path()).mkdir(taken));
        NamingInputs in = chosen();
        in.postText = operation == Operation::AppendText ? "x" : "";
        const OperationOutcome outcome = run(operation, in);
        EXPECT_EQ(outcome.failed, 2);
        EXPECT_TRUE(files().contains("IMG_0002.AAE") && files().contains("IMG_0002.JPG"));
        // The sidecar fails for its name, the photo for its sidecar.
        std::map<QString, std::pair<QString, FailureCause>> failed;
        for (const PlannedRename &file : outcome.plan.files) {
            if (file.state != FileState::Done)
                failed[file.formerName] = {file.newName, file.cause};
        }
        EXPECT_EQ(failed["IMG_0002.AAE"].first, taken);
        EXPECT_EQ(failed["IMG_0002.JPG"].second, FailureCause::CompanionFailed);
        EXPECT_EQ(RenameSession(clock).undo(*database).failed, 0);
        ASSERT_TRUE(QDir(folder.path()).rmdir(taken));
    }
    // The photo's new name taken after the plan, once its sidecar has
    // moved: the sidecar is taken back, and the way back logged.
    RenameOperations operations(clock);
    RenamePlan plan = operations.plan(Operation::ShotDate, chosen());
    ASSERT_TRUE(QDir(folder.path()).mkdir("080530-001.JPG"));
    const qint64 logged = database->count(Table::FileNameLog);
    const OperationOutcome outcome = operations.apply(std::move(plan), *database);
    EXPECT_EQ(outcome.failed, 2);
    EXPECT_TRUE(files().contains("IMG_0002.AAE") && files().contains("IMG_0002.JPG"));
    for (const PlannedRename &file : outcome.plan.files) {
        if (file.formerName.startsWith("IMG_0002"))
            EXPECT_EQ(file.cause, file.companion ? FailureCause::CompanionFailed : FailureCause::TargetExists);
    }
    EXPECT_EQ(database->count(Table::FileNameLog), logged + outcome.renamed + 2); // the sidecar there and back
}

// Folders found to go wrong: each file must end where it belongs, and no
// sidecar takes a name another one takes or already has.
TEST(CompanionsAlone, OddFoldersEndWithEveryFileWhereItBelongs)
{
    const struct {
        const char *what;
        Operation operation;
        std::vector<std::pair<const char *, const char *>> files; // name, media (or text when not a path)
        QStringList after;
        int failed;
    } cases[] = {
        {"a sidecar goes with the file it names exactly", Operation::ShotDate,
         {{"IMG_1.JPG", "ianare-exif-samples/Canon_40D.jpg"}, {"img_1.jpg", "ianare-exif-samples/Nikon_D70.jpg"},
          {"img_1.jpg.xmp", ""}},
         {"080315-001.jpg", "080315-001.jpg.xmp", "080530-001.JPG"}, 0},
        {"of two shots of one base name, the raw picture's takes the sidecar", Operation::ShotDate,
         {{"DSCF0001.JPG", "ianare-exif-samples/Canon_40D.jpg"}, {"DSCF0001.RAF", "derived/Fujifilm_FinePix6900ZOOM.raf"},
          {"DSCF0001.xmp", ""}},
         {"010219-001.RAF", "010219-001.xmp", "080530-001.JPG"}, 0},
        {"two sidecars never take one name", Operation::ShotDate,
         {{"IMG_1.JPG", "ianare-exif-samples/Canon_40D.jpg"}, {"IMG_1.xmp", ""}, {"img_1.xmp", ""}},
         {"080530-001.JPG", "080530-001.xmp", "img_1.xmp"}, 0},
        {"a sidecar whose name does not change stays", Operation::ReplaceText,
         {{"DSCF0001.RAF", "derived/Fujifilm_FinePix6900ZOOM.raf"}, {"DSCF0001.xmp", ""}},
         {"DSCF0001.NEF", "DSCF0001.xmp"}, 0},
        {"a pair whose JPEG cannot be renamed stays whole", Operation::ShotDate,
         {{"DSCF0001.RAF", "derived/Fujifilm_FinePix6900ZOOM.raf"},
          {"DSCF0001.JPG", "ianare-exif-samples/Fujifilm_FinePix6900ZOOM.jpg"}, {"DSCF0001.xmp", ""},
          {"010219-001.JPG/", ""}},
         {"010219-001.JPG", "DSCF0001.JPG", "DSCF0001.RAF", "DSCF0001.xmp"}, 3},
        {"a shot blocked by a leftover sidecar stays whole; the one whose name it holds goes on", Operation::ShotDate,
         {{"0.JPG", "ianare-exif-samples/Canon_40D.jpg"}, {"0.xmp", ""}, {"0.JPG.thm", ""},
          {"080530-001.JPG", "ianare-exif-samples/Canon_40D.jpg"}, {"080530-001.xmp", ""},
          {"080530-001.JPG.thm", ""}, {"080530-002.xmp", ""}},
         {"080530-001.JPG", "080530-001.JPG.thm", "080530-001.xmp", "080530-002.xmp", "080530-003.JPG",
          "080530-003.JPG.thm", "080530-003.xmp"},
         3},
        {"the next shot keeps its sidecar, and never lands beside a stray one", Operation::ShotDate,
         {{"IMG_1.JPG", "ianare-exif-samples/Canon_40D.jpg"}, {"IMG_1.xmp", ""}, {"IMG_1.AAE", ""},
          {"IMG_2.JPG", "ianare-exif-samples/Canon_40D.jpg"}, {"IMG_2.xmp", ""}, {"080530-001.AAE", ""}},
         {"080530-001.AAE", "080530-002.JPG", "080530-002.xmp", "IMG_1.AAE", "IMG_1.JPG", "IMG_1.xmp"}, 3},
        {"a shot already named keeps its number beside a blocked one", Operation::ShotDate,
         {{"080530-001.JPG", "ianare-exif-samples/Canon_40D.jpg"}, {"080530-001.xmp", ""},
          {"IMG_2.JPG", "ianare-exif-samples/Canon_40D.jpg"}, {"IMG_2.AAE", ""}, {"080530-002.AAE/", ""}},
         {"080530-001.JPG", "080530-001.xmp", "080530-002.AAE", "IMG_2.AAE", "IMG_2.JPG"}, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir folder, data;
        for (const auto &[name, media] : c.files) {
            if (QString(name).endsWith(u'/'))
                QDir(folder.path()).mkdir(QString(name).chopped(1));
            else if (*media)
                copyMedia(media, folder.path(), name);
            else
                writeFile(folder.path(), name, name);
        }
        FixedClock clock(at("2026-01-02 12:34:05"));
        NameDatabase database(data.path(), clock);
        NamingInputs in;
        in.folder = folder.path();
        in.extensions = {"JPG", "RAF"};
        in.preText = c.operation == Operation::ReplaceText ? "RAF" : "";
        in.postText = c.operation == Operation::ReplaceText ? "NEF" : "";
        const OperationOutcome outcome = RenameSession(clock).run(c.operation, in, database);
        EXPECT_EQ(outcome.failed, c.failed) << text::outcomeMessage(outcome).toStdString();
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), c.after);
    }
}

} // namespace
