#include "maintenance/LogView.h"

#include "maintenance/LogTableModel.h"
#include "widgets/WindowLook.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace pelmora {

LogView::LogView(const QString &dataFolder, const Clock &clock, QWidget *parent)
    : QDialog(parent)
    , database_(std::make_unique<NameDatabase>(dataFolder, clock))
{
    setObjectName(QStringLiteral("LogView"));
    setWindowTitle(QStringLiteral("Form1"));
    setModal(true);
    useLightGreenBackground(this);

    auto *buttons = new QHBoxLayout;
    for (int i = 1; i <= 5; ++i) {
        auto *button = new QPushButton(this);
        button->setObjectName(QStringLiteral("Command%1").arg(i));
        buttons->addWidget(button);
    }
    buttons->addStretch();

    auto *grid = new QTableView(this);
    grid->setObjectName(QStringLiteral("DataGrid1"));
    grid->setModel(new LogTableModel(database_->logRowsNewestFirst(), grid));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->verticalHeader()->hide();
    grid->resizeColumnsToContents();

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(grid, 1);
    resize(900, 500);
}

LogView::~LogView() = default;

} // namespace pelmora
