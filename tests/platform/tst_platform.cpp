#include "FileSizeLimit.h"
#include "TestFolder.h"
#include "platform/files/FileCopy.h"
#include "platform/Regional.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/Colour.h"
#include "platform/gui/Picture.h"
#include "platform/gui/PictureBox.h"
#include "platform/gui/QtDialogs.h"

#include <QDir>
#include <QPainter>
#include <QSvgRenderer>
#include <QFile>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

class PlatformTest : public QObject {
    Q_OBJECT

    const Regional italian{QLocale(QLocale::Italian, QLocale::Italy)};

private slots:
    void italianDatesCarryFourDigitYears() {
        QCOMPARE(italian.shortDateFormat(), QStringLiteral("dd/MM/yyyy"));
        QCOMPARE(italian.dateText(QDate(2026, 12, 6)), QStringLiteral("06/12/2026"));
        QCOMPARE(italian.timeText(QTime(9, 5, 7)), QStringLiteral("09:05:07"));
    }

    void americanDatesKeepTheirOrder() {
        const Regional american(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(american.dateText(QDate(2026, 12, 6)).endsWith(QStringLiteral("2026")));
        QCOMPARE(american.parseDate(QStringLiteral("12/6/2026")), QDate(2026, 12, 6));
    }

    void typedDates_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QDate>("expected");
        const QDate sixth(2026, 12, 6);
        QTest::newRow("short form") << "06/12/2026" << sixth;
        QTest::newRow("single digits") << "6/12/2026" << sixth;
        QTest::newRow("dashes") << "06-12-2026" << sixth;
        QTest::newRow("points, two-digit year") << "06.12.26" << sixth;
        QTest::newRow("blanks around") << "  6/12/26 " << sixth;
        QTest::newRow("year 29 is this century") << "1/1/29" << QDate(2029, 1, 1);
        QTest::newRow("year 30 is the last") << "1/1/30" << QDate(1930, 1, 1);
        QTest::newRow("leap day") << "29/02/2028" << QDate(2028, 2, 29);
        QTest::newRow("no leap day") << "29/02/2026" << QDate();
        QTest::newRow("month 13") << "01/13/2026" << QDate();
        QTest::newRow("day first, not month first") << "12/31/2026" << QDate();
        QTest::newRow("three-digit year") << "1/1/202" << QDate();
        QTest::newRow("two parts") << "06/12" << QDate();
        QTest::newRow("a word") << "domani" << QDate();
        QTest::newRow("empty") << "" << QDate();
    }

    void typedDates() {
        QFETCH(QString, typed);
        QFETCH(QDate, expected);
        const std::optional<QDate> parsed = italian.parseDate(typed);
        if (expected.isValid())
            QCOMPARE(parsed, expected);
        else
            QVERIFY2(!parsed, qPrintable(typed));
    }

    void numbersAndMoney() {
        QCOMPARE(italian.numberText(1234.5, 2), QStringLiteral("1.234,50"));
        const QString money = italian.currencyText(150000);
        QVERIFY2(money.contains(QStringLiteral("150.000,00")) && money.contains(QChar(0x20AC)), qPrintable(money));
    }

    void colourIntegers() {
        QCOMPARE(Colour::toInt(QColor(0, 192, 0)), 192 * 256);
        QCOMPARE(Colour::toInt(QColor(255, 0, 0)), 255);
        QCOMPARE(Colour::fromInt(65536 * 10 + 256 * 20 + 30), QColor(30, 20, 10));
    }

