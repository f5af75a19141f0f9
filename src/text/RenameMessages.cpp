// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/Messages.h"

#include "platform/Clock.h"
#include "database/NameDatabase.h"
#include "rename/Recovery.h"

#include <QSet>

#include <cerrno>
#include <cstring>

namespace pelmora::text {

namespace {

QString excludedLine(int excluded)
{
    return excluded == 0 ? QString()
                         : QStringLiteral("\r (") + QString::number(excluded)
            + QStringLiteral("件は拡張子が合致しないため変更除外しました)");
}

} // namespace

QString renameSummary(int renamed, int excluded, int failed, bool stopped, int unchanged)
{
    QString message = QString::number(renamed) + QStringLiteral("件のファイル名を変更しました\r");
    if (unchanged != 0) // never "all renamed": those were not
        return message.chopped(1) + excludedLine(excluded) + QStringLiteral("\r (") + QString::number(unchanged)
            + QStringLiteral("件は名前が変わらないため変更しませんでした)") + failureLine(failed);
    if (excluded != 0)
        message += excludedLine(excluded).mid(1);
    else if (failed == 0 && stopped)
        return message.chopped(1); // the line that says it was stopped follows
    else if (failed == 0)
        message += QStringLiteral(" (全件変更されました)");
    else
        return message + failureLine(failed).mid(1); // in place of "all renamed", which would not be true
    return message + failureLine(failed);
}

namespace {

QString closingMessage(const OperationOutcome &outcome)
{
    switch (rulesOf(outcome.plan.operation).closing) {
    case Closing::Counts:
        return renameSummary(outcome.renamed, outcome.plan.excluded, outcome.failed,
                             outcome.stopReason != OperationOutcome::StopReason::None, outcome.plan.unchanged);
    case Closing::Plain:
        return QStringLiteral("変更しました") + failureLine(outcome.failed);
    case Closing::Undone:
        return undoSummary(outcome.renamed, outcome.failed);
    }
    return {};
}

} // namespace

QString outcomeMessage(const OperationOutcome &outcome)
{
    using Refusal = OperationOutcome::Refusal;
    const QString &subject = outcome.subject;
    switch (outcome.refusal) {
    case Refusal::None: break;
    case Refusal::StartNumber: return notNumericStartNumber(subject);
    case Refusal::UnusableText: return unusableText(subject, outcome.textBox, outcome.count == 1);
    case Refusal::FolderMissing: return folderMissing(subject);
    case Refusal::FolderNotWritable: return folderNotWritable(subject, outcome.error);
    case Refusal::FolderBusy: return folderBusy(subject);
    case Refusal::RecoverFirst: return recoverFirst(subject, outcome.count);
    case Refusal::RecoveryFolderUnavailable: return recoveryFolderUnavailable(subject);
    case Refusal::UnsettledRun:
        return QStringLiteral("前回の処理が途中で終わったため、先にその記録を整えます。\r"
                              "変更する内容は、記録を整えた後に決まります。\r\rフォルダ名：")
            + subject;
    case Refusal::StrayTemporaryNames: return strayTemporaryNames(subject, outcome.names);
    case Refusal::NothingToUndo: return nothingToUndo();
    case Refusal::UndoChanged: return undoChanged();
    case Refusal::UndoFolderMissing: return undoFolderMissing(subject);
    case Refusal::UndoVolumeMissing: return undoVolumeMissing(subject);
    case Refusal::Database:
        return outcome.databaseFailure ? databaseUnavailable(*outcome.databaseFailure) : QString();
    }
    if (outcome.plan.cancelled) // stopped while the files were read: none renamed
        return kStoppedBeforeRenaming;
    QString message = closingMessage(outcome) + unreadableLine(outcome.plan.unreadable)
        + undecodableLine(outcome.plan.undecodable)
        + unopenedLine(outcome.plan.unopened);
    if (outcome.stopReason != OperationOutcome::StopReason::None)
        message += stoppedLine(outcome.stopReason, outcome.notDone, outcome.plan.folder,
                               outcome.databaseFailure ? &*outcome.databaseFailure : nullptr);
    return message + leftTemporaryLine(outcome.leftTemporary);
}

QString unusableText(const QString &character, OperationOutcome::TextBox box, bool onThisVolume)
{
    const QString boxName = box == OperationOutcome::TextBox::Pre ? QStringLiteral("Pre Text") : QStringLiteral("Post Text");
    // A control character is shown by its code: it has no shape of its own.
    const QString shownCharacter = character.size() == 1 && character[0].unicode() < 0x20
        ? QStringLiteral("U+") + QString::number(character[0].unicode(), 16).rightJustified(4, u'0').toUpper()
        : character;
    return boxName + QStringLiteral("に、ファイル名に使えない文字「") + shownCharacter + QStringLiteral("」があります。")
        + (onThisVolume ? QStringLiteral("\r（このフォルダのドライブでは \\ : * ? \" < > | を名前に使えません）") : QString());
}

QString failureLine(int failed)
{
    return failed == 0 ? QString()
                       : QStringLiteral("\r (") + QString::number(failed) + QStringLiteral("件は変更できませんでした)");
}

QString notNumericStartNumber(const QString &startNumber)
{
    return QStringLiteral("Start Number欄には数字以外は入力できません。\r\r現在の入力値：") + startNumber;
}

QString failureCause(const Failure &failure)
{
    QString cause;
    switch (failure.kind) {
    case Failure::Kind::FolderMissing: cause = QStringLiteral("フォルダがありません"); break;
    case Failure::Kind::CannotOpen: cause = QStringLiteral("開けません"); break;
    case Failure::Kind::ReadOnly: cause = QStringLiteral("書き込みできません"); break;
    case Failure::Kind::ReadWrite: cause = QStringLiteral("読み書きできません"); break;
    case Failure::Kind::InUse: cause = QStringLiteral("使用中です"); break;
    case Failure::Kind::LeftoverCopy: cause = QStringLiteral("以前の最適化で作られたファイルが残っています"); break;
    case Failure::Kind::Unreadable: cause = QStringLiteral("読み取れません"); break;
    case Failure::Kind::CannotWrite: cause = QStringLiteral("書き込めません"); break;
    case Failure::Kind::Outdated: cause = QStringLiteral("以前のバージョンの形式です（--dry-run では更新しません）"); break;
    }
    if (!failure.detail.isEmpty())
        cause += QStringLiteral(" (") + failure.detail + u')';
    return cause;
}

QString databaseUnavailable(const Failure &failure)
{
    return QStringLiteral("データベースを使用できないため、何も変更しませんでした。\r\rファイル：") + failure.subject
        + QStringLiteral("\r原因：") + failureCause(failure);
}

QString databaseUnreadable(const Failure &failure)
{
    return QStringLiteral("データベースを開けません。\r\rファイル：") + failure.subject + QStringLiteral("\r原因：")
        + failureCause(failure);
}

QString folderMissing(const QString &folder)
{
    return QStringLiteral("フォルダが見つからないため、何も変更しませんでした。\r\rフォルダ名：") + folder;
}

QString folderBusy(const QString &folder)
{
    return QStringLiteral("このフォルダでは別の処理がファイル名を変更中のため、何も変更しませんでした。\r"
                          "その処理が終わってから、もう一度実行してください。\r\rフォルダ名：")
        + folder;
}

QString recoverFirst(const QString &folder, int waiting)
{
    return QStringLiteral("前回の処理が途中で終わったため、") + QString::number(waiting)
        + QStringLiteral("件のファイルが一時的な名前のままです。\r先に元のファイル名に戻してください。"
                         "何も変更しませんでした。\r\rフォルダ名：")
        + folder;
}

QString stoppedLine(OperationOutcome::StopReason reason, int untouched, const QString &folder,
                    const Failure *failure)
{
    using Reason = OperationOutcome::StopReason;
    QString why;
    switch (reason) {
    case Reason::Database: why = QStringLiteral("データベースに記録できないため"); break;
    case Reason::ReadOnly: why = QStringLiteral("フォルダに書き込めなくなったため"); break;
    case Reason::DiskFull: why = QStringLiteral("ディスクの空きがなくなったため"); break;
    case Reason::FolderGone: why = QStringLiteral("フォルダにアクセスできなくなったため"); break;
    case Reason::Cancelled:
        return QStringLiteral("\r (中止しました。") + QString::number(untouched) + QStringLiteral("件は変更していません)");
    case Reason::None: return {};
    }
    QString line = QStringLiteral("\r (") + why + QStringLiteral("途中で中止しました。") + QString::number(untouched)
        + QStringLiteral("件は変更していません)");
    if (reason == Reason::Database && failure)
        line += QStringLiteral("\r\rファイル：") + failure->subject + QStringLiteral("\r原因：") + failureCause(*failure);
    else
        line += QStringLiteral("\r\rフォルダ名：") + folder;
    return line;
}

QString leftTemporaryLine(int count)
{
    if (count == 0)
        return {};
    return QStringLiteral("\r (") + QString::number(count)
        + QStringLiteral("件は一時的な名前のままです。フォルダが使えるようになってから、"
                         "元のファイル名に戻してください)");
}

QString folderNotWritable(const QString &folder, int error)
{
    const QString cause = error == EROFS ? QStringLiteral("読み取り専用のボリュームです")
                          : error == EACCES || error == EPERM ? QStringLiteral("書き込みの権限がありません")
                                                              : QString::fromLocal8Bit(std::strerror(error));
    return QStringLiteral("このフォルダには書き込めないため、何も変更しませんでした。\r\rフォルダ名：") + folder
        + QStringLiteral("\r原因：") + cause;
}

QString strayTemporaryNames(const QString &folder, const QStringList &names)
{
    constexpr int kShown = 10;
    QString message = QStringLiteral("このフォルダには、記録のない一時的な名前のファイルが") + QString::number(names.size())
        + QStringLiteral("件あります。データベースの記録が失われた可能性があるため、何も変更しませんでした。\r"
                         "元の名前を確かめて、ご自身で名前を付け直してください。\r\rフォルダ名：")
        + folder + u'\r' + names.mid(0, kShown).join(u'\r');
    if (names.size() > kShown)
        message += QStringLiteral("\rほか") + QString::number(names.size() - kShown) + QStringLiteral("件");
    return message;
}

QString undoVolumeMissing(const QString &folder)
{
    return QStringLiteral("フォルダが見つからないため、元に戻せませんでした。\r"
                          "カードやドライブをつないでから、もう一度実行してください。\r\rフォルダ名：")
        + folder;
}

QString undoSummary(int undone, int failed)
{
    return QString::number(undone) + QStringLiteral("件のファイル名を元に戻しました") + failureLine(failed);
}

QString nothingToUndo()
{
    return QStringLiteral("元に戻せる変更はありません。");
}

namespace {
// " (N件は<what>：a、b ほか)": the first ten names.
QString namesLine(const QStringList &names, const QString &what, const QString &of = {})
{
    if (names.isEmpty())
        return {};
    constexpr int kShown = 10;
    QString line = QStringLiteral("\r (") + of + QString::number(names.size()) + what + QStringLiteral("：")
        + names.mid(0, kShown).join(QStringLiteral("、"));
    if (names.size() > kShown)
        line += QStringLiteral(" ほか");
    return line + u')';
}
} // namespace

QString readingFormat(Reading what)
{
    return what == Reading::Files ? QStringLiteral("ファイルを確認しています　%v / %m 件")
                                  : QStringLiteral("撮影日時を読み取っています　%v / %m 件");
}

QString unreadableLine(const QStringList &names)
{
    return namesLine(names, QStringLiteral("件は読み取れないためファイル日時を使いました"));
}

QString undecodableLine(const QStringList &names)
{
    // Of the files the line before counts as not renamed.
    return namesLine(names, QStringLiteral("件は") + kUndecodableCause, QStringLiteral("うち"));
}

QString unopenedLine(const QStringList &names)
{
    return namesLine(names, QStringLiteral("件は") + kUnopenedCause, QStringLiteral("うち"));
}

QString logNotWritten(int error)
{
    return QStringLiteral("ログを書き出せませんでした。\r原因：") + QString::fromLocal8Bit(std::strerror(error));
}

QString undoChanged()
{
    return QStringLiteral("元に戻す対象の変更が変わったため、何も変更しませんでした。もう一度実行してください。");
}

QString undoFolderMissing(const QString &folder)
{
    return QStringLiteral("フォルダが見つからないため、直前の変更は元に戻せません。"
                          "次に元に戻すときは、その前の変更が対象になります。\r\rフォルダ名：")
        + folder;
}

QString leftOutReason(LeftOut::Reason reason)
{
    switch (reason) {
    case LeftOut::Reason::Extension: return QStringLiteral("拡張子");
    case LeftOut::Reason::Unchanged: return QStringLiteral("名前が変わらない");
    case LeftOut::Reason::TemporaryName: return QStringLiteral("一時的な名前");
    case LeftOut::Reason::UndecodableName: return QStringLiteral("名前がUTF-8でない");
    case LeftOut::Reason::Unreadable: return QStringLiteral("読み取れません");
    case LeftOut::Reason::Folder: return QStringLiteral("フォルダ");
    case LeftOut::Reason::Special: return QStringLiteral("ファイルではない（パイプ・デバイスなど）");
    case LeftOut::Reason::DanglingLink: return QStringLiteral("リンク先がない");
    case LeftOut::Reason::Link: return QStringLiteral("リンク");
    case LeftOut::Reason::NoName: return QStringLiteral("置換すると名前がなくなるか「.」で始まる");
    }
    return {};
}

QString failureCause(FailureCause cause, int error)
{
    QString why;
    switch (cause) {
    case FailureCause::None: return {};
    case FailureCause::TargetExists: why = QStringLiteral("名前が既に存在します"); break;
    case FailureCause::Vanished: why = QStringLiteral("ファイルが見つかりません"); break;
    case FailureCause::Permission: why = QStringLiteral("書き込みが許可されていません"); break;
    case FailureCause::NameRefused: why = QStringLiteral("使えない名前です"); break;
    case FailureCause::LeftTemporary: why = QStringLiteral("一時的な名前のままです"); break;
    case FailureCause::Stopped: why = QStringLiteral("中止したため変更していません"); break;
    case FailureCause::RolledBack: why = QStringLiteral("元に戻しました"); break;
    case FailureCause::ReadOnly: why = QStringLiteral("読み取り専用です"); break;
    case FailureCause::DiskFull: why = QStringLiteral("ディスクの空きがありません"); break;
    case FailureCause::Unreachable: why = QStringLiteral("フォルダにアクセスできません"); break;
    case FailureCause::NotTheSameFile: why = QStringLiteral("別のファイルに置き換わっています"); break;
    case FailureCause::CompanionFailed: why = QStringLiteral("関連ファイルの名前を変更できません"); break;
    case FailureCause::Other: why = QStringLiteral("変更できません"); break;
    }
    // The system's own words only where no cause of ours says more.
    if (cause == FailureCause::Other && error != 0)
        why += QStringLiteral("（") + QString::fromLocal8Bit(std::strerror(error)) + QStringLiteral("）");
    return why;
}

namespace {
// A name holding a line break or another control character would break its
// line in two: such characters are shown as their Unicode pictures.
QString shown(const QString &name)
{
    QString text = name;
    for (QChar &c : text) {
        if (c.unicode() < 0x20)
            c = QChar(0x2400 + c.unicode());
    }
    return text;
}
} // namespace

DetailTable failureTable(const RenamePlan &plan)
{
    DetailTable table{{QStringLiteral("変更前のファイル名"), QStringLiteral("変更後のファイル名"), QStringLiteral("結果"),
                       QStringLiteral("原因")},
                      {}};
    for (const PlannedRename &file : plan.files) {
        if (file.state == FileState::Done || file.cause == FailureCause::Stopped)
            continue;
        QString result = QStringLiteral("変更できませんでした");
        QString cause = failureCause(file.cause, file.error);
        if (file.state == FileState::Temporary)
            result = QStringLiteral("一時的な名前のままです（") + shown(file.temporaryName) + QStringLiteral("）");
        else if (file.state == FileState::Restored)
            result = QStringLiteral("元の名前に戻しました");
        else if (file.cause == FailureCause::RolledBack)
            result = QStringLiteral("変更した後、元に戻しました");
        if (file.cause == FailureCause::RolledBack)
            cause = QStringLiteral("処理が途中で止まりました");
        table.rows.push_back({{shown(file.formerName), shown(file.newName), result, cause}, true});
    }
    for (const QString &name : plan.undecodable)
        table.rows.push_back({{shown(name), QString(), QStringLiteral("変更できませんでした"), kUndecodableCause}, true});
    for (const QString &name : plan.unopened)
        table.rows.push_back({{shown(name), QString(), QStringLiteral("変更できませんでした"), kUnopenedCause}, true});
    return table;
}

QString dateOriginText(const DateOrigin &origin)
{
    using Field = DateOrigin::Field;
    const QString offset = QString(origin.offset).replace(QStringLiteral(" DST"), QStringLiteral(" 夏時間"));
    const auto movie = [&](const QString &zone) {
        QStringList parts{origin.container};
        if (!zone.isEmpty())
            parts << zone;
        parts.removeAll(QString());
        return QStringLiteral("録画日時") + (parts.isEmpty() ? QString() : u'(' + parts.join(QStringLiteral(", ")) + u')');
    };
    switch (origin.field) {
    case Field::None: return kFileTimeOrigin;
    case Field::ExifOriginal: return QStringLiteral("撮影日時(EXIF)");
    case Field::ExifDigitized: return QStringLiteral("作成日時(EXIF)");
    case Field::XmpOriginal: return QStringLiteral("撮影日時(XMP)");
    case Field::XmpCreated: return QStringLiteral("作成日時(XMP)");
    case Field::XmpPhotoshop: return QStringLiteral("作成日時(XMP Photoshop)");
    case Field::IptcCreated: return QStringLiteral("作成日時(IPTC)");
    case Field::MovieLocal:
    case Field::AvchdRecorded: return movie(offset.isEmpty() ? QString() : QStringLiteral("UTC") + offset);
    case Field::MovieUtc: return movie(QStringLiteral("UTC→UTC") + offset);
    case Field::MovieRecorded: return movie({});
    }
    return kFileTimeOrigin;
}

QString clockOffsetText(qint64 seconds)
{
    const qint64 magnitude = std::abs(seconds);
    const std::pair<qint64, const char16_t *> units[] = {
        {magnitude / 86400, u"日"}, {magnitude / 3600 % 24, u"時間"}, {magnitude / 60 % 60, u"分"}, {magnitude % 60, u"秒"}};
    QString text = seconds < 0 ? QStringLiteral("-") : QStringLiteral("+");
    for (const auto &[count, unit] : units) {
        if (count != 0)
            text += QString::number(count) + QString::fromUtf16(unit);
    }
    return magnitude == 0 ? QStringLiteral("0秒") : text;
}

QString correctionText(const DateCorrection &correction)
{
    if (!correction.made())
        return {};
    QStringList parts;
    if (correction.clockOffset != 0)
        parts << QStringLiteral("補正 ") + clockOffsetText(correction.clockOffset);
    if (correction.zoneFrom == DateCorrection::Zone::Photos)
        parts << QStringLiteral("時間帯 ") + correction.zone + QStringLiteral("（同じカメラの写真から）");
    else if (correction.zoneFrom == DateCorrection::Zone::NearbyPhotos)
        parts << QStringLiteral("時間帯 ") + correction.zone + QStringLiteral("（近くの写真から）");
    else if (correction.zoneFrom == DateCorrection::Zone::Chosen)
        parts << QStringLiteral("時間帯 ") + correction.zone + QStringLiteral("（指定）");
    return parts.join(QStringLiteral("、")) + QStringLiteral("：元の日時 ") + fixedDateTimeText(correction.asRead, u'/');
}

DetailTable planTable(const RenamePlan &plan)
{
    DetailTable table{{QStringLiteral("変更前のファイル名"), QStringLiteral("変更後のファイル名"), QStringLiteral("日時"),
                       QStringLiteral("日時の出所"), QStringLiteral("備考")},
                      {}};
    const OperationRules &rules = rulesOf(plan.operation);
    const bool byDateTaken = rules.dateSource == DateSource::Taken;
    const bool namedByDate = rules.naming == Naming::ByDay || rules.naming == Naming::LowestFree;
    const QSet<QString> notReadInTime(plan.unreadable.begin(), plan.unreadable.end());
    for (const PlannedRename &file : plan.files) {
        QString remark;
        if (file.takenByFolder)
            remark = QStringLiteral("同じ名前のフォルダがあるため変更できません");
        else if (file.nameTaken)
            remark = QStringLiteral("同じ名前のファイルがあるため変更できません");
        else if (file.blocked)
            remark = QStringLiteral("一緒に変更するファイルの名前が既にあるため変更できません");
        else if (file.newName == file.formerName)
            remark = QStringLiteral("名前は変わりません");
        else if (byDateTaken && file.dateOrigin.field == DateOrigin::Field::None)
            remark = notReadInTime.contains(file.formerName)
                ? QStringLiteral("撮影日時を読み取れなかったためファイル更新日時で付番")
                : QStringLiteral("撮影日時がないためファイル更新日時で付番");
        else if (file.dateStandsOut)
            remark = QStringLiteral("同じカメラの他のファイルと日時が大きく離れています（時計の設定を確認してください）");
        const bool marked = !remark.isEmpty();
        if (remark.isEmpty() && file.companion)
            remark = QStringLiteral("関連ファイル（次のファイルと一緒に変更）");
        if (remark.isEmpty() && file.rawMate)
            remark = QStringLiteral("関連ファイル（同じ撮影のJPEGと一緒に変更）");
        if (const QString corrected = correctionText(file.correction); !corrected.isEmpty())
            remark += (remark.isEmpty() ? QString() : QStringLiteral("　")) + corrected;
        // An undo shows the date each file was named by, and its kind.
        const bool undo = plan.operation == Operation::Undo;
        const QString origin = byDateTaken ? dateOriginText(file.dateOrigin)
            : !undo                        ? QString()
            : file.dateSource == DateSource::Taken    ? QStringLiteral("撮影日時")
            : file.dateSource == DateSource::Modified ? kFileTimeOrigin
                                                      : QString();
        table.rows.push_back({{shown(file.formerName), shown(file.newName),
                               namedByDate || undo ? fixedDateTimeText(file.date, u'/') : QString(), origin, remark},
                              marked});
    }
    for (const LeftOut &file : plan.leftOut)
        table.rows.push_back({{shown(file.name), QString(), QString(), QString(),
                               QStringLiteral("対象外：") + leftOutReason(file.reason)},
                              file.reason == LeftOut::Reason::Unchanged || file.reason == LeftOut::Reason::Unreadable
                                  || file.reason == LeftOut::Reason::NoName});
    return table;
}

QString tableLines(const DetailTable &table)
{
    QStringList lines;
    for (const DetailTable::Row &row : table.rows) {
        QString line = row.cells.value(0);
        if (!row.cells.value(1).isEmpty())
            line += QStringLiteral(" → ") + row.cells.value(1);
        for (qsizetype i = 2; i < row.cells.size(); ++i) {
            if (!row.cells[i].isEmpty())
                line += u'\t' + row.cells[i];
        }
        lines << line;
    }
    return lines.join(u'\n');
}

QString strandedQuestion(const UnfinishedRun &run)
{
    // Short lines: a box breaks a long one wherever it likes, inside a word too.
    return QStringLiteral("前回の処理が途中で終わりました。\r") + operationName(run.run.operation)
        + QStringLiteral("（") + fixedDateTimeText(run.run.started, u'/') + QStringLiteral(" 開始）\r\r")
        + QString::number(run.awaitingRestore) + QStringLiteral("件のファイルが一時的な名前のままです。\r\rフォルダ名\r")
        + run.run.folder + QStringLiteral("\r\rこの処理で名前を変えた") + QString::number(run.goingBack)
        + QStringLiteral("件のファイルを\r全て元のファイル名に戻しますか？");
}

QString restoreSummary(const RecoveryResult &result)
{
    if (result.folderUnavailable)
        return recoveryFolderUnavailable(result.folder);
    QString message = QString::number(result.restored) + QStringLiteral("件のファイル名を元に戻しました")
        + failureLine(result.failed);
    if (result.completed > 0) // renamed before the cut: the run stands as far as it went, and can be undone
        message += QStringLiteral("\r (") + QString::number(result.completed)
            + QStringLiteral("件は中断の前に変更が済んでいたため、変更後の名前のまま記録しました)");
    constexpr int kShown = 20;
    const auto listed = [&](const QString &heading, const QStringList &names) {
        if (names.isEmpty())
            return;
        message += QStringLiteral("\r\r") + heading + QStringLiteral("（フォルダ ") + result.folder
            + QStringLiteral("）：\r") + names.mid(0, kShown).join(u'\r');
        if (names.size() > kShown)
            message += QStringLiteral("\rほか") + QString::number(names.size() - kShown) + QStringLiteral("件");
    };
    if (result.stopped)
        message += QStringLiteral("\r\rフォルダに書き込めなくなったため途中で止めました。書き込めるようにしてから、もう一度実行してください。");
    listed(QStringLiteral("元に戻せなかったファイル"), result.notRestored);
    listed(QStringLiteral("記録した名前のどれにも見つからないファイル"), result.unaccounted);
    return message;
}

QString recoveryFolderUnavailable(const QString &folder)
{
    return QStringLiteral("前回の処理が途中で終わったフォルダが見つからないため、元のファイル名に戻せませんでした。\r"
                          "カードやドライブをつないでから、もう一度実行してください。"
                          "記録は残っています。\r\rフォルダ名：")
        + folder;
}

} // namespace pelmora::text
