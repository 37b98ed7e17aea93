// Crash and concurrency: the work runs in a child process that the test kills with
// SIGKILL at random moments, or races with work of its own. Set VELMORA_GAUNTLET_SEED
// to replay a run, VELMORA_GAUNTLET_ROUNDS=100 for the long run.

#include "Backup.h"
#include "DatabaseFile.h"
#include "Regional.h"
#include "TestContext.h"
#include "Worker.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <sqlite3.h>

namespace {

int rounds(int ordinary) {
    const int asked = qEnvironmentVariableIntValue("VELMORA_GAUNTLET_ROUNDS");
    return asked > 0 ? asked : ordinary;
}

QRandomGenerator& killMoments() {
    static QRandomGenerator generator = [] {
        const quint32 seed = qEnvironmentVariableIsSet("VELMORA_GAUNTLET_SEED")
                                 ? static_cast<quint32>(qEnvironmentVariableIntValue("VELMORA_GAUNTLET_SEED"))
                                 : QRandomGenerator::system()->generate();
        qInfo("VELMORA_GAUNTLET_SEED=%u", seed);
        return QRandomGenerator(seed);
    }();
    return generator;
}

// Opens the file for writing as the program would (so a hot journal left by a killed
// writer is rolled back), then answers PRAGMA integrity_check.
QString integrity(const QString& path) {
    sqlite3* db = nullptr;
    QString answer = QStringLiteral("cannot open");
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 10000);
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK) {
            QStringList lines;
            int status;
            while ((status = sqlite3_step(statement)) == SQLITE_ROW)
                lines << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
            answer = status == SQLITE_DONE ? lines.join(QLatin1Char('\n')) : QString::fromUtf8(sqlite3_errmsg(db));
        } else {
            answer = QString::fromUtf8(sqlite3_errmsg(db));
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return answer;
}

// The owners of the properties of a database file, read without the program's layers.
QStringList owners(const QString& path) {
    QStringList result;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 10000);
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT proprietario FROM immobile ORDER BY id", -1, &statement, nullptr) == SQLITE_OK)
            while (sqlite3_step(statement) == SQLITE_ROW)
                result << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return result;
}

QByteArray settingsText(int size, QChar letter, int n) {
    return (QString(size, letter) + QStringLiteral("\r\n") + QString(size / 2, letter) + QStringLiteral("\r\n") +
            QString::number(n) + QStringLiteral("\r\n"))
        .toUtf8();
}

} // namespace

class CrashTest : public QObject {
    Q_OBJECT

private slots:
    void aKilledWriterLosesNoAcknowledgedCommit() {
        TestDatabase db;
        QSet<QString> acknowledged;
        qint64 next = 1;
        const int kills = rounds(20);
        for (int round = 0; round < kills; ++round) {
            Worker writer({QStringLiteral("commit"), db.path(), QString::number(next)});
            QVERIFY2(writer.waitForLine() && writer.readLine() == QLatin1String("pronto"), qPrintable(writer.errors()));
            QThread::usleep(killMoments().bounded(2000, 150000));
            QStringList lines = writer.rest();
            lines << writer.kill();
            for (const QString& line : std::as_const(lines)) {
                acknowledged.insert(QStringLiteral("commit ") + line);
                next = std::max(next, line.toLongLong() + 1);
            }
            ++next;  // a commit cut short may or may not be there: never reuse its number

            QCOMPARE(integrity(db.path()), QStringLiteral("ok"));
            const QStringList found = owners(db.path());
            const QSet<QString> present(found.begin(), found.end());
            for (const QString& commit : std::as_const(acknowledged))
                QVERIFY2(present.contains(commit), qPrintable(QStringLiteral("round %1 lost «%2»").arg(round).arg(commit)));
        }
        qInfo("%lld commits acknowledged over %d kills", static_cast<long long>(acknowledged.size()), kills);
        QVERIFY2(acknowledged.size() >= kills, "the writer committed too little to mean anything");
    }

