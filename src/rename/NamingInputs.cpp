// SPDX-License-Identifier: GPL-3.0-or-later
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

namespace {

// Full-width digits and signs, as a Japanese input method types them, read
// as the ASCII ones; other scripts' digits are no digits here.
QString asciiForm(const QString &text)
{
    return text.normalized(QString::NormalizationForm_KC);
}

} // namespace

bool isNumericText(const QString &text)
{
    static const QRegularExpression number(QStringLiteral(R"(^\s*[+-]?[0-9]+(\.[0-9]+)?\s*$)"));
    return number.match(asciiForm(text)).hasMatch();
}

std::optional<int> wholeNumber(const QString &text)
{
    static const QRegularExpression whole(QStringLiteral(R"(^\s*[+-]?[0-9]{1,9}\s*$)"));
    const QString ascii = asciiForm(text);
    if (!whole.match(ascii).hasMatch())
        return std::nullopt;
    return ascii.trimmed().toInt();
}

} // namespace pelmora
