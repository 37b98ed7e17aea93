#include "TestPostgres.h"
#include "data/postgres/PostgresFunctions.h"
#include "data/sqlite/SqlFunctions.h"
#include "data/vocabulary/LikePattern.h"
#include "data/vocabulary/PostgresPattern.h"
#include "data/vocabulary/Query.h"
#include "platform/Regional.h"
#include "report/Formula.h"

#include <QRandomGenerator>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <QUuid>
#include <cmath>
#include <limits>
#include <memory>
#include <sqlite3.h>

// The SQL that PostgreSQL runs selects the rows SQLite selects with the program's own
// functions: the same random texts and patterns in both, row for row.
namespace {

using Engine = DatabaseLocation::Engine;

// Characters that test the rules: letters whose case folds in odd ways (ß and ẞ, the
// Turkish dotted and dotless i, the three sigmas, the Kelvin and long s, Cherokee,
// Deseret, three that fold to one), digits of other scripts, the pattern's own
// wildcards, apostrophes, backslashes and regular-expression syntax.
const std::u32string alphabet =
    U"abckszABCKSZiIèÈàÀéÉùÙ"
    U"\u0130\u0131ß\u1E9Eσ\u03A3ς\u017F\u212A\u212Bå"
    U"\u13A0\uAB70\u13F0\u13F8\U00010400\U00010428\u01C4\u01C5\u01C6\u0345\u0399\u03B9\u1FBE"
    U"019\u0663\uFF19\U0001D7CE*?#[]!-'\\.^$|(){}+, \n\t%_\U0001F600";

char32_t pick(QRandomGenerator& random, const std::u32string& from) {
    return from[random.bounded(static_cast<int>(from.size()))];
}

QString fromUcs4(const std::u32string& text) {
    return QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()));
}

QString randomText(QRandomGenerator& random, int longest) {
    std::u32string text;
    for (int i = random.bounded(longest + 1); i > 0; --i)
        text.push_back(pick(random, alphabet));
    return fromUcs4(text);
}

// A pattern: often made from a text, so that it matches some rows, with its characters
// in another case, or taken by ?, #, *, or a set; sometimes any characters at all.
QString randomPattern(QRandomGenerator& random, const QStringList& texts) {
    static const QStringList odd{"[",   "]",   "[]",  "[!]",  "[!",      "[a-]",  "[-a]",  "[z-a]",           "[*]",
                                 "[?]", "[#]", "[[]", "[!!]", "[a-c-e]", "[!-~]", "[à-ÿ]", "[\u13A0-\uAB70]", "[#-*]",
                                 "**",  "\\",  "'"};
    if (random.bounded(5) == 0) {
        QString pattern;
        for (int i = random.bounded(6); i >= 0; --i)
            pattern += random.bounded(2) ? odd[random.bounded(odd.size())] : randomText(random, 2);
        return pattern;
    }
    const std::u32string source = texts[random.bounded(texts.size())].toStdU32String();
    std::u32string pattern;
    for (const char32_t c : source) {
        switch (random.bounded(12)) {
        case 0:
            pattern += U'?';
            break;
        case 1:
            pattern += U'#';
            break;
        case 2:
            pattern += U'*';
            break;
        case 3:
            pattern += U'[';
            if (random.bounded(3) == 0)
                pattern += U'!';
            pattern += pick(random, alphabet);
            if (random.bounded(2))
                pattern += std::u32string{c, U'-', pick(random, alphabet)};
            else
                pattern += c;
            pattern += U']';
            break;
        case 4: // the same letter in the other case, as SQLite's LIKE would not see it
            pattern += QChar::isLower(c) ? QChar::toUpper(c) : QChar::toLower(c);
            break;
        default:
            pattern += c;
        }
    }
    if (random.bounded(2))
        pattern.insert(pattern.begin(), U'*');
    if (random.bounded(2))
        pattern += U'*';
    return fromUcs4(pattern);
}

QSqlDatabase memorySqlite() {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QUuid::createUuid().toString());
    db.setDatabaseName(QStringLiteral(":memory:"));
    if (!db.open())
        qFatal("no SQLite");
    const QVariant handle = db.driver()->handle();
    if (!SqlFunctions::install(*static_cast<sqlite3* const*>(handle.constData())))
        qFatal("no SQL functions");
    return db;
}

