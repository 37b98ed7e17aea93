#include "Controls.h"
#include "TestContext.h"
#include "data/store/RecordSource.h"
#include "forms/controls/BoundGrid.h"
#include "forms/controls/CaptionButton.h"
#include "forms/controls/NavigationBar.h"
#include "leads/LeadWindow.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/PictureBox.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QToolButton>
#include <QTest>
#include <memory>

namespace {

// The controls of form_notizie that the tests drive, found by their names.
struct LeadControls {
    explicit LeadControls(const QWidget& window) : m_window(window) {}
    const QWidget& m_window;
    CONTROL(QLineEdit, Text1);
    CONTROL(QPlainTextEdit, Text2);
    CONTROL(QLineEdit, Text3);
    CONTROL(QLineEdit, Text4);
    CONTROL(QLineEdit, Text5);
    CONTROL(QLineEdit, Text6);
    CONTROL(QLineEdit, Text7);
    CONTROL(CaptionButton, Command1);
    CONTROL(CaptionButton, Command2);
    CONTROL(CaptionButton, Command3);
    CONTROL(PictureBox, Picture3);
    CONTROL(PictureBox, Picture4);
    CONTROL(BoundGrid, DBGrid1);
};

// An office with three leads, the second kept with its date in an older written form,
// and the leads register open on it.
struct LeadOffice : TestOffice {
    QList<qint64> keys;
    std::unique_ptr<LeadWindow> window;
    std::unique_ptr<LeadControls> controls;

