#pragma once

#include <QAbstractTableModel>
#include <QList>

class RecordSource;

// The grid's view of a record source: the rows of its loaded window in the columns a
// window chooses. Edits in place become the pending edit of their row; key columns,
// and columns holding another table's key, are never editable.
class RecordModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Column {
        QString caption;
        QString field;
    };

    RecordModel(RecordSource& source, const QList<Column>& columns, QObject* parent = nullptr);

    void setEditable(bool editable) { m_editable = editable; }
    bool isEditable() const { return m_editable; }
    RecordSource& source() const { return m_source; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    // A key, or a link to another table's key.
    bool isKeyColumn(int column) const;

signals:
    // An edit in place could not be taken; the message says why.
    void refused(const QString& message);

private:
    RecordSource& m_source;
    QList<Column> m_columns;
    bool m_editable = false;
    bool m_resetting = false;
};