    void backupsTakenWhileAnotherProcessCommitsAreWhole() {
        TestOffice office;
        Worker writer({QStringLiteral("commit"), office.db.path(), QStringLiteral("1")});
        QVERIFY2(writer.waitForLine() && writer.readLine() == QLatin1String("pronto"), qPrintable(writer.errors()));
        qint64 acknowledged = 0;
        const int backups = rounds(20);
        for (int round = 0; round < backups; ++round) {
            QVERIFY2(writer.waitForLine(), qPrintable(writer.errors()));  // the writer is committing
            for (const QString& line : writer.rest())
                acknowledged = std::max(acknowledged, line.toLongLong());

            office.dialogs.messages.clear();
            Backup::create(office.context);
            const QString backup = Backup::fileFor(office.context, office.clock.today());
            QVERIFY2(office.dialogs.messages.value(1).startsWith(QStringLiteral("Backup creato")),
                     qPrintable(office.dialogs.messages.value(1)));
            QCOMPARE(integrity(backup), QStringLiteral("ok"));
            QVERIFY(DatabaseFile::check(backup).ok());
            // Everything acknowledged before the backup began is in it.
            const QStringList inBackup = owners(backup);
            QVERIFY2(inBackup.contains(QStringLiteral("commit %1").arg(acknowledged)) || acknowledged == 0,
                     qPrintable(QStringLiteral("backup %1 lacks commit %2").arg(round).arg(acknowledged)));
        }
        writer.kill();
        QVERIFY(acknowledged > 0);
    }

    void aKilledRestoreLeavesTheOldDatabaseOrTheNewOne() {
        // Large enough for the copy to take a while, so the kills land inside it.
        TestOffice office;
        const auto fill = [&](const QString& owner, int rows) {
            office.db.exec(QStringLiteral("DELETE FROM immobile"));
            office.db.exec(QStringLiteral("BEGIN"));
            for (int i = 0; i < rows; ++i)
                office.db.insert(QStringLiteral("immobile"), {QStringLiteral("proprietario"), QStringLiteral("noteimmobile")},
                                 {owner, QString(400, QLatin1Char('n'))});
            office.db.exec(QStringLiteral("COMMIT"));
        };
        fill(QStringLiteral("nuovo"), 6000);
        const QString backup = office.db.folder().file(QStringLiteral("scelto.bak"));
        QVERIFY(DatabaseFile::copy(office.db.path(), backup).ok());
        fill(QStringLiteral("vecchio"), 9000);
        const QString old = office.db.folder().file(QStringLiteral("vecchio.copia"));
        QVERIFY(DatabaseFile::copy(office.db.path(), old).ok());

        const auto verdict = [&]() -> QString {
            const QString check = integrity(office.db.path());
            if (check != QLatin1String("ok"))
                return QStringLiteral("integrity_check: ") + check;
            const QStringList present = owners(office.db.path());
            if (present == QStringList(9000, QStringLiteral("vecchio")))
                return QStringLiteral("vecchio");
            if (present == QStringList(6000, QStringLiteral("nuovo")))
                return QStringLiteral("nuovo");
            return QStringLiteral("%1 rows, neither the old database nor the new one").arg(present.size());
        };
        const auto putBackOld = [&] {
            QVERIFY(DatabaseFile::restore(old, office.db.path()).ok());
            QCOMPARE(verdict(), QStringLiteral("vecchio"));
        };

        // A whole restore, to know how long one takes.
        QElapsedTimer timer;
        timer.start();
        {
            Worker whole({QStringLiteral("restore"), office.db.folder().path(), backup});
            QVERIFY(whole.finish(60000));
            QVERIFY2(whole.rest().contains(QStringLiteral("ripristinato")), qPrintable(whole.errors()));
        }
        const int span = static_cast<int>(std::max<qint64>(timer.elapsed(), 20));
        QCOMPARE(verdict(), QStringLiteral("nuovo"));

        QMap<QString, int> outcomes;
        for (int round = 0; round < rounds(20); ++round) {
            putBackOld();
            Worker restorer({QStringLiteral("restore"), office.db.folder().path(), backup});
            QVERIFY(restorer.waitForLine());
            QThread::usleep(killMoments().bounded(0, span * 1000));
            restorer.kill();
            const QString outcome = verdict();
            QVERIFY2(outcome == QLatin1String("vecchio") || outcome == QLatin1String("nuovo"),
                     qPrintable(QStringLiteral("round %1: %2").arg(round).arg(outcome)));
            ++outcomes[outcome];
        }
        qInfo("a restore takes about %d ms; after the kills: %d old, %d new", span, outcomes.value(QStringLiteral("vecchio")),
              outcomes.value(QStringLiteral("nuovo")));
    }

