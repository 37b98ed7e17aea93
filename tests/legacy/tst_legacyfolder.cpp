#include "FolderCheck.h"
#include "TestContext.h"
#include "TestFolder.h"
#include "TestPostgres.h"
#include "app/Backup.h"
#include "app/MoveInOffer.h"
#include "data/folder/SettingsFile.h"
#include "legacy/JetFile.h"
#include "legacy/MoveIn.h"
#include "properties/PropertyWindow.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

// An old office's folder made by make-legacy-folder (the tests' Jet 4 writer): libmdb reads
// back exactly the rows written (mdb-reader already did, or the folder would not exist),
// and the whole folder moves in, by the command and at the first start, untouched.
class LegacyFolderTest : public QObject {
    Q_OBJECT

    TestFolder m_work;
    QString m_old;
    QJsonArray m_tables;


    QJsonObject table(const QString& name) const {
        for (const QJsonValue& one : m_tables)
            if (one.toObject().value(QStringLiteral("name")).toString() == name)
                return one.toObject();
        return {};
    }

    // A Currency of the description ("101000.1") as Access keeps it: scaled by 10,000.
    static qint64 scaled(const QString& text) {
        const QStringList parts = text.split(QLatin1Char('.'));
        return parts[0].toLongLong() * 10000 + parts.value(1).leftJustified(4, QLatin1Char('0')).toLongLong();
    }

    static QString mismatch(const JetValue& value, const QString& type, const QJsonValue& written) {
        QString ours;
        QString theirs = written.isNull() ? QStringLiteral("null") : written.toVariant().toString();
        if (value.isNull())
            ours = QStringLiteral("null");
        else if (type == QLatin1String("currency"))
            ours = QString::number(value.integer), theirs = QString::number(scaled(written.toString()));
        else if (type == QLatin1String("datetime"))
            ours = JetText::isoText(*JetText::dateTime(value.real));
        else
            ours = JetText::plain(value);
        return ours == theirs ? QString() : QStringLiteral("libmdb %1, written %2").arg(ours.left(80), theirs.left(80));
    }


