// SPDX-License-Identifier: GPL-3.0-or-later
#include "dates/CameraClocks.h"
#include "dates/CameraSurvey.h"
#include "platform/Clock.h"
#include "platform/IsolatedReader.h"
#include "TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ctime>

using namespace pelmora;
using namespace pelmora::test;

// What a person types for --camera-offset, and what it means.
TEST(CameraClocks, OffsetsAreReadAsTyped)
{
    struct Case {
        const char *text;
        std::optional<ClockOffset> expected;
    };
    const Case cases[] = {
        {"Canon EOS R5=+00:03:20", ClockOffset{"Canon EOS R5", "", 200}},
        {"  SONY  ILCE-7M3 #4711 = -09:00:00 ", ClockOffset{"SONY ILCE-7M3", "4711", -9 * 3600}},
        {"Apple iPhone 12=8760:00:01", ClockOffset{"Apple iPhone 12", "", 8760LL * 3600 + 1}},
        {"A=B=+00:00:05", ClockOffset{"A=B", "", 5}}, // the offset follows the last '='
        {"Canon EOS R5=+3:20", std::nullopt},      // minutes and seconds, or hours and minutes?
        {"Canon EOS R5=+00:60:00", std::nullopt},
        {"=+00:00:10", std::nullopt},
        {"Canon EOS R5#=+00:00:10", std::nullopt},
        {"Canon EOS R5", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(parseClockOffset(c.text), c.expected) << c.text;
    EXPECT_EQ(offsetSecondsText(-200), "-00:03:20");
    EXPECT_EQ(offsetSecondsText(8760LL * 3600), "+8760:00:00");
}

// A body's own offset wins over its model's; a model is named as the
// table of cameras shows it or by make and model, blanks and case aside;
// a run's 0 leaves a kept offset out.
TEST(CameraClocks, TheOffsetOfABodyWinsOverItsModel)
{
    ClockOffsets offsets({{"NIKON D70", "", 60}, {"nikon corporation  nikon d70", "", 120}, {"NIKON D70", "77", -5},
                          {"Canon EOS R5", "", 30}});
    const Camera nikon{"NIKON CORPORATION", "NIKON D70", ""};
    EXPECT_EQ(cameraName(nikon), "NIKON D70");
    EXPECT_EQ(offsets.correctionOf(nikon), 120);
    EXPECT_EQ(offsets.correctionOf({"NIKON CORPORATION", "NIKON D70", "77"}), -5);
    EXPECT_EQ(offsets.correctionOf({"NIKON CORPORATION", "NIKON D70", "78"}), 120);
    EXPECT_EQ(offsets.correctionOf({"Canon", "Canon EOS R5", ""}), 30);
    EXPECT_EQ(offsets.correctionOf({"Canon", "Canon EOS R6", ""}), 0);
    EXPECT_EQ(offsets.correctionOf({}), 0);
    // Set last, in another spelling: a run's own over a kept one.
    offsets.set({"NIKON CORPORATION NIKON D70", "77", 7});
    EXPECT_EQ(offsets.correctionOf({"NIKON CORPORATION", "NIKON D70", "77"}), 7);
    offsets.set({"CANON EOS R5", "", 0});
    EXPECT_EQ(offsets.correctionOf({"Canon", "Canon EOS R5", ""}), 0);
    EXPECT_EQ(cameraName({"Apple", "iPhone 12", ""}), "Apple iPhone 12");
}

TEST(CameraClocks, ZonesAreOffsetsOrNames)
{
    const QDateTime summer(QDate(2021, 7, 4), QTime(12, 0), QTimeZone::utc());
    const std::pair<const char *, std::optional<int>> cases[] = {
        {"+09:00", 9 * 3600}, {"-04:30", -(4 * 3600 + 1800)}, {"UTC", 0}, {"Europe/Paris", 7200},
        {"Etc/GMT+5", -5 * 3600}, {"+14:00", 14 * 3600},
        {"+14:30", std::nullopt}, {"Mars/Olympus", std::nullopt}, {"garbage", std::nullopt}, {"", std::nullopt},
    };
    for (const auto &[text, seconds] : cases) {
        const std::optional<QTimeZone> zone = parseZone(text);
        ASSERT_EQ(zone.has_value(), seconds.has_value()) << text;
        if (zone)
            EXPECT_EQ(zone->offsetFromUtc(summer), *seconds) << text;
    }
}

// The Pixel's clock ran 1 minute 41 seconds ahead of the satellites (its
// date, less its written zone +02:00, against its GPS time: exiftool reads
// 22:53:51 and 20:52:10); the GoPro writes no zone, so its GPS time tells
// nothing; the Writer file names no camera.
TEST(CameraClocks, GpsTimeSuggestsAnOffsetAndKeptOnesAreShown)
{
    QTemporaryDir folder;
    for (const char *file : {"Google.jpg", "GoPro.jpg", "Writer.jpg"})
        copyMedia(QStringLiteral("exiftool-t-images/") + file, folder.path(), QString::fromUtf8(file));
    IsolatedPropertyReader reader;
    const std::vector<CameraSummary> cameras =
        camerasOf(folder.path(), reader, ClockOffsets({{"GoPro HERO6 Black", "C3221324657219", 15}}));
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameraName(cameras[0].camera), "Google Pixel 8 Pro");
    EXPECT_EQ(cameras[0].files, 1);
    EXPECT_EQ(cameras[0].first, at("2023-10-06 22:53:51"));
    EXPECT_EQ(cameras[0].suggested, -101);
    EXPECT_EQ(cameraName(cameras[1].camera), "GoPro HERO6 Black");
    EXPECT_EQ(cameras[1].camera.serial, "C3221324657219");
    EXPECT_EQ(cameras[1].offset, 15);
    EXPECT_EQ(cameras[1].suggested, std::nullopt);
}

// A clock's hour that summer time skips is still that day's (a camera
// clock shows it): read, moved into, and counted from for the hour a day
// starts. A move past the years a name can show is none.
TEST(CameraClocks, WallClockTimesSurviveTheHourSummerTimeSkips)
{
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Paris");
    tzset();
    const QDateTime skipped = parseFixedDateTime(u"2021-03-28 02:30:00", u'-');
    EXPECT_EQ(skipped, QDateTime(QDate(2021, 3, 28), QTime(3, 30)));
    EXPECT_EQ(wallClockPlus(parseFixedDateTime(u"2021-03-28 01:50:00", u'-'), 40 * 60), skipped);
    EXPECT_FALSE(wallClockPlus(parseFixedDateTime(u"0001-01-01 00:30:00", u'-'), -7200).isValid());
    EXPECT_FALSE(wallClockPlus(parseFixedDateTime(u"9999-12-31 23:00:00", u'-'), 7200).isValid());
    qputenv("TZ", zone);
    tzset();
}
