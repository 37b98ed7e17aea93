#include "data/postgres/PostgresSchema.h"

#include "data/postgres/PostgresFunctions.h"
#include "data/vocabulary/Schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace PostgresSchema {

namespace {

// Held while the six tables are made, so that two desks starting on a new database at
// once make them only once. Any number of the program's own choosing.
constexpr qint64 creationLock = 0x76656c6d6f7262; // "velmorb": not the functions' own lock

const QString hiddenKey = QStringLiteral("rowid");

QString columnType(Schema::FieldKind kind) {
    switch (kind) {
    case Schema::FieldKind::Key:
        // ALWAYS: the server assigns every key; a sequence never gives a number twice.
        return QStringLiteral("bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY");
    case Schema::FieldKind::Number:
        return QStringLiteral("numeric");
    case Schema::FieldKind::Text:
    case Schema::FieldKind::Date:
        break;
    }
    return QStringLiteral("text");
}

bool hasOwnKey(const Schema::Table& table) {
    for (const Schema::Field& field : table.fields)
        if (field.kind == Schema::FieldKind::Key)
            return true;
    return false;
}

QString quotedList(const QStringList& names) {
    return QStringLiteral("«") + names.join(QStringLiteral("», «")) + QStringLiteral("»");
}

QString manyOrOne(const QStringList& names, const QString& one, const QString& many) {
    return (names.size() == 1 ? one : many) + QLatin1Char(' ') + quotedList(names);
}

// The tables of the database's current schema, by name (as the catalogue spells them).
QStringList tablesPresent(const QSqlDatabase& db, bool& ok) {
    QStringList tables;
    QSqlQuery query(db);
    ok = query.exec(QStringLiteral("SELECT table_name FROM information_schema.tables "
                                   "WHERE table_schema = current_schema() AND table_type = 'BASE TABLE'"));
    while (ok && query.next())
        tables << query.value(0).toString();
    return tables;
}

QStringList ownTablesPresent(const QSqlDatabase& db, bool& ok) {
    QStringList own;
    const QStringList present = tablesPresent(db, ok);
    for (const Schema::Table& table : Schema::tables())
        if (present.contains(table.name))
            own << table.name;
    return own;
}

bool run(QSqlQuery& query, const QString& sql, QString& error) {
    if (query.exec(sql))
        return true;
    error = query.lastError().databaseText();
    return false;
}

// The indexes of the quick searches, each added only when missing. A failure here costs
// speed, never data.
void addSearchIndexes(QSqlDatabase& db) {
    QSqlQuery query(db);
    QString ignored;
    if (!run(query,
             QStringLiteral("SELECT count(*) FROM pg_indexes WHERE schemaname = current_schema() "
                            "AND (indexname LIKE '%\\_trgm' OR indexname LIKE '%\\_grams')"),
             ignored) ||
        !query.next() || query.value(0).toInt() >= 2 * Schema::searchFields().size())
        return;
    if (run(query, QStringLiteral("SELECT 1 FROM pg_extension WHERE extname = 'pg_trgm'"), ignored) &&
        (query.next() || run(query, QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm"), ignored)))
        for (const QString& statement : searchIndexStatements())
            (void)run(query, statement, ignored);
    if (run(query, gramsFunction(), ignored))
        for (const QString& statement : gramsIndexStatements())
            (void)run(query, statement, ignored);
    // The planner weighs an index by what it knows of its values: tell it now, not at the
    // server's next round of statistics.
    (void)run(query, analyzeStatement(), ignored);
}

} // namespace

QString analyzeStatement(const QString& command) {
    QStringList names;
    for (const Schema::Table& table : Schema::tables())
        names << table.name;
    return command + QLatin1Char(' ') + names.join(QStringLiteral(", "));
}

QString keyColumn(const QString& table) {
    const Schema::Table* own = Schema::table(table);
    if (own)
        for (const Schema::Field& field : own->fields)
            if (field.kind == Schema::FieldKind::Key)
                return field.name;
    return hiddenKey;
}

QStringList createStatements() {
    QStringList statements;
    for (const Schema::Table& table : Schema::tables()) {
        QStringList columns;
        for (const Schema::Field& field : table.fields)
            columns << field.name + QLatin1Char(' ') + columnType(field.kind);
        if (!hasOwnKey(table))
            columns << hiddenKey + QLatin1Char(' ') + columnType(Schema::FieldKind::Key);
        statements << QStringLiteral("CREATE TABLE %1 (%2)").arg(table.name, columns.join(QStringLiteral(", ")));
    }
    // As in the file: a property's photos and visits are read at every move, the diary by days.
    statements << QStringLiteral("CREATE INDEX foto_idimmobile ON foto (idimmobile)")
               << QStringLiteral("CREATE INDEX visite_idimmobile ON visite (idimmobile)")
               // Days are compared as ISO texts in code-point order (COLLATE "C"), so indexed so.
               << QStringLiteral("CREATE INDEX agenda_datap ON agenda (datap COLLATE \"C\")");
    return statements;
}

QStringList searchIndexStatements() {
    QStringList statements;
    for (const Schema::SearchField& field : Schema::searchFields())
        // On the column itself: the regular expressions of PostgresPattern are matched there.
        statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1_%2_trgm ON %1 USING gin (%2 gin_trgm_ops)")
                          .arg(field.table, field.field);
    return statements;
}

QString gramsFunction() {
    // SET search_path: an index calls it also where nobody set a path (pg_restore).
    // Repeated pieces are left in: the index keeps each once, and sorting them out would
    // make writing a row slower. The pairs come from the characters side by side in one
    // pass: substr() walks the text from its start each time, and a 30 kB note took seconds.
    return QStringLiteral("CREATE OR REPLACE FUNCTION velmora_grams(t text) RETURNS text[]\n"
                          "LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE SET search_path FROM CURRENT AS $velmora$\n"
                          "    SELECT a || ARRAY(SELECT p FROM (SELECT c || lead(c) OVER (ORDER BY n) AS p, n "
                          "FROM unnest(a) WITH ORDINALITY u(c, n)) pairs WHERE p IS NOT NULL ORDER BY n)\n"
                          "    FROM (SELECT string_to_array(velmora_fold(t), NULL) AS a) characters\n"
                          "$velmora$");
}

QStringList gramsIndexStatements() {
    QStringList statements;
    for (const Schema::SearchField& field : Schema::searchFields())
        statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1_%2_grams ON %1 USING gin (velmora_grams(%2))")
                          .arg(field.table, field.field);
    return statements;
}

bool hasGrams(const QSqlDatabase& db) {
    QSqlQuery query(db);
    return query.exec(QStringLiteral("SELECT to_regprocedure('velmora_grams(text)') IS NOT NULL")) && query.next() &&
           query.value(0).toBool();
}

Result prepare(QSqlDatabase& db) {
    bool ok = false;
    QStringList present = ownTablesPresent(db, ok);
    if (!ok)
        return Result::failure(QStringLiteral("il server non lascia leggere l'elenco delle tabelle"));
    if (present.isEmpty()) {
        QString error;
        if (!db.transaction())
            return Result::failure(QStringLiteral("il server non ha permesso di creare le tabelle"));
        QSqlQuery query(db);
        bool made = run(query, QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(creationLock), error);
        // Another desk may have made them while this one waited.
        if (made)
            present = ownTablesPresent(db, made);
        if (made && present.isEmpty()) {
            for (const QString& statement : createStatements())
                if (!(made = run(query, statement, error)))
                    break;
            if (made)
                made = installPostgresFunctions(db).ok();
        }
        query.finish();
        if (!made || !db.commit()) {
            db.rollback();
            return Result::failure(QStringLiteral("il server non ha permesso di creare le tabelle (l'utente deve "
                                                  "poter creare tabelle nel database)"));
        }
    } else {
        // Whatever the server side of the dialect needs, also in a database made elsewhere.
        (void)installPostgresFunctions(db);
    }
    addSearchIndexes(db);
    return Result::success();
}

QString problem(const QSqlDatabase& db) {
    bool ok = false;
    const QStringList present = tablesPresent(db, ok);
    if (!ok)
        return QStringLiteral("il server non lascia leggere l'elenco delle tabelle");
    QStringList missingTables;
    for (const Schema::Table& table : Schema::tables())
        if (!present.contains(table.name))
            missingTables << table.name;
    if (!missingTables.isEmpty())
        return manyOrOne(missingTables, QStringLiteral("manca la tabella"), QStringLiteral("mancano le tabelle"));

    for (const Schema::Table& table : Schema::tables()) {
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT column_name FROM information_schema.columns "
                                     "WHERE table_schema = current_schema() AND table_name = ?"));
        query.addBindValue(table.name);
        if (!query.exec())
            return QStringLiteral("il server non lascia leggere le colonne della tabella «%1»").arg(table.name);
        QStringList columns;
        while (query.next())
            columns << query.value(0).toString();
        QStringList missing;
        for (const Schema::Field& field : table.fields)
            if (!columns.contains(field.name))
                missing << field.name;
        if (!hasOwnKey(table) && !columns.contains(hiddenKey))
            missing << hiddenKey;
        if (!missing.isEmpty())
            return QStringLiteral("nella tabella «%1» %2")
                .arg(table.name,
                     manyOrOne(missing, QStringLiteral("manca la colonna"), QStringLiteral("mancano le colonne")));
    }

    // A trigger or a rule on one of the six tables would act on every edit of the program.
    QStringList own;
    for (const Schema::Table& table : Schema::tables())
        own << QLatin1Char('\'') + table.name + QLatin1Char('\'');
    QSqlQuery foreign(db);
    if (!foreign.exec(QStringLiteral("SELECT 'il trigger «' || t.tgname || '»' FROM pg_trigger t "
                                     "JOIN pg_class c ON c.oid = t.tgrelid "
                                     "WHERE NOT t.tgisinternal AND c.relnamespace = current_schema()::regnamespace "
                                     "AND c.relname IN (%1) "
                                     "UNION ALL SELECT 'la regola «' || rulename || '»' FROM pg_rules "
                                     "WHERE schemaname = current_schema() AND tablename IN (%1) "
                                     "ORDER BY 1")
                          .arg(own.join(QLatin1Char(',')))))
        return QStringLiteral("il server non lascia leggere i trigger delle tabelle");
    QStringList objects;
    while (foreign.next())
        objects << foreign.value(0).toString();
    if (!objects.isEmpty())
        return QStringLiteral("contiene %1, che VELMORA non crea").arg(objects.join(QStringLiteral(", ")));
    return QString();
}

} // namespace PostgresSchema