void exec(QSqlQuery& query, const QString& sql, const QVariantList& values = {}) {
    if (values.isEmpty()) { // PostgreSQL prepares no CREATE
        QVERIFY2(query.exec(sql), qPrintable(sql.left(300) + ": " + query.lastError().text()));
        return;
    }
    QVERIFY2(query.prepare(sql), qPrintable(sql + ": " + query.lastError().text()));
    for (const QVariant& value : values)
        query.addBindValue(value);
    QVERIFY2(query.exec(), qPrintable(sql.left(300) + ": " + query.lastError().text()));
}

// The first column of every row, as a set.
QSet<qint64> keys(QSqlQuery& query) {
    QSet<qint64> out;
    while (query.next())
        out.insert(query.value(0).toLongLong());
    return out;
}

// The same rows in a table "t" (id, x) of both engines.
void fill(const QSqlDatabase& sqlite, const QSqlDatabase& postgres, const QString& table, const QStringList& columns,
          const QList<QVariantList>& rows) {
    for (QSqlDatabase db : {sqlite, postgres}) {
        QSqlQuery query(db);
        exec(query, QStringLiteral("CREATE TABLE %1 (id integer PRIMARY KEY, %2)").arg(table, columns.join(", ")));
        QVERIFY(db.transaction());
        const QString places = QStringList(columns.size() + 1, QStringLiteral("?")).join(", ");
        QVERIFY(query.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(table, places)));
        for (int i = 0; i < rows.size(); ++i) {
            query.addBindValue(i + 1);
            for (const QVariant& value : rows[i])
                query.addBindValue(value);
            QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
        }
        QVERIFY(db.commit());
    }
}

} // namespace

class PostgresDialectTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestPostgres> m_server;
    // The database of the tests' server, and one that sorts and cases text as an Italian
    // office's might (ICU's it-IT), each beside a SQLite database with the same rows.
    struct Side {
        QSqlDatabase pg;
        QSqlDatabase lite;
    };
    QList<Side> m_sides;
    QString m_italian;
    // The side the running test uses.
    int m_side = 0;
    QSqlDatabase m_pg;
    QSqlDatabase m_lite;
    QStringList m_texts; // also in tables "t" of both engines, ids from 1; null is the last

    static void servers() {
        QTest::addColumn<int>("side");
        QTest::newRow("C.UTF-8") << 0;
        QTest::newRow("ICU it-IT") << 1;
    }
    void useSide() {
        QFETCH(int, side);
        m_side = side;
        m_pg = m_sides[side].pg;
        m_lite = m_sides[side].lite;
    }

