#include "forms/controls/RecordModel.h"

#include "data/store/RecordSource.h"
#include "data/vocabulary/Schema.h"

#include <QMetaObject>
#include <algorithm>
#include <cmath>

namespace {

constexpr int page = 128;        // keys read at a time
constexpr int longestRun = 4 * page;
// An estimate from sparse keys could run to billions of rows; the scroll bar of a larger
// result still reaches its end, which is read as such.
constexpr qint64 mostRows = 16'000'000;

} // namespace

RecordModel::RecordModel(RecordSource& source, const QList<Column>& columns, QObject* parent)
    : QAbstractTableModel(parent), m_source(source), m_columns(columns) {
    // A move within the same result (to the last record, to a key) leaves the rows as they are.
    connect(&source, &RecordSource::aboutToReset, this, [this] {
        if (!m_source.windowMovedOnly())
            beginResetModel();
    });
    connect(&source, &RecordSource::reset, this, [this] {
        if (m_source.windowMovedOnly())
            return;
        rebuild();
        endResetModel();
    });
    // The source's own window grows as the record moves; only its new records are new rows.
    connect(&source, &RecordSource::rowsInserted, this, &RecordModel::takeAddedKeys);
    connect(&source, &RecordSource::newRecordWritten, this, &RecordModel::takeAddedKeys);
    // Before the grid looks for the current record's row: it may be a new record.
    connect(&source, &RecordSource::currentChanged, this, &RecordModel::takeAddedKeys);
    connect(&source, &RecordSource::aboutToRemoveRow, this, [this](int row) {
        m_removing = row >= 0 && row < m_source.rowCount() ? std::optional<qint64>(m_source.keyAt(row)) : std::nullopt;
    });
    connect(&source, &RecordSource::rowRemoved, this, [this] {
        if (m_removing)
            removeKey(*m_removing);
        m_removing.reset();
    });
    connect(&source, &RecordSource::rowChanged, this, [this](int row) {
        if (row < 0 || row >= m_source.rowCount() || columnCount() == 0)
            return;
        const int at = static_cast<int>(m_run.indexOf(m_source.keyAt(row)));
        if (at >= 0 && m_base + at >= 0 && m_base + at < m_count)
            emit dataChanged(index(m_base + at, 0), index(m_base + at, columnCount() - 1), {Qt::DisplayRole, Qt::EditRole});
    });
    connect(&source, &RecordSource::rowsChanged, this, [this] {
        const int first = std::max(0, m_base);
        const int last = std::min(m_count, m_base + static_cast<int>(m_run.size())) - 1;
        if (first <= last && columnCount() > 0)
            emit dataChanged(index(first, 0), index(last, columnCount() - 1), {Qt::DisplayRole, Qt::EditRole});
    });
    rebuild();
}

void RecordModel::rebuild() {
    m_count = 0;
    m_head.clear();
    m_run.clear();
    m_base = 0;
    m_runHead = m_runTail = false;
    m_highest = 0;
    m_density = 1.0;
    m_lastKnown = true;
    m_seenAdded = m_source.addedKeys();
    if (!m_source.isOpen())
        return;
    QList<qint64> window;
    window.reserve(m_source.rowCount());
    for (int row = 0; row < m_source.rowCount(); ++row)
        window.append(m_source.keyAt(row));
    if (m_source.isHeadLoaded() && m_source.isTailLoaded()) {
        m_head = window.mid(0, page);
        placeRun(window, 0, true, true);
        m_count = static_cast<int>(window.size());
        return;
    }
    if (m_source.isHeadLoaded())
        m_head = window.mid(0, page);
    else if (!m_source.resultKeys(true, std::nullopt, page, m_head))
        m_head.clear();
    if (m_head.size() < page && m_source.isHeadLoaded()) {
        // The window was not marked whole, yet the first page is all there is.
        placeRun(window, 0, true, true);
        m_count = static_cast<int>(window.size());
        return;
    }
    if (m_head.isEmpty())
        return;
    // Past the first page the keys are taken to be as dense as they are within it, up to
    // the highest key of the table.
    m_highest = std::max(m_source.highestKey().value_or(m_head.last()), m_head.last());
    m_density = m_head.size() > 1 ? double(m_head.size() - 1) / double(std::max<qint64>(1, m_head.last() - m_head.first()))
                                  : 1.0;
    const qint64 estimate =
        m_head.size() + std::llround(double(m_highest - m_head.last()) * m_density);
    m_count = static_cast<int>(std::clamp<qint64>(estimate, std::max<qint64>(m_head.size(), window.size()), mostRows));
    // A search's last key may lie well below the table's: read after the first paint, so
    // that a keystroke's result shows at once.
    m_lastKnown = m_source.recordSource().conditions().isEmpty();
    // The source's window, grown as the record moved on, may be long: its part next to
    // the current record is enough.
    if (window.size() > longestRun) {
        const qsizetype current = std::max(0, m_source.currentRow());
        const qsizetype from = std::clamp<qsizetype>(current - longestRun / 2, 0, window.size() - longestRun);
        const bool head = m_source.isHeadLoaded() && from == 0;
        const bool tail = m_source.isTailLoaded() && from + longestRun == window.size();
        const QList<qint64> part = window.mid(from, longestRun);
        // Counted from the first key, the rows are where they are; from the last, or from
        // neither, where the count puts them.
        const int base = m_source.isHeadLoaded() ? static_cast<int>(from)
                         : tail                  ? m_count - longestRun
                                                 : estimatedRow(part.first());
        placeRun(part, base, head, tail);
    } else if (m_source.isHeadLoaded()) {
        placeRun(window, 0, true, false);
    } else if (m_source.isTailLoaded()) {
        placeRun(window, m_count - static_cast<int>(window.size()), false, true);
    } else if (!window.isEmpty()) {
        placeRun(window, estimatedRow(window.first()), false, false);
    }
    scheduleSettle();
}

