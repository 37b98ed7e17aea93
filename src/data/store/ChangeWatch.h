#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

class Dialogs;
class WriteLedger;

// Tells whether another connection (another desk) may have committed changes to the
// database since the last time it was asked, so that rows read before can be read again.
// SQLite says so through its data_version; PostgreSQL's snapshot of running transactions
// stays the same while nobody ends a transaction that wrote. Where neither can be read, the answer
// is always yes.
class ChangeWatch {
public:
    // SQLite: with a ledger, the commits of the search index's builder do not count.
    // PostgreSQL: `dialogs` show the wait for a server slow to answer (StatementWait).
    explicit ChangeWatch(const QSqlDatabase& db, WriteLedger* ledger = nullptr, Dialogs* dialogs = nullptr);

    // True the first time, and whenever someone else may have written since the last call.
    bool othersWrote();
    // Forgets the last answer: the next call says yes.
    void reset() { m_stamp = QVariant(); }

private:
    QSqlQuery m_probe; // prepared once: it runs at every move
    WriteLedger* m_ledger;
    Dialogs* m_dialogs;
    QSqlDatabase m_db;
    bool m_ready = false;
    QVariant m_stamp;
};
