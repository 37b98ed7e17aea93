#include "FolderCheck.h"
#include "TestFolder.h"
#include "data/folder/SettingsFile.h"
#include "legacy/MoveIn.h"
#include "legacy/OldFolder.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QtTest>

// An old office's folder written on Windows: its paths found here, its report files of
// another engine set aside, and the whole folder moved into a new one, never written.
class OldFolderTest : public QObject {
    Q_OBJECT

private:
    static QByteArray ole() { return QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, '\0'); }


    // An old program folder as Windows left it: cp1252 settings with CR LF and drive
    // letters, the database and photos named in other cases, a report of another engine.
    static void makeOldFolder(const TestFolder& old) {
        QFile::copy(QStringLiteral(LEGACY_SAMPLES "/nwind.mdb"), old.file(QStringLiteral("DABA.MDB")));
        QFile::setPermissions(old.file(QStringLiteral("DABA.MDB")), QFile::ReadOwner | QFile::WriteOwner);
        old.write(QStringLiteral("daba.ini"), "C:\\Programmi\\Immobiliare\\daba.mdb\r\n");
        old.write(QStringLiteral("dati.ini"), "Agenzia Citt\xE0\r\nVia Po 1\r\nC:\\Programmi\\Immobiliare\\Logo.JPG\r\n255\r\n");
        old.write(QStringLiteral("sfondo.ini"), "D:\\sfondi\\mare.bmp\r\n");
        old.write(QStringLiteral("logo.jpg"), "logo");
        old.write(QStringLiteral("richieste.rpt"), ole());
        old.write(QStringLiteral("agenda.rpt"), "{\"title\": \"mine\"}");
        QDir(old.path()).mkpath(QStringLiteral("Foto"));
        old.write(QStringLiteral("Foto/A1.JPG"), "photo");
    }

