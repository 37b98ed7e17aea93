#include "DatabaseFile.h"

#include "Schema.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>
#include <sqlite3.h>

namespace {

// An SQLite connection that closes itself.
class Connection {
public:
    Connection(const QString& path, int flags) {
        m_status = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr);
        if (m_status == SQLITE_OK)
            sqlite3_busy_handler(m_db, &Connection::waitForLock, nullptr);
    }
    ~Connection() { sqlite3_close(m_db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool ok() const { return m_status == SQLITE_OK; }
    sqlite3* handle() const { return m_db; }
    QString error() const { return QString::fromUtf8(sqlite3_errmsg(m_db)); }

private:
    // Another program committing without pause holds the lock for all but a moment
    // between its transactions; SQLite's own busy timeout sleeps ever longer and keeps
    // missing those moments, so a copy would fail as busy. Try again every millisecond,
    // for up to 10 s.
    static int waitForLock(void*, int attempts) {
        if (attempts >= 10000)
            return 0;
        sqlite3_sleep(1);
        return 1;
    }

    sqlite3* m_db = nullptr;
    int m_status = SQLITE_ERROR;
};

// Copies every page of one open database into another, as one transaction.
QString backupPages(sqlite3* from, sqlite3* into) {
    sqlite3_backup* backup = sqlite3_backup_init(into, "main", from, "main");
    if (!backup)
        return QString::fromUtf8(sqlite3_errmsg(into));
    const int stepped = sqlite3_backup_step(backup, -1);
    const int finished = sqlite3_backup_finish(backup);
    if (stepped != SQLITE_DONE)
        return QString::fromUtf8(sqlite3_errstr(stepped));
    if (finished != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errstr(finished));
    return QString();
}

QString describeSqliteFailure(const QString& error) {
    if (error.contains(QStringLiteral("not a database")) || error.contains(QStringLiteral("malformed")))
        return QStringLiteral("il file non è un database valido");
    if (error.contains(QStringLiteral("full")))
        return QStringLiteral("il disco è pieno");
    if (error.contains(QStringLiteral("locked")) || error.contains(QStringLiteral("busy")))
        return QStringLiteral("il database è occupato da un'altra operazione");
    if (error.contains(QStringLiteral("readonly")) || error.contains(QStringLiteral("permission")) ||
        error.contains(QStringLiteral("unable to open")))
        return QStringLiteral("il file non si può scrivere in questa cartella");
    return error;
}

} // namespace

namespace DatabaseFile {

Result copy(const QString& source, const QString& destination) {
    const auto failure = [&](const QString& reason) {
        return Result::failure(QStringLiteral("Impossibile copiare il database «%1» in «%2»: %3.").arg(source, destination, reason));
    };
    if (source.trimmed().isEmpty())
        return failure(QStringLiteral("non è indicato alcun database"));
    if (!QFileInfo(source).isFile())
        return failure(QStringLiteral("il database non esiste"));

    Connection from(source, SQLITE_OPEN_READONLY);
    if (!from.ok())
        return failure(describeSqliteFailure(from.error()));

    QTemporaryFile temporary(destination + QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        return failure(QStringLiteral("non si può creare un file nella cartella di destinazione"));
    const QString temporaryPath = temporary.fileName();
    {
        Connection into(temporaryPath, SQLITE_OPEN_READWRITE);
        if (!into.ok())
            return failure(describeSqliteFailure(into.error()));
        if (const QString error = backupPages(from.handle(), into.handle()); !error.isEmpty())
            return failure(describeSqliteFailure(error));
    }
    // rename() replaces the destination in one step: never half a backup.
    if (std::rename(QFile::encodeName(temporaryPath).constData(), QFile::encodeName(destination).constData()) != 0)
        return failure(QStringLiteral("il file non può essere sostituito"));
    temporary.setAutoRemove(false);
    QFile::setPermissions(destination, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return Result::success();
}

Result check(const QString& path) {
    const auto refused = [&](const QString& reason) {
        return Result::failure(QStringLiteral("Il file «%1» non è un backup utilizzabile: %2.").arg(path, reason));
    };
    if (!QFileInfo(path).isFile())
        return refused(QStringLiteral("non esiste"));
    Connection db(path, SQLITE_OPEN_READONLY);
    if (!db.ok())
        return refused(QStringLiteral("non si può aprire"));

    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db.handle(), "PRAGMA integrity_check", -1, &statement, nullptr) != SQLITE_OK)
        return refused(QStringLiteral("non è un database"));
    QStringList problems;
    int status;
    while ((status = sqlite3_step(statement)) == SQLITE_ROW)
        problems << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    if (status == SQLITE_CORRUPT)
        return refused(QStringLiteral("il database è danneggiato"));
    if (status != SQLITE_DONE)
        return refused(QStringLiteral("non è un database"));
    if (problems != QStringList{QStringLiteral("ok")})
        return refused(QStringLiteral("il database è danneggiato"));

    QStringList missing;
    for (const Schema::Table& table : Schema::tables()) {
        sqlite3_stmt* exists = nullptr;
        sqlite3_prepare_v2(db.handle(), "SELECT 1 FROM sqlite_master WHERE type = 'table' AND lower(name) = ?", -1, &exists,
                           nullptr);
        const QByteArray name = table.name.toUtf8();
        sqlite3_bind_text(exists, 1, name.constData(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(exists) != SQLITE_ROW)
            missing << table.name;
        sqlite3_finalize(exists);
    }
    if (!missing.isEmpty())
        return refused(QStringLiteral("manca la tabella «%1»").arg(missing.join(QStringLiteral("», «"))));
    return Result::success();
}

Result restore(const QString& backup, const QString& live) {
    const auto failure = [&](const QString& reason) {
        return Result::failure(QStringLiteral("Impossibile ripristinare «%1» su «%2»: %3.").arg(backup, live, reason));
    };
    Connection from(backup, SQLITE_OPEN_READONLY);
    if (!from.ok())
        return failure(describeSqliteFailure(from.error()));
    Connection into(live, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!into.ok())
        return failure(describeSqliteFailure(into.error()));
    if (const QString error = backupPages(from.handle(), into.handle()); !error.isEmpty())
        return failure(describeSqliteFailure(error));
    return Result::success();
}

} // namespace DatabaseFile
