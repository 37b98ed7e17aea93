// Searches as the user types, accelerated by the trigram index and by the text held in
// memory, must find exactly what the plain scan with the office's LIKE finds.

#include "TestDatabase.h"
#include "data/sqlite/DatabaseFile.h"
#include "data/sqlite/search/BlockMap.h"
#include "data/sqlite/search/ColumnCache.h"
#include "data/sqlite/search/FastFind.h"
#include "data/sqlite/search/SearchIndex.h"
#include "data/store/ChangeWatch.h"
#include "data/store/Database.h"
#include "data/store/KeySearch.h"
#include "data/store/RecordSource.h"
#include "data/vocabulary/LikePattern.h"
#include "platform/Regional.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <sqlite3.h>

namespace {

const Regional italian{QLocale(QLocale::Italian, QLocale::Italy)};

// Pieces of text and of needles: cases that fold alike (È è, ß, the Kelvin sign and k,
// the long s and s, final sigma), digits of other scripts, apostrophes, the wildcard
// characters themselves.
const QStringList atoms = {"a", "b", "o", "s",      "r", "i", " ", "A", "O", "S",    "R",    "'",   "è",  "È", "é",
                           "à", "ß", "ſ", "\u212A", "k", "K", "İ", "ı", "σ", "ς",    "Σ",    "1",   "2",  "٣", "*",
                           "?", "#", "[", "]",      "!", "-", "ǅ", "ǆ", "Ǆ", "ross", "ROSS", "ssi", "oss"};
const QStringList wildcards = {"*", "?", "#", "[ab]", "[!a]", "[a-s]", "[è]", "[", "[!]", "[*]"};

QString randomText(QRandomGenerator& random, int maxAtoms) {
    QString text;
    const int count = static_cast<int>(random.bounded(maxAtoms + 1));
    for (int i = 0; i < count; ++i)
        text += atoms.at(static_cast<qsizetype>(random.bounded(static_cast<int>(atoms.size()))));
    return text;
}

QString randomNeedle(QRandomGenerator& random) {
    QString needle;
    const int count = static_cast<int>(random.bounded(6));
    for (int i = 0; i < count; ++i) {
        if (random.bounded(5) == 0)
            needle += wildcards.at(static_cast<qsizetype>(random.bounded(static_cast<int>(wildcards.size()))));
        else
            needle += atoms.at(static_cast<qsizetype>(random.bounded(static_cast<int>(atoms.size()))));
    }
    return needle;
}

// What a field too large for memory is searched with most: one or two characters, and
// wildcards with no three plain characters in a row.
QString randomShortNeedle(QRandomGenerator& random) {
    static const QStringList characters = {"a", "o", "s", "r", "i", " ", "'", "è", "È", "é", "ß", "ſ",
                                           "k", "K", "\u212A", "1", "٣", "σ", "ς", "Σ", "x", "q"};
    static const QStringList between = {"?", "#", "[ab]", "[!a]", "*", "??", "[è]"};
    const auto pick = [&](const QStringList& list) {
        return list.at(static_cast<qsizetype>(random.bounded(static_cast<int>(list.size()))));
    };
    switch (random.bounded(4)) {
    case 0:
        return pick(characters);
    case 1:
        return pick(characters) + pick(characters);
    case 2:
        return pick(characters) + pick(between) + pick(characters);
    default:
        return pick(characters) + pick(characters) + pick(between) + pick(characters);
    }
}

// Puts a random value into the owner field: text mostly, also nulls, empty texts,
// numbers stored as numbers and bytes that are not UTF-8.
void bindRandomValue(QSqlQuery& query, QRandomGenerator& random) {
    switch (random.bounded(20)) {
    case 0:
        query.addBindValue(QVariant());
        break;
    case 1:
        query.addBindValue(QString(""));
        break;
    case 2:
        query.addBindValue(static_cast<qint64>(random.bounded(1000)));
        break;
    case 3:
        query.addBindValue(QByteArray("r\xE9ss\xC9 \xFFo", 9));
        break;
    default:
        query.addBindValue(randomText(random, 8));
    }
}

void fill(const QSqlDatabase& connection, QRandomGenerator& random, int rows) {
    QSqlQuery query(connection);
    query.exec("BEGIN");
    query.prepare("INSERT INTO immobile (proprietario, zona) VALUES (?, ?)");
    for (int i = 0; i < rows; ++i) {
        bindRandomValue(query, random);
        query.addBindValue(randomText(random, 3));
        if (!query.exec())
            qFatal("insert failed: %s", qPrintable(query.lastError().text()));
    }
    query.exec("COMMIT");
}

// What the plain scan finds: the rows in key order, a page after or before a key.
QList<qint64> plainScan(Database& db, const QString& pattern, KeySearch::Direction direction,
                        std::optional<qint64> from, int limit) {
    const bool forward = direction == KeySearch::Direction::Forward;
    QString sql = "SELECT rowid FROM immobile WHERE vlike(proprietario, ?)";
    if (from)
        sql += forward ? " AND rowid > ?" : " AND rowid < ?";
    sql += forward ? " ORDER BY rowid LIMIT ?" : " ORDER BY rowid DESC LIMIT ?";
    QSqlQuery query(db.connection());
    query.prepare(sql);
    query.addBindValue(pattern);
    if (from)
        query.addBindValue(*from);
    query.addBindValue(limit);
    if (!query.exec())
        qFatal("scan failed: %s", qPrintable(query.lastError().text()));
    QList<qint64> keys;
    while (query.next())
        keys << query.value(0).toLongLong();
    if (!forward)
        std::reverse(keys.begin(), keys.end());
    return keys;
}

struct Tally {
    QHash<int, int> byMethod;
};

// Compares many random needles, whole results and pages both ways, with the plain scan.
void compareMany(Database& db, QRandomGenerator& random, int needles, Tally& tally, const char* stage,
                 bool shortNeedles = false) {
    const QList<qint64> all = plainScan(db, "*", KeySearch::Direction::Forward, std::nullopt, 1 << 30);
    for (int n = 0; n < needles; ++n) {
        const QString pattern =
            "*" + (shortNeedles && random.bounded(4) != 0 ? randomShortNeedle(random) : randomNeedle(random)) + "*";
        const auto direction = random.bounded(3) == 0 ? KeySearch::Direction::Backward : KeySearch::Direction::Forward;
        std::optional<qint64> from;
        if (!all.isEmpty() && random.bounded(2) == 0)
            from = all.at(static_cast<qsizetype>(random.bounded(static_cast<int>(all.size()))));
        const int limit = random.bounded(2) == 0 ? 1 << 30 : static_cast<int>(random.bounded(1, 20));

        KeySearch search(db, "immobile", "proprietario", pattern, direction, from, limit);
        for (const KeySearch::Method method : search.methods())
            ++tally.byMethod[static_cast<int>(method)];
        // Small slices, so that searches also stop and go on.
        while (!search.isDone())
            QVERIFY(search.run(std::chrono::microseconds(random.bounded(2) == 0 ? 0 : 300)).ok());
        const QList<qint64> expected = plainScan(db, pattern, direction, from, limit);
        if (search.keys() != expected)
            QFAIL(
                qPrintable(QStringLiteral("%1: «%2» %3 from %4 limit %5: %6 rows instead of %7")
                               .arg(stage, pattern, direction == KeySearch::Direction::Forward ? "forward" : "backward")
                               .arg(from ? QString::number(*from) : "-")
                               .arg(limit)
                               .arg(search.keys().size())
                               .arg(expected.size())));
    }
}

qint64 covered(Database& db) {
    return db.searchIndex()->coveredUpTo("immobile").value_or(-1);
}

QStringList objectsBesideTheSixTables(const QString& path) {
    QSqlDatabase side = QSqlDatabase::addDatabase("QSQLITE", "objects");
    QStringList names;
    {
        side.setDatabaseName(path);
        side.open();
        QSqlQuery query("SELECT name FROM sqlite_master WHERE name NOT IN ('immobile', 'richiesta', 'visite', 'foto', "
                        "'notizie', 'agenda', 'foto_idimmobile', 'visite_idimmobile', 'agenda_datap', 'sqlite_sequence') "
                        "AND name NOT LIKE 'sqlite_autoindex%' ORDER BY name",
                        side);
        while (query.next())
            names << query.value(0).toString();
    }
    side.close();
    side = QSqlDatabase();
    QSqlDatabase::removeDatabase("objects");
    return names;
}

} // namespace

