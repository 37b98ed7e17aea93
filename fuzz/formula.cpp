// The selection formula: any text either is refused with a message, or becomes, over
// each table it fits, one read-only SQLite statement that binds exactly its parameters
// and runs the way the report engine runs it; and its PostgreSQL form, refused or written
// alike, with as many places as values and none of SQLite's own functions.

#include "FuzzCheck.h"
#include "data/store/Database.h"
#include "data/vocabulary/Schema.h"
#include "platform/Regional.h"
#include "report/Formula.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <sqlite3.h>

namespace {

// A small office database in memory-backed scratch space, a few rows in every table.
std::shared_ptr<Database> officeDatabase() {
    static QTemporaryDir folder(Fuzz::scratchRoot() + QStringLiteral("/velmora-fuzz-XXXXXX"));
    static std::shared_ptr<Database> database = [] {
        const QString path = folder.filePath(QStringLiteral("daba.mdb"));
        std::shared_ptr<Database> db;
        if (!Database::create(path) || !Database::open(path, db))
            fuzzFailure("the scratch database opens", path);
        QSqlQuery fill(db->connection());
        for (const QString& sql :
             {QStringLiteral("INSERT INTO immobile (proprietario, mq, prezzo, motivo, tipologia) VALUES ('Rossi', 80, '120000', "
                             "'vendita', 'appartamento'), ('', NULL, NULL, '', ''), ('D''Angelo', '80 mq', 'x', 'affitto', "
                             "'villa')"),
              QStringLiteral("INSERT INTO richiesta (nome, tipo, mq, note, motivo) VALUES ('Anna', 'villa', 100, '', "
                             "'vendita'), (NULL, NULL, NULL, NULL, NULL), ('È', 'attico*', 1e300, 'x', 'affitto')"),
              QStringLiteral("INSERT INTO visite (idimmobile, idrichiesta, data, note) VALUES (1, 1, '06/12/2026', '')"),
              QStringLiteral("INSERT INTO foto (idimmobile, foto) VALUES (1, '/tmp/a.jpg')"),
              QStringLiteral("INSERT INTO notizie (data, notizia) VALUES ('06/12/2026', 'casa')"),
              QStringLiteral("INSERT INTO agenda (datap, ora) VALUES ('2026-03-01', '09:00'), ('2026-03-07', NULL)")})
            if (!fill.exec(sql))
                fuzzFailure("the scratch database fills", fill.lastError().text());
        return db;
    }();
    return database;
}

void checkStatement(sqlite3* db, const QString& table, const QString& where, const QVariantList& parameters,
                    const QString& formula) {
    const QString detail = QStringLiteral("formula: %1\ntable: %2\nSQL: %3").arg(formula, table, where);
    const QByteArray sql = QStringLiteral("SELECT rowid FROM \"%1\" WHERE %2").arg(table, where).toUtf8();
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    const int prepared = sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &statement, &tail);
    FUZZ_CHECK(prepared == SQLITE_OK, detail + QStringLiteral("\nSQLite: ") + QString::fromUtf8(sqlite3_errmsg(db)));
    const QByteArray rest = QByteArray(tail).trimmed();
    const bool readOnly = sqlite3_stmt_readonly(statement) != 0;
    const int count = sqlite3_bind_parameter_count(statement);
    sqlite3_finalize(statement);
    FUZZ_CHECK(rest.isEmpty(), detail + QStringLiteral("\nmore than one statement: ") + QString::fromUtf8(rest));
    FUZZ_CHECK(readOnly, detail);
    FUZZ_CHECK(count == parameters.size(),
               detail + QStringLiteral("\nplaceholders %1, parameters %2").arg(count).arg(parameters.size()));
    for (const QVariant& parameter : parameters)
        FUZZ_CHECK(!(parameter.typeId() == QMetaType::QString && parameter.toString().isNull()),
                   detail + QStringLiteral("\na text literal binds as NULL"));
}

// As the report engine runs it: through Qt, with the paging parameter after the formula's.
void checkRun(const Database& db, const QString& table, const QString& where, const QVariantList& parameters,
              const QString& formula) {
    QSqlQuery query(db.connection());
    query.setForwardOnly(true);
    const bool ok = query.prepare(QStringLiteral("SELECT * FROM \"%1\" WHERE %2 ORDER BY rowid LIMIT -1 OFFSET ?").arg(table, where));
    if (ok) {
        for (const QVariant& parameter : parameters)
            query.addBindValue(parameter);
        query.addBindValue(0);
    }
    FUZZ_CHECK(ok && query.exec(), QStringLiteral("formula: %1\ntable: %2\nSQL: %3\nQt: %4")
                                       .arg(formula, table, where, query.lastError().text()));
    while (query.next()) {
    }
}

// No server here: what can be told from the text. The formula's own texts are values, so
// the only "?" and quotes of the SQL are ours.
void checkPostgres(const Formula& formula, const QString& table, const Result& sqlite, const QVariantList& sqliteValues,
                   const QString& text) {
    QString where;
    QVariantList parameters;
    const Result written = formula.toSql(table, where, parameters, DatabaseLocation::Engine::PostgreSQL);
    const QString detail = QStringLiteral("formula: %1\ntable: %2\nPostgreSQL: %3").arg(text, table, where);
    // PostgreSQL alone refuses a LIKE pattern too long for a regular expression.
    if (sqlite && !written && written.message().contains(QStringLiteral("sul database PostgreSQL se ne possono usare")))
        return;
    FUZZ_CHECK(written.ok() == sqlite.ok() && written.message() == sqlite.message(),
               detail +
                   QStringLiteral("\nSQLite says: %1\nPostgreSQL says: %2").arg(sqlite.message(), written.message()));
    if (!written)
        return;
    FUZZ_CHECK(parameters.size() == sqliteValues.size(),
               detail + QStringLiteral("\nvalues %1, SQLite's %2").arg(parameters.size()).arg(sqliteValues.size()));
    FUZZ_CHECK(where.count(QLatin1Char('?')) == parameters.size(), detail);
    static const QRegularExpression sqliteOnly(QStringLiteral("\\b(vlike|vequal)\\("));
    FUZZ_CHECK(!where.contains(sqliteOnly), detail);
    for (const QVariant& parameter : parameters)
        FUZZ_CHECK(parameter.isValid() && !(parameter.typeId() == QMetaType::QString && parameter.toString().isNull()),
                   detail + QStringLiteral("\na value binds as NULL"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Fuzz::ensureApplication();
    static const Regional regional(QLocale(QLocale::Italian, QLocale::Italy));
    const std::shared_ptr<Database> db = officeDatabase();

    const QString text = Fuzz::text(Fuzz::bytes(data, size));
    const Formula formula = Formula::parse(text, regional);
    if (!formula.isValid()) {
        FUZZ_CHECK(formula.error().startsWith(QStringLiteral("Formula di selezione non valida")), formula.error());
        return 0;
    }
    for (const Schema::Table& table : Schema::tables()) {
        QString where;
        QVariantList parameters;
        const Result written = formula.toSql(table.name, where, parameters);
        checkPostgres(formula, table.name, written, parameters, text);
        if (!written) {
            FUZZ_CHECK(written.message().startsWith(QStringLiteral("Formula di selezione non valida")), written.message());
            continue;
        }
        checkStatement(db->handle(), table.name, where, parameters, text);
        checkRun(*db, table.name, where, parameters, text);
    }
    return 0;
}
