#include "data/postgres/ServerWatch.h"

#include "data/postgres/PostgresConnection.h"
#include "data/postgres/StatementWait.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>
#include <chrono>
#include <sys/socket.h>
#include <time.h>

#ifdef VELMORA_LIBPQ
#include <libpq-fe.h>
#endif

namespace {

// The window's thread away from its events this long is worth a question to the server,
// answered within this long; a server that answers is not asked again sooner than that. A
// busy server may be slow to answer once: only a server silent twice in a row is given up.
constexpr qint64 awayMs = 2000;
constexpr int answerMs = 2500;
constexpr qint64 askEveryMs = 2000;

qint64 nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

int socketOf(const QSqlDatabase& db) {
#ifdef VELMORA_LIBPQ
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // Qt names the type by its typedef or by the struct behind it, depending on its version.
    if (db.isOpen() && handle.isValid() &&
        (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0))
        if (PGconn* connection = *static_cast<PGconn* const*>(handle.constData()))
            return PQsocket(connection);
#else
    Q_UNUSED(db);
#endif
    return -1;
}

} // namespace

ServerWatch::ServerWatch(const DatabaseLocation& location, QObject* parent)
    : QObject(parent), m_location(location), m_lastBeatMs(nowMs()) {
    m_beat.setInterval(250);
    connect(&m_beat, &QTimer::timeout, this, [this] { m_lastBeatMs = nowMs(); });
    m_beat.start();
    m_thread = std::thread([this] { watch(); });
}

ServerWatch::~ServerWatch() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void ServerWatch::guard(const QSqlDatabase& db) {
    const int socket = socketOf(db);
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_socket = socket;
    m_lastBeatMs = nowMs();
}

void ServerWatch::release() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_socket = -1;
}

void ServerWatch::watch() {
    qint64 lastAsked = 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        m_wake.wait_for(lock, std::chrono::milliseconds(250));
        const qint64 now = nowMs();
        // A wait the user can stop is the user's to end.
        if (m_stop || m_socket < 0 || now - m_lastBeatMs < awayMs || now - lastAsked < askEveryMs ||
            StatementWait::stoppable()) {
            if (StatementWait::stoppable())
                m_lastBeatMs = now;
            continue;
        }
        const int socket = m_socket;
        lastAsked = now;
        // Asked without the lock: the window's thread may want to guard another socket meanwhile.
        lock.unlock();
        const bool answered =
            PostgresConnection::answers(m_location, answerMs) || PostgresConnection::answers(m_location, answerMs);
        lock.lock();
        // The socket is shut only while it is still the connection's: after a reconnection its
        // number may belong to another.
        if (!answered && !m_stop && m_socket == socket) {
            ::shutdown(socket, SHUT_RDWR);
            m_socket = -1;
        }
    }
}
