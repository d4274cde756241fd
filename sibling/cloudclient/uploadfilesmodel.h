#ifndef UPLOADFILESMODEL_H
#define UPLOADFILESMODEL_H

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>

/**
 * Read-only table of string rows with settable column titles; a row is keyed
 * by its first cell.
 */
class UploadFilesModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit UploadFilesModel(QStringList heads, QObject* parent = nullptr);
    ~UploadFilesModel() override;

    /// Replaces the column titles; the column count follows their number.
    void setHeads(QStringList heads);
    /// Appends @p row as the last row.
    virtual void addRow(QStringList row);
    /// Replaces the row whose first cell equals @p row's first cell; no row matches: nothing.
    virtual void updateRow(QStringList row);
    /// All rows, in order.
    QVector<QStringList> getAllData() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QStringList heads;
    QVector<QStringList> rows;
};

#endif
