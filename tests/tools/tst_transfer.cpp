#include "DatabaseTransfer.h"
#include "SampleData.h"
#include "TestFolder.h"
#include "TestPostgres.h"
#include "data/sqlite/search/SearchIndex.h"
#include "data/vocabulary/DatabaseLocation.h"
#include "data/vocabulary/Schema.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QUuid>

namespace {

// A connection of the test's own to a database named as daba.ini names it.
class Connection {
public:
    explicit Connection(const QString& database) : m_name(QUuid::createUuid().toString()) {
        DatabaseLocation location;
        (void)DatabaseLocation::parse(database, location);
        QSqlDatabase db = QSqlDatabase::addDatabase(location.isPostgres() ? "QPSQL" : "QSQLITE", m_name);
        if (location.isPostgres()) {
            db.setHostName(location.host());
            db.setPort(location.port());
            db.setUserName(location.user());
            db.setDatabaseName(location.databaseName());
        } else {
            db.setDatabaseName(location.file());
        }
        if (!db.open())
            qFatal("%s: %s", qPrintable(database), qPrintable(db.lastError().text()));
    }
    ~Connection() {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    void exec(const QString& sql) const {
        QSqlQuery query(db());
        if (!query.exec(sql))
            qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
    }
    qint64 scalar(const QString& sql) const {
        QSqlQuery query(db());
        if (!query.exec(sql) || !query.next())
            qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        return query.value(0).toLongLong();
    }

    // Every row of the six tables with its key, in key order; numbers written the same way
    // whichever engine holds them.
    QStringList rows() const {
        QStringList all;
        for (const Schema::Table& table : Schema::tables()) {
            const bool keyed = table.fields.first().kind == Schema::FieldKind::Key;
            QStringList columns{keyed ? "id" : "rowid"};
            for (const Schema::Field& field : table.fields)
                if (field.kind != Schema::FieldKind::Key)
                    columns << field.name;
            QSqlQuery query(db());
            query.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3").arg(columns.join(", "), table.name, columns[0]));
            while (query.next()) {
                QStringList values;
                for (int c = 0; c < columns.size(); ++c) {
                    const Schema::Field* field = Schema::field(table.name, columns[c]);
                    const QVariant value = query.value(c);
                    values << (value.isNull()                                      ? "NULL"
                               : field && field->kind == Schema::FieldKind::Number ? QString::number(value.toDouble())
                                                                                   : value.toString());
                }
                all << table.name + ':' + values.join('|');
            }
        }
        return all;
    }

private:
    QString m_name;
};

// Stops the work after a given number of progress reports, as Ctrl+C does.
class StopAfter : public Progress {
public:
    explicit StopAfter(int reports) : m_left(reports) {}
    bool advance(qint64, qint64) override { return m_left-- > 0; }

private:
    int m_left;
};

// An office's file with sample data, a deleted last property (its key is never given
// again) and the odd values an office keeps.
QString sampleOffice(const TestFolder& folder) {
    const QString path = folder.file("daba.mdb");
    SampleSize size;
    size.properties = 450; // more than a few batches of rows
    size.requests = 120;
    size.visits = 90;
    size.leads = 30;
    size.appointments = 40;
    size.photos = 5;
    if (!SampleData::fill(path, size, 3, QDate(2026, 12, 6)).ok())
        qFatal("sample data");
    const Connection db(path);
    db.exec("INSERT INTO immobile (proprietario, mq, noteimmobile) VALUES ('D''Amico «è»', 0.1, '100% * ? # [a]')");
    db.exec("INSERT INTO immobile (proprietario, mq) VALUES ('Cancellato', 12.5)");
    db.exec("DELETE FROM immobile WHERE id = (SELECT max(id) FROM immobile)");
    return path;
}

// How a command of the program ended, and what it wrote.
struct Ran {
    int exitCode = -1;
    QString said; // standard output and standard error together
};

Ran runCommand(const QString& name, const QStringList& arguments, const QString& folder) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(VELMORA_PROGRAM_DIR "/") + name, arguments);
    if (!process.waitForFinished(120000))
        qFatal("%s did not finish", qPrintable(name));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

} // namespace

