#include "data/store/RecordSource.h"

#include "data/store/Database.h"
#include "data/store/RecordSourceDetail.h"
#include "data/vocabulary/FieldFormat.h"
#include "platform/Regional.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

// RecordSource: rows read in blocks by their keys and kept for showing.

using namespace RecordSourceDetail;

const QVariantList* RecordSource::row(qint64 key) const {
    if (const auto cached = m_rows.constFind(key); cached != m_rows.constEnd())
        return &cached.value();
    if (!isOpen())
        return nullptr;

    // Read a block of the window around the row, as a grid will want its neighbours too.
    const int at = static_cast<int>(m_keys.indexOf(key));
    QList<qint64> block{key};
    if (at >= 0)
        for (int i = std::max(0, at - rowBlock / 4); i < std::min(rowCount(), at + rowBlock) && block.size() < rowBlock; ++i)
            if (i != at && !m_rows.contains(m_keys.at(i)))
                block.append(m_keys.at(i));
    readBlock(block);
    const auto found = m_rows.constFind(key);
    return found == m_rows.constEnd() ? nullptr : &found.value();
}

void RecordSource::readRows(const QList<qint64>& keys) const {
    if (!isOpen())
        return;
    QList<qint64> block;
    for (const qint64 key : keys) {
        if (!m_rows.contains(key))
            block.append(key);
        if (block.size() == rowBlock) {
            readBlock(block);
            block.clear();
        }
    }
    if (!block.isEmpty())
        readBlock(block);
}

void RecordSource::readBlock(const QList<qint64>& block) const {
    if (m_rows.size() + block.size() > rowCacheLimit)
        m_rows.clear();

    QSqlQuery plain(m_database->connection());
    QString sql;
    QSqlQuery* query = m_database->backend().rowsByKeys(m_table, block, plain, sql);
    if (!query)
        return;
    if (!query->exec()) {
        if (query != &plain)
            m_database->forget(sql);
        return;
    }
    const int columns = query->record().count();
    while (query->next()) {
        QVariantList values;
        values.reserve(columns);
        for (int c = 0; c < columns; ++c)
            values.append(query->value(c));
        m_rows.insert(values.first().toLongLong(), values);
    }
    query->finish();
}

void RecordSource::forgetRow(qint64 key) {
    m_rows.remove(key);
}

QString RecordSource::valueAt(int index, const QString& fieldName) const {
    if (index < 0 || index >= rowCount())
        return QString();
    return valueOfKey(m_keys.at(index), fieldName);
}

QString RecordSource::valueOfKey(qint64 key, const QString& fieldName) const {
    const Schema::Field* field = schemaField(fieldName);
    const QString name = field ? field->name : fieldName.toLower();
    if (!m_adding && m_current >= 0 && m_current < rowCount() && m_keys.at(m_current) == key) {
        if (const auto typed = m_pending.constFind(name); typed != m_pending.constEnd())
            return typed.value();
    }
    const QVariantList* values = row(key);
    const int column = m_columns.value(name, -1);
    if (!values || column < 0 || column >= values->size())
        return QString();
    return FieldFormat::shown(field, values->at(column), m_regional);
}

QString RecordSource::value(const QString& fieldName) const {
    if (m_adding) {
        const Schema::Field* field = schemaField(fieldName);
        return m_pending.value(field ? field->name : fieldName.toLower());
    }
    return valueAt(m_current, fieldName);
}
