// SPDX-License-Identifier: GPL-3.0-or-later
// Window tests run on Qt's offscreen platform with one QApplication, which
// speaks Japanese as the program's does.
#include "widgets/JapaneseQt.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    pelmora::JapaneseQt japaneseQt;
    QApplication app(argc, argv);
    if (!japaneseQt.install())
        qWarning("Qt's Japanese translation is not installed");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