    // What the new database holds is what was written into the old file.
    void sameRecords(const QString& database, const QString& photoFolder) {
        const QJsonArray properties = table(QStringLiteral("immobile")).value(QStringLiteral("rows")).toArray();
        const auto converted = FolderCheck::rows(database, QStringLiteral("SELECT id, proprietario, prezzo, noteimmobile, mq, noteprop "
                                                             "FROM immobile ORDER BY id"));
        QCOMPARE(converted.size(), properties.size());
        for (int i = 0; i < properties.size(); ++i) {
            const QJsonArray row = properties[i].toArray();
            QCOMPARE(converted[i][0].toLongLong(), row[0].toInteger());
            QCOMPARE(converted[i][1].toString(), row[1].toString());
            QCOMPARE(scaled(converted[i][2].toString()), scaled(row[10].toString())); // exact, as text
            QCOMPARE(converted[i][3].toString(), row[11].toString());
            QCOMPARE(converted[i][4].toLongLong(), row[9].toInteger());
            QCOMPARE(converted[i][5].toString(), row[5].toString());
        }
        const QJsonArray visits = table(QStringLiteral("visite")).value(QStringLiteral("rows")).toArray();
        const auto visitRows = FolderCheck::rows(database, QStringLiteral("SELECT data FROM visite ORDER BY rowid"));
        QCOMPARE(visitRows.size(), visits.size());
        for (int i = 0; i < visits.size(); ++i)
            QCOMPARE(visitRows[i][0].toString(),
                     QDate::fromString(visits[i].toArray()[4].toString(), Qt::ISODate).toString(QStringLiteral("dd/MM/yyyy")));
        const QJsonArray leads = table(QStringLiteral("notizie")).value(QStringLiteral("rows")).toArray();
        const auto leadRows = FolderCheck::rows(database, QStringLiteral("SELECT data FROM notizie ORDER BY id"));
        for (int i = 0; i < leads.size(); ++i)
            QCOMPARE(leadRows[i][0].toString(), leads[i].toArray()[1].toString());
        // Found photos are named by their file here; the others keep their old path.
        const auto photos = FolderCheck::rows(database, QStringLiteral("SELECT foto FROM foto ORDER BY rowid"));
        int found = 0;
        for (const auto& photo : photos)
            if (photo[0].toString().startsWith(photoFolder)) {
                QVERIFY2(QFileInfo::exists(photo[0].toString()), qPrintable(photo[0].toString()));
                ++found;
            } else {
                QVERIFY(photo[0].toString().startsWith(QStringLiteral("C:\\Programmi\\Immobiliare\\foto\\")));
            }
        QCOMPARE(found, photos.size() * 4 / 5);
        // New keys come after the largest of the old file.
        QCOMPARE(FolderCheck::rows(database, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = 'immobile'"))[0][0].toLongLong(),
                 properties.size());
    }

    // The old folder copied, as an office would copy it before trying anything.
    QString copyOfOld(const QString& name) {
        const QString copy = m_work.file(name);
        QDirIterator it(m_old, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QDir().mkpath(QFileInfo(copy + path.mid(m_old.size())).absolutePath());
            if (!QFile::copy(path, copy + path.mid(m_old.size())))
                return QString();
        }
        return copy;
    }

    // make-legacy-folder with these arguments: its exit status and what it said.
    static std::pair<int, QString> makeFolder(const QStringList& arguments) {
        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("MDB_READER_FOLDER"), QStringLiteral(MDB_READER_FOLDER));
        tool.setProcessEnvironment(environment);
        tool.start(QStringLiteral("node"), QStringList{QStringLiteral(MAKE_LEGACY_FOLDER)} + arguments);
        if (!tool.waitForFinished(120000))
            return {-1, QStringLiteral("make-legacy-folder did not finish")};
        return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardError())};
    }

    // A report without the lines that name where it was written.
    static QString reportBody(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        const QString text = QString::fromUtf8(file.readAll());
        return text.section(QStringLiteral("\nInoltre:"), 0, 0).section(QLatin1Char('\n'), 2);
    }

