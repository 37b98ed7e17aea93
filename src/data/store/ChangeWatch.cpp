#include "data/store/ChangeWatch.h"

#include "data/postgres/StatementWait.h"
#include "data/sqlite/search/WriteLedger.h"

#include <QSqlDriver>
#include <QSqlQuery>

ChangeWatch::ChangeWatch(const QSqlDatabase& db, WriteLedger* ledger, Dialogs* dialogs)
    : m_probe(db), m_ledger(ledger), m_dialogs(dialogs), m_db(db) {
    m_probe.setForwardOnly(true);
    // data_version changes when another connection commits (not for this connection's own
    // writes, which the program follows itself). A PostgreSQL snapshot (xmin:xmax:running)
    // stays the same until a transaction that writes ends somewhere on the server.
    switch (db.driver() ? db.driver()->dbmsType() : QSqlDriver::UnknownDbms) {
    case QSqlDriver::SQLite:
        m_ready = m_probe.prepare(QStringLiteral("PRAGMA data_version"));
        break;
    case QSqlDriver::PostgreSQL:
        m_ready = m_probe.prepare(QStringLiteral("SELECT txid_current_snapshot()::text"));
        break;
    default:
        break;
    }
}

bool ChangeWatch::othersWrote() {
    if (m_ledger) {
        const QVariant stamp = QVariant::fromValue(m_ledger->generation());
        const bool changed = m_stamp.isNull() || stamp != m_stamp;
        m_stamp = stamp;
        return changed;
    }
    QVariant stamp;
    StatementWait::run(m_db, m_dialogs, [&] {
        if (m_ready && m_probe.exec() && m_probe.next())
            stamp = m_probe.value(0);
        m_probe.finish();
    });
    if (stamp.isNull()) {
        m_stamp = QVariant();
        return true;
    }
    const bool changed = m_stamp.isNull() || stamp != m_stamp;
    m_stamp = stamp;
    return changed;
}
