#include "uploadfilesmodel.h"

UploadFilesModel::UploadFilesModel(QStringList heads, QObject* parent)
    : QAbstractTableModel(parent)
    , heads(std::move(heads))
{
}

UploadFilesModel::~UploadFilesModel() = default;

void UploadFilesModel::setHeads(QStringList newHeads)
{
    if (newHeads.size() != heads.size()) {
        // Views cache the column count; a reset makes them ask again.
        beginResetModel();
        heads = std::move(newHeads);
        endResetModel();
        return;
    }
    heads = std::move(newHeads);
    if (!heads.isEmpty())
        emit headerDataChanged(Qt::Horizontal, 0, heads.size() - 1);
}

void UploadFilesModel::addRow(QStringList row)
{
    beginInsertRows(QModelIndex(), rows.size(), rows.size());
    rows.append(std::move(row));
    endInsertRows();
}

void UploadFilesModel::updateRow(QStringList row)
{
    if (row.isEmpty())
        return;
    for (int r = 0; r < rows.size(); ++r) {
        if (!rows[r].isEmpty() && rows[r].first() == row.first()) {
            rows[r] = std::move(row);
            if (!heads.isEmpty())
                emit dataChanged(index(r, 0), index(r, heads.size() - 1), {Qt::DisplayRole});
            return;
        }
    }
}

QVector<QStringList> UploadFilesModel::getAllData() const
{
    return rows;
}

int UploadFilesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows.size();
}

int UploadFilesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : heads.size();
}

bool UploadFilesModel::holds(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this && index.row() < rows.size()
           && index.column() < heads.size();
}

QVariant UploadFilesModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !holds(index))
        return QVariant();
    return rows[index.row()].value(index.column());
}

QVariant UploadFilesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return section >= 0 && section < heads.size() ? QVariant(heads[section]) : QVariant();
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags UploadFilesModel::flags(const QModelIndex& index) const
{
    return holds(index) ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}
