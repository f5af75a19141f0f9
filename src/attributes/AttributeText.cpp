#include "attributes/AttributeText.h"

#include "platform/FileSystem.h"
#include "platform/IsolatedReader.h"
#include "platform/PropertyReader.h"

#include <QFileInfo>

namespace pelmora {

namespace {

QString textOf(const QString &path, const std::map<int, QString> &columns)
{
    QString text = QFileInfo(path).fileName();
    for (int n = 1; n <= column::Last; ++n) {
        const auto it = columns.find(n);
        text += QStringLiteral("\r\n") + QString::number(n) + QStringLiteral(" : ")
            + (it == columns.end() ? QString() : it->second);
    }
    return text;
}

} // namespace

QString attributeText(const QString &path, PropertyReader &reader)
{
    return textOf(path, reader.columns(path));
}

QString attributeText(const QString &path, IsolatedPropertyReader &reader)
{
    return textOf(path, reader.columns(path));
}

std::optional<QString> firstFileOf(const QString &folder)
{
    // A link to a device or a pipe is passed by: it is no file to read.
    for (const QString &name : fs::listPlainFiles(folder)) {
        const QString path = fs::joinPath(folder, name);
        if (QFileInfo(path).isFile())
            return path;
    }
    return std::nullopt;
}

} // namespace pelmora
