#include "SampleData.h"
#include "TestFolder.h"

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

class SampleTest : public QObject {
    Q_OBJECT

private slots:
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
};

QTEST_MAIN(SampleTest)
#include "tst_sample.moc"
