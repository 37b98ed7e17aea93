#include "ChangeWatch.h"

#include <QSqlDriver>
#include <QSqlQuery>

ChangeWatch::ChangeWatch(const QSqlDatabase& db) : m_db(db) {
    // data_version changes when another connection commits (not for this connection's own
    // writes, which the program follows itself). A PostgreSQL snapshot (xmin:xmax:running)
    // stays the same until a transaction that writes ends somewhere on the server.
    switch (db.driver() ? db.driver()->dbmsType() : QSqlDriver::UnknownDbms) {
    case QSqlDriver::SQLite:
        m_probe = QStringLiteral("PRAGMA data_version");
        break;
    case QSqlDriver::PostgreSQL:
        m_probe = QStringLiteral("SELECT txid_current_snapshot()::text");
        break;
    default:
        break;
    }
}

bool ChangeWatch::othersWrote() {
    if (m_probe.isEmpty())
        return true;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.exec(m_probe) || !query.next()) {
        m_stamp = QVariant();
        return true;
    }
    const QVariant stamp = query.value(0);
    const bool changed = m_stamp.isNull() || stamp != m_stamp;
    m_stamp = stamp;
    return changed;
}
