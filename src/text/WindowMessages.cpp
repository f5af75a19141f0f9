// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/Messages.h"

#include "platform/Clock.h"

#include <QDir>

namespace pelmora::text {

QString operationName(Operation operation)
{
    switch (operation) {
    case Operation::ShotDate: return QStringLiteral("ファイル名変換(撮影日時)");
    case Operation::NewNumber: return QStringLiteral("ファイル名変換(新規付番)");
    case Operation::KeepExisting: return QStringLiteral("ファイル名変換(既存温存)");
    case Operation::NewAndExisting: return QStringLiteral("ファイル名変換(新規+既存)");
    case Operation::ReplaceText: return QStringLiteral("ファイル名文字列置換");
    case Operation::AppendText: return QStringLiteral("Text追記");
    case Operation::Undo: return QStringLiteral("元に戻す(直前の変更)");
    }
    return {};
}

QString versionNumber()
{
    return QStringLiteral(PELMORA_VERSION);
}

QString aboutText()
{
    return QStringLiteral("Pelmora %1\r"
                          "写真と動画のファイル名を撮影日時に合わせて変更し、日ごとに連番を付けます。\r\r"
                          "Copyright © 2026 Pelmora developers\r"
                          "このプログラムはフリーソフトウェアです。GNU 一般公衆利用許諾書（GPL）"
                          "バージョン3またはそれ以降のバージョンの条件のもとで再配布・改変できます。"
                          "このプログラムは無保証です。\r\r"
                          "https://pelmora.org/")
        .arg(versionNumber());
}

QString compactionError(const Failure &error)
{
    QString message = QStringLiteral("エラー ") + QString::number(error.databaseCode ? error.databaseCode : error.error)
        + QStringLiteral(" ： ") + error.detail;
    if (error.kind == Failure::Kind::LeftoverCopy)
        message += QStringLiteral("\r\r以前の最適化で作られたファイルが残っています：\r") + error.subject
            + QStringLiteral("\r\rこのファイルは自動では削除しません。中身が不要であることを確かめてから"
                             "削除するか別の場所へ移し、もう一度最適化を実施して下さい。");
    return message;
}

QString compactionErrorTitle(const QString &window)
{
    return QStringLiteral("動作警告   [") + window + u']';
}

QString noFileToShow(const QString &folder)
{
    return QStringLiteral("属性を表示するファイルがこのフォルダにありません。\r\rフォルダ名\r") + folder;
}

QString registerQuestion(const QString &folder)
{
    return QStringLiteral("　現在選択されているフォルダを『Drive』ボタンに登録します。\r\r"
                          "　選択されているフォルダは以下のとおりです。\r\r")
        + folder;
}

QString registerFailed(const Failure &failure)
{
    return QStringLiteral("フォルダを登録できませんでした。\r\rファイル：") + failure.subject + QStringLiteral("\r原因：")
        + failureCause(failure);
}

QString numberingDone(int files, int folders, int unreadable, int unnamed)
{
    QString message = QStringLiteral("ファイル") + QString::number(files) + QStringLiteral("件とフォルダ")
        + QString::number(folders) + QStringLiteral("件のナンバリングを実行しました。");
    if (unreadable > 0)
        message += QStringLiteral("\r (") + QString::number(unreadable)
            + QStringLiteral("件のフォルダは読めないため、中のファイルを番号付けしていません)");
    if (unnamed > 0)
        message += QStringLiteral("\r (") + QString::number(unnamed)
            + QStringLiteral("件のファイルまたはフォルダは名前を読めないため、番号付けしていません)");
    return message;
}

QString numberingFile(int number)
{
    return QStringLiteral("現在") + QString::number(number) + QStringLiteral("件目のファイルに固有番号を付与しています。");
}

QString exportQuestion(qsizetype files, qsizetype folders)
{
    return QStringLiteral("　ファイルリストのExcelデータを作成します。\r\r　ファイルは") + QString::number(files)
        + QStringLiteral("件、フォルダは") + QString::number(folders)
        + QStringLiteral("件あります。\r\r　時間とCPU負荷がかかる場合があります。\r\r"
                         "　作業途中のExcelファイルがある場合、そのデータが消える可能性があります。"
                         "開いているExcelファイルがある場合は閉じてください。\r\r　このまま処理を続けますか？");
}

QString exportFailed(const Failure &failure)
{
    return QStringLiteral("Excelファイルを出力できませんでした。\r\rファイル：") + failure.subject
        + QStringLiteral("\r原因：") + failureCause(failure);
}

QString exportingRow(bool folders, qsizetype counter)
{
    return QStringLiteral("現在%1件目の%2をExcelに転記しています。")
        .arg(counter)
        .arg(folders ? QStringLiteral("フォルダ") : QStringLiteral("ファイル"));
}

QString confirmationTitle(const QString &operation)
{
    return QStringLiteral("実施確認【") + operation + QStringLiteral("】");
}

QString renameQuestion(qsizetype files, const QString &folder)
{
    return QStringLiteral("フォルダ内のファイル名を変更しますか？\r\r全 ") + QString::number(files)
        + QStringLiteral(" 件\r\rフォルダ名\r") + folder;
}

QString undoQuestion(const RenamePlan &plan)
{
    return QStringLiteral("直前の変更を元に戻しますか？\r\r") + operationName(plan.undoneOperation)
        + QStringLiteral("（") + fixedDateTimeText(plan.undoneStarted, u'/') + QStringLiteral("）\r全 ")
        + QString::number(plan.files.size()) + QStringLiteral(" 件\r\rフォルダ名\r") + plan.folder;
}

QString exported(const QString &file, bool onDesktop, bool opened)
{
    QString message = (onDesktop ? QStringLiteral("Excelファイルをデスクトップに出力しました。")
                                 : QStringLiteral("Excelファイルを出力しました。"))
        + QStringLiteral("\r\rファイル名\r") + file;
    if (!opened)
        message += QStringLiteral("\r\rこのファイルを開くプログラムが見つからないため、開いていません。");
    return message;
}

QString cameraClocksIntro(const QString &folder, bool noCamera)
{
    if (noCamera)
        return folder + QStringLiteral("\nこのフォルダには、カメラの分かるファイルがありません。");
    return folder + QStringLiteral("\nカメラごとの時計のずれを補正します。補正は撮影日時に足されます"
                                   "（時計が3分20秒進んでいたら -00:03:20）。");
}

QString clockOffsetUnreadable(const QString &camera, const QString &typed)
{
    return camera + QStringLiteral("の補正「") + typed
        + QStringLiteral("」が読めません。\r+00:03:20 のように、符号と時:分:秒で入力してください。");
}

QString zoneUnknown(const QString &typed)
{
    return QStringLiteral("時間帯「") + typed
        + QStringLiteral("」が分かりません。\r+09:00 のような時差か、Europe/Paris のような名前で入力してください。");
}

} // namespace pelmora::text
