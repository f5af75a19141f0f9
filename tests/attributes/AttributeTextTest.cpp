// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/AttributeText.h"
#include "platform/PropertyReader.h"
#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

TEST(AttributeText, FiveHundredLinesWithTheColumnsTheRenamesRead)
{
    QTemporaryDir folder;
    writeFile(folder.path(), ".hidden.jpg");
    QFile::link("/dev/zero", folder.filePath("a-device.jpg")); // no file to read: passed by
    const QString photo = copyMedia("ianare-exif-samples/Canon_40D.jpg", folder.path(), "b.jpg");
    copyMedia("generated/gen_clip_9s.mov", folder.path(), "c.mov");
    ASSERT_EQ(firstFileOf(folder.path()), photo);

    PropertyReader reader;
    const QString text = attributeText(readAttributes(photo, reader.read(photo)));
    EXPECT_FALSE(text.endsWith("\r\n"));
    const QStringList lines = text.split("\r\n");
    ASSERT_EQ(lines.size(), 500);
    EXPECT_EQ(lines[0], "b.jpg");
    for (int n = 1; n < 500; ++n)
        EXPECT_TRUE(lines[n].startsWith(QString::number(n) + " : ")) << n;
    EXPECT_EQ(lines[12], "12 : \u200E2008/\u200E05/\u200E30 \u200E\u200E15:56:01");
    EXPECT_EQ(lines[30], "30 : Canon EOS 40D");
    EXPECT_EQ(lines[32], "32 : Canon");
    EXPECT_EQ(lines[2], "2 : image/jpeg");
    EXPECT_EQ(lines[27], "27 : ");
    EXPECT_EQ(lines[499], "499 : ");

    const QStringList movie = attributeText(readAttributes(folder.filePath("c.mov"), reader.read(folder.filePath("c.mov")))).split("\r\n");
    EXPECT_EQ(movie[27], "27 : 00:00:09");
    EXPECT_EQ(movie[39], "39 : 160 x 120");
    EXPECT_EQ(movie[12], "12 : \u200E2021/\u200E07/\u200E05 \u200E\u200E08:00:00"); // recorded, UTC here
    EXPECT_EQ(movie[13], "13 : 録画日時(QuickTime, UTC→UTC+00:00)");
    EXPECT_EQ(lines[13], "13 : 撮影日時(EXIF)");

    // The zone written beside the date, and what its camera's kept offset makes of it.
    const QString pixel = copyMedia("exiftool-t-images/Google.jpg", folder.path(), "e.jpg");
    const QStringList corrected =
        attributeText(readAttributes(pixel, reader.read(pixel), ClockOffsets({{"Google Pixel 8 Pro", "", -101}})))
            .split("\r\n");
    EXPECT_EQ(corrected[13], "13 : 撮影日時(EXIF)　時間帯 UTC+02:00　補正 -1分41秒（2023/10/06 22:52:10）");
    EXPECT_EQ(corrected[37], "37 : 40°24'0\"N"); // as maps write it
    EXPECT_EQ(corrected[38], "38 : 3°42'53\"W");

    // A damaged file: its name and empty values, never a crash.
    const QString damaged = writeFile(folder.path(), "d.jpg", QByteArray("\xFF\xD8\xFF\xE1\x7F\xFF" "Exif", 10));
    const QStringList broken = attributeText(readAttributes(damaged, reader.read(damaged))).split("\r\n");
    ASSERT_EQ(broken.size(), 500);
    EXPECT_EQ(broken[30], "30 : ");

    QTemporaryDir empty;
    writeFile(empty.path(), ".only-hidden");
    EXPECT_EQ(firstFileOf(empty.path()), std::nullopt);
}

} // namespace
