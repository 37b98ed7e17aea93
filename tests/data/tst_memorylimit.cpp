// Searches under a memory limit: an acceleration held in memory (a text column, a block
// map) that cannot get its memory is dropped, and the search goes on without it, finding
// what the plain scan finds. The limit is this program's own operator new, which, while
// armed, refuses every allocation above a size, as a process under `ulimit -v` refuses the
// first that no longer fits; no million rows are needed to get there.

#include "TestDatabase.h"
#include "data/sqlite/search/ColumnCache.h"
#include "data/store/Database.h"
#include "data/store/RecordSource.h"
#include "platform/Regional.h"

#include <QSqlQuery>
#include <QTest>
#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> refuseAbove{0};

class MemoryLimit {
public:
    explicit MemoryLimit(std::size_t bytes) { refuseAbove = bytes; }
    ~MemoryLimit() { refuseAbove = 0; }
    MemoryLimit(const MemoryLimit&) = delete;
    MemoryLimit& operator=(const MemoryLimit&) = delete;
};

const Regional italian{QLocale(QLocale::Italian, QLocale::Italy)};

} // namespace

void* operator new(std::size_t size) {
    const std::size_t limit = refuseAbove.load(std::memory_order_relaxed);
    if (limit != 0 && size > limit)
        throw std::bad_alloc();
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

class MemoryLimitTest : public QObject {
    Q_OBJECT

private slots:
    void anAccelerationWithoutMemoryIsDroppedAndTheSearchGoesOn_data() {
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("mapKept");
        // The column (a megabyte of text) does not fit, its block map does.
        QTest::newRow("the column") << 512 * 1024 << true;
        QTest::newRow("the column and its map") << 32 * 1024 << false;
    }

    void anAccelerationWithoutMemoryIsDroppedAndTheSearchGoesOn() {
        QFETCH(int, limit);
        QFETCH(bool, mapKept);
        TestDatabase db;
        db.exec("BEGIN");
        db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40000) "
                "INSERT INTO immobile (proprietario) SELECT 'Proprietario ' || i || ' via Roma' FROM n");
        db.exec("COMMIT");
        QList<qint64> expected;
        QSqlQuery plain(db.connection());
        QVERIFY(plain.exec("SELECT rowid FROM immobile WHERE proprietario LIKE '%99%' ORDER BY rowid"));
        while (plain.next())
            expected << plain.value(0).toLongLong();
        QVERIFY(expected.size() > 1000);

        std::shared_ptr<Database> database;
        QVERIFY(Database::open(db.path(), database).ok());
        ColumnCache* columns = database->columns();
        RecordSource source("immobile", italian);
        QVERIFY(source.setDatabaseName(db.path()).ok());
        {
            const MemoryLimit tight(static_cast<std::size_t>(limit));
            const Result made = columns->makeNow("immobile", "proprietario");
            QVERIFY(!made.ok());
            QVERIFY2(made.message().contains("memoria"), qPrintable(made.message()));
            QVERIFY(!columns->column("immobile", "proprietario"));
            QCOMPARE(columns->blocks("immobile", "proprietario") != nullptr, mapKept);

            // Two characters: a piece the trigram index cannot serve.
            QVERIFY(source.setRecordSource(Query::contains("immobile", "proprietario", "99")).ok());
            QVERIFY(source.refresh().ok());
            QTRY_VERIFY_WITH_TIMEOUT(!source.isSearching(), 60000);
            while (source.canFetchMore())
                source.fetchMore();
        }
        QList<qint64> keys;
        for (int row = 0; row < source.rowCount(); ++row)
            keys << source.valueAt(row, "id").toLongLong();
        QCOMPARE(keys, expected);
    }
};

QTEST_MAIN(MemoryLimitTest)
#include "tst_memorylimit.moc"
