#include "TestContext.h"
#include "TestFolder.h"
#include "app/MoveInOffer.h"
#include "data/folder/SettingsFile.h"
#include "properties/PropertyWindow.h"

#include <QCryptographicHash>
#include <QtTest>

// The first start on an old office's folder written on Windows, with its Access archive.
class MoveInOfferTest : public QObject {
    Q_OBJECT

private:
    static QByteArray ole() { return QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, '\0'); }
    static QByteArray hash(const QString& path) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
    }

private slots:
    void oldFolderIsRecognisedAndConverted() {
        WithFolder program;
        TestFolder& folder = program.folder;
        QVERIFY(QFile::copy(QStringLiteral(LEGACY_SAMPLES "/nwind.mdb"), folder.file(QStringLiteral("daba.mdb"))));
        folder.write(QStringLiteral("daba.ini"), "C:\\Programmi\\Immobiliare\\daba.mdb\r\n");
        folder.write(QStringLiteral("dati.ini"), "Agenzia\r\nPiede\r\nC:\\Programmi\\Immobiliare\\LOGO.JPG\r\n255\r\n");
        folder.write(QStringLiteral("sfondo.ini"), "C:\\Windows\\nuvole.bmp\r\n");
        folder.writePicture(QStringLiteral("logo.jpg"), Qt::red);
        folder.write(QStringLiteral("richieste.rpt"), ole());
        const QByteArray jetBefore = hash(folder.file(QStringLiteral("daba.mdb")));

        TestContext world(folder.path());
        MoveInOffer::run(world.context);
        const QString converted = folder.file(QStringLiteral("daba-velmora.mdb"));
        QCOMPARE(world.dialogs.messages.size(), 2);
        QCOMPARE(world.dialogs.messages[0],
                 QStringLiteral("Il database «%1» è un archivio Access del vecchio programma: ora viene convertito nel "
                                "database di VELMORA, in un file nuovo accanto («daba-velmora.mdb»), e daba.ini lo "
                                "indicherà. L'archivio Access resta com'è; la conversione si può annullare.")
                     .arg(folder.file(QStringLiteral("daba.mdb"))));
        QCOMPARE(world.dialogs.progressLabels, QStringList{"Conversione del vecchio archivio (annullabile)"});
        QVERIFY(world.dialogs.messages[1].contains(QStringLiteral("Righe copiate:")));
        QVERIFY(world.dialogs.messages[1].endsWith(QStringLiteral("daba-velmora-trasferimento.txt».")));
        // What was done to the settings and the report files is in the report, on screen and
        // in the file, once; the background that is nowhere to be found is not told.
        const QString written = QString::fromUtf8(folder.read(QStringLiteral("daba-velmora-trasferimento.txt")));
        for (const QString& line : {QStringLiteral("daba.ini ora indica il nuovo database"),
                                    QStringLiteral("dati.ini indica il logo con il percorso di Windows"),
                                    QStringLiteral("dati.ini ora lo indica; quello di prima è in dati.ini.prima."),
                                    QStringLiteral("richieste.rpt (ora richieste.rpt.originale)")}) {
            QCOMPARE(world.dialogs.messages[1].count(line), 1);
            QCOMPARE(written.count(line), 1);
        }
        QVERIFY(!written.contains(QStringLiteral("sfondo")));

        QCOMPARE(SettingsFile::read(folder.file(QStringLiteral("daba.ini")), 1).at(0), converted);
        QCOMPARE(folder.read(QStringLiteral("daba.ini.prima")), QByteArray("C:\\Programmi\\Immobiliare\\daba.mdb\r\n"));
        QCOMPARE(SettingsFile::read(folder.file(QStringLiteral("dati.ini")), 4).at(2), folder.file(QStringLiteral("logo.jpg")));
        QVERIFY(QFileInfo::exists(folder.file(QStringLiteral("dati.ini.prima"))));
        QCOMPARE(folder.read(QStringLiteral("richieste.rpt.originale")), ole());
        QVERIFY(folder.read(QStringLiteral("richieste.rpt")).startsWith('{'));
        QCOMPARE(hash(folder.file(QStringLiteral("daba.mdb"))), jetBefore);

        // The next start finds the folder as the program keeps it: nothing more is said.
        TestContext again(folder.path());
        MoveInOffer::run(again.context);
        QVERIFY(again.dialogs.messages.isEmpty());
    }

    // A refused conversion (the archive is cut short) leaves daba.ini naming the old
    // archive: the register then says what that is, never that the file does not exist.
    void aRefusedConversionIsNotToldAsAMissingFile() {
        WithFolder program;
        TestFolder& folder = program.folder;
        QVERIFY(QFile::copy(QStringLiteral(LEGACY_SAMPLES "/nwind.mdb"), folder.file(QStringLiteral("daba.mdb"))));
        QFile cut(folder.file(QStringLiteral("daba.mdb")));
        QVERIFY(cut.resize(3 * 2048 + 100));
        folder.write(QStringLiteral("daba.ini"), "C:\\Programmi\\Immobiliare\\daba.mdb\r\n");
        TestContext world(folder.path());
        MoveInOffer::run(world.context);
        QCOMPARE(world.dialogs.messages.size(), 2);
        QVERIFY2(world.dialogs.messages[1].contains(QStringLiteral("troncato")), qPrintable(world.dialogs.messages[1]));
        world.dialogs.messages.clear();
        { PropertyWindow window(world.context); }
        QCOMPARE(world.dialogs.messages.size(), 1);
        QVERIFY2(!world.dialogs.messages[0].contains(QStringLiteral("non esiste")), qPrintable(world.dialogs.messages[0]));
        QVERIFY(world.dialogs.messages[0].startsWith(QStringLiteral("daba.ini indica ancora il database del vecchio "
                                                                    "programma con il percorso di Windows")));

        // The same archive named by its path here.
        folder.write(QStringLiteral("daba.ini"), folder.file(QStringLiteral("daba.mdb")).toUtf8() + "\r\n");
        world.dialogs.messages.clear();
        { PropertyWindow window(world.context); }
        QCOMPARE(world.dialogs.messages.size(), 1);
        QVERIFY2(world.dialogs.messages[0].contains(QStringLiteral("è l'archivio Access del vecchio programma, non "
                                                                   "ancora convertito")),
                 qPrintable(world.dialogs.messages[0]));
    }

    // A file of zeros (or a broken copy) where daba.ini's Windows path leads is refused in
    // one sentence before anything is written: daba.ini stays as it was.
    void aFileOfZerosIsRefusedBeforeDabaIniChanges() {
        WithFolder program;
        TestFolder& folder = program.folder;
        folder.write(QStringLiteral("daba.mdb"), QByteArray(8192, '\0'));
        const QByteArray ini = "C:\\Programmi\\Immobiliare\\daba.mdb\r\n";
        folder.write(QStringLiteral("daba.ini"), ini);
        TestContext world(folder.path());
        MoveInOffer::run(world.context);
        QCOMPARE(world.dialogs.messages.size(), 1);
        QVERIFY2(world.dialogs.messages[0].startsWith(QStringLiteral("daba.ini indica il database con il percorso di "
                                                                     "Windows «C:\\Programmi\\Immobiliare\\daba.mdb», "
                                                                     "ma il file trovato «%1» non è né un archivio "
                                                                     "Access né un database di VELMORA (")
                                                          .arg(folder.file(QStringLiteral("daba.mdb")))),
                 qPrintable(world.dialogs.messages[0]));
        QVERIFY(world.dialogs.messages[0].endsWith(QStringLiteral("): daba.ini non è stato cambiato.")));
        QCOMPARE(folder.read(QStringLiteral("daba.ini")), ini);
        QVERIFY(!QFileInfo::exists(folder.file(QStringLiteral("daba.ini.prima"))));
    }

    // The background sfondo.ini names on Windows is shown at once, not at the next start.
    void theBackgroundFoundIsShownAtOnce() {
        WithFolder program;
        TestFolder& folder = program.folder;
        folder.write(QStringLiteral("sfondo.ini"), "C:\\Programmi\\Immobiliare\\Sfondo.BMP\r\n");
        folder.writePicture(QStringLiteral("sfondo.bmp"), Qt::blue);
        TestContext world(folder.path());
        QStringList shown;
        MoveInOffer::run(world.context, [&shown](const QString& path) { shown << path; });
        QCOMPARE(shown, QStringList{folder.file(QStringLiteral("sfondo.bmp"))});
        // The next start reads it from sfondo.ini itself.
        shown.clear();
        TestContext again(folder.path());
        MoveInOffer::run(again.context, [&shown](const QString& path) { shown << path; });
        QVERIFY(shown.isEmpty());
    }

    // A Windows path in daba.ini that leads to a database of this program: daba.ini is
    // made to name it, and the start says which file was used.
    void windowsPathToTheProgramsOwnDatabase() {
        TestOffice office;
        const QString database = office.db.path();
        office.db.folder().write(QStringLiteral("daba.ini"),
                                 "C:\\VELMORA\\" + QFileInfo(database).fileName().toUpper().toUtf8() + "\r\n");
        MoveInOffer::run(office.context);
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.messages[0].startsWith(QStringLiteral("daba.ini indica il database con il percorso di Windows «C:\\VELMORA\\%1»: uso «%2»")
                                                                  .arg(QFileInfo(database).fileName().toUpper(), database)));
        QCOMPARE(SettingsFile::read(office.db.folder().file(QStringLiteral("daba.ini")), 1).at(0), database);
    }
};

QTEST_MAIN(MoveInOfferTest)
#include "tst_moveinoffer.moc"
