// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "database/NameDatabase.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

namespace pelmora {

// The rows of FileNameLog as a read-only table: one column per field, in the
// table's field order, headed by the field names; dates as dates.
class LogTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit LogTableModel(std::vector<LogRow> rows, QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<LogRow> rows_;
};

} // namespace pelmora