private slots:
    void initTestCase() {
        m_server = std::make_unique<TestPostgres>();
        m_italian = m_server->databaseName() + "_it";
        QSqlQuery create(m_server->connection());
        QVERIFY2(create.exec(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8' LOCALE 'C.UTF-8' "
                                            "LOCALE_PROVIDER icu ICU_LOCALE 'it-IT'")
                                 .arg(m_italian)),
                 qPrintable(create.lastError().text()));
        QSqlDatabase italian = QSqlDatabase::cloneDatabase(m_server->connection(), m_italian);
        italian.setDatabaseName(m_italian);
        QVERIFY(italian.open());
        m_sides << Side{m_server->connection(), memorySqlite()} << Side{italian, memorySqlite()};

        QRandomGenerator random(16);
        m_texts =
            QString("|Città|CITTÀ|straße|STRASSE|İstanbul|istanbul|ΟΔΟΣ|οδος|l'attico|a\\b|a.b|[x]|*?#").split('|');
        while (m_texts.size() < 1000)
            m_texts << randomText(random, random.bounded(10) ? 8 : 30);
        QList<QVariantList> rows;
        for (const QString& text : m_texts)
            rows << QVariantList{text};
        rows << QVariantList{QVariant(QMetaType(QMetaType::QString))};
        for (Side& side : m_sides) {
            QVERIFY2(installPostgresFunctions(side.pg).ok(), "the functions are made");
            QVERIFY2(installPostgresFunctions(side.pg).ok(), "and may be made again at every open");
            fill(side.lite, side.pg, "t", {"x text"}, rows);
        }
        m_pg = m_sides[0].pg;
        m_lite = m_sides[0].lite;
    }

    void cleanupTestCase() {
        m_pg = {};
        m_lite = {};
        for (Side& side : m_sides)
            for (QSqlDatabase* db : {&side.pg, &side.lite}) {
                const QString name = db->connectionName();
                if (name == m_server->connection().connectionName())
                    continue;
                db->close();
                *db = {};
                QSqlDatabase::removeDatabase(name);
            }
        m_sides.clear();
        QSqlQuery(m_server->connection()).exec("DROP DATABASE IF EXISTS " + m_italian);
        m_server.reset();
    }

    // Thousands of patterns over the same rows: the regular expression bound as one
    // value, and the server's own translation of a pattern held in a field, select
    // exactly what vlike selects.
    void likeSelectsTheSameRows_data() { servers(); }
    void likeSelectsTheSameRows() {
        useSide();
        QRandomGenerator random(1604);
        QStringList patterns{"",      "*",     "?",      "#",       "[]",      "[!]", "*'*", "*\\*",
                             "*[*]*", "citta", "citt?",  "CITT[À]", "*ss*",    "*ß*", "i*",  "İ*",
                             "*σ",    "*Σ",    "[a-z]*", "[!a-z]*", "*[0-9]*", "*#*", "[",   "]"};
        // The expressions name code points, so the server's locale cannot matter: fewer on the second.
        while (patterns.size() < (m_side == 0 ? 2000 : 500))
            patterns << randomPattern(random, m_texts);

        QSqlQuery pg(m_pg);
        exec(pg, "CREATE TABLE p (pid integer PRIMARY KEY, pattern text, regex text)");
        QVERIFY(m_pg.transaction());
        QVERIFY(pg.prepare("INSERT INTO p VALUES (?, ?, ?)"));
        for (int i = 0; i < patterns.size(); ++i) {
            pg.addBindValue(i);
            pg.addBindValue(patterns[i]);
            pg.addBindValue(PostgresPattern::likeRegex(patterns[i]));
            QVERIFY2(pg.exec(), qPrintable(patterns[i] + ": " + pg.lastError().text()));
        }
        QVERIFY(m_pg.commit());

        QSqlQuery lite(m_lite);
        QVERIFY(lite.prepare("SELECT id FROM t WHERE vlike(x, ?)"));
        QSet<qint64> expected;
        int some = 0; // patterns that take some rows but not all
        for (int i = 0; i < patterns.size(); ++i) {
            lite.addBindValue(patterns[i]);
            QVERIFY(lite.exec());
            const QSet<qint64> rows = keys(lite);
            some += !rows.isEmpty() && rows.size() < m_texts.size();
            for (const qint64 id : rows)
                expected.insert(i * 10000 + id);
        }
        QVERIFY2(some > patterns.size() * 2 / 5, qPrintable(QString::number(some)));

        // Each pattern in turn over every row (OFFSET 0 keeps the pattern outside, so each
        // regular expression is compiled once).
        const auto found = [&](const QString& sql) {
            exec(pg, QStringLiteral("SELECT p.pid * 10000 + s.id FROM p CROSS JOIN LATERAL (%1 OFFSET 0) s").arg(sql));
            return keys(pg);
        };
        const auto differences = [&](const QSet<qint64>& got, const QSet<qint64>& want) {
            QStringList lines;
            for (const qint64 pair : (got - want) + (want - got)) {
                if (lines.size() == 10)
                    break;
                lines << QStringLiteral("%1 «%2» on «%3»: %4 in SQLite")
                             .arg(PostgresPattern::likeRegex(patterns[pair / 10000]), patterns[pair / 10000],
                                  m_texts.value(pair % 10000 - 1), want.contains(pair) ? "yes" : "not");
            }
            return lines.join('\n');
        };
        const QSet<qint64> bound = found("SELECT id FROM t WHERE t.x ~ p.regex");
        QVERIFY2(bound == expected, qPrintable(differences(bound, expected)));

        exec(pg, "CREATE TEMP TABLE ft AS SELECT id, velmora_fold(x) AS x FROM t");
        exec(pg, "CREATE TEMP TABLE fp AS SELECT pid, velmora_like_regex(velmora_fold(pattern)) AS regex FROM p "
                 "WHERE pid < 1000");
        exec(pg, "SELECT fp.pid * 10000 + s.id FROM fp CROSS JOIN LATERAL "
                 "(SELECT id FROM ft WHERE ft.x ~ fp.regex OFFSET 0) s");
        const QSet<qint64> translated = keys(pg);
        QSet<qint64> firstThousand;
        for (const qint64 pair : expected)
            if (pair / 10000 < 1000)
                firstThousand.insert(pair);
        QVERIFY2(translated == firstThousand, qPrintable(differences(translated, firstThousand)));

        // velmora_like itself is those two steps: a few patterns through it whole.
        exec(pg, "SELECT p.pid * 10000 + t.id FROM p, t WHERE p.pid < 4 AND velmora_like(t.x, p.pattern)");
        QSet<qint64> firstFew;
        for (const qint64 pair : expected)
            if (pair / 10000 < 4)
                firstFew.insert(pair);
        QCOMPARE(keys(pg), firstFew);
    }

    // vequal: a text against the same text in other cases, and against others.
    void equalitySelectsTheSameRows_data() { servers(); }
    void equalitySelectsTheSameRows() {
        useSide();
        QRandomGenerator random(1605);
        QList<QVariantList> rows;
        for (int i = 0; i < 2000; ++i) {
            const QString a = m_texts[random.bounded(m_texts.size())];
            QString b = random.bounded(4) ? a : m_texts[random.bounded(m_texts.size())];
            for (qsizetype k = 0; k < b.size(); ++k)
                if (random.bounded(2))
                    b[k] = b[k].isLower() ? b[k].toUpper() : b[k].toCaseFolded();
            rows << QVariantList{a, b, PostgresPattern::equalsRegex(b)};
        }
        rows << QVariantList{"ΟΔΟΣ", "οδος", PostgresPattern::equalsRegex("οδος")}
             << QVariantList{"straße", "STRASSE", PostgresPattern::equalsRegex("STRASSE")}
             << QVariantList{"İ", "i", PostgresPattern::equalsRegex("i")}
             << QVariantList{QVariant(QMetaType(QMetaType::QString)), "", PostgresPattern::equalsRegex("")};
        fill(m_lite, m_pg, "e", {"a text", "b text", "regex text"}, rows);
        QSqlQuery lite(m_lite), pg(m_pg);
        exec(lite, "SELECT id FROM e WHERE vequal(a, b)");
        const QSet<qint64> expected = keys(lite);
        QVERIFY(expected.size() > 500 && expected.size() < 2000);
        QVERIFY(expected.contains(2001));                              // Σ and ς fold alike
        QVERIFY(!expected.contains(2002) && !expected.contains(2003)); // ß is not ss, İ is not i
        exec(pg, "SELECT id FROM e WHERE a ~ regex");
        QCOMPARE(keys(pg), expected);
        exec(pg, "SELECT id FROM e WHERE velmora_equal(a, b)");
        QCOMPARE(keys(pg), expected);
    }

    // The server folds every character as the program does, whatever its locale.
    void theServerFoldsAsTheProgram_data() { servers(); }
    void theServerFoldsAsTheProgram() {
        useSide();
        std::u32string all;
        for (char32_t c = 1; c < 0x30000; ++c)
            if (c < 0xD800 || c > 0xDFFF)
                all.push_back(c);
        QSqlQuery pg(m_pg);
        for (std::size_t at = 0; at < all.size(); at += 0x8000) {
            const std::u32string chunk = all.substr(at, 0x8000);
            std::u32string folded;
            for (const char32_t c : chunk)
                folded.push_back(LikePattern::fold(c));
            exec(pg, "SELECT velmora_fold(?)", {fromUcs4(chunk)});
            QVERIFY(pg.next());
            const std::u32string got = pg.value(0).toString().toStdU32String();
            QCOMPARE(got.size(), folded.size());
            for (std::size_t i = 0; i < got.size(); ++i)
                if (got[i] != folded[i])
                    QFAIL(qPrintable(QStringLiteral("U+%1 folds to U+%2 on the server, U+%3 in the program")
                                         .arg(uint(chunk[i]), 4, 16, QChar('0'))
                                         .arg(uint(got[i]), 4, 16, QChar('0'))
                                         .arg(uint(folded[i]), 4, 16, QChar('0'))));
        }
    }

    // vnumber's leading-number rule on the server, against SQLite's on the same texts.
    void leadingNumbersAsSqlite_data() { servers(); }
    void leadingNumbersAsSqlite() {
        useSide();
        QStringList texts =
            QString("nan|NaN|inf|-Infinity|1e400|-1e400|1e-400|-1e-400|12,5 mq|| |80 mq|1 2e 3|1.e5|+.5|"
                    "-.5e-3|.|-|1e|1e+|0x10|\u0663|4e-320|2.4703282292062328e-324|"
                    "2.4703282292062327e-324|1.7976931348623158e308|1.7976931348623159e308|"
                    "0e99999999999|00012.5000|9e99999999999999999999|-\t7|+-1")
                .split('|');
        texts << "1" + QString(400, '0') << "0." + QString(400, '0') + "5"
              << "1" + QString(320, '0') + "e-330";
        QRandomGenerator random(1606);
        const std::u32string pieces = U"0123456789.eE+- \tx,";
        while (texts.size() < 1000) {
            std::u32string text;
            for (int i = random.bounded(12); i >= 0; --i)
                text.push_back(pick(random, pieces));
            texts << fromUcs4(text);
        }
        QList<QVariantList> rows;
        for (const QString& text : texts)
            rows << QVariantList{text};
        rows << QVariantList{QVariant(QMetaType(QMetaType::QString))};
        fill(m_lite, m_pg, "n", {"x text"}, rows);
        QSqlQuery lite(m_lite), pg(m_pg);
        exec(lite, "SELECT id, vnumber(x) FROM n ORDER BY id");
        exec(pg, "SELECT id, vnumber(x) FROM n ORDER BY id");
        int numbers = 0;
        while (lite.next()) {
            QVERIFY(pg.next());
            const QString text = texts.value(lite.value(0).toInt() - 1, "NULL");
            QCOMPARE(pg.value(1).isNull(), lite.value(1).isNull());
            if (lite.value(1).isNull())
                continue;
            ++numbers;
            QVERIFY2(pg.value(1).toDouble() == lite.value(1).toDouble(),
                     qPrintable(QStringLiteral("«%1»: %2 on the server, %3 in SQLite")
                                    .arg(text, pg.value(1).toString(), lite.value(1).toString())));
        }
        QVERIFY(!pg.next());
        QVERIFY(numbers > 300);
        // Number columns: as they are, a numeric too large or too small for a double as a text would be.
        exec(pg, "SELECT vnumber(CAST(12.5 AS double precision)), vnumber(CAST(7 AS integer)), "
                 "vnumber(CAST(0.1 AS numeric)), vnumber(CAST(-1e400 AS numeric)), vnumber(CAST(1e-400 AS numeric)), "
                 "vnumber(CAST('NaN' AS numeric))");
        QVERIFY(pg.next());
        QCOMPARE(pg.value(0).toDouble(), 12.5);
        QCOMPARE(pg.value(1).toDouble(), 7.0);
        QCOMPARE(pg.value(2).toDouble(), 0.1);
        QCOMPARE(pg.value(3).toDouble(), -std::numeric_limits<double>::max());
        QCOMPARE(pg.value(4).toDouble(), 0.0);
        QVERIFY(pg.value(5).isNull());
    }

    // Report formulas written for PostgreSQL select the rows SQLite selects, with the
    // same number of values bound.
    void formulasSelectTheSameRows_data() { servers(); }
    void formulasSelectTheSameRows() {
        useSide();
        const QStringList names{"Città",    "CITTÀ", "città alta", "Roma", "roma",
                                "l'Aquila", "ΟΔΟΣ",  "",           "a*b",  "Straße"};
        QList<QVariantList> rows;
        QRandomGenerator random(1607);
        for (int i = 0; i < 300; ++i) {
            const auto text = [&] {
                return random.bounded(10) == 0 ? QVariant(QMetaType(QMetaType::QString))
                                               : QVariant(names[random.bounded(names.size())]);
            };
            rows << QVariantList{text(), text(), random.bounded(8) ? QVariant(random.bounded(200) / 2.0) : QVariant()};
        }
        rows[0] = {"CITTÀ", "Roma", 12.5};
        rows[1] = {"l'Aquila", "a*b", 3};
        rows[2] = {QString("Città").repeated(300), "", 4}; // longer than any regular expression we send
        fill(m_lite, m_pg, "immobile", {"zona text", "tipologia text", "mq numeric"}, rows);
        rows.clear();
        for (int i = 0; i < 100; ++i)
            rows << QVariantList{QStringLiteral("2026-03-%1").arg(random.bounded(1, 29), 2, 10, QChar('0')),
                                 names[i % 10]};
        rows << QVariantList{"", "vuota"} << QVariantList{QVariant(QMetaType(QMetaType::QString)), "nulla"};
        fill(m_lite, m_pg, "agenda", {"datap text", "agente text"}, rows);
        const Regional regional{QLocale(QLocale::Italian, QLocale::Italy)};
        for (const auto& [table, text] : std::initializer_list<std::pair<QString, QString>>{
                 {"immobile", "{immobile.zona} LIKE 'citt*'"},
                 {"immobile", "{immobile.zona} = 'CITTÀ'"},
                 {"immobile", "{immobile.zona} <> 'roma'"},
                 {"immobile", "NOT {immobile.zona} LIKE '*[!a-z]*'"},
                 {"immobile", "{immobile.zona} = {immobile.tipologia}"},
                 {"immobile", "{immobile.zona} LIKE {immobile.tipologia}"},
                 {"immobile", "'Roma' = {immobile.zona}"},
                 {"immobile", "'città alta' LIKE {immobile.tipologia}"},
                 {"immobile", "'a' = 'A' AND {immobile.mq} > 10"},
                 {"immobile", "{immobile.mq} >= 10 AND {immobile.mq} <= 50,5 OR {immobile.zona} LIKE '*''*'"},
                 {"immobile", "{immobile.zona} < 'Roma'"},
                 {"immobile", "{immobile.zona} >= 'a'"},
                 {"immobile", "'b' > 'B' AND {immobile.id} <= 100"},
                 {"immobile", "{immobile.zona} LIKE '*.*' OR {immobile.zona} LIKE '*Σ'"},
                 {"immobile", "1 < 2 AND {immobile.id} = 7"},
                 {"immobile", ""},
                 {"agenda", "{agenda.datap} >= DateValue (05/03/2026) AND {agenda.datap} < DateValue (10/03/2026)"},
                 {"agenda", "{agenda.datap} <= DateValue (03/03/2026) OR {agenda.agente} = 'roma'"},
                 {"immobile", "{immobile.zona} = '" + QString("CITTÀ").repeated(300) + "'"},
                 {"immobile", "'" + QString("cittÀ").repeated(300) + "' <> {immobile.zona}"},
             }) {
            const Formula formula = Formula::parse(text, regional);
            QVERIFY2(formula.isValid(), qPrintable(formula.error()));
            QString liteWhere, pgWhere;
            QVariantList liteValues, pgValues;
            QVERIFY2(formula.toSql(table, liteWhere, liteValues).ok(), qPrintable(text));
            QVERIFY2(formula.toSql(table, pgWhere, pgValues, Engine::PostgreSQL).ok(), qPrintable(text));
            QCOMPARE(pgValues.size(), liteValues.size());
            QVERIFY(!pgWhere.contains("vlike") && !pgWhere.contains("vequal"));
            QSqlQuery lite(m_lite), pg(m_pg);
            exec(lite, QStringLiteral("SELECT id FROM %1 WHERE ").arg(table) + liteWhere, liteValues);
            exec(pg, QStringLiteral("SELECT id FROM %1 WHERE ").arg(table) + pgWhere, pgValues);
            const QSet<qint64> expected = keys(lite);
            QVERIFY2(keys(pg) == expected, qPrintable(text + " -> " + pgWhere));
        }
    }

    // A LIKE pattern too long for a regular expression is refused on PostgreSQL, in words.
    void aPatternTooLongIsRefused() {
        const QString pattern = QString("*a").repeated(501);
        const Regional regional{QLocale(QLocale::Italian, QLocale::Italy)};
        const Formula formula = Formula::parse("{immobile.zona} LIKE '" + pattern + "'", regional);
        QString where;
        QVariantList values;
        QVERIFY(formula.toSql("immobile", where, values));
        const Result refused = formula.toSql("immobile", where, values, Engine::PostgreSQL);
        QCOMPARE(refused.message(), "Formula di selezione non valida al carattere 22: il testo dopo LIKE è lungo 1002 "
                                    "caratteri: sul database PostgreSQL se ne possono usare al massimo 1000.");
        const Query query = Query::contains("immobile", "zona", pattern);
        QVERIFY(query.runsOn(Engine::SQLite));
        QCOMPARE(query.runsOn(Engine::PostgreSQL).message(),
                 "Il criterio di ricerca è lungo 1004 caratteri: sul database PostgreSQL se ne possono usare al "
                 "massimo 1000.");
        QVERIFY(Query::contains("immobile", "zona", pattern.left(998)).runsOn(Engine::PostgreSQL));
    }

    // The record sources' conditions, each kind, on both engines.
    void queryConditionsSelectTheSameRows_data() { servers(); }
    void queryConditionsSelectTheSameRows() {
        useSide();
        const QList<Query::Condition> conditions{
            {Query::Condition::Like, "zona", "*CITT[À]*", {}},
            {Query::Condition::Like, "zona", "*'*", {}},
            {Query::Condition::TextEquals, "zona", "roma", {}},
            {Query::Condition::TextEquals, "zona", "", {}},
            {Query::Condition::TextEquals, "zona", QString("CITTÀ").repeated(300), {}},
            {Query::Condition::NumberEquals, "id", 7.0, {}},
            {Query::Condition::NumberEquals, "mq", 12.5, {}},
            {Query::Condition::NumberBetween, "mq", 10.0, 50.5},
        };
        for (const Query::Condition& condition :
             conditions +
                 QList<Query::Condition>{{Query::Condition::DateBetween, "datap", "2026-03-05", "2026-03-09"}}) {
            const QString table = condition.field == "datap" ? "agenda" : "immobile";
            QVariantList liteValues, pgValues;
            const QString liteSql = Query::conditionSql(condition, Engine::SQLite, liteValues);
            const QString pgSql = Query::conditionSql(condition, Engine::PostgreSQL, pgValues);
            QCOMPARE(pgValues.size(), liteValues.size());
            QSqlQuery lite(m_lite), pg(m_pg);
            exec(lite, QStringLiteral("SELECT id FROM %1 WHERE ").arg(table) + liteSql, liteValues);
            exec(pg, QStringLiteral("SELECT id FROM %1 WHERE ").arg(table) + pgSql, pgValues);
            const QSet<qint64> expected = keys(lite);
            QVERIFY2(!expected.isEmpty(), qPrintable(liteSql));
            QVERIFY2(keys(pg) == expected, qPrintable(pgSql));
        }
    }

    // A search's regular expression is served by a pg_trgm index on the field itself.
    void aTrigramIndexServesTheSearch() {
        QSqlQuery pg(m_pg);
        exec(pg, "CREATE EXTENSION IF NOT EXISTS pg_trgm");
        exec(pg, "CREATE INDEX t_x_trgm ON t USING gin (x gin_trgm_ops)");
        exec(pg, "SET enable_seqscan = off");
        for (const char* pattern : {"*rossi*", "*Città*", "ross*", "*via [a-c]ol*"}) {
            // PostgreSQL prepares no EXPLAIN: the expression as a literal (it holds no quote).
            exec(pg, "EXPLAIN SELECT id FROM t WHERE x ~ '" + PostgresPattern::likeRegex(pattern) + "'");
            QStringList plan;
            while (pg.next())
                plan << pg.value(0).toString();
            QVERIFY2(plan.join('\n').contains("Bitmap Index Scan on t_x_trgm"), qPrintable(plan.join('\n')));
        }
        exec(pg, "RESET enable_seqscan");
    }

    // Two desks opening a database at once both get the functions: when it is new, and
    // when both find them out of date.
    void twoDesksInstallAtOnce() {
        TestPostgres fresh;
        const QString connection = fresh.connection().connectionName();
        QSqlQuery pg(fresh.connection());
        for (int round = 0; round < 3; ++round) {
            if (round > 0)
                exec(pg, "COMMENT ON FUNCTION velmora_fold(text) IS NULL");
            QAtomicInt failures;
            const auto desk = [&](const QString& name) {
                {
                    QSqlDatabase db = QSqlDatabase::cloneDatabase(connection, name);
                    if (!db.open() || !installPostgresFunctions(db).ok())
                        failures.ref();
                }
                QSqlDatabase::removeDatabase(name);
            };
            std::unique_ptr<QThread> first(QThread::create(desk, QStringLiteral("first"))),
                second(QThread::create(desk, QStringLiteral("second")));
            first->start();
            second->start();
            QVERIFY(first->wait() && second->wait());
            QCOMPARE(failures.loadRelaxed(), 0);
        }
        exec(pg, "SELECT velmora_like('CITTÀ', 'citt?')");
        QVERIFY(pg.next() && pg.value(0).toBool());
    }
};

QTEST_GUILESS_MAIN(PostgresDialectTest)
#include "tst_postgresdialect.moc"
