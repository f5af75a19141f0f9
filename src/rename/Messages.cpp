#include "rename/Messages.h"

#include "rename/NameDatabase.h"

namespace pelmora::text {

QString renameSummary(int renamed, int excluded, int failed)
{
    QString message = QString::number(renamed) + QStringLiteral("件のファイル名を変更しました\r");
    if (excluded == 0)
        message += QStringLiteral(" (全件変更されました)");
    else
        message += QStringLiteral(" (") + QString::number(excluded) + QStringLiteral("件は拡張子が合致しないため変更除外しました)");
    return message + failureLine(failed);
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

QString databaseUnavailable(const DatabaseError &error)
{
    return QStringLiteral("データベースを使用できないため、何も変更しませんでした。\r\rファイル：") + error.file()
        + QStringLiteral("\r原因：") + error.cause();
}

QString databaseUnreadable(const DatabaseError &error)
{
    return QStringLiteral("データベースを開けません。\r\rファイル：") + error.file() + QStringLiteral("\r原因：")
        + error.cause();
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

QString stoppedLine(int untouched)
{
    return QStringLiteral("\r (データベースに記録できないため途中で中止しました。") + QString::number(untouched)
        + QStringLiteral("件は変更していません)");
}

QString undoSummary(int undone, int failed)
{
    return QString::number(undone) + QStringLiteral("件のファイル名を元に戻しました") + failureLine(failed);
}

QString nothingToUndo()
{
    return QStringLiteral("元に戻せる変更はありません。");
}

QString unreadableLine(const QStringList &names)
{
    if (names.isEmpty())
        return {};
    constexpr int kShown = 10;
    QString line = QStringLiteral("\r (") + QString::number(names.size())
        + QStringLiteral("件は読み取れないためファイル日時を使いました：") + names.mid(0, kShown).join(QStringLiteral("、"));
    if (names.size() > kShown)
        line += QStringLiteral(" ほか");
    return line + u')';
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

} // namespace pelmora::text
