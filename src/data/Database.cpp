#include "Database.h"

#include "ColumnCache.h"
#include "EngineError.h"
#include "RegularFile.h"
#include "Schema.h"
#include "SchemaCheck.h"
#include "SearchIndex.h"
#include "SqlFunctions.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
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

QString unusable(const QString& path, const QString& reason) {
    return QStringLiteral("Il database «%1» non si può usare: %2. Non ci sono dati da mostrare.").arg(path, reason);
}

// Whether a path names a file a connection can be opened on.
Result checkPath(const QString& path) {
    if (path.trimmed().isEmpty())
        return Result::failure(
            QStringLiteral("Il file daba.ini non indica alcun database: non ci sono dati da mostrare."));
    if (!QFileInfo::exists(path))
        return Result::failure(QStringLiteral("Il database «%1» non esiste: non ci sono dati da mostrare.").arg(path));
    if (const QString problem = RegularFile::problem(path); !problem.isEmpty())
        return Result::failure(unusable(path, QStringLiteral("il file ") + problem));
    return Result::success();
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
    return Result::success();
}

// Rows written through the program's own connection: the columns held in memory follow them.
void rowWritten(void* columns, int, const char* database, const char* table, sqlite3_int64 rowid) {
    if (qstrcmp(database, "main") == 0)
        static_cast<ColumnCache*>(columns)->rowChanged(table, rowid);
}

} // namespace

Database::Database(const QString& path, const QString& connectionName)
    : m_path(path), m_connectionName(connectionName) {}

Database::~Database() {
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
    return sqliteHandle(connection());
}

Result Database::open(const QString& path, std::shared_ptr<Database>& database) {
    database.reset();
    if (const Result usable = checkPath(path); !usable)
        return usable;

    const QString key = QFileInfo(path).canonicalFilePath();
    if (const std::shared_ptr<Database> shared = openFiles()[key].lock()) {
        database = shared;
        return Result::success();
    }
    if (const Result opened = openSeparate(path, database); !opened)
        return opened;
    openFiles()[key] = database;
    return Result::success();
}

Result Database::openSeparate(const QString& path, std::shared_ptr<Database>& database) {
    database.reset();
    if (const Result usable = checkPath(path); !usable)
        return usable;

    const QString name = QStringLiteral("velmora-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    std::shared_ptr<Database> opened(new Database(path, name));
    if (const Result connected = connect(name, path); !connected)
        return connected;

    // The six tables with all their columns, and nothing the program does not make itself:
    // a foreign trigger would act on every edit.
    if (const QString problem = SchemaCheck::problem(opened->handle()); !problem.isEmpty())
        return Result::failure(unusable(path, problem));

    // The search acceleration is a help, never a condition: a database that cannot take
    // its index (read-only, full disk) is searched all the same, only more slowly.
    sqlite3* db = opened->handle();
    opened->m_index = std::make_unique<SearchIndex>(db);
    (void)opened->m_index->install();
    opened->m_columns = std::make_unique<ColumnCache>(db);
    sqlite3_update_hook(db, rowWritten, opened->m_columns.get());

    database = opened;
    return Result::success();
}

Result Database::create(const QString& path) {
    if (QFileInfo::exists(path))
        return Result::failure(QStringLiteral("Il database «%1» esiste già.").arg(path));

    const QString name = QStringLiteral("velmora-new-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    Result result = Result::success();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open()) {
            result = Result::failure(QStringLiteral("Impossibile creare il database «%1»: %2.")
                                         .arg(path, EngineError::describe(db.lastError(), path)));
        } else {
            QSqlQuery query(db);
            db.transaction();
            for (const QString& statement : Schema::createStatements()) {
                if (!query.exec(statement)) {
                    result = Result::failure(QStringLiteral("Impossibile creare il database «%1»: %2.")
                                                 .arg(path, EngineError::describe(query.lastError(), path)));
                    break;
                }
            }
            if (result.ok())
                db.commit();
            else
                db.rollback();
            query.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!result.ok())
        QFile::remove(path);
    return result;
}
