#pragma once

#include "platform/Result.h"

#include <QString>

// Where the office's database is, as the first value of daba.ini names it: a SQLite file
// (the default), or a PostgreSQL database shared by several desks, written
// postgresql://[user@]host[:port]/dbname. A password never goes in daba.ini: libpq reads
// ~/.pgpass (or PGPASSFILE) and PGSSLMODE itself.
class DatabaseLocation {
public:
    enum class Engine { SQLite, PostgreSQL };

    // Reads a daba.ini value. Anything that does not start with postgresql:// (or
    // postgres://) is a file path and is taken as it is; a malformed server address is
    // refused with an Italian sentence that says what is wrong.
    static Result parse(const QString& text, DatabaseLocation& location);

    // Reads a database named on a command line, for every command of the program: a
    // server's address is taken as daba.ini takes it, a file is relative to the folder the
    // command was given in. `database` becomes the value to open.
    static Result fromCommandLine(const QString& text, QString& database);

    Engine engine() const { return m_engine; }
    bool isPostgres() const { return m_engine == Engine::PostgreSQL; }

    // SQLite: the file path.
    const QString& file() const { return m_file; }

    // PostgreSQL: the parts of the address (user may be empty: libpq's default applies).
    const QString& user() const { return m_user; }
    const QString& host() const { return m_host; }
    int port() const { return m_port; }
    const QString& databaseName() const { return m_databaseName; }

    // The value as daba.ini holds it (the file path, or the normalised address).
    QString text() const;

    static constexpr int defaultPort = 5432;

private:
    Engine m_engine = Engine::SQLite;
    QString m_file;
    QString m_user;
    QString m_host;
    int m_port = defaultPort;
    QString m_databaseName;
};
