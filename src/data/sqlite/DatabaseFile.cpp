#include "data/sqlite/DatabaseFile.h"

#include "data/sqlite/EngineError.h"
#include "data/sqlite/SchemaCheck.h"
#include "platform/files/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QUrl>
#include <cstdio>
#include <sqlite3.h>

namespace {

// What a temporary copy is called beside its destination until it takes its place; a
// copy cut short (the program killed) is known by it and removed later.
const QString temporaryMark = QStringLiteral(".velmora-");

// An SQLite connection that closes itself.
class Connection {
public:
    // A backup that is only read (`asFound`) is opened so that SQLite leaves nothing beside
    // it: a file in WAL mode would otherwise get its -wal and -shm files. One that has its
    // -wal file beside it needs it, and is opened as any other.
    Connection(const QString& path, int flags, bool asFound = false) : m_path(path) {
        QByteArray name = QFile::encodeName(path);
        if (asFound && !QFileInfo::exists(path + QStringLiteral("-wal"))) {
            name = "file:" + QUrl::toPercentEncoding(QFileInfo(path).absoluteFilePath(), "/") + "?immutable=1";
            flags |= SQLITE_OPEN_URI;
        }
        m_status = sqlite3_open_v2(name.constData(), &m_db, flags, nullptr);
        if (m_status == SQLITE_OK) {
            sqlite3_extended_result_codes(m_db, 1);
            sqlite3_busy_handler(m_db, &Connection::waitForLock, nullptr);
            // Nothing stored in a file we are only copying or checking may run our code.
            sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        }
    }
    ~Connection() { sqlite3_close(m_db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool ok() const { return m_status == SQLITE_OK; }
    sqlite3* handle() const { return m_db; }
    QString error() const { return EngineError::describe(m_db ? sqlite3_extended_errcode(m_db) : m_status, m_path); }

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

    QString m_path;
    sqlite3* m_db = nullptr;
    int m_status = SQLITE_ERROR;
};

// What backupPages() answers when the user stopped it through the progress.
constexpr int stoppedByUser = -1;

// Copies every page of one open database into another, as one transaction, a slice at a
// time so that progress shows; stopping before the end rolls the destination back.
// Answers SQLite's result code, or stoppedByUser.
int backupPages(sqlite3* from, sqlite3* into, Progress* progress) {
    sqlite3_backup* backup = sqlite3_backup_init(into, "main", from, "main");
    if (!backup)
        return sqlite3_extended_errcode(into);
    // 4 MB at the usual page size: small steps for progress, large enough to cost nothing.
    const int slice = progress ? 1024 : -1;
    int stepped;
    bool stopped = false;
    do {
        stepped = sqlite3_backup_step(backup, slice);
        if (stepped == SQLITE_OK) {
            const int total = sqlite3_backup_pagecount(backup);
            stopped = !Progress::advance(progress, total - sqlite3_backup_remaining(backup), total);
        }
    } while (stepped == SQLITE_OK && !stopped);
    const int finished = sqlite3_backup_finish(backup);
    if (stopped)
        return stoppedByUser;
    if (stepped != SQLITE_DONE)
        return stepped;
    return finished;
}

} // namespace

namespace DatabaseFile {

Result copy(const QString& source, const QString& destination, Progress* progress) {
    const auto failure = [&](const QString& reason) {
        return Result::failure(QStringLiteral("Impossibile copiare il database «%1» in «%2»: %3.").arg(source, destination, reason));
    };
    if (source.trimmed().isEmpty())
        return failure(QStringLiteral("non è indicato alcun database"));
    if (!QFileInfo::exists(source))
        return failure(QStringLiteral("il database non esiste"));
    if (const QString problem = RegularFile::problem(source); !problem.isEmpty())
        return failure(QStringLiteral("il file ") + problem);

    Connection from(source, SQLITE_OPEN_READONLY);
    if (!from.ok())
        return failure(from.error());

    QTemporaryFile temporary(destination + temporaryMark + QStringLiteral("XXXXXX"));
    if (!temporary.open())
        return failure(
            QStringLiteral("non si può creare un file nella cartella «%1»").arg(QFileInfo(destination).absolutePath()));
    const QString temporaryPath = temporary.fileName();
    {
        Connection into(temporaryPath, SQLITE_OPEN_READWRITE);
        if (!into.ok())
            return failure(into.error());
        const int code = backupPages(from.handle(), into.handle(), progress);
        if (code == stoppedByUser)
            return Result::userCancelled();
        if (code != SQLITE_OK) {
            // A damaged source is named as such; anything else concerns the new file.
            const bool damaged = (code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB;
            return failure(EngineError::describe(code, damaged ? source : temporaryPath));
        }
    }
    // The copy takes the destination's mode before it takes its place: never readable by
    // others for a moment.
    QFile::setPermissions(temporaryPath, RegularFile::modeReplacing(destination));
    // rename() replaces the destination in one step: never half a backup.
    if (std::rename(QFile::encodeName(temporaryPath).constData(), QFile::encodeName(destination).constData()) != 0)
        return failure(QFileInfo(destination).isDir() ? QStringLiteral("al suo posto c'è una cartella")
                                                      : QStringLiteral("il file non può essere sostituito"));
    temporary.setAutoRemove(false);
    return Result::success();
}

Result check(const QString& path) {
    const auto refused = [&](const QString& reason) {
        return Result::failure(QStringLiteral("Il file «%1» non è un backup utilizzabile: %2.").arg(path, reason));
    };
    if (const QString problem = RegularFile::problem(path); !problem.isEmpty())
        return refused(problem);
    Connection db(path, SQLITE_OPEN_READONLY, true);
    if (!db.ok())
        return refused(db.error());

    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db.handle(), "PRAGMA integrity_check", -1, &statement, nullptr) != SQLITE_OK)
        return refused(db.error());
    QStringList problems;
    int status;
    while ((status = sqlite3_step(statement)) == SQLITE_ROW)
        problems << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    if (status != SQLITE_DONE)
        return refused(EngineError::describe(status));
    if (problems != QStringList{QStringLiteral("ok")})
        return refused(QStringLiteral("il database è danneggiato"));