void RecordModel::placeRun(QList<qint64> keys, int base, bool head, bool tail) const {
    m_run = std::move(keys);
    m_base = base;
    m_runHead = head;
    m_runTail = tail;
}

qint64 RecordModel::estimatedKey(int row) const {
    if (row < m_head.size())
        return m_head.at(row);
    return m_head.last() + std::llround(double(row - (m_head.size() - 1)) / m_density);
}

int RecordModel::estimatedRow(qint64 key) const {
    if (!m_head.isEmpty() && key <= m_head.last())
        return static_cast<int>(std::lower_bound(m_head.begin(), m_head.end(), key) - m_head.begin());
    const qint64 row = m_head.size() - 1 + std::llround(double(key - (m_head.isEmpty() ? 0 : m_head.last())) * m_density);
    return static_cast<int>(std::clamp<qint64>(row, 0, std::max(0, m_count - 1)));
}

bool RecordModel::fetch(bool forward, std::optional<qint64> from, int limit, QList<qint64>& keys) const {
    if (!m_source.resultKeys(forward, from, limit, keys))
        return false;
    // A record just written is a row once the model has counted it (takeAddedKeys()).
    if (m_seenAdded.size() != m_source.addedKeys().size())
        keys.removeIf([this](qint64 key) { return m_source.addedKeys().contains(key) && !m_seenAdded.contains(key); });
    return true;
}

void RecordModel::appendAdded(QList<qint64>& keys) const {
    for (const qint64 key : m_seenAdded)
        if (!keys.contains(key) && (keys.isEmpty() || key > keys.last()))
            keys.append(key);
}

bool RecordModel::placeTail() const {
    QList<qint64> keys;
    if (!fetch(false, std::nullopt, page, keys))
        return false;
    const bool head = keys.size() < page;
    appendAdded(keys);
    placeRun(keys, m_count - static_cast<int>(keys.size()), head, true);
    scheduleSettle();
    return true;
}

