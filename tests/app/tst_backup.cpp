#include "FakeClock.h"
#include "FakePrinting.h"
#include "FileSizeLimit.h"
#include "HostileFiles.h"
#include "ScriptedDialogs.h"
#include "TestContext.h"
#include "TestDatabase.h"
#include "app/Backup.h"
#include "app/SessionDialogs.h"
#include "app/Startup.h"
#include "data/sqlite/DatabaseFile.h"
#include "data/store/Database.h"
#include "data/store/RecordSource.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <tuple>

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

    // An office that comes back from an old backup may have the old program's report
    // files beside its database: they are set aside (never deleted) and said once.
    void aRestoreSetsForeignReportFilesAside() {
        Office office;
        Backup::create(office.context);
        const QByteArray ole = QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, '\0');
        office.db.folder().write("agenda.rpt", ole);
        office.dialogs.messages.clear();
        office.dialogs.answers.enqueue(office.backupFile());
        QVERIFY(Backup::restore(office.context));
        QCOMPARE(office.dialogs.messages,
                 (QStringList{"I report di un altro programma sono stati messi da parte e sostituiti da quelli di "
                              "VELMORA: agenda.rpt (ora agenda.rpt.originale).",
                              restored}));
        QCOMPARE(office.db.folder().read("agenda.rpt.originale"), ole);
        QVERIFY(office.db.folder().read("agenda.rpt").startsWith('{'));
    }

    // A restore that fails (the disk fills up) leaves the database as it was, says so, and
    // leaves no copy of it behind unannounced.
    void aFailedRestoreSaysTheDatabaseIsUntouchedAndKeepsNoCopy() {
        Office office;
        office.db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                       "INSERT INTO immobile (noteimmobile) SELECT hex(randomblob(100)) FROM n");
        Backup::create(office.context);
        office.db.exec("DELETE FROM immobile");
        office.db.exec("VACUUM");
        const QByteArray live = office.db.folder().read("daba.mdb");
        office.dialogs.messages.clear();
        office.dialogs.answers.enqueue(office.backupFile());
        {
            // Room for the copy of the small live file, not for the large backup.
            const FileSizeLimit diskFull(live.size() + 8192);
            QVERIFY(!Backup::restore(office.context));
        }
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY2(office.dialogs.messages[0].startsWith("Ripristino non eseguito.") &&
                     office.dialogs.messages[0].endsWith(" Il database non è stato toccato."),
                 qPrintable(office.dialogs.messages[0]));
        QCOMPARE(office.db.folder().read("daba.mdb"), live);
        QCOMPARE(QDir(office.db.folder().path()).entryList({"*prima-del-ripristino*"}), QStringList());
    }

    // A backup in WAL mode (another tool's copy) is read as it is: nothing is left beside it.
    void aBackupInWalModeLeavesNothingBesideIt() {
        Office office;
        office.db.insert("immobile", {"proprietario"}, {"Nel backup"});
        const QString chosen = office.db.folder().file("wal.bak");
        QVERIFY(DatabaseFile::copy(office.db.path(), chosen).ok());
        {
            QSqlDatabase side = QSqlDatabase::addDatabase("QSQLITE", "wal");
            side.setDatabaseName(chosen);
            QVERIFY(side.open());
            QSqlQuery wal(side);
            QVERIFY(wal.exec("PRAGMA journal_mode = WAL") && wal.next());
            QCOMPARE(wal.value(0).toString(), QStringLiteral("wal"));
        }
        QSqlDatabase::removeDatabase("wal");
        QVERIFY(!QFile::exists(chosen + "-wal") && !QFile::exists(chosen + "-shm"));
        office.dialogs.answers.enqueue(chosen);
        QVERIFY(Backup::restore(office.context));
        QCOMPARE(rows(office.db.path(), "immobile"), 1);
        QVERIFY(!QFile::exists(chosen + "-wal"));
        QVERIFY(!QFile::exists(chosen + "-shm"));
    }

    // A database the program refuses to open could never come back from its backup.
    void noBackupOfADatabaseTheProgramRefuses() {
        Office office;
        office.db.exec("DROP TABLE agenda");
        office.dialogs.messages.clear();
        Backup::create(office.context);
        QCOMPARE(office.dialogs.messages,
                 (QStringList{warning, "Backup non creato: il database «" + office.db.path() +
                                           "» non si può usare: manca la tabella «agenda»."}));
        QVERIFY(!QFile::exists(office.backupFile()));
    }

    // The database file deleted or replaced under the running program: a save says so,
    // not that the file is protected against writing, and the typing stays.
    void aDatabaseDeletedOrReplacedUnderTheProgramIsToldSo() {
        for (const bool replaced : {false, true}) {
            Office office;
            office.db.insert("immobile", {"proprietario"}, {"Rossi"});
            RecordSource houses("immobile", office.regional);
            QVERIFY(houses.setDatabaseName(office.db.path()).ok());
            QVERIFY(houses.refresh().ok());
            QVERIFY(houses.setFieldValue("proprietario", "Rossi Maria").ok());
            if (replaced) {
                QVERIFY(DatabaseFile::copy(office.db.path(), office.db.path() + ".nuovo").ok());
                QVERIFY(std::rename(qPrintable(office.db.path() + ".nuovo"), qPrintable(office.db.path())) == 0);
            } else {
                QVERIFY(QFile::remove(office.db.path()));
            }
            const Result written = houses.update();
            QVERIFY(!written.ok());
            QVERIFY2(written.message().contains("è stato cancellato, spostato o sostituito mentre il programma lo usava"),
                     qPrintable(written.message()));
            QVERIFY(houses.hasPendingEdit());
        }
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

    void hostileBackupsAreRefusedAndNothingChanges_data() {
        QTest::addColumn<QString>("kind");
        for (const QString& kind : HostileFiles::kinds())
            QTest::newRow(qPrintable(kind)) << kind;
    }

    void hostileBackupsAreRefusedAndNothingChanges() {
        QFETCH(QString, kind);
        Office office;
        office.db.insert("immobile", {"proprietario"}, {"Intatto"});
        const QString chosen = office.db.folder().file("scelto.bak");
        const QString says = HostileFiles::make(kind, chosen);
        if (says.isEmpty())
            QSKIP("the root user reads an unreadable file all the same");
        const QByteArray backup = HostileFiles::fingerprint(chosen);
        const QByteArray live = office.db.folder().read("daba.mdb");
        const QStringList files =
            QDir(office.db.folder().path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);

        office.dialogs.answers.enqueue(chosen);
        QVERIFY(!Backup::restore(office.context));
        QCOMPARE(office.dialogs.messages.size(), 1);
        const QString message = office.dialogs.messages[0];
        QVERIFY2(message.contains(chosen) && message.contains(QRegularExpression(says)), qPrintable(message));
        QVERIFY2(!message.contains(QRegularExpression("unable|no such|not a |malformed|disk image|denied")),
                 qPrintable(message));
        QCOMPARE(office.db.folder().read("daba.mdb"), live);
        QCOMPARE(HostileFiles::fingerprint(chosen), backup);
        QCOMPARE(QDir(office.db.folder().path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 files);
    }

    void aDamagedDatabaseIsKeptAsItIsAndTheBackupRestored_data() {
        QTest::addColumn<QString>("damage");
        QTest::newRow("header zeroed") << "zeri";
        QTest::newRow("truncated") << "troncato";
        QTest::newRow("overwritten with text") << "testo";
    }

    void aDamagedDatabaseIsKeptAsItIsAndTheBackupRestored() {
        QFETCH(QString, damage);
        Office office;
        office.db.insert("immobile", {"proprietario"}, {"Salvato"});
        Backup::create(office.context);
        office.db.exec("BEGIN");
        for (int i = 0; i < 100; ++i)
            office.db.insert("immobile", {"noteimmobile"}, {QString(300, QLatin1Char('n'))});
        office.db.exec("COMMIT");
        {
            QFile file(office.db.path());
            QVERIFY(file.open(QIODevice::ReadWrite));
            if (damage == "zeri")
                file.write(QByteArray(100, '\0'));
            else if (damage == "troncato")
                QVERIFY(file.resize(file.size() / 3));
            else
                QVERIFY(file.resize(0) && file.write("non più un database\n") > 0);
        }
        const QByteArray damaged = office.db.folder().read("daba.mdb");

        office.dialogs.messages.clear();
        office.dialogs.answers.enqueue(office.backupFile());
        QVERIFY2(Backup::restore(office.context), qPrintable(office.dialogs.messages.join('\n')));
        QCOMPARE(office.dialogs.messages, QStringList{restored});
        QCOMPARE(office.db.folder().read("daba-prima-del-ripristino-2026-12-06-093015.mdb"), damaged);
        QVERIFY(DatabaseFile::check(office.db.path()).ok());
        QCOMPARE(rows(office.db.path(), "immobile"), 1);
        QCOMPARE(QDir(office.db.folder().path()).entryList({"*velmora-*"}), QStringList());
    }

    void staleTemporaryCopiesGoAtTheNextBackupAndAtStart() {
        Office office;
        const TestFolder& folder = office.db.folder();
        const auto leaveStale = [&folder] {
            // What a backup killed halfway leaves: the copy and its journal, in either naming.
            folder.write("backup_05-12-2026.bak.Ab12Cd", QByteArray(8192, 'x'));
            folder.write("backup_05-12-2026.bak.Ab12Cd-journal", QByteArray(512, 'j'));
            folder.write("backup_06-12-2026.bak.velmora-Zz9Yy8", QByteArray(8192, 'x'));
            folder.write("backup_06-12-2026.bak.velmora-Zz9Yy8-journal", QByteArray(512, 'j'));
            folder.write("daba.mdb.velmora-Qq1Ww2", QByteArray(8192, 'x'));
        };
        // The user's own files stay, even when they look alike.
        folder.write("backup_05-12-2026.bak", "mio");
        folder.write("backup_05-12-2026.bak.vecchio", "mio");
        folder.write("appunti.velmora.txt", "mio");
        const QStringList own{"appunti.velmora.txt", "backup_05-12-2026.bak", "backup_05-12-2026.bak.vecchio",
                              "backup_06-12-2026.bak"}; // the last one the backup below makes
        const auto leftovers = [&folder] {
            return QDir(folder.path()).entryList({"backup_*", "*velmora*"}, QDir::Files);
        };

        leaveStale();
        Backup::create(office.context);
        QCOMPARE(leftovers(), own);
        QVERIFY(DatabaseFile::check(office.backupFile()).ok());

        leaveStale();
        QVERIFY(Startup::prepareFolder(office.context).ok());
        QCOMPARE(leftovers(), own);
    }

    void aBackupKilledHalfwayLeavesNothingAfterTheNext() {
        Office office;
        office.db.exec("BEGIN");
        for (int i = 0; i < 20000; ++i)
            office.db.insert("immobile", {"noteimmobile"}, {QString(500, QLatin1Char('n'))});
        office.db.exec("COMMIT");
        const QDir folder(office.db.folder().path());
        const auto temporaries = [&folder] { return folder.entryList({"*.velmora-*"}, QDir::Files); };

        // A child copies the database into the day's backup over and over; it is killed
        // with SIGKILL while a copy is under way.
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VELMORA_COPY_FOR_EVER", office.db.path() + '\n' + office.backupFile());
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(child.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!temporaries().isEmpty(), 20000);
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished());
        QVERIFY(!temporaries().isEmpty()); // what the killed copy left

        Backup::create(office.context);
        QCOMPARE(temporaries(), QStringList());
        QCOMPARE(rows(office.backupFile(), "immobile"), 20000);
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

    // The program's own dialogs (those of the session, over the real ones) show the progress
    // of a long backup and restore and let the user stop it; once the session is ending
    // nobody is there to answer, and the work goes on without one.
    void theSessionShowsTheProgressOfLongWork() {
        Office office;
        office.db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
                       "INSERT INTO immobile (proprietario, noteimmobile) SELECT 'Prop ' || i, hex(randomblob(2000)) FROM n");
        SessionDialogs session(office.dialogs);
        const Context inSession{office.context.programFolder, session, office.clock, office.regional,
                                office.printing};
        Backup::create(inSession);
        QCOMPARE(office.dialogs.progressLabels, QStringList{"Backup in corso… (annullabile)"});
        QVERIFY(office.dialogs.progressSteps >= 3);

        office.dialogs.progressLabels.clear();
        office.dialogs.stopProgressAfter = 1;
        office.dialogs.answers.enqueue(office.backupFile());
        QVERIFY(!Backup::restore(inSession));
        QCOMPARE(office.dialogs.progressLabels, QStringList{"Ripristino in corso… (annullabile)"});
        QCOMPARE(office.dialogs.messages.last(), "Ripristino annullato: il database non è stato toccato.");

        session.setUnattended(true);
        office.dialogs.progressLabels.clear();
        QVERIFY(!session.progress("Backup in corso…", true));
        QVERIFY(office.dialogs.progressLabels.isEmpty());
    }
};

int main(int argc, char* argv[]) {
    // The child of aBackupKilledHalfwayLeavesNothingAfterTheNext: copies until killed.
    if (const QStringList paths = qEnvironmentVariable("VELMORA_COPY_FOR_EVER").split('\n'); paths.size() == 2) {
        for (;;)
            std::ignore = DatabaseFile::copy(paths[0], paths[1]);
    }
    QApplication app(argc, argv);
    BackupTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_backup.moc"
