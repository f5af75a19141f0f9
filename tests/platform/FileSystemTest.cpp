// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystem.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <map>
#include <fcntl.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

TEST(FileSystem, ListsPlainVisibleFilesByName)
{
    QTemporaryDir folder;
    for (const char *name : {"b.jpg", "a.JPG", ".hidden.jpg", "noext", "日本語.jpg"})
        writeFile(folder.path(), name);
    QDir(folder.path()).mkdir("sub.jpg");
    // Links count by what they point at; a name in Shift JIS is no UTF-8.
    ASSERT_TRUE(QFile::link(folder.filePath("b.jpg"), folder.filePath("link.jpg")));
    ASSERT_TRUE(QFile::link(folder.filePath("gone"), folder.filePath("broken.jpg")));
    // Names that are no UTF-8 (Shift JIS, a lone byte, an overlong form, a
    // surrogate) are shown byte by byte, so two of them can be told apart.
    for (const char *name : {"/\x93\xfa\x96\x7b.jpg", "/\xff.jpg", "/\xfe.jpg", "/\xc0\xaf\xe6\x97\xa5.jpg",
                             "/\xed\xa0\x80.jpg"})
        ::close(::open((QFile::encodeName(folder.path()) + name).constData(), O_CREAT | O_WRONLY, 0644));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder.filePath("pipe.jpg")).constData(), 0644), 0);
    QStringList undecodable;
    std::vector<fs::OtherEntry> others;
    EXPECT_EQ(fs::listPlainFiles(folder.path()), QStringList({"a.JPG", "b.jpg", "link.jpg", "noext", "日本語.jpg"}));
    // Asked for the others, a link to a file is one of them: no file to rename.
    EXPECT_EQ(fs::listPlainFiles(folder.path(), &undecodable, &others),
              QStringList({"a.JPG", "b.jpg", "noext", "日本語.jpg"}));
    const std::pair<const char *, fs::EntryKind> expected[] = {{"broken.jpg", fs::EntryKind::DanglingLink},
                                                               {"link.jpg", fs::EntryKind::Link},
                                                               {"pipe.jpg", fs::EntryKind::Special},
                                                               {"sub.jpg", fs::EntryKind::Folder}};
    ASSERT_EQ(others.size(), std::size(expected));
    for (size_t i = 0; i < others.size(); ++i) {
        EXPECT_EQ(others[i].name, QString::fromUtf8(expected[i].first));
        EXPECT_EQ(others[i].kind, expected[i].second);
    }
    EXPECT_EQ(undecodable, QStringList({"\\x93\\xfa\\x96{.jpg", "\\xc0\\xaf日.jpg", "\\xed\\xa0\\x80.jpg",
                                        "\\xfe.jpg", "\\xff.jpg"}));
    for (const char *name : {"/\x93\xfa\x96\x7b.jpg", "/\xff.jpg", "/\xfe.jpg", "/\xc0\xaf\xe6\x97\xa5.jpg",
                             "/\xed\xa0\x80.jpg"})
        ::unlink((QFile::encodeName(folder.path()) + name).constData()); // QDir cannot see them to remove them
}

TEST(FileSystem, ExtensionAndBaseName)
{
    EXPECT_EQ(fs::extensionOf("a.b.JPG"), "JPG");
    EXPECT_EQ(fs::extensionOf("noext"), "");
    EXPECT_EQ(fs::extensionOf("trailing."), "");
    EXPECT_EQ(fs::baseNameOf("a.b.jpg"), "a.b");
    EXPECT_EQ(fs::baseNameOf("noext"), "noext");
}

TEST(FileSystem, RenameNeverReplaces)
{
    QTemporaryDir folder;
    writeFile(folder.path(), "a.jpg", "first");
    writeFile(folder.path(), ".b.jpg", "second");
    EXPECT_EQ(fs::renameNoReplace(folder.path(), "a.jpg", ".b.jpg"), fs::RenameStatus::TargetExists);
    QFile b(folder.filePath(".b.jpg"));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_EQ(b.readAll(), "second");
    EXPECT_TRUE(QFile::exists(folder.filePath("a.jpg")));

    EXPECT_EQ(fs::renameNoReplace(folder.path(), "gone.jpg", "c.jpg"), fs::RenameStatus::SourceMissing);
    EXPECT_EQ(fs::renameNoReplace(folder.path(), "a.jpg", "../a.jpg"), fs::RenameStatus::UnsafeName);
    EXPECT_EQ(fs::renameNoReplace(folder.path(), "a.jpg", ".."), fs::RenameStatus::UnsafeName);
    EXPECT_EQ(fs::renameNoReplace(folder.path(), "a.jpg", "c.jpg"), fs::RenameStatus::Renamed);
    EXPECT_EQ(fs::listPlainFiles(folder.path()), QStringList({"c.jpg"}));
}

