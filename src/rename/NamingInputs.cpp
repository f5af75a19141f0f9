#include "rename/NamingInputs.h"

#include <QRegularExpression>

namespace pelmora {

namespace {
std::array<QString, kExtensionBoxCount> boxesHolding(std::initializer_list<const char *> texts)
{
    std::array<QString, kExtensionBoxCount> boxes;
    int i = 0;
    for (const char *text : texts)
        boxes[i++] = QString::fromLatin1(text);
    return boxes;
}
} // namespace

std::array<QString, kExtensionBoxCount> pictureExtensions()
{
    return boxesHolding({"jpg", "jpeg", "bmp", "gif", "png"});
}

std::array<QString, kExtensionBoxCount> movieExtensions()
{
    return boxesHolding({"mp4", "mov", "mts", "avi", "wmv", "mpeg"});
}

bool isNumericText(const QString &text)
{
    static const QRegularExpression number(QStringLiteral(R"(^\s*[+-]?\d+(\.\d+)?\s*$)"));
    return number.match(text).hasMatch();
}

std::optional<int> wholeNumber(const QString &text)
{
    static const QRegularExpression whole(QStringLiteral(R"(^\s*[+-]?\d{1,9}\s*$)"));
    if (!whole.match(text).hasMatch())
        return std::nullopt;
    return text.trimmed().toInt();
}

} // namespace pelmora
