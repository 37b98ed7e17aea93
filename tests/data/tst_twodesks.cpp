// Two desks on one database: each a record source on a connection of its own, as two
// copies of the program would be; a SQLite file, or a PostgreSQL database when ctest runs
// the test's _postgresql copy. Run with --desk for the child process of the race.

#include "TestDatabase.h"
#include "TestPostgres.h"
#include "data/store/RecordSource.h"
#include "data/store/RowGuard.h"
#include "platform/Regional.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <cstdio>

namespace {

const Regional italian{QLocale(QLocale::Italian, QLocale::Italy)};

// The office's database and two desks on it, both on the first of three properties.
struct Office {
    TestDatabase db;
    QList<qint64> keys;
    RecordSource a{"immobile", italian};
    RecordSource b{"immobile", italian};

    Office() {
        for (int i = 1; i <= 3; ++i)
            keys << db.insert("immobile", {"proprietario", "zona", "mq"},
                              {QStringLiteral("Proprietario %1").arg(i), QStringLiteral("Zona %1").arg(i), i * 10});
        for (RecordSource* desk : {&a, &b}) {
            desk->setFieldCaption("mq", "Mq");
            desk->setFieldCaption("zona", "Zona");
            desk->setFieldCaption("telefono", "Telefono");
            if (!desk->setDatabaseName(db.path(), RecordSource::Connection::Separate).ok() || !desk->refresh().ok())
                qFatal("cannot open a desk");
        }
    }

    QVariant stored(const QString& field, int row = 0) const { return db.value("immobile", keys[row], field); }
};

// The child process of the race: COUNT times, adds one to the first property's mq as a
// user would (move onto it, read, type, save), taking a refusal as a cue to look again.
int raceDesk(const QString& path, int count) {
    RecordSource desk("immobile", italian);
    if (!desk.setDatabaseName(path).ok() || !desk.refresh().ok())
        return 2;
    // Both desks start together, when the test says so.
    std::puts("ready");
    std::fflush(stdout);
    char go[8];
    if (!std::fgets(go, sizeof go, stdin))
        return 5;
    int refused = 0;
    for (int done = 0; done < count;) {
        if (!desk.moveFirst().ok())
            return 3;
        const int mq = desk.value("mq").toInt();
        if (!desk.setFieldValue("mq", QString::number(mq + 1)).ok())
            return 4;
        QThread::usleep(500); // the typing: the other desk may save meanwhile
        if (desk.update().ok()) {
            ++done;
        } else {
            ++refused;
            desk.cancelEdit();
        }
    }
    std::printf("refused %d\n", refused);
    return 0;
}

} // namespace

class TwoDesksTest : public QObject {
    Q_OBJECT

private slots:
    void theSecondSaveOfOneFieldIsRefusedAndKeepsItsTyping_data() {
        QTest::addColumn<bool>("aFirst");
        QTest::newRow("a saves first") << true;
        QTest::newRow("b saves first") << false;
    }

    void theSecondSaveOfOneFieldIsRefusedAndKeepsItsTyping() {
        QFETCH(bool, aFirst);
        Office office;
        RecordSource& first = aFirst ? office.a : office.b;
        RecordSource& second = aFirst ? office.b : office.a;
        QVERIFY(first.setFieldValue("zona", "Centro").ok());
        QVERIFY(second.setFieldValue("zona", "Mare").ok());

        QVERIFY(first.update().ok());
        const Result refused = second.update();
        QVERIFY(!refused.ok());
        QVERIFY2(refused.message().contains("«Zona» ora è «Centro»") && refused.message().contains("Esc"),
                 qPrintable(refused.message()));
        QCOMPARE(office.stored("zona").toString(), QStringLiteral("Centro"));
        // The typing stays; moving away would write it, so it is refused the same way.
        QVERIFY(second.hasPendingEdit());
        QCOMPARE(second.value("zona"), QStringLiteral("Mare"));
        QVERIFY(!second.moveNext().ok());
        QVERIFY(!second.update().ok()); // not seen yet: still refused
        QCOMPARE(office.stored("zona").toString(), QStringLiteral("Centro"));

        // Esc shows what the other desk wrote; typed again, it goes through.
        second.cancelEdit();
        QCOMPARE(second.value("zona"), QStringLiteral("Centro"));
        QVERIFY(second.setFieldValue("zona", "Mare").ok());
        QVERIFY(second.update().ok());
        QCOMPARE(office.stored("zona").toString(), QStringLiteral("Mare"));
        // ... and the first desk, which has not looked since, is refused in its turn.
        QVERIFY(first.setFieldValue("zona", "Collina").ok());
        QVERIFY(!first.update().ok());
    }