bool RecordModel::reach(int row) const {
    if (row < 0 || row >= m_count)
        return false;
    if (row >= m_base && row < m_base + m_run.size())
        return true;
    if (!m_source.isOpen() || m_source.isSearching())
        return false;

    // Next to the rows held: one more page on that side, the other end given up past a while.
    const int end = m_base + static_cast<int>(m_run.size());
    QList<qint64> keys;
    if (!m_run.isEmpty() && !m_runTail && row >= end && row < end + page) {
        if (!fetch(true, m_run.last(), page, keys))
            return false;
        const bool tail = keys.size() < page;
        if (tail) {
            keys.prepend(m_run.last());
            appendAdded(keys);
            keys.removeFirst();
        }
        m_run += keys;
        m_runTail = tail;
        if (m_run.size() > longestRun) {
            const int dropped = static_cast<int>(m_run.size()) - longestRun;
            m_run.remove(0, dropped);
            m_base += dropped;
            m_runHead = false;
        }
        scheduleSettle();
        if (row < m_base + m_run.size())
            return true;
    } else if (!m_run.isEmpty() && !m_runHead && row < m_base && row >= m_base - page) {
        if (!fetch(false, m_run.first(), page, keys))
            return false;
        m_runHead = keys.size() < page;
        m_run = keys + m_run;
        m_base -= static_cast<int>(keys.size());
        if (m_run.size() > longestRun) {
            m_run.resize(longestRun);
            m_runTail = false;
        }
        scheduleSettle();
        if (row >= m_base)
            return true;
    }

    // A jump: the first page, the last, or a page where the keys put that row.
    if (row < m_head.size()) {
        placeRun(m_head, 0, true, false);
        return true;
    }
    if (row >= m_count - page)
        return placeTail() && row >= m_base && row < m_base + m_run.size();
    const qint64 key = estimatedKey(row);
    QList<qint64> before;
    QList<qint64> after;
    if (!fetch(false, key, page / 2, before) || !fetch(true, key - 1, page, after))
        return false;
    const bool head = before.size() < page / 2;
    const bool tail = after.size() < page;
    keys = before + after;
    if (tail)
        appendAdded(keys);
    // The rows go where they were asked for; where an end was reached, the count is put
    // right afterwards (settle()).
    placeRun(keys, row - static_cast<int>(before.size()), head, tail);
    scheduleSettle();
    return row >= m_base && row < m_base + m_run.size();
}

void RecordModel::showEnd() {
    if (m_count > 0 && !(m_runTail && m_base + m_run.size() == m_count) && m_source.isOpen() && !m_source.isSearching())
        placeTail();
}

void RecordModel::showStart() {
    if (m_count > 0 && !(m_runHead && m_base == 0) && !m_head.isEmpty()) {
        placeRun(m_head, 0, true, m_head.size() < page);
        scheduleSettle();
    }
}

std::optional<qint64> RecordModel::keyAt(int row) const {
    if (!reach(row))
        return std::nullopt;
    return m_run.at(row - m_base);
}

int RecordModel::rowOfKey(qint64 key) const {
    if (const qsizetype at = m_run.indexOf(key); at >= 0 && m_base + at >= 0 && m_base + at < m_count)
        return m_base + static_cast<int>(at);
    if (!m_source.isOpen() || m_source.isSearching() || m_head.isEmpty())
        return -1;
    if (const qsizetype at = m_head.indexOf(key); at >= 0) {
        placeRun(m_head, 0, true, false);
        return static_cast<int>(at);
    }
    QList<qint64> before;
    QList<qint64> after;
    if (!fetch(false, key + 1, page / 2, before))
        return -1;
    if (before.isEmpty() || before.last() != key) {
        // A record written since the refresh that the query does not hold is shown last.
        if (!m_seenAdded.contains(key) || !placeTail())
            return -1;
        const qsizetype at = m_run.indexOf(key);
        return at >= 0 ? m_base + static_cast<int>(at) : -1;
    }
    if (!fetch(true, key, page, after))
        return -1;
    const bool head = before.size() < page / 2;
    const bool tail = after.size() < page;
    QList<qint64> keys = before + after;
    if (tail)
        appendAdded(keys);
    const int held = static_cast<int>(keys.size());
    const int base = head   ? 0
                     : tail ? m_count - held
                            : std::clamp(estimatedRow(key) - static_cast<int>(before.size() - 1), 0, std::max(0, m_count - held));
    placeRun(keys, base, head, tail);
    scheduleSettle();
    const int row = m_base + static_cast<int>(before.size()) - 1;
    return row >= 0 && row < m_count ? row : -1;
}

void RecordModel::scheduleSettle() const {
    if (m_settleDue)
        return;
    m_settleDue = true;
    QMetaObject::invokeMethod(const_cast<RecordModel*>(this), &RecordModel::settle, Qt::QueuedConnection);
}

void RecordModel::estimateToLastKey() {
    m_lastKnown = true;
    QList<qint64> last;
    if (m_head.isEmpty() || m_runTail || !fetch(false, std::nullopt, 1, last) || last.isEmpty() ||
        last.first() <= m_head.last())
        return;
    int later = 0;  // records written since, shown after the result's rows
    for (const qint64 key : m_seenAdded)
        later += key > last.first() ? 1 : 0;
    const qint64 estimate = m_head.size() + later + std::llround(double(last.first() - m_head.last()) * m_density);
    const int held = m_base + static_cast<int>(m_run.size());
    const int wanted = static_cast<int>(std::clamp<qint64>(estimate, std::max(held + 1, 1), mostRows));
    if (wanted < m_count) {
        beginRemoveRows({}, wanted, m_count - 1);
        m_count = wanted;
        endRemoveRows();
    } else if (wanted > m_count) {
        beginInsertRows({}, m_count, wanted - 1);
        m_count = wanted;
        endInsertRows();
    }
}

