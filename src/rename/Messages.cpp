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

QString folderMissing(const QString &folder)
{
    return QStringLiteral("フォルダが見つからないため、何も変更しませんでした。\r\rフォルダ名：") + folder;
}

} // namespace pelmora::text
