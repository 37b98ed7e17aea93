#include "data/store/RecordSource.h"

#include "data/postgres/StatementWait.h"
#include "data/store/Database.h"
#include "data/store/RecordSourceDetail.h"
#include "data/vocabulary/Numbers.h"
#include "platform/Regional.h"

#include <QSqlQuery>

// RecordSource: the pending edit, new records, writes and deletes.

using namespace RecordSourceDetail;

Result RecordSource::storedValue(const Schema::Field& field, const QString& typed, QVariant& stored) const {
    const auto refused = [&](const QString& need) {
        // A pasted page would make the message unreadable: its start is enough to find it.
        const QString shown = typed.size() > 40 ? typed.left(40) + QStringLiteral("…") : typed;
        return Result::failure(
            QStringLiteral("Il valore «%1» non va bene per il campo «%2»: %3.")
                .arg(shown, m_captions.value(field.name, field.name), need));
    };
    switch (field.kind) {
    case Schema::FieldKind::Key:
        return Result::failure(QStringLiteral("Il campo «%1» è assegnato dal programma e non si può modificare.").arg(field.name));
    case Schema::FieldKind::Number: {
        if (typed.trimmed().isEmpty()) {
            stored = QVariant();
            return Result::success();
        }
        const std::optional<double> number = Numbers::typed(typed, m_regional.locale());
        if (!number)
            return refused(QStringLiteral("serve un numero"));
        stored = *number;
        return Result::success();
    }
    case Schema::FieldKind::Date: {
        if (typed.trimmed().isEmpty()) {
            stored = QVariant();
            return Result::success();
        }
        const std::optional<QDate> date = m_regional.parseDate(typed);
        if (!date)
            return refused(QStringLiteral("serve una data come %1").arg(m_regional.dateText(QDate(2026, 3, 1))));
        stored = date->toString(Qt::ISODate);
        return Result::success();
    }
    case Schema::FieldKind::Text:
        break;
    }
    stored = typed;
    return Result::success();
}

Result RecordSource::setFieldValue(const QString& fieldName, const QString& value) {
    dropSearch();
    if (!isOpen())
        return notOpen();
    const Schema::Field* field = schemaField(fieldName);
    if (!field || !m_columns.contains(field->name))
        return Result::failure(QStringLiteral("Il campo «%1» non esiste nella tabella «%2».").arg(fieldName, m_table));
    if (field->kind == Schema::FieldKind::Key)
        return Result::failure(QStringLiteral("Il campo «%1» è assegnato dal programma e non si può modificare.").arg(field->name));
    if (!m_adding && m_current < 0)
        return Result::failure(QStringLiteral("Non c'è un record corrente in cui scrivere «%1».").arg(field->name));
    if (m_pending.value(field->name) == value && m_pending.contains(field->name))
        return Result::success();
    m_pending.insert(field->name, value);
    emit valueChanged(field->name);
    if (!m_adding)
        emit rowChanged(m_current);
    return Result::success();
}

Result RecordSource::setDefaultValue(const QString& fieldName, const QString& value) {
    if (!m_adding)
        return Result::failure(QStringLiteral("Nessun record in inserimento: «%1» non è stato scritto.").arg(fieldName));
    if (const Result written = setFieldValue(fieldName, value); !written)
        return written;
    m_defaults.insert(schemaField(fieldName)->name, value);
    return Result::success();
}

bool RecordSource::isUntypedNew() const {
    if (!m_adding)
        return false;
    // A field typed into and emptied again holds nothing either.
    for (auto typed = m_pending.constBegin(); typed != m_pending.constEnd(); ++typed) {
        const auto program = m_defaults.constFind(typed.key());
        if (program == m_defaults.constEnd() ? !typed.value().isEmpty() : *program != typed.value())
            return false;
    }
    return true;
}

Result RecordSource::pendingValues(QStringList& columns, QVariantList& values) const {
    for (auto typed = m_pending.constBegin(); typed != m_pending.constEnd(); ++typed) {
        QVariant stored;
        if (const Result ok = storedValue(*schemaField(typed.key()), typed.value(), stored); !ok)
            return ok;
        columns << quoted(typed.key());
        values << stored;
    }
    return Result::success();
}

