#include "Backup.h"
#include "DatabaseFile.h"
#include "FakeClock.h"
#include "FakePrinting.h"
#include "FileSizeLimit.h"
#include "RecordSource.h"
#include "ScriptedDialogs.h"
#include "TestContext.h"
#include "TestDatabase.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include "Database.h"
#include <QTest>

namespace {

const QString warning = QStringLiteral("Addicurarsi di non aver il database aperto. Chiudere tutte le finestre del programma.");
const QString restored = QStringLiteral("BACKUP RECUPERATO. Premere OK per chiudere il programma e quindi rilanciarlo");

struct Office : TestOffice {
    Office() : TestOffice(QDateTime(QDate(2026, 12, 6), QTime(9, 30, 15))) {}
    QString backupFile() const { return db.folder().file("backup_06-12-2026.bak"); }
};

int rows(const QString& path, const QString& table) {
    std::shared_ptr<Database> db;
    RecordSource source(table, Regional(QLocale(QLocale::Italian, QLocale::Italy)));
    if (!source.setDatabaseName(path) || !source.refresh())
        return -1;
    int count = 0;
    for (Result r = source.moveFirst(); source.hasCurrent(); r = source.moveNext())
        ++count;
    return count;
}

} // namespace

class BackupTest : public QObject {
    Q_OBJECT

private slots:
    void aBackupIsADayFileHoldingEveryWrite() {
        Office office;
        QCOMPARE(Backup::fileFor(office.context, QDate(2026, 12, 6)), office.backupFile());

        // A window holds the database open and has just written.
        RecordSource open("immobile", office.regional);
        QVERIFY(open.setDatabaseName(office.db.path()).ok());
        QVERIFY(open.addNew().ok());
        QVERIFY(open.setFieldValue("proprietario", "Rossi").ok());
        QVERIFY(open.update().ok());

        Backup::create(office.context);
        QCOMPARE(office.dialogs.messages, (QStringList{warning, "Backup creato. Il file di backup è:" + office.backupFile()}));
        QVERIFY(DatabaseFile::check(office.backupFile()).ok());
        QCOMPARE(rows(office.backupFile(), "immobile"), 1);

        // A second backup on the same day replaces the first.
        office.db.insert("immobile", {"proprietario"}, {"Verdi"});
        Backup::create(office.context);
        QCOMPARE(rows(office.backupFile(), "immobile"), 2);
        QCOMPARE(QDir(office.db.folder().path()).entryList({"backup_*"}).size(), 1);
    }

    void aFailedBackupSaysWhyAndMakesNoFile_data() {
        QTest::addColumn<QByteArray>("databaseIni");
        QTest::addColumn<QString>("says");
        QTest::newRow("no daba.ini") << QByteArray() << "daba.ini";
        QTest::newRow("missing database") << QByteArray("/non/esiste/daba.mdb\r\n") << "non esiste";
        QTest::newRow("not a database") << QByteArray("@testo") << "non è un database valido";
    }

    void aFailedBackupSaysWhyAndMakesNoFile() {
        QFETCH(QByteArray, databaseIni);
        QFETCH(QString, says);
        Office office;
        QFile::remove(office.db.folder().file("daba.ini"));
        if (databaseIni == "@testo")
            office.db.folder().write("daba.ini", office.db.folder().write("testo.mdb", QByteArray(4096, 'x')).toUtf8() + "\r\n");
        else if (!databaseIni.isEmpty())
            office.db.folder().write("daba.ini", databaseIni);
        Backup::create(office.context);
        QCOMPARE(office.dialogs.messages.size(), 2);
        QVERIFY2(office.dialogs.messages[1].startsWith("Backup non creato") && office.dialogs.messages[1].contains(says),
                 qPrintable(office.dialogs.messages[1]));
        QVERIFY(!QFile::exists(office.backupFile()));
    }

    void aFullDiskKeepsTheEarlierBackup() {
        Office office;
        Backup::create(office.context);
        const QByteArray earlier = office.db.folder().read("backup_06-12-2026.bak");
        office.db.exec("BEGIN");
        for (int i = 0; i < 2000; ++i)
            office.db.insert("immobile", {"noteimmobile"}, {QString(200, QLatin1Char('n'))});
        office.db.exec("COMMIT");
        office.dialogs.messages.clear();
        {
            const FileSizeLimit diskFull(64 * 1024);
            Backup::create(office.context);
        }
        QVERIFY(office.dialogs.messages[1].startsWith("Backup non creato"));
        QCOMPARE(office.db.folder().read("backup_06-12-2026.bak"), earlier);
        QCOMPARE(QDir(office.db.folder().path()).entryList({"backup_*"}).size(), 1);  // no temporary left
    }

    void restoringPutsTheBackupInPlaceAndKeepsTheOldDatabase() {
        Office office;
        office.db.insert("immobile", {"proprietario"}, {"Salvato"});
        Backup::create(office.context);
        office.db.insert("immobile", {"proprietario"}, {"Dopo il backup"});

        office.dialogs.messages.clear();
        office.dialogs.answers.enqueue(office.backupFile());
        QVERIFY(Backup::restore(office.context));
        QCOMPARE(office.dialogs.lastFilter, QStringLiteral("Backup (.bak)|*.bak"));
        QCOMPARE(office.dialogs.lastFolder, office.db.folder().path());
        QCOMPARE(office.dialogs.messages, QStringList{restored});
        QCOMPARE(office.db.count("immobile"), 1);
        const QString kept = office.db.folder().file("daba-prima-del-ripristino-2026-12-06-093015.mdb");
        QCOMPARE(rows(kept, "immobile"), 2);
        QVERIFY(!QFile::exists(office.db.path() + "-journal"));
    }

