#include "data/store/RowGuard.h"

#include "data/postgres/PostgresConnection.h"
#include "data/postgres/StatementWait.h"
#include "platform/Dialogs.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlRecord>
#include <cmath>

namespace {

QString quoted(const QString& identifier) {
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

bool isPostgres(const QSqlDatabase& db) {
    return db.driver() && db.driver()->dbmsType() == QSqlDriver::PostgreSQL;
}

} // namespace

RowGuard::RowGuard(const QSqlDatabase& db, const QString& table, const QString& keyColumn, Dialogs* dialogs)
    : m_db(db), m_table(table), m_keyColumn(keyColumn), m_read(db), m_dialogs(dialogs) {
    m_read.setForwardOnly(true);
}

QString RowGuard::selectSql(bool lock) const {
    const QString key = quoted(m_keyColumn);
    return QStringLiteral("SELECT %1, * FROM %2 WHERE %1 = ?%3")
        .arg(key, quoted(m_table), lock && isPostgres(m_db) ? QStringLiteral(" FOR UPDATE") : QString());
}

bool RowGuard::read(qint64 key, QVariantList& row) {
    row.clear();
    m_error = QSqlError();
    if (!m_prepared && !(m_prepared = m_read.prepare(selectSql(false)))) {
        m_error = m_read.lastError();
        return false;
    }
    m_read.bindValue(0, key);
    bool found = false;
    StatementWait::run(m_db, m_dialogs, [&] {
        if (!m_read.exec()) {
            m_error = m_read.lastError();
            return;
        }
        found = m_read.next();
        if (found) {
            const int columns = m_read.record().count();
            row.reserve(columns);
            for (int c = 0; c < columns; ++c)
                row.append(m_read.value(c));
        } else {
            m_error = m_read.lastError();
        }
        // Done with it: on SQLite a statement left open would hold the file against writers.
        m_read.finish();
    });
    // Not run at all: another wait had the connection.
    if (!found && !m_error.isValid() && !StatementWait::stopped().isEmpty())
        m_error = QSqlError(QString(), StatementWait::stopped(), QSqlError::UnknownError);
    return found;
}

bool RowGuard::same(const QVariant& a, const QVariant& b) {
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    if (a.metaType() != b.metaType())
        return a.toString() == b.toString();
    if (a.metaType().id() == QMetaType::Double || a.metaType().id() == QMetaType::Float) {
        const double x = a.toDouble(), y = b.toDouble();
        return x == y || (std::isnan(x) && std::isnan(y));
    }
    return a == b;
}

RowGuard::Outcome RowGuard::write(const QVariantList& read, const std::function<bool(QSqlQuery&)>& statement,
                                  Dialogs* dialogs) const {
    if (!isPostgres(m_db))
        return tryWrite(read, statement, 0);
    // The whole try waits, with no limit of its own, for as long as the user wants it to: the
    // progress says who holds the row.
    if (StatementWait::available(m_db, dialogs)) {
        Outcome outcome;
        StatementWait::run(m_db, dialogs, [&] { outcome = tryWrite(read, statement, 0); });
        if (outcome.kind == Outcome::Kind::Failed && !StatementWait::stoppedHolder().isEmpty()) {
            outcome.error = QSqlError(QString(), StatementWait::stopped(), QSqlError::StatementError,
                                      QStringLiteral("55P03"));
            outcome.holder = StatementWait::stoppedHolder();
        }
        return outcome;
    }
    // Short tries, so that the progress answers a few times a second while the row is held.
    constexpr int firstWaitMs = 1000;
    constexpr int laterWaitMs = 250;
    std::unique_ptr<Progress> waiting;
    QString holder;
    for (int wait = firstWaitMs;; wait = laterWaitMs) {
        Outcome outcome = tryWrite(read, statement, wait);
        if (outcome.kind != Outcome::Kind::Failed || outcome.error.nativeErrorCode() != QLatin1String("55P03"))
            return outcome;
        if (holder.isEmpty())
            holder = PostgresConnection::lockHolder(m_db, {m_table});
        outcome.holder = holder;
        if (!waiting && dialogs)
            waiting = dialogs->progress(
                QStringLiteral("Il record è in uso da %1: si aspetta che lo lasci…")
                    .arg(holder.isEmpty() ? QStringLiteral("un'altra postazione") : holder),
                true);
        // Without a progress nobody could stop the wait: the caller says who holds the record.
        if (!waiting || !waiting->advance(0, 0))
            return outcome;
    }
}

RowGuard::Outcome RowGuard::tryWrite(const QVariantList& read, const std::function<bool(QSqlQuery&)>& statement,
                                     int lockWaitMs) const {
    Outcome outcome;
    const bool postgres = isPostgres(m_db);
    QSqlQuery query(m_db);
    // SQLite: IMMEDIATE takes the write lock now, so no other desk can commit between
    // the comparison and the write (a plain BEGIN would let two desks read, then
    // deadlock at their writes). PostgreSQL: FOR UPDATE below locks the row, and a desk
    // waiting on it then reads the row as the first one left it.
    if (!query.exec(postgres ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"))) {
        outcome.error = query.lastError();
        return outcome;
    }
    if (postgres && !query.exec(QStringLiteral("SET LOCAL lock_timeout = %1").arg(lockWaitMs))) {
        outcome.error = query.lastError();
        QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
        return outcome;
    }
    const auto rollback = [this] { QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK")); };
    const auto failed = [&](const QSqlError& error) {
        outcome.kind = Outcome::Kind::Failed;
        outcome.error = error;
        rollback();
        return outcome;
    };

    QSqlQuery now(m_db);
    now.setForwardOnly(true);
    if (!now.prepare(selectSql(true)))
        return failed(now.lastError());
    now.addBindValue(read.value(0));
    if (!now.exec())
        return failed(now.lastError());
    if (!now.next()) {
        if (now.lastError().isValid())
            return failed(now.lastError());
        outcome.kind = Outcome::Kind::Deleted;
        rollback();
        return outcome;
    }
    const int columns = now.record().count();
    for (int c = 0; c < columns; ++c)
        outcome.stored.append(now.value(c));
    now.finish();
    for (int c = 1; c < columns; ++c)
        if (c >= read.size() || !same(read.at(c), outcome.stored.at(c)))
            outcome.changed.append(c);
    if (!outcome.changed.isEmpty() || read.size() != columns) {
        outcome.kind = Outcome::Kind::Changed;
        rollback();
        return outcome;
    }

    QSqlQuery write(m_db);
    if (!statement(write))
        return failed(write.lastError());
    write.finish();
    if (QSqlQuery commit(m_db); !commit.exec(QStringLiteral("COMMIT")))
        return failed(commit.lastError());
    outcome.kind = Outcome::Kind::Written;
    outcome.stored.clear();
    return outcome;
}