class TransferTest : public QObject {
    Q_OBJECT

private slots:
    // A file onto a server and back: the same rows under the same keys, photos' paths as
    // they were, and no key the file had given is given again on the server.
    void aFileGoesToTheServerAndBackUnchanged() {
        TestFolder folder;
        const QString file = sampleOffice(folder);
        const QStringList rows = Connection(file).rows();
        const qint64 highest = Connection(file).scalar("SELECT seq FROM sqlite_sequence WHERE name = 'immobile'");
        TestPostgres server;

        QList<DatabaseTransfer::Copied> copied;
        QStringList stages;
        const Result there = DatabaseTransfer::copy(
            file, server.address(), nullptr, [&stages](const QString& caption) { stages << caption; }, &copied);
        QVERIFY2(there.ok(), qPrintable(there.message()));
        QCOMPARE(stages, (QStringList{"Immobili", "Richieste", "Visite", "Foto", "Notizie", "Appuntamenti",
                                      "Indici per le ricerche"}));
        QCOMPARE(DatabaseTransfer::summary(copied),
                 QStringLiteral("451 immobili, 120 richieste, 90 visite, 5 foto, 30 notizie, 40 appuntamenti"));
        const Connection onServer(server.address());
        QCOMPARE(onServer.rows(), rows);
        // Searched as quickly as a database the program made itself.
        QCOMPARE(onServer.scalar("SELECT count(*) FROM pg_indexes WHERE indexname LIKE '%\\_trgm' OR "
                                 "indexname LIKE '%\\_grams'"),
                 2 * SearchIndex::fields().size());
        onServer.exec("INSERT INTO immobile (proprietario) VALUES ('Nuovo')");
        QCOMPARE(onServer.scalar("SELECT max(id) FROM immobile"), highest + 1);
        onServer.exec("INSERT INTO foto (idimmobile, foto) VALUES (1, 'nuova.jpg')");
        onServer.exec("DELETE FROM immobile WHERE proprietario = 'Nuovo'");
        onServer.exec("DELETE FROM foto WHERE foto = 'nuova.jpg'");

        const QString back = folder.file("ritorno.mdb");
        const Result home = DatabaseTransfer::copy(server.address(), back);
        QVERIFY2(home.ok(), qPrintable(home.message()));
        QCOMPARE(Connection(back).rows(), rows);
        QCOMPARE(Connection(back).scalar("SELECT seq FROM sqlite_sequence WHERE name = 'immobile'"), highest + 1);
    }

    // A target that holds rows is refused and left exactly as it was.
    void aTargetWithDataIsRefusedAndLeftAsItIs() {
        TestFolder folder;
        const QString file = sampleOffice(folder);
        TestPostgres server;
        QCOMPARE(DatabaseTransfer::copy(folder.file("manca.mdb"), server.address()).message(),
                 "Il database da copiare «" + folder.file("manca.mdb") + "» non si può usare: il file non esiste.");
        QVERIFY(DatabaseTransfer::copy(file, server.address()).ok());
        const Connection onServer(server.address());
        onServer.exec("DELETE FROM immobile WHERE id > 1");
        onServer.exec("DELETE FROM richiesta");
        onServer.exec("DELETE FROM visite");
        onServer.exec("DELETE FROM foto");
        onServer.exec("DELETE FROM notizie");
        onServer.exec("DELETE FROM agenda WHERE id > (SELECT min(id) + 1 FROM agenda)");
        const QStringList before = onServer.rows();

        const Result refused = DatabaseTransfer::copy(file, server.address());
        QCOMPARE(refused.message(),
                 "Il database di destinazione «" + server.address() +
                     "» contiene già dei dati (1 immobile, 2 appuntamenti): velmora-trasferisci copia solo in un "
                     "database vuoto, e non ha cambiato nulla.");
        QCOMPARE(onServer.rows(), before);

        QFile original(file);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray fileBefore = original.readAll();
        original.close();
        const Result intoFile = DatabaseTransfer::copy(server.address(), file);
        QVERIFY2(intoFile.message().contains("contiene già dei dati (451 immobili"), qPrintable(intoFile.message()));
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(original.readAll(), fileBefore);
    }

