#include "data/store/Database.h"

#include "data/postgres/PostgresConnection.h"
#include "data/postgres/PostgresSchema.h"
#include "data/postgres/PostgresSearch.h"
#include "data/postgres/ServerWatch.h"
#include "data/sqlite/EngineError.h"
#include "data/sqlite/SchemaCheck.h"
#include "data/sqlite/SqlFunctions.h"
#include "data/sqlite/SqliteSchema.h"
#include "data/sqlite/search/ColumnCache.h"
#include "data/sqlite/search/SearchIndex.h"
#include "data/sqlite/search/WriteLedger.h"
#include "data/vocabulary/Schema.h"
#include "platform/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <cerrno>
#include <map>
#include <sqlite3.h>

namespace {

// The open files of the process, by their canonical path.
std::map<QString, std::weak_ptr<Database>>& openFiles() {
    static std::map<QString, std::weak_ptr<Database>> files;
    return files;
}

sqlite3* sqliteHandle(const QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

// What ends every refusal of a database a window was to show.
const QString nothingShown = QStringLiteral(" Non ci sono dati da mostrare.");

QString unusable(const QString& path, const QString& reason) {
    return QStringLiteral("Il database «%1» non si può usare: %2.").arg(path, reason) + nothingShown;
}

// A path the old program wrote on Windows: a drive letter or a backslash.
bool oldProgramsPath(const QString& path) {
    return path.contains(QLatin1Char('\\')) ||
           (path.size() > 1 && path.at(1) == QLatin1Char(':') && path.at(0).isLetter());
}

// An Access/Jet file, by the name its header carries after the first four bytes.
bool isAccessArchive(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray start = file.read(19).mid(4);
    return start == "Standard Jet DB" || start == "Standard ACE DB";
}

QString newConnectionName(const char* kind) {
    return QLatin1String(kind) + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// A file locked by another connection (the search index's builder, another copy of the
// program) is tried again every millisecond for up to about 5 s, as long as Qt would wait:
// SQLite's own timeout sleeps ever longer and would keep missing the short gaps between
// the builder's transactions.
int waitForLock(void*, int attempts) {
    if (attempts >= 5000)
        return 0;
    sqlite3_sleep(1);
    return 1;
}

// Opens a connection to a file and makes it ready for the program's queries.
Result connect(const QString& name, const QString& path) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    if (!db.open())
        return Result::failure(unusable(path, EngineError::describe(db.lastError(), path)));
    sqlite3* handle = sqliteHandle(db);
    if (!handle || !SqlFunctions::install(handle))
        return Result::failure(QStringLiteral("Impossibile preparare il database «%1».").arg(path));
    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA cache_size = -16384"));  // 16 MB of pages, whatever the file's size
    sqlite3_busy_handler(handle, waitForLock, nullptr);
    // The full code tells a file deleted or replaced under the program from a protected one.
    sqlite3_extended_result_codes(handle, 1);
    return Result::success();
}

// Rows written through the program's own connection: the columns held in memory follow them.
void rowWritten(void* columns, int, const char* database, const char* table, sqlite3_int64 rowid) {
    if (qstrcmp(database, "main") == 0)
        static_cast<ColumnCache*>(columns)->rowChanged(table, rowid);
}

} // namespace

Database::Database(const QString& path, const DatabaseLocation& location, const QString& connectionName)
    : m_path(path), m_location(location), m_connectionName(connectionName) {}

Database::~Database() {
    m_kept.clear();
    m_search.reset();
    m_serverWatch.reset();
    if (sqlite3* db = handle())
        sqlite3_update_hook(db, nullptr, nullptr);
    m_index.reset();
    m_columns.reset();
    QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlDatabase Database::connection() const {
    return QSqlDatabase::database(m_connectionName, false);
}

sqlite3* Database::handle() const {
    return isPostgres() ? nullptr : sqliteHandle(connection());
}

QString Database::keyColumn(const QString& table) const {
    return isPostgres() ? PostgresSchema::keyColumn(table) : QStringLiteral("rowid");
}

bool Database::reconnect() {
    if (!isPostgres())
        return true;
    // What was prepared on the lost connection is gone from the server with it.
    m_kept.clear();
    m_search.reset();
    if (m_serverWatch)
        m_serverWatch->release();
    QSqlDatabase db = connection();
    db.close();
    ++m_generation;
    // A server that does not answer would hold the window for libpq's whole time limit, at
    // every try: a quick question first.
    if (!PostgresConnection::answers(m_location, 2000) || !db.open())
        return false;
    if (m_serverWatch)
        m_serverWatch->guard(db);
    return true;
}

void Database::comeBack() {
    if (isPostgres() && !connection().isOpen())
        (void)reconnect();
}

bool Database::connectionLost(const QSqlError& error) const {
    return isPostgres() && (!connection().isOpen() || EngineError::isConnectionLoss(error));
}

QSqlQuery* Database::kept(const QString& sql, QSqlError& error) {
    if (!isPostgres())
        return nullptr;
    constexpr std::size_t keptStatements = 32;
    for (auto i = m_kept.begin(); i != m_kept.end(); ++i)
        if (i->first == sql) {
            m_kept.splice(m_kept.begin(), m_kept, i);
            return m_kept.front().second.get();
        }
    auto query = std::make_unique<QSqlQuery>(connection());
    query->setForwardOnly(true);
    if (!query->prepare(sql)) {
        error = query->lastError();
        return nullptr;
    }
    if (m_kept.size() >= keptStatements)
        m_kept.pop_back();
    m_kept.emplace_front(sql, std::move(query));
    return m_kept.front().second.get();
}

void Database::forget(const QString& sql) {
    m_kept.remove_if([&sql](const auto& kept) { return kept.first == sql; });
}

PostgresSearch* Database::searchConnection(bool make) {
    if (!isPostgres())
        return nullptr;
    if (m_search && m_search->isBroken()) {
        m_search.reset();
        m_searchGeneration = -1; // lost on the way: made again once
    }
    // A server that refused it is not asked again at every keystroke, only after the
    // program's own connection was made again.
    // Nor while the program's own connection is closed: the server did not answer it.
    if (!m_search && make && m_searchGeneration != m_generation && connection().isOpen()) {
        m_searchGeneration = m_generation;
        m_search = PostgresSearch::connect(m_location);
    }
    return m_search.get();
}

QString Database::describe(const QSqlError& error) const {
    if (!isPostgres())
        return EngineError::describe(error, m_path);
    // A table another session holds (a restore, a desk's open transaction): who it is.
    if (error.nativeErrorCode() == QLatin1String("55P03")) {
        QStringList tables;
        for (const Schema::Table& table : Schema::tables())
            tables << table.name;
        if (const QString holder = PostgresConnection::lockHolder(connection(), tables); !holder.isEmpty())
            return QStringLiteral("i dati sono in uso da %1; riprovare tra poco").arg(holder);
    }
    // A closed connection leaves Qt's statements with no error of the server to tell.
    return EngineError::describePostgres(connectionLost(error)
                                             ? QSqlError(QString(), QString(), QSqlError::ConnectionError)
                                             : error);
}

QString Database::describeReading(const QSqlError& error) const {
    return isPostgres() ? EngineError::describePostgres(error) : EngineError::describeReading(error);
}

Result Database::open(const QString& path, std::shared_ptr<Database>& database) {
    return connectTo(path, database, true);
}

Result Database::openSeparate(const QString& path, std::shared_ptr<Database>& database) {
    return connectTo(path, database, false);
}

Result Database::connectTo(const QString& path, std::shared_ptr<Database>& database, bool shared) {
    database.reset();
    if (path.trimmed().isEmpty())
        return Result::failure(
            QStringLiteral("Il file daba.ini non indica alcun database: non ci sono dati da mostrare."));
    DatabaseLocation location;
    if (const Result parsed = DatabaseLocation::parse(path, location); !parsed)
        return parsed;
    if (location.isPostgres())
        return openPostgres(path, location, database, shared);
    const QFileInfo file(path);
    if (!QFileInfo::exists(path))
        return Result::failure(oldProgramsPath(path)
                                   ? QStringLiteral("daba.ini indica ancora il database del vecchio programma con il "
                                                    "percorso di Windows «%1», non ancora trasferito in VELMORA: non ci "
                                                    "sono dati da mostrare. VELMORA lo cerca e propone di convertirlo "
                                                    "a ogni avvio.")
                                         .arg(path)
                                   : QStringLiteral("Il database «%1» non esiste: non ci sono dati da mostrare.").arg(path));
    if (const QString problem = RegularFile::problem(path); !problem.isEmpty())
        return Result::failure(unusable(path, QStringLiteral("il file ") + problem));
    if (isAccessArchive(path))
        return Result::failure(QStringLiteral("Il database «%1» è l'archivio Access del vecchio programma, non ancora "
                                              "convertito nel database di VELMORA: non ci sono dati da mostrare. VELMORA "
                                              "propone di convertirlo a ogni avvio.")
                                   .arg(path));

    const QString key = file.canonicalFilePath();
    if (shared) {
        if (const std::shared_ptr<Database> open = openFiles()[key].lock()) {
            database = open;
            return Result::success();
        }
    }

    const QString name = newConnectionName("velmora-");
    std::shared_ptr<Database> opened(new Database(path, location, name));
    if (const Result connected = connect(name, path); !connected)
        return connected;

    // The six tables with all their columns, and nothing the program does not make itself:
    // a foreign trigger would act on every edit.
    if (const QString problem = SchemaCheck::problem(opened->handle()); !problem.isEmpty())
        return Result::failure(unusable(path, problem));

    // The search acceleration is a help, never a condition: a database that cannot take
    // its index (read-only, full disk) is searched all the same, only more slowly.
    sqlite3* db = opened->handle();
    opened->m_ledger = std::make_unique<WriteLedger>(db);
    opened->m_index = std::make_unique<SearchIndex>(db, opened->m_ledger.get());
    (void)opened->m_index->install();
    opened->m_columns = std::make_unique<ColumnCache>(db, opened->m_ledger.get());
    sqlite3_update_hook(db, rowWritten, opened->m_columns.get());

    if (shared)
        openFiles()[key] = opened;
    database = opened;
    return Result::success();
}

Result Database::check(const QString& path) {
    std::shared_ptr<Database> database;
    const Result opened = open(path, database);
    if (opened)
        return opened;
    return Result::failure(QString(opened.message()).remove(nothingShown));
}

Result Database::openPostgres(const QString& path, const DatabaseLocation& location,
                              std::shared_ptr<Database>& database, bool shared) {
    const QString key = location.text();
    const QString address = location.text();
    if (const std::shared_ptr<Database> open = shared ? openFiles()[key].lock() : nullptr) {
        // The connection of a window still open may have died with a server that has
        // since come back: a window opened now gets a live one.
        QSqlQuery alive(open->connection());
        if (!alive.exec(QStringLiteral("SELECT 1")) && open->connectionLost(alive.lastError()) &&
            !open->reconnect())
            return Result::failure(unusable(address, PostgresConnection::diagnose(location)));
        database = open;
        return Result::success();
    }
    const QString name = newConnectionName("velmora-pg-");
    if (const Result connected = PostgresConnection::open(location, name); !connected)
        return Result::failure(unusable(address, connected.message()));
    std::shared_ptr<Database> opened(new Database(path, location, name));
    QSqlDatabase db = opened->connection();
    opened->m_serverWatch = std::make_unique<ServerWatch>(location);
    opened->m_serverWatch->guard(db);
    if (const Result prepared = PostgresSchema::prepare(db); !prepared)
        return Result::failure(unusable(address, prepared.message()));
    if (const QString problem = PostgresSchema::problem(db); !problem.isEmpty())
        return Result::failure(unusable(address, problem));
    opened->m_pieceIndex = PostgresSchema::hasGrams(db);
    if (shared)
        openFiles()[key] = opened;
    database = opened;
    return Result::success();
}

Result Database::createPostgres(const DatabaseLocation& location) {
    const QString address = location.text();
    const QString name = newConnectionName("velmora-pg-new-");
    if (const Result connected = PostgresConnection::open(location, name); !connected)
        return Result::failure(
            QStringLiteral("Impossibile creare il database «%1»: %2.").arg(address, connected.message()));
    Result result = Result::success();
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        bool any = false;
        for (const Schema::Table& table : Schema::tables()) {
            QSqlQuery query(db);
            query.prepare(QStringLiteral("SELECT 1 FROM information_schema.tables "
                                         "WHERE table_schema = current_schema() AND table_name = ?"));
            query.addBindValue(table.name);
            if (!query.exec() || query.next())
                any = true;
        }
        if (any)
            result = Result::failure(QStringLiteral("Il database «%1» contiene già le tabelle di un archivio: "
                                                    "non è stato cambiato.")
                                         .arg(address));
        else if (const Result prepared = PostgresSchema::prepare(db); !prepared)
            result = Result::failure(
                QStringLiteral("Impossibile creare il database «%1»: %2.").arg(address, prepared.message()));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

Result Database::create(const QString& path) {
    DatabaseLocation location;
    if (const Result parsed = DatabaseLocation::parse(path, location); !parsed)
        return parsed;
    if (location.isPostgres())
        return createPostgres(location);
    if (QFileInfo::exists(path))
        return Result::failure(QStringLiteral("Il database «%1» esiste già.").arg(path));

    const QString name = newConnectionName("velmora-new-");
    Result result = Result::success();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        // A file that may not grow (a full disk, a quota, a size limit) fails as a write error.
        const auto refused = [&](const QSqlError& error) {
            // A fresh connection: an error of the system it holds is this creation's.
            sqlite3* handle = db.isOpen() ? sqliteHandle(db) : nullptr;
            const int cause = handle ? sqlite3_system_errno(handle) : 0;
            const bool full = cause == ENOSPC || cause == EFBIG || cause == EDQUOT;
            return Result::failure(
                QStringLiteral("Impossibile creare il database «%1»: %2.")
                    .arg(path, full ? QStringLiteral("il disco è pieno") : EngineError::describe(error, path)));
        };
        if (!db.open()) {
            result = refused(db.lastError());
        } else {
            // The clients' data is for the user alone; set while the file is still empty.
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
            QSqlQuery query(db);
            db.transaction();
            for (const QString& statement : SqliteSchema::createStatements()) {
                if (!query.exec(statement)) {
                    result = refused(query.lastError());
                    break;
                }
            }
            // The tables reach the disk only at the commit: a full disk fails there.
            if (result.ok() && !db.commit())
                result = refused(db.lastError());
            if (!result.ok())
                db.rollback();
            query.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!result.ok()) {
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
    }
    return result;
}