    LeadOffice() {
        const QStringList fields{"data", "notizia", "fonte", "telefono", "svilutto"};
        keys << db.insert("notizie", fields,
                          {"2026-11-30", "Villa in vendita in via Murri", "portiere", "051 111", ""});
        keys << db.insert("notizie", fields,
                          {"maggio 2025", "Casa dell'avvocato D'Amico", "giornale", "333 222", "chiamato"});
        keys << db.insert("notizie", fields, {"2026-12-01", "Attico libero a Saragozza", "cliente", "051 333", ""});
        window = std::make_unique<LeadWindow>(context);
        controls = std::make_unique<LeadControls>(*window);
    }
    const LeadControls& ui() const { return *controls; }
    RecordSource* data1() const { return window->findChild<RecordSource*>(QStringLiteral("Data1")); }
    QString lead() const { return ui().Text2->toPlainText(); }
    bool entering() const { return !ui().Command1->isEnabled() && ui().Command2->isEnabled(); }
    void show() {
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
};

void type(QWidget* field, const QString& text) {
    field->setFocus();
    QTest::keyClicks(field, text);
}

} // namespace

class LeadWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Artwork::initialise(); }

    void opensOnTheWholeTable() {
        LeadOffice office;
        const LeadControls& ui = office.ui();
        QCOMPARE(office.window->objectName(), QStringLiteral("form_notizie"));
        QCOMPARE(office.window->windowTitle(), QStringLiteral("    ---   GESTIONE NOTIZIE   ---"));
        QCOMPARE(office.data1()->recordSource().text(), QStringLiteral("notizie"));
        QCOMPARE(ui.DBGrid1->model()->rowCount(), 3);
        QCOMPARE(office.lead(), QStringLiteral("Villa in vendita in via Murri"));
        QCOMPARE(ui.Text1->text(), QStringLiteral("30/11/2026")); // ISO kept, shown in the short form
        QCOMPARE(ui.DBGrid1->model()->index(1, 1).data().toString(), QStringLiteral("maggio 2025")); // shown as kept
        QVERIFY(ui.Command1->isEnabled());
        QVERIFY(!ui.Command2->isEnabled());
        QVERIFY(ui.Text6->text().isEmpty() && ui.Text7->text().isEmpty());
        QVERIFY(!(ui.DBGrid1->model()->flags(ui.DBGrid1->model()->index(0, 0)) & Qt::ItemIsEditable));
        QVERIFY(ui.DBGrid1->model()->flags(ui.DBGrid1->model()->index(0, 2)) & Qt::ItemIsEditable);
        QCOMPARE(ui.DBGrid1->palette().color(QPalette::Base), QColor(255, 255, 128));
        QVERIFY(office.dialogs.messages.isEmpty());

        // The keyboard's way through the window.
        office.show();
        ui.Text1->setFocus();
        const QList<QWidget*> order{ui.Text2, ui.Text3, ui.Text4,    ui.Text5, ui.DBGrid1, ui.Command1,
                                    ui.Text6, ui.Text7, ui.Command3, ui.Text1}; // Command2 is disabled while browsing
        for (QWidget* next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    void aDateKeptInAnotherFormIsNeverLost() {
        LeadOffice office;
        QAbstractItemModel* grid = office.ui().DBGrid1->model();
        QVERIFY(grid->setData(grid->index(1, 1), "maggio 2025")); // an editor closed unchanged
        QVERIFY(!office.data1()->hasPendingEdit());
        QVERIFY(grid->setData(grid->index(1, 4), "333 999")); // another field of the same lead
        emit office.ui().Picture3->clicked(); // the save icon while browsing: writes, runs the query again
        QCOMPARE(office.db.value("notizie", office.keys[1], "telefono").toString(), QStringLiteral("333 999"));
        QCOMPARE(office.db.value("notizie", office.keys[1], "data").toString(), QStringLiteral("maggio 2025"));
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    void aNewLeadIsSavedWithTodaysDateAndBecomesTheLast() {
        LeadOffice office;
        const LeadControls& ui = office.ui();
        office.show();
        ui.Command1->click();
        QVERIFY(office.entering());
        QCOMPARE(ui.Text1->text(), QStringLiteral("06/12/2026"));
        QCOMPARE(office.lead(), QString());
        QCOMPARE(QApplication::focusWidget(), ui.Text2);
        QTest::keyClicks(ui.Text2, "Negozio in via Zamboni");
        type(ui.Text4, "051 444");
        ui.Command2->click();

        QVERIFY(!office.entering());
        QCOMPARE(office.db.count("notizie"), 4);
        const qint64 key = office.data1()->currentKey().value_or(-1);
        QVERIFY(key > office.keys[2]);
        QCOMPARE(office.db.value("notizie", key, "data").toString(), QStringLiteral("2026-12-06"));
        QCOMPARE(office.lead(), QStringLiteral("Negozio in via Zamboni"));
        QCOMPARE(office.data1()->currentRow(), 3);
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    // Another desk stores a lead between this desk's save and its move to the last row.
    void aNewLeadStaysOnTheCardWhenAnotherDeskAddedOneMeanwhile() {
        LeadOffice office;
        const LeadControls& ui = office.ui();
        qint64 theirs = 0;
        connect(office.data1(), &RecordSource::newRecordWritten, this, [&] {
            if (!theirs)
                theirs = office.db.insert("notizie", {"notizia"}, {"Notizia dell'altra postazione"});
        });
        ui.Command1->click();
        type(ui.Text2, "Negozio in via Zamboni");
        ui.Command2->click();
        QVERIFY(theirs > 0);
        QCOMPARE(office.lead(), QStringLiteral("Negozio in via Zamboni"));
        QVERIFY(office.data1()->currentKey().value_or(theirs) < theirs);
    }

    void deletingTheFirstLeadLeavesNoCurrentOne() {
        LeadOffice office;
        const LeadControls& ui = office.ui();
        ui.Command3->click();
        QCOMPARE(office.db.count("notizie"), 2);
        QVERIFY(!office.data1()->hasCurrent());
        QCOMPARE(office.lead(), QString());
        QCOMPARE(ui.Text1->text(), QString());
        emit ui.Picture4->clicked(); // nothing left to delete: nothing happens, nothing is said
        QCOMPARE(office.db.count("notizie"), 2);
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    void searchesReplaceEachOther() {
        LeadOffice office;
        const LeadControls& ui = office.ui();
        type(ui.Text6, "d'a"); // an apostrophe is just a character
        QCOMPARE(office.data1()->recordSource().text(),
                 QStringLiteral("SELECT * FROM notizie WHERE notizia LIKE '*d'a*'"));
        QCOMPARE(ui.DBGrid1->model()->rowCount(), 1);
        QCOMPARE(office.lead(), QStringLiteral("Casa dell'avvocato D'Amico"));

        type(ui.Text7, "051");
        QCOMPARE(office.data1()->recordSource().text(),
                 QStringLiteral("SELECT * FROM notizie WHERE telefono LIKE '*051*'"));
        QCOMPARE(ui.DBGrid1->model()->rowCount(), 2); // the lead-text box no longer counts

        ui.Text7->clear(); // only the wildcards: every lead with a telephone
        QCOMPARE(office.data1()->recordSource().text(),
                 QStringLiteral("SELECT * FROM notizie WHERE telefono LIKE '**'"));
        QCOMPARE(ui.DBGrid1->model()->rowCount(), 3);

        type(ui.Text6, "#"); // a digit wildcard, as the office has always had it
        QCOMPARE(ui.DBGrid1->model()->rowCount(), 0);
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    void anUnreadableDateIsRefusedAndKeptAsTyped() {
        for (const QString& typed : {QStringLiteral("31/02/2026"), QStringLiteral("domani")}) {
            LeadOffice office;
            const LeadControls& ui = office.ui();
            ui.Command1->click();
            ui.Text1->selectAll();
            type(ui.Text1, typed);
            type(ui.Text2, "Bilocale in affitto");
            ui.Command2->click();
            QCOMPARE(office.dialogs.messages.size(), 1);
            QVERIFY2(office.dialogs.messages[0].contains("«" + typed + "»") &&
                         office.dialogs.messages[0].contains("«Data»"),
                     qPrintable(office.dialogs.messages[0]));
            QVERIFY(office.entering());
            QCOMPARE(ui.Text1->text(), typed);
            QCOMPARE(office.lead(), QStringLiteral("Bilocale in affitto"));
            QCOMPARE(office.db.count("notizie"), 3);

            ui.Text1->selectAll();
            type(ui.Text1, "1/3/26"); // read day first
            ui.Command2->click();
            QCOMPARE(office.db.count("notizie"), 4);
            QCOMPARE(office.db.value("notizie", office.data1()->currentKey().value_or(-1), "data").toString(),
                     QStringLiteral("2026-03-01"));
        }
    }

    void escapeWhileEnteringDropsTheNewLead() {
        LeadOffice office;
        const LeadControls& ui = office.ui();
        office.show();
        ui.Command1->click();
        QTest::keyClicks(ui.Text2, "non lo voglio");
        QTest::keyClick(ui.Text2, Qt::Key_Escape);
        QVERIFY(!office.entering());
        QCOMPARE(office.db.count("notizie"), 3);
        QCOMPARE(office.lead(), QStringLiteral("Villa in vendita in via Murri"));
    }

    // The arrows leave a new lead: one holding only the program's date is dropped, one
    // typed into is stored; either way the commands are back to browsing.
    void leavingANewLeadByTheArrows() {
        LeadOffice office;
        const LeadControls& ui = office.ui();
        office.show();
        ui.Command1->click();
        office.window->findChild<NavigationBar*>(QStringLiteral("Data1"))->firstButton()->click();
        QVERIFY(!office.entering());
        QVERIFY(ui.Command1->isEnabled());
        QCOMPARE(office.db.count("notizie"), 3);

        ui.Command1->click();
        type(ui.Text2, "Attico in via Saragozza");
        office.window->findChild<NavigationBar*>(QStringLiteral("Data1"))->firstButton()->click();
        QVERIFY(!office.entering());
        QVERIFY(ui.Command1->isEnabled());
        QCOMPARE(office.db.count("notizie"), 4);
    }

    void aRefusedSearchPutsTheBoxBackAsTheListIs() {
        LeadOffice office;
        const LeadControls& ui = office.ui();
        office.show();
        ui.Text1->selectAll();
        type(ui.Text1, "31/02/2026"); // cannot be written: every search first writes the card
        type(ui.Text6, "E");
        QCOMPARE(office.dialogs.messages.size(), 1);
        QCOMPARE(ui.Text6->text(), QString()); // as the list: unfiltered
        QCOMPARE(ui.DBGrid1->model()->rowCount(), 3);
        QCOMPARE(ui.Text1->text(), QStringLiteral("31/02/2026")); // the entry stays as typed

        ui.Text1->selectAll();
        type(ui.Text1, "28/02/2026");
        type(ui.Text6, "Villa");
        QCOMPARE(ui.Text6->text(), QStringLiteral("Villa"));
        QCOMPARE(ui.DBGrid1->model()->rowCount(), 1);
        QCOMPARE(office.dialogs.messages.size(), 1);
    }

    void theSaveIconIsTheOneOfTheOtherRegisters() {
        LeadOffice office;
        QCOMPARE(office.ui().Picture3->image(), Artwork::picture(QStringLiteral(":/icons/01-cartella.svg")));
    }

    void fieldsShowTheStartOfALongValueAndKeyCellsTakeNoKeys() {
        LeadOffice office;
        const LeadControls& ui = office.ui();
        office.show();
        const QString longSource = QString(300, QLatin1Char('x'));
        QVERIFY(office.data1()->setFieldValue("fonte", longSource));
        QVERIFY(office.data1()->update());
        QVERIFY(office.data1()->moveNext());
        QVERIFY(office.data1()->moveFirst());
        QCOMPARE(ui.Text3->text(), longSource);
        QCOMPARE(ui.Text3->cursorPosition(), 0);
        // Typing in the read-only key cell moves to no other row.
        ui.DBGrid1->setFocus();
        ui.DBGrid1->setCurrentIndex(ui.DBGrid1->model()->index(0, 0));
        QTest::keyClicks(ui.DBGrid1, "3");
        QCOMPARE(office.data1()->currentRow(), 0);
        QCOMPARE(office.lead(), QStringLiteral("Villa in vendita in via Murri"));
    }

    void theGridShowsWholeKeysAndEveryColumn() {
        LeadOffice office;
        office.db.exec(QStringLiteral("INSERT INTO notizie (id, notizia) %1 VALUES (4991234, 'Chiave lunga')")
                           .arg(office.db.isPostgres() ? "OVERRIDING SYSTEM VALUE" : ""));
        QVERIFY(office.data1()->refresh());
        office.show();
        BoundGrid* grid = office.ui().DBGrid1;
        const QString key = grid->model()->index(3, 0).data().toString();
        QVERIFY2(key.contains("499"), qPrintable(key));
        QVERIFY(grid->columnWidth(0) >= grid->fontMetrics().horizontalAdvance(key) + 6);
        // At the window's size every column is in view, the last one ("sviluppo") too.
        QCOMPARE(grid->horizontalScrollBar()->maximum(), 0);
        const int last = grid->model()->columnCount() - 1;
        QVERIFY(grid->columnViewportPosition(last) + 40 <= grid->viewport()->width());
    }

    void closingWritesThePendingLeadOrSaysWhy() {
        LeadOffice office;
        const LeadControls& ui = office.ui();
        office.show();
        ui.Command1->click();
        ui.Text1->selectAll();
        type(ui.Text1, "domani");
        type(ui.Text2, "Box auto");
        QVERIFY(!office.window->close());
        QCOMPARE(office.dialogs.messages.size(), 1);
        QCOMPARE(office.lead(), QStringLiteral("Box auto"));

        ui.Text1->selectAll();
        type(ui.Text1, "05/12/2026");
        QVERIFY(office.window->close());
        QCOMPARE(office.db.count("notizie"), 4);
    }
};

QTEST_MAIN(LeadWindowTest)
#include "tst_leadwindow.moc"