private slots:
    void windowsPathsAreFoundHere() {
        TestFolder program;
        TestFolder other;
        program.write(QStringLiteral("Daba.MDB"), "x");
        other.write(QStringLiteral("logo.bmp"), "x");
        const auto byName = OldFolder::resolve(QStringLiteral("C:\\Programmi\\daba.mdb"), program.path(), other.path(),
                                               QStringLiteral("daba.ini"), QStringLiteral("il database"));
        QVERIFY(byName.found);
        QCOMPARE(byName.path, program.file(QStringLiteral("Daba.MDB")));
        QCOMPARE(byName.sentence, QStringLiteral("daba.ini indica il database con il percorso di Windows "
                                                 "«C:\\Programmi\\daba.mdb»: uso «%1», trovato nella cartella del "
                                                 "programma.").arg(program.file(QStringLiteral("Daba.MDB"))));
        const auto beside = OldFolder::resolve(QStringLiteral("logo.bmp\\"), program.path(), other.path(),
                                               QStringLiteral("dati.ini"), QStringLiteral("il logo"));
        QVERIFY(!beside.found); // the name is empty after the last backslash
        const auto inIniFolder = OldFolder::resolve(QStringLiteral("E:LOGO.BMP"), program.path(), other.path(),
                                                    QStringLiteral("dati.ini"), QStringLiteral("il logo"));
        QCOMPARE(inIniFolder.path, other.file(QStringLiteral("logo.bmp")));
        QVERIFY(inIniFolder.sentence.endsWith(QStringLiteral("trovato nella cartella di dati.ini.")));
        const auto missing = OldFolder::resolve(QStringLiteral("C:\\x\\manca.mdb"), program.path(), other.path(),
                                                QStringLiteral("daba.ini"), QStringLiteral("il database"));
        QVERIFY(!missing.found);
        QCOMPARE(missing.path, QStringLiteral("C:\\x\\manca.mdb"));
        QVERIFY(missing.sentence.contains(QStringLiteral("che qui non si trova")));
        const auto plain = OldFolder::resolve(program.file(QStringLiteral("Daba.MDB")), program.path(), other.path(),
                                              QStringLiteral("daba.ini"), QStringLiteral("il database"));
        QVERIFY(plain.found);
        QVERIFY(plain.sentence.isEmpty());
    }

    // Another engine's report files (OLE, or anything not starting with "{") are kept
    // aside, never deleted, and the program's own put in their place; said once.
    void foreignReportsAreSetAside() {
        TestFolder folder;
        folder.write(QStringLiteral("richieste.rpt"), ole());
        folder.write(QStringLiteral("richieste.rpt.originale"), "older");
        folder.write(QStringLiteral("rapporto.rpt"), "Crystal");
        folder.write(QStringLiteral("agenda.rpt"), "{\"mine\": true}");
        QString said;
        QVERIFY(OldFolder::setForeignReportsAside(folder.path(), folder.path(), said).ok());
        QCOMPARE(said, QStringLiteral("I report di un altro programma sono stati messi da parte e sostituiti da quelli "
                                      "di VELMORA: rapporto.rpt (ora rapporto.rpt.originale), richieste.rpt (ora "
                                      "richieste.rpt.originale-2)."));
        QCOMPARE(folder.read(QStringLiteral("richieste.rpt.originale-2")), ole());
        QCOMPARE(folder.read(QStringLiteral("richieste.rpt.originale")), QByteArray("older"));
        QCOMPARE(folder.read(QStringLiteral("rapporto.rpt.originale")), QByteArray("Crystal"));
        QVERIFY(folder.read(QStringLiteral("richieste.rpt")).startsWith('{'));
        QCOMPARE(folder.read(QStringLiteral("agenda.rpt")), QByteArray("{\"mine\": true}"));
        QVERIFY(OldFolder::setForeignReportsAside(folder.path(), folder.path(), said).ok());
        QVERIFY(said.isEmpty());
    }

    // The whole old folder into a new one: the database converted, the photos, logo and
    // settings brought along with their paths found here, the old folder byte for byte
    // as it was; a folder that already has a database is refused.
    void wholeFolderMovesIn() {
        TestFolder old;
        makeOldFolder(old);
        const QStringList before = FolderCheck::fingerprint(old.path());
        TestFolder parent;
        const QString fresh = parent.file(QStringLiteral("nuova"));
        ConversionReport report;
        const Result done = MoveIn::fromFolder(old.path(), fresh, nullptr, {}, report);
        QVERIFY2(done.ok(), qPrintable(done.message()));
        QCOMPARE(FolderCheck::fingerprint(old.path()), before);

        const QDir moved(fresh);
        QCOMPARE(SettingsFile::read(moved.filePath(QStringLiteral("daba.ini")), 1).at(0), moved.filePath(QStringLiteral("daba.mdb")));
        const auto sheet = SettingsFile::read(moved.filePath(QStringLiteral("dati.ini")), 4);
        QCOMPARE(sheet.values, (QStringList{"Agenzia Città", "Via Po 1", moved.filePath(QStringLiteral("logo.jpg")), "255"}));
        // The background was not found: its path stays as written, and the report says so.
        QCOMPARE(SettingsFile::read(moved.filePath(QStringLiteral("sfondo.ini")), 1).at(0), QStringLiteral("D:\\sfondi\\mare.bmp"));
        QVERIFY(QFileInfo::exists(moved.filePath(QStringLiteral("foto/A1.JPG"))));
        QCOMPARE(QFile(moved.filePath(QStringLiteral("richieste.rpt.originale"))).size(), ole().size());
        QVERIFY(QFileInfo::exists(moved.filePath(QStringLiteral("scheda.rpt"))));
        QVERIFY(report.anythingListed());
        QCOMPARE(report.notes.size(), 5);
        QCOMPARE(report.notes.filter(QStringLiteral("mare.bmp")).size(), 1);
        QVERIFY(QFileInfo::exists(moved.filePath(QStringLiteral("daba-velmora-trasferimento.txt"))));

        const Result again = MoveIn::fromFolder(old.path(), fresh, nullptr, {}, report);
        QVERIFY(!again.ok());
        QVERIFY(again.message().contains(QStringLiteral("ha già un database")));
    }

    // At start: daba.ini's Windows path leads to the Jet file; converted beside it,
    // daba.ini kept as daba.ini.prima and rewritten, the Jet file untouched.
    void convertedInPlace() {
        TestFolder program;
        makeOldFolder(program);
        const QStringList before = FolderCheck::fingerprint(program.path());
        const MoveIn::Found found = MoveIn::databaseOf(program.path());
        QVERIFY(found.exists);
        QVERIFY(found.jet);
        QCOMPARE(found.database, program.file(QStringLiteral("DABA.MDB")));
        ConversionReport report;
        const Result done = MoveIn::convertInPlace(program.path(), found, nullptr, report);
        QVERIFY2(done.ok(), qPrintable(done.message()));
        const QString converted = program.file(QStringLiteral("DABA-velmora.mdb"));
        QVERIFY(QFileInfo::exists(converted));
        QCOMPARE(SettingsFile::read(program.file(QStringLiteral("daba.ini")), 1).at(0), converted);
        QCOMPARE(program.read(QStringLiteral("daba.ini.prima")), QByteArray("C:\\Programmi\\Immobiliare\\daba.mdb\r\n"));
        QVERIFY(QFileInfo::exists(program.file(QStringLiteral("daba-velmora-trasferimento.txt"))));
        // Every old file is as it was, in its place or kept aside under a name of its own.
        QStringList after = FolderCheck::fingerprint(program.path());
        for (const QString& line : before) {
            const qsizetype blank = line.lastIndexOf(QLatin1Char(' '));
            QVERIFY2(after.contains(line) || after.contains(line.left(blank) + QStringLiteral(".prima") + line.mid(blank)) ||
                         after.contains(line.left(blank) + QStringLiteral(".originale") + line.mid(blank)),
                     qPrintable(line));
        }
    }
};

QTEST_GUILESS_MAIN(OldFolderTest)
#include "tst_oldfolder.moc"
