// Hostile files: bad databases met at start (named by daba.ini beside the program or
// elsewhere) and offered to RECUPERA BACKUP. Each is refused with a message that names
// it, in Italian, and nothing on disk changes. The work runs in a child process, so a
// file that hangs the program fails the test instead of hanging it, and the child
// cannot override file permissions even as root.

#include "TestContext.h"
#include "Worker.h"
#include "data/folder/ReportFiles.h"
#include "data/sqlite/DatabaseFile.h"
#include "data/store/Database.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <sys/stat.h>

namespace {

// Every file under a folder: kind, size and checksum (or why it could not be read).
QMap<QString, QString> snapshot(const QString& root) {
    QMap<QString, QString> result;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        QString state;
        if (info.isDir()) {
            state = QStringLiteral("folder");
        } else if (!info.isFile()) {
            state = QStringLiteral("special");
        } else {
            QFile file(path);
            state = file.open(QIODevice::ReadOnly)
                        ? QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex())
                        : QStringLiteral("unreadable, modified %1").arg(info.lastModified().toString(Qt::ISODateWithMs));
            state += QStringLiteral(" %1 bytes").arg(info.size());
        }
        result.insert(QDir(root).relativeFilePath(path), state);
    }
    return result;
}

QStringList differences(const QMap<QString, QString>& before, const QMap<QString, QString>& after) {
    QStringList changed;
    for (auto it = before.begin(); it != before.end(); ++it)
        if (after.value(it.key()) != it.value())
            changed << QStringLiteral("%1 changed (%2 -> %3)").arg(it.key(), it.value(), after.value(it.key(), QStringLiteral("gone")));
    for (auto it = after.begin(); it != after.end(); ++it)
        if (!before.contains(it.key()))
            changed << QStringLiteral("%1 appeared").arg(it.key());
    return changed;
}

void sql(const QString& path, const QStringList& statements) {
    const QString name = QStringLiteral("hostile");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery query(db);
        for (const QString& statement : statements)
            QVERIFY2(query.exec(statement), qPrintable(statement));
    }
    QSqlDatabase::removeDatabase(name);
}

// Makes the bad file of a case at `path` (a database of the office, spoilt).
void makeBadFile(const QString& kind, const QString& path) {
    const auto goodDatabase = [&] {
        QVERIFY(Database::create(path).ok());
        sql(path, {QStringLiteral("INSERT INTO immobile (proprietario, mq) VALUES ('Rossi', 80)"),
                   QStringLiteral("INSERT INTO richiesta (nome) VALUES ('Anna')")});
    };
    if (kind == QStringLiteral("testo")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("Elenco immobili, non un database.\n").repeated(200));
    } else if (kind == QStringLiteral("zero byte")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (kind == QStringLiteral("troncato a metà")) {
        // Enough rows for pages beyond the first, then half the file gone.
        QVERIFY(Database::create(path).ok());
        QStringList rows{QStringLiteral("BEGIN")};
        for (int i = 0; i < 300; ++i)
            rows << QStringLiteral("INSERT INTO immobile (proprietario, noteimmobile) VALUES ('Rossi %1', '%2')")
                        .arg(i)
                        .arg(QString(300, QLatin1Char('n')));
        rows << QStringLiteral("COMMIT");
        sql(path, rows);
        QVERIFY(QFile::resize(path, QFileInfo(path).size() / 2));
    } else if (kind == QStringLiteral("cartella")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QStringLiteral("FIFO")) {
        QVERIFY(mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
    } else {
        goodDatabase();
        if (kind == QStringLiteral("troncato nell'intestazione")) {
            QVERIFY(QFile::resize(path, 60));
        } else if (kind == QStringLiteral("vista al posto di una tabella")) {
            sql(path, {QStringLiteral("DROP TABLE agenda"), QStringLiteral("CREATE VIEW agenda AS SELECT * FROM notizie")});
        } else if (kind == QStringLiteral("colonna mancante")) {
            sql(path, {QStringLiteral("ALTER TABLE immobile DROP COLUMN mq")});
        } else if (kind == QStringLiteral("trigger in più")) {
            sql(path, {QStringLiteral("CREATE TRIGGER svuota AFTER UPDATE ON immobile BEGIN DELETE FROM richiesta; END")});
        } else if (kind == QStringLiteral("illeggibile")) {
            QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
        }
    }
}

const QStringList englishEngineTexts{QStringLiteral("unable to open"), QStringLiteral("not a database"),
                                     QStringLiteral("malformed"), QStringLiteral("Error"), QStringLiteral("Parameter count"),
                                     QStringLiteral("no such")};

} // namespace

