#pragma once

#include <QString>

#include <optional>

namespace pelmora {

// Why a compaction did not happen: the database engine's own result code and
// text (for a failed rename of the compacted copy, the system's), and whether
// the cause is that the file is in use.
struct CompactionError {
    int code = 0;
    QString text;
    bool inUse = false;
    // The copy an earlier compaction left, which stands in the way.
    QString leftover;
};

// Writes a compacted copy of "FileNameDB.db" to "FileNameDB_Backup.db" and
// moves it over the database in one atomic rename. Refused while any
// connection, of this process or another, has the database open; a copy left
// by a compaction that was killed is reported and never removed. On failure
// the database is as it was and the copy this compaction wrote is gone.
std::optional<CompactionError> compactDatabase(const QString &dataFolder);

QString backupFileIn(const QString &dataFolder);

namespace text {
// "エラー <code> ： <text>", and for a leftover copy, which file it is and
// what the user may do with it.
QString compactionError(const CompactionError &error);
// "動作警告   [<window>]"
QString compactionErrorTitle(const QString &window);
inline const QString kAccessRestricted = QStringLiteral(
    "最適化作業はデータベースが閉じている状態、つまり誰もアクセスしていない状態でのみ実施可能です。\r\r"
    "データベースへの接続が無い状態にしてから再度最適化を実施して下さい");
inline const QString kAccessRestrictedTitle = QStringLiteral("アクセス制限");
inline const QString kLogCleared = QStringLiteral(
    "データベースのログデータを削除しました。\r\r続けて最適化処理を実施するとファイルサイズが小さくなります。");
inline const QString kLogNotCleared = QStringLiteral("ログデータ削除に失敗しました。");
} // namespace text

} // namespace pelmora