    void fileFilters_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one entry") << "Backup (.bak)|*.bak" << "Backup (.bak) (*.bak)";
        QTest::newRow("name without pattern") << "Database (mdb)|*.mdb" << "Database (mdb) (*.mdb)";
        QTest::newRow("names that show their pattern, trailing bar")
            << "Immagine Jpeg  (*.jpg)|*.jpg| Bitmap  (*.bmp)|*.bmp|" << "Immagine Jpeg  (*.jpg);;Bitmap  (*.bmp)";
        QTest::newRow("plain names") << "Foto|*.jpg;*.png|Tutti|*.*" << "Foto (*.jpg *.png);;Tutti (*.*)";
    }

    void fileFilters() {
        QFETCH(QString, filter);
        QFETCH(QString, expected);
        QCOMPARE(QtDialogs::toQtFilter(filter), expected);
    }

    void copyReplacesTheDestinationWhole() {
        TestFolder folder;
        QByteArray big(3 * 1024 * 1024 + 17, 'x');
        big[12345] = 'y';
        const QString source = folder.write(QStringLiteral("sorgente.mdb"), big);
        const QString destination = folder.write(QStringLiteral("copia.bak"), "vecchio contenuto");

        const Result result = FileCopy::copy(source, destination);
        QVERIFY2(result.ok(), qPrintable(result.message()));
        QCOMPARE(folder.read(QStringLiteral("copia.bak")), big);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 2);  // no temporary left behind
    }

    void failedCopyLeavesTheDestinationAsItWas() {
        TestFolder folder;
        const QString destination = folder.write(QStringLiteral("copia.bak"), "vecchio contenuto");

        const Result missing = FileCopy::copy(folder.file(QStringLiteral("non-esiste.mdb")), destination);
        QVERIFY(!missing.ok());
        QVERIFY2(missing.message().contains(QStringLiteral("non esiste")), qPrintable(missing.message()));
        QCOMPARE(folder.read(QStringLiteral("copia.bak")), QByteArray("vecchio contenuto"));

        const Result empty = FileCopy::copy(QString(), destination);
        QVERIFY(!empty.ok());
        QCOMPARE(folder.read(QStringLiteral("copia.bak")), QByteArray("vecchio contenuto"));

        const QString source = folder.write(QStringLiteral("sorgente.mdb"), "dati");
        const Result noFolder = FileCopy::copy(source, folder.file(QStringLiteral("manca/copia.bak")));
        QVERIFY(!noFolder.ok());
        QVERIFY(noFolder.message().startsWith(QStringLiteral("Impossibile copiare")));

        // The disk fills up halfway through a copy over an earlier one.
        const QString big = folder.write(QStringLiteral("grande.mdb"), QByteArray(256 * 1024, 'd'));
        Result full = Result::success();
        {
            const FileSizeLimit diskFull(64 * 1024);
            QVERIFY(diskFull.active());
            full = FileCopy::copy(big, destination);
        }
        QVERIFY(!full.ok());
        QCOMPARE(folder.read(QStringLiteral("copia.bak")), QByteArray("vecchio contenuto"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 3);  // no half copy left behind

        const Result onItself = FileCopy::copy(source, source);
        QVERIFY(!onItself.ok());
        QCOMPARE(folder.read(QStringLiteral("sorgente.mdb")), QByteArray("dati"));
    }

    void picturesLoadInEveryFormat() {
        TestFolder folder;
        for (const QString& name : {QStringLiteral("a.jpg"), QStringLiteral("b.bmp"), QStringLiteral("c.png")}) {
            const QImage picture = Picture::load(folder.writePicture(name, Qt::red));
            QVERIFY2(!picture.isNull(), qPrintable(name));
            QCOMPARE(picture.size(), QSize(40, 30));
        }
        QVERIFY(Picture::load(folder.write(QStringLiteral("finta.jpg"), "non sono una foto")).isNull());
        QVERIFY(Picture::load(folder.file(QStringLiteral("manca.jpg"))).isNull());
        QVERIFY(Picture::load(QString()).isNull());
    }

    void picturesThatCannotBeLoadedSayWhyAndNeverWait() {
        TestFolder folder;
        const QString fifo = folder.file(QStringLiteral("sfondo.jpg"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QDir().mkpath(folder.file(QStringLiteral("cartella.jpg")));
        const struct {
            QString path;
            QString says;
        } cases[] = {
            {fifo, QStringLiteral("non è un file normale")}, // opening it would wait for a writer for ever
            {folder.file(QStringLiteral("cartella.jpg")), QStringLiteral("è una cartella")},
            {folder.file(QStringLiteral("manca.jpg")), QStringLiteral("non esiste")},
            {folder.write(QStringLiteral("finta.jpg"), "non sono una foto"), QStringLiteral("non è un'immagine")},
            {folder.write(QStringLiteral("vuota.bmp"), QByteArray()), QStringLiteral("non è un'immagine")},
        };
        ::alarm(20); // a test that hangs must fail, not wait
        for (const auto& c : cases) {
            const Picture::Loaded loaded = Picture::read(c.path);
            QVERIFY(loaded.image.isNull());
            QVERIFY2(loaded.problem.contains(c.path) && loaded.problem.contains(c.says), qPrintable(loaded.problem));
        }
        ::alarm(0);
        QCOMPARE(Picture::read(QString()).problem, QString()); // no path, no picture, nothing to say

        PictureBox box;
        box.resize(200, 100);
        box.setImage(Picture::load(folder.writePicture(QStringLiteral("prima.png"), Qt::red)));
        QVERIFY(!box.showFile(folder.file(QStringLiteral("manca.jpg"))));
        QVERIFY(box.image().isNull()); // never the previous picture
        QVERIFY(box.problem().contains(QStringLiteral("manca.jpg")));
        QVERIFY(box.showFile(folder.writePicture(QStringLiteral("dopo.png"), Qt::blue)));
        QCOMPARE(box.problem(), QString());
    }

    void largePhotosLoadScaledToTheirShownSize() {
        // A phone's 48-megapixel photo: at full size more than Qt lets one picture take.
        TestFolder folder;
        const QString path = folder.file(QStringLiteral("telefono.jpg"));
        {
            QImage photo(8000, 6000, QImage::Format_RGB888);
            photo.fill(QColor(200, 40, 40));
            QVERIFY(photo.save(path, "JPG", 50));
        }
        const Picture::Loaded shown = Picture::read(path);
        QVERIFY2(!shown.image.isNull(), qPrintable(shown.problem));
        QCOMPARE(shown.image.size(), QSize(Picture::defaultLongerSide, Picture::defaultLongerSide * 3 / 4));
        QVERIFY(qAbs(shown.image.pixelColor(100, 100).red() - 200) < 12);

        const QImage small = Picture::load(path, QSize(400, 400));
        QCOMPARE(small.size(), QSize(400, 300));
        QCOMPARE(Picture::load(folder.writePicture(QStringLiteral("piccola.png"), Qt::red), QSize(400, 400)).size(),
                 QSize(40, 30)); // never enlarged
    }

    void fileErrorsSayWhatReallyFailed() {
        TestFolder folder;
        const QString source = folder.write(QStringLiteral("sorgente.mdb"), "dati");
        // A folder where the file should go is no full disk.
        QDir().mkpath(folder.file(QStringLiteral("copia.bak")));
        const Result ontoFolder = FileCopy::copy(source, folder.file(QStringLiteral("copia.bak")));
        QVERIFY(!ontoFolder.ok());
        QVERIFY2(ontoFolder.message().contains(QStringLiteral("c'è una cartella")), qPrintable(ontoFolder.message()));
        QVERIFY(!ontoFolder.message().contains(QStringLiteral("pieno")));

        const Result noFolder = FileCopy::copy(source, folder.file(QStringLiteral("manca/copia.bak")));
        QVERIFY2(noFolder.message().contains(QStringLiteral("non esiste")), qPrintable(noFolder.message()));

        if (::geteuid() != 0) {
            const QString locked = folder.write(QStringLiteral("bloccato.ini"), "vecchio");
            QFile::setPermissions(locked, QFileDevice::ReadOwner);
            const Result onLocked = FileCopy::copy(source, locked);
            QVERIFY2(onLocked.message().contains(QStringLiteral("protetto dalla scrittura")),
                     qPrintable(onLocked.message()));
        }
    }
    // Icons are drawn when first shown, at one side only; what they show must be what the
    // icon of all five drawings showed, at every size a window asks for, enabled or not.
    void iconsShowWhatTheFiveDrawingsShowed() {
        Artwork::initialise();
        for (const QString& resource : {QStringLiteral(":/icons/05-immobili.svg"), Artwork::programIcon}) {
            QIcon allDrawn;
            QSvgRenderer renderer(resource);
            for (const int side : {16, 24, 32, 48, 64}) {
                QPixmap pixmap(side, side);
                pixmap.fill(Qt::transparent);
                QPainter painter(&pixmap);
                renderer.render(&painter);
                painter.end();
                allDrawn.addPixmap(pixmap);
            }
            const QIcon icon = Artwork::icon(resource);
            QVERIFY(!icon.isNull());
            QCOMPARE(icon.availableSizes(), allDrawn.availableSizes());
            for (const int side : {12, 16, 17, 20, 32, 40, 64, 96})
                for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active}) {
                    const QSize size(side, side);
                    QCOMPARE(icon.actualSize(size, mode), allDrawn.actualSize(size, mode));
                    QCOMPARE(icon.pixmap(size, mode).toImage(), allDrawn.pixmap(size, mode).toImage());
                }
        }
        // Drawings used again come from the first drawing, unchanged.
        QCOMPARE(Artwork::picture(QStringLiteral(":/icons/14-cerca.svg")),
                 Artwork::picture(QStringLiteral(":/icons/14-cerca.svg")));
    }
};

QTEST_MAIN(PlatformTest)
#include "tst_platform.moc"