class HostileTest : public QObject {
    Q_OBJECT

private slots:
    void badDatabasesAreRefusedAndNothingChanges_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("where");
        for (const char* kind : {"testo", "zero byte", "troncato a metà", "troncato nell'intestazione",
                                 "vista al posto di una tabella", "colonna mancante", "trigger in più", "cartella", "FIFO",
                                 "illeggibile"})
            for (const char* where : {"all'avvio", "in daba.ini", "da ripristinare"})
                QTest::addRow("%s, %s", kind, where) << QString::fromUtf8(kind) << QString::fromUtf8(where);
    }

    void badDatabasesAreRefusedAndNothingChanges() {
        QFETCH(QString, kind);
        QFETCH(QString, where);
        TestFolder folder;
        const QString program = folder.path();
        QVERIFY(QDir(program).mkpath(QStringLiteral("archivio")));
        QString bad;
        if (where == QStringLiteral("all'avvio"))
            bad = folder.file(QStringLiteral("daba.mdb"));
        else if (where == QStringLiteral("in daba.ini"))
            bad = folder.file(QStringLiteral("archivio/vecchio.db"));
        else
            bad = folder.file(QStringLiteral("archivio/scelto.bak"));

        makeBadFile(kind, bad);
        if (QTest::currentTestFailed())
            return;

        // The program folder: for a restore a good live database, otherwise daba.ini names the bad file.
        if (where == QStringLiteral("da ripristinare")) {
            QVERIFY(Database::create(folder.file(QStringLiteral("daba.mdb"))).ok());
            folder.write(QStringLiteral("daba.ini"), folder.file(QStringLiteral("daba.mdb")).toUtf8() + "\r\n");
        } else {
            folder.write(QStringLiteral("daba.ini"), bad.toUtf8() + "\r\n");
        }
        // What a start puts back beside the database is there already: any change is the bad file's doing.
        QVERIFY(ReportFiles::placeMissing(program + QLatin1Char('/')).ok());
        QVERIFY(ReportFiles::placeMissing(program + QStringLiteral("/archivio/")).ok());

        const QMap<QString, QString> before = snapshot(program);
        const bool restoring = where == QStringLiteral("da ripristinare");
        Worker worker(restoring ? QStringList{QStringLiteral("restore"), program, bad}
                                : QStringList{QStringLiteral("start"), program});
        const bool finished = worker.finish(30000);
        const QStringList lines = worker.rest();
        const QString errors = worker.errors();
        if (kind == QStringLiteral("illeggibile"))
            QFile::setPermissions(bad, QFileDevice::ReadOwner | QFileDevice::WriteOwner);  // the folder can go
        const QMap<QString, QString> after = snapshot(program);

        QStringList problems;
        if (!finished)
            problems << QStringLiteral("the program did not get through in 30 s");
        QStringList messages;
        for (const QString& line : lines)
            if (line.startsWith(QLatin1String("MESSAGGIO ")))
                messages << line.mid(10);
        if (restoring && !lines.contains(QStringLiteral("non ripristinato")))
            problems << QStringLiteral("the restore was not refused");
        const bool named = std::any_of(messages.begin(), messages.end(),
                                       [&](const QString& m) { return m.contains(bad) && !m.startsWith(QLatin1String("BACKUP RECUPERATO")); });
        if (!named)
            problems << QStringLiteral("no message names the file");
        for (const QString& message : std::as_const(messages))
            for (const QString& english : englishEngineTexts)
                if (message.contains(english))
                    problems << QStringLiteral("engine text in a message: ") + message;
        problems << differences(before, after);
        if (!problems.isEmpty())
            problems << QStringLiteral("messages: ") + messages.join(QStringLiteral(" | ")) << QStringLiteral("stderr: ") + errors.left(600);

        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    void aFifoNamedAsAPictureDoesNotHangTheStart_data() {
        QTest::addColumn<QString>("picture");
        QTest::newRow("sfondo") << "sfondo";
        QTest::newRow("foto dell'immobile corrente") << "foto";
    }

    void aFifoNamedAsAPictureDoesNotHangTheStart() {
        QFETCH(QString, picture);
        TestFolder folder;
        const QString database = folder.file(QStringLiteral("daba.mdb"));
        QVERIFY(Database::create(database).ok());
        folder.write(QStringLiteral("daba.ini"), database.toUtf8() + "\r\n");
        const QString fifo = folder.file(QStringLiteral("quadro.jpg"));
        QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0644) == 0);
        if (picture == QLatin1String("sfondo"))
            folder.write(QStringLiteral("sfondo.ini"), fifo.toUtf8() + "\r\n");
        else
            sql(database, {QStringLiteral("INSERT INTO immobile (proprietario) VALUES ('Rossi')"),
                           QStringLiteral("INSERT INTO foto (idimmobile, foto) VALUES (1, '%1')").arg(fifo)});

        Worker worker({QStringLiteral("start"), folder.path()});
        const bool finished = worker.finish(15000);
        QVERIFY2(finished, "the start hangs reading the FIFO");
    }

    void aDamagedLiveDatabaseDoesNotBlockARestore() {
        TestFolder folder;
        const QString live = folder.file(QStringLiteral("daba.mdb"));
        const QString backup = folder.file(QStringLiteral("buono.bak"));
        QVERIFY(Database::create(backup).ok());
        sql(backup, {QStringLiteral("INSERT INTO immobile (proprietario) VALUES ('dal backup')")});
        QVERIFY(Database::create(live).ok());
        folder.write(QStringLiteral("daba.ini"), live.toUtf8() + "\r\n");
        {
            QFile file(live);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.write(QByteArray(100, '\0'));  // the header gone
        }
        const QByteArray damaged = folder.read(QStringLiteral("daba.mdb"));

        Worker worker({QStringLiteral("restore"), folder.path(), backup});
        QVERIFY(worker.finish(30000));
        const QStringList lines = worker.rest();
        QStringList kept;
        for (const QString& name : QDir(folder.path()).entryList({QStringLiteral("*prima-del-ripristino*")}))
            if (folder.read(name) == damaged)
                kept << name;
        QVERIFY2(lines.contains(QStringLiteral("ripristinato")), qPrintable(lines.join(QLatin1Char('\n'))));
        QVERIFY(DatabaseFile::check(live).ok());
        QCOMPARE(kept.size(), 1);  // the damaged file kept beside, exactly as it was
    }
};

QTEST_GUILESS_MAIN(HostileTest)
#include "tst_hostile.moc"
