#ifndef UPLOADFILESMODEL_H
#define UPLOADFILESMODEL_H

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>

/**
 * Read-only table of string rows with settable column titles; a row is keyed
 * by its first cell. A row shorter than the column count shows empty cells, a
 * longer one keeps its extra cells out of view.
 */
class Q_DECL_EXPORT UploadFilesModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit UploadFilesModel(QStringList heads, QObject* parent = nullptr);
    ~UploadFilesModel() override;

    /// Replaces the column titles; the column count follows their number.
    void setHeads(QStringList heads);
    /// Appends @p row as the last row.
    virtual void addRow(QStringList row);
    /// Replaces the first row whose first cell equals @p row's first cell; no row
    /// matches, or @p row is empty: nothing.
    virtual void updateRow(QStringList row);
    /// All rows, in order.
    QVector<QStringList> getAllData() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    bool holds(const QModelIndex& index) const;

    QStringList heads;
    QVector<QStringList> rows;
};

#endif
