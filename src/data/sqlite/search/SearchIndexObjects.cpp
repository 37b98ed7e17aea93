#include "data/sqlite/search/SearchIndexObjects.h"

#include "data/sqlite/search/CriteriaIndex.h"

#include <QHash>

namespace SearchIndexDetail {

namespace {

QString triggerName(const QString& table, const char* event) {
    return QStringLiteral("velmora_ricerca_%1_%2").arg(table, QLatin1String(event));
}

// Each field's FTS5 table, then the table's three triggers, which keep the rows already
// covered in the index.
QList<Object> makeObjectsOf(const QString& table) {
    QList<Object> objects;
    const QList<SearchIndex::Field> fields = fieldsOf(table);
    const QString covered = QStringLiteral("(SELECT fino FROM %1 WHERE tabella = '%2')").arg(stateTable, table);
    QString onInsert, onDelete, onUpdate;
    for (const SearchIndex::Field& f : fields) {
        const QString fts = SearchIndex::ftsTable(f.table, f.field);
        objects << Object{QStringLiteral("table"), fts,
                          QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(%2, content='%3', tokenize='trigram', "
                                         "detail='none', columnsize=0)")
                              .arg(fts, f.field, f.table)};
        const QString changed =
            QStringLiteral("(old.rowid IS NOT new.rowid OR CAST(old.%1 AS BLOB) IS NOT CAST(new.%1 AS BLOB))")
                .arg(f.field);
        const QString add =
            QStringLiteral(" INSERT INTO %1(rowid, %2) SELECT new.rowid, new.%2 WHERE ").arg(fts, f.field);
        const QString remove =
            QStringLiteral(" INSERT INTO %1(%1, rowid, %2) SELECT 'delete', old.rowid, old.%2 WHERE ")
                .arg(fts, f.field);
        onInsert += add + QStringLiteral("new.rowid <= %1;").arg(covered);
        onDelete += remove + QStringLiteral("old.rowid <= %1;").arg(covered);
        onUpdate += remove + QStringLiteral("%1 AND old.rowid <= %2;").arg(changed, covered);
        onUpdate += add + QStringLiteral("%1 AND new.rowid <= %2;").arg(changed, covered);
    }
    const auto trigger = [&](const char* event, const char* when, const QString& body) {
        const QString name = triggerName(table, event);
        objects << Object{
            QStringLiteral("trigger"), name,
            QStringLiteral("CREATE TRIGGER %1 AFTER %2 ON %3 BEGIN%4 END").arg(name, QLatin1String(when), table, body)};
    };
    trigger("inserimento", "INSERT", onInsert);
    trigger("eliminazione", "DELETE", onDelete);
    trigger("modifica", "UPDATE", onUpdate);
    return objects;
}

} // namespace

QStringList indexedTables() {
    QStringList tables;
    for (const SearchIndex::Field& f : SearchIndex::fields())
        if (!tables.contains(f.table))
            tables << f.table;
    return tables;
}

QList<SearchIndex::Field> fieldsOf(const QString& table) {
    QList<SearchIndex::Field> fields;
    for (const SearchIndex::Field& f : SearchIndex::fields())
        if (f.table == table)
            fields << f;
    return fields;
}

const QList<Object>& objectsOf(const QString& table) {
    static const QHash<QString, QList<Object>> made = [] {
        QHash<QString, QList<Object>> all;
        for (const QString& indexed : indexedTables())
            all.insert(indexed, makeObjectsOf(indexed));
        return all;
    }();
    static const QList<Object> none;
    const auto found = made.constFind(table);
    return found == made.cend() ? none : *found;
}

QString stateTableSql() {
    return QStringLiteral("CREATE TABLE %1 (tabella TEXT PRIMARY KEY, fino INTEGER NOT NULL)").arg(stateTable);
}

QStringList verifiedTablesOn(sqlite3* db) {
    // One read of the schema and one of the state table, compared in memory: this runs at
    // every open of the database, before its window can show.
    QHash<std::pair<QString, QString>, QString> schema; // (type, name) -> sql
    Statement all(db, QStringLiteral("SELECT type, name, sql FROM sqlite_master"));
    while (all.step() == SQLITE_ROW)
        schema.insert({all.text(0), all.text(1)}, all.isNull(2) ? QString() : all.text(2));
    const QString table = QStringLiteral("table");
    const auto state = schema.constFind({table, stateTable});
    if (state == schema.cend() || *state != stateTableSql())
        return {};
    QStringList started; // tables with a row saying how far they are indexed
    Statement rows(db, QStringLiteral("SELECT tabella FROM %1 WHERE fino IS NOT NULL").arg(stateTable));
    while (rows.step() == SQLITE_ROW)
        started << rows.text(0);

    QStringList tables;
    for (const QString& indexed : indexedTables()) {
        // Compare every object with the statement that makes it.
        bool asMade = started.contains(indexed);
        for (const Object& expected : objectsOf(indexed)) {
            const auto found = schema.constFind({expected.type, expected.name});
            asMade = asMade && found != schema.cend() && *found == expected.sql;
            if (asMade && expected.type == table)
                for (const char* shadow : {"_data", "_idx", "_config"})
                    asMade = asMade && schema.contains({table, expected.name + QLatin1String(shadow)});
        }
        if (asMade)
            tables << indexed;
    }
    return tables;
}

} // namespace SearchIndexDetail

