// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/JapaneseQt.h"

#include <QCoreApplication>
#include <QHash>
#include <QLibraryInfo>
#include <QLocale>

#include <clocale>
#include <utility>

namespace pelmora {

namespace {

// Texts of Qt that its Japanese translation, as Debian ships it, leaves in
// English: the type of a folder and the size of a small file.
class MissingQtTexts final : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        static const QHash<QByteArray, QString> texts{
            {"QAbstractFileIconProvider/Folder", QStringLiteral("フォルダ")},
            {"QAbstractFileIconProvider/File Folder", QStringLiteral("フォルダ")},
            {"QAbstractFileIconProvider/Drive", QStringLiteral("ドライブ")},
            {"QAbstractFileIconProvider/Shortcut", QStringLiteral("ショートカット")},
            {"QAbstractFileIconProvider/Alias", QStringLiteral("エイリアス")},
            {"QAbstractFileIconProvider/Unknown", QStringLiteral("不明")},
        };
        return texts.value(QByteArray(context) + '/' + source);
    }
};

// Qt takes dates from LC_TIME, numbers from LC_NUMERIC, the rest (the unit
// of a size) from LC_MESSAGES, unless LC_ALL says otherwise for all; the
// languages of texts such as the names of file types from LANGUAGE first.
constexpr std::pair<const char *, const char *> kLocaleVariables[] = {
    {"LC_TIME", "ja_JP.UTF-8"}, {"LC_NUMERIC", "ja_JP.UTF-8"}, {"LC_MESSAGES", "ja_JP.UTF-8"}, {"LANGUAGE", "ja"}};

} // namespace

JapaneseQt::JapaneseQt()
{
    if (!qEnvironmentVariableIsEmpty("LC_ALL"))
        return; // the user's word for every part of the locale
    for (const auto &[name, japanese] : kLocaleVariables) {
        std::optional<QByteArray> value;
        if (qEnvironmentVariableIsSet(name))
            value = qgetenv(name);
        changed_.push_back({name, value});
        qputenv(name, japanese);
    }
}

bool JapaneseQt::install()
{
    for (const Variable &variable : changed_) {
        if (variable.value)
            qputenv(variable.name, *variable.value);
        else
            qunsetenv(variable.name);
    }
    if (!changed_.empty())
        std::setlocale(LC_ALL, ""); // the C library read the Japanese names, which it may not have
    changed_.clear();
    missing_ = std::make_unique<MissingQtTexts>();
    QCoreApplication::installTranslator(missing_.get());
    qtbase_ = std::make_unique<QTranslator>();
    if (!qtbase_->load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return QCoreApplication::installTranslator(qtbase_.get());
}

} // namespace pelmora
