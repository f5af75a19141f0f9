#pragma once

#include <QPushButton>
#include <QString>
#include <QWidget>

namespace pelmora {

// The light green of the main, log and numbering windows.
void useLightGreenBackground(QWidget *window);

// A button found by its name, as the tests and the windows' rules know it.
QPushButton *namedButton(const char *name, const QString &caption, QWidget *parent);

} // namespace pelmora
