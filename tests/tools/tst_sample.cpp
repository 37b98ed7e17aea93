#include "SampleData.h"
#include "TestFolder.h"
#include "TestPostgres.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QUuid>

namespace {

// Every row of every table, as text, to compare two databases.
QStringList dump(const QString& path) {
    const QString name = QUuid::createUuid().toString();
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        db.open();
        QSqlQuery query(db);
        for (const char* table : {"immobile", "richiesta", "visite", "foto", "notizie", "agenda"}) {
            query.exec(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(table));
            while (query.next()) {
                QStringList values;
                for (int c = 0; c < query.record().count(); ++c)
                    values << query.value(c).toString();
                rows << QString::fromLatin1(table) + ':' + values.join('|');
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

int scalar(const QString& path, const QString& sql) {
    const QString name = QUuid::createUuid().toString();
    int value = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        db.open();
        QSqlQuery query(db);
        if (query.exec(sql) && query.next())
            value = query.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(name);
    return value;
}

} // namespace

// Stops the work after a given number of progress reports, as Ctrl+C does.
class StopAfter : public Progress {
public:
    explicit StopAfter(int reports) : m_left(reports) {}
    bool advance(qint64 done, qint64 total) override {
        last = done;
        lastTotal = total;
        return m_left-- > 0;
    }
    qint64 last = -1;
    qint64 lastTotal = -1;

private:
    int m_left;
};

class SampleTest : public QObject {
    Q_OBJECT

private slots:
    // Many rows show their progress; stopped half-way, the database is as it was.
    void stoppingTheFillLeavesTheDatabaseAsItWas() {
        TestFolder folder;
        const QString db = folder.file("daba.mdb");
        SampleSize size;
        size.properties = 20000;
        size.photos = 0;
        QVERIFY(SampleData::fill(db, SampleSize{0, 0, 0, 0, 5, 0}, 1, QDate(2026, 12, 6)).ok());
        const QStringList before = dump(db);

        StopAfter stop(2);
        const Result stopped = SampleData::fill(db, size, 1, QDate(2026, 12, 6), &stop);
        QVERIFY(!stopped.ok());
        QVERIFY(stopped.cancelled());
        QVERIFY2(stopped.message().contains("com'era"), qPrintable(stopped.message()));
        QCOMPARE(stop.last, 3 * 4096);
        QCOMPARE(dump(db), before);

        StopAfter never(1000000);
        QVERIFY(SampleData::fill(db, size, 1, QDate(2026, 12, 6), &never).ok());
        QCOMPARE(never.last, never.lastTotal);
        QCOMPARE(never.lastTotal, 20000 + 100 + 150 + 60 + 80);
        QCOMPARE(scalar(db, "SELECT count(*) FROM immobile"), 20000);
    }

    void theSameSeedGivesTheSameData() {
        TestFolder a, b;
        SampleSize size;
        size.photos = 3;
        const QDate today(2026, 12, 6);
        QVERIFY(SampleData::fill(a.file("daba.mdb"), size, 7, today).ok());
        QVERIFY(SampleData::fill(b.file("daba.mdb"), size, 7, today).ok());

        QStringList first = dump(a.file("daba.mdb")), second = dump(b.file("daba.mdb"));
        first.replaceInStrings(a.path(), "<cartella>");
        second.replaceInStrings(b.path(), "<cartella>");
        QCOMPARE(first.size(), 200 + 100 + 150 + 3 + 60 + 80);
        QCOMPARE(first, second);
        QCOMPARE(a.read("foto/esempio-7-1.jpg"), b.read("foto/esempio-7-1.jpg"));
    }

    void theDataMakesSense() {
        TestFolder folder;
        const QString db = folder.file("daba.mdb");
        QVERIFY(SampleData::fill(db, SampleSize{}, 1, QDate(2026, 12, 6)).ok());
        QCOMPARE(scalar(db, "SELECT count(*) FROM immobile WHERE motivo NOT IN ('vendita','affitto')"), 0);
        QCOMPARE(scalar(db, "SELECT count(*) FROM immobile WHERE mq <= 0 OR prezzo + 0 <= 0"), 0);
        QCOMPARE(scalar(db, "SELECT count(*) FROM visite WHERE idimmobile NOT IN (SELECT id FROM immobile)"), 0);
        QCOMPARE(scalar(db, "SELECT count(*) FROM agenda WHERE datap NOT BETWEEN '2026-11-06' AND '2027-01-05'"), 0);
        QCOMPARE(scalar(db, "SELECT count(*) FROM notizie WHERE data NOT BETWEEN '2026-05-20' AND '2026-12-06'"), 0);
        // The diary's range of days is found on an index, not by reading the table.
        QCOMPARE(scalar(db, "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND tbl_name = 'agenda'"), 1);
        // Some requests fit a property by purpose, type and surface.
        QVERIFY(scalar(db, "SELECT count(*) FROM richiesta r WHERE EXISTS (SELECT 1 FROM immobile i WHERE "
                           "i.motivo = r.motivo AND i.tipologia = r.tipo AND abs(i.mq - r.mq) <= 10)") > 10);
        // Filling again adds to what is there.
        QVERIFY(SampleData::fill(db, SampleSize{}, 2, QDate(2026, 12, 6)).ok());
        QCOMPARE(scalar(db, "SELECT count(*) FROM immobile"), 400);
    }

    // The same data on a server: the same rows as in a file, the photos in the program
    // folder, and a stop leaves the server's database as it was.
    void aServersDatabaseIsFilledLikeAFile() {
        TestFolder file, desk;
        TestPostgres server;
        SampleSize size;
        size.photos = 3;
        const QDate today(2026, 12, 6);
        QVERIFY(SampleData::fill(file.file("daba.mdb"), size, 7, today).ok());
        {
            TestPostgres other;
            StopAfter stop(0);
            QVERIFY(
                SampleData::fill(other.address(), desk.file("foto"), SampleSize{5000, 0, 0, 0, 0, 0}, 7, today, &stop)
                    .cancelled());
            QSqlQuery count("SELECT count(*) FROM immobile", other.connection());
            QVERIFY(count.next());
            QCOMPARE(count.value(0).toInt(), 0);
        }
        const QString photos = SampleData::photoFolder(server.address(), desk.path());
        QCOMPARE(photos, desk.file("foto"));
        QVERIFY(SampleData::fill(server.address(), photos, size, 7, today).ok());

        QStringList rows;
        QSqlQuery query(server.connection());
        for (const char* table : {"immobile", "richiesta", "visite", "foto", "notizie", "agenda"}) {
            const QString key =
                QString::fromLatin1(table) == "visite" || QString::fromLatin1(table) == "foto" ? "rowid" : "id";
            QVERIFY(query.exec(QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(table, key)));
            while (query.next()) {
                QStringList values;
                for (int c = 0; c < query.record().count(); ++c)
                    if (query.record().fieldName(c) != "rowid")
                        values << query.value(c).toString();
                rows << QString::fromLatin1(table) + ':' + values.join('|');
            }
        }
        QStringList expected = dump(file.file("daba.mdb"));
        expected.replaceInStrings(file.path(), "<cartella>");
        rows.replaceInStrings(desk.path(), "<cartella>");
        QCOMPARE(rows, expected);
        QCOMPARE(file.read("foto/esempio-7-2.jpg"), desk.read("foto/esempio-7-2.jpg"));
    }
};

QTEST_MAIN(SampleTest)
#include "tst_sample.moc"
