#include "attributes/AttributeText.h"

#include "platform/FileSystem.h"
#include "platform/PropertyReader.h"

#include <QFileInfo>

namespace pelmora {

QString attributeText(const QString &path, PropertyReader &reader)
{
    const std::map<int, QString> columns = reader.columns(path);
    QString text = QFileInfo(path).fileName();
    for (int n = 1; n <= column::Last; ++n) {
        const auto it = columns.find(n);
        text += QStringLiteral("\r\n") + QString::number(n) + QStringLiteral(" : ")
            + (it == columns.end() ? QString() : it->second);
    }
    return text;
}

std::optional<QString> firstFileOf(const QString &folder)
{
    const QStringList files = fs::listPlainFiles(folder);
    if (files.isEmpty())
        return std::nullopt;
    return fs::joinPath(folder, files.first());
}

QString text::noFileToShow(const QString &folder)
{
    return QStringLiteral("属性を表示するファイルがこのフォルダにありません。\r\rフォルダ名\r") + folder;
}

} // namespace pelmora