    // Different fields of one record are a conflict too: the other desk's value may be
    // what the typing was decided on. Refused once, with the other value now on the
    // card; saving again after that look keeps both changes.
    void editsOfDifferentFieldsAreRefusedOnceThenBothKept() {
        Office office;
        QVERIFY(office.a.setFieldValue("telefono", "0123 456").ok());
        QVERIFY(office.b.setFieldValue("zona", "Mare").ok());
        QVERIFY(office.a.update().ok());

        const Result refused = office.b.update();
        QVERIFY(!refused.ok());
        QVERIFY2(refused.message().contains("«Telefono» ora è «0123 456»") &&
                     refused.message().contains("Salva di nuovo"),
                 qPrintable(refused.message()));
        QCOMPARE(office.b.value("telefono"), QStringLiteral("0123 456"));
        QCOMPARE(office.b.value("zona"), QStringLiteral("Mare"));
        QVERIFY(office.b.update().ok());
        QCOMPARE(office.stored("telefono").toString(), QStringLiteral("0123 456"));
        QCOMPARE(office.stored("zona").toString(), QStringLiteral("Mare"));
    }

    void anEditOfARecordDeletedUnderTheCardIsRefused() {
        Office office;
        QVERIFY(office.b.setFieldValue("zona", "Mare").ok());
        QVERIFY(office.a.remove().ok());

        const Result refused = office.b.update();
        QVERIFY(!refused.ok());
        QVERIFY2(refused.message().contains("eliminato"), qPrintable(refused.message()));
        QCOMPARE(office.db.count("immobile"), 2); // not written back to life
        QCOMPARE(office.b.value("zona"), QStringLiteral("Mare"));
        office.b.cancelEdit();
        QVERIFY(office.b.moveNext().ok());
        QCOMPARE(office.b.value("proprietario"), QStringLiteral("Proprietario 2"));
    }

    void aDeleteUnderAnOpenCard() {
        Office office;
        // Changed meanwhile: refused, and the card shows the change.
        QVERIFY(office.a.setFieldValue("mq", "99").ok());
        QVERIFY(office.a.update().ok());
        const Result refused = office.b.remove();
        QVERIFY(!refused.ok());
        QVERIFY2(refused.message().contains("«Mq» ora è «99»") && refused.message().contains("non è stato eliminato"),
                 qPrintable(refused.message()));
        QCOMPARE(office.db.count("immobile"), 3);
        QCOMPARE(office.b.value("mq"), QStringLiteral("99"));
        // Now seen: the delete goes through.
        QVERIFY(office.b.remove().ok());
        QCOMPARE(office.db.count("immobile"), 2);

        // Deleted meanwhile: gone all the same, from both windows.
        QVERIFY(office.a.moveNext().ok());
        QVERIFY(office.b.moveNext().ok());
        const int rows = office.b.rowCount();
        QVERIFY(office.a.remove().ok());
        QVERIFY(office.b.remove().ok());
        QCOMPARE(office.b.rowCount(), rows - 1);
        QCOMPARE(office.db.count("immobile"), 1);
    }