class SearchTest : public QObject {
    Q_OBJECT

private slots:
    void foldingTwiceIsFoldingOnce() {
        // The text held in memory is folded; the LIKE folds again: that must change nothing.
        for (char32_t c = 0; c < 0x110000; ++c)
            if (LikePattern::fold(LikePattern::fold(c)) != LikePattern::fold(c))
                QFAIL(qPrintable(QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0'))));
    }

    void piecesAreFoundWhereverTheyStand() {
        const std::string block = "abcabcabcabcabcabcabxyz\xFF"
                                  "xq" +
                                  std::string(40, 'x') + "q\xFFyx";
        const auto at = [&](std::string_view piece) {
            const char* found = FastFind::find(block.data(), block.data() + block.size(), piece);
            return found ? found - block.data() : -1;
        };
        QCOMPARE(at("xyz"), 20);
        QCOMPARE(at("xq"), 24);
        QCOMPARE(at("xxq"), 64); // after many places where only the first byte agrees
        QCOMPARE(at("yx"), 68);  // the very end
        QCOMPARE(at("yxz"), -1); // would run past the end
        QCOMPARE(at("c"), 2);
        QCOMPARE(at(std::string_view("\xFFx", 2)), 23);
        QCOMPARE(at("abcabcabcabcabcabcabxyz\xFFxq" + std::string(41, 'x')), -1);
    }

    void acceleratedSearchesFindWhatThePlainScanFinds() {
        TestDatabase test;
        QRandomGenerator random(20261207);
        std::shared_ptr<Database> db;
        QVERIFY(Database::open(test.path(), db).ok());
        db->searchIndex()->setBackgroundBuild(false);
        {
            QSqlDatabase side = QSqlDatabase::addDatabase("QSQLITE", "writer");
            side.setDatabaseName(test.path());
            QVERIFY(side.open());
            fill(side, random, 1500);
        }
        QSqlDatabase::removeDatabase("writer");
        Tally tally;

        // Rows written before the index existed: no index yet, no column in memory.
        compareMany(*db, random, 300, tally, "table");
        // Part of the table indexed, the rest read from the table.
        bool more = false;
        QVERIFY(db->searchIndex()->buildStep(std::chrono::nanoseconds(0), more).ok());
        QVERIFY(more);
        QVERIFY(covered(*db) > 0);
        compareMany(*db, random, 300, tally, "part indexed");
        // The column in memory.
        QVERIFY(db->columns()->makeNow("immobile", "proprietario").ok());
        compareMany(*db, random, 400, tally, "memory");
        // Everything indexed.
        QVERIFY(db->searchIndex()->build({}).ok());
        QVERIFY(db->searchIndex()->isComplete());
        compareMany(*db, random, 400, tally, "indexed");
        // A text kept as Latin-1 by an older program is read by the LIKE a byte at a time:
        // the index, which reads those bytes otherwise, must not be asked for its accents.
        {
            QSqlQuery latin(db->connection());
            QVERIFY(latin.prepare("INSERT INTO immobile (proprietario) VALUES (CAST(? AS TEXT))"));
            latin.addBindValue(QByteArray("Ross\xe9 Latino"));
            QVERIFY(latin.exec());
            KeySearch search(*db, "immobile", "proprietario", "*sé lat*", KeySearch::Direction::Forward,
                             std::nullopt, 1 << 30);
            QVERIFY(search.run(std::chrono::nanoseconds(-1)).ok());
            QCOMPARE(search.keys().size(), 1);
            QCOMPARE(search.keys(), plainScan(*db, "*sé lat*", KeySearch::Direction::Forward, std::nullopt, 1 << 30));
        }
        // Hostile needles: 30 kB of text, "nan", an apostrophe alone, brackets left open.
        for (const QString& needle :
             {QString(30000, QLatin1Char('o')) + "ss", QStringLiteral("nan"), QStringLiteral("'"), QStringLiteral("["),
              QStringLiteral("[!*]ss"), QStringLiteral("ross'[")}) {
            KeySearch search(*db, "immobile", "proprietario", "*" + needle + "*", KeySearch::Direction::Forward,
                             std::nullopt, 1 << 30);
            QVERIFY(search.run(std::chrono::nanoseconds(-1)).ok());
            QCOMPARE(search.keys(),
                     plainScan(*db, "*" + needle + "*", KeySearch::Direction::Forward, std::nullopt, 1 << 30));
        }

        // The program's own writes: the column follows them row by row, the index by its triggers.
        QSqlQuery own(db->connection());
        for (int i = 0; i < 60; ++i) {
            own.prepare("UPDATE immobile SET proprietario = ? WHERE rowid = ?");
            bindRandomValue(own, random);
            own.addBindValue(static_cast<qint64>(random.bounded(1, 1500)));
            QVERIFY(own.exec());
        }
        QVERIFY(own.exec("DELETE FROM immobile WHERE rowid % 97 = 0"));
        fill(db->connection(), random, 40);
        compareMany(*db, random, 400, tally, "own writes");

        // Another connection writes: the column is read again, the index kept by its triggers.
        test.exec("UPDATE immobile SET proprietario = 'Rossi ' || proprietario WHERE rowid % 5 = 0");
        test.exec("DELETE FROM immobile WHERE rowid % 89 = 0");
        test.exec("INSERT OR REPLACE INTO immobile (id, proprietario) VALUES (7, 'ossa rossa')");
        test.exec("UPDATE immobile SET id = id + 100000 WHERE id BETWEEN 20 AND 30");
        compareMany(*db, random, 400, tally, "other writes");
        QVERIFY(db->columns()->makeNow("immobile", "proprietario").ok());
        compareMany(*db, random, 200, tally, "other writes, memory again");

        // Every way was taken.
        QVERIFY(tally.byMethod.value(static_cast<int>(KeySearch::Method::Index)) > 100);
        QVERIFY(tally.byMethod.value(static_cast<int>(KeySearch::Method::Memory)) > 100);
        QVERIFY(tally.byMethod.value(static_cast<int>(KeySearch::Method::Table)) > 100);
    }

    void aFieldTooLargeForMemoryIsSearchedByItsBlocksWithTheSameResults() {
        TestDatabase test;
        QRandomGenerator random(20270113);
        std::shared_ptr<Database> db;
        QVERIFY(Database::open(test.path(), db).ok());
        db->searchIndex()->setBackgroundBuild(false);
        db->columns()->setLimit(64); // no column fits: the block maps serve
        {
            QSqlDatabase side = QSqlDatabase::addDatabase("QSQLITE", "writer");
            side.setDatabaseName(test.path());
            QVERIFY(side.open());
            fill(side, random, 6000);
        }
        QSqlDatabase::removeDatabase("writer");
        Tally tally;
        const QString table = "immobile", field = "proprietario";

        QVERIFY(!db->columns()->makeNow(table, field).ok());
        BlockMap* map = db->columns()->blocks(table, field);
        QVERIFY(map && map->isComplete());
        QVERIFY(db->columns()->mapBytes() < 6000 * 8); // about a kilobyte for 256 rows
        compareMany(*db, random, 800, tally, "blocks", true);

        // Made in part: its blocks, then the table; with the index in part: the index first.
        map->reset();
        bool complete = true;
        QVERIFY(map->buildStep(db->handle(), [] { return true; }, complete).ok());
        QVERIFY(!complete);
        compareMany(*db, random, 300, tally, "blocks in part", true);
        bool more = false;
        QVERIFY(db->searchIndex()->buildStep(std::chrono::nanoseconds(0), more).ok());
        QVERIFY(covered(*db) > 0);
        compareMany(*db, random, 300, tally, "index, blocks, table", true);
        QVERIFY(db->columns()->makeNow(table, field).message().contains("non sta nel limite"));
        // Hostile needles: 30 kB of text, "nan", an apostrophe alone, brackets left open.
        for (const QString& needle : {QString(30000, QLatin1Char('o')) + "s", QStringLiteral("nan"),
                                      QStringLiteral("'"), QStringLiteral("[!"), QStringLiteral("s*[")}) {
            KeySearch search(*db, table, field, "*" + needle + "*", KeySearch::Direction::Forward, std::nullopt,
                             1 << 30);
            QVERIFY(search.methods().contains(KeySearch::Method::Blocks));
            QVERIFY(search.run(std::chrono::nanoseconds(-1)).ok());
            QCOMPARE(search.keys(),
                     plainScan(*db, "*" + needle + "*", KeySearch::Direction::Forward, std::nullopt, 1 << 30));
        }

        // The program's own writes, keys changed and new rows past the last block included.
        QSqlQuery own(db->connection());
        for (int i = 0; i < 80; ++i) {
            own.prepare("UPDATE immobile SET proprietario = ? WHERE rowid = ?");
            bindRandomValue(own, random);
            own.addBindValue(static_cast<qint64>(random.bounded(1, 6000)));
            QVERIFY(own.exec());
        }
        QVERIFY(own.exec("UPDATE immobile SET id = id + 50000, proprietario = 'ſxq' WHERE rowid BETWEEN 40 AND 45"));
        QVERIFY(own.exec("DELETE FROM immobile WHERE rowid % 97 = 0"));
        QVERIFY(own.exec("INSERT INTO immobile (id, proprietario) VALUES (194, 'Ксения xq')"));
        fill(db->connection(), random, 700);
        compareMany(*db, random, 500, tally, "blocks, own writes", true);

        // Another connection writes: the map is made again before it is trusted.
        test.exec("UPDATE immobile SET proprietario = proprietario || ' qx' WHERE rowid % 7 = 0");
        test.exec("INSERT INTO immobile (proprietario) VALUES ('xq ultimo')");
        QCOMPARE(db->columns()->blocks(table, field), nullptr);
        compareMany(*db, random, 200, tally, "blocks, other writes", true);
        QVERIFY(!db->columns()->makeNow(table, field).ok());
        compareMany(*db, random, 400, tally, "blocks made again", true);

        QVERIFY(tally.byMethod.value(static_cast<int>(KeySearch::Method::Blocks)) > 1000);
        QVERIFY(tally.byMethod.value(static_cast<int>(KeySearch::Method::Table)) > 100);
        QCOMPARE(tally.byMethod.value(static_cast<int>(KeySearch::Method::Memory)), 0);
    }

    void aBlockMapPassesOverBlocksThatCannotHoldAMatch() {
        TestDatabase test;
        test.exec("BEGIN");
        for (int i = 0; i < 1024; ++i)
            test.insert("immobile", {"proprietario"}, {i < 512 ? "Mario Rossi" : "Anna Bianchi"});
        test.exec("COMMIT");
        std::shared_ptr<Database> db;
        QVERIFY(Database::open(test.path(), db).ok());
        BlockMap map("immobile", "proprietario");
        bool complete = false;
        QVERIFY(map.buildStep(db->handle(), [] { return false; }, complete).ok());
        QVERIFY(complete);
        QCOMPARE(map.blockCount(), std::size_t(4));
        const auto holding = [&](const QString& pattern) {
            const BlockMap::Filter filter = BlockMap::filterFor(LikePattern(pattern));
            QList<int> blocks;
            for (std::size_t b = 0; b < map.blockCount(); ++b)
                if (map.mayHold(b, filter))
                    blocks << static_cast<int>(b);
            return blocks;
        };
        QCOMPARE(holding("*xq*"), QList<int>());
        QCOMPARE(holding("*SS*"), QList<int>({0, 1}));
        QCOMPARE(holding("*r?s*"), QList<int>({0, 1}));   // one place apart
        QCOMPARE(holding("*s#a*"), QList<int>());
        QCOMPARE(holding("*b*h*"), QList<int>({2, 3}));
        QCOMPARE(holding("*h*b*"), QList<int>());          // both there, never in this order
        QCOMPARE(holding("*è*"), QList<int>());
        QCOMPARE(holding("*[xq]*"), QList<int>({0, 1, 2, 3})); // a set demands nothing
        QCOMPARE(map.low(1), qint64(257));
        QCOMPARE(map.high(1), qint64(512));
        QCOMPARE(map.blockOf(600), std::size_t(2));

        // A write of the program adds its bits to its block; rows past the last block
        // start blocks of their own once it is full.
        map.rowChanged(700);
        map.rowChanged(5000);
        QSqlQuery own(db->connection());
        QVERIFY(own.exec("UPDATE immobile SET proprietario = 'Xquisito è' WHERE rowid = 700"));
        QVERIFY(own.exec("INSERT INTO immobile (id, proprietario) VALUES (5000, 'Zorro')"));
        QVERIFY(map.readChanges(db->handle()).ok());
        QCOMPARE(holding("*xq*"), QList<int>({2}));
        QCOMPARE(holding("*È*"), QList<int>({2}));
        QCOMPARE(map.blockCount(), std::size_t(5));
        QCOMPARE(holding("*zo*"), QList<int>({4}));
    }

    void theIndexStaysTrueToItsTableThroughEveryKindOfWrite() {
        TestDatabase test;
        std::shared_ptr<Database> db;
        QVERIFY(Database::open(test.path(), db).ok());
        QVERIFY(db->searchIndex()->build({}).ok());
        QRandomGenerator random(7);
        test.exec("BEGIN");
        for (int i = 0; i < 300; ++i)
            test.insert("immobile", {"proprietario", "telefono", "noteimmobile"},
                        {randomText(random, 6), "051 22", "x"});
        test.exec("COMMIT");
        test.exec("UPDATE immobile SET telefono = NULL WHERE rowid % 3 = 0");
        test.exec("UPDATE immobile SET id = id + 1000 WHERE rowid % 7 = 0");
        test.exec("REPLACE INTO immobile (id, proprietario) VALUES (5, 'sostituito')");
        test.exec("DELETE FROM immobile WHERE rowid % 11 = 0");
        test.exec("INSERT INTO richiesta (nome, cognome) VALUES ('Anna', 'D''Amico')");
        test.exec("INSERT INTO notizie (notizia, telefono) VALUES ('Si libera un bilocale', '051 1')");
        for (const SearchIndex::Field& f : SearchIndex::fields()) {
            const QString fts = SearchIndex::ftsTable(f.table, f.field);
            QSqlQuery check(db->connection());
            QVERIFY2(check.exec(QStringLiteral("INSERT INTO %1(%1) VALUES('integrity-check')").arg(fts)),
                     qPrintable(fts + ": " + check.lastError().text()));
        }
        // Everything the index adds is in the list of the program's own objects.
        QStringList listed = SearchIndex::objectNames();
        listed.sort();
        QCOMPARE(objectsBesideTheSixTables(test.path()), listed);
    }

    void anIndexChangedByAnotherWriterIsSetAsideUntilTheNextOpenMakesItAgain() {
        TestDatabase test;
        std::shared_ptr<Database> db;
        QVERIFY(Database::open(test.path(), db).ok());
        QVERIFY(db->searchIndex()->build({}).ok());
        QVERIFY(db->searchIndex()->coveredUpTo("immobile").has_value());
        // Without its trigger the index would miss edits: searched without it from now on.
        test.exec("DROP TRIGGER velmora_ricerca_immobile_modifica");
        QVERIFY(!db->searchIndex()->coveredUpTo("immobile").has_value());
        QVERIFY(db->searchIndex()->coveredUpTo("richiesta").has_value());
        test.exec("DELETE FROM velmora_ricerca_stato WHERE tabella = 'notizie'");
        QVERIFY(!db->searchIndex()->coveredUpTo("notizie").has_value());
        // The next open makes them again (once failed with "database table is locked").
        db.reset();
        QVERIFY(Database::open(test.path(), db).ok());
        QVERIFY(db->searchIndex()->build({}).ok());
        for (const char* table : {"immobile", "richiesta", "notizie"})
            QVERIFY2(db->searchIndex()->coveredUpTo(table).has_value(), table);
    }

    void anIndexedDatabaseOpensAgainAndRestoresButATamperedTriggerIsRefused() {
        // The index adds its objects at the first open: the next open and a restore of a
        // backup must still take the file as the program's own.
        TestDatabase test;
        test.insert("immobile", {"proprietario"}, {"Mario Rossi"});
        {
            std::shared_ptr<Database> db;
            QVERIFY(Database::open(test.path(), db).ok());
            QVERIFY(db->searchIndex()->build({}).ok());
            QVERIFY(db->searchIndex()->isComplete());
        }
        QVERIFY(!objectsBesideTheSixTables(test.path()).isEmpty());
        {
            std::shared_ptr<Database> db;
            const Result again = Database::open(test.path(), db);
            QVERIFY2(again.ok(), qPrintable(again.message()));
        }
        const QString backup = test.folder().file("backup.bak");
        QVERIFY(DatabaseFile::copy(test.path(), backup).ok());
        const Result checked = DatabaseFile::check(backup);
        QVERIFY2(checked.ok(), qPrintable(checked.message()));
        QVERIFY(DatabaseFile::restore(backup, test.path()).ok());
        {
            std::shared_ptr<Database> db;
            const Result restored = Database::open(test.path(), db);
            QVERIFY2(restored.ok(), qPrintable(restored.message()));
        }

        // A trigger the program does not make, under a name of its own or one of the index's.
        const QString ours = "velmora_ricerca_immobile_modifica";
        for (const QString& name : {QString("svuota"), ours}) {
            const QString tampered = test.folder().file(name + ".mdb");
            QVERIFY(DatabaseFile::copy(backup, tampered).ok());
            sqlite3* raw = nullptr;
            QCOMPARE(sqlite3_open(tampered.toUtf8().constData(), &raw), SQLITE_OK);
            const QByteArray sql = QStringLiteral("DROP TRIGGER IF EXISTS %1; CREATE TRIGGER %1 AFTER UPDATE ON "
                                                  "immobile BEGIN DELETE FROM richiesta; END")
                                       .arg(name)
                                       .toUtf8();
            QCOMPARE(sqlite3_exec(raw, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(raw);

            const Result refusedRestore = DatabaseFile::check(tampered);
            QVERIFY(!refusedRestore.ok());
            QVERIFY2(refusedRestore.message().contains("«" + name + "»"), qPrintable(refusedRestore.message()));
            std::shared_ptr<Database> db;
            const Result refusedOpen = Database::open(tampered, db);
            QVERIFY(!refusedOpen.ok());
            QVERIFY2(refusedOpen.message().contains("«" + name + "»"), qPrintable(refusedOpen.message()));
            QVERIFY(!db);
        }
    }

    void aForeignDatabaseKeepsItsTablesAsTheyWere() {
        TestFolder folder;
        const QString path = folder.file("altro.mdb");
        QStringList tables;
        {
            sqlite3* raw = nullptr;
            QCOMPARE(sqlite3_open(path.toUtf8().constData(), &raw), SQLITE_OK);
            const char* schema =
                "CREATE TABLE immobile (id INTEGER PRIMARY KEY, proprietario TEXT COLLATE NOCASE, telefono, cellulare, "
                "indirizzo, noteprop, tipologia, zona, indirizzoimmobile, mq, prezzo, noteimmobile, motivo);"
                "CREATE TABLE richiesta (id INTEGER PRIMARY KEY, nome, cognome, telefono, indirizzo, tipo, mq, prezzo, "
                "note, motivo);"
                "CREATE TABLE visite (idimmobile, idrichiesta, nome, cognome, data, note);"
                "CREATE TABLE foto (idimmobile, foto);"
                "CREATE TABLE notizie (id INTEGER PRIMARY KEY, data, notizia, fonte, telefono, svilutto);"
                "CREATE TABLE agenda (id INTEGER PRIMARY KEY, datap, ora, agente, appuntamento, note);"
                "INSERT INTO immobile (proprietario) VALUES ('Mario Rossi'), ('Anna Bianchi'), ('ROSSANA');";
            QCOMPARE(sqlite3_exec(raw, schema, nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(raw);
        }
        const auto tableStatements = [&] {
            QStringList statements;
            sqlite3* raw = nullptr;
            sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(raw,
                               "SELECT sql FROM sqlite_master WHERE name IN ('immobile','richiesta','visite','foto',"
                               "'notizie','agenda') ORDER BY name",
                               -1, &st, nullptr);
            while (sqlite3_step(st) == SQLITE_ROW)
                statements << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            sqlite3_finalize(st);
            sqlite3_close(raw);
            return statements;
        };
        const QStringList before = tableStatements();
        {
            // Tables declared by another tool open as they are, and are searched the same.
            RecordSource source("immobile", italian);
            QVERIFY(source.setDatabaseName(path).ok());
            QVERIFY(source.setRecordSource(Query::contains("immobile", "proprietario", "ross")).ok());
            QVERIFY(source.refresh().ok());
            QCOMPARE(source.value("proprietario"), QString("Mario Rossi"));
        }
        QCOMPARE(tableStatements(), before);
        // What the index adds beside them is only the program's own.
        QStringList listed = SearchIndex::objectNames();
        listed.sort();
        QCOMPARE(objectsBesideTheSixTables(path), listed);
    }

    void theBuildTellsItsProgressAndCanStop() {
        TestDatabase test;
        test.exec("BEGIN");
        for (int i = 0; i < 5000; ++i)
            test.insert("immobile", {"proprietario"}, {QString("Proprietario %1").arg(i)});
        test.exec("COMMIT");
        std::shared_ptr<Database> db;
        QVERIFY(Database::open(test.path(), db).ok());
        db->searchIndex()->setBackgroundBuild(false);
        QList<qint64> steps;
        QVERIFY(db->searchIndex()
                    ->build([&](qint64 done, qint64 total) {
                        steps << done;
                        return total == 5000 && steps.size() < 1;
                    })
                    .ok());
        QCOMPARE(steps.size(), 1);
        QVERIFY(!db->searchIndex()->isComplete());
        QVERIFY(db->searchIndex()
                    ->build([&](qint64 done, qint64 total) {
                        steps << done;
                        return done <= total;
                    })
                    .ok());
        QVERIFY(db->searchIndex()->isComplete());
        QCOMPARE(steps.last(), 5000);
        QVERIFY(std::is_sorted(steps.begin(), steps.end()));

        // Left to itself, the index is built while the event loop is idle.
        TestDatabase second;
        second.exec("BEGIN");
        for (int i = 0; i < 3000; ++i)
            second.insert("notizie", {"notizia"}, {QString("Notizia %1").arg(i)});
        second.exec("COMMIT");
        std::shared_ptr<Database> idle;
        QVERIFY(Database::open(second.path(), idle).ok());
        QTRY_VERIFY_WITH_TIMEOUT(idle->searchIndex()->isComplete(), 60000);
    }

    void theBackgroundBuildIsNotTakenForAnotherDesksWrites() {
        TestDatabase test;
        test.exec("BEGIN");
        for (int i = 0; i < 40000; ++i)
            test.insert("immobile", {"proprietario"}, {QString("Rossi %1 Mario").arg(i)});
        test.exec("COMMIT");
        std::shared_ptr<Database> db;
        QVERIFY(Database::open(test.path(), db).ok());
        QVERIFY(db->columns()->makeNow("immobile", "proprietario").ok());
        ChangeWatch watch(db->connection(), db->ledger());
        QVERIFY(watch.othersWrote());
        const auto dataVersion = [&] {
            QSqlQuery query(db->connection());
            return query.exec("PRAGMA data_version") && query.next() ? query.value(0).toLongLong() : -1;
        };
        const qint64 before = dataVersion();

        // The builder's commits, on its own connection, leave the column and the rows read as they are.
        QTRY_VERIFY_WITH_TIMEOUT(covered(*db) > 0, 60000);
        QVERIFY(db->searchIndex()->isBuilding());
        QVERIFY(dataVersion() != before);
        QVERIFY(db->columns()->column("immobile", "proprietario"));
        QVERIFY(!watch.othersWrote());

        // Another desk writing between two of the builder's commits is seen all the same.
        test.exec("UPDATE immobile SET proprietario = 'Bianchi' WHERE rowid = 7");
        QTRY_VERIFY_WITH_TIMEOUT(db->searchIndex()->isComplete(), 120000);
        QVERIFY(!db->columns()->column("immobile", "proprietario"));
        QVERIFY(watch.othersWrote());
        QVERIFY(db->columns()->makeNow("immobile", "proprietario").ok());
        for (const QString needle : {"bianc", "i", "ssi 7 m"}) {
            KeySearch search(*db, "immobile", "proprietario", "*" + needle + "*", KeySearch::Direction::Forward,
                             std::nullopt, 1 << 30);
            QVERIFY(search.run(std::chrono::nanoseconds(-1)).ok());
            QCOMPARE(search.keys(),
                     plainScan(*db, "*" + needle + "*", KeySearch::Direction::Forward, std::nullopt, 1 << 30));
        }
    }

    void theBackgroundBuildGivesWayAndStopsCleanly() {
        TestDatabase test;
        test.exec("BEGIN");
        for (int i = 0; i < 40000; ++i)
            test.insert("notizie", {"notizia"}, {QString("Vendesi trilocale %1").arg(i)});
        test.exec("COMMIT");
        // Another program holds the write lock: the builder waits, the window reads on.
        std::shared_ptr<Database> db;
        QVERIFY(Database::open(test.path(), db).ok());
        test.exec("BEGIN IMMEDIATE");
        QTest::qWait(600);
        QVERIFY(db->searchIndex()->isBuilding());
        QVERIFY(db->searchIndex()->coveredUpTo("notizie").value_or(0) <= 0);
        test.exec("COMMIT");

        // The program's own writes during the build do not fail for the builder's lock.
        QTRY_VERIFY_WITH_TIMEOUT(db->searchIndex()->coveredUpTo("notizie").value_or(0) > 0, 60000);
        QSqlQuery own(db->connection());
        for (int i = 0; i < 40; ++i) {
            QVERIFY2(own.exec(QString("UPDATE notizie SET notizia = 'Affittasi %1' WHERE rowid = %1").arg(i * 97 + 1)),
                     qPrintable(own.lastError().text()));
            QTest::qWait(5);
        }

        // Closed in the middle of the build: the step under way is rolled back, the file stays whole,
        // and the next open goes on from where it was.
        const qint64 reached = db->searchIndex()->coveredUpTo("notizie").value_or(0);
        QElapsedTimer closing;
        closing.start();
        db.reset();
        QVERIFY(closing.elapsed() < 2000);
        QVERIFY(DatabaseFile::check(test.path()).ok());
        QVERIFY(Database::open(test.path(), db).ok());
        QVERIFY(db->searchIndex()->coveredUpTo("notizie").value_or(0) >= reached);
        QTRY_VERIFY_WITH_TIMEOUT(db->searchIndex()->isComplete(), 120000);
        // Every row once, as it is now: the rows written before the build reached them and after.
        QSqlQuery check(db->connection());
        QVERIFY2(check.exec("INSERT INTO velmora_ricerca_notizie_notizia(velmora_ricerca_notizie_notizia) "
                            "VALUES ('integrity-check')"),
                 qPrintable(check.lastError().text()));
        check.prepare("SELECT count(*) FROM velmora_ricerca_notizie_notizia WHERE velmora_ricerca_notizie_notizia MATCH ?");
        check.addBindValue(SearchIndex::matchText("Affittasi"));
        QVERIFY2(check.exec(), qPrintable(check.lastError().text()));
        QVERIFY(check.next());
        QCOMPARE(check.value(0).toInt(), 40);
    }

    void aSearchUnderWayIsSupersededByTheNext() {
        TestDatabase test;
        test.exec("BEGIN");
        for (int i = 0; i < 4000; ++i)
            test.insert("immobile", {"proprietario"}, {QString("Proprietario %1").arg(i)});
        test.exec("COMMIT");
        RecordSource source("immobile", italian);
        QVERIFY(source.setDatabaseName(test.path()).ok());
        QVERIFY(source.refresh().ok());
        // Every search takes more than its slice.
        source.setSearchSlices(std::chrono::nanoseconds(0), std::chrono::nanoseconds(0));
        QSignalSpy resets(&source, &RecordSource::reset);

        QVERIFY(source.setRecordSource(Query::contains("immobile", "proprietario", "q")).ok());
        QVERIFY(source.refresh().ok());
        QVERIFY(source.isSearching());
        QCOMPARE(source.value("proprietario"), QString("Proprietario 0")); // the rows shown stay until it ends
        QVERIFY(!source.canFetchMore());

        QVERIFY(source.setRecordSource(Query::contains("immobile", "proprietario", "o 3999")).ok());
        QVERIFY(source.refresh().ok());
        QTRY_VERIFY_WITH_TIMEOUT(!source.isSearching(), 60000);
        QCOMPARE(resets.count(), 1); // the first search never showed its rows
        QCOMPARE(source.rowCount(), 1);
        QCOMPARE(source.value("proprietario"), QString("Proprietario 3999"));

        // A move waits for the search; typing into the record gives it up.
        QVERIFY(source.setRecordSource(Query::contains("immobile", "proprietario", "9")).ok());
        QVERIFY(source.refresh().ok());
        QVERIFY(source.moveNext().ok());
        QVERIFY(!source.isSearching());
        QCOMPARE(source.value("proprietario"), QString("Proprietario 19"));
        // (two characters in a field whose column is not in memory: the table is read)
        QVERIFY(source.setRecordSource(Query::contains("immobile", "telefono", "xq")).ok());
        QVERIFY(source.refresh().ok());
        QVERIFY(source.isSearching());
        QVERIFY(source.setFieldValue("proprietario", "Corretto").ok());
        QVERIFY(!source.isSearching());
        QCOMPARE(source.recordSource().text(), Query::contains("immobile", "proprietario", "9").text());
        QVERIFY(source.update().ok());
        QCOMPARE(test.value("immobile", 20, "proprietario").toString(), QString("Corretto"));
    }
};

QTEST_MAIN(SearchTest)
#include "tst_search.moc"