    // Every command reads a database named on its command line as daba.ini does: a server's
    // address is a server, never a file; libpq's key=value form is refused without making a
    // file or showing the password.
    void theCommandsReadDatabaseAddressesAlike() {
        TestFolder folder;
        const QString file = sampleOffice(folder);
        TestPostgres server;
        QVERIFY(DatabaseTransfer::copy(file, server.address()).ok());

        const Ran printed = runCommand("velmora-stampa",
                                       {QStringLiteral(VELMORA_SOURCE_DIR "/resources/reports/richieste.rpt"),
                                        "--database", server.address(), "--pdf", "richieste.pdf"},
                                       folder.path());
        QVERIFY2(printed.exitCode == 0 && printed.said.contains("Scritto richieste.pdf ("), qPrintable(printed.said));
        QVERIFY(QFileInfo(folder.file("richieste.pdf")).size() > 0);

        DatabaseLocation at;
        QVERIFY(DatabaseLocation::parse(server.address(), at).ok());
        const QString keyValue = QStringLiteral("host=%1 port=%2 dbname=%3 user=%4 password=Segreto78")
                                     .arg(at.host())
                                     .arg(at.port())
                                     .arg(at.databaseName(), at.user());
        const QStringList before = QDir(folder.path()).entryList(QDir::Files);
        for (const auto& [command, arguments] :
             QList<std::pair<QString, QStringList>>{{"velmora-trasferisci", {"daba.mdb", keyValue}},
                                                    {"velmora-esempio", {"--database", keyValue}},
                                                    {"velmora-stampa", {"richieste.rpt", "--database", keyValue,
                                                                        "--pdf", "altro.pdf"}}}) {
            const Ran refused = runCommand(command, arguments, folder.path());
            QVERIFY2(refused.exitCode != 0, qPrintable(command));
            QVERIFY2(refused.said.contains("La password non va scritta") && !refused.said.contains("Segreto78"),
                     qPrintable(command + ": " + refused.said));
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files), before);
        }
    }

    // The office's user owns the database but is no superuser: copying and filling tell the
    // server's statistics about the program's own tables, without a warning for each table
    // of the server's catalogue.
    void anOwnerWhoIsNoSuperuserSeesNoWarnings() {
        TestFolder folder;
        const QString file = sampleOffice(folder);
        TestPostgres server;
        TestPostgres::runOnServer(
            "DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'ufficio') THEN "
            "CREATE ROLE ufficio LOGIN; END IF; END $$");
        TestPostgres::runOnServer(QStringLiteral("ALTER DATABASE %1 OWNER TO ufficio").arg(server.databaseName()));
        DatabaseLocation at;
        QVERIFY(DatabaseLocation::parse(server.address(), at).ok());
        const QString owner =
            QStringLiteral("postgresql://ufficio@%1:%2/%3").arg(at.host()).arg(at.port()).arg(at.databaseName());

        const Ran copied = runCommand("velmora-trasferisci", {file, owner}, folder.path());
        QVERIFY2(copied.exitCode == 0, qPrintable(copied.said));
        const Ran filled = runCommand("velmora-esempio", {"--database", owner, "--immobili", "20"}, folder.path());
        QVERIFY2(filled.exitCode == 0, qPrintable(filled.said));
        for (const QString& said : {copied.said, filled.said})
            QVERIFY2(!said.contains("WARNING") && !said.contains("superuser"), qPrintable(said));
    }

    // A value the server cannot take, or a stop half-way: the target is as empty as before
    // (no tables made on the server, no file left behind).
    void aTransferThatCannotFinishLeavesTheTargetEmpty() {
        TestFolder folder;
        const QString file = sampleOffice(folder);
        Connection(file).exec("UPDATE immobile SET mq = '80 circa' WHERE id = 400");
        TestPostgres server;
        const Result refused = DatabaseTransfer::copy(file, server.address());
        QCOMPARE(refused.message(),
                 "Nella tabella «immobile» la riga con chiave 400 ha nel campo «mq» il valore «80 circa», che non è "
                 "un numero: in quel campo PostgreSQL tiene solo numeri. Va corretto prima del trasferimento. «" +
                     server.address() + "» non è stato cambiato.");
        const Connection onServer(server.address());
        QCOMPARE(onServer.scalar("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"), 0);

        Connection(file).exec("UPDATE immobile SET mq = 80 WHERE id = 400");
        StopAfter stop(3);
        const Result stopped = DatabaseTransfer::copy(file, server.address(), &stop);
        QVERIFY(stopped.cancelled());
        QCOMPARE(onServer.scalar("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"), 0);

        QVERIFY(DatabaseTransfer::copy(file, server.address()).ok());
        StopAfter stopBack(2);
        const QString back = folder.file("ritorno.mdb");
        QVERIFY(DatabaseTransfer::copy(server.address(), back, &stopBack).cancelled());
        QVERIFY(!QFileInfo::exists(back));
        QVERIFY(!QFileInfo::exists(back + "-journal"));
    }
};

QTEST_GUILESS_MAIN(TransferTest)
#include "tst_transfer.moc"
