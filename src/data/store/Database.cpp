#include "data/store/Database.h"

#include "data/postgres/PostgresEngine.h"
#include "data/postgres/StatementWait.h"
#include "data/sqlite/SqliteEngine.h"
#include "platform/files/RegularFile.h"

#include <QFileInfo>
#include <QUuid>
#include <map>

namespace {

// The open files of the process, by their canonical path.
std::map<QString, std::weak_ptr<Database>>& openFiles() {
    static std::map<QString, std::weak_ptr<Database>> files;
    return files;
}

QString newConnectionName(const char* kind) {
    return QLatin1String(kind) + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace

Database::Database(const QString& path, const DatabaseLocation& location, const QString& connectionName)
    : m_path(path), m_location(location), m_connectionName(connectionName) {}

Database::~Database() {
    m_backend.reset();
    QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlDatabase Database::connection() const {
    return QSqlDatabase::database(m_connectionName, false);
}

sqlite3* Database::handle() const {
    return isPostgres() ? nullptr : static_cast<const SqliteEngine&>(*m_backend).handle();
}

bool Database::hasPieceIndex() const {
    return isPostgres() && static_cast<const PostgresEngine&>(*m_backend).hasPieceIndex();
}

SearchIndex* Database::searchIndex() const {
    return isPostgres() ? nullptr : static_cast<const SqliteEngine&>(*m_backend).searchIndex();
}

ColumnCache* Database::columns() const {
    return isPostgres() ? nullptr : static_cast<const SqliteEngine&>(*m_backend).columns();
}

WriteLedger* Database::ledger() const {
    return isPostgres() ? nullptr : static_cast<const SqliteEngine&>(*m_backend).ledger();
}

bool Database::waiting() {
    return StatementWait::busy();
}

Result Database::open(const QString& path, std::shared_ptr<Database>& database, Dialogs* dialogs) {
    return connectTo(path, database, true, dialogs);
}

Result Database::openSeparate(const QString& path, std::shared_ptr<Database>& database, Dialogs* dialogs) {
    return connectTo(path, database, false, dialogs);
}

Result Database::connectTo(const QString& path, std::shared_ptr<Database>& database, bool shared, Dialogs* dialogs) {
    database.reset();
    if (path.trimmed().isEmpty())
        return Result::failure(
            QStringLiteral("Il file daba.ini non indica alcun database: non ci sono dati da mostrare."));
    DatabaseLocation location;
    if (const Result parsed = DatabaseLocation::parse(path, location); !parsed)
        return parsed;
    const bool postgres = location.isPostgres();
    QString key = location.text();
    if (!postgres) {
        if (!QFileInfo::exists(path))
            return Result::failure(
                QStringLiteral("Il database «%1» non esiste: non ci sono dati da mostrare.").arg(path));
        if (const QString problem = RegularFile::problem(path); !problem.isEmpty())
            return Result::failure(::Engine::unusable(path, QStringLiteral("il file ") + problem));
        key = QFileInfo(path).canonicalFilePath();
    }
    if (const std::shared_ptr<Database> open = shared ? openFiles()[key].lock() : nullptr) {
        if (const Result there = open->m_backend->stillThere(dialogs); !there)
            return there;
        database = open;
        return Result::success();
    }

    const QString name = newConnectionName(postgres ? "velmora-pg-" : "velmora-");
    std::shared_ptr<Database> opened(new Database(path, location, name));
    if (const Result made = postgres ? PostgresEngine::open(location, name, opened->m_backend, dialogs)
                                     : SqliteEngine::open(path, name, opened->m_backend);
        !made)
        return made;
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
    return Result::failure(QString(opened.message()).remove(::Engine::nothingShown()));
}

Result Database::create(const QString& path) {
    DatabaseLocation location;
    if (const Result parsed = DatabaseLocation::parse(path, location); !parsed)
        return parsed;
    if (location.isPostgres())
        return PostgresEngine::create(location, newConnectionName("velmora-pg-new-"));
    return SqliteEngine::create(path, newConnectionName("velmora-new-"));
}
