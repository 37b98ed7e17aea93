#include "FileSizeLimit.h"
#include "HostileFiles.h"
#include "TestDatabase.h"
#include "TestFolder.h"
#include "data/folder/ProgramSettings.h"
#include "data/folder/ReadyDefault.h"
#include "data/sqlite/SqliteSchema.h"
#include "data/store/Database.h"
#include "data/store/RecordSource.h"
#include "data/vocabulary/Schema.h"
#include "forms/controls/RecordModel.h"
#include "platform/Regional.h"
#include "platform/gui/Artwork.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace {

const Regional italian{QLocale(QLocale::Italian, QLocale::Italy)};

// A source open on a test database with `count` owners named "Proprietario 1".."N".
struct Register {
    TestDatabase db;
    RecordSource source{"immobile", italian};
    QList<qint64> keys;

    explicit Register(int count = 3) {
        db.exec("BEGIN");
        for (int i = 1; i <= count; ++i)
            keys << db.insert("immobile", {"proprietario", "mq"}, {QStringLiteral("Proprietario %1").arg(i), i * 10});
        db.exec("COMMIT");
        if (!source.setDatabaseName(db.path()).ok() || !source.refresh().ok())
            qFatal("cannot open the register");
    }

    QString owner() const { return source.value("proprietario"); }
};

} // namespace

class RecordSourceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Artwork::initialise(); }

    void refreshMakesTheFirstRowCurrent() {
        Register reg;
        QVERIFY(reg.source.hasCurrent());
        QCOMPARE(reg.owner(), QStringLiteral("Proprietario 1"));
        QCOMPARE(reg.source.value("MQ"), QStringLiteral("10"));  // field names ignore case
        QCOMPARE(reg.source.value("id"), QString::number(reg.keys[0]));
    }

    void aNewRecordIsWrittenWhenTheUserMoves() {
        Register reg;
        QVERIFY(reg.source.addNew().ok());
        QVERIFY(reg.source.isAdding());
        QCOMPARE(reg.owner(), QString());
        QVERIFY(reg.source.setFieldValue("proprietario", "Nuovo").ok());
        QVERIFY(reg.source.moveNext().ok());
        QCOMPARE(reg.db.count("immobile"), 4);
        QVERIFY(!reg.source.isAdding());

        QVERIFY(reg.source.moveLast().ok());
        QCOMPARE(reg.owner(), QStringLiteral("Nuovo"));  // shown at the end, as the last row
    }

    void aNewRecordNobodyTypedIntoIsNotWritten() {
        Register reg;
        QVERIFY(reg.source.addNew().ok());
        QVERIFY(reg.source.moveFirst().ok());
        QCOMPARE(reg.db.count("immobile"), 3);
    }

    void refreshWritesThePendingEditFirst() {
        Register reg;
        QVERIFY(reg.source.setFieldValue("proprietario", "Corretto").ok());
        QCOMPARE(reg.owner(), QStringLiteral("Corretto"));
        QVERIFY(reg.source.refresh().ok());
        QCOMPARE(reg.db.value("immobile", reg.keys[0], "proprietario").toString(), QStringLiteral("Corretto"));
        QVERIFY(!reg.source.hasPendingEdit());
    }

    void updateWritesTheNewRecordAndItsKey() {
        Register reg;
        QVERIFY(reg.source.addNew().ok());
        QVERIFY(reg.source.setFieldValue("motivo", "vendita").ok());
        QVERIFY(reg.source.update().ok());
        QVERIFY(reg.source.moveLast().ok());
        QCOMPARE(reg.source.value("motivo"), QStringLiteral("vendita"));
        QVERIFY(reg.source.currentKey() > reg.keys.last());
    }

    // A save shows the record by the key its insert returned: loaded or not, and the last
    // row instead when the query does not hold it.
    void moveToKeyFindsTheRecordAnywhereInTheResult() {
        Register reg(600);
        QVERIFY(reg.source.addNew().ok());
        QVERIFY(reg.source.setFieldValue("proprietario", "Nuovo").ok());
        QVERIFY(reg.source.update().ok());
        const std::optional<qint64> key = reg.source.insertedKey();
        QVERIFY(key && *key > reg.keys.last());
        reg.db.insert("immobile", {"proprietario"}, {"Dopo"});
        QVERIFY(reg.source.refresh().ok()); // the first page only
        QVERIFY(reg.source.moveToKey(*key).ok());
        QCOMPARE(reg.owner(), QStringLiteral("Nuovo"));
        QVERIFY(reg.source.moveToKey(reg.keys[300]).ok());
        QCOMPARE(reg.owner(), QStringLiteral("Proprietario 301"));
        QVERIFY(reg.source.moveNext().ok());
        QCOMPARE(reg.owner(), QStringLiteral("Proprietario 302"));
        QVERIFY(reg.source.movePrevious().ok() && reg.source.movePrevious().ok());
        QCOMPARE(reg.owner(), QStringLiteral("Proprietario 300"));

        QVERIFY(reg.source.setRecordSource(Query::contains("immobile", "proprietario", "Proprietario 59")).ok());
        QVERIFY(reg.source.refresh().ok());
        QVERIFY(reg.source.moveToKey(*key).ok());
        QCOMPARE(reg.owner(), QStringLiteral("Proprietario 599"));
        // An edit is no insert.
        QVERIFY(reg.source.setFieldValue("zona", "Centro").ok());
        QVERIFY(reg.source.update().ok());
        QVERIFY(!reg.source.insertedKey());
    }

    // A file made by another tool, its keys without AUTOINCREMENT: a deleted property's
    // photo and a visit of a property and a request deleted earlier still name their keys.
    void aNewRecordNeverTakesAKeyThatAPhotoOrVisitNames() {
        if (TestDatabase::onPostgres())
            QSKIP("a file of another tool: a server's sequences never give a key twice");
        TestFolder folder;
        const QString path = folder.file("altro.mdb");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "foreign");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery query(db);
            for (QString statement : SqliteSchema::createStatements())
                QVERIFY(query.exec(statement.replace(" AUTOINCREMENT", "")));
            for (const char* sql : {"INSERT INTO immobile (id, proprietario) VALUES (1, 'Rossi'), (2, 'Verdi')",
                                    "INSERT INTO richiesta (id, nome) VALUES (1, 'Anna')",
                                    "INSERT INTO foto (idimmobile, foto) VALUES ('2', '/foto/verdi.png')",
                                    "INSERT INTO visite (idimmobile, idrichiesta, nome) VALUES (3, 2, 'Bruno')",
                                    "DELETE FROM immobile WHERE id = 2"})
                QVERIFY(query.exec(sql));
        }
        QSqlDatabase::removeDatabase("foreign");

        for (const auto& [table, field, keys] : {std::tuple{"immobile", "proprietario", QList<qint64>{4, 5}},
                                                 std::tuple{"richiesta", "nome", QList<qint64>{3, 4}},
                                                 std::tuple{"notizie", "notizia", QList<qint64>{1, 2}}}) {
            RecordSource source(table, italian);
            QVERIFY(source.setDatabaseName(path).ok());
            for (const qint64 key : keys) {
                QVERIFY(source.addNew().ok());
                QVERIFY(source.setFieldValue(field, "Nuovo").ok());
                QVERIFY(source.update().ok());
                QCOMPARE(source.insertedKey().value_or(-1), key);
            }
        }
    }

    void updateWithNothingPendingChangesNothing() {
        Register reg;
        const Result nothing = reg.source.update();
        QVERIFY(!nothing.ok());
        QVERIFY(!nothing.message().isEmpty());
        QCOMPARE(reg.db.count("immobile"), 3);
        QCOMPARE(reg.owner(), QStringLiteral("Proprietario 1"));
    }

    void deletingTheFirstThenMovingPreviousLeavesNoCurrentRecord() {
        Register reg;
        QVERIFY(reg.source.remove().ok());
        QCOMPARE(reg.db.count("immobile"), 2);
        QVERIFY(!reg.source.hasCurrent());
        QVERIFY(reg.source.movePrevious().ok());
        QVERIFY(!reg.source.hasCurrent());
        QCOMPARE(reg.owner(), QString());
        // No record to type into: the value is refused, nothing is lost silently.
        QVERIFY(!reg.source.setFieldValue("proprietario", "x").ok());
        QVERIFY(reg.source.moveNext().ok());
        QCOMPARE(reg.owner(), QStringLiteral("Proprietario 2"));
    }

    void deletingInTheMiddleMovesPreviousToTheRowBefore() {
        Register reg;
        QVERIFY(reg.source.moveNext().ok());
        QVERIFY(reg.source.remove().ok());
        QVERIFY(reg.source.movePrevious().ok());
        QCOMPARE(reg.owner(), QStringLiteral("Proprietario 1"));
    }

    void anEmptyResultHasNoCurrentRecord() {
        Register reg(0);
        QVERIFY(!reg.source.hasCurrent());
        QVERIFY(reg.source.moveLast().ok());
        QVERIFY(!reg.source.hasCurrent());
        QVERIFY(!reg.source.remove().ok());
    }

    void refusedValuesKeepThePendingEdit_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::newRow("a word in mq") << "immobile" << "mq" << "80 mq";
        QTest::newRow("not a number in mq") << "immobile"
                                            << "mq"
                                            << "nan";
        QTest::newRow("infinite in mq") << "immobile"
                                        << "mq"
                                        << "inf";
        QTest::newRow("too large for mq") << "immobile"
                                          << "mq"
                                          << "1e400";
        QTest::newRow("an impossible date") << "agenda" << "datap" << "31/02/2026";
        QTest::newRow("a date that is no date") << "agenda" << "datap" << "domani";
    }

    void refusedValuesKeepThePendingEdit() {
        QFETCH(QString, table);
        QFETCH(QString, field);
        QFETCH(QString, typed);
        TestDatabase db;
        db.insert(table, {table == "immobile" ? "proprietario" : "agente"}, {"prima"});
        RecordSource source(table, italian);
        QVERIFY(source.setDatabaseName(db.path()).ok());
        QVERIFY(source.refresh().ok());

        QVERIFY(source.setFieldValue(field, typed).ok());
        const Result written = source.refresh();
        QVERIFY(!written.ok());
        QVERIFY2(written.message().contains(typed) && written.message().contains(field), qPrintable(written.message()));
        QVERIFY(source.hasPendingEdit());
        QCOMPARE(source.value(field), typed);  // still there to correct
        QVERIFY(!source.moveNext().ok());
        QVERIFY(!source.commitPending().ok());

        source.cancelEdit();  // Esc
        QVERIFY(!source.hasPendingEdit());
        QVERIFY(source.commitPending().ok());
    }

    void numbersAndDatesAreStoredAndShownInTheirOwnForms() {
        TestDatabase db;
        const qint64 key = db.insert("agenda", {"agente"}, {"Anna"});
        RecordSource diary("agenda", italian);
        QVERIFY(diary.setDatabaseName(db.path()).ok());
        QVERIFY(diary.refresh().ok());
        QVERIFY(diary.setFieldValue("datap", "6/12/26").ok());
        QVERIFY(diary.update().ok());
        QCOMPARE(db.value("agenda", key, "datap").toString(), QStringLiteral("2026-12-06"));
        QCOMPARE(diary.value("datap"), QStringLiteral("06/12/2026"));

        const qint64 house = db.insert("immobile", {"proprietario"}, {"Rossi"});
        RecordSource houses("immobile", italian);
        QVERIFY(houses.setDatabaseName(db.path()).ok());
        QVERIFY(houses.refresh().ok());
        QVERIFY(houses.setFieldValue("mq", "12,5").ok());
        QVERIFY(houses.update().ok());
        QCOMPARE(db.value("immobile", house, "mq").toDouble(), 12.5);
        QCOMPARE(houses.value("mq"), QStringLiteral("12,5"));
        QVERIFY(houses.setFieldValue("mq", "").ok());
        QVERIFY(houses.update().ok());
        QVERIFY(db.value("immobile", house, "mq").isNull());
    }

    void keysAreNeverWritten() {
        Register reg;
        QVERIFY(!reg.source.setFieldValue("id", "99").ok());
        QVERIFY(!reg.source.hasPendingEdit());
    }

    void largeResultsLoadAWindowAtATime() {
        Register reg(1000);
        QVERIFY(reg.source.rowCount() < 1000);  // not everything read at a refresh
        QVERIFY(reg.source.moveLast().ok());
        QCOMPARE(reg.owner(), QStringLiteral("Proprietario 1000"));
        QVERIFY(reg.source.rowCount() < 1000);

        // Walking back from the end reaches the very first row, in order.
        int steps = 0;
        QString previous = reg.owner();
        while (reg.source.movePrevious().ok() && reg.source.hasCurrent()) {
            const QString owner = reg.owner();
            QCOMPARE(owner, QStringLiteral("Proprietario %1").arg(1000 - ++steps));
            previous = owner;
        }
        QCOMPARE(steps, 999);
        QCOMPARE(previous, QStringLiteral("Proprietario 1"));

        QVERIFY(reg.source.moveFirst().ok());
        int forward = 1;
        while (reg.source.moveNext().ok() && reg.source.hasCurrent())
            ++forward;
        QCOMPARE(forward, 1000);
    }

    void gridModelFollowsTheSource() {
        Register reg(300);
        RecordModel model(reg.source, {{"id", "id"}, {"Proprietario", "proprietario"}, {"Mq", "mq"}});
        model.setEditable(true);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Proprietario"));
        QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("Proprietario 1"));
        while (model.canFetchMore({}))
            model.fetchMore({});
        QCOMPARE(model.rowCount(), 300);
        QCOMPARE(model.data(model.index(299, 2)).toString(), QStringLiteral("3000"));

        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));  // the key
        QVERIFY(model.flags(model.index(0, 1)) & Qt::ItemIsEditable);
        QVERIFY(model.setData(model.index(5, 1), "Cambiato"));
        QCOMPARE(reg.source.currentRow(), 5);
        QCOMPARE(model.data(model.index(5, 1)).toString(), QStringLiteral("Cambiato"));
        QVERIFY(reg.source.moveToRow(6).ok());  // leaving the row writes it
        QCOMPARE(reg.db.value("immobile", reg.keys[5], "proprietario").toString(), QStringLiteral("Cambiato"));

        QSignalSpy refused(&model, &RecordModel::refused);
        QVERIFY(model.setData(model.index(7, 2), "tanti"));
        QVERIFY(!model.setData(model.index(8, 1), "altro"));  // cannot leave row 7
        QCOMPARE(refused.count(), 1);
        reg.source.cancelEdit();

        QVERIFY(reg.source.remove().ok());
        QCOMPARE(model.rowCount(), 299);
        QVERIFY(reg.source.refresh().ok());
        QVERIFY(reg.source.moveLast().ok());
        QVERIFY(reg.source.addNew().ok());
        QVERIFY(reg.source.setFieldValue("proprietario", "Ultimo").ok());
        QVERIFY(reg.source.update().ok());
        QVERIFY(reg.source.moveLast().ok());
        const int last = model.rowOfKey(*reg.source.currentKey());
        QCOMPARE(last, model.rowCount() - 1);
        QCOMPARE(model.data(model.index(last, 1)).toString(), QStringLiteral("Ultimo"));
        // The grid's rows are the whole result: read from the first on, they settle its count.
        QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("Proprietario 1"));
        for (int row = 0; row < model.rowCount(); ++row) {
            QVERIFY(!model.data(model.index(row, 1)).toString().isEmpty());
            model.settle();
        }
        QCOMPARE(model.rowCount(), 300);  // one deleted, one added
        QCOMPARE(model.data(model.index(299, 1)).toString(), QStringLiteral("Ultimo"));
    }

    void aDiaryWithoutItsDayIndexGetsItWhenOpened() {
        TestDatabase db;
        if (db.isPostgres())
            QSKIP("the server's schema is made whole");
        // A file of an earlier version: the diary's days without their index.
        db.exec("DROP INDEX agenda_datap");
        std::shared_ptr<Database> opened;
        QVERIFY(Database::open(db.path(), opened).ok());
        QSqlQuery index(opened->connection());
        QVERIFY(index.exec("SELECT sql FROM sqlite_master WHERE type = 'index' AND name = 'agenda_datap'"));
        QVERIFY(index.next());
        QVERIFY(index.value(0).toString().contains("datap"));
    }

    void sourcesOnOneFileShareOneConnection() {
        TestDatabase db;
        std::shared_ptr<Database> a, b;
        QVERIFY(Database::open(db.path(), a).ok());
        // The same database however daba.ini spells it.
        const QString same = db.isPostgres() ? QString(db.path()).replace("postgresql://", "postgres://")
                                             : db.folder().path() + "/./daba.mdb";
        QVERIFY(Database::open(same, b).ok());
        QCOMPARE(a.get(), b.get());
    }

    void theReadyDefaultIsMadeOnlyInAnEmptyFolder() {
        TestFolder folder;
        bool made = false;
        QVERIFY(ReadyDefault::prepare(folder.path(), &made).ok());
        QVERIFY(made);
        const QString database = folder.file("daba.mdb");
        QCOMPARE(ProgramSettings(folder.path()).databasePath(), database);
        QVERIFY(QDir(folder.file("foto")).exists());
        for (const char* report : {"rapporto.rpt", "scheda.rpt", "richieste.rpt", "agenda.rpt"})
            QVERIFY(QFile::exists(folder.file(report)));
        std::shared_ptr<Database> opened;
        QVERIFY(Database::open(database, opened).ok());
        opened.reset();

        const QByteArray before = folder.read("daba.mdb");
        QVERIFY(ReadyDefault::prepare(folder.path(), &made).ok());
        QVERIFY(!made);
        QCOMPARE(folder.read("daba.mdb"), before);

        TestFolder onlyIni;
        onlyIni.write("daba.ini", "/altrove/daba.mdb\r\n");
        QVERIFY(ReadyDefault::prepare(onlyIni.path(), &made).ok());
        QVERIFY(!made);
        QVERIFY(!QFile::exists(onlyIni.file("daba.mdb")));
    }

    // A first start on a nearly full disk leaves the folder as it was, and says why; the
    // next start with room makes the whole ready default.
    void theReadyDefaultIsAllOrNothing_data() {
        QTest::addColumn<int>("room");
        QTest::newRow("no room") << 0;
        QTest::newRow("a page") << 4096;
        QTest::newRow("some pages") << 30000;
    }

    void theReadyDefaultIsAllOrNothing() {
        QFETCH(int, room);
        TestFolder folder;
        bool made = true;
        Result prepared = Result::success();
        {
            const FileSizeLimit diskFull(static_cast<rlim_t>(room));
            QVERIFY(diskFull.active());
            prepared = ReadyDefault::prepare(folder.path(), &made);
        }
        QVERIFY(!prepared.ok());
        QVERIFY2(prepared.message().contains("il disco è pieno"), qPrintable(prepared.message()));
        QVERIFY(!made);
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

        QVERIFY(ReadyDefault::prepare(folder.path(), &made).ok());
        QVERIFY(made);
        RecordSource source("immobile", italian);
        QVERIFY(source.setDatabaseName(ProgramSettings(folder.path()).databasePath()).ok());
    }

    void databasesThatCannotBeUsedAreNamedInTheMessage() {
        TestFolder folder;
        const QString missing = folder.file("manca.mdb");
        const QByteArray notes("questo non è un database\n");
        const QString text = folder.write("testo.mdb", notes);
        TestDatabase partial;
        partial.exec("DROP TABLE agenda");

        for (const QString& path : {missing, text, partial.path()}) {
            RecordSource source("immobile", italian);
            const Result opened = source.setDatabaseName(path);
            QVERIFY(!opened.ok());
            QVERIFY2(opened.message().contains(path), qPrintable(opened.message()));
            QVERIFY(!source.hasCurrent());
            QVERIFY(!source.refresh().ok());
            QCOMPARE(source.value("proprietario"), QString());
        }
        RecordSource source("immobile", italian);
        QVERIFY(source.setDatabaseName(partial.path()).message().contains("agenda"));
        QCOMPARE(folder.read("testo.mdb"), notes);  // never turned into a database
    }

    void hostileDatabasesAreRefusedUntouched_data() {
        if (TestDatabase::onPostgres())
            QSKIP("files only: the run on SQLite checks them");
        QTest::addColumn<QString>("kind");
        for (const QString& kind : HostileFiles::kinds())
            QTest::newRow(qPrintable(kind)) << kind;
    }

    void hostileDatabasesAreRefusedUntouched() {
        QFETCH(QString, kind);
        TestFolder folder;
        const QString path = folder.file("daba.mdb");
        const QString says = HostileFiles::make(kind, path);
        if (says.isEmpty())
            QSKIP("the root user reads an unreadable file all the same");
        const QByteArray before = HostileFiles::fingerprint(path);

        RecordSource source("immobile", italian);
        const Result opened = source.setDatabaseName(path);
        QVERIFY(!opened.ok());
        QVERIFY2(opened.message().contains(path) && opened.message().contains(QRegularExpression(says)),
                 qPrintable(opened.message()));
        QVERIFY2(!opened.message().contains(QRegularExpression("unable|no such|not a |malformed|disk image|denied")),
                 qPrintable(opened.message())); // no engine English
        QVERIFY(!source.refresh().ok());
        QCOMPARE(HostileFiles::fingerprint(path), before);
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{"daba.mdb"});
    }

    void everyObjectOfANewDatabaseIsTheProgramsOwn() {
        // The list the checks accept is the list a new database is made from.
        if (TestDatabase::onPostgres())
            QSKIP("a SQLite file's own objects; tst_postgres checks what a server's database is given");
        TestDatabase fresh;
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "schema");
        db.setDatabaseName(fresh.path());
        QVERIFY(db.open());
        {
            QSqlQuery objects("SELECT type, name, sql FROM sqlite_master", db);
            int seen = 0;
            while (objects.next()) {
                ++seen;
                const Schema::SchemaObject* own =
                    SqliteSchema::ownObject(objects.value(0).toString(), objects.value(1).toString());
                QVERIFY2(own, qPrintable(objects.value(1).toString()));
                QCOMPARE(Schema::normalisedSql(objects.value(2).toString()), Schema::normalisedSql(own->sql));
            }
            QCOMPARE(seen, SqliteSchema::createStatements().size() + 1); // and sqlite_sequence
        }
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("schema");

        QCOMPARE(Schema::normalisedSql("CREATE  TABLE x(a TEXT ,\n b   NUMERIC);"),
                 Schema::normalisedSql("create table X (A text, b numeric)"));
        QVERIFY(Schema::normalisedSql("CREATE TABLE x (a DEFAULT 'A  b')") !=
                Schema::normalisedSql("CREATE TABLE x (a DEFAULT 'a b')"));
    }
};

QTEST_MAIN(RecordSourceTest)
#include "tst_recordsource.moc"