    void theRestoreWritesTheDatabaseThatDabaIniNames() {
        Office office;
        Backup::create(office.context);
        QDir().mkpath(office.db.folder().file("dati"));
        const QString elsewhere = office.db.folder().file("dati/archivio.sqlite");
        QVERIFY(QFile::rename(office.db.path(), elsewhere));
        office.db.folder().write("daba.ini", elsewhere.toUtf8() + "\r\n");
        office.dialogs.answers.enqueue(office.backupFile());
        QVERIFY(Backup::restore(office.context));
        QVERIFY(!QFile::exists(office.db.path()));  // no stray daba.mdb in the program folder
        QVERIFY(QFile::exists(office.db.folder().file("dati/archivio-prima-del-ripristino-2026-12-06-093015.sqlite")));
    }

    void unusableBackupsAreRefusedAndNothingChanges_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a text file") << "testo";
        QTest::newRow("a corrupt database") << "corrotto";
        QTest::newRow("a database missing a table") << "incompleto";
    }

    void unusableBackupsAreRefusedAndNothingChanges() {
        QFETCH(QString, kind);
        Office office;
        office.db.insert("immobile", {"proprietario"}, {"Intatto"});
        QString chosen = office.db.folder().file("scelto.bak");
        if (kind == "testo") {
            office.db.folder().write("scelto.bak", "solo testo\n");
        } else {
            QVERIFY(DatabaseFile::copy(office.db.path(), chosen).ok());
            if (kind == "incompleto") {
                TestFolder other;
                QVERIFY(Database::create(other.file("x.mdb")).ok());
                QSqlDatabase side = QSqlDatabase::addDatabase("QSQLITE", "incompleto");
                side.setDatabaseName(chosen);
                side.open();
                side.exec("DROP TABLE agenda");
                side.close();
                side = QSqlDatabase();
                QSqlDatabase::removeDatabase("incompleto");
            } else {
                QFile file(chosen);
                QVERIFY(file.open(QIODevice::ReadWrite));
                file.seek(4096);  // the header of the second page: the file opens, but is damaged
                file.write(QByteArray(16, '\xff'));
            }
        }
        const QByteArray live = office.db.folder().read("daba.mdb");
        office.dialogs.answers.enqueue(chosen);
        QVERIFY(!Backup::restore(office.context));
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY2(office.dialogs.messages[0].contains("scelto.bak"), qPrintable(office.dialogs.messages[0]));
        QCOMPARE(office.db.folder().read("daba.mdb"), live);
        QCOMPARE(QDir(office.db.folder().path()).entryList({"*prima-del-ripristino*"}).size(), 0);
    }

    void cancellingTheRestoreDoesNothing() {
        Office office;
        QVERIFY(!Backup::restore(office.context));
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    // A large database shows its progress and may be stopped half-way: no backup file, and a
    // restore leaves the live database as it was.
    void stoppingALongBackupOrRestoreLosesNothing() {
        Office office;
        // About 20 MB: a few progress steps.
        office.db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
                       "INSERT INTO immobile (proprietario, noteimmobile) SELECT 'Prop ' || i, hex(randomblob(2000)) FROM n");
        const QString backup = office.backupFile();
        Backup::create(office.context);
        QVERIFY(QFile::exists(backup));
        const int perCopy = office.dialogs.progressSteps;
        QVERIFY2(perCopy >= 3, qPrintable(QString::number(perCopy)));
        QCOMPARE(office.dialogs.progressLabels, QStringList{"Backup in corso… (annullabile)"});

        // Stopped: the day's earlier backup stays, no temporary file is left.
        const QByteArray earlier = office.db.folder().read("backup_06-12-2026.bak");
        office.db.insert("immobile", {"proprietario"}, {"Dopo il backup"});
        office.dialogs.messages.clear();
        office.dialogs.progressSteps = 0;
        office.dialogs.stopProgressAfter = 2;
        Backup::create(office.context);
        QCOMPARE(office.dialogs.messages, (QStringList{warning, "Backup annullato: non è stato scritto alcun file."}));
        QCOMPARE(office.db.folder().read("backup_06-12-2026.bak"), earlier);
        QCOMPARE(QDir(office.db.folder().path()).entryList({"backup_*"}), QStringList{"backup_06-12-2026.bak"});

        // A restore stopped while keeping the old database, or while writing over it.
        for (const int stopAfter : {1, perCopy + 1}) {
            const QByteArray live = office.db.folder().read("daba.mdb");
            office.dialogs.messages.clear();
            office.dialogs.progressSteps = 0;
            office.dialogs.stopProgressAfter = stopAfter;
            office.dialogs.answers.enqueue(backup);
            QVERIFY(!Backup::restore(office.context));
            QCOMPARE(office.dialogs.messages, QStringList{"Ripristino annullato: il database non è stato toccato."});
            QCOMPARE(office.db.folder().read("daba.mdb"), live);
            QCOMPARE(office.db.count("immobile"), 5001);
            QCOMPARE(QDir(office.db.folder().path()).entryList({"*prima-del-ripristino*"}), QStringList());
            QVERIFY(!QFile::exists(office.db.path() + "-journal"));
        }
    }
};

QTEST_MAIN(BackupTest)
#include "tst_backup.moc"
