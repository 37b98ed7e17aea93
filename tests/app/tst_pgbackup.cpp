#include "HostileFiles.h"
#include "ScriptedDialogs.h"
#include "TestContext.h"
#include "TestPostgres.h"
#include "app/Backup.h"
#include "data/postgres/PostgresArchive.h"
#include "data/postgres/PostgresSchema.h"
#include "data/sqlite/DatabaseFile.h"
#include "data/store/RecordSource.h"
#include "platform/Progress.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QUuid>

namespace {

const QString warning =
    QStringLiteral("Addicurarsi di non aver il database aperto. Chiudere tutte le finestre del programma.");
const QString restoredText =
    QStringLiteral("BACKUP RECUPERATO. Premere OK per chiudere il programma e quindi rilanciarlo");
const QStringList tables{"immobile", "richiesta", "visite", "foto", "notizie", "agenda"};

void run(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery query(db);
    if (!query.exec(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
}

// The office's six tables, as the program makes them on the server, with the quick
// searches' trigram indexes.
void makeTables(QSqlDatabase db) {
    const Result made = PostgresSchema::prepare(db);
    QVERIFY2(made.ok(), qPrintable(made.message()));
}

void addProperty(const QSqlDatabase& db, const QString& owner) {
    QSqlQuery query(db);
    query.prepare("INSERT INTO immobile (proprietario, mq) VALUES (?, 80.5)");
    query.addBindValue(owner);
    QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
}

// Every row of every table, as text, in key order.
QStringList contents(const QSqlDatabase& db) {
    QStringList rows;
    for (const QString& table : tables) {
        QSqlQuery query(db);
        const QString order = PostgresSchema::keyColumn(table);
        if (!query.exec("SELECT * FROM " + table + " ORDER BY " + order))
            return {"missing " + table};
        while (query.next()) {
            QStringList values;
            for (int c = 0; c < query.record().count(); ++c)
                values << (query.isNull(c) ? "NULL" : query.value(c).toString());
            rows << table + ':' + values.join('|');
        }
    }
    return rows;
}

DatabaseLocation DatabaseLocationOf(const QString& address) {
    DatabaseLocation location;
    [&] { QVERIFY(DatabaseLocation::parse(address, location).ok()); }();
    return location;
}

// Another desk's connection to the same database.
struct Desk {
    QString name = QUuid::createUuid().toString();
    explicit Desk(const QString& address) {
        const DatabaseLocation location = DatabaseLocationOf(address);
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", name);
        db.setHostName(location.host());
        db.setPort(location.port());
        db.setUserName(location.user());
        db.setDatabaseName(location.databaseName());
        [&] { QVERIFY2(db.open(), qPrintable(db.lastError().text())); }();
    }
    ~Desk() {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    QSqlDatabase connection() const { return QSqlDatabase::database(name, false); }
};

// A program folder whose daba.ini names a database on the tests' server, with rows in it.
struct PgOffice : TestOffice {
    TestPostgres server;
    PostgresTools tools = PostgresTools::installed();

    PgOffice() : TestOffice(QDateTime(QDate(2026, 12, 6), QTime(9, 30, 15))) {
        db.folder().write("daba.ini", server.address().toUtf8() + "\r\n");
        makeTables(server.connection());
        for (const char* owner : {"Rossi", "D'Amico", "Ñuñez «è»", "100% * ? # [a]"})
            addProperty(server.connection(), owner);
        run(server.connection(), "DELETE FROM immobile WHERE id = 4"); // the highest key, gone for good
        run(server.connection(), "INSERT INTO visite (idimmobile, nome, data) VALUES (1, 'Bianchi', '06/12/2026')");
        run(server.connection(), "INSERT INTO foto (idimmobile, foto) VALUES (2, 'C:\\foto\\a1b2.jpg')");
        run(server.connection(),
            "INSERT INTO agenda (datap, ora, appuntamento) VALUES ('2026-12-06', '09:30', 'Rogito')");
    }
    QString backupFile() const { return db.folder().file("backup_06-12-2026.bak"); }
    QString keptFile() const {
        return db.folder().file(server.databaseName() + "-prima-del-ripristino-2026-12-06-093015.bak");
    }
    QStringList kept() const { return QDir(db.folder().path()).entryList({"*prima-del-ripristino*"}); }
};

// A folder holding stand-ins for PostgreSQL's programs.
struct FakeTools {
    TestFolder folder;
    PostgresTools tools{QStringList{folder.path()}};
    void add(const QString& program, const QByteArray& script) {
        QFile::setPermissions(folder.write(program, "#!/bin/sh\n" + script), QFile::ReadOwner | QFile::ExeOwner);
    }
};

} // namespace

class PgBackupTest : public QObject {
    Q_OBJECT

private slots:
    // A backup made with pg_dump, then a restore onto changed data: the data is the backup's
    // again, keys included, and the data it replaced is kept in a backup that restores too.
    void aBackupRestoresAndTheReplacedDataIsKept() {
        PgOffice office;
        const QStringList saved = contents(office.server.connection());
        // The program's own register is open on the database throughout.
        RecordSource open("immobile", office.regional);
        QVERIFY(open.setDatabaseName(office.server.address()).ok());
        QVERIFY(open.moveLast().ok());
        Backup::create(office.context, office.tools);
        QCOMPARE(office.dialogs.messages,
                 (QStringList{warning, "Backup creato. Il file di backup è:" + office.backupFile()}));
        QCOMPARE(office.dialogs.progressLabels, QStringList{"Backup in corso… (annullabile)"});
        QVERIFY(PostgresArchive::looksLikeArchive(office.backupFile()));
        QVERIFY(PostgresArchive::check(office.backupFile(), office.tools).ok());

        addProperty(office.server.connection(), "Dopo il backup");
        run(office.server.connection(), "UPDATE immobile SET proprietario = 'Cambiato' WHERE id = 1");
        run(office.server.connection(), "DELETE FROM visite");
        const QStringList changed = contents(office.server.connection());

        office.dialogs.messages.clear();
        office.dialogs.answers.enqueue(office.backupFile());
        QVERIFY(Backup::restore(office.context, office.tools));
        QCOMPARE(office.dialogs.lastFilter, QStringLiteral("Backup (.bak)|*.bak"));
        QCOMPARE(office.dialogs.messages,
                 QStringList{restoredText +
                             "\n\nI dati che c'erano prima sono conservati nel file di backup:" + office.keptFile()});
        QCOMPARE(contents(office.server.connection()), saved);
        // The key of the property deleted before the backup is not given again.
        addProperty(office.server.connection(), "Nuovo");
        QSqlQuery key(office.server.connection());
        QVERIFY(key.exec("SELECT max(id) FROM immobile") && key.next());
        QCOMPARE(key.value(0).toInt(), 5);

        // The kept data is itself a backup: restored, it gives the data of before.
        office.dialogs.messages.clear();
        office.dialogs.answers.enqueue(office.keptFile());
        office.clock.set(QDateTime(QDate(2026, 12, 6), QTime(10, 0)));
        QVERIFY(Backup::restore(office.context, office.tools));
        QCOMPARE(contents(office.server.connection()), changed);

        // A desk that starts on a new, empty database restores the office's backup there.
        const TestPostgres empty;
        office.db.folder().write("daba.ini", empty.address().toUtf8() + "\r\n");
        office.dialogs.answers.enqueue(office.backupFile());
        QVERIFY2(Backup::restore(office.context, office.tools), qPrintable(office.dialogs.messages.last()));
        QCOMPARE(contents(empty.connection()), saved);
    }

    // Files that are no backup of a PostgreSQL office are refused before anything is
    // touched, and nothing is left behind.
    void foreignAndDamagedFilesAreRefused_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("a SQLite backup") << "sqlite"
                                         << "SQLite";
        QTest::newRow("a text file") << "testo"
                                     << "non è un backup di un database PostgreSQL";
        QTest::newRow("a damaged archive") << "intestazione"
                                           << "danneggiato";
        QTest::newRow("an archive cut short") << "troncato"
                                              << "danneggiato";
        QTest::newRow("an archive of another database") << "estraneo"
                                                        << "non contiene la tabella «agenda»";
        QTest::newRow("a folder") << "cartella"
                                  << "è una cartella";
    }

    void foreignAndDamagedFilesAreRefused() {
        QFETCH(QString, kind);
        QFETCH(QString, says);
        PgOffice office;
        const QString chosen = office.db.folder().file("scelto.bak");
        if (kind == "sqlite") {
            QVERIFY(DatabaseFile::copy(office.db.path(), chosen).ok());
        } else if (kind == "testo") {
            office.db.folder().write("scelto.bak", "solo testo\n");
        } else if (kind == "intestazione") {
            office.db.folder().write("scelto.bak", "PGDMP e poi nulla\n");
        } else if (kind == "troncato") {
            QVERIFY(PostgresArchive::write(DatabaseLocationOf(office.server.address()), chosen, office.tools).ok());
            QFile file(chosen);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(file.size() * 2 / 3));
        } else if (kind == "estraneo") {
            TestPostgres other;
            makeTables(other.connection());
            run(other.connection(), "DROP TABLE agenda");
            QVERIFY(PostgresArchive::write(DatabaseLocationOf(other.address()), chosen, office.tools).ok());
        } else {
            QVERIFY(QDir().mkpath(chosen));
        }
        const QStringList before = contents(office.server.connection());
        office.dialogs.answers.enqueue(chosen);
        QVERIFY(!Backup::restore(office.context, office.tools));
        QCOMPARE(office.dialogs.messages.size(), 1);
        const QString message = office.dialogs.messages[0];
        QVERIFY2(message.contains(chosen) && message.contains(says) && message.endsWith("non è stato toccato."),
                 qPrintable(message));
        QCOMPARE(contents(office.server.connection()), before);
        QCOMPARE(office.kept(), QStringList());
    }

    // The hostile files every reader of databases meets (a pipe above all, which would keep
    // pg_restore waiting for ever): refused, nothing changed, nothing left behind.
    void hostileFilesAreRefused_data() {
        QTest::addColumn<QString>("kind");
        for (const QString& kind : HostileFiles::kinds())
            QTest::newRow(qPrintable(kind)) << kind;
    }

    void hostileFilesAreRefused() {
        QFETCH(QString, kind);
        PgOffice office;
        const QString chosen = office.db.folder().file("scelto.bak");
        if (HostileFiles::make(kind, chosen).isEmpty())
            QSKIP("the root user reads an unreadable file all the same");
        const QByteArray file = HostileFiles::fingerprint(chosen);
        const QStringList before = contents(office.server.connection());
        office.dialogs.answers.enqueue(chosen);
        QElapsedTimer took;
        took.start();
        QVERIFY(!Backup::restore(office.context, office.tools));
        QVERIFY(took.elapsed() < 30000);
        QCOMPARE(office.dialogs.messages.size(), 1);
        const QString message = office.dialogs.messages[0];
        QVERIFY2(message.contains(chosen) && message.endsWith("Il database non è stato toccato."), qPrintable(message));
        QVERIFY2(!message.contains(QRegularExpression("error|input file|unable|denied|not a ")), qPrintable(message));
        QCOMPARE(HostileFiles::fingerprint(chosen), file);
        QCOMPARE(contents(office.server.connection()), before);
        QCOMPARE(office.kept(), QStringList());
    }

    // And the other way round: an office on a file does not take a server's backup.
    void aFileOfficeRefusesAServerBackup() {
        PgOffice office;
        const QString archive = office.db.folder().file("server.bak");
        QVERIFY(PostgresArchive::write(DatabaseLocationOf(office.server.address()), archive, office.tools).ok());
        office.db.folder().write("daba.ini", office.db.path().toUtf8() + "\r\n");
        const QByteArray live = office.db.folder().read("daba.mdb");
        office.dialogs.answers.enqueue(archive);
        QVERIFY(!Backup::restore(office.context, office.tools));
        QCOMPARE(office.dialogs.messages,
                 QStringList{"Il file «" + archive +
                             "» è il backup di un database PostgreSQL e non si può ripristinare "
                             "nel database in un file (SQLite) di questo ufficio. Il database non è stato toccato."});
        QCOMPARE(office.db.folder().read("daba.mdb"), live);
    }

    void missingProgramsAreToldInOneSentence() {
        PgOffice office;
        const TestFolder empty;
        const PostgresTools none(QStringList{empty.path()});
        Backup::create(office.context, none);
        QCOMPARE(
            office.dialogs.messages,
            (QStringList{warning, "Backup non creato: su questo computer manca il programma pg_dump di PostgreSQL, "
                                  "che si installa con il pacchetto postgresql-client."}));
        QVERIFY(!QFile::exists(office.backupFile()));

        office.dialogs.messages.clear();
        office.dialogs.answers.enqueue(office.db.folder().write("vecchio.bak", "PGDMP"));
        QVERIFY(!Backup::restore(office.context, none));
        QCOMPARE(office.dialogs.messages,
                 QStringList{"Ripristino non eseguito: su questo computer mancano i programmi pg_restore e pg_dump di "
                             "PostgreSQL, che si installa con il pacchetto postgresql-client."});
    }

    // A restore that cannot finish (another desk holds a table; the time runs out) or that
    // the user stops leaves the database exactly as it was, and keeps no copy of it.
    void aRestoreCutOffHalfWayChangesNothing() {
        PgOffice office;
        Backup::create(office.context, office.tools);
        addProperty(office.server.connection(), "Dopo il backup");
        const QStringList live = contents(office.server.connection());

        // Stopped by the user while the data as it stands is being saved, and at the latest when
        // the restore itself starts.
        for (const int stopAfter : {0, 1}) {
            office.dialogs.messages.clear();
            office.dialogs.progressSteps = 0;
            office.dialogs.stopProgressAfter = stopAfter;
            office.dialogs.answers.enqueue(office.backupFile());
            QVERIFY(!Backup::restore(office.context, office.tools));
            QCOMPARE(office.dialogs.messages, QStringList{"Ripristino annullato: il database non è stato toccato."});
            QCOMPARE(contents(office.server.connection()), live);
            QCOMPARE(office.kept(), QStringList());
        }
        office.dialogs.stopProgressAfter = -1;

        // Another desk is in the middle of reading the diary: the restore waits for it until
        // its time is up, and is then undone whole.
        const Desk desk(office.server.address());
        run(desk.connection(), "BEGIN");
        run(desk.connection(), "SELECT count(*) FROM agenda");
        office.tools.setTimeLimit(std::chrono::seconds(3));
        office.dialogs.messages.clear();
        office.dialogs.answers.enqueue(office.backupFile());
        QVERIFY(!Backup::restore(office.context, office.tools));
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY2(office.dialogs.messages[0].startsWith("Ripristino non eseguito: il database non è stato toccato.") &&
                     office.dialogs.messages[0].contains("pg_restore non ha finito entro 3 secondi"),
                 qPrintable(office.dialogs.messages[0]));
        // Its work on the server was cancelled with it, so the other desks are not kept waiting
        // for the tables it had already dropped.
        run(office.server.connection(), "SET statement_timeout = 5000");
        QCOMPARE(contents(office.server.connection()).mid(0, 1), live.mid(0, 1));
        run(desk.connection(), "ROLLBACK");
        QCOMPARE(contents(office.server.connection()), live);
        QCOMPARE(office.kept(), QStringList());
    }

    // A restore that waits for a table another desk holds says on its progress who that is, and
    // stops when asked, changing nothing.
    void aRestoreWaitingForATableNamesWhoHoldsIt() {
        PgOffice office;
        Backup::create(office.context, office.tools);
        const QStringList live = contents(office.server.connection());
        const Desk desk(office.server.address());
        run(desk.connection(), "SET application_name = 'velmora'");
        run(desk.connection(), "BEGIN");
        run(desk.connection(), "SELECT count(*) FROM agenda");
        // Stops as soon as the progress names the holder: the restore waits for the lock until then.
        struct UntilNamed : Progress {
            QStringList labels;
            bool advance(qint64, qint64) override { return labels.isEmpty(); }
            void setLabel(const QString& label) override { labels << label; }
        } progress;
        const Result restored = PostgresArchive::restore(office.backupFile(), DatabaseLocationOf(office.server.address()),
                                                         office.tools, &progress);
        QVERIFY(restored.cancelled());
        QCOMPARE(progress.labels,
                 QStringList{"Ripristino in corso… I dati sono in uso da un'altra postazione di VELMORA (computer "
                             "127.0.0.1, utente «velmora»): si aspetta che li lasci."});
        run(desk.connection(), "ROLLBACK");
        QCOMPARE(contents(office.server.connection()), live);
    }

    // The server cannot be reached, or a program hangs: no backup file, nothing left behind.
    void aBackupThatCannotBeMadeLeavesNoFile() {
        PgOffice office;
        office.db.folder().write("daba.ini", "postgresql://velmora@127.0.0.1:1/ufficio\r\n");
        Backup::create(office.context, office.tools);
        QVERIFY2(office.dialogs.messages.value(1).startsWith("Backup non creato. ") &&
                     office.dialogs.messages.value(1).contains("il server PostgreSQL 127.0.0.1:1 non risponde"),
                 qPrintable(office.dialogs.messages.value(1)));

        office.db.folder().write("daba.ini", office.server.address().toUtf8() + "_manca\r\n");
        office.dialogs.messages.clear();
        Backup::create(office.context, office.tools);
        QVERIFY2(office.dialogs.messages.value(1).contains("non esiste il database «" + office.server.databaseName() +
                                                           "_manca»"),
                 qPrintable(office.dialogs.messages.value(1)));

        FakeTools hanging;
        hanging.add("pg_dump", "sleep 60\n");
        hanging.tools.setTimeLimit(std::chrono::seconds(1));
        office.db.folder().write("daba.ini", office.server.address().toUtf8() + "\r\n");
        office.dialogs.messages.clear();
        office.dialogs.progressSteps = 0;
        QElapsedTimer took;
        took.start();
        Backup::create(office.context, hanging.tools);
        QVERIFY(took.elapsed() < 10000);
        QVERIFY2(office.dialogs.messages.value(1).contains("pg_dump non ha finito entro un secondo"),
                 qPrintable(office.dialogs.messages.value(1)));
        QVERIFY(office.dialogs.progressSteps >= 5); // the window was kept alive meanwhile
        QCOMPARE(QDir(office.db.folder().path()).entryList({"backup_*"}), QStringList());
    }
};

QTEST_GUILESS_MAIN(PgBackupTest)
#include "tst_pgbackup.moc"
