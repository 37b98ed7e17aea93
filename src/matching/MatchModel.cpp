#include "matching/MatchModel.h"

#include <QBrush>
#include <QFont>

MatchModel::MatchModel(QObject* parent) : QAbstractTableModel(parent) {}

void MatchModel::setRows(std::vector<MatchRow> rows, bool requests) {
    beginResetModel();
    m_rows = std::move(rows);
    if (requests != m_requests)
        m_thumbnails.clear();
    m_requests = requests;
    endResetModel();
}

QStringList MatchModel::captions(bool requests) {
    if (requests)
        return {QStringLiteral("Punti"), QStringLiteral("Nome e cognome"), QStringLiteral("Telefono"),
                QStringLiteral("Cerca"), QStringLiteral("Perché")};
    return {QStringLiteral("Punti"), QStringLiteral("Immobile"), QStringLiteral("Proprietario"),
            QStringLiteral("Offre"), QStringLiteral("Perché")};
}

QStringList MatchModel::cells(const MatchRow& row) {
    return {QString::number(row.result.score), row.who, row.phone, row.what, row.reasons()};
}

int MatchModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int MatchModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 5;
}

QVariant MatchModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const MatchRow& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return cells(row).value(index.column());
    case Qt::ForegroundRole:
        if (row.result.kind == MatchResult::NearMiss)
            return QBrush(Qt::darkGray);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == 0)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case Qt::DecorationRole: {
        if (m_requests || index.column() != 1 || !m_thumbnail)
            return {};
        auto found = m_thumbnails.constFind(row.key);
        if (found == m_thumbnails.constEnd())
            found = m_thumbnails.insert(row.key, m_thumbnail(row.key));
        return found->isNull() ? QVariant() : QVariant(*found);
    }
    default:
        return {};
    }
}

QVariant MatchModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return captions(m_requests).value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags MatchModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
