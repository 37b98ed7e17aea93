#pragma once

#include <optional>

#include <QVariant>

#include "data/vocabulary/DatabaseLocation.h"
#include "platform/Progress.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <chrono>

// PostgreSQL's own client programs (pg_dump, pg_restore), found on this computer and run
// without a shell, with a time limit, telling progress and stopping when asked.
// No password ever goes on their command line: libpq reads ~/.pgpass (or PGPASSFILE)
// itself, and never asks on a terminal.
class PostgresTools {
public:
    // Looks for the programs in these folders, in this order.
    explicit PostgresTools(QStringList folders);

    // The folders of PATH (where Debian's postgresql-client-common puts its wrappers), then
    // Debian's versioned folders /usr/lib/postgresql/N/bin, the newest first.
    static PostgresTools installed();

    // The full path of a program, or empty when none of the folders holds it.
    QString find(const QString& program) const;

    // Succeeds when every program is there; otherwise a phrase (to follow "Backup non
    // creato: ") that names the missing ones and the package that brings them.
    Result require(const QStringList& programs) const;

    // The longest a program may run, and how long it waits for a table another desk holds.
    void setTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }
    void setLockWait(std::chrono::milliseconds wait) { m_lockWait = wait; }
    std::chrono::milliseconds lockWait() const { return m_lockWait; }

    // The options that name the database at `location` (and forbid a password prompt).
    static QStringList connectionOptions(const DatabaseLocation& location);
    // Runs one statement on a short connection of its own (the program's may be busy or
    // gone) and answers the first value of its first row; nothing when the server cannot
    // be reached or the statement fails.
    static std::optional<QVariant> askServer(const DatabaseLocation& location, const QString& sql,
                                             const QVariantList& values = {});

    // How one run went.
    struct Run {
        enum class End { Finished, Failed, Stopped, TimedOut, NotStarted };
        End end = End::NotStarted;
        QByteArray output;  // what it wrote on standard output
        QStringList errors; // its lines on standard error that tell an error
    };

    // Runs a program found by find() to its end. Every line it writes on standard error
    // that matches `step` counts one step of `totalSteps` (0: not known) for `progress`,
    // which is also asked a few times a second whether to stop, so a window stays alive.
    // Stopped or past the time limit, the program is killed, and when it works on the
    // database at `server` its work there is cancelled too: a server does not notice a
    // client gone while it waits for a lock, and would hold its own locks meanwhile.
    Run run(const QString& program, const QStringList& arguments, Progress* progress = nullptr,
            const QRegularExpression& step = QRegularExpression(), qint64 totalSteps = 0,
            const DatabaseLocation* server = nullptr) const;

    // What went wrong in a run, as an Italian phrase that finishes a sentence: the server
    // unreachable, a password missing from .pgpass, a database missing, a version too old...
    QString describe(const Run& run, const QString& program, const DatabaseLocation& location) const;

private:
    QStringList m_folders;
    std::chrono::milliseconds m_timeLimit = std::chrono::minutes(20);
    std::chrono::milliseconds m_lockWait = std::chrono::seconds(30);
};
