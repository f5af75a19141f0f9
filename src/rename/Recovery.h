#pragma once

#include <QString>

#include <vector>

namespace pelmora {

class NameDatabase;

// Files that an interrupted run left under their temporary names.
struct StrandedFiles {
    QString folder;
    struct File {
        QString temporaryName;
        QString formerName;
    };
    std::vector<File> files;
};

// Reads FileNameList and the folder of its run: the rows whose temporary
// name is still a file there.
StrandedFiles findStrandedFiles(NameDatabase &database);

struct RestoreResult {
    int restored = 0;
    int failed = 0;
};

// Gives each file its former name back; never replaces a file.
RestoreResult restoreFormerNames(const StrandedFiles &stranded);

namespace text {
QString strandedQuestion(const StrandedFiles &stranded);
QString restoreSummary(const RestoreResult &result);
inline const QString kStrandedTitle = QStringLiteral("中断された処理");
} // namespace text

} // namespace pelmora