void RecordModel::settle() {
    m_settleDue = false;
    if (!m_lastKnown && !m_source.isSearching())
        estimateToLastKey();
    if (m_run.isEmpty())
        return;
    // The first rows: the run reached the result's first key at another row than the first.
    if (m_runHead && m_base > 0) {
        const int extra = m_base;
        beginRemoveRows({}, 0, extra - 1);
        m_count -= extra;
        m_base = 0;
        endRemoveRows();
        emit shiftedAtTop(-extra);
    } else if (m_base < 0 || (m_base == 0 && !m_runHead)) {
        // Rows before those held, more than the estimate has room for: one row at a time
        // as long as the grid does not reach them, as many as read once it does.
        const int missing = std::max(1, -m_base);
        beginInsertRows({}, 0, missing - 1);
        m_count += missing;
        m_base = 0;
        endInsertRows();
        emit shiftedAtTop(missing);
    }
    // The last rows: where the result ends, or beyond the estimate while it goes on.
    const int end = m_base + static_cast<int>(m_run.size());
    if (m_runTail && end < m_count) {
        beginRemoveRows({}, end, m_count - 1);
        m_count = end;
        endRemoveRows();
    } else if (end > m_count || (!m_runTail && end == m_count)) {
        const int wanted = m_runTail ? end : end + 1;
        beginInsertRows({}, m_count, wanted - 1);
        m_count = wanted;
        endInsertRows();
    }
}

void RecordModel::takeAddedKeys() {
    const QList<qint64> added = m_source.addedKeys();
    if (added == m_seenAdded)
        return;
    for (const qint64 key : added) {
        if (m_seenAdded.contains(key) || m_run.contains(key))
            continue;
        settle();
        // Counted between the two signals: before, the key is no row of the model's.
        if (m_run.isEmpty() && m_count == 0) {
            beginInsertRows({}, 0, 0);
            placeRun({key}, 0, true, true);
            m_count = 1;
            m_seenAdded.append(key);
            endInsertRows();
            continue;
        }
        beginInsertRows({}, m_count, m_count);
        if (m_runTail && m_base + m_run.size() == m_count)
            m_run.append(key);
        ++m_count;
        m_seenAdded.append(key);
        endInsertRows();
    }
    m_seenAdded = added;
}

void RecordModel::removeKey(qint64 key) {
    m_head.removeAll(key);
    m_seenAdded.removeAll(key);
    if (m_count == 0)
        return;
    const qsizetype at = m_run.indexOf(key);
    int row = at >= 0 ? m_base + static_cast<int>(at) : estimatedRow(key);
    if (row < 0 || row >= m_count)
        return;
    beginRemoveRows({}, row, row);
    if (at >= 0)
        m_run.removeAt(at);
    else if (row < m_base)
        --m_base;
    --m_count;
    endRemoveRows();
}

std::pair<int, int> RecordModel::heldRows() const {
    return {std::clamp(m_base, 0, m_count), std::clamp(m_base + static_cast<int>(m_run.size()), 0, m_count)};
}

int RecordModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_count;
}

int RecordModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant RecordModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !checkIndex(index) || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    if (!reach(index.row()))
        return QString();
    const int at = index.row() - m_base;
    const qint64 key = m_run.at(at);
    // The rows a grid shows at once, read together: a screen from here on, a few before.
    if (!m_source.holdsRow(key))
        m_source.readRows(m_run.mid(std::max(0, at - 8), 72));
    return m_source.valueOfKey(key, m_columns.at(index.column()).field);
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
    const std::optional<qint64> key = keyAt(index.row());
    if (!key)
        return false;
    if (m_source.isAdding() || m_source.currentKey() != key) {
        if (Result moved = m_source.moveToKey(*key); !moved) {
            emit refused(moved.message());
            return false;
        }
    }
    if (Result set = m_source.setFieldValue(m_columns.at(index.column()).field, value.toString()); !set) {
        emit refused(set.message());
        return false;
    }
    return true;
}
