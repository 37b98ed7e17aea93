#include "PdfText.h"
#include "PropertyOffice.h"
#include "StoredAmounts.h"
#include "forms/report/ReportControl.h"
#include "forms/report/ReportPreview.h"
#include "platform/gui/Artwork.h"
#include "properties/PhotoName.h"
#include "properties/PhotoViewer.h"
#include "properties/PropertySheet.h"

#include <QRandomGenerator>
#include <QToolButton>
#include <sys/stat.h>
#include <unistd.h>

class PhotosVisitsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Artwork::initialise(); }

    void photoNames() {
        QRandomGenerator random(7);
        const QRegularExpression shape(QStringLiteral("^[0-9A-Z]{10}\\.jpg$"));
        QSet<QString> names;
        for (int i = 0; i < 200; ++i) {
            const QString name = PhotoName::randomName("/foto/casa.jpg", random);
            QVERIFY2(shape.match(name).hasMatch(), qPrintable(name));
            names << name;
        }
        QCOMPARE(names.size(), 200);
        QVERIFY(PhotoName::randomName("/foto/casa.jpeg", random).endsWith(".peg"));
        QVERIFY(PhotoName::randomName("/foto/scansione.tiff", random).endsWith(".iff"));
        QVERIFY(PhotoName::randomName("/foto/senzaestensione", random).endsWith(".one"));

        // A name already taken is drawn again.
        TestFolder folder;
        QRandomGenerator first(42);
        const QString taken = PhotoName::randomName("a.jpg", first);
        folder.write(taken, "c'è già");
        QRandomGenerator again(42);
        const QString path = PhotoName::unusedPath(folder.path(), "a.jpg", again);
        QVERIFY(!path.endsWith(taken));
        QVERIFY(!QFile::exists(path));
    }

    void addingAPhotoCopiesItUnderANewName() {
        Office office;
        const QString chosen = office.db.folder().writePicture("nuova.jpg", Qt::red);
        office.dialogs.answers.enqueue(chosen);
        office.ui().Command2->click();

        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.messages[0].startsWith("Collegato all'immagine: " + office.db.folder().path() + "/foto/"));
        const QString copy = office.dialogs.messages[0].mid(QStringLiteral("Collegato all'immagine: ").size());
        QVERIFY(copy.endsWith(".jpg"));
        QCOMPARE(office.db.folder().read(copy.mid(office.db.folder().path().size() + 1)), office.db.folder().read("nuova.jpg"));
        QCOMPARE(office.ui().Label17->text(), copy);  // the new photo is current and shown
        QVERIFY(office.ui().Picture1->image().pixelColor(5, 5).red() > 200);
        QCOMPARE(office.ui().DBGrid1->model()->rowCount(), 2);
        QCOMPARE(office.db.count("foto"), 2);
    }

    void aPhotoThatCannotBeShownSaysWhyAndNeverWaits() {
        Office office;
        // The photo of the property shown at start is a pipe: opening it would wait for ever.
        const QString fifo = office.db.folder().file("tubo.jpg");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        office.db.exec(QStringLiteral("UPDATE foto SET foto = '%1'").arg(fifo));
        ::alarm(20); // a hang must fail the test
        office.open();
        ::alarm(0);
        QCOMPARE(office.ui().Label17->text(), fifo);
        QVERIFY(office.ui().Picture1->image().isNull());
        QVERIFY2(office.ui().Picture1->problem().contains("non è un file normale"),
                 qPrintable(office.ui().Picture1->problem()));
    }

    void linkingAPhotoLeavesTheFileWhereItIs() {
        Office office;
        const QString chosen = office.db.folder().writePicture("altrove.png", Qt::green);
        office.dialogs.answers.enqueue(chosen);
        emit office.ui().Picture6->clicked();
        QCOMPARE(office.dialogs.messages, QStringList{"Collegato all'immagine: " + chosen});
        QCOMPARE(office.ui().Label17->text(), chosen);
        QCOMPARE(QDir(office.db.folder().file("foto")).entryList(QDir::Files).size(), 0);
    }

    void aCancelledOrFailedPhotoWritesNothing() {
        Office office;
        office.ui().Command2->click();  // dialog cancelled
        emit office.ui().Picture6->clicked();
        QVERIFY(office.dialogs.messages.isEmpty());
        QCOMPARE(office.db.count("foto"), 1);

        office.dialogs.answers.enqueue(office.db.folder().file("sparita.jpg"));
        office.ui().Command2->click();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.messages[0].startsWith("Impossibile copiare"));
        QCOMPARE(office.db.count("foto"), 1);
        QCOMPARE(QDir(office.db.folder().file("foto")).entryList(QDir::Files).size(), 0);
    }

    // A row the database refuses (a full disk, here a trigger that says so): the photo is
    // never said to be linked, the refusal is told once, and no copy is left behind.
    void aRefusedPhotoIsToldOnceAndNeverSaidLinked() {
        Office office;
        if (office.db.isPostgres()) {
            office.db.exec("CREATE FUNCTION pieno() RETURNS trigger LANGUAGE plpgsql AS "
                           "'BEGIN RAISE EXCEPTION ''disk full'' USING ERRCODE = ''53100''; END'");
            office.db.exec("CREATE TRIGGER pieno BEFORE INSERT ON foto FOR EACH ROW EXECUTE FUNCTION pieno()");
        } else {
            office.db.exec("CREATE TRIGGER pieno BEFORE INSERT ON foto BEGIN SELECT RAISE(ABORT, 'disk full'); END");
        }
        office.dialogs.answers.enqueue(office.db.folder().writePicture("nuova.jpg", Qt::red));
        office.ui().Command2->click();
        office.dialogs.answers.enqueue(office.db.folder().writePicture("altrove.png", Qt::green));
        emit office.ui().Picture6->clicked();
        QCOMPARE(office.dialogs.messages.size(), 2);
        for (const QString& said : office.dialogs.messages)
            QVERIFY2(!said.contains("Collegato") && said.contains("rifiutato"), qPrintable(said));
        QCOMPARE(office.db.count("foto"), 1);
        QCOMPARE(QDir(office.db.folder().file("foto")).entryList(QDir::Files).size(), 0);
    }

    void aMissingPhotoFolderIsCreated() {
        Office office;
        QDir(office.db.folder().file("foto")).removeRecursively();
        office.dialogs.answers.enqueue(office.db.folder().writePicture("x.bmp", Qt::red));
        office.ui().Command2->click();
        QCOMPARE(QDir(office.db.folder().file("foto")).entryList(QDir::Files).size(), 1);
        QCOMPARE(office.db.count("foto"), 2);
    }

    void noPhotoWithoutAProperty() {
        Office office;
        office.ui().Command1->click();  // a new property has no key yet
        office.dialogs.answers.enqueue(office.db.folder().writePicture("x.png", Qt::red));
        // "FINE" covers (and disables) the button now; the command itself still refuses.
        QVERIFY(!office.ui().Command2->isEnabled());
        office.window->addPhotoByCopy();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.messages[0].contains("foto"));
        QCOMPARE(office.db.count("foto"), 1);
    }

    void deletingAPhotoKeepsItsFile() {
        Office office;
        const QString file = office.ui().Label17->text();
        office.ui().Command4->click();
        QCOMPARE(office.db.count("foto"), 0);
        QVERIFY(QFile::exists(file));
        QCOMPARE(office.ui().DBGrid1->model()->rowCount(), 0);
    }

    void theViewerShowsTheCurrentPhotoInOneWindow() {
        Office office;
        emit office.ui().Picture1->clicked();
        PhotoViewer* viewer = office.window->viewer();
        QVERIFY(viewer);
        QCOMPARE(viewer->objectName(), QStringLiteral("form_immagine"));
        QCOMPARE(viewer->windowTitle(), QStringLiteral("   ---   IMMAGINE   ---"));
        QCOMPARE(viewer->picture().pixelColor(1, 1), QColor(Qt::blue));
        QCOMPARE(viewer->palette().color(QPalette::Window), QColor(Qt::black));
        emit office.ui().Picture1->clicked();
        QCOMPARE(office.window->viewer(), viewer);

        // A file that is no longer a picture: the viewer says why instead of staying black.
        QFile photo(office.ui().Label17->text());
        QVERIFY(photo.open(QIODevice::WriteOnly | QIODevice::Truncate));
        photo.write("non è una foto");
        photo.close();
        emit office.ui().Picture1->clicked();
        QVERIFY(viewer->picture().isNull());
        QVERIFY2(viewer->problem().contains("danneggiato") || viewer->problem().contains("non è un'immagine"),
                 qPrintable(viewer->problem()));
        delete viewer;
    }

    void recordingAVisit() {
        Office office;
        office.ui().Text13->setText("ner");
        QCOMPARE(office.ui().Label15->text(), QStringLiteral("Anna"));
        QCOMPARE(office.ui().Label16->text(), QStringLiteral("Neri"));
        office.dialogs.answers = QQueue<QString>({"05/12/2026", "Molto interessata"});
        office.ui().Command7->click();

        QCOMPARE(office.dialogs.questions, (QStringList{"Data della visita|Data della visita|06/12/2026", "Commento|Commento|"}));
        QCOMPARE(office.ui().DBGrid2->model()->rowCount(), 3);
        QCOMPARE(office.source("Data3")->currentRow(), 2);
        const qint64 visit = 4;
        QCOMPARE(office.db.value("visite", visit, "idimmobile").toLongLong(), office.keys[2]);
        QCOMPARE(office.db.value("visite", visit, "idrichiesta").toInt(), 1);
        QCOMPARE(office.db.value("visite", visit, "nome").toString(), QStringLiteral("Anna"));
        QCOMPARE(office.db.value("visite", visit, "cognome").toString(), QStringLiteral("Neri"));
        QCOMPARE(office.db.value("visite", visit, "data").toString(), QStringLiteral("05/12/2026"));
        QCOMPARE(office.db.value("visite", visit, "note").toString(), QStringLiteral("Molto interessata"));
    }

    void cancelledPromptsStillRecordTheVisit() {
        Office office;
        office.ui().Command7->click();
        QCOMPARE(office.db.count("visite"), 4);
        // A cancelled prompt answers an empty text: stored as such, not as a null.
        for (const char* field : {"data", "note"}) {
            const QVariant stored = office.db.value("visite", 4, field);
            QVERIFY2(!stored.isNull(), field);
            QCOMPARE(stored.toString(), QString());
        }
    }

    void theKeysOfEveryGridAreReadOnly() {
        Office office;
        for (BoundGrid* grid : {office.ui().DBGrid1, office.ui().DBGrid2}) {
            QAbstractItemModel* model = grid->model();
            QVERIFY(model->rowCount() > 0);
            for (int column = 0; column < model->columnCount(); ++column) {
                const QString field = model->headerData(column, Qt::Horizontal).toString().toLower();
                const bool key = field == "idimmobile" || field == "idrichiesta";
                QCOMPARE(bool(model->flags(model->index(0, column)) & Qt::ItemIsEditable),
                         !key && grid == office.ui().DBGrid2);
            }
        }
        QAbstractItemModel* visits = office.ui().DBGrid2->model();
        QVERIFY(!visits->setData(visits->index(0, 0), "77"));
        QCOMPARE(office.db.value("visite", 1, "idimmobile").toLongLong(), office.keys[2]);
    }

    void noVisitWithoutAProperty() {
        Office office;
        office.ui().Text16->setText("nessuno");
        office.ui().Command7->click();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.questions.isEmpty());
        QCOMPARE(office.db.count("visite"), 3);
    }

    void deletingTheSelectedVisit() {
        Office office;
        office.ui().DBGrid2->setCurrentIndex(office.ui().DBGrid2->model()->index(0, 2));
        office.ui().Command9->click();
        QCOMPARE(office.db.count("visite"), 2);
        QCOMPARE(office.ui().DBGrid2->model()->rowCount(), 1);
        QCOMPARE(office.ui().DBGrid2->model()->index(0, 2).data().toString(), QStringLiteral("Bruno"));
        office.ui().Command9->click();
        office.ui().Command9->click();  // nothing left: said, not a crash
        QCOMPARE(office.dialogs.messages.size(), 1);
    }

    void printingTheVisitsReport() {
        Office office;
        office.ui().Command10->click();
        auto* report = office.window->findChild<ReportControl*>("report1");
        QCOMPARE(report->selectionFormula(), "{immobile.id} =  " + QString::number(office.keys[2]));
        QVERIFY(report->preview());
        QCOMPARE(report->preview()->windowTitle(), QStringLiteral("ANTEPRIMA DI STAMPA"));
        report->preview()->close();
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    void thePropertySheet() {
        Office office;
        office.db.folder().write("dati.ini", "Immobiliare Rossi\r\nVia Indipendenza 1 - Bologna\r\n" +
                                                 office.db.folder().writePicture("logo.png", Qt::yellow).toUtf8() + "\r\n255\r\n");
        office.ui().Text10->setText("150000");
        emit office.ui().Text10->textEdited("150000");
        office.ui().Command15->click();
        PropertySheet* sheet = office.window->sheet();
        QVERIFY(sheet);
        const SheetControls ui(*sheet);
        QCOMPARE(sheet->objectName(), QStringLiteral("form_stp"));
        QCOMPARE(ui.Label12->text(), QStringLiteral("Immobiliare Rossi"));
        QCOMPARE(ui.Label14->text(), QStringLiteral("Via Indipendenza 1 - Bologna"));
        QCOMPARE(ui.Image1->image().pixelColor(1, 1), QColor(Qt::yellow));
        QCOMPARE(ui.Label1->text(), QStringLiteral("VENDITA"));
        QCOMPARE(ui.Label2->text(), QStringLiteral("ATTICO"));
        QCOMPARE(ui.Label3->text(), QStringLiteral("SARAGOZZA"));
        QCOMPARE(ui.Text1->toPlainText(), QStringLiteral("TERRAZZO"));
        QCOMPARE(ui.Label7->text(), QStringLiteral("120"));
        QVERIFY2(ui.Label10->text().contains("150.000,00") && ui.Label10->text().contains(QChar(0x20AC)), qPrintable(ui.Label10->text()));
        QVERIFY(ui.Label6->isHidden());
        QCOMPARE(ui.Label12->palette().color(QPalette::WindowText), QColor(Qt::red));
        QCOMPARE(ui.Picture1->image().pixelColor(1, 1), QColor(Qt::blue));

        // Printing: the icon hides, the page comes out on the printer with the sheet on it.
        office.printing.outputFile = office.db.folder().file("stampante.pdf");
        emit ui.Image2->clicked();
        QVERIFY(ui.Image2->isHidden());
        const QString page = pdfText(office.printing.outputFile);
        QVERIFY2(page.contains("PROPONE") && page.contains("ATTICO") && page.contains("150.000,00"), qPrintable(page));
        QVERIFY(page.contains("Immobiliare Rossi"));
        QVERIFY(!page.contains("INDIRIZZO"));
        QCOMPARE(page.count('\f'), 1);  // one page

        // The next property: its own price as typed, no photo of the previous one.
        office.ui().Data1->firstButton()->click();
        office.ui().Text10->setText("trattabile");
        emit office.ui().Text10->textEdited("trattabile");
        office.ui().Command15->click();
        QCOMPARE(office.window->sheet(), sheet);
        QCOMPARE(ui.Label10->text(), QStringLiteral("trattabile"));
        QVERIFY(ui.Picture1->image().isNull());
        QVERIFY(ui.Image2->isHidden());  // until the sheet is closed

        // No printer: said, then a PDF where the user chooses.
        office.printing.outputFile.clear();
        office.dialogs.answers.enqueue(office.db.folder().file("scheda.pdf"));
        emit ui.Image1->clicked();
        QVERIFY(pdfText(office.db.folder().file("scheda.pdf")).contains("TRATTABILE") == false);
        QVERIFY(pdfText(office.db.folder().file("scheda.pdf")).contains("trattabile"));
        delete sheet;
    }

    // The sheet reads a stored price as the reports do.
    void theSheetsPriceAsTheReportsPrintIt() {
        Office office;
        for (const StoredAmount& amount : storedAmounts()) {
            office.ui().Text10->setText(amount.stored);
            emit office.ui().Text10->textEdited(amount.stored);
            office.ui().Command15->click();
            QCOMPARE(SheetControls(*office.window->sheet()).Label10->text(),
                     amount.number ? office.regional.currencyText(*amount.number) : amount.stored);
        }
        delete office.window->sheet();
    }

    // "NOTE:" lies over the notes' box: the lines beside it start after it, none under it.
    void theNotesOfTheSheetGoAroundTheirLabel() {
        Office office;
        const QString notes = QString("Luminoso con vista sui colli, ristrutturato di recente. ").repeated(20);
        office.ui().Text11->setPlainText(notes);
        office.ui().Command15->click();
        office.printing.outputFile = office.db.folder().file("scheda-note.pdf");
        emit SheetControls(*office.window->sheet()).Image1->clicked();
        const QList<PdfWord> words = pdfWords(office.printing.outputFile);
        const auto label = std::find_if(words.begin(), words.end(), [](const PdfWord& w) { return w.text == "NOTE:"; });
        QVERIFY(label != words.end());
        int beside = 0;
        for (const PdfWord& word : words) {
            if (word.text == "NOTE:")
                continue;
            QVERIFY2(!word.box.intersects(label->box), qPrintable(word.text));
            beside += word.box.top() < label->box.bottom() && word.box.bottom() > label->box.top();
        }
        QVERIFY(beside > 0);  // the line goes on beside the label
        QVERIFY(pdfText(office.printing.outputFile).contains("LUMINOSO CON VISTA"));
        delete office.window->sheet();
    }

    void aSheetWithoutSettings() {
        Office office;
        office.db.folder().write("dati.ini", "Agenzia\r\npiede\r\n\r\nverde\r\n");
        office.ui().Command15->click();
        const SheetControls ui(*office.window->sheet());
        QCOMPARE(ui.Label12->palette().color(QPalette::WindowText), QColor(Qt::black));  // not a number: kept
        QVERIFY(ui.Image1->image().isNull());  // an empty logo path: no logo
        delete office.window->sheet();

        QFile::remove(office.db.folder().file("dati.ini"));
        office.ui().Command15->click();
        QCOMPARE(SheetControls(*office.window->sheet()).Label12->text(), QString());
        QCOMPARE(SheetControls(*office.window->sheet()).Label14->text(), QString());
        delete office.window->sheet();
    }
};

QTEST_MAIN(PhotosVisitsTest)
#include "tst_photosvisits.moc"
