// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "database/Compaction.h"
#include "platform/MessageBoxes.h"
#include "database/NameDatabase.h"
#include "rename/Recovery.h"
#include "rename/Progress.h"
#include "rename/RenameOperations.h"

#include <QString>
#include <QStringList>

// Every sentence Pelmora says, for its windows and pelmora-cli alike: the
// operations give values, and these make the Japanese of them. A carriage
// return alone breaks lines.
namespace pelmora::text {

inline const QString kDone = QStringLiteral("完了");
inline const QString kStoppedTitle = QStringLiteral("中止");
inline const QString kNotNumericTitle = QStringLiteral("数値以外の入力");
inline const QString kDatabaseErrorTitle = QStringLiteral("データベースエラー");
inline const QString kFolderErrorTitle = QStringLiteral("フォルダエラー");
inline const QString kCameraClocksTitle = QStringLiteral("カメラの時計");

// The closing message of the counting rename operations; a line for the
// renames that failed follows only when there were any.
// "All renamed" only when no file failed and the run was not stopped.
QString renameSummary(int renamed, int excluded, int failed, bool stopped = false, int unchanged = 0);
// What an operation's outcome says: the closing message of a run, or why it
// did not run.
QString outcomeMessage(const OperationOutcome &outcome);
QString failureLine(int failed);
QString notNumericStartNumber(const QString &startNumber);
// A Pre or Post Text holding a character no name may hold; `onThisVolume`
// when only the folder's drive forbids it.
QString unusableText(const QString &character, OperationOutcome::TextBox box, bool onThisVolume);
inline const QString kUnusableTextTitle = QStringLiteral("使えない文字");
// Why a file Pelmora keeps or writes could not be used, with the library's
// own words in brackets.
QString failureCause(const Failure &failure);
QString databaseUnavailable(const Failure &failure);
// For what only reads the database.
QString databaseUnreadable(const Failure &failure);
QString folderMissing(const QString &folder);
QString folderBusy(const QString &folder);
// A run cut short left files under temporary names in the folder.
QString recoverFirst(const QString &folder, int waiting);
// Why the run stopped part-way, and how many files it did not touch.
QString stoppedLine(OperationOutcome::StopReason reason, int untouched, const QString &folder,
                    const Failure *failure);
// Files of the run left under temporary names; empty when none.
QString leftTemporaryLine(int count);
QString folderNotWritable(const QString &folder, int error);
QString strayTemporaryNames(const QString &folder, const QStringList &names);
QString undoVolumeMissing(const QString &folder);
QString undoSummary(int undone, int failed);
QString nothingToUndo();
QString undoChanged();
// Names the files whose metadata could not be read; empty when none.
QString unreadableLine(const QStringList &names);
// Files whose names are no UTF-8: the system's name cannot be given back.
inline const QString kUndecodableCause = QStringLiteral("ファイル名がUTF-8でないため変更できませんでした");
QString undecodableLine(const QStringList &names);
// Files that take part but cannot be read: there is no date to name them by.
inline const QString kUnopenedCause = QStringLiteral("読み取れないため変更できませんでした");
QString unopenedLine(const QStringList &names);
QString undoFolderMissing(const QString &folder);
// The log could not be written out (pelmora-cli log): the system's cause.
QString logNotWritten(int error);
inline const QString kUndoTitle = QStringLiteral("元に戻す");

// The entries of the main window's operation list, and the one the
// dispatch knows beside them (kClearLogEntry, which the list does not offer).
QString operationName(Operation operation); // the rename operations' and undo's
inline const QString kCompactEntry = QStringLiteral("データベース最適化");
inline const QString kClearLogEntry = QStringLiteral("DBログ削除(初期化)");
inline const QString kAttributesEntry = QStringLiteral("属性表示");
inline const QString kShowLogEntry = QStringLiteral("LOGの表示");
inline const QString kNumberingEntry = QStringLiteral("フォルダ附番");
inline const QString kRegisterDriveEntry = QStringLiteral("Driveボタン登録");
inline const QString kEndEntry = QStringLiteral("終了");

// The program's version ("0.1"), and the box of its Help menu that says what
// it is, under which licence, and that it comes with no warranty.
QString versionNumber();
inline const QString kHelpMenu = QStringLiteral("ヘルプ(&H)");
inline const QString kAboutEntry = QStringLiteral("Pelmora について(&A)...");
inline const QString kAboutQtEntry = QStringLiteral("Qt について(&Q)...");
inline const QString kAboutTitle = QStringLiteral("Pelmora について");
QString aboutText();

// The main window's questions and answers.
inline const QString kNoSuchOperation = QStringLiteral("その操作は存在しません。");
inline const QString kNotDone = QStringLiteral("実施していません");
inline const QString kNotDoneTitle = QStringLiteral("未実施");
inline const QString kStoppedBeforeRenaming = QStringLiteral("中止しました。ファイル名は変更していません。");
// The progress bar's text while a run is planned (%v of %m files).
QString readingFormat(Reading what);
inline const QString kChooseFolder = QStringLiteral("フォルダを選択してください");
inline const QString kChooseFolderTitle = QStringLiteral("フォルダ未選択");
inline const QString kConfirmTitle = QStringLiteral("実施確認");
inline const QString kRegisterErrorTitle = QStringLiteral("登録エラー");
// "実施確認【<operation>】"
QString confirmationTitle(const QString &operation);
QString renameQuestion(qsizetype files, const QString &folder);
// Which run the undo takes back (its operation and time), its files and folder.
QString undoQuestion(const RenamePlan &plan);
inline const QString kNoUnfinishedRuns = QStringLiteral("中断された処理はありません。");
inline const QString kNoFavouriteFolder = QStringLiteral("登録されたフォルダはありません。");

// Where a date taken came from, as a person reads it: "撮影日時(EXIF)",
// "録画日時(QuickTime, UTC→UTC+09:00)", ...; the file time when none.
QString dateOriginText(const DateOrigin &origin);
inline const QString kFileTimeOrigin = QStringLiteral("ファイル更新日時");

// The plan as a table: former and new name, date, where the date came from
// and a remark, in the order of the run; the files left out after them.
// Files dated by their file time, names that stay as they are and names
// that cannot be taken are marked.
// The camera clock window: what it does, for the folder; what it says of
// an offset or a zone it cannot read.
QString cameraClocksIntro(const QString &folder, bool noCamera);
QString clockOffsetUnreadable(const QString &camera, const QString &typed);
QString zoneUnknown(const QString &typed);
// "+3分20秒", "-9時間": a camera clock's offset as a person reads it.
QString clockOffsetText(qint64 seconds);
// What was set right in a file's date, and the date as read: "補正 +3分20秒、
// 時間帯 +01:00（同じカメラの写真から）：元の日時 2021/07/04 10:12:10";
// empty when nothing was.
QString correctionText(const DateCorrection &correction);
DetailTable planTable(const RenamePlan &plan);
QString leftOutReason(LeftOut::Reason reason);
QString failureCause(FailureCause cause, int error);
// The files that were not renamed: file, what happened, why; empty when none.
DetailTable failureTable(const RenamePlan &plan);
// A table as text, one line per row: "former → new", then the other
// non-empty cells, each after a tab. For pelmora-cli.
QString tableLines(const DetailTable &table);

// Runs cut short: which run, where, and that all of it goes back.
QString strandedQuestion(const UnfinishedRun &run);
QString restoreSummary(const RecoveryResult &result);
QString recoveryFolderUnavailable(const QString &folder);
inline const QString kStrandedTitle = QStringLiteral("中断された処理");

// Compaction and the log.
// "エラー <code> ： <text>", and for a leftover copy, which file it is and
// what the user may do with it.
QString compactionError(const Failure &error);
// "動作警告   [<window>]"
QString compactionErrorTitle(const QString &window);
inline const QString kAccessRestricted = QStringLiteral(
    "最適化作業はデータベースが閉じている状態、つまり誰もアクセスしていない状態でのみ実施可能です。\r\r"
    "データベースへの接続が無い状態にしてから再度最適化を実施して下さい");
inline const QString kAccessRestrictedTitle = QStringLiteral("アクセス制限");
inline const QString kLogCleared = QStringLiteral(
    "データベースのログデータを削除しました。\r\r続けて最適化処理を実施するとファイルサイズが小さくなります。");
inline const QString kLogNotCleared = QStringLiteral("ログデータ削除に失敗しました。");

// The attribute text.
QString noFileToShow(const QString &folder);
inline const QString kAttributesTitle = QStringLiteral("属性");

// The Drive button.
QString registerQuestion(const QString &folder);
inline const QString kRegistered = QStringLiteral(
    "　Driveボタンにフォルダを登録しました。\r\r　次回からDriveボタンを押すと登録したフォルダが選択されます。");
QString registerFailed(const Failure &failure);

// Numbering and its workbook.
// Files and folders numbered; folders whose contents could not be read;
// entries whose names are no text.
QString numberingDone(int files, int folders, int unreadable, int unnamed);
QString numberingFile(int number);
inline const QString kNumberingIdle = QStringLiteral("フォルダを選択、Numberingを実行するとファイルに固有番号を付与します。");
inline const QString kNumberingFinished = QStringLiteral("ナンバリング完了です。Excelファイル出力はしていません。");
QString exportQuestion(qsizetype files, qsizetype folders);
QString exportFailed(const Failure &failure);
// The row written, counted from 1, of the sheet of files or of folders.
QString exportingRow(bool folders, qsizetype counter);
inline const QString kExportQuestionTitle = QStringLiteral("確認");
inline const QString kExportStatus = QStringLiteral("Excelファイルに出力しデスクトップに保存しました。");
inline const QString kExportStatusElsewhere = QStringLiteral("Excelファイルに出力し保存しました。");
// Where the workbook went; and that no program opened it, when none did.
QString exported(const QString &file, bool onDesktop, bool opened);
inline const QString kSaveWorkbookTitle = QStringLiteral("Excelファイルの保存先");
inline const QString kExportErrorTitle = QStringLiteral("出力エラー");

} // namespace pelmora::text
