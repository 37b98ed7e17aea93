#pragma once

#include <QtGlobal>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>

struct sqlite3;

// Tells the program's connection whether connections other than itself may have changed
// the data since it last asked, leaving out the commits of the search index's builder,
// which writes only the index's own tables from a connection of its own: without this,
// each of its commits would look like another desk's write (PRAGMA data_version) and
// make every column held in memory be read again.
//
// The builder's commits are known by the file change counter of the database header,
// which every commit in rollback-journal mode raises by one: the builder reads it while
// it holds the write lock, so the value its commit makes is certain. When the counter
// has moved only through values the builder made, and the schema is the same, nobody
// else committed. Anything else (WAL mode, a restore, a counter that cannot be read)
// counts as a change by others.
class WriteLedger {
public:
    explicit WriteLedger(sqlite3* db) : m_db(db) {}

    // Grows whenever others may have changed the data since the previous call (the
    // program's connection's own writes and the builder's are not counted). The first
    // call only takes note of the file.
    quint64 generation();

    // The builder's side, on its own connection, inside its write transaction.
    // The change counter its commit will make (nothing: the file is not in
    // rollback-journal mode), to note with committing() before COMMIT.
    static std::optional<quint32> nextCounter(sqlite3* builder);
    void committing(quint32 counter);
    // After COMMIT: whether it was written.
    void committed(bool written);

    // The header's change counter and whether the file uses a rollback journal, read
    // through SQLite's own handle; the caller holds at least a read lock.
    static bool readHeader(sqlite3* db, quint32& counter, bool& rollbackJournal);

private:
    struct Stamp {
        qint64 dataVersion = 0;
        qint64 schema = 0;
        quint32 counter = 0;
        bool rollbackJournal = false;
    };
    std::optional<Stamp> read();
    bool builderOnly(quint32 from, quint32 to);

    sqlite3* m_db;
    std::optional<Stamp> m_known;
    quint64 m_generation = 0;

    std::mutex m_mutex; // guards what the builder's thread writes
    std::condition_variable m_resolved;
    std::set<quint32> m_made;
    std::optional<quint32> m_pending;
};
