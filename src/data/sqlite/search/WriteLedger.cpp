#include "data/sqlite/search/WriteLedger.h"

#include <QtEndian>
#include <chrono>
#include <sqlite3.h>

namespace {

// A statement that runs to its first row and keeps its read transaction open until it
// goes out of scope.
class Pragma {
public:
    Pragma(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) == SQLITE_OK)
            m_row = sqlite3_step(m_statement) == SQLITE_ROW;
    }
    ~Pragma() { sqlite3_finalize(m_statement); }
    Pragma(const Pragma&) = delete;
    Pragma& operator=(const Pragma&) = delete;
    bool ok() const { return m_row; }
    qint64 value() const { return sqlite3_column_int64(m_statement, 0); }

private:
    sqlite3_stmt* m_statement = nullptr;
    bool m_row = false;
};

} // namespace

bool WriteLedger::readHeader(sqlite3* db, quint32& counter, bool& rollbackJournal) {
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file || !file->pMethods)
        return false;
    unsigned char header[28];
    if (file->pMethods->xRead(file, header, sizeof header, 0) != SQLITE_OK)
        return false;
    // Bytes 18 and 19 are 1 for a rollback journal, 2 for WAL.
    rollbackJournal = header[18] == 1 && header[19] == 1;
    counter = qFromBigEndian<quint32>(header + 24);
    return true;
}

std::optional<WriteLedger::Stamp> WriteLedger::read() {
    // One read transaction for all three, so that they describe the same state of the file.
    const Pragma schema(m_db, "PRAGMA schema_version");
    if (!schema.ok())
        return std::nullopt;
    Stamp stamp;
    stamp.schema = schema.value();
    if (!readHeader(m_db, stamp.counter, stamp.rollbackJournal))
        return std::nullopt;
    const Pragma version(m_db, "PRAGMA data_version");
    if (!version.ok())
        return std::nullopt;
    stamp.dataVersion = version.value();
    return stamp;
}

quint64 WriteLedger::generation() {
    const std::optional<Stamp> now = read();
    if (!now) {
        m_known.reset();
        return ++m_generation;
    }
    if (!m_known) {
        m_known = now;
        return m_generation;
    }
    // The same data_version: no other connection committed, whatever this one did.
    if (now->dataVersion != m_known->dataVersion &&
        !(now->rollbackJournal && m_known->rollbackJournal && now->schema == m_known->schema &&
          builderOnly(m_known->counter, now->counter)))
        ++m_generation;
    m_known = now;
    return m_generation;
}

bool WriteLedger::builderOnly(quint32 from, quint32 to) {
    std::unique_lock lock(m_mutex);
    bool only = to > from && to - from <= 1'000'000;
    for (quint32 value = from + 1; only && value <= to && value != 0; ++value) {
        // Seen just as the builder's COMMIT returns: wait for it to say whether it wrote.
        if (m_pending == value)
            m_resolved.wait_for(lock, std::chrono::milliseconds(50), [&] { return m_pending != value; });
        only = m_made.count(value) > 0;
    }
    m_made.erase(m_made.begin(), m_made.upper_bound(to));
    return only;
}

std::optional<quint32> WriteLedger::nextCounter(sqlite3* builder) {
    quint32 counter = 0;
    bool rollbackJournal = false;
    if (!readHeader(builder, counter, rollbackJournal) || !rollbackJournal)
        return std::nullopt;
    return counter + 1;
}

void WriteLedger::committing(quint32 counter) {
    const std::lock_guard lock(m_mutex);
    m_pending = counter;
}

void WriteLedger::committed(bool written) {
    {
        const std::lock_guard lock(m_mutex);
        if (written && m_pending)
            m_made.insert(*m_pending);
        m_pending.reset();
    }
    m_resolved.notify_all();
}
