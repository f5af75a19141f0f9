#include "app/Application.h"
#include "platform/Clock.h"
#include "platform/DataFolder.h"
#include "platform/QtMessageBoxes.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>
#include <QTranslator>

int main(int argc, char *argv[])
{
    pelmora::settleLocalTimeZone();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    QApplication::setStyle(QStringLiteral("Fusion"));
    QTranslator qtJapanese;
    pelmora::installJapaneseQtTexts(qtJapanese);

    pelmora::QtMessageBoxes messages;
    pelmora::SystemClock clock;
    pelmora::AppServices services{pelmora::defaultDataFolder(), &messages, &clock, [] { QApplication::exit(0); }};
    services.openFile = [](const QString &file) { QDesktopServices::openUrl(QUrl::fromLocalFile(file)); };

    pelmora::Application application(services);
    application.start();
    return app.exec();
}
