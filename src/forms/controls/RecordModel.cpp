#include "forms/controls/RecordModel.h"

#include "data/store/RecordSource.h"
#include "data/vocabulary/Schema.h"

RecordModel::RecordModel(RecordSource& source, const QList<Column>& columns, QObject* parent)
    : QAbstractTableModel(parent), m_source(source), m_columns(columns) {
    connect(&source, &RecordSource::aboutToReset, this, &RecordModel::beginResetModel);
    connect(&source, &RecordSource::reset, this, [this] {
        // Views may ask for more rows from inside the reset signal; rows inserted then
        // would nest inside the reset, so more rows wait until it is over.
        m_resetting = true;
        endResetModel();
        m_resetting = false;
    });
    connect(&source, &RecordSource::aboutToInsertRows, this,
            [this](int first, int last) { beginInsertRows({}, first, last); });
    connect(&source, &RecordSource::rowsInserted, this, &RecordModel::endInsertRows);
    connect(&source, &RecordSource::aboutToRemoveRow, this, [this](int row) { beginRemoveRows({}, row, row); });
    connect(&source, &RecordSource::rowRemoved, this, &RecordModel::endRemoveRows);
    connect(&source, &RecordSource::rowChanged, this, [this](int row) {
        if (row >= 0 && row < rowCount() && columnCount() > 0)
            emit dataChanged(index(row, 0), index(row, columnCount() - 1), {Qt::DisplayRole, Qt::EditRole});
    });
    connect(&source, &RecordSource::rowsChanged, this, [this] {
        if (rowCount() > 0 && columnCount() > 0)
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::DisplayRole, Qt::EditRole});
    });
}

int RecordModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_source.rowCount();
}

int RecordModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant RecordModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !checkIndex(index) || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return m_source.valueAt(index.row(), m_columns.at(index.column()).field);
}

QVariant RecordModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < m_columns.size() ? QVariant(m_columns.at(section).caption) : QVariant();
    return {};
}

bool RecordModel::isKeyColumn(int column) const {
    const Schema::Field* field = Schema::field(m_source.table(), m_columns.at(column).field);
    return field && (field->kind == Schema::FieldKind::Key || field->linksToKey);
}

Qt::ItemFlags RecordModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || !checkIndex(index))
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    // A key (or a link to one) changed in a grid would cut a property off from its
    // photos and visits.
    if (m_editable && !isKeyColumn(index.column()))
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool RecordModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    // An editor closed without a change is no edit: a date kept in an older form would
    // otherwise be read again, and refused, though nobody touched it.
    if (value.toString() == data(index, Qt::EditRole).toString())
        return true;
    if (Result moved = m_source.moveToRow(index.row()); !moved) {
        emit refused(moved.message());
        return false;
    }
    if (Result set = m_source.setFieldValue(m_columns.at(index.column()).field, value.toString()); !set) {
        emit refused(set.message());
        return false;
    }
    return true;
}

bool RecordModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !m_resetting && m_source.canFetchMore();
}

void RecordModel::fetchMore(const QModelIndex& parent) {
    if (canFetchMore(parent))
        m_source.fetchMore();
}
