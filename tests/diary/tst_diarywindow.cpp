#include "Controls.h"
#include "PdfText.h"
#include "TestContext.h"
#include "data/folder/ReportFiles.h"
#include "data/folder/ReportFiles.h"
#include "data/store/RecordSource.h"
#include "data/store/RecordSource.h"
#include "diary/DiaryWindow.h"
#include "forms/controls/BoundGrid.h"
#include "forms/controls/CaptionButton.h"
#include "forms/controls/NavigationBar.h"
#include "forms/report/ReportControl.h"
#include "forms/report/ReportControl.h"
#include "forms/report/ReportPreview.h"
#include "forms/report/ReportPreview.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/PictureBox.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace {

// The controls of form_agenda that the tests drive, found by their names.
struct DiaryControls {
    explicit DiaryControls(const QWidget& window) : m_window(window) {}
    const QWidget& m_window;
    CONTROL(QLineEdit, Text1);
    CONTROL(QLineEdit, Text2);
    CONTROL(QLineEdit, Text3);
    CONTROL(QPlainTextEdit, Text4);
    CONTROL(QPlainTextEdit, Text5);
    CONTROL(QLineEdit, Text6);
    CONTROL(QLineEdit, Text7);
    CONTROL(CaptionButton, Command1);
    CONTROL(CaptionButton, Command2);
    CONTROL(CaptionButton, Command3);
    CONTROL(CaptionButton, Command4);
    CONTROL(CaptionButton, Command6);
    CONTROL(QToolButton, Command7);
    CONTROL(NavigationBar, Data1);
    CONTROL(BoundGrid, DBGrid1);
    CONTROL(QLabel, DBGrid1Caption);
};

// An office with appointments around the first week of March 2026 and around the
// turn of 2027 into 2028, and the diary open on it.
struct DiaryOffice : TestOffice {
    std::unique_ptr<DiaryWindow> window;
    std::unique_ptr<DiaryControls> controls;

    explicit DiaryOffice(const QDate& today = QDate(2026, 3, 5)) : TestOffice(QDateTime(today, QTime(9, 0))) {
        const QStringList fields{"datap", "ora", "agente", "appuntamento"};
        const QList<std::pair<const char*, const char*>> days = {{"2026-02-26", "prima del periodo"},
                                                                 {"2026-02-27", "primo giorno"},
                                                                 {"2026-02-28", "sabato"},
                                                                 {"2026-03-01", "domenica"},
                                                                 {"2026-03-07", "sabato dopo"},
                                                                 {"2026-03-08", "domenica dopo"},
                                                                 {"2026-03-11", "ultimo giorno"},
                                                                 {"2026-03-12", "dopo il periodo"},
                                                                 {"2027-12-27", "prima di fine anno"},
                                                                 {"2027-12-28", "fine anno"},
                                                                 {"2028-01-09", "inizio anno"},
                                                                 {"2028-01-10", "dopo inizio anno"},
                                                                 {"07/03/2026", "scritta alla vecchia"}};
        for (const auto& [day, what] : days)
            db.insert("agenda", fields, {day, "09:00", "Paola", what});
        if (!ReportFiles::placeMissing(db.folder().path()))
            qFatal("cannot place the reports");
        window = std::make_unique<DiaryWindow>(context);
        controls = std::make_unique<DiaryControls>(*window);
    }
    const DiaryControls& ui() const { return *controls; }
    RecordSource* data1() const { return window->findChild<RecordSource*>(QStringLiteral("Data1")); }
    QStringList listed() const {
        QStringList what;
        for (int row = 0; row < ui().DBGrid1->model()->rowCount(); ++row)
            what << ui().DBGrid1->model()->index(row, 4).data().toString();
        return what;
    }
    bool entering() const { return !ui().Command1->isEnabled() && ui().Command2->isEnabled(); }
    void setRange(const QString& first, const QString& last) {
        ui().Text6->setText(first);
        ui().Text7->setText(last);
    }
    void show() {
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    // The printout on screen, saved as PDF: its text ("" with no printout); the preview closes.
    QString printedText() {
        ReportPreview* preview = window->findChild<ReportControl*>("Report1")->preview();
        if (!preview)
            return {};
        const QString pdf = db.folder().file("agenda.pdf");
        dialogs.answers.enqueue(pdf);
        preview->pdfButton()->click();
        preview->close();
        return pdfText(pdf);
    }
};

void type(QWidget* field, const QString& text) {
    field->setFocus();
    QTest::keyClicks(field, text);
}

} // namespace

class DiaryWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Artwork::initialise(); }

    void opensOnTheThirteenDaysAroundToday_data() {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("5 March 2026") << QDate(2026, 3, 5) << "27/02/2026"
                                      << "11/03/2026" << QStringList{"primo giorno",  "sabato",        "domenica",
                                                                     "sabato dopo",   "domenica dopo", "ultimo giorno",
                                                                     "scritta alla vecchia"};
        QTest::newRow("3 January 2028") << QDate(2028, 1, 3) << "28/12/2027"
                                        << "09/01/2028" << QStringList{"fine anno", "inizio anno"};
        QTest::newRow("5 March 2028, leap year") << QDate(2028, 3, 5) << "28/02/2028"
                                                 << "11/03/2028" << QStringList{};
    }

    void opensOnTheThirteenDaysAroundToday() {
        QFETCH(QDate, today);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QStringList, listed);
        DiaryOffice office(today);
        const DiaryControls& ui = office.ui();
        QCOMPARE(office.window->objectName(), QStringLiteral("form_agenda"));
        QCOMPARE(office.window->windowTitle(), QStringLiteral("   ---   AGENDA    ---"));
        QCOMPARE(ui.Text6->text(), first);
        QCOMPARE(ui.Text7->text(), last);
        QCOMPARE(office.data1()->recordSource().text(),
                 "SELECT * FROM agenda WHERE datap BETWEEN #" + first + "# AND #" + last + "# ");
        QCOMPARE(ui.DBGrid1Caption->text(), "APPUNTAMENTI DAL " + first + " AL " + last);
        QCOMPARE(office.listed(), listed);
        QCOMPARE(ui.Data1->caption(), QStringLiteral("           AGENDA"));
        QVERIFY(ui.Command1->isEnabled() && !ui.Command2->isEnabled());
        QVERIFY(!(ui.DBGrid1->model()->flags(ui.DBGrid1->model()->index(0, 0)) & Qt::ItemIsEditable) ||
                listed.isEmpty());
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    void theKeyboardGoesThroughTheWindowInOrder() {
        DiaryOffice office;
        const DiaryControls& ui = office.ui();
        office.show();
        ui.Text1->setFocus();
        const QList<QWidget*> order{ui.Text2, ui.Text3, ui.Text4,    ui.Text5,    ui.DBGrid1,  ui.Command1, ui.Command3,
                                    ui.Text6, ui.Text7, ui.Command4, ui.Command6, ui.Command7, ui.Text1};
        for (QWidget* next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    void aNewAppointmentIsSavedWithTodayAndMidnight() {
        DiaryOffice office;
        const DiaryControls& ui = office.ui();
        office.show();
        ui.Command1->click();
        QVERIFY(office.entering());
        QCOMPARE(ui.Text1->text(), QStringLiteral("05/03/2026"));
        QCOMPARE(ui.Text2->text(), QStringLiteral("00:00"));
        QCOMPARE(QApplication::focusWidget(), ui.Text1);
        type(ui.Text3, "Marco");
        type(ui.Text4, "Visita al bilocale");
        ui.Command2->click();

        QVERIFY(!office.entering());
        const qint64 key = office.data1()->currentKey().value_or(-1);
        QCOMPARE(office.db.value("agenda", key, "datap").toString(), QStringLiteral("2026-03-05"));
        QCOMPARE(office.db.value("agenda", key, "ora").toString(), QStringLiteral("00:00"));
        QCOMPARE(ui.Text4->toPlainText(), QStringLiteral("Visita al bilocale"));
        QCOMPARE(office.data1()->currentRow(), office.listed().size() - 1);
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    void deletingTheFirstRowLeavesNoCurrentAppointment() {
        DiaryOffice office;
        office.ui().Command3->click();
        QCOMPARE(office.db.count("agenda"), 12);
        QVERIFY(!office.data1()->hasCurrent());
        QCOMPARE(office.ui().Text4->toPlainText(), QString());
        QCOMPARE(office.listed().size(), 6);
    }

    void theRangeSearchIncludesBothDaysAndTheFullListAll() {
        DiaryOffice office;
        const DiaryControls& ui = office.ui();
        office.setRange("01/03/2026", "07/03/2026");
        ui.Command4->click();
        QCOMPARE(office.data1()->recordSource().text(),
                 QStringLiteral("SELECT * FROM agenda WHERE datap BETWEEN #01/03/2026# AND #07/03/2026# "));
        QCOMPARE(ui.DBGrid1Caption->text(), QStringLiteral("APPUNTAMENTI DAL 01/03/2026 AL 07/03/2026"));
        // The last day kept in the old written form is that day too.
        QCOMPARE(office.listed(), (QStringList{"domenica", "sabato dopo", "scritta alla vecchia"}));
        QCOMPARE(ui.Text4->toPlainText(), QStringLiteral("domenica"));

        office.setRange("1-3-2026", "1-3-2026"); // another written form goes in as typed
        ui.Command4->click();
        QCOMPARE(ui.DBGrid1Caption->text(), QStringLiteral("APPUNTAMENTI DAL 1-3-2026 AL 1-3-2026"));
        QCOMPARE(office.listed(), QStringList{"domenica"});

        office.setRange("07/03/2026", "01/03/2026"); // backwards: nothing, and no complaint
        ui.Command4->click();
        QCOMPARE(ui.DBGrid1Caption->text(), QStringLiteral("APPUNTAMENTI DAL 07/03/2026 AL 01/03/2026"));
        QCOMPARE(office.listed(), QStringList{});

        ui.Command6->click();
        QCOMPARE(office.data1()->recordSource().text(), QStringLiteral("SELECT * FROM agenda "));
        QCOMPARE(ui.DBGrid1Caption->text(), QStringLiteral("TUTTI GLI APPUNTAMENTI DELL'AGENDA"));
        QCOMPARE(office.listed().size(), 13);
        QCOMPARE(office.listed().last(), QStringLiteral("scritta alla vecchia"));
        QCOMPARE(ui.DBGrid1->model()->index(12, 1).data().toString(), QStringLiteral("07/03/2026"));
        QCOMPARE(ui.Text6->text(), QStringLiteral("07/03/2026"));
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    // Dates the program can read, whatever form they are kept in, are in the range and on
    // paper; the grid shows each as kept (only an ISO day in the regional form).
    void everyReadableDateIsFoundAndShownAsKept() {
        DiaryOffice office(QDate(2026, 12, 3));
        const DiaryControls& ui = office.ui();
        const QList<std::pair<const char*, const char*>> days = {
            {"2/12/2026", "scritta corta"},   {"04/12/2026", "scritta col giorno"}, {"2026-12-03 10:00:00", "con l'ora"},
            {" 1.12.26", "coi punti"},        {"2026-12-05", "il giorno dopo"},     {"31/02/2026", "non è una data"},
            {"5/12/2026", "dopo, corta"},     {"30/11/2026", "prima"}};
        for (const auto& [day, what] : days)
            office.db.insert("agenda", {"datap", "agente", "appuntamento"}, {day, "Paola", what});
        office.setRange("01/12/2026", "04/12/2026");
        ui.Command4->click();
        QCOMPARE(office.listed(),
                 (QStringList{"scritta corta", "scritta col giorno", "con l'ora", "coi punti"}));
        QAbstractItemModel* grid = ui.DBGrid1->model();
        QCOMPARE(grid->index(0, 1).data().toString(), QStringLiteral("2/12/2026"));
        QCOMPARE(grid->index(2, 1).data().toString(), QStringLiteral("2026-12-03 10:00:00"));
        QCOMPARE(ui.Text1->text(), QStringLiteral("2/12/2026"));
        ui.Command6->click();
        QCOMPARE(grid->index(13 + 4, 1).data().toString(), QStringLiteral("05/12/2026")); // ISO, regional form
        QVERIFY(office.dialogs.messages.isEmpty());

        ui.Command7->click();
        const QString text = office.printedText();
        for (const char* listed : {"scritta corta", "scritta col giorno", "con l'ora", "coi punti"})
            QVERIFY2(text.contains(QString::fromUtf8(listed)), qPrintable(text));
        for (const char* left : {"il giorno dopo", "non è una data", "dopo, corta", "prima"})
            QVERIFY2(!text.contains(QString::fromUtf8(left)), qPrintable(text));
    }

    void theGridShowsEveryColumnAtTheWindowsSize() {
        DiaryOffice office;
        office.show();
        BoundGrid* grid = office.ui().DBGrid1;
        QCOMPARE(grid->horizontalScrollBar()->maximum(), 0);
        const int last = grid->model()->columnCount() - 1; // "NOTE"
        QVERIFY(grid->columnViewportPosition(last) + 40 <= grid->viewport()->width());
        QVERIFY(grid->columnWidth(0) >= grid->fontMetrics().horizontalAdvance(grid->model()->index(0, 0).data().toString()));
    }

    void anUnreadableRangeIsSaidAndChangesNothing() {
        DiaryOffice office;
        const DiaryControls& ui = office.ui();
        const QString caption = ui.DBGrid1Caption->text();
        const QStringList before = office.listed();
        const QString query = office.data1()->recordSource().text();

        office.setRange("", "11/03/2026");
        ui.Command4->click();
        office.setRange("27/02/2026", "ieri");
        ui.Command7->click();
        office.setRange("31/02/2026", "11/03/2026");
        QTest::keyClick(ui.Text7, Qt::Key_Return); // Enter in a box searches too
        QCOMPARE(office.dialogs.messages,
                 (QStringList{"Ricerca non eseguita: «Dal» è vuoto, serve una data come 01/03/2026.",
                              "Stampa non eseguita: «Al» vale «ieri», che non è una data come 01/03/2026.",
                              "Ricerca non eseguita: «Dal» vale «31/02/2026», che non è una data come 01/03/2026."}));
        QCOMPARE(ui.DBGrid1Caption->text(), caption);
        QCOMPARE(office.listed(), before);
        QCOMPARE(office.data1()->recordSource().text(), query);
        QVERIFY(!office.window->findChild<ReportControl*>("Report1")->preview());
    }

    void thePrintoutShowsItsFormulaAndPrintsTheRangeInTheBoxes() {
        DiaryOffice office;
        const DiaryControls& ui = office.ui();
        ui.Command6->click(); // the grid shows everything; the printout still follows the boxes
        office.setRange("1-3-2026", "07/03/2026");
        ui.Command7->click();
        QCOMPARE(office.dialogs.messages,
                 QStringList{"{agenda.datap} >= DateValue (01/03/2026) AND {agenda.datap} <=DateValue (07/03/2026)"});
        ReportPreview* preview = office.window->findChild<ReportControl*>("Report1")->preview();
        QVERIFY(preview);
        const QString pdf = office.db.folder().file("agenda.pdf");
        office.dialogs.answers.enqueue(pdf);
        preview->pdfButton()->click();
        const QString text = pdfText(pdf);
        QVERIFY2(text.contains("domenica") && text.contains("sabato dopo"), qPrintable(text));
        QCOMPARE(text.count("sabato"), 1); // 28 February is outside
        QVERIFY(!text.contains("domenica dopo") && !text.contains("primo giorno"));
        QVERIFY(text.contains("01/03/2026") && text.contains("07/03/2026"));
        preview->close();
        QCOMPARE(ui.DBGrid1Caption->text(), QStringLiteral("TUTTI GLI APPUNTAMENTI DELL'AGENDA"));
    }

    void thePrintoutWritesTheCardFirst() {
        DiaryOffice office;
        const DiaryControls& ui = office.ui();
        office.setRange("01/03/2026", "07/03/2026");
        ui.Command4->click();
        ui.Text3->selectAll();
        type(ui.Text3, "Marta"); // on the card, not yet stored
        ui.Command7->click();
        QCOMPARE(office.db.value("agenda", *office.data1()->currentKey(), "agente").toString(), QStringLiteral("Marta"));
        const QString text = office.printedText();
        QVERIFY2(text.contains("Marta"), qPrintable(text));

        // An entry that cannot be written is said, and nothing is printed.
        ui.Text1->selectAll();
        type(ui.Text1, "31/02/2026");
        office.dialogs.messages.clear();
        ui.Command7->click();
        QCOMPARE(office.dialogs.messages.size(), 1); // not followed by the formula: no printout
        QVERIFY(office.dialogs.messages[0].contains("«31/02/2026»"));
        QCOMPARE(ui.Text1->text(), QStringLiteral("31/02/2026"));
    }

    void theSaveIconIsTheOneOfTheOtherRegisters() {
        DiaryOffice office;
        QCOMPARE(office.window->findChild<PictureBox*>("Picture3")->image(),
                 Artwork::picture(QStringLiteral(":/icons/01-cartella.svg")));
    }

    void anUnreadableDateInTheCardIsRefusedAndKept() {
        DiaryOffice office;
        const DiaryControls& ui = office.ui();
        ui.Command1->click();
        ui.Text1->selectAll();
        type(ui.Text1, "31/02/2026");
        type(ui.Text3, "Giulia");
        ui.Command2->click();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY2(office.dialogs.messages[0].contains("«31/02/2026»") && office.dialogs.messages[0].contains("«Data»"),
                 qPrintable(office.dialogs.messages[0]));
        QVERIFY(office.entering());
        QCOMPARE(ui.Text1->text(), QStringLiteral("31/02/2026"));
        QCOMPARE(ui.Text3->text(), QStringLiteral("Giulia"));
        QCOMPARE(office.db.count("agenda"), 13);
    }

    void escapeInEveryState() {
        DiaryOffice office;
        const DiaryControls& ui = office.ui();
        office.show();
        // Browsing, with an edit typed: Esc takes the edit back.
        type(ui.Text3, "X");
        QTest::keyClick(ui.Text3, Qt::Key_Escape);
        QCOMPARE(ui.Text3->text(), QStringLiteral("Paola"));
        // Entering: Esc drops the new appointment.
        ui.Command1->click();
        QTest::keyClicks(ui.Text1, "1");
        QTest::keyClick(ui.Text1, Qt::Key_Escape);
        QVERIFY(!office.entering());
        QCOMPARE(office.db.count("agenda"), 13);
        QCOMPARE(ui.Text4->toPlainText(), QStringLiteral("primo giorno"));
        // Browsing with nothing pending: nothing happens.
        QTest::keyClick(ui.Text6, Qt::Key_Escape);
        QVERIFY(office.window->isVisible());
        QVERIFY(office.dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(DiaryWindowTest)
#include "tst_diarywindow.moc"