    // Records deleted by the other desk (or a restore) are never shown as blank cards: the
    // move says so and goes on to the nearest record that is still there.
    void aMoveOntoARecordDeletedMeanwhileGoesOnToTheNextOne() {
        Office office;
        QVERIFY(office.a.moveNext().ok());
        QVERIFY(office.a.remove().ok());
        const Result moved = office.b.moveNext();
        QVERIFY(!moved.ok());
        QVERIFY2(moved.message().contains("non c'è più") && moved.message().contains("quello accanto"),
                 qPrintable(moved.message()));
        QCOMPARE(office.b.value("proprietario"), QStringLiteral("Proprietario 3"));
        QCOMPARE(office.b.rowCount(), 2);
        QVERIFY(office.b.movePrevious().ok());
        QCOMPARE(office.b.value("proprietario"), QStringLiteral("Proprietario 1"));

        // Backwards, past several at once; then none left at all.
        office.db.insert("immobile", {"proprietario"}, {"Proprietario 4"});
        QVERIFY(office.b.moveLast().ok());
        QCOMPARE(office.b.value("proprietario"), QStringLiteral("Proprietario 4"));
        office.db.exec(
            QStringLiteral("DELETE FROM immobile WHERE proprietario IN ('Proprietario 3', 'Proprietario 1')"));
        QVERIFY(!office.b.movePrevious().ok());
        QCOMPARE(office.b.value("proprietario"), QStringLiteral("Proprietario 4"));
        QCOMPARE(office.b.rowCount(), 1);
        office.db.exec("DELETE FROM immobile");
        const Result none = office.b.moveFirst();
        QVERIFY2(!none.ok() && none.message().contains("non ci sono altri record"), qPrintable(none.message()));
        QVERIFY(!office.b.hasCurrent());
        QCOMPARE(office.b.rowCount(), 0);
    }

    void ownSavesInARowAreNoConflict() {
        Office office;
        for (const char* zone : {"Centro", "Mare", "Collina"}) {
            QVERIFY(office.a.setFieldValue("zona", zone).ok());
            QVERIFY(office.a.update().ok());
        }
        QVERIFY(office.a.setFieldValue("mq", "").ok()); // a null compares as itself
        QVERIFY(office.a.update().ok());
        QVERIFY(office.a.setFieldValue("mq", "12,5").ok());
        QVERIFY(office.a.update().ok());
        QVERIFY(office.a.setFieldValue("zona", "Lago").ok());
        QVERIFY(office.a.update().ok());
        QCOMPARE(office.stored("zona").toString(), QStringLiteral("Lago"));
        // Another desk that moved onto the record after those saves edits it freely.
        QVERIFY(office.b.moveFirst().ok());
        QVERIFY(office.b.setFieldValue("telefono", "1").ok());
        QVERIFY(office.b.update().ok());
    }

