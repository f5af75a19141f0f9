// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace pelmora {

inline const QColor kLightGreen(224, 255, 224);
inline const QColor kWhite(255, 255, 255);
inline const QColor kYellow(255, 255, 0);

// The light green of the main, log and numbering windows.
void useLightGreenBackground(QWidget *window);

// Keeps a window inside the screen's available area, whatever the scale
// factor: no larger than the area (room kept for its frame), and its
// content scrolls where the area is smaller than the least it needs.
void fitIntoScreen(QWidget *window);

// Enter clicks the button when it has the focus, as the space bar does.
void clickOnEnter(QPushButton *button);

} // namespace pelmora
