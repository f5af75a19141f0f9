#pragma once

#include "rename/RenameOperations.h"

#include <QString>
#include <QStringList>

namespace pelmora {

class DatabaseError;

// Texts the operations and windows share. A carriage return alone breaks lines.
namespace text {
inline const QString kDone = QStringLiteral("完了");
inline const QString kNotNumericTitle = QStringLiteral("数値以外の入力");
inline const QString kDatabaseErrorTitle = QStringLiteral("データベースエラー");
inline const QString kFolderErrorTitle = QStringLiteral("フォルダエラー");

// The closing message of the counting rename operations; a line for the
// renames that failed follows only when there were any.
QString renameSummary(int renamed, int excluded, int failed);
// What an operation's outcome says: the closing message of a run, or why it
// did not run.
QString outcomeMessage(const OperationOutcome &outcome);
QString failureLine(int failed);
QString notNumericStartNumber(const QString &startNumber);
QString databaseUnavailable(const DatabaseError &error);
// For what only reads the database.
QString databaseUnreadable(const DatabaseError &error);
QString folderMissing(const QString &folder);
QString folderBusy(const QString &folder);
// A run cut short left files under temporary names in the folder.
QString recoverFirst(const QString &folder, int waiting);
// Why the run stopped part-way, and how many files it did not touch.
QString stoppedLine(OperationOutcome::StopReason reason, int untouched, const QString &folder,
                    const DatabaseError *error);
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
QString undoFolderMissing(const QString &folder);
// The log could not be written out (pelmora-cli log): the system's cause.
QString logNotWritten(int error);
inline const QString kUndoTitle = QStringLiteral("元に戻す");
} // namespace text

} // namespace pelmora