// Each way of renaming, as the volume allows it, never replaces a file and
// leaves nothing behind when it fails; the way is found once per folder.
TEST(FileSystem, EveryWayOfRenamingNeverReplaces)
{
    struct Volume {
        int noReplaceError, linkError;
        fs::RenameMethod method;
    };
    const Volume volumes[] = {{0, 0, fs::RenameMethod::NoReplace},
                              {EINVAL, 0, fs::RenameMethod::LinkUnlink},
                              {EINVAL, EPERM, fs::RenameMethod::Placeholder}};
    for (const Volume &volume : volumes) {
        SCOPED_TRACE(int(volume.method));
        QTemporaryDir folder;
        writeFile(folder.path(), "a.jpg", "first");
        writeFile(folder.path(), "b.jpg", "second");
        PlayedFileSystem played;
        played.noReplaceError = volume.noReplaceError;
        played.linkError = volume.linkError;
        fs::FolderMover mover(folder.path(), played);
        EXPECT_EQ(mover.move("a.jpg", "b.jpg").status, fs::RenameStatus::TargetExists);
        EXPECT_EQ(mover.move("gone.jpg", "c.jpg").status, fs::RenameStatus::SourceMissing);
        EXPECT_EQ(mover.move("a.jpg", "c.jpg").status, fs::RenameStatus::Renamed);
        EXPECT_EQ(mover.method(), volume.method);
        EXPECT_EQ(played.noReplaceCalls, volume.noReplaceError ? 1 : 3); // refused once, then not tried again
        EXPECT_EQ(filesIn(folder.path()), QStringList({"b.jpg", "c.jpg"}));
        EXPECT_EQ(readFile(folder.filePath("b.jpg")), "second");
        EXPECT_EQ(readFile(folder.filePath("c.jpg")), "first");
    }
}

// What the volume answers tells whether the run can go on.
TEST(FileSystem, VolumeErrorsAreToldApart)
{
    const std::pair<int, fs::RenameStatus> answers[] = {
        {EROFS, fs::RenameStatus::ReadOnly},          {ENOSPC, fs::RenameStatus::DiskFull},
        {ENOTCONN, fs::RenameStatus::Unreachable},    {EIO, fs::RenameStatus::Unreachable},
        {EACCES, fs::RenameStatus::PermissionDenied}, {EXDEV, fs::RenameStatus::Failed}};
    QTemporaryDir folder;
    writeFile(folder.path(), "a.jpg");
    for (const auto &[error, status] : answers) {
        PlayedFileSystem played;
        played.failFrom = 0;
        played.failError = error;
        const fs::MoveResult result = fs::FolderMover(folder.path(), played).move("a.jpg", "b.jpg");
        EXPECT_EQ(result.status, status) << error;
        EXPECT_EQ(result.error, error);
    }
    EXPECT_EQ(filesIn(folder.path()), QStringList({"a.jpg"}));
}

