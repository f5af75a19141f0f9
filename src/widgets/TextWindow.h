// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace pelmora {

// "属性": one read-only text with a vertical scroll bar filling the window.
class TextWindow : public QDialog {
    Q_OBJECT
public:
    TextWindow(const QString &text, QWidget *parent = nullptr);
};

} // namespace pelmora
