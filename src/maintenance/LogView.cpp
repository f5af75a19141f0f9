// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/LogView.h"

#include "widgets/LogTableModel.h"
#include "ui_LogView.h"
#include "widgets/WindowLook.h"

#include <QHeaderView>

namespace pelmora {

LogView::LogView(const QString &dataFolder, const Clock &clock, QWidget *parent)
    : QDialog(parent)
    , database_(std::make_unique<NameDatabase>(dataFolder, clock))
{
    Ui::LogView ui;
    ui.setupUi(this);
    useLightGreenBackground(this);
    ui.DataGrid1->setModel(new LogTableModel(database_->logRowsNewestFirst(), ui.DataGrid1));
    // One line a row, however long a name.
    ui.DataGrid1->setWordWrap(false);
    ui.DataGrid1->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    ui.DataGrid1->resizeColumnsToContents();
    // The last column takes what the others leave of the window's width.
    ui.DataGrid1->horizontalHeader()->setStretchLastSection(true);
    fitIntoScreen(this);
}

LogView::~LogView() = default;

} // namespace pelmora