// A card is found again wherever it is mounted: mount points read from the
// system's table (escaped names included), a folder's place on its volume,
// and a volume that is not there.
TEST(FileSystem, MountTableAndVolumePlaces)
{
    const QByteArray mountinfo =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "41 22 0:36 / /media/user/EOS\\040DIGITAL rw,nosuid - vfat /dev/sdb1 rw\n"
        "42 22 0:37 / /mnt/tab\\011and\\134slash rw - fuseblk /dev/loop3 rw\n"
        "43 22 0:38 / /media/\\345\\206\\231\\347\\234\\237 rw - exfat /dev/sdc1 rw\n"
        "\n"
        "truncated line\n";
    EXPECT_EQ(fs::mountPointsIn(mountinfo),
              QStringList({"/media/user/EOS DIGITAL", "/mnt/tab\tand\\slash", "/media/写真"}));

    QTemporaryDir folder;
    QDir(folder.path()).mkpath("DCIM/100CANON");
    const QString inner = folder.filePath("DCIM/100CANON");
    const fs::VolumePlace place = fs::volumePlaceOf(inner);
    ASSERT_FALSE(place.root.isEmpty());
    EXPECT_EQ(QDir::cleanPath(QDir(place.root).filePath(place.inside)), fs::canonicalFolder(inner));
    EXPECT_TRUE(fs::volumeMounted(place));
    EXPECT_FALSE(fs::volumeMounted({"uuid:0000-NONE", "/media/none", ""}));
    EXPECT_TRUE(fs::foldersAtPlace({"uuid:0000-NONE", place.root, place.inside}).isEmpty());

    // The drive list offers what a user picks photos from, not the system's own mounts.
    const std::pair<const char *, bool> volumes[] = {
        {"/", true}, {"/media/user/EOS DIGITAL", true}, {"/run/media/user/CARD", true}, {"/mnt/nas", true},
        {"/home", true}, {"/srv/photos", true}, {"/run/user/1000/gvfs", true}, {"/boot/efi", false},
        {"/snap/core22/1380", false}, {"/run/user/1000/doc", false}, {"/run/user/1000/gvfsx", false},
        {"/var/lib/docker/overlay2/x/merged", false}, {"/usr", false}, {"/variety", true}};
    for (const auto &[root, offered] : volumes)
        EXPECT_EQ(fs::isUserVolume(QString::fromUtf8(root)), offered) << root;
}

// A file is known by its size and content; its time and inode are hints
// (FAT drivers rewrite times; inodes change with every mount). A record of
// an older version, without content, goes by size and time to the 2 seconds
// FAT keeps, or by its inode.
TEST(FileSystem, AFileIsKnownByItsContent)
{
    QTemporaryDir folder;
    const QByteArray big(200 * 1024, 'x');
    writeFile(folder.path(), "a.jpg", "same size");
    writeFile(folder.path(), "b.jpg", "same SIZE");
    writeFile(folder.path(), "c.jpg", big);
    writeFile(folder.path(), "d.jpg", QByteArray(big).replace(100 * 1024, 1, "y")); // differs in the middle only
    writeFile(folder.path(), "e.jpg", QByteArray(big).replace(big.size() - 1, 1, "y"));
    const QStringList names = {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"};
    const auto identities = fs::identifyContents(folder.path(), names);
    std::map<QString, fs::FileIdentity> id;
    for (qsizetype i = 0; i < names.size(); ++i)
        id[names[i]] = identities[size_t(i)].value();
    ASSERT_TRUE(id["a.jpg"].content);
    id["b.jpg"].modified = id["a.jpg"].modified;
    EXPECT_FALSE(fs::sameFile(id["a.jpg"], id["b.jpg"]));
    EXPECT_TRUE(fs::sameFile(id["c.jpg"], id["d.jpg"])); // the middle of a picture is never rewritten alone
    EXPECT_FALSE(fs::sameFile(id["c.jpg"], id["e.jpg"]));
    fs::FileIdentity shifted = id["a.jpg"];
    shifted.modified += 3600; // FAT's local time read in another zone
    shifted.inode += 1;
    EXPECT_TRUE(fs::sameFile(id["a.jpg"], shifted));
    EXPECT_FALSE(fs::identifyContent(folder.path(), "missing.jpg"));

    const fs::FileIdentity recorded{100, 1000, 7};
    EXPECT_TRUE(fs::sameFile(recorded, {100, 1002, 99}));
    EXPECT_FALSE(fs::sameFile(recorded, {100, 1003, 8}));
    EXPECT_TRUE(fs::sameFile(recorded, {100, 1010, 7})); // time settled later, same mount
    EXPECT_FALSE(fs::sameFile(recorded, {101, 1000, 7}));
    EXPECT_TRUE(fs::sameFile({-1, 0, 7}, {5, 5, 7})); // a record of an older version: its inode alone
    EXPECT_FALSE(fs::sameFile({-1, 0, 7}, {5, 5, 8}));
}

TEST(FileSystem, LastModifiedIsLocalToTheSecond)
{
    QTemporaryDir folder;
    const QString path = writeFile(folder.path(), "a.jpg");
    setModified(path, at("2021-03-05 09:10:11").addMSecs(700));
    EXPECT_EQ(fs::lastModified(path), at("2021-03-05 09:10:11"));
    EXPECT_FALSE(fs::lastModified(folder.filePath("missing")).isValid());
}

} // namespace
