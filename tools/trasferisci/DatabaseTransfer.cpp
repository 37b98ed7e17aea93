#include "DatabaseTransfer.h"

#include "data/postgres/PostgresConnection.h"
#include "data/postgres/PostgresFunctions.h"
#include "data/postgres/PostgresSchema.h"
#include "data/sqlite/EngineError.h"
#include "data/sqlite/SchemaCheck.h"
#include "data/sqlite/SqlFunctions.h"
#include "data/store/Database.h"
#include "data/vocabulary/DatabaseLocation.h"
#include "data/vocabulary/Schema.h"
#include "platform/files/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <algorithm>
#include <sqlite3.h>

namespace {

using DatabaseTransfer::Copied;

// Rows written by one statement: few round trips to a server, well within both engines'
// limits on bound values.
constexpr int rowsPerStatement = 100;

struct TableNames {
    const char* table;
    const char* one;
    const char* many;
    const char* caption;
};

constexpr TableNames tableNames[] = {
    {"immobile", "immobile", "immobili", "Immobili"}, {"richiesta", "richiesta", "richieste", "Richieste"},
    {"visite", "visita", "visite", "Visite"},         {"foto", "foto", "foto", "Foto"},
    {"notizie", "notizia", "notizie", "Notizie"},     {"agenda", "appuntamento", "appuntamenti", "Appuntamenti"},
};

const TableNames& namesOf(const QString& table) {
    for (const TableNames& names : tableNames)
        if (table == QLatin1String(names.table))
            return names;
    return tableNames[0];
}

QString counted(const QString& table, qint64 rows) {
    const TableNames& names = namesOf(table);
    return QLocale(QLocale::Italian, QLocale::Italy).toString(rows) + QLatin1Char(' ') +
           QLatin1String(rows == 1 ? names.one : names.many);
}

bool hasKey(const Schema::Table& table) {
    return std::any_of(table.fields.begin(), table.fields.end(),
                       [](const Schema::Field& field) { return field.kind == Schema::FieldKind::Key; });
}

// The column that identifies a row, the same on both engines: the key, or the rowid of
// visite and foto (SQLite's own; a hidden column on PostgreSQL).
QString keyColumn(const Schema::Table& table) {
    return hasKey(table) ? QStringLiteral("id") : QStringLiteral("rowid");
}

QStringList valueFields(const Schema::Table& table) {
    QStringList fields;
    for (const Schema::Field& field : table.fields)
        if (field.kind != Schema::FieldKind::Key)
            fields << field.name;
    return fields;
}

sqlite3* sqliteHandle(const QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

// One end of the transfer: a connection of its own, closed at the end.
class Side {
public:
    explicit Side(const DatabaseLocation& location)
        : m_location(location),
          m_name(QStringLiteral("velmora-trasferisci-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {}
    ~Side() {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
        if (m_madeHere && !m_keep) {
            QFile::remove(m_location.file());
            for (const char* sidecar : {"-journal", "-wal", "-shm"})
                QFile::remove(m_location.file() + QLatin1String(sidecar));
        }
    }
    Side(const Side&) = delete;
    Side& operator=(const Side&) = delete;

    const DatabaseLocation& location() const { return m_location; }
    bool postgres() const { return m_location.isPostgres(); }
    QString shown() const { return m_location.text(); }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    const QString& name() const { return m_name; }

    // A file made here goes again unless the copy into it was committed.
    void madeHere() { m_madeHere = true; }
    void keep() { m_keep = true; }

private:
    DatabaseLocation m_location;
    QString m_name;
    bool m_madeHere = false;
    bool m_keep = false;
};

QString describe(const QSqlError& error, const Side& side) {
    return EngineError::describe(error, side.postgres() ? QString() : side.location().file());
}

// Runs one statement; a failure says what the engine said, in Italian.
Result exec(const Side& side, const QString& sql, const QVariantList& values = {}) {
    QSqlQuery query(side.db());
    bool done;
    if (values.isEmpty()) {
        done = query.exec(sql);
    } else {
        done = query.prepare(sql);
        for (const QVariant& value : values)
            query.addBindValue(value);
        done = done && query.exec();
    }
    return done ? Result::success() : Result::failure(describe(query.lastError(), side));
}

std::optional<qint64> scalar(const Side& side, const QString& sql, const QVariantList& values = {}) {
    QSqlQuery query(side.db());
    query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return query.isNull(0) ? 0 : query.value(0).toLongLong();
}

Result openSqlite(Side& side, bool readOnly) {
    const QString path = side.location().file();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), side.name());
    db.setDatabaseName(path);
    if (readOnly)
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open())
        return Result::failure(EngineError::describe(db.lastError(), path));
    sqlite3* handle = sqliteHandle(db);
    // The search index's triggers, if the file has them, call the program's functions.
    if (!handle || !SqlFunctions::install(handle))
        return Result::failure(QStringLiteral("il database non si può preparare"));
    if (const QString problem = SchemaCheck::problem(handle); !problem.isEmpty())
        return Result::failure(problem);
    return Result::success();
}

Result openSource(Side& side) {
    const auto refused = [&](const QString& why) {
        return Result::failure(
            QStringLiteral("Il database da copiare «%1» non si può usare: %2.").arg(side.shown(), why));
    };
    if (side.postgres()) {
        if (const Result opened = PostgresConnection::open(side.location(), side.name()); !opened)
            return refused(opened.message());
        if (const QString problem = PostgresSchema::problem(side.db()); !problem.isEmpty())
            return refused(problem);
        // One consistent state of the data, whatever the desks write meanwhile.
        return exec(side, QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    }
    if (!QFileInfo::exists(side.location().file()))
        return refused(QStringLiteral("il file non esiste"));
    if (const QString problem = RegularFile::problem(side.location().file()); !problem.isEmpty())
        return refused(QStringLiteral("il file ") + problem);
    if (const Result opened = openSqlite(side, true); !opened)
        return refused(opened.message());
    return exec(side, QStringLiteral("BEGIN"));
}

// Opens the target and takes it for this transfer alone: a transaction that no other desk
// can write past. `needsTables` tells a server database that has none of the six tables.
Result openTarget(Side& side, bool& needsTables) {
    const auto refused = [&](const QString& why) {
        return Result::failure(
            QStringLiteral("Il database di destinazione «%1» non si può usare: %2.").arg(side.shown(), why));
    };
    needsTables = false;
    if (side.postgres()) {
        if (const Result opened = PostgresConnection::open(side.location(), side.name()); !opened)
            return refused(opened.message());
        int present = 0;
        for (const Schema::Table& table : Schema::tables())
            present +=
                scalar(side, QStringLiteral("SELECT count(*) FROM pg_class WHERE oid = to_regclass(?)"), {table.name})
                    .value_or(0) > 0;
        if (present > 0 && present < Schema::tables().size())
            return refused(QStringLiteral("ha solo alcune delle sei tabelle dell'ufficio"));
        if (present > 0)
            if (const QString problem = PostgresSchema::problem(side.db()); !problem.isEmpty())
                return refused(problem);
        needsTables = present == 0;
        return exec(side, QStringLiteral("BEGIN"));
    }
    const QString path = side.location().file();
    if (!QFileInfo::exists(path)) {
        if (const Result made = Database::create(path); !made)
            return Result::failure(made.message());
        side.madeHere();
    } else if (const QString problem = RegularFile::problem(path); !problem.isEmpty()) {
        return refused(QStringLiteral("il file ") + problem);
    }
    if (const Result opened = openSqlite(side, false); !opened)
        return refused(opened.message());
    return exec(side, QStringLiteral("BEGIN IMMEDIATE"));
}

// A number as the target keeps it. Answers false for a value that is no number where the
// server would take numbers only.
bool numberFor(const QVariant& value, bool toPostgres, QVariant& out) {
    if (value.isNull()) {
        out = QVariant(QMetaType(QMetaType::QString));
        return true;
    }
    switch (value.typeId()) {
    case QMetaType::Double:
        // The shortest text that reads back as the same number, for the server's numeric.
        out = toPostgres ? QVariant(QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest)) : value;
        return true;
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::ULongLong:
    case QMetaType::UInt:
        out = toPostgres ? QVariant(value.toString()) : value;
        return true;
    case QMetaType::QByteArray:
        return false;
    default:
        break;
    }
    const QString text = value.toString().trimmed();
    static const QRegularExpression number(
        QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?$|^[+-]?(Infinity|inf)$|^NaN$"));
    if (toPostgres && !number.match(text).hasMatch())
        return false;
    // A server's numeric comes as exact text; SQLite turns it into its number again.
    out = toPostgres ? QVariant(text) : value;
    return true;
}

QString shownValue(const QVariant& value) {
    if (value.typeId() == QMetaType::QByteArray)
        return QStringLiteral("(dati binari)");
    const QString text = value.toString();
    return text.size() > 60 ? text.left(60) + QStringLiteral("…") : text;
}

// Copies one table, a batch of rows per statement; answers the highest key copied.
Result copyTable(const Schema::Table& table, const Side& from, const Side& into, qint64 rows, Progress* progress,
                 qint64& highestKey) {
    const QString key = keyColumn(table);
    const QStringList fields = valueFields(table);
    const QStringList columns = QStringList{key} + fields;
    const auto insertFor = [&](int count) {
        QStringList placeholders;
        const QString row = QLatin1Char('(') + QStringList(columns.size(), QStringLiteral("?")).join(QLatin1Char(',')) +
                            QLatin1Char(')');
        for (int i = 0; i < count; ++i)
            placeholders << row;
        // The keys are given, not made: the server is told so.
        return QStringLiteral("INSERT INTO %1 (%2)%3 VALUES %4")
            .arg(table.name, columns.join(QStringLiteral(", ")),
                 into.postgres() ? QStringLiteral(" OVERRIDING SYSTEM VALUE") : QString(),
                 placeholders.join(QStringLiteral(", ")));
    };
    const QString fullInsert = insertFor(rowsPerStatement);
    QSqlQuery batch(into.db());
    if (!batch.prepare(fullInsert))
        return Result::failure(describe(batch.lastError(), into));

    QSqlQuery read(from.db());
    read.setForwardOnly(true);
    // A server's numeric comes as its exact text, never through a double.
    if (from.postgres())
        read.setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (!read.exec(
            QStringLiteral("SELECT %1 FROM %2 ORDER BY %3").arg(columns.join(QStringLiteral(", ")), table.name, key)))
        return Result::failure(describe(read.lastError(), from));

    QVariantList pending;
    int pendingRows = 0;
    qint64 done = 0;
    const auto flush = [&]() -> Result {
        if (pendingRows == 0)
            return Result::success();
        QSqlQuery last(into.db());
        QSqlQuery& query = pendingRows == rowsPerStatement ? batch : last;
        if (&query == &last && !last.prepare(insertFor(pendingRows)))
            return Result::failure(describe(last.lastError(), into));
        for (const QVariant& value : pending)
            query.addBindValue(value);
        if (!query.exec())
            return Result::failure(describe(query.lastError(), into));
        done += pendingRows;
        pending.clear();
        pendingRows = 0;
        if (!Progress::advance(progress, done, rows))
            return Result::userCancelled();
        return Result::success();
    };
    while (read.next()) {
        const qint64 rowKey = read.value(0).toLongLong();
        highestKey = std::max(highestKey, rowKey);
        pending << rowKey;
        for (int i = 0; i < fields.size(); ++i) {
            const QVariant value = read.value(i + 1);
            const Schema::Field* field = Schema::field(table.name, fields[i]);
            const auto refused = [&](const QString& why) {
                return Result::failure(
                    QStringLiteral("Nella tabella «%1» la riga %2 ha nel campo «%3» il valore «%4», "
                                   "%5. Va corretto prima del trasferimento")
                        .arg(
                            table.name,
                            (hasKey(table) ? QStringLiteral("con chiave %1") : QStringLiteral("numero %1")).arg(rowKey),
                            fields[i], shownValue(value), why));
            };
            if (field->kind == Schema::FieldKind::Number) {
                QVariant number;
                if (!numberFor(value, into.postgres(), number))
                    return refused(QStringLiteral("che non è un numero: in quel campo PostgreSQL tiene solo numeri"));
                pending << number;
                continue;
            }
            if (value.typeId() == QMetaType::QByteArray)
                return refused(QStringLiteral("che non è un testo"));
            const QString text = value.toString();
            if (into.postgres() && text.contains(QChar(0)))
                return refused(
                    QStringLiteral("che contiene il carattere nullo, che PostgreSQL non accetta in un testo"));
            pending << (value.isNull() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(text));
        }
        if (++pendingRows == rowsPerStatement)
            if (const Result written = flush(); !written)
                return written;
    }
    if (read.lastError().isValid())
        return Result::failure(describe(read.lastError(), from));
    return flush();
}

// The highest key the source has ever given in a table, deleted rows included.
qint64 highestEverGiven(const Schema::Table& table, const Side& from) {
    if (from.postgres())
        return scalar(from, QStringLiteral("SELECT pg_sequence_last_value(pg_get_serial_sequence(?, ?)::regclass)"),
                      {table.name, keyColumn(table)})
            .value_or(0);
    if (!hasKey(table))
        return 0;
    return scalar(from, QStringLiteral("SELECT max(seq) FROM sqlite_sequence WHERE name = ?"), {table.name})
        .value_or(0);
}

// Moves the target's counter of keys past every key the source has given.
Result setNextKey(const Schema::Table& table, const Side& into, qint64 highest) {
    if (into.postgres()) {
        if (highest > 0)
            return exec(into, QStringLiteral("SELECT setval(pg_get_serial_sequence(?, ?), ?, true)"),
                        {table.name, keyColumn(table), highest});
        return exec(into, QStringLiteral("SELECT setval(pg_get_serial_sequence(?, ?), 1, false)"),
                    {table.name, keyColumn(table)});
    }
    if (!hasKey(table))
        return Result::success(); // SQLite's rowid of visite and foto has no counter to move
    if (const Result cleared = exec(into, QStringLiteral("DELETE FROM sqlite_sequence WHERE name = ?"), {table.name});
        !cleared)
        return cleared;
    if (highest == 0)
        return Result::success();
    return exec(into, QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)"), {table.name, highest});
}

bool sameDatabase(const DatabaseLocation& a, const DatabaseLocation& b) {
    if (a.isPostgres() != b.isPostgres())
        return false;
    if (a.isPostgres())
        return a.host() == b.host() && a.port() == b.port() && a.databaseName() == b.databaseName();
    const QFileInfo first(a.file());
    const QFileInfo second(b.file());
    return first.exists() && second.exists() ? first.canonicalFilePath() == second.canonicalFilePath()
                                             : first.absoluteFilePath() == second.absoluteFilePath();
}

Result transfer(Side& from, Side& into, Progress* progress, const std::function<void(const QString&)>& stage,
                QList<Copied>* copied) {
    const QString unchanged = QStringLiteral("«%1» non è stato cambiato.").arg(into.shown());
    const auto failed = [&](const Result& why) {
        if (why.cancelled())
            return Result::userCancelled(QStringLiteral("Trasferimento interrotto: ") + unchanged);
        const QString sentence =
            why.message().endsWith(QLatin1Char('.')) ? why.message() : why.message() + QLatin1Char('.');
        return Result::failure(sentence + QLatin1Char(' ') + unchanged);
    };

    if (const Result opened = openSource(from); !opened)
        return opened;
    bool needsTables = false;
    if (const Result opened = openTarget(into, needsTables); !opened)
        return failed(opened);
    if (needsTables) {
        for (const QString& statement : PostgresSchema::createStatements())
            if (const Result made = exec(into, statement); !made)
                return failed(Result::failure(QStringLiteral("Le tabelle non si possono creare: ") + made.message()));
    }
    QStringList names;
    for (const Schema::Table& table : Schema::tables())
        names << table.name;
    // No desk writes into the target while it fills.
    if (into.postgres())
        if (const Result locked = exec(into, QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE").arg(names.join(", ")));
            !locked)
            return failed(locked);

    QStringList already;
    for (const Schema::Table& table : Schema::tables())
        if (const qint64 rows = scalar(into, QStringLiteral("SELECT count(*) FROM ") + table.name).value_or(0);
            rows > 0)
            already << counted(table.name, rows);
    if (!already.isEmpty())
        return Result::failure(QStringLiteral("Il database di destinazione «%1» contiene già dei dati (%2): "
                                              "velmora-trasferisci copia solo in un database vuoto, e non ha "
                                              "cambiato nulla.")
                                   .arg(into.shown(), already.join(QStringLiteral(", "))));

    QList<Copied> counts;
    for (const Schema::Table& table : Schema::tables()) {
        const qint64 rows = scalar(from, QStringLiteral("SELECT count(*) FROM ") + table.name).value_or(0);
        if (stage)
            stage(QLatin1String(namesOf(table.name).caption));
        qint64 highest = 0;
        if (const Result done = copyTable(table, from, into, rows, progress, highest); !done)
            return failed(done);
        highest = std::max(highest, highestEverGiven(table, from));
        if (const Result moved = setNextKey(table, into, highest); !moved)
            return failed(moved);
        counts.append({table.name, rows});
    }
    if (const Result committed = exec(into, QStringLiteral("COMMIT")); !committed)
        return failed(committed);
    into.keep();
    if (into.postgres()) {
        // The indexes of the quick searches are quicker made once the rows are in; one by
        // one, since at 100k rows each takes seconds. They only make searches quick: one
        // the server refuses is no failure, and the program tries again when it opens.
        if (stage)
            stage(QStringLiteral("Indici per le ricerche"));
        QSqlDatabase db = into.db();
        (void)installPostgresFunctions(db);
        QStringList indexes;
        if (exec(into, QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm")))
            indexes << PostgresSchema::searchIndexStatements();
        if (exec(into, PostgresSchema::gramsFunction()))
            indexes << PostgresSchema::gramsIndexStatements();
        // Stopped here, the rows are all in: the program makes what is missing when it opens.
        bool stopped = false;
        for (qsizetype i = 0; i < indexes.size() && !stopped; ++i) {
            stopped = !Progress::advance(progress, i, indexes.size());
            if (!stopped)
                (void)exec(into, indexes.at(i));
        }
        if (!stopped) {
            (void)Progress::advance(progress, indexes.size(), indexes.size());
            // Whatever else the program makes on a server it opens; and the planner learns the
            // new tables' sizes now, not at the server's next round of statistics.
            (void)PostgresSchema::prepare(db);
            (void)exec(into, PostgresSchema::analyzeStatement());
        }
    }
    if (copied)
        *copied = counts;
    return Result::success();
}

} // namespace

namespace DatabaseTransfer {

Result copy(const QString& from, const QString& into, Progress* progress,
            const std::function<void(const QString& caption)>& stage, QList<Copied>* copied) {
    DatabaseLocation source;
    DatabaseLocation target;
    if (const Result parsed = DatabaseLocation::parse(from, source); !parsed)
        return parsed;
    if (const Result parsed = DatabaseLocation::parse(into, target); !parsed)
        return parsed;
    if (source.file().trimmed().isEmpty() && !source.isPostgres())
        return Result::failure(QStringLiteral("Manca il database da copiare."));
    if (target.file().trimmed().isEmpty() && !target.isPostgres())
        return Result::failure(QStringLiteral("Manca il database di destinazione."));
    if (sameDatabase(source, target))
        return Result::failure(
            QStringLiteral("Il database da copiare e quello di destinazione sono lo stesso: «%1».").arg(source.text()));
    Side fromSide(source);
    Side intoSide(target);
    return transfer(fromSide, intoSide, progress, stage, copied);
}

QString summary(const QList<Copied>& copied) {
    QStringList parts;
    for (const Copied& one : copied)
        parts << counted(one.table, one.rows);
    return parts.join(QStringLiteral(", "));
}

} // namespace DatabaseTransfer
