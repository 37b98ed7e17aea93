#include "data/sqlite/SchemaCheck.h"

#include "data/sqlite/EngineError.h"
#include "data/sqlite/SqliteSchema.h"
#include "data/vocabulary/Schema.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <sqlite3.h>

namespace SchemaCheck {

namespace {

struct Entry {
    QString type;
    QString name;
    QString sql;
    bool hasSql = false;
};

QString text(sqlite3_stmt* statement, int column) {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)));
}

QString quotedList(const QStringList& names) {
    return QStringLiteral("«") + names.join(QStringLiteral("», «")) + QStringLiteral("»");
}

// "la tabella «x»" / "le tabelle «x», «y»", and the verb agreeing with it.
QString manyOrOne(const QStringList& names, const QString& one, const QString& many) {
    return (names.size() == 1 ? one : many) + QLatin1Char(' ') + quotedList(names);
}

QString kindOf(const QString& type) {
    if (type == QLatin1String("table"))
        return QStringLiteral("la tabella");
    if (type == QLatin1String("index"))
        return QStringLiteral("l'indice");
    if (type == QLatin1String("trigger"))
        return QStringLiteral("il trigger");
    if (type == QLatin1String("view"))
        return QStringLiteral("la vista");
    return QStringLiteral("l'oggetto");
}

// The file keeps the very text the program wrote: most objects compare equal as they are.
bool sameSql(const QString& own, const QString& found) {
    return own == found || Schema::normalisedSql(own) == Schema::normalisedSql(found);
}

QString readSchema(sqlite3* db, QList<Entry>& entries) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT type, name, sql FROM sqlite_master", -1, &statement, nullptr) != SQLITE_OK)
        return EngineError::describe(sqlite3_extended_errcode(db));
    int status;
    while ((status = sqlite3_step(statement)) == SQLITE_ROW)
        entries.append({text(statement, 0).toLower(), text(statement, 1), text(statement, 2),
                        sqlite3_column_type(statement, 2) != SQLITE_NULL});
    sqlite3_finalize(statement);
    if (status != SQLITE_DONE)
        return EngineError::describe(sqlite3_extended_errcode(db));
    return QString();
}

QStringList columnsOf(sqlite3* db, const QString& table) {
    QStringList columns;
    sqlite3_stmt* statement = nullptr;
    // The table name is one of the program's own six: nothing read from the file goes into SQL.
    const QByteArray sql = QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(table).toUtf8();
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
        return columns;
    while (sqlite3_step(statement) == SQLITE_ROW)
        columns << text(statement, 0).toLower();
    sqlite3_finalize(statement);
    return columns;
}

// A table declared WITHOUT ROWID has no rowid, by which the program finds every row.
bool withoutRowid(sqlite3* db, const QString& table) {
    sqlite3_stmt* statement = nullptr;
    bool without = false;
    const QByteArray name = table.toUtf8();
    if (sqlite3_prepare_v2(db, "SELECT wr FROM pragma_table_list WHERE schema = 'main' AND name = ? COLLATE NOCASE", -1,
                           &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(statement, 1, name.constData(), static_cast<int>(name.size()), SQLITE_STATIC);
        without = sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_int(statement, 0) != 0;
    }
    sqlite3_finalize(statement);
    return without;
}

qint64 pragmaNumber(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    qint64 value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return value;
}

// A file shorter than its own header says lost its end: SQLite would only find out
// page by page, at the first read of a missing one.
bool truncated(sqlite3* db) {
    const char* name = sqlite3_db_filename(db, "main");
    if (!name || !*name)
        return false;
    const QString path = QFile::decodeName(name);
    // A journal beside it may still put the file right.
    if (QFileInfo::exists(path + QStringLiteral("-journal")) || QFileInfo::exists(path + QStringLiteral("-wal")))
        return false;
    const qint64 pages = pragmaNumber(db, "PRAGMA page_count");
    const qint64 pageSize = pragmaNumber(db, "PRAGMA page_size");
    return pages > 0 && pageSize > 0 && QFileInfo(path).size() < pages * pageSize;
}

} // namespace

QString problem(sqlite3* db) {
    QList<Entry> entries;
    if (const QString unreadable = readSchema(db, entries); !unreadable.isEmpty())
        return unreadable;
    if (truncated(db))
        return QStringLiteral("il file è incompleto (troncato)");

    const auto find = [&entries](const QString& name) -> const Entry* {
        for (const Entry& entry : entries)
            if (entry.name.compare(name, Qt::CaseInsensitive) == 0)
                return &entry;
        return nullptr;
    };

    // The six tables first: what is missing says the most.
    QStringList missingTables;
    QStringList notTables;
    for (const Schema::Table& table : Schema::tables()) {
        const Entry* entry = find(table.name);
        if (!entry)
            missingTables << table.name;
        else if (entry->type != QLatin1String("table"))
            notTables << table.name;
    }
    if (!missingTables.isEmpty())
        return manyOrOne(missingTables, QStringLiteral("manca la tabella"), QStringLiteral("mancano le tabelle"));
    if (!notTables.isEmpty())
        return quotedList(notTables) +
               (notTables.size() == 1 ? QStringLiteral(" non è una tabella") : QStringLiteral(" non sono tabelle"));

    QStringList noRowid;
    for (const Schema::Table& table : Schema::tables())
        if (withoutRowid(db, table.name))
            noRowid << table.name;
    if (!noRowid.isEmpty())
        return manyOrOne(noRowid, QStringLiteral("la tabella"), QStringLiteral("le tabelle")) +
               (noRowid.size() == 1 ? QStringLiteral(" è dichiarata") : QStringLiteral(" sono dichiarate")) +
               QStringLiteral(" WITHOUT ROWID, una forma che VELMORA non sa leggere");

    for (const Schema::Table& table : Schema::tables()) {
        const QStringList present = columnsOf(db, table.name);
        QStringList missing;
        for (const Schema::Field& field : table.fields)
            if (!present.contains(field.name))
                missing << field.name;
        if (!missing.isEmpty())
            return QStringLiteral("nella tabella «%1» %2")
                .arg(table.name,
                     manyOrOne(missing, QStringLiteral("manca la colonna"), QStringLiteral("mancano le colonne")));
    }

    // Then every object of the file must be one of the program's own, made the same way.
    QStringList foreign;
    QStringList different;
    for (const Entry& entry : entries) {
        // The six tables may come from elsewhere (the older program, another tool): their
        // columns were checked above, and how they were declared is theirs to keep.
        if (entry.type == QLatin1String("table") && Schema::table(entry.name))
            continue;
        const Schema::SchemaObject* own = SqliteSchema::ownObject(entry.type, entry.name);
        const bool same = own && (own->sql.isEmpty() ? !entry.hasSql : sameSql(own->sql, entry.sql));
        if (!own)
            foreign << kindOf(entry.type) + QStringLiteral(" «") + entry.name + QStringLiteral("»");
        else if (!same)
            different << entry.name;
    }
    if (!foreign.isEmpty())
        return QStringLiteral("contiene %1, che VELMORA non crea").arg(foreign.join(QStringLiteral(", ")));
    if (!different.isEmpty())
        return QStringLiteral("la struttura di %1 non è quella che crea VELMORA").arg(quotedList(different));
    return QString();
}

} // namespace SchemaCheck
