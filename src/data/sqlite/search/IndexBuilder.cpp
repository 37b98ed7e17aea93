#include "data/sqlite/search/IndexBuilder.h"

#include "data/sqlite/search/SearchIndex.h"

#include <QFile>
#include <chrono>
#include <sqlite3.h>

namespace {

constexpr qint64 quietMs = 400;        // the build waits this long after the last key or click
// The work of one transaction. Its commit keeps readers out for the disk's time, and a
// larger one takes little longer: fewer, larger steps build sooner for the same waits.
constexpr auto stepBudget = std::chrono::milliseconds(24);
constexpr qint64 lockedPauseMs = 250;  // a database locked by another program is tried again after this

// The file is taken when the lock comes free, tried every millisecond: SQLite's own
// timeout sleeps ever longer and would miss the gaps between the program's writes.
// Up to about a second: a lock held longer is left for later.
int waitForLock(void*, int attempts) {
    if (attempts >= 1000)
        return 0;
    sqlite3_sleep(1);
    return 1;
}

} // namespace

qint64 IndexBuilder::now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

IndexBuilder::IndexBuilder(const QString& path, WriteLedger* ledger, qint64 lastInput,
                           std::function<void(End, const QString&)> ended)
    : m_path(path), m_ledger(ledger), m_ended(std::move(ended)), m_lastInput(lastInput) {
    m_thread = std::thread([this] { run(); });
}

IndexBuilder::~IndexBuilder() {
    stop();
}

void IndexBuilder::noteInput(qint64 at) {
    m_lastInput = at;
}

void IndexBuilder::stop() {
    m_stop = true;
    {
        const std::lock_guard lock(m_mutex);
        if (m_db)
            sqlite3_interrupt(m_db);
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool IndexBuilder::rest(qint64 ms) {
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
    return !m_stop;
}

void IndexBuilder::run() {
    sqlite3* db = nullptr;
    // Never makes a file: one gone meanwhile is not indexed.
    const int opened = sqlite3_open_v2(QFile::encodeName(m_path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (opened != SQLITE_OK || sqlite3_db_readonly(db, "main")) {
        const QString message = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(opened));
        sqlite3_close(db);
        m_running = false;
        if (!m_stop)
            m_ended(End::Failed, message);
        return;
    }
    sqlite3_busy_handler(db, waitForLock, nullptr);
    // Room for a whole step's pages: a step that spilled them would lock readers out early.
    sqlite3_exec(db, "PRAGMA cache_size = -16384", nullptr, nullptr, nullptr);
    {
        const std::lock_guard lock(m_mutex);
        m_db = db;
    }

    SearchIndex::Pace pace;
    std::optional<End> end;
    QString message;
    while (!m_stop && !end) {
        // Wait for the user to pause.
        const qint64 quietFor = now() - m_lastInput;
        if (m_lastInput != 0 && quietFor < quietMs) {
            rest(quietMs - quietFor);
            continue;
        }
        const qint64 started = now();
        // A key during the work: what is done is dropped rather than committed now.
        const auto keep = [&] { return !m_stop && m_lastInput < started; };
        SearchIndex::Chunk outcome = SearchIndex::Chunk::Indexed;
        const Result step = SearchIndex::indexChunk(db, stepBudget, pace, keep, m_ledger, outcome);
        if (m_stop)
            break;
        if (!step) {
            if (outcome == SearchIndex::Chunk::Busy) {
                rest(lockedPauseMs);
                continue;
            }
            end = End::Failed;
            message = step.message();
        } else if (outcome == SearchIndex::Chunk::Finished) {
            end = End::Complete;
        } else {
            // A gap between two steps, for other writers to take the lock.
            rest(3);
        }
    }
    {
        const std::lock_guard lock(m_mutex);
        m_db = nullptr;
    }
    sqlite3_close(db);
    m_running = false;
    if (end && !m_stop)
        m_ended(*end, message);
}