    if (const QString problem = SchemaCheck::problem(db.handle()); !problem.isEmpty())
        return refused(problem);
    return Result::success();
}

QString refusal(const QString& path) {
    Connection db(path, SQLITE_OPEN_READONLY);
    if (!db.ok())
        return db.error();
    return SchemaCheck::problem(db.handle());
}

Result restore(const QString& backup, const QString& live, Progress* progress) {
    const auto failure = [&](const QString& reason) {
        return Result::failure(QStringLiteral("Impossibile ripristinare «%1» su «%2»: %3.").arg(backup, live, reason));
    };
    if (QFileInfo::exists(live)) {
        if (QFileInfo(live).isDir())
            return failure(QStringLiteral("al posto del database c'è una cartella"));
        if (!QFileInfo(live).isFile())
            return failure(QStringLiteral("al posto del database c'è un file speciale (una pipe o un dispositivo)"));
    }
    Connection from(backup, SQLITE_OPEN_READONLY, true);
    if (!from.ok())
        return failure(from.error());
    int code = SQLITE_OK;
    {
        const QFile::Permissions mode = RegularFile::modeReplacing(live);
        Connection into(live, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        if (!into.ok())
            return failure(into.error());
        QFile::setPermissions(live, mode);  // a live file made here is private, as a new database
        code = backupPages(from.handle(), into.handle(), progress);
    }
    if (code == stoppedByUser)
        return Result::userCancelled();
    if (code == SQLITE_OK)
        return Result::success();
    if ((code & 0xff) != SQLITE_NOTADB && (code & 0xff) != SQLITE_CORRUPT)
        return failure(EngineError::describe(code, live));

    // The live file is too damaged for SQLite to write into (the caller has kept it as it
    // was): a whole new copy takes its place, and what belonged to the damaged file goes.
    if (const Result copied = copy(backup, live, progress); !copied)
        return copied;
    for (const char* sidecar : {"-journal", "-wal", "-shm"})
        QFile::remove(live + QLatin1String(sidecar));
    return Result::success();
}

int removeStaleCopies(const QString& folder) {
    // Ours only: "<name>.velmora-XXXXXX" and the journals SQLite kept beside it, and the
    // backups' temporary copies of earlier versions ("backup_06-12-2026.bak.AbC123").
    static const QRegularExpression ours(QStringLiteral("^.+\\.velmora-[A-Za-z0-9]{6}(-journal|-wal|-shm)?$"));
    static const QRegularExpression earlier(QStringLiteral("^backup_.+\\.bak\\.[A-Za-z0-9]{6}(-journal)?$"));
    int removed = 0;
    const QDir dir(folder);
    for (const QFileInfo& file : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QString name = file.fileName();
        if ((ours.match(name).hasMatch() || earlier.match(name).hasMatch()) && QFile::remove(file.filePath()))
            ++removed;
    }
    return removed;
}

} // namespace DatabaseFile