Result RecordSource::insertNew() {
    m_inserted.reset();
    QStringList columns;
    QVariantList values;
    if (const Result ok = pendingValues(columns, values); !ok)
        return ok;
    QStringList marks(columns.size(), QStringLiteral("?"));
    if (!m_newKey.isEmpty()) {
        columns.prepend(QStringLiteral("rowid"));
        marks.prepend(m_newKey);
    }
    m_database->comeBack();
    QSqlQuery query(m_database->connection());
    const QString sql = columns.isEmpty()
                            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoted(m_table))
                            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(quoted(m_table), columns.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
    // An engine that tells the new key only when asked for it is asked.
    const QString returningKey = m_database->backend().returningKey(m_table);
    const bool returning = !returningKey.isEmpty();
    if (!query.prepare(sql + returningKey))
        return databaseError(QStringLiteral("il nuovo record"), query.lastError());
    for (const QVariant& value : std::as_const(values))
        query.addBindValue(value);
    bool inserted = false;
    qint64 key = 0;
    StatementWait::run(m_database->connection(), m_dialogs, [&] {
        if (!(inserted = query.exec()))
            return;
        key = returning ? (query.next() ? query.value(0).toLongLong() : 0) : query.lastInsertId().toLongLong();
        query.finish();
    });
    if (!inserted)
        return databaseError(QStringLiteral("il nuovo record"), query.lastError());

    m_inserted = key;
    m_adding = false;
    m_pending.clear();
    m_defaults.clear();
    m_added.append(key);
    if (m_tailLoaded && !m_keys.contains(key)) {
        emit aboutToInsertRows(rowCount(), rowCount());
        m_keys.append(key);
        emit rowsInserted();
    }
    readCurrent();
    emit currentChanged();
    emit newRecordWritten();
    return Result::success();
}

Result RecordSource::writeEdit() {
    m_inserted.reset();
    const std::optional<qint64> key = currentKey();
    if (!key)
        return Result::failure(QStringLiteral("Non c'è un record corrente da salvare."));
    QStringList assignments;
    QVariantList values;
    if (const Result ok = pendingValues(assignments, values); !ok)
        return ok;
    for (QString& column : assignments)
        column += QStringLiteral(" = ?");
    const QString sql =
        QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
            .arg(quoted(m_table), assignments.join(QStringLiteral(", ")), m_database->keyColumn(m_table));
    const RowGuard::Outcome outcome = guard().write(m_read.value_or(QVariantList{*key}), [&](QSqlQuery& query) {
        if (!query.prepare(sql))
            return false;
        for (const QVariant& value : std::as_const(values))
            query.addBindValue(value);
        query.addBindValue(*key);
        return query.exec();
    }, m_dialogs);
    if (outcome.kind != RowGuard::Outcome::Kind::Written)
        return refusedByOtherDesk(outcome, QStringLiteral("la modifica"), false);
    m_pending.clear();
    forgetRow(*key);
    readCurrent();
    emit rowChanged(m_current);
    emit currentChanged();
    return Result::success();
}

Result RecordSource::update() {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (!isOpen())
        return notOpen();
    if (m_adding)
        return insertNew();
    if (m_pending.isEmpty())
        return Result::failure(QStringLiteral("Non c'è nessuna modifica da salvare."));
    return writeEdit();
}

Result RecordSource::commitPending() {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (!isOpen() || !hasPendingEdit())
        return Result::success();
    return update();
}

Result RecordSource::leaveRecord() {
    // A new record nobody typed into (at most the program's own date in it) is dropped,
    // as Esc drops it: there is nothing to keep.
    if (isUntypedNew()) {
        cancelEdit();
        return Result::success();
    }
    return commitPending();
}

void RecordSource::cancelEdit() {
    if (!hasPendingEdit())
        return;
    const bool wasAdding = m_adding;
    m_adding = false;
    m_pending.clear();
    m_defaults.clear();
    // Back to the record as it is stored now, which may be another desk's.
    readCurrent();
    if (m_current >= 0)
        emit rowChanged(m_current);
    emit currentChanged();
    emit editCancelled(wasAdding);
}

Result RecordSource::addNew() {
    dropSearch();
    if (!isOpen())
        return notOpen();
    if (const Result left = leaveRecord(); !left)
        return left;
    m_adding = true;
    m_pending.clear();
    m_defaults.clear();
    emit currentChanged();
    return Result::success();
}

Result RecordSource::remove() {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (!isOpen())
        return notOpen();
    if (m_adding)
        return Result::failure(QStringLiteral("Il nuovo record non è ancora stato salvato: non c'è niente da eliminare."));
    const std::optional<qint64> key = currentKey();
    if (!key)
        return Result::failure(QStringLiteral("Non c'è un record da eliminare."));
    const RowGuard::Outcome outcome = guard().write(m_read.value_or(QVariantList{*key}), [&](QSqlQuery& query) {
        if (!query.prepare(
                QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(quoted(m_table), m_database->keyColumn(m_table))))
            return false;
        query.addBindValue(*key);
        return query.exec();
    }, m_dialogs);
    // A record another desk deleted first is gone all the same, as the user wanted.
    if (outcome.kind != RowGuard::Outcome::Kind::Written && outcome.kind != RowGuard::Outcome::Kind::Deleted)
        return refusedByOtherDesk(outcome, QStringLiteral("l'eliminazione"), true);

    const int removed = m_current;
    m_pending.clear();
    forgetRow(*key);
    m_added.removeAll(*key);
    emit aboutToRemoveRow(removed);
    m_keys.removeAt(removed);
    m_current = -1;
    m_next = removed;
    m_read.reset();
    emit rowRemoved();
    emit currentChanged();
    return Result::success();
}