    // Values are compared exactly: what a looser comparison would let through.
    void anyChangeIsSeen_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("before");
        QTest::addColumn<QVariant>("after");
        QTest::newRow("null to empty") << "noteprop" << QVariant() << QVariant(QString(""));
        QTest::newRow("empty to null") << "noteprop" << QVariant(QString("")) << QVariant();
        QTest::newRow("case only") << "noteprop" << QVariant(QString("rossi")) << QVariant(QString("Rossi"));
        QTest::newRow("accent only") << "noteprop" << QVariant(QString("perche")) << QVariant(QString("perché"));
        QTest::newRow("a trailing blank") << "noteprop" << QVariant(QString("Rossi")) << QVariant(QString("Rossi "));
        QTest::newRow("a tiny fraction") << "mq" << QVariant(100.0) << QVariant(100.000001);
        if (!TestDatabase::onPostgres()) // a number field of the file takes a word too
            QTest::newRow("a number to a word") << "prezzo" << QVariant(10) << QVariant(QString("dieci"));
    }

    void anyChangeIsSeen() {
        QFETCH(QString, field);
        QFETCH(QVariant, before);
        QFETCH(QVariant, after);
        Office office;
        const auto put = [&](const QVariant& value) {
            office.db.exec(QStringLiteral("UPDATE immobile SET %1 = %2 WHERE id = %3")
                               .arg(field,
                                    value.isNull()                         ? QStringLiteral("NULL")
                                    : value.typeId() == QMetaType::QString ? "'" + value.toString() + "'"
                                                                           : QString::number(value.toDouble(), 'g', 17),
                                    QString::number(office.keys[0])));
        };
        put(before);
        QVERIFY(office.b.moveFirst().ok());
        QVERIFY(office.b.setFieldValue("zona", "Mare").ok());
        put(after);
        QVERIFY(!office.b.update().ok());
        office.b.cancelEdit();
        QVERIFY(office.b.setFieldValue("zona", "Mare").ok());
        QVERIFY(office.b.update().ok());
    }

    void theMessageStaysReadableWhateverTheOtherDeskWrote() {
        Office office;
        QVERIFY(office.b.setFieldValue("zona", "Mare").ok());
        const QString hostile = QString("D'Amico *?#[!a] nan\n").repeated(1500); // 30 kB
        office.db.exec(QStringLiteral("UPDATE immobile SET noteprop = '%1' WHERE id = %2")
                           .arg(QString(hostile).replace("'", "''"), QString::number(office.keys[0])));
        const Result refused = office.b.update();
        QVERIFY(!refused.ok());
        QVERIFY2(refused.message().size() < 600 && refused.message().contains("«noteprop» ora è «D'Amico *?#[!a] nan"),
                 qPrintable(refused.message()));
        QCOMPARE(office.b.value("noteprop"), hostile); // shown whole on the card
        QVERIFY(office.b.update().ok());
        QCOMPARE(office.stored("noteprop").toString(), hostile);
    }

    void aMoveShowsWhatTheOtherDeskWrote() {
        Office office;
        QVERIFY(office.b.valueAt(1, "zona") == QStringLiteral("Zona 2")); // read, and kept
        QVERIFY(office.a.moveNext().ok());
        QVERIFY(office.a.setFieldValue("zona", "Centro").ok());
        QVERIFY(office.a.moveLast().ok());
        QVERIFY(office.a.setFieldValue("zona", "Lago").ok());
        QVERIFY(office.a.update().ok());

        QVERIFY(office.b.moveNext().ok());
        QCOMPARE(office.b.value("zona"), QStringLiteral("Centro"));
        QCOMPARE(office.b.valueAt(2, "zona"), QStringLiteral("Lago")); // the grid's other rows too
        QVERIFY(office.b.setFieldValue("zona", "Mare").ok());
        QVERIFY(office.b.update().ok());

        // New records of the other desk lie past the end both desks had read.
        QVERIFY(office.a.addNew().ok());
        QVERIFY(office.a.setFieldValue("zona", "Collina").ok());
        QVERIFY(office.a.update().ok());
        QVERIFY(office.b.moveLast().ok());
        QCOMPARE(office.b.value("zona"), QStringLiteral("Collina"));
        QVERIFY(office.a.addNew().ok());
        QVERIFY(office.a.setFieldValue("zona", "Pianura").ok());
        QVERIFY(office.a.update().ok());
        QVERIFY(office.b.stepNext().ok());
        QCOMPARE(office.b.value("zona"), QStringLiteral("Pianura"));
    }

    // A search runs on between events; the other desk adds a matching property meanwhile.
    void aSearchWhileTheOtherDeskInserts() {
        Office office;
        office.db.exec("BEGIN");
        for (int i = 0; i < 20000; ++i)
            office.db.insert("immobile", {"proprietario"},
                             {i % 5000 == 0 ? QStringLiteral("Rossi %1").arg(i) : QStringLiteral("Bianchi %1").arg(i)});
        office.db.exec("COMMIT");
        office.b.setSearchSlices(std::chrono::nanoseconds(1), std::chrono::microseconds(50));
        QVERIFY(office.b.setRecordSource(Query::contains("immobile", "proprietario", "rossi")).ok());
        QVERIFY(office.b.refresh().ok());
        if (!office.db.isPostgres()) // the server answers a search at once
            QVERIFY(office.b.isSearching());

        QVERIFY(office.a.addNew().ok());
        QVERIFY(office.a.setFieldValue("proprietario", "Rossi nuovo").ok());
        const Result added = office.a.update();
        QVERIFY2(added.ok(), qPrintable(added.message()));
        QTRY_VERIFY_WITH_TIMEOUT(!office.b.isSearching(), 20000);

        const auto check = [&](int atLeast) {
            QVERIFY(office.b.rowCount() >= atLeast);
            for (int row = 0; row < office.b.rowCount(); ++row) {
                QVERIFY(office.b.valueAt(row, "proprietario").startsWith("Rossi"));
                if (row > 0)
                    QVERIFY(office.b.valueAt(row, "id").toLongLong() > office.b.valueAt(row - 1, "id").toLongLong());
            }
        };
        check(4);
        QVERIFY(office.b.refresh().ok());
        QTRY_VERIFY_WITH_TIMEOUT(!office.b.isSearching(), 20000);
        check(5);
        QCOMPARE(office.b.rowCount(), 5);
        QVERIFY(office.b.moveLast().ok());
        QCOMPARE(office.b.value("proprietario"), QStringLiteral("Rossi nuovo"));
    }

    // The server drops both desks' connections (a restart): each goes on at its next step,
    // its typing kept, with no conflict that is not one.
    void desksGoOnAfterTheServerDroppedThem() {
        if (!TestDatabase::onPostgres())
            QSKIP("a file has no connection to lose");
        Office office;
        QVERIFY(office.a.setFieldValue("zona", "Centro").ok());
        office.db.exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'velmora' "
                       "AND datname = current_database() AND pid <> pg_backend_pid()");
        const Result lost = office.a.update();
        QVERIFY2(!lost.ok() && lost.message().contains("connessione"), qPrintable(lost.message()));
        QCOMPARE(office.a.value("zona"), QStringLiteral("Centro"));
        QVERIFY(office.a.update().ok());
        QVERIFY(office.a.setFieldValue("mq", "11").ok()); // the row as read again after the save
        QVERIFY(office.a.update().ok());

        QVERIFY(office.b.moveNext().ok());
        QCOMPARE(office.b.value("zona"), QStringLiteral("Zona 2"));
        QVERIFY(office.b.setFieldValue("zona", "Mare").ok());
        QVERIFY(office.b.update().ok());
        QVERIFY(office.b.movePrevious().ok());
        QCOMPARE(office.b.value("zona"), QStringLiteral("Centro"));
        QCOMPARE(office.stored("zona", 1).toString(), QStringLiteral("Mare"));

        // Dropped again while the server takes no connections: every try says the server is
        // away (never an internal error), and the first one after it is back goes through.
        QSqlQuery name(office.db.connection());
        QVERIFY(name.exec("SELECT current_database()") && name.next());
        const auto admit = [database = name.value(0).toString()](bool yes) {
            TestPostgres::runOnServer(
                QStringLiteral("ALTER DATABASE %1 ALLOW_CONNECTIONS %2").arg(database, yes ? "true" : "false"));
        };
        admit(false);
        office.db.exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'velmora' "
                       "AND datname = current_database() AND pid <> pg_backend_pid()");
        QVERIFY(office.a.setFieldValue("zona", "Bosco").ok());
        for (int attempt = 0; attempt < 2; ++attempt) {
            const Result away = office.a.update();
            QVERIFY2(!away.ok() && away.message().contains("connessione"), qPrintable(away.message()));
        }
        const Result moved = office.b.moveNext();
        QVERIFY2(!moved.ok() && moved.message().contains("connessione"), qPrintable(moved.message()));
        admit(true);
        QVERIFY(office.a.update().ok());
        QCOMPARE(office.stored("zona", 0).toString(), QStringLiteral("Bosco"));
        QVERIFY(office.b.movePrevious().ok());
        QCOMPARE(office.b.value("zona"), QStringLiteral("Bosco"));
    }

    // Two processes add one to the same field, each 200 times, as fast as they can:
    // every refused save is retried after a fresh look, so no increment is lost.
    void noUpdateIsLostInARace() {
        Office office;
        const int each = 200;
        QList<QProcess*> desks;
        for (int i = 0; i < 2; ++i) {
            auto* desk = new QProcess(this);
            desk->start(QCoreApplication::applicationFilePath(), {"--desk", office.db.path(), QString::number(each)});
            desks << desk;
        }
        for (QProcess* desk : desks) {
            QVERIFY(desk->waitForReadyRead(30000));
            QCOMPARE(desk->readLine().trimmed(), QByteArray("ready"));
        }
        for (QProcess* desk : desks) {
            desk->write("go\n");
            QVERIFY(desk->waitForBytesWritten(10000));
        }
        for (QProcess* desk : desks) {
            QVERIFY(desk->waitForFinished(120000));
            QCOMPARE(desk->exitCode(), 0);
            qInfo("%s", desk->readAllStandardOutput().trimmed().constData());
        }
        QCOMPARE(office.stored("mq").toInt(), 10 + 2 * each);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("--desk"))
        return raceDesk(args.at(2), args.at(3).toInt());
    TwoDesksTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_twodesks.moc"