using namespace SearchIndexDetail;

QString SearchIndex::ftsTable(const QString& table, const QString& field) {
    return QStringLiteral("velmora_ricerca_%1_%2").arg(table.toLower(), field.toLower());
}

QStringList SearchIndex::objectNames() {
    QStringList names;
    for (const Schema::SchemaObject& object : schemaObjects())
        names << object.name;
    return names;
}

QList<Schema::SchemaObject> SearchIndex::schemaObjects() {
    QList<Schema::SchemaObject> objects{{QStringLiteral("table"), stateTable, stateTableSql(), false, true}};
    // SQLite itself decides which tables an FTS5 table keeps its index in and writes their
    // SQL: ask it, on an empty database in memory, rather than guess. Every index table is
    // made with the same options over one column, so one of them is asked and the others'
    // are the same with their own name in it; one that does not fit is asked itself.
    sqlite3* scratch = nullptr;
    const bool ready = sqlite3_open(":memory:", &scratch) == SQLITE_OK;
    const auto askSqlite = [&](const Object& object) {
        QList<Schema::SchemaObject> shadows;
        if (!ready || !exec(scratch, object.sql))
            return shadows;
        Statement made(scratch, QStringLiteral("SELECT type, name, sql FROM sqlite_master WHERE name <> ?"));
        made.bind(1, object.name);
        while (made.step() == SQLITE_ROW)
            shadows.append({made.text(0), made.text(1), made.text(2), true, true});
        exec(scratch, QStringLiteral("DROP TABLE %1").arg(object.name));
        return shadows;
    };
    QString modelName;
    QList<Schema::SchemaObject> modelShadows;
    for (const QString& table : indexedTables()) {
        for (const Object& object : objectsOf(table)) {
            objects.append({object.type, object.name, object.sql, false, true});
            if (object.type != QStringLiteral("table"))
                continue;
            if (modelName.isEmpty()) {
                modelName = object.name;
                modelShadows = askSqlite(object);
                objects.append(modelShadows);
                continue;
            }
            QList<Schema::SchemaObject> shadows;
            bool fits = !modelShadows.isEmpty();
            for (const Schema::SchemaObject& model : std::as_const(modelShadows)) {
                fits = fits && model.name.startsWith(modelName) && model.sql.count(modelName) == 1;
                QString sql = model.sql;
                shadows.append({model.type, object.name + model.name.mid(modelName.size()),
                                sql.replace(modelName, object.name), true, true});
            }
            objects.append(fits ? shadows : askSqlite(object));
        }
    }
    sqlite3_close(scratch);
    objects.append(CriteriaIndex::schemaObjects());
    return objects;
}
