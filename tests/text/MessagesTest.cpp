// SPDX-License-Identifier: GPL-3.0-or-later
// The wording the windows and pelmora-cli give, from values alone: the
// closing messages and refusals whose words are fixed, and where a date
// taken came from.
#include "text/Messages.h"

#include <gtest/gtest.h>

using namespace pelmora;

namespace {

OperationOutcome closing(Operation operation, int renamed, int excluded, int failed)
{
    OperationOutcome outcome;
    outcome.plan.operation = operation;
    outcome.renamed = renamed;
    outcome.plan.excluded = excluded;
    outcome.failed = failed;
    return outcome;
}

TEST(Messages, ClosingMessagesAndRefusals)
{
    OperationOutcome stopped = closing(Operation::NewNumber, 4, 0, 0);
    stopped.status = OperationOutcome::Status::Stopped;
    stopped.stopReason = OperationOutcome::StopReason::Cancelled;
    stopped.notDone = 2;
    OperationOutcome startNumber;
    startNumber.status = OperationOutcome::Status::StartNumberInvalid;
    startNumber.refusal = OperationOutcome::Refusal::StartNumber;
    startNumber.subject = "1.5";
    OperationOutcome undecodable = closing(Operation::ShotDate, 1, 0, 1);
    undecodable.plan.undecodable = QStringList{"\\x93\\xfa.jpg"};
    const std::pair<OperationOutcome, QString> cases[] = {
        {closing(Operation::ShotDate, 5, 1, 0), "5件のファイル名を変更しました\r (1件は拡張子が合致しないため変更除外しました)"},
        {closing(Operation::NewNumber, 3, 0, 0), "3件のファイル名を変更しました\r (全件変更されました)"},
        {closing(Operation::ReplaceText, 0, 1, 1),
         "0件のファイル名を変更しました\r (1件は拡張子が合致しないため変更除外しました)\r (1件は変更できませんでした)"},
        {closing(Operation::KeepExisting, 3, 0, 0), "変更しました"},
        {closing(Operation::KeepExisting, 2, 0, 1), "変更しました\r (1件は変更できませんでした)"},
        {closing(Operation::Undo, 3, 0, 0), "3件のファイル名を元に戻しました"},
        {closing(Operation::Undo, 1, 0, 2), "1件のファイル名を元に戻しました\r (2件は変更できませんでした)"},
        {stopped, "4件のファイル名を変更しました\r (中止しました。2件は変更していません)"},
        {startNumber, "Start Number欄には数字以外は入力できません。\r\r現在の入力値：1.5"},
        {undecodable, "1件のファイル名を変更しました\r (1件は変更できませんでした)\r (うち1件はファイル名がUTF-8でないため変更できませんでした：\\x93\\xfa.jpg)"},
    };
    for (const auto &[outcome, message] : cases)
        EXPECT_EQ(text::outcomeMessage(outcome), message);
}

TEST(Messages, FailuresAndDateOrigins)
{
    const Failure notADatabase{Failure::Kind::ReadWrite, "/data/FileNameDB.db", 0, 26, "file is not a database"};
    EXPECT_EQ(text::databaseUnavailable(notADatabase),
              "データベースを使用できないため、何も変更しませんでした。\r\rファイル：/data/FileNameDB.db\r原因：読み書きできません (file is not a database)");
    const Failure locked{Failure::Kind::InUse, "/data/FileNameDB.db", 0, 5, "database is locked"};
    EXPECT_EQ(text::compactionError(locked), "エラー 5 ： database is locked");

    using Field = DateOrigin::Field;
    const std::pair<DateOrigin, const char *> origins[] = {
        {{Field::ExifOriginal, {}, {}}, "撮影日時(EXIF)"},
        {{Field::ExifDigitized, {}, {}}, "作成日時(EXIF)"},
        {{Field::XmpOriginal, {}, {}}, "撮影日時(XMP)"},
        {{Field::IptcCreated, {}, {}}, "作成日時(IPTC)"},
        {{Field::MovieUtc, "QuickTime", "+09:00"}, "録画日時(QuickTime, UTC→UTC+09:00)"},
        {{Field::MovieLocal, "QuickTime", "+09:00"}, "録画日時(QuickTime, UTC+09:00)"},
        {{Field::AvchdRecorded, "AVCHD", "+01:00"}, "録画日時(AVCHD, UTC+01:00)"},
    };
    for (const auto &[origin, text] : origins)
        EXPECT_EQ(text::dateOriginText(origin), text);
}

} // namespace
