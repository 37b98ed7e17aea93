#pragma once

#include "data/vocabulary/DatabaseLocation.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class QSqlDatabase;

// Watches the program's connection to a PostgreSQL server from a thread of its own. A
// statement the window's thread waits on cannot be stopped from that thread, and a server
// that no longer answers (its processes stopped, its computer frozen, a link broken
// half-way) would hold the window until the system gives the link up, minutes later.
// When the window's thread has not come back to its events for a while, the watch asks the
// server's port whether PostgreSQL still answers there; when it does not, it shuts the
// connection's socket: the statement then fails at once as a lost connection, which the
// program tells, keeping what was typed. A server that answers is left to work.
class ServerWatch : public QObject {
public:
    explicit ServerWatch(const DatabaseLocation& location, QObject* parent = nullptr);
    ~ServerWatch() override;
    ServerWatch(const ServerWatch&) = delete;
    ServerWatch& operator=(const ServerWatch&) = delete;

    // The connection to guard from now on (its socket changes at every reconnection); a
    // closed one, or another engine's, leaves nothing guarded.
    void guard(const QSqlDatabase& db);
    void release();

private:
    void watch();

    DatabaseLocation m_location;
    QTimer m_beat; // in the window's thread: shows that it comes back to its events
    std::atomic<qint64> m_lastBeatMs;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_socket = -1; // under m_mutex
    bool m_stop = false;
    std::thread m_thread;
};
