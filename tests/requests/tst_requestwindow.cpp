#include "Controls.h"
#include "PdfText.h"
#include "TestContext.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "data/folder/ReportFiles.h"
#include "data/store/RecordSource.h"
#include "forms/controls/NavigationBar.h"
#include "forms/report/ReportControl.h"
#include "forms/report/ReportPreview.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/PictureBox.h"
#include "requests/RequestWindow.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace {

// An office with eight requests: some on the surface bounds, some with an empty
// (null) name, type, surface or purpose, and apostrophes in a surname and a type.
struct Office : TestOffice {
    QList<qint64> keys;
    std::unique_ptr<RequestWindow> window;

    Office() {
        const QStringList fields{"nome", "cognome", "tipo", "mq", "motivo"};
        const QVariant null;
        const QList<QVariantList> rows = {{"Anna", "Neri", "Villa", 150, "vendita"},
                                          {"Bruno", "D'Angelo", "Casa d'epoca", 50, "affitto"},
                                          {"Carla", "Bianchi", "Attico", 1000, "vendita"},
                                          {"Dario", "Rossi", "Villa", 1001, "vendita"},
                                          {"Elena", null, "Box", 0, "vendita"},
                                          {"Franco", "Verdi", "Villetta", null, "vendita"},
                                          {"Gina", "Nulli", null, 200, "vendita"},
                                          {null, "Senza", "Villa", 300, null}};
        for (const QVariantList& row : rows)
            keys << db.insert("richiesta", fields, row);
        if (!ReportFiles::placeMissing(db.folder().path()))
            qFatal("cannot place the reports");
        window = std::make_unique<RequestWindow>(context);
    }

    template <typename T> T* get(const char* name) const { return control<T>(*window, name); }
    QLineEdit* edit(const char* name) const { return get<QLineEdit>(name); }
    QComboBox* combo(const char* name) const { return get<QComboBox>(name); }
    QPushButton* button(const char* name) const { return get<QPushButton>(name); }
    void clickIcon(const char* name) const { emit get<PictureBox>(name)->clicked(); }
    RecordSource* data1() const { return get<RecordSource>("Data1"); }
    QAbstractItemModel* grid() const { return get<QTableView>("DBGrid1")->model(); }
    QString name() const { return edit("Text1")->text(); }
    QString query() const { return data1()->recordSource().text(); }
    QStringList names() const {
        QStringList shown;
        for (int row = 0; row < grid()->rowCount(); ++row)
            shown << grid()->index(row, 1).data().toString();
        return shown;
    }
    // Browsing: new enabled, save disabled, the purpose field shown; Entering the reverse.
    bool entering() const {
        const bool entering = !button("Command1")->isEnabled() && button("Command4")->isEnabled() &&
                              get<QWidget>("Combo4")->isVisibleTo(window.get()) && get<QWidget>("Text12")->isHidden();
        const bool browsing = button("Command1")->isEnabled() && !button("Command4")->isEnabled() &&
                              get<QWidget>("Combo4")->isHidden() && get<QWidget>("Text12")->isVisibleTo(window.get());
        if (entering == browsing)
            qFatal("neither Browsing nor Entering");
        return entering;
    }
    QString storedPurpose(qint64 key) const { return db.value("richiesta", key, "motivo").toString(); }
};

void type(QWidget* field, const QString& text) {
    field->setFocus();
    QTest::keyClicks(field, text);
}

} // namespace

class RequestWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Artwork::initialise(); }

    void opensOnTheWholeTableWithTheCardDisabled() {
        Office office;
        QCOMPARE(office.query(), QStringLiteral("richiesta"));
        QCOMPARE(office.grid()->rowCount(), 8);
        QCOMPARE(office.name(), QStringLiteral("Anna"));
        for (const char* field : {"Text1", "Text2", "Text3", "Text4", "Text5", "Text12", "Text6", "Text7", "Text8"})
            QVERIFY2(!office.get<QWidget>(field)->isEnabled(), field);
        QVERIFY(!office.entering());
        QCOMPARE(office.combo("Combo4")->currentText(), QStringLiteral("vendita"));
        QCOMPARE(office.combo("Combo2")->currentText(), QStringLiteral("1000"));
        QCOMPARE(office.combo("Combo2")->count(), 101);

        // Grid cells take edits (not the key), stored through Data1.
        QAbstractItemModel* grid = office.grid();
        QCOMPARE(grid->columnCount(), 9);
        QVERIFY(!(grid->flags(grid->index(0, 0)) & Qt::ItemIsEditable));
        QVERIFY(!grid->setData(grid->index(0, 0), 99));
        QVERIFY(grid->setData(grid->index(0, 3), "051 9"));
        office.get<NavigationBar>("Data1")->lastButton()->click();
        QCOMPARE(office.db.value("richiesta", office.keys[0], "telefono").toString(), QStringLiteral("051 9"));
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    void aNewRequestIsSavedWithThePurposeOfTheBox() {
        Office office;
        office.window->show();
        QVERIFY(QTest::qWaitForWindowActive(office.window.get()));
        office.button("Command1")->setFocus();
        QTest::keyClick(office.button("Command1"), Qt::Key_Return); // Enter presses the focused button
        QVERIFY(office.entering());
        QCOMPARE(QApplication::focusWidget(), office.edit("Text1"));
        QVERIFY(office.edit("Text6")->isEnabled());
        type(office.edit("Text1"), "Zeno");
        type(office.edit("Text6"), "90");
        office.combo("Combo4")->setCurrentText("affitto");
        office.button("Command4")->click();

        QVERIFY(!office.entering());
        QCOMPARE(office.db.count("richiesta"), 9);
        QCOMPARE(office.data1()->currentRow(), 8); // the last row is current
        QCOMPARE(office.name(), QStringLiteral("Zeno"));
        QCOMPARE(office.storedPurpose(*office.data1()->currentKey()), QStringLiteral("affitto"));
        QVERIFY(office.edit("Text1")->isEnabled()); // the card stays editable

        // The second request keeps the purpose chosen last; the icons do what the buttons do.
        office.clickIcon("Picture7");
        QCOMPARE(office.combo("Combo4")->currentText(), QStringLiteral("affitto"));
        type(office.edit("Text1"), "Ugo");
        office.clickIcon("Picture3");
        QCOMPARE(office.storedPurpose(*office.data1()->currentKey()), QStringLiteral("affitto"));
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    void saveWhileBrowsingAndEscapeChangeNothingStored() {
        Office office;
        office.combo("Combo4")->setCurrentText("affitto");
        office.clickIcon("Picture3");
        QCOMPARE(office.storedPurpose(office.keys[0]), QStringLiteral("vendita"));
        QCOMPARE(office.data1()->currentRow(), 7); // the query ran again, on its last row
        QVERIFY(!office.entering());

        // Esc drops the new request and goes back to Browsing: the save icon then stores nothing.
        office.button("Command1")->click();
        type(office.edit("Text1"), "Zeno");
        QTest::keyClick(office.edit("Text1"), Qt::Key_Escape);
        QVERIFY(!office.entering());
        QCOMPARE(office.edit("Text2")->text(), QStringLiteral("Senza")); // the request shown before
        office.clickIcon("Picture3");
        QCOMPARE(office.db.count("richiesta"), 8);
        QVERIFY(office.db.value("richiesta", office.keys[7], "motivo").isNull());
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    void aRefusedSaveKeepsEverythingTyped() {
        Office office;
        office.button("Command1")->click();
        type(office.edit("Text1"), "Zeno");
        type(office.edit("Text6"), "ottanta");
        office.button("Command4")->click();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.messages[0].contains("«ottanta»") &&
                office.dialogs.messages[0].contains("«Mq cercati»"));
        QVERIFY(office.entering());
        QCOMPARE(office.name(), QStringLiteral("Zeno"));
        QCOMPARE(office.db.count("richiesta"), 8);

        office.edit("Text6")->selectAll();
        type(office.edit("Text6"), "nan"); // not a number either
        office.clickIcon("Picture3");
        QCOMPARE(office.dialogs.messages.size(), 2);
        QVERIFY(office.dialogs.messages[1].contains("«nan»"));
        office.edit("Text6")->selectAll();
        type(office.edit("Text6"), "80");
        office.button("Command4")->click();
        QCOMPARE(office.db.count("richiesta"), 9);
        QVERIFY(!office.entering());
    }

    // A grid edit that cannot be written keeps the grid on its row; Esc from the grid,
    // where the focus is, drops it, and the grid moves again.
    void escapeFromTheGridDropsARefusedEdit() {
        Office office;
        auto* grid = office.get<QTableView>("DBGrid1");
        QVERIFY(grid->model()->setData(grid->model()->index(0, 6), "ottanta"));
        grid->selectRow(2);
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.messages[0].contains("«ottanta»"));
        QCOMPARE(office.data1()->currentRow(), 0);
        QTRY_COMPARE(grid->currentIndex().row(), 0);

        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Escape);
        QVERIFY(!office.data1()->hasPendingEdit());
        grid->selectRow(2);
        QCOMPARE(office.data1()->currentRow(), 2);
        QCOMPARE(office.dialogs.messages.size(), 1);
    }

    void leavingARequestBeingTypedWritesItWhole() {
        Office office;
        office.button("Command1")->click();
        office.get<NavigationBar>("Data1")->firstButton()->click(); // untouched: dropped
        QCOMPARE(office.db.count("richiesta"), 8);
        QVERIFY(!office.entering());

        // A move writes it with its purpose.
        office.clickIcon("Picture7");
        type(office.edit("Text1"), "Zeno");
        office.combo("Combo4")->setCurrentText("affitto");
        office.get<QTableView>("DBGrid1")->selectRow(2);
        QCOMPARE(office.name(), QStringLiteral("Carla"));
        QVERIFY(!office.entering());
        QCOMPARE(office.storedPurpose(office.keys[7] + 1), QStringLiteral("affitto"));

        // So does a search; a refused one says why and keeps the request as typed.
        office.button("Command1")->click();
        type(office.edit("Text1"), "Ugo");
        type(office.edit("Text11"), "Ug");
        QCOMPARE(office.names(), QStringList{"Ugo"});
        QCOMPARE(office.storedPurpose(office.keys[7] + 2), QStringLiteral("affitto"));
        office.button("Command1")->click();
        type(office.edit("Text6"), "tanti");
        office.button("Command6")->click();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.entering());
        QVERIFY(office.query().contains("nome LIKE"));

        // Closing: refused the same way, then written.
        QVERIFY(!office.window->close());
        QCOMPARE(office.dialogs.messages.size(), 2);
        office.edit("Text6")->selectAll();
        QTest::keyClick(office.edit("Text6"), Qt::Key_Backspace);
        QVERIFY(office.window->close());
        QCOMPARE(office.db.count("richiesta"), 11);
    }

    void deleteMovesToTheLastRequest() {
        Office office;
        office.button("Command5")->click(); // the first one, at once, no question
        QVERIFY(!office.db.value("richiesta", office.keys[0], "nome").isValid());
        QCOMPARE(office.data1()->currentKey(), office.keys[7]);
        office.clickIcon("Picture4");
        QCOMPARE(office.data1()->currentKey(), office.keys[6]);

        QVERIFY(office.data1()->moveFirst().ok()); // a request being typed is thrown away, nothing stored goes
        office.button("Command1")->click();
        type(office.edit("Text1"), "Zeno");
        office.button("Command5")->click();
        QVERIFY(!office.entering());
        QCOMPARE(office.db.count("richiesta"), 6);
        QCOMPARE(office.data1()->currentKey(), office.keys[6]);

        office.edit("Text11")->setText("nessuno"); // an empty register: nothing visible happens
        office.button("Command5")->click();
        QCOMPARE(office.db.count("richiesta"), 6);
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    void theCriteriaSearch() {
        Office office;
        office.button("Command2")->click();
        QCOMPARE(office.query(),
                 QStringLiteral(
                     "SELECT * FROM richiesta WHERE mq BETWEEN 0 and 1000 and motivo ='vendita' and tipo like'**'"));
        // Both bounds included; no empty type, surface or purpose.
        QCOMPARE(office.names(), (QStringList{"Anna", "Carla", "Elena"}));

        office.combo("Combo3")->setCurrentText("affitto");
        type(office.edit("Text9"), "d'ep");
        QTest::keyClick(office.edit("Text9"), Qt::Key_Return); // Enter in a criterion searches
        QCOMPARE(
            office.query(),
            QStringLiteral(
                "SELECT * FROM richiesta WHERE mq BETWEEN 0 and 1000 and motivo ='affitto' and tipo like'*d'ep*'"));
        QCOMPARE(office.names(), QStringList{"Bruno"});
        QVERIFY(office.dialogs.messages.isEmpty());

        // A bound that is not a number is refused by name; the query and rows stay.
        office.combo("Combo1")->setCurrentText("12,5");
        office.clickIcon("Picture2");
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.messages[0].contains("«Mq da»") && office.dialogs.messages[0].contains("«12,5»"));
        QVERIFY(office.query().endsWith("like'*d'ep*'"));
        QCOMPARE(office.names(), QStringList{"Bruno"});
    }

    void aSaveNeverHandsTheFocusToDelete() {
        Office office;
        office.window->show();
        QVERIFY(QTest::qWaitForWindowActive(office.window.get()));
        // A new request saved with Enter on AGGIORNA: the button disables itself, and the
        // next Enter must start another request, not delete the one just saved.
        office.button("Command1")->setFocus();
        QTest::keyClick(office.button("Command1"), Qt::Key_Return);
        type(office.edit("Text1"), "Zeno");
        office.button("Command4")->setFocus();
        QTest::keyClick(office.button("Command4"), Qt::Key_Return);
        QVERIFY(!office.entering());
        QCOMPARE(QApplication::focusWidget(), office.button("Command1"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(office.db.count("richiesta"), 9);
        // The same with Space after a save by mouse, which gives the button the focus.
        office.button("Command1")->click();
        type(office.edit("Text1"), "Ugo");
        QTest::mouseClick(office.button("Command4"), Qt::LeftButton);
        QVERIFY(!office.entering());
        QCOMPARE(office.db.count("richiesta"), 10);
        QVERIFY(QApplication::focusWidget() != office.button("Command5"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(office.db.count("richiesta"), 10);
    }

    void theSurfaceBoxesKeepWhatIsTypedAndNoListGrows() {
        Office office;
        office.window->show();
        QVERIFY(QTest::qWaitForWindowActive(office.window.get()));
        QComboBox* from = office.combo("Combo1");
        QComboBox* to = office.combo("Combo2");
        office.combo("Combo3")->setCurrentText("affitto");
        // No completion to a value of the list: 55 stays 55, 1 stays 1.
        from->lineEdit()->clear();
        type(from, "1");
        to->lineEdit()->clear();
        type(to, "55");
        QTest::keyClick(to, Qt::Key_Return);
        QCOMPARE(from->currentText(), QStringLiteral("1"));
        QCOMPARE(to->currentText(), QStringLiteral("55"));
        QVERIFY(office.query().contains("BETWEEN 1 and 55 "));
        QCOMPARE(office.names(), QStringList{"Bruno"});
        // Enter in a drop-down adds nothing to its list, even for a search refused.
        to->lineEdit()->clear();
        type(to, "77 mq");
        QTest::keyClick(to, Qt::Key_Return);
        QCOMPARE(to->count(), 101);
        QCOMPARE(to->findText("77 mq"), -1);
        QComboBox* purpose = office.combo("Combo3");
        purpose->lineEdit()->clear();
        type(purpose, "casa");
        QTest::keyClick(purpose, Qt::Key_Return);
        QCOMPARE(purpose->count(), 2);
        office.button("Command1")->click();
        QComboBox* cardPurpose = office.combo("Combo4");
        cardPurpose->lineEdit()->clear();
        type(cardPurpose, "permuta");
        QTest::keyClick(cardPurpose, Qt::Key_Return);
        QCOMPARE(cardPurpose->count(), 2);
    }

    void everyControlIsNamedAsItsLabel() {
        Office office;
        const std::pair<const char*, const char*> named[] = {
            {"Text1", "Nome"},   {"Text6", "Mq cercati"}, {"Text7", "Prezzo"}, {"Text8", "Note"},
            {"Combo3", "Cerca in"}, {"Text9", "Tipologia"}, {"Combo1", "Mq da"}, {"Combo2", "a"},
            {"Text11", "Nome"},  {"Text10", "Cognome"},   {"Combo4", "Cerca in"}, {"Command4", "AGGIORNA"}};
        for (const auto& [control, name] : named)
            QCOMPARE(office.get<QWidget>(control)->accessibleName(), QString::fromUtf8(name));
        for (QWidget* widget : office.window->findChildren<QWidget*>())
            if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget) || qobject_cast<QTableView*>(widget))
                QVERIFY2(!widget->accessibleName().isEmpty() || qobject_cast<QComboBox*>(widget->parentWidget()),
                         qPrintable(widget->objectName()));
    }

    void theNameSearchesAndShowingAll() {
        Office office;
        type(office.edit("Text10"), "d'a");
        QCOMPARE(office.query(), QStringLiteral("SELECT * FROM richiesta WHERE cognome LIKE '*d'a*'"));
        QCOMPARE(office.names(), QStringList{"Bruno"});
        office.edit("Text10")->clear(); // two stars: every request with a surname
        QCOMPARE(office.query(), QStringLiteral("SELECT * FROM richiesta WHERE cognome LIKE '**'"));
        QCOMPARE(office.grid()->rowCount(), 7);

        type(office.edit("Text11"), "an");
        QCOMPARE(office.query(), QStringLiteral("SELECT * FROM richiesta WHERE nome LIKE '*an*'"));
        QCOMPARE(office.names(), (QStringList{"Anna", "Franco"}));
        type(office.edit("Text11"), "z");
        QCOMPARE(office.grid()->rowCount(), 0);
        QCOMPARE(office.name(), QString());

        office.button("Command6")->click();
        QCOMPARE(office.query(), QStringLiteral("SELECT * FROM richiesta "));
        QCOMPARE(office.grid()->rowCount(), 8);
        QCOMPARE(office.edit("Text11")->text(), QStringLiteral("anz"));
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    void printingTheSearch() {
        Office office;
        auto* report = office.window->findChild<ReportControl*>("Report1");
        const auto printed = [&] {
            office.button("Command14")->click();
            if (!report->preview())
                return QStringLiteral("<nessuna anteprima>");
            const QString pdf = office.db.folder().file("richieste.pdf");
            office.dialogs.answers.enqueue(pdf);
            report->preview()->pdfButton()->click();
            report->preview()->close();
            return pdfText(pdf);
        };
        type(office.edit("Text11"), "Bruno"); // the grid's search does not matter
        QString page = printed();
        QCOMPARE(report->selectionFormula(),
                 QStringLiteral("{richiesta.mq} >= 0 AND {richiesta.mq} <=1000 AND {richiesta.motivo} ='vendita' AND "
                                "{richiesta.tipo} LIKE'**'"));
        for (const char* shown : {"Anna", "Carla", "Elena"})
            QVERIFY2(page.contains(shown), shown);
        for (const char* left : {"Bruno", "Dario", "Franco", "Gina"})
            QVERIFY2(!page.contains(left), left);

        office.combo("Combo1")->setCurrentText("1000");
        office.combo("Combo2")->setCurrentText(" 1001 mq");
        page = printed();
        QCOMPARE(
            report->selectionFormula(),
            QStringLiteral("{richiesta.mq} >= 1000 AND {richiesta.mq} <=1001 AND {richiesta.motivo} ='vendita' AND "
                           "{richiesta.tipo} LIKE'**'"));
        QVERIFY(page.contains("Carla") && page.contains("Dario") && !page.contains("Anna"));
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    void theToolbarOpensTheRegisterOnce() {
        Office office;
        office.window.reset();
        MainWindow frame(office.context);
        Startup::openWindows(frame, office.context);
        QAction* requests = frame.findChild<QAction*>("richieste");
        requests->trigger();
        requests->trigger();
        QCOMPARE(frame.findChildren<RequestWindow*>().size(), 1);
        QCOMPARE(frame.findChild<RequestWindow*>()->objectName(), QStringLiteral("form_prop"));
        QVERIFY(office.dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(RequestWindowTest)
#include "tst_requestwindow.moc"
