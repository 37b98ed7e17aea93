#include "FakeClock.h"
#include "FakePrinting.h"
#include "PdfText.h"
#include "ScriptedDialogs.h"
#include "StoredAmounts.h"
#include "TestContext.h"
#include "TestDatabase.h"
#include "data/folder/ReportFiles.h"
#include "forms/report/ReportControl.h"
#include "forms/report/ReportPreview.h"
#include "platform/gui/Artwork.h"
#include "report/ReportOutput.h"
#include "report/ReportPreparation.h"
#include "report/ReportRenderer.h"
#include "report/RequestFormula.h"

#include <QDir>
#include <QFontMetricsF>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollArea>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <tuple>

namespace {

// A program folder whose database has the shipped report files beside it.
struct Office : TestOffice {
    Office() : TestOffice(QDateTime(QDate(2026, 3, 5), QTime(10, 0))) {
        if (!ReportFiles::placeMissing(db.folder().path()))
            qFatal("cannot place the report files");
    }

    // The report for a formula as PDF text, or the message that refused it.
    QString render(const QString& report, const QString& formula) const {
        std::unique_ptr<ReportRenderer> renderer;
        Result result = ReportPreparation::prepare(db.folder().file(report), formula, db.path(), regional, clock.today(), renderer);
        const QString pdf = db.folder().file("uscita.pdf");
        if (result)
            result = ReportOutput::writePdf(*renderer, pdf);
        return result ? pdfText(pdf) : QStringLiteral("ERRORE ") + result.message();
    }
};

int pages(const QString& text) {
    static const QRegularExpression footer(QStringLiteral("Pagina (\\d+) di (\\d+)"));
    auto matches = footer.globalMatch(text);
    int count = 0, total = -1;
    while (matches.hasNext()) {
        const auto match = matches.next();
        ++count;
        if (match.captured(1).toInt() != count || (total >= 0 && match.captured(2).toInt() != total))
            return -1;
        total = match.captured(2).toInt();
    }
    return count == total ? count : -1;
}

} // namespace

class ReportTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Artwork::initialise(); }

    void matchingRequests() {
        Office office;
        const QStringList fields{"nome", "cognome", "telefono", "tipo", "mq", "prezzo", "motivo"};
        office.db.insert("richiesta", fields, {"Anna", "Rossi", "333 1234567", "Villa", 200, "450000", "vendita"});
        office.db.insert("richiesta", fields, {"Bruno", "Bianchi", "", "Bilocale", 50, "700", "affitto"});
        office.db.insert("richiesta", fields, {"Carla", "D'Amico", "", "Villa", 1200, "900000", "vendita"});
        for (const char* report : {"scheda.rpt", "richieste.rpt"}) {
            const QString text = office.render(report, RequestFormula::build("0", "1000", "vendita", "vill", office.regional));
            QVERIFY2(text.contains("Rossi") && text.contains("333 1234567") && text.contains("450.000,00"), qPrintable(text));
            QVERIFY(!text.contains("Bianchi"));
            QVERIFY(!text.contains("D'Amico"));  // too large a surface
            QVERIFY(text.contains("Stampato il 05/03/2026"));
            QCOMPARE(pages(text), 1);
        }
    }

    // Numbers never break over two lines, and words with ligature letters stay searchable.
    void numbersStayWholeAndWordsSearchable() {
        Office office;
        const QStringList fields{"nome", "cognome", "tipo", "mq", "prezzo", "motivo"};
        office.db.insert("richiesta", fields, {"Anna", "Rossi", "Villa", 1000, "450000", "affitto"});
        office.db.insert("richiesta", fields, {"Bruno", "Bianchi", "Ufficio", 12.5, "700", "affitto"});
        office.db.insert("richiesta", fields, {"Carla", "Verdi", "Capannone", 1234567, "900000", "affitto"});
        const QString text = office.render("richieste.rpt", "{richiesta.motivo} = 'affitto'");
        QVERIFY2(text.count("affitto") == 3 && text.contains("Ufficio"), qPrintable(text));
        for (const QChar ligature : {QChar(0xFB00), QChar(0xFB01), QChar(0xFB02), QChar(0xFB03), QChar(0xFB04)})
            QVERIFY(!text.contains(ligature));
        for (const char* number : {"1000", "12,5", "1234567"})
            QVERIFY2(QRegularExpression(QStringLiteral("(^|\\s)%1(\\s|$)").arg(QRegularExpression::escape(number)),
                                        QRegularExpression::MultilineOption)
                         .match(text)
                         .hasMatch(),
                     qPrintable(number + QStringLiteral(" in\n") + text));
    }

    // The formulas of batch printing are long; the engine's English never reaches the user.
    void longFormulasPrint() {
        Office office;
        office.db.insert("richiesta", {"nome", "cognome"}, {"Anna", "Rossi"});
        QStringList terms;
        for (int i = 0; i < 400; ++i)
            terms << QStringLiteral("{richiesta.nome} = 'x%1'").arg(i);
        const QString text = office.render("richieste.rpt", terms.join(" OR ") + " OR {richiesta.cognome} = 'Rossi'");
        QVERIFY2(text.contains("Rossi"), qPrintable(text));
        const QString nots =
            office.render("richieste.rpt", QString("NOT ").repeated(46) + "{richiesta.cognome} = 'Rossi'");
        QVERIFY2(nots.contains("Rossi"), qPrintable(nots));
    }

    // Prices and budgets print as the property sheet shows them, in the list and in the card.
    void amountsPrintAsTheSheetReadsThem() {
        Office office;
        const auto shown = [&](const StoredAmount& amount) {
            return amount.number ? office.regional.currencyText(*amount.number).replace(QChar(0xA0), QLatin1Char(' '))
                                 : amount.stored.trimmed();
        };
        const QList<StoredAmount>& amounts = storedAmounts();
        QList<qint64> houses;
        for (qsizetype i = 0; i < amounts.size(); ++i) {
            office.db.insert("richiesta", {"nome", "cognome", "prezzo"}, {"Anna", QStringLiteral("Riga%1").arg(i), amounts[i].stored});
            houses << office.db.insert("immobile", {"proprietario", "prezzo"}, {"Rossi", amounts[i].stored});
        }
        const QString list = office.render("richieste.rpt", QString()).replace(QChar(0xA0), QLatin1Char(' '));
        for (qsizetype i = 0; i < amounts.size(); ++i) {
            const QRegularExpression row(QStringLiteral("Riga%1 .*$").arg(i), QRegularExpression::MultilineOption);
            const QString line = row.match(list).captured();
            QVERIFY2(line.contains(shown(amounts[i])), qPrintable(amounts[i].stored + " in\n" + list));
            QCOMPARE(line.contains(QChar(0x20AC)), amounts[i].number.has_value());
        }
        for (qsizetype i = 0; i < amounts.size(); ++i) {
            const QString card = office.render("rapporto.rpt", "{immobile.id} = " + QString::number(houses[i]))
                                     .replace(QChar(0xA0), QLatin1Char(' '));
            QVERIFY2(QRegularExpression(QStringLiteral("Prezzo +%1").arg(QRegularExpression::escape(shown(amounts[i]))))
                         .match(card)
                         .hasMatch(),
                     qPrintable(amounts[i].stored + " in\n" + card));
        }
    }

    void appointmentsOfARangeInDateAndTimeOrder() {
        Office office;
        const QStringList fields{"datap", "ora", "agente", "appuntamento"};
        office.db.insert("agenda", fields, {"2026-03-07", "09:00", "Paola", "ultimo giorno"});
        office.db.insert("agenda", fields, {"2026-03-01", "15:30", "Marco", "primo giorno pomeriggio"});
        office.db.insert("agenda", fields, {"2026-03-01", "09:00", "Giulia", "primo giorno mattina"});
        office.db.insert("agenda", fields, {"2026-03-08", "09:00", "Paola", "fuori periodo"});
        const QString text = office.render(
            "agenda.rpt", "{agenda.datap} >= DateValue (01/03/2026) AND {agenda.datap} <=DateValue (07/03/2026)");
        const qsizetype morning = text.indexOf("primo giorno mattina");
        const qsizetype afternoon = text.indexOf("primo giorno pomeriggio");
        const qsizetype last = text.indexOf("ultimo giorno");
        QVERIFY2(morning >= 0 && morning < afternoon && afternoon < last, qPrintable(text));
        QVERIFY(text.contains("01/03/2026"));
        QVERIFY(!text.contains("fuori periodo"));
    }

    void visitsOfOneProperty() {
        Office office;
        const qint64 house = office.db.insert("immobile", {"proprietario", "indirizzoimmobile", "zona", "prezzo"},
                                              {"Rossi", "Via Roma 1", "Centro", "250000"});
        const qint64 other = office.db.insert("immobile", {"proprietario"}, {"Verdi"});
        const QStringList visit{"idimmobile", "nome", "cognome", "data", "note"};
        office.db.insert("visite", visit, {house, "Anna", "Neri", "02/03/2026", "Piace molto"});
        office.db.insert("visite", visit, {other, "Bruno", "Gialli", "03/03/2026", "Visita altrui"});
        const QString text = office.render("rapporto.rpt", QStringLiteral("{immobile.id} = ") + " " + QString::number(house));
        QVERIFY2(text.contains("Rossi") && text.contains("Via Roma 1") && text.contains("250.000,00"), qPrintable(text));
        QVERIFY(text.contains("Piace molto") && text.contains("Neri"));
        QVERIFY(!text.contains("Verdi"));
        QVERIFY(!text.contains("Visita altrui"));

        const qint64 unvisited = office.db.insert("immobile", {"proprietario"}, {"Bianchi"});
        const QString none = office.render("rapporto.rpt", QStringLiteral("{immobile.id} = ") + " " + QString::number(unvisited));
        QVERIFY(none.contains("Nessuna visita registrata"));
    }

    void longReportsRunOverPagesWithEveryRowOnce() {
        Office office;
        office.db.exec("BEGIN");
        const qint64 house = office.db.insert("immobile", {"proprietario"}, {"Rossi"});
        for (int i = 1; i <= 150; ++i) {
            office.db.insert("richiesta", {"nome", "cognome", "tipo", "mq", "motivo", "note"},
                             {QStringLiteral("Cli%1").arg(i, 3, 10, QChar('0')), "Prova", "Villa", 100, "vendita",
                              i % 10 == 0 ? QString("Una nota lunga che va a capo più volte ").repeated(4) : QString()});
            office.db.insert("visite", {"idimmobile", "nome", "data"},
                             {house, QStringLiteral("Vis%1").arg(i, 3, 10, QChar('0')), "01/03/2026"});
        }
        office.db.exec("COMMIT");

        const QString requests = office.render("richieste.rpt", RequestFormula::build("0", "1000", "vendita", "", office.regional));
        QVERIFY(pages(requests) > 2);
        for (int i = 1; i <= 150; ++i)
            QCOMPARE(requests.count(QStringLiteral("Cli%1").arg(i, 3, 10, QChar('0'))), 1);
        QCOMPARE(requests.count("Nome"), pages(requests));  // the captions on every page

        const QString visits = office.render("rapporto.rpt", "{immobile.id} = " + QString::number(house));
        QVERIFY(pages(visits) > 1);
        for (int i = 1; i <= 150; ++i)
            QCOMPARE(visits.count(QStringLiteral("Vis%1").arg(i, 3, 10, QChar('0'))), 1);
        QCOMPARE(visits.count("Commento"), pages(visits));
    }

    // Texts that come back row after row are shaped once and drawn again; a renderer that
    // painted its preview on the screen first (another resolution) must still print exactly
    // what a fresh one prints, image for image.
    void repeatedTextsPrintTheSameAfterAPreview() {
        Office office;
        office.db.exec("BEGIN");
        for (int i = 1; i <= 120; ++i)
            office.db.insert("richiesta", {"nome", "cognome", "tipo", "mq", "motivo", "prezzo"},
                             {i % 3 ? "Anna" : "Giovanni", QStringLiteral("Cognome%1").arg(i % 7), "Villa", 100 + i % 4,
                              "vendita", "150000"});
        office.db.exec("COMMIT");
        const QString report = office.db.folder().file("richieste.rpt");
        const auto printed = [&](bool previewFirst, const QString& name) {
            std::unique_ptr<ReportRenderer> renderer;
            if (!ReportPreparation::prepare(report, QString(), office.db.path(), office.regional, office.clock.today(), renderer))
                return QList<QImage>();
            if (previewFirst) {
                QImage screen(600, 850, QImage::Format_ARGB32_Premultiplied);
                for (int page = 0; page < renderer->pageCount(); ++page) {
                    QPainter painter(&screen);
                    std::ignore = renderer->paintPage(painter, page);
                }
            }
            const QString pdf = office.db.folder().file(name);
            if (!ReportOutput::writePdf(*renderer, pdf))
                return QList<QImage>();
            QList<QImage> pages;
            QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("50"), pdf,
                                                           pdf + QStringLiteral("-pagina")});
            for (const QString& png : QDir(office.db.folder().path()).entryList({name + QStringLiteral("-pagina*.png")}, QDir::Files, QDir::Name))
                pages << QImage(office.db.folder().file(png));
            return pages;
        };
        const QList<QImage> fresh = printed(false, QStringLiteral("fresca.pdf"));
        const QList<QImage> afterPreview = printed(true, QStringLiteral("anteprima.pdf"));
        QVERIFY(fresh.size() > 1);
        QCOMPARE(afterPreview.size(), fresh.size());
        for (qsizetype page = 0; page < fresh.size(); ++page)
            QCOMPARE(afterPreview[page], fresh[page]);
        QCOMPARE(pdfText(office.db.folder().file("anteprima.pdf")), pdfText(office.db.folder().file("fresca.pdf")));
    }

    // Most widths are estimated from letters and letter pairs, not shaped whole: at a
    // column's edge a text must still wrap exactly when, shaped whole, it is wider.
    void textsAtAColumnsEdgeWrapExactlyWhenWider() {
        Office office;
        office.db.folder().write("bordo.rpt", R"({"title":"Bordo","table":"richiesta","columns":[
            {"field":"nome","width":1},{"field":"cognome","width":3}],"sort":["cognome"]})");
        QFont font(QStringLiteral("DejaVu Sans"));  // the report's body text, 1200 units to the inch
        font.setPixelSize(150);
        font.setHintingPreference(QFont::PreferNoHinting);
        font.setLetterSpacing(QFont::AbsoluteSpacing, 0.05);
        const QFontMetricsF metrics(font);
        const double mm = 1200 / 25.4, cell = 180 * mm / 4 - 2 * 1.2 * mm;
        // Words of a few letters: a column is never narrower than its widest word.
        const QString letters = QStringLiteral("AVAWA TAYLT LYToT aWaVa YoPAà èéìòù FAKTÀ É'«» ").repeated(3);
        QList<int> lengths;
        office.db.exec("BEGIN");
        for (int k = 1; k < letters.size(); ++k)
            if (letters.at(k - 1) != QLatin1Char(' ') &&
                std::abs(metrics.horizontalAdvance(letters.left(k)) - cell) < 3 * metrics.averageCharWidth()) {
                lengths << k;
                office.db.insert("richiesta", {"nome", "cognome"},
                                 {letters.left(k), QStringLiteral("R%1").arg(k, 3, 10, QChar('0'))});
            }
        office.db.exec("COMMIT");
        const QString text = office.render("bordo.rpt", QString());
        int whole = 0;
        for (const int k : lengths) {
            const bool fits = metrics.horizontalAdvance(letters.left(k)) <= cell;
            const QRegularExpression oneLine(QStringLiteral("(^|\\s)%1\\s+R%2(\\s|$)")
                                                 .arg(QRegularExpression::escape(letters.left(k)).replace(" ", " +"))
                                                 .arg(k, 3, 10, QChar('0')),
                                             QRegularExpression::MultilineOption);
            QVERIFY2(oneLine.match(text).hasMatch() == fits, qPrintable(letters.left(k) + QStringLiteral("\n") + text));
            whole += fits;
        }
        QVERIFY(whole > 0 && whole < lengths.size());  // both sides of the edge were tried
    }

    // A row taller than a page goes on over the next pages, cut between two lines, and
    // never over the footer.
    void aRowTallerThanAPageGoesOnOverTheNext() {
        Office office;
        QStringList words;
        for (int i = 1; i <= 1500; ++i)
            words << QStringLiteral("parola%1").arg(i, 4, 10, QChar('0'));
        office.db.insert("richiesta", {"nome", "cognome", "note"}, {"Anna", "Aprima", "breve"});
        office.db.insert("richiesta", {"nome", "cognome", "note"}, {"Bruno", "Blunga", words.join(' ')});
        office.db.insert("richiesta", {"nome", "cognome", "note"}, {"Carla", "Cultima", "dopo"});
        const QString text = office.render("richieste.rpt", QString());
        QVERIFY2(pages(text) >= 3, qPrintable(text));
        qsizetype at = 0;
        for (const QString& word : words) {  // every word once, in order
            QVERIFY2(text.count(word) == 1, qPrintable(word + QStringLiteral(" in\n") + text.left(20000)));
            const qsizetype found = text.indexOf(word);
            QVERIFY2(found > at, qPrintable(word));
            at = found;
        }
        QVERIFY(text.indexOf("Aprima") < text.indexOf("parola0001") && text.indexOf("Cultima") > at);
        for (const QString& page : text.split('\f', Qt::SkipEmptyParts)) {
            // The footer is the page's last line, alone; the captions open every page.
            const QStringList lines = page.trimmed().split('\n');
            QVERIFY2(lines.last().contains(QRegularExpression("^\\s*Pagina \\d+ di \\d+$")), qPrintable(page));
            QVERIFY2(page.contains("Budget"), qPrintable(page));
        }
    }

    // Columns are sized for the words they hold: none is cut or broken inside.
    void wordsStayWholeInTheirColumns() {
        Office office;
        const QStringList fields{"nome", "cognome", "telefono", "tipo", "motivo", "mq", "prezzo", "note"};
        office.db.insert("richiesta", fields,
                         {"Anna", "Rossi", "333 1234567", "Appartamento", "VENDITA", 120, "1.250.000", "Quadrilocale"});
        office.db.insert("richiesta", fields, {"Bruno", "Bianchi", "", "Monolocale", "affitto", 40, "700", ""});
        const QString text = office.render("richieste.rpt", QString());
        for (const char* word : {"Appartamento", "VENDITA", "Quadrilocale", "Monolocale", "affitto", "Telefono"})
            QVERIFY2(text.contains(QRegularExpression(QStringLiteral("(^|\\s)%1(\\s|$)").arg(word))),
                     qPrintable(word + QStringLiteral(" in\n") + text));
        QVERIFY2(text.contains(QRegularExpression("Rossi .*Appartamento .*VENDITA .*1\\.250\\.000,00")), qPrintable(text));

        // Too many long words for the page: the columns share it, nothing past its edge.
        office.db.folder().write("larga.rpt", R"({"title":"Larga","table":"richiesta","columns":[
            {"field":"nome"},{"field":"cognome"},{"field":"telefono"},{"field":"tipo"},{"field":"note"}]})");
        const QString longWord = QString("Precipitevolissimevolmente").repeated(2);
        for (const char* field : {"nome", "cognome", "telefono", "tipo", "note"})
            office.db.exec(QStringLiteral("UPDATE richiesta SET %1 = '%2'").arg(field, longWord));
        std::unique_ptr<ReportRenderer> renderer;
        QVERIFY(ReportPreparation::prepare(office.db.folder().file("larga.rpt"), QString(), office.db.path(),
                                           office.regional, office.clock.today(), renderer));
        const QString pdf = office.db.folder().file("larga.pdf");
        QVERIFY(ReportOutput::writePdf(*renderer, pdf));
        QCOMPARE(pdfText(pdf).count('v'), 2 * 5 * 4);  // every piece of every cell of the two rows is printed
        const QList<PdfWord> words = pdfWords(pdf);
        QVERIFY(!words.isEmpty());
        for (const PdfWord& word : words)  // A4 is 595 points wide, the margins 15 mm (42.5 points)
            QVERIFY2(word.box.left() >= 42 && word.box.right() <= 595.3 - 42, qPrintable(word.text));
    }

    void anEmptySelectionStillPrintsOnePage() {
        Office office;
        const QString text = office.render("agenda.rpt", "{agenda.datap} >= DateValue (01/03/2026)");
        QVERIFY(text.contains("Nessun appuntamento"));
        QCOMPARE(pages(text), 1);
    }

    void reportFilesAreFoundByNameOrPath() {
        Office office;
        ReportControl control(office.context);
        QString path;

        control.setReportFile("scheda.rpt");  // beside the database
        QVERIFY(control.resolve(path).ok());
        QCOMPARE(path, office.db.folder().file("scheda.rpt"));
        if (office.db.isPostgres())
            QSKIP("the rest moves the database file; a server's desk has only its program folder");

        QDir().mkpath(office.db.folder().file("dati"));
        QVERIFY(QFile::rename(office.db.path(), office.db.folder().file("dati/archivio.sqlite")));
        control.setDatabasePath(office.db.folder().file("dati/archivio.sqlite"));
        QFile::copy(office.db.folder().file("agenda.rpt"), office.db.folder().file("dati/agenda.rpt"));
        control.setReportFile("agenda.rpt");
        QVERIFY(control.resolve(path).ok());
        QCOMPARE(path, office.db.folder().file("dati/agenda.rpt"));  // the database folder first
        control.setReportFile("richieste.rpt");
        QVERIFY(control.resolve(path).ok());
        QCOMPARE(path, office.db.folder().file("richieste.rpt"));  // then the program folder

        control.setReportFile(office.db.folder().file("dati//agenda.rpt"));  // a full path, doubled separator
        QVERIFY(control.resolve(path).ok());

        control.setReportFile("manca.rpt");
        const Result missing = control.resolve(path);
        QVERIFY(!missing.ok());
        QVERIFY2(missing.message().contains("manca.rpt") && missing.message().contains(office.db.folder().file("dati")),
                 qPrintable(missing.message()));
        QVERIFY(!control.start().ok());
    }

    void aBadFormulaPrintsNothing() {
        Office office;
        ReportControl control(office.context);
        control.setReportFile("scheda.rpt");
        control.setSelectionFormula("{richiesta.tipo} LIKE'*casa d'epoca*'");  // an apostrophe breaks the text
        const Result started = control.start();
        QVERIFY(!started.ok());
        QVERIFY2(started.message().contains("carattere"), qPrintable(started.message()));
        QVERIFY(!control.preview());
    }

    void thePreviewShowsPagesAndPrints() {
        Office office;
        const qint64 house = office.db.insert("immobile", {"proprietario"}, {"Rossi"});
        ReportControl control(office.context);
        control.setReportFile(office.db.folder().file("rapporto.rpt"));
        QVERIFY(control.load().ok());
        control.setSelectionFormula("{immobile.id} =  " + QString::number(house));
        QVERIFY(control.start().ok());
        ReportPreview* preview = control.preview();
        QVERIFY(preview);
        QCOMPARE(preview->windowTitle(), QStringLiteral("ANTEPRIMA DI STAMPA"));
        QCOMPARE(preview->pageCount(), 1);
        // It opens fitted to the width: the page fills the room it is shown in.
        QVERIFY(QTest::qWaitForWindowExposed(preview));
        QCoreApplication::processEvents();
        const int room = preview->findChild<QScrollArea*>()->viewport()->width();
        QVERIFY2(preview->pageImage().width() > room * 8 / 10,
                 qPrintable(QStringLiteral("%1 of %2").arg(preview->pageImage().width()).arg(room)));
        const QImage page = preview->pageImage();
        QVERIFY(!page.isNull());
        QVERIFY(page.height() > page.width());  // portrait A4
        // Ink on the page: the title row is not blank.
        int dark = 0;
        for (int x = 0; x < page.width(); ++x)
            for (int y = 0; y < page.height() / 8; ++y)
                dark += qGray(page.pixel(x, y)) < 128;
        QVERIFY(dark > 100);

        // Printing on the default printer.
        office.printing.outputFile = office.db.folder().file("stampante.pdf");
        preview->printButton()->click();
        QVERIFY(pdfText(office.printing.outputFile).contains("Rossi"));

        // With no printer it says so and offers a PDF; cancelled, nothing is written.
        office.printing.outputFile.clear();
        preview->printButton()->click();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.messages[0].contains("stampante"));
        office.dialogs.answers.enqueue(office.db.folder().file("salvato"));
        preview->printButton()->click();
        QVERIFY(pdfText(office.db.folder().file("salvato.pdf")).contains("Rossi"));
        preview->close();
    }

    // Thousands of rows show their progress; stopped, nothing opens and no PDF is written.
    void aLongReportShowsProgressAndStopsWithNothingWritten() {
        Office office;
        office.db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                       "INSERT INTO richiesta (nome, cognome, tipo, mq, motivo) SELECT 'Cli' || i, 'Prova', 'Villa', 100, "
                       "'vendita' FROM n");
        ReportControl control(office.context);
        control.setReportFile("richieste.rpt");
        office.dialogs.stopProgressAfter = 3;
        QVERIFY(control.start().ok());
        QVERIFY(!control.preview());
        QCOMPARE(office.dialogs.progressLabels, QStringList{"Preparazione della stampa… (annullabile)"});
        QVERIFY(office.dialogs.messages.isEmpty());

        office.dialogs.stopProgressAfter = -1;
        office.dialogs.progressSteps = 0;
        QVERIFY(control.start().ok());
        ReportPreview* preview = control.preview();
        QVERIFY(preview);
        QVERIFY(preview->pageCount() > 50);
        QCOMPARE(office.dialogs.progressSteps, preview->pageCount() - 1);  // one step per page found

        const QString pdf = office.db.folder().file("richieste.pdf");
        office.dialogs.progressSteps = 0;
        office.dialogs.stopProgressAfter = 10;
        office.dialogs.answers.enqueue(pdf);
        preview->pdfButton()->click();
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(QDir(office.db.folder().path()).entryList({"richieste.pdf*"}), QStringList());
        QVERIFY(office.dialogs.messages.isEmpty());
        QCOMPARE(office.dialogs.progressLabels.constLast(),
                 QStringLiteral("Salvataggio di «Elenco delle richieste» in PDF… (annullabile)"));

        office.dialogs.stopProgressAfter = -1;
        office.dialogs.answers.enqueue(pdf);
        preview->pdfButton()->click();
        QCOMPARE(pages(pdfText(pdf)), preview->pageCount());
        preview->close();
    }

    void theShippedFilesArePlacedWhereMissingAndKeptWhereEdited() {
        TestFolder folder;
        folder.write("agenda.rpt", "{ \"mia\": true }");
        QVERIFY(ReportFiles::placeMissing(folder.path()).ok());
        for (const QString& name : ReportFiles::names())
            QVERIFY(QFile::exists(folder.file(name)));
        QCOMPARE(folder.read("agenda.rpt"), QByteArray("{ \"mia\": true }"));
        QVERIFY(!ReportFiles::placeMissing(folder.file("manca")).ok());
    }

    void brokenReportFilesAreExplained() {
        TestFolder folder;
        ReportDefinition definition;
        const auto refused = [&](const QByteArray& json) {
            const Result r = ReportDefinition::parse(json, "prova.rpt", definition);
            return r.ok() ? QString() : r.message();
        };
        QVERIFY(refused("non json").contains("prova.rpt"));
        QVERIFY(refused(R"({"title":"x","table":"case","columns":[{"field":"id"}]})").contains("case"));
        QVERIFY(refused(R"({"title":"x","table":"agenda","columns":[{"field":"quando"}]})").contains("quando"));
        QVERIFY(refused(R"({"title":"x","table":"agenda","columns":[]})").contains("colonne"));
        QVERIFY(refused(R"({"title":"x","table":"agenda","columns":[{"field":"ora"}],"destination":"fax"})").contains("fax"));
        QVERIFY(refused(R"({"title":"x","table":"agenda","columns":[{"field":"ora","width":0}]})").contains("larghezza"));
        QCOMPARE(refused(R"({"title":"x","table":"Agenda","columns":[{"field":"ORA"}]})"), QString());

        // Files edited by hand: each fault is named by its key.
        QVERIFY(refused("[]").contains("non è un oggetto"));
        QVERIFY(refused(R"({"table":"agenda","columns":[{"field":"ora"}]})").contains("«title»"));
        QVERIFY(
            refused(R"({"titel":"x","title":"x","table":"agenda","columns":[{"field":"ora"}]})").contains("«titel»"));
        QVERIFY(refused(R"({"title":"x","table":"agenda","columns":[{"field":"ora","widht":3}]})").contains("«widht»"));
        QVERIFY(
            refused(R"({"title":"x","table":"agenda","columns":[{"field":"ora","width":"abc"}]})").contains("«width»"));
        QVERIFY(
            refused(R"({"title":"x","table":"agenda","columns":[{"field":"ora","width":1e308}]})").contains("«width»"));
        QVERIFY(refused(R"({"title":"x","table":"agenda","columns":{"field":"ora"}})").contains("«columns»"));
        QVERIFY(refused(R"({"title":"x","table":"agenda","columns":["ora"]})").contains("colonna 1"));
        QVERIFY(refused(R"({"title":"x","table":"agenda","columns":[{"caption":"Ora"}]})").contains("«field»"));
        QVERIFY(
            refused(R"({"title":"x","table":"agenda","columns":[{"field":"ora"}],"sort":"ora"})").contains("«sort»"));
        QVERIFY(refused(R"({"title":"x","table":"immobile","layout":"record","columns":[{"field":"id"}],
                            "detail":{"table":"visite","key":"idimmobile","colums":[]}})")
                    .contains("«colums»"));
    }
};

QTEST_MAIN(ReportTest)
#include "tst_report.moc"