    // SIGTERM while the cards hold entries the database refuses: the program ends all the
    // same, what was typed is kept in a file, and the next start says where.
    void theSystemsEndKeepsWhatTheDatabaseRefused() {
        TestFolder folder;
        {
            Worker worker({QStringLiteral("end"), folder.path()});
            QVERIFY(worker.waitForLine() && worker.readLine() == QLatin1String("pronto"));
            worker.terminate();
            QVERIFY2(worker.finish(10000), "the program goes on after SIGTERM");
            QCOMPARE(worker.exitCode(), 0);
            QCOMPARE(worker.rest(), QStringList{QStringLiteral("finito")}); // no message waited for an answer
            const QString errors = worker.errors();
            QVERIFY2(errors.contains("segnale 15") && errors.contains("dati-non-salvati-"), qPrintable(errors));
        }
        const QStringList kept = QDir(folder.path()).entryList({QStringLiteral("dati-non-salvati-*")}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QVERIFY(kept[0].endsWith(".txt"));
        const QString text = QString::fromUtf8(folder.read(kept[0]));
        for (const char* part : {"Tabella: immobile\nChiave: nuovo record\n", "--- mq ---\nmolti\n",
                                 "--- proprietario ---\nRossi è qui\n", "Tabella: agenda\n",
                                 "--- datap ---\n31/02/2026\n", "--- agente ---\nPaola\n"})
            QVERIFY2(text.contains(QString::fromUtf8(part)), qPrintable(text));
        QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("*.txt*")}, QDir::Files | QDir::Hidden), kept);

        Worker next({QStringLiteral("start"), folder.path()});
        QVERIFY(next.finish(30000));
        const QStringList lines = next.rest();
        const QString told = QStringLiteral("MESSAGGIO Quando il sistema ha chiuso il programma, i dati che il database non "
                                            "ha accettato sono stati salvati in «%1»: ricopiarli nelle schede e poi "
                                            "eliminare il file.")
                                 .arg(folder.file(kept[0]));
        QVERIFY2(lines.contains(told), qPrintable(lines.join('\n')));
    }

    void aKilledSettingsSaveLeavesTheOldFileOrTheNewOne() {
        TestFolder folder;
        const QString file = folder.file(QStringLiteral("dati.ini"));
        constexpr int size = 400000;
        const QByteArray a = settingsText(size, QLatin1Char('a'), 0);
        const QByteArray b = settingsText(size, QLatin1Char('b'), 1);
        folder.write(QStringLiteral("dati.ini"), a);
        int saves = 0;
        for (int round = 0; round < rounds(20); ++round) {
            Worker saver({QStringLiteral("settings"), file, QString::number(size)});
            QVERIFY(saver.waitForLine() && saver.readLine() == QLatin1String("pronto"));
            QThread::usleep(killMoments().bounded(0, 100000));
            saves += static_cast<int>(saver.kill().size());
            const QByteArray now = folder.read(QStringLiteral("dati.ini"));
            QVERIFY2(now == a || now == b, qPrintable(QStringLiteral("round %1: %2 bytes, neither version").arg(round).arg(now.size())));
        }
        qInfo("%d saves finished between the kills", saves);
        QVERIFY2(saves > 0, "no save finished before a kill: the test proves nothing");
    }
};

QTEST_GUILESS_MAIN(CrashTest)
#include "tst_crash.moc"
