#include "MoveInOffer.h"
#include "SettingsFile.h"
#include "TestContext.h"
#include "TestFolder.h"

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
        QCOMPARE(world.dialogs.messages.size(), 3);
        QCOMPARE(world.dialogs.messages[0],
                 QStringLiteral("Il database «%1» è un archivio Access del vecchio programma: ora viene convertito nel "
                                "database di VELMORA, in un file nuovo accanto («daba-velmora.mdb»), e daba.ini lo "
                                "indicherà. L'archivio Access resta com'è; la conversione si può annullare.")
                     .arg(folder.file(QStringLiteral("daba.mdb"))));
        QCOMPARE(world.dialogs.progressLabels, QStringList{"Conversione del vecchio archivio (annullabile)"});
        QVERIFY(world.dialogs.messages[1].contains(QStringLiteral("Righe copiate:")));
        QVERIFY(world.dialogs.messages[1].endsWith(QStringLiteral("daba-velmora-trasferimento.txt».")));
        // The background that is nowhere to be found is not told: the frame goes without it.
        const QStringList said = world.dialogs.messages[2].split(QLatin1Char('\n'));
        QCOMPARE(said.size(), 2);
        QVERIFY(said[0].startsWith(QStringLiteral("dati.ini indica il logo con il percorso di Windows")));
        QVERIFY(said[1].contains(QStringLiteral("richieste.rpt (ora richieste.rpt.originale)")));

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
