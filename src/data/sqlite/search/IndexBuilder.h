#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class WriteLedger;
struct sqlite3;

// Builds the search index (SearchIndex) on a thread of its own, through a connection of
// its own to the file, so that the window's connection goes on reading while it works.
// It works only while the user pauses, one short transaction at a time with a gap
// between them for the program's own writes and other desks; a step during which the
// user pressed a key is rolled back rather than committed, since a commit keeps every
// reader out until the disk has it. A database locked by another program is waited
// for; any other failure ends the build until the database is opened again.
class IndexBuilder {
public:
    enum class End { Complete, Failed };
    // `ended` is called on the builder's thread when the build ends by itself; `lastInput`:
    // the user's last key or click (now()), 0 for none.
    IndexBuilder(const QString& path, WriteLedger* ledger, qint64 lastInput,
                 std::function<void(End, const QString&)> ended);
    ~IndexBuilder();
    IndexBuilder(const IndexBuilder&) = delete;
    IndexBuilder& operator=(const IndexBuilder&) = delete;

    // The clock of the user's input, in milliseconds.
    static qint64 now();
    // The user pressed a key or clicked (at now()): the build keeps out of the way for a while.
    void noteInput(qint64 at);
    // Rolls back the step under way and waits for the thread to end.
    void stop();
    bool isRunning() const { return m_running; }

private:
    void run();
    // Sleeps up to `ms`, or less when stopped; false when stopped.
    bool rest(qint64 ms);

    QString m_path;
    WriteLedger* m_ledger;
    std::function<void(End, const QString&)> m_ended;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{true};
    std::atomic<qint64> m_lastInput{0}; // steady clock, ms; 0: none yet
    std::mutex m_mutex;                  // guards m_db against an interrupt while it closes
    std::condition_variable m_wake;
    sqlite3* m_db = nullptr;
    std::thread m_thread;
};
