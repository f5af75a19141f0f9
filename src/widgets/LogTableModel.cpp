// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/LogTableModel.h"

#include "platform/Clock.h"

namespace pelmora {

LogTableModel::LogTableModel(std::vector<LogRow> rows, QObject *parent)
    : QAbstractTableModel(parent)
    , rows_(std::move(rows))
{
}

int LogTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int LogTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(logFieldNames().size());
}

QVariant LogTableModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    const LogRow &row = rows_[size_t(index.row())];
    switch (index.column()) {
    case 0: return row.id;
    case 1: return row.originalFileName;
    case 2: return fixedDateTimeText(row.makeItDate, u'/');
    case 3: return row.extension;
    case 4: return row.camera;
    case 5: return row.newFileName;
    case 6: return fixedDateTimeText(row.update, u'/');
    default: return {};
    }
}

QVariant LogTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    return logFieldNames().value(section);
}

} // namespace pelmora
