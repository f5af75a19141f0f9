// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Application.h"
#include "platform/Clock.h"
#include "platform/DataFolder.h"
#include "platform/PropertyReader.h"
#include "text/Messages.h"
#include "widgets/JapaneseQt.h"
#include "widgets/QtMessageBoxes.h"

#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QUrl>

int main(int argc, char *argv[])
{
    pelmora::settleLocalTimeZone();
    pelmora::JapaneseQt japaneseQt;
    QApplication app(argc, argv);
    japaneseQt.install();
    pelmora::useUtf8FileNames();
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    QApplication::setApplicationVersion(pelmora::text::versionNumber());
    QApplication::setStyle(QStringLiteral("Fusion"));
    // The desktop matches the windows to the menu entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.pelmora.Pelmora"));
    QIcon icon;
    for (const char *size : {"16", "32", "48", "64", "256"})
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(QLatin1String(size)));
    QApplication::setWindowIcon(icon);

    const QString dataFolder = pelmora::defaultDataFolder();
    pelmora::QtMessageBoxes messages(dataFolder + QStringLiteral("/Pelmora.ini"));
    pelmora::SystemClock clock;
    pelmora::AppServices services{dataFolder, &messages, &clock, [] { QApplication::exit(0); }};
    services.openFile = [](const QString &file) { return QDesktopServices::openUrl(QUrl::fromLocalFile(file)); };

    pelmora::Application application(services);
    application.start();
    return app.exec();
}