private slots:
    void initTestCase() {
        m_old = m_work.file(QStringLiteral("vecchia"));
        const QString description = m_work.file(QStringLiteral("descrizione.json"));
        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("MDB_READER_FOLDER"), QStringLiteral(MDB_READER_FOLDER));
        tool.setProcessEnvironment(environment);
        tool.start(QStringLiteral("node"), {QStringLiteral(MAKE_LEGACY_FOLDER), QStringLiteral("--esempio"),
                                            QStringLiteral("40"), m_old, QStringLiteral("--descrizione"), description});
        QVERIFY(tool.waitForFinished(120000));
        QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
        QFile file(description);
        QVERIFY(file.open(QIODevice::ReadOnly));
        m_tables = QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("tables")).toArray();
        QCOMPARE(m_tables.size(), 6);
    }

    // libmdb, the program's reader, reads back every value the writer wrote.
    void libmdbReadsWhatWasWritten() {
        std::unique_ptr<JetFile> jet;
        QVERIFY(JetFile::open(m_old + QStringLiteral("/daba.mdb"), jet).ok());
        QCOMPARE(jet->version(), QStringLiteral("Jet 4"));
        QCOMPARE(jet->tables(), (QStringList{"immobile", "richiesta", "visite", "foto", "notizie", "agenda"}));
        for (const QJsonValue& one : m_tables) {
            const QJsonObject described = one.toObject();
            const QString name = described.value(QStringLiteral("name")).toString();
            const QJsonArray columns = described.value(QStringLiteral("columns")).toArray();
            const QJsonArray written = described.value(QStringLiteral("rows")).toArray();
            int r = 0;
            QString wrong;
            const Result read = jet->read(
                name, [](const QList<LegacyTables::Column>&) {},
                [&](const QList<JetValue>& row) {
                    for (int c = 0; c < columns.size() && wrong.isEmpty(); ++c)
                        wrong = mismatch(row[c], columns[c].toObject().value(QStringLiteral("type")).toString(),
                                         written[r].toArray()[c]);
                    if (!wrong.isEmpty())
                        wrong = QStringLiteral("%1 row %2: %3").arg(name).arg(r).arg(wrong);
                    ++r;
                    return wrong.isEmpty();
                });
            QVERIFY2(read.ok(), qPrintable(read.message()));
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
            QCOMPARE(r, written.size());
        }
    }

    void theCommandMovesTheWholeFolder() {
        const QStringList before = FolderCheck::fingerprint(m_old);
        const QString fresh = m_work.file(QStringLiteral("nuova"));
        ConversionReport report;
        struct Counted : Progress {
            QStringList stages;
            std::pair<qint64, qint64> last;
            bool advance(qint64 done, qint64 total) override {
                last = {done, total};
                return true;
            }
        } progress;
        QVERIFY(MoveIn::fromFolder(m_old, fresh, &progress, [&progress](const QString& stage) { progress.stages << stage; },
                                   report)
                    .ok());
        QCOMPARE(FolderCheck::fingerprint(m_old), before);
        sameRecords(fresh + QStringLiteral("/daba.mdb"), fresh + QStringLiteral("/foto/"));
        QCOMPARE(report.photosMissing.size(), 16);
        // The photos are counted as they are copied, after the tables.
        QCOMPARE(progress.stages.last(), QStringLiteral("Foto"));
        QCOMPARE(progress.last, (std::pair<qint64, qint64>(64, 64)));
        QCOMPARE(QDir(fresh + QStringLiteral("/foto")).entryList(QDir::Files).size(), 64);
        for (const char* name : {"rapporto.rpt", "scheda.rpt", "richieste.rpt", "agenda.rpt"}) {
            QVERIFY(QFileInfo::exists(fresh + QLatin1Char('/') + name + QStringLiteral(".originale")));
            QFile own(fresh + QLatin1Char('/') + name);
            QVERIFY(own.open(QIODevice::ReadOnly) && own.read(1) == "{");
        }
    }

    // The command's progress line ends before the report starts, on a terminal too.
    void theProgressLineEndsBeforeTheReport() {
        const QString fresh = m_work.file(QStringLiteral("sul-terminale"));
        QProcess terminal;
        terminal.start(QStringLiteral("script"),
                       {QStringLiteral("-qec"),
                        QStringLiteral("'%1' --da-cartella '%2' '%3'")
                            .arg(QStringLiteral(PROGRAM_DIR "/velmora-trasferisci"), m_old, fresh),
                        QStringLiteral("/dev/null")});
        QVERIFY(terminal.waitForFinished(120000));
        QCOMPARE(terminal.exitCode(), 3);
        const QByteArray shown = terminal.readAllStandardOutput();
        const qsizetype report = shown.indexOf("Trasferimento dal vecchio archivio");
        QVERIFY2(report > 0 && shown.lastIndexOf("(100%)", report) >= 0, shown.constData());
        QVERIFY2(shown.at(report - 1) == '\n', shown.left(report + 40).right(120).constData());
    }

    // A move that is refused (the archive is cut short) makes nothing: not the new folder,
    // not its photo folder, not the folders above it.
    void aRefusedMoveMakesNothing() {
        const QString cut = copyOfOld(QStringLiteral("troncata"));
        QVERIFY(!cut.isEmpty());
        QFile archive(cut + QStringLiteral("/daba.mdb"));
        QVERIFY(archive.resize(3 * 4096 + 100));
        const QStringList before = FolderCheck::fingerprint(cut);
        ConversionReport report;
        const Result moved = MoveIn::fromFolder(cut, m_work.file(QStringLiteral("mai/fatta/nuova")), nullptr, {}, report);
        QVERIFY(!moved);
        QVERIFY2(moved.message().contains(QStringLiteral("troncato")), qPrintable(moved.message()));
        QVERIFY(!QFileInfo::exists(m_work.file(QStringLiteral("mai"))));
        QCOMPARE(FolderCheck::fingerprint(cut), before);
    }

    // velmora-stampa on a folder not yet converted says what the folder holds and how to
    // convert it, and touches nothing.
    void printingFromAnUnconvertedFolderSaysHowToConvert() {
        const QString old = copyOfOld(QStringLiteral("da-stampare"));
        QVERIFY(!old.isEmpty());
        const QStringList before = FolderCheck::fingerprint(old);
        for (const QStringList& arguments :
             {QStringList{QStringLiteral("--cartella"), old}, QStringList{QStringLiteral("--database"), old + QStringLiteral("/daba.mdb")}}) {
            QProcess tool;
            tool.setWorkingDirectory(m_work.path());
            tool.start(QStringLiteral(PROGRAM_DIR "/velmora-stampa"),
                       arguments + QStringList{QStringLiteral("agenda.rpt"), QStringLiteral("--pdf"), QStringLiteral("agenda.pdf")});
            QVERIFY(tool.waitForFinished(60000));
            QCOMPARE(tool.exitCode(), 1);
            // Its last line (Qt may say something of its own before).
            const QString said = QString::fromUtf8(tool.readAllStandardError()).trimmed().section(QLatin1Char('\n'), -1);
            QVERIFY2(said.contains(QStringLiteral("vecchio archivio Access")) && said.contains(QStringLiteral("velmora-trasferisci")),
                     qPrintable(said));
            QVERIFY(!QFileInfo::exists(m_work.file(QStringLiteral("agenda.pdf"))));
        }
        QCOMPARE(FolderCheck::fingerprint(old), before);
    }

    // make-legacy-folder reads its options before or after the folder alike, and refuses
    // what it does not know instead of taking it for a folder.
    void theFolderMakerReadsItsOptionsAnywhere() {
        const QString first = m_work.file(QStringLiteral("opzioni-prima"));
        const QString saved = m_work.file(QStringLiteral("opzioni.json"));
        auto [status, said] = makeFolder({QStringLiteral("--notizie"), QStringLiteral("7"), QStringLiteral("--esempio"),
                                          QStringLiteral("3"), QStringLiteral("--descrizione"), saved, first});
        QVERIFY2(status == 0, qPrintable(said));
        QVERIFY(QFileInfo::exists(first + QStringLiteral("/daba.mdb")));
        QFile description(saved);
        QVERIFY(description.open(QIODevice::ReadOnly));
        const QJsonArray tables = QJsonDocument::fromJson(description.readAll()).object().value(QStringLiteral("tables")).toArray();
        QCOMPARE(tables[4].toObject().value(QStringLiteral("rows")).toArray().size(), 7);
        QCOMPARE(tables[0].toObject().value(QStringLiteral("rows")).toArray().size(), 3);

        std::tie(status, said) = makeFolder({m_work.file(QStringLiteral("opzioni-dopo")), QStringLiteral("--esempio"), QStringLiteral("2")});
        QVERIFY2(status == 0, qPrintable(said));
        QVERIFY(QFileInfo::exists(m_work.file(QStringLiteral("opzioni-dopo/daba.mdb"))));

        for (const QStringList& wrong : {QStringList{QStringLiteral("--esempio"), QStringLiteral("2")},
                                         QStringList{QStringLiteral("--esempio"), QStringLiteral("2"), m_work.file(QStringLiteral("x")),
                                                     QStringLiteral("--cartella")},
                                         QStringList{QStringLiteral("--esempio"), QStringLiteral("due"), m_work.file(QStringLiteral("x"))}}) {
            std::tie(status, said) = makeFolder(wrong);
            QCOMPARE(status, 2);
            QVERIFY2(said.contains(QStringLiteral("Uso: make-legacy-folder")), qPrintable(said));
        }
        QVERIFY(!QFileInfo::exists(m_work.file(QStringLiteral("x"))));
    }

    // A backup the old program made is a copy of its Access archive: restoring it converts
    // it first, and the office gets the old records, photos found, as the move-in gives them.
    void anOldProgramsBackupIsRestored() {
        const QString office = m_work.file(QStringLiteral("ripristino"));
        ConversionReport moved;
        QVERIFY(MoveIn::fromFolder(m_old, office, nullptr, {}, moved).ok());
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("empty"));
            db.setDatabaseName(office + QStringLiteral("/daba.mdb"));
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("DELETE FROM foto")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("empty"));
        const QString backup = office + QStringLiteral("/backup_06-12-2009.bak");
        QVERIFY(QFile::copy(m_old + QStringLiteral("/daba.mdb"), backup));
        const QStringList before = FolderCheck::fingerprint(m_old);
        const QString backupBefore = FolderCheck::fingerprint(office).filter(backup).value(0);
        QVERIFY(!backupBefore.isEmpty());

        TestContext world(office);
        world.dialogs.answers.enqueue(backup);
        QVERIFY(Backup::restore(world.context));
        QCOMPARE(world.dialogs.messages.size(), 2);
        QVERIFY2(world.dialogs.messages[0].startsWith(QStringLiteral("Il backup «%1» è un archivio Access del vecchio "
                                                                     "programma: è stato convertito per il ripristino")
                                                          .arg(backup)),
                 qPrintable(world.dialogs.messages[0]));
        QCOMPARE(world.dialogs.messages[1],
                 QStringLiteral("BACKUP RECUPERATO. Premere OK per chiudere il programma e quindi rilanciarlo"));
        sameRecords(office + QStringLiteral("/daba.mdb"), office + QStringLiteral("/foto/"));
        QCOMPARE(FolderCheck::fingerprint(office).filter(backup).value(0), backupBefore);
        QCOMPARE(FolderCheck::fingerprint(m_old), before);

        // Stopped while it converts: nothing changes.
        TestContext stopped(office);
        stopped.dialogs.stopProgressAfter = 1;
        stopped.dialogs.answers.enqueue(backup);
        QVERIFY(!Backup::restore(stopped.context));
        QCOMPARE(stopped.dialogs.messages.last(), QStringLiteral("Ripristino annullato: il database non è stato toccato."));
    }

    // velmora-trasferisci takes the old archive onto a PostgreSQL server: the rows and
    // their exact amounts there, the status saying that something was listed (the photos
    // not found), the old folder untouched.
    void theCommandConvertsOntoAServer() {
        TestPostgres server;
        const QStringList before = FolderCheck::fingerprint(m_old);
        QProcess tool;
        tool.setWorkingDirectory(m_work.path());
        tool.start(QStringLiteral(PROGRAM_DIR "/velmora-trasferisci"), {m_old + QStringLiteral("/daba.mdb"), server.address()});
        QVERIFY(tool.waitForFinished(120000));
        QVERIFY2(tool.exitCode() == 3, tool.readAllStandardError().constData());
        QVERIFY(tool.readAllStandardOutput().contains("Foto trovate: 64; non trovate: 16."));
        QCOMPARE(FolderCheck::fingerprint(m_old), before);
        QVERIFY(QFileInfo::exists(m_work.file(QStringLiteral("daba-velmora-trasferimento.txt"))));
        QSqlQuery query(server.connection());
        QVERIFY(query.exec(QStringLiteral("SELECT count(*), max(id) FROM immobile")) && query.next());
        QCOMPARE(query.value(0).toInt(), 40);
        QVERIFY(query.exec(QStringLiteral("SELECT prezzo FROM immobile WHERE id = 7")) && query.next());
        const QJsonArray seventh = table(QStringLiteral("immobile")).value(QStringLiteral("rows")).toArray()[6].toArray();
        QCOMPARE(scaled(query.value(0).toString()), scaled(seventh[10].toString()));
    }

    // The first start on the old folder itself: the Access file is converted beside it and
    // opened; the old files stay byte for byte as they were.
    void theFirstStartConverts() {
        const QString copy = m_work.file(QStringLiteral("programma"));
        QVERIFY(QDir().mkpath(copy + QStringLiteral("/foto")));
        QDirIterator it(m_old, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QVERIFY(QFile::copy(path, copy + path.mid(m_old.size())));
        }
        const QStringList before = FolderCheck::fingerprint(copy);
        // Stopped halfway: nothing is made and nothing changes.
        {
            TestContext stopped(copy);
            stopped.dialogs.stopProgressAfter = 2;
            MoveInOffer::run(stopped.context);
            QCOMPARE(stopped.dialogs.messages[1], QStringLiteral("Conversione annullata: daba.ini e l'archivio Access "
                                                                 "sono rimasti come erano."));
            QVERIFY(!QFileInfo::exists(copy + QStringLiteral("/daba-velmora.mdb")));
            QVERIFY(!QFileInfo::exists(copy + QStringLiteral("/daba-velmora.mdb.parziale")));
            QCOMPARE(SettingsFile::read(copy + QStringLiteral("/daba.ini"), 1).at(0),
                     QStringLiteral("C:\\Programmi\\Immobiliare\\daba.mdb"));
            // The register says the old archive is not converted yet, not that it is missing.
            stopped.dialogs.messages.clear();
            { PropertyWindow window(stopped.context); }
            QCOMPARE(stopped.dialogs.messages.size(), 1);
            QVERIFY2(stopped.dialogs.messages[0].contains(QStringLiteral("non ancora trasferito in VELMORA")),
                     qPrintable(stopped.dialogs.messages[0]));
        }
        TestContext world(copy);
        MoveInOffer::run(world.context);
        QCOMPARE(world.dialogs.progressLabels, QStringList{"Conversione del vecchio archivio (annullabile)"});
        QVERIFY(world.dialogs.progressSteps > 0);
        QCOMPARE(SettingsFile::read(copy + QStringLiteral("/daba.ini"), 1).at(0), copy + QStringLiteral("/daba-velmora.mdb"));
        sameRecords(copy + QStringLiteral("/daba-velmora.mdb"), copy + QStringLiteral("/foto/"));
        // Every old file is as it was: in its place, or kept aside under a name of its own
        // (settings as .prima, another engine's reports as .originale).
        // One report, under one name, whichever way the office moved in; it tells the
        // same things (the rows, the photos, the settings and report files).
        const QString report = copy + QStringLiteral("/daba-velmora-trasferimento.txt");
        const QString commands = m_work.file(QStringLiteral("nuova/daba-velmora-trasferimento.txt"));
        QVERIFY(!reportBody(report).isEmpty());
        QCOMPARE(reportBody(report), reportBody(commands));
        for (const QString& path : {report, commands}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll());
            for (const char* line : {"daba.ini indica il database con il percorso di Windows", "dati.ini indica il logo con il percorso di Windows",
                                     "sfondo.ini indica lo sfondo con il percorso di Windows",
                                     "I report di un altro programma sono stati messi da parte"})
                QVERIFY2(text.count(QString::fromUtf8(line)) == 1, qPrintable(path + QLatin1Char(' ') + QString::fromUtf8(line)));
        }
        const QStringList after = FolderCheck::fingerprint(copy);
        for (const QString& line : before) {
            const qsizetype blank = line.lastIndexOf(QLatin1Char(' '));
            const QString path = line.left(blank);
            const QString sum = line.mid(blank);
            QVERIFY2(after.contains(line) || after.contains(path + QStringLiteral(".prima") + sum) ||
                         after.contains(path + QStringLiteral(".originale") + sum),
                     qPrintable(line));
        }
    }
};

QTEST_MAIN(LegacyFolderTest)
#include "tst_legacyfolder.moc"
