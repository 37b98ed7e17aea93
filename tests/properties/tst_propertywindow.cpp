#include "PropertyOffice.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "data/folder/ReportFiles.h"
#include "data/store/RecordSource.h"
#include "forms/controls/FieldBinding.h"
#include "forms/report/ReportControl.h"
#include "forms/report/ReportPreview.h"
#include "platform/gui/Artwork.h"
#include "report/ReportRenderer.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>


class PropertyWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Artwork::initialise(); }

    void opensOnTheLastPropertyWithItsVisitsAndPhotos() {
        Office office;
        const PropertyControls ui = office.ui();
        QCOMPARE(office.window->objectName(), QStringLiteral("form_immobili"));
        QCOMPARE(office.window->windowTitle(), QStringLiteral("   ----   IMMOBILI  ---"));
        QCOMPARE(office.owner(), QStringLiteral("Verdi"));
        QCOMPARE(ui.Label12->text(), QString::number(office.keys[2]));
        QVERIFY(ui.Label12->isHidden());
        QCOMPARE(ui.Label33->text(), office.db.folder().path() + "/foto/");
        QCOMPARE(office.window->findChild<ReportControl*>("report1")->reportFile(), office.db.folder().path() + "/rapporto.rpt");
        QCOMPARE(ui.Data1->caption(), QStringLiteral("        IMMOBILI"));

        QCOMPARE(office.source("Data3")->recordSource().text(),
                 QStringLiteral("SELECT * FROM visite WHERE idimmobile =") + QString::number(office.keys[2]));
        QCOMPARE(office.source("Data2")->recordSource().text(),
                 QStringLiteral("SELECT * FROM foto WHERE idimmobile =") + QString::number(office.keys[2]));
        QCOMPARE(ui.DBGrid2->model()->rowCount(), 2);
        QCOMPARE(ui.DBGrid1->model()->rowCount(), 1);
        QCOMPARE(ui.Picture1->image().pixelColor(1, 1), QColor(Qt::blue));
        QCOMPARE(ui.Label15->text(), QStringLiteral("Anna"));  // the first request, to choose the visitor

        QVERIFY(ui.Frame6->isHidden());
        QVERIFY(ui.Combo1->isHidden());
        QVERIFY(ui.Command6->isHidden());
        QCOMPARE(ui.Combo3->currentText(), QStringLiteral("vendita"));
        QCOMPARE(ui.Combo4->currentText(), QStringLiteral("0"));
        QCOMPARE(ui.Combo2->currentText(), QStringLiteral("1000"));
        QCOMPARE(ui.Command2->text(), QStringLiteral("      AGGIUNGI       IMMAGINI"));
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    void theListsFollowTheCurrentProperty() {
        Office office;
        office.ui().Data1->firstButton()->click();
        QCOMPARE(office.owner(), QStringLiteral("Rossi"));
        QCOMPARE(office.ui().DBGrid2->model()->rowCount(), 1);
        QCOMPARE(office.ui().DBGrid2->model()->index(0, 2).data().toString(), QStringLiteral("Carla"));
        QCOMPARE(office.ui().DBGrid1->model()->rowCount(), 0);
    }

    void aNewPropertyFinishedWithFineBecomesCurrent() {
        Office office;
        const PropertyControls ui = office.ui();
        ui.Command1->click();
        QVERIFY(ui.Combo1->isVisibleTo(office.window.get()));
        QVERIFY(ui.Command6->isVisibleTo(office.window.get()));
        QCOMPARE(office.owner(), QString());
        QCOMPARE(ui.DBGrid2->model()->rowCount(), 0);  // no key yet: no visits shown
        type(ui.Text1, "Bianchi");
        type(ui.Text9, "80");
        ui.Combo1->setCurrentText("affitto");
        ui.Command6->click();

        QVERIFY(ui.Command6->isHidden());
        QVERIFY(ui.Combo1->isVisibleTo(office.window.get()));  // stays until a search hides it
        QCOMPARE(office.owner(), QStringLiteral("Bianchi"));
        const qint64 key = ui.Label12->text().toLongLong();
        QVERIFY(key > office.keys[2]);
        QCOMPARE(office.db.value("immobile", key, "motivo").toString(), QStringLiteral("affitto"));
        QCOMPARE(office.db.value("immobile", key, "mq").toInt(), 80);
        QCOMPARE(office.source("Data3")->recordSource().text(),
                 QStringLiteral("SELECT * FROM visite WHERE idimmobile =") + QString::number(key));
    }

    // Another desk saves a new property between this desk's save and its move: the card
    // shows the record this desk stored, and the next edit goes into it.
    void fineShowsItsOwnNewPropertyWhenAnotherDeskAddedOneMeanwhile() {
        Office office;
        const PropertyControls ui = office.ui();
        qint64 theirs = 0;
        connect(office.source("Data1"), &RecordSource::newRecordWritten, this,
                [&] { theirs = office.db.insert("immobile", {"proprietario"}, {"Due R5"}); });
        ui.Command1->click();
        type(ui.Text1, "Uno R5");
        ui.Command6->click();
        QVERIFY(theirs > 0);
        QCOMPARE(office.owner(), QStringLiteral("Uno R5"));
        const qint64 mine = ui.Label12->text().toLongLong();
        QVERIFY(mine < theirs);
        QCOMPARE(office.db.value("immobile", mine, "proprietario").toString(), QStringLiteral("Uno R5"));
        type(ui.Text2, "0511");
        ui.Data1->firstButton()->click();
        QCOMPARE(office.db.value("immobile", mine, "telefono").toString(), QStringLiteral("0511"));
        QVERIFY(office.db.value("immobile", theirs, "telefono").isNull());
    }

    void fineWithoutTouchingThePurposeWritesVendita() {
        Office office;
        office.ui().Picture7->clicked();  // the icon does what "  NUOVO" does
        type(office.ui().Text1, "Neri");
        office.ui().Command6->click();
        QCOMPARE(office.db.value("immobile", office.ui().Label12->text().toLongLong(), "motivo").toString(),
                 QStringLiteral("vendita"));
    }

    void aRefusedFineKeepsEverythingTyped() {
        Office office;
        const PropertyControls ui = office.ui();
        ui.Command1->click();
        type(ui.Text1, "Bianchi");
        type(ui.Text9, "ottanta");
        ui.Command6->click();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.messages[0].contains("ottanta"));
        QVERIFY(ui.Command6->isVisibleTo(office.window.get()));
        QCOMPARE(office.owner(), QStringLiteral("Bianchi"));
        QCOMPARE(office.db.count("immobile"), 3);

        ui.Text9->selectAll();
        type(ui.Text9, "80");
        ui.Command6->click();
        QCOMPARE(office.db.count("immobile"), 4);
        QVERIFY(ui.Command6->isHidden());
    }

    void deletingTheFirstPropertyLeavesNoCurrentOneAndEmptyLists() {
        Office office;
        const PropertyControls ui = office.ui();
        ui.Data1->firstButton()->click();
        ui.Command5->click();
        QCOMPARE(office.dialogs.messages, QStringList{"Ricordati di eliminare prima le immagini dell'immobile"});
        QCOMPARE(office.db.count("immobile"), 2);
        QCOMPARE(office.db.count("visite"), 3);  // its visits stay
        QCOMPARE(office.owner(), QString());
        QCOMPARE(ui.Label12->text(), QString());
        QCOMPARE(ui.DBGrid2->model()->rowCount(), 0);
        QCOMPARE(ui.DBGrid1->model()->rowCount(), 0);
        QVERIFY(ui.Text1->isReadOnly());

        ui.Picture4->clicked();  // deleting again with no current property changes nothing
        QCOMPARE(office.db.count("immobile"), 2);
    }

    void deletingMovesToThePreviousProperty() {
        Office office;
        office.ui().Command5->click();
        QCOMPARE(office.owner(), QStringLiteral("Studio D'Amico"));
    }

    void theSearchPanel() {
        Office office;
        const PropertyControls ui = office.ui();
        RecordSource* data1 = office.source("Data1");
        ui.Command8->click();
        QVERIFY(ui.Frame6->isVisibleTo(office.window.get()));
        ui.Command13->click();
        QVERIFY(ui.Frame6->isHidden());
        ui.Picture3->clicked();
        QVERIFY(ui.Frame6->isVisibleTo(office.window.get()));

        // Criteria search with the panel as it opens: both bounds included.
        ui.Command1->click();
        type(ui.Text1, "Nuovo");
        ui.Command6->click();  // Combo1 now shown
        ui.Command12->click();
        QCOMPARE(data1->recordSource().text(),
                 QStringLiteral("SELECT * FROM immobile WHERE mq BETWEEN 0 and 1000 and motivo ='vendita' and tipologia like'**'"));
        QCOMPARE(office.owner(), QStringLiteral("Rossi"));
        QVERIFY(ui.Frame6->isHidden());
        QVERIFY(ui.Combo1->isHidden());

        // A bound that is not a number: said, and nothing else changes.
        ui.Command8->click();
        ui.Combo4->setCurrentText("12,5");
        ui.Text15->setText("att");
        ui.Command12->click();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.messages[0].contains("«Mq da»") && office.dialogs.messages[0].contains("«12,5»"));
        QVERIFY(data1->recordSource().text().contains("BETWEEN 0 and 1000"));
        QVERIFY(ui.Frame6->isVisibleTo(office.window.get()));
        QCOMPARE(office.owner(), QStringLiteral("Rossi"));

        ui.Combo4->setCurrentText("100");
        ui.Command12->click();
        QCOMPARE(office.owner(), QStringLiteral("Verdi"));

        ui.Command14->click();
        QCOMPARE(data1->recordSource().text(), QStringLiteral("SELECT * FROM immobile "));
        QCOMPARE(office.owner(), QStringLiteral("Rossi"));
        QVERIFY(ui.Frame6->isHidden());
    }

    void quickSearchesRunAtEveryChange() {
        Office office;
        const PropertyControls ui = office.ui();
        RecordSource* data1 = office.source("Data1");
        ui.Command8->click();
        type(ui.Text16, "d'a");
        QCOMPARE(data1->recordSource().text(), QStringLiteral("SELECT * FROM immobile WHERE proprietario LIKE '*d'a*'"));
        QCOMPARE(office.owner(), QStringLiteral("Studio D'Amico"));
        QVERIFY(ui.Frame6->isVisibleTo(office.window.get()));
        QVERIFY(office.dialogs.messages.isEmpty());

        type(ui.Text19, "sara");
        QCOMPARE(data1->recordSource().text(), QStringLiteral("SELECT * FROM immobile WHERE zona LIKE '*sara*'"));
        QCOMPARE(office.owner(), QStringLiteral("Verdi"));
        QCOMPARE(ui.DBGrid2->model()->rowCount(), 2);

        type(ui.Text21, "nulla di simile");
        QCOMPARE(office.owner(), QString());
        QCOMPARE(ui.DBGrid2->model()->rowCount(), 0);  // not the visits of Verdi any more

        ui.Text21->clear();  // two stars: every property with notes
        QCOMPARE(data1->recordSource().text(), QStringLiteral("SELECT * FROM immobile WHERE noteimmobile LIKE '**'"));
        QCOMPARE(office.owner(), QStringLiteral("Rossi"));

        const QList<std::pair<QLineEdit*, QString>> others = {
            {ui.Text17, "telefono"}, {ui.Text18, "cellulare"}, {ui.Text20, "indirizzoimmobile"}};
        for (const auto& [field, column] : others) {
            type(field, "x");
            QCOMPARE(data1->recordSource().text(), QStringLiteral("SELECT * FROM immobile WHERE %1 LIKE '*x*'").arg(column));
        }
    }

    void aQueuedKeystrokeSupersedesARunningSearch() {
        Office office;
        // More rows than a search scans between two looks at the clock, so that with no time
        // at all each look finds the search unfinished.
        office.db.exec("INSERT INTO immobile (proprietario) SELECT 'Proprietario ' || i FROM (WITH RECURSIVE n(i) AS "
                       "(SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 19999) SELECT i FROM n) AS n");
        const PropertyControls ui = office.ui();
        RecordSource* data1 = office.source("Data1");
        data1->setSearchSlices(std::chrono::nanoseconds(0), std::chrono::nanoseconds(0));  // every search outlasts its slice
        QSignalSpy shown(data1, &RecordSource::reset);
        ui.Command8->click();
        ui.Text16->setFocus();
        // The server's answer would not wait for the slice: the table is held until the next
        // key has been typed, so the first search is still under way when it comes.
        if (office.db.isPostgres()) {
            office.db.exec("BEGIN");
            office.db.exec("LOCK TABLE immobile IN ACCESS EXCLUSIVE MODE");
        }
        // Released as the next key arrives, before the window sees it.
        struct Release : QObject {
            const TestDatabase& db;
            explicit Release(const TestDatabase& database) : db(database) {}
            bool eventFilter(QObject*, QEvent* event) override {
                if (db.isPostgres() && event->type() == QEvent::KeyPress &&
                    static_cast<QKeyEvent*>(event)->key() == Qt::Key_Z)
                    db.exec("COMMIT");
                return false;
            }
        } release(office.db);
        ui.Text16->installEventFilter(&release);

        QTest::keyClick(ui.Text16, Qt::Key_Q);
        QVERIFY(data1->isSearching());  // the keystroke returned before its search ended
        QCOMPARE(office.owner(), QStringLiteral("Verdi"));
        // The next key waits in the queue while the first search goes on between events.
        QCoreApplication::postEvent(ui.Text16, new QKeyEvent(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, "z"));
        QCoreApplication::postEvent(ui.Text16, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Z, Qt::NoModifier, "z"));
        QTRY_VERIFY_WITH_TIMEOUT(!data1->isSearching() && ui.Text16->text() == QStringLiteral("qz"), 60000);
        ui.Text16->removeEventFilter(&release);
        QCOMPARE(shown.count(), 1);  // the search for "q" never showed its rows
        QCOMPARE(data1->recordSource().text(), QStringLiteral("SELECT * FROM immobile WHERE proprietario LIKE '*qz*'"));
        QCOMPARE(office.owner(), QString());

        QTest::keyClick(ui.Text16, Qt::Key_Backspace);
        QTest::keyClick(ui.Text16, Qt::Key_Backspace);
        QTest::keyClicks(ui.Text16, "o 2999");
        QTRY_VERIFY_WITH_TIMEOUT(!data1->isSearching(), 60000);
        QCOMPARE(office.owner(), QStringLiteral("Proprietario 2999"));
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    void searchingWritesTheEditFirst() {
        Office office;
        type(office.ui().Text2, " int. 4");
        office.ui().Command3->click();
        QCOMPARE(office.db.value("immobile", office.keys[2], "telefono").toString(), QStringLiteral("051 333 int. 4"));
    }

    void printingTheMatchingRequests() {
        Office office;
        const PropertyControls ui = office.ui();
        auto* report = office.window->findChild<ReportControl*>("Report2");
        ui.Command16->click();
        QCOMPARE(report->selectionFormula(),
                 QStringLiteral("{richiesta.mq} >= 0 AND {richiesta.mq} <=1000 AND {richiesta.motivo} ='vendita' AND "
                                "{richiesta.tipo} LIKE'**'"));
        QVERIFY(report->preview());
        QCOMPARE(report->preview()->pageCount(), 1);
        report->preview()->close();

        ui.Combo4->setCurrentText("40 mq");
        ui.Combo2->setCurrentText("");
        ui.Combo3->setCurrentText("affitto");
        ui.Text15->setText("casa d'epoca");
        ui.Command16->click();
        QCOMPARE(report->selectionFormula(),
                 QStringLiteral("{richiesta.mq} >= 40 AND {richiesta.mq} <=0 AND {richiesta.motivo} ='affitto' AND "
                                "{richiesta.tipo} LIKE'*casa d''epoca*'"));
        QVERIFY(office.dialogs.messages.isEmpty());
        report->preview()->close();

        QFile::remove(office.db.folder().file("scheda.rpt"));
        ui.Command16->click();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.messages[0].contains("scheda.rpt"));
    }

    void iconsWithoutACommandDoNothing() {
        Office office;
        office.ui().Picture5->clicked();
        office.ui().Picture8->clicked();
        office.ui().Picture2->clicked();
        QCOMPARE(office.db.count("immobile"), 3);
        QVERIFY(office.dialogs.messages.isEmpty());
        QCOMPARE(office.owner(), QStringLiteral("Verdi"));
    }

    void closingWritesWhatWasTyped() {
        Office office;
        type(office.ui().Text2, "0");
        QVERIFY(office.window->close());
        QCOMPARE(office.db.value("immobile", office.keys[2], "telefono").toString(), QStringLiteral("051 3330"));

        office.open();
        office.ui().Command1->click();
        type(office.ui().Text1, "Ultimo");
        QVERIFY(office.window->close());  // finished as "FINE" would
        QCOMPARE(office.db.count("immobile"), 4);
    }

    void aMissingDatabaseIsToldOnceAndTheWindowStaysUsable() {
        Office office;
        office.db.folder().write("daba.ini", "/non/esiste/daba.mdb\r\n");
        office.dialogs.messages.clear();
        office.open();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.messages[0].contains("/non/esiste/daba.mdb"));
        QCOMPARE(office.owner(), QString());
        office.ui().Command8->click();
        QVERIFY(office.ui().Frame6->isVisibleTo(office.window.get()));
        QVERIFY(office.window->close());
    }

    // ---- the keyboard ---------------------------------------------------------------

    void escWhileAddingGoesBackToTheShownProperty() {
        Office office;
        const PropertyControls ui = office.ui();
        ui.Data1->firstButton()->click();
        ui.Command1->click();
        type(ui.Text1, "Bianchi");
        QTest::keyClick(ui.Text1, Qt::Key_Escape);
        // The new record is dropped and the window is browsing again: "FINE" no longer
        // covers the arrows and the purpose box is hidden as it was before "  NUOVO".
        QCOMPARE(office.owner(), QStringLiteral("Rossi"));
        QVERIFY(ui.Command6->isHidden());
        QVERIFY(ui.Combo1->isHidden());
        QVERIFY(ui.Data1->isEnabled());
        QVERIFY(ui.Command1->isEnabled());
        QVERIFY(!office.source("Data1")->isAdding());
        QCOMPARE(office.db.count("immobile"), 3);

        // Esc from the purpose box (not a card field) does the same.
        ui.Command1->click();
        type(ui.Text2, "051 999");
        QTest::keyClick(ui.Combo1, Qt::Key_Escape);
        QVERIFY(ui.Command6->isHidden());
        QCOMPARE(office.db.count("immobile"), 3);
        QCOMPARE(office.db.value("immobile", office.keys[0], "telefono").toString(), QStringLiteral("051 111"));
    }

    void aClickOnNewPutsTheFocusInTheFirstField() {
        Office office;
        const PropertyControls ui = office.ui();
        office.window->show();
        QTest::mouseClick(ui.Command1, Qt::LeftButton, {}, QPoint(60, 15)); // beside its icon
        QVERIFY(office.source("Data1")->isAdding());
        QCOMPARE(office.window->focusWidget(), ui.Text1);
    }

    void aCommandThatHidesItselfNeverHandsTheFocusToDelete() {
        Office office;
        const PropertyControls ui = office.ui();
        office.window->show();
        QVERIFY(QTest::qWaitForWindowActive(office.window.get()));
        ui.Command1->click();
        type(ui.Text1, "Bianchi");
        ui.Command6->setFocus();
        QTest::keyClick(ui.Command6, Qt::Key_Return); // FINE hides itself
        QCOMPARE(office.db.count("immobile"), 4);
        QCOMPARE(QApplication::focusWidget(), ui.Command1);
        // CERCA of the search panel closes the panel it lies in.
        ui.Command8->click();
        ui.Command12->setFocus();
        QTest::keyClick(ui.Command12, Qt::Key_Return);
        QVERIFY(ui.Frame6->isHidden());
        QCOMPARE(QApplication::focusWidget(), ui.Command1);
        QCOMPARE(office.db.count("immobile"), 4);
    }

    void tabMovesThroughEveryCardFieldAndSkipsCoveredOnes() {
        Office office;
        const PropertyControls ui = office.ui();
        office.window->show();
        QApplication::setActiveWindow(office.window.get());
        for (QPlainTextEdit* multiLine : {ui.Text4, ui.Text5, ui.Text8, ui.Text11}) {
            multiLine->setFocus();
            const QString before = multiLine->toPlainText();
            QTest::keyClick(multiLine, Qt::Key_Tab);
            QVERIFY(office.window->focusWidget() != multiLine);
            QCOMPARE(multiLine->toPlainText(), before); // no tab typed
        }
        // Before "  NUOVO" the purpose field takes the focus; under the purpose box it does not.
        QVERIFY(ui.Text14->focusPolicy() != Qt::NoFocus);
        ui.Command1->click();
        type(ui.Text1, "Bianchi");
        ui.Command6->click();
        QVERIFY(!ui.Combo1->isHidden());
        QCOMPARE(ui.Text14->focusPolicy(), Qt::NoFocus);
        ui.Text10->setFocus();
        QTest::keyClick(ui.Text10, Qt::Key_Tab);
        QVERIFY(office.window->focusWidget() != ui.Text14);
        QTest::keyClicks(office.window->focusWidget(), "ZZ");
        QCOMPARE(office.db.value("immobile", ui.Label12->text().toLongLong(), "motivo").toString(),
                 QStringLiteral("vendita"));
        // A search that hides the box gives the field back its focus.
        ui.Command3->click();
        QVERIFY(ui.Combo1->isHidden());
        QVERIFY(ui.Text14->focusPolicy() != Qt::NoFocus);
    }

    void multiLineFieldsShowTheirFirstLineOnEveryRecord() {
        Office office;
        const PropertyControls ui = office.ui();
        office.window->show();
        ui.Text8->setFocus();
        QTest::keyClicks(ui.Text8, "Via dei Mille 12, scala B, interno 4, citofono Verdi, terzo piano");
        QVERIFY(ui.Text8->verticalScrollBar()->value() > 0); // it wrapped and scrolled down
        ui.Data1->previousButton()->click();
        QCOMPARE(ui.Text8->verticalScrollBar()->value(), 0);
        ui.Data1->nextButton()->click();
        QCOMPARE(ui.Text8->verticalScrollBar()->value(), 0);
        QVERIFY(ui.Text8->toPlainText().startsWith("Via dei Mille"));
    }

    void aWriteThatTheDatabaseCannotTakeIsTold() {
        // A database without a column is refused at opening, so the binding meets such a
        // field only when it names one the table lacks: the refusal is told, not dropped.
        Office office;
        auto* properties = office.window->findChild<RecordSource*>(QStringLiteral("Data1"));
        QVERIFY(properties);
        auto* surface = new QLineEdit(office.window.get());
        FieldBinding::bind(surface, *properties, QStringLiteral("superficie"));
        office.window->show();
        office.dialogs.messages.clear();
        type(surface, "85");
        QCOMPARE(office.dialogs.messages.size(), 1);  // once per record, not at every key
        QVERIFY(office.dialogs.messages.last().contains("superficie"));
    }

    void theKeyboardAlone() {
        Office office;
        const PropertyControls ui = office.ui();
        office.window->show();
        QApplication::setActiveWindow(office.window.get());
        const auto focused = [&office] { return office.window->focusWidget(); };
        // Tab walks every control once, grids included, and the card fields in reading
        // order with nothing hidden or covered between them.
        ui.Text1->setFocus();
        QStringList chain;
        for (int step = 0; step < 80 && !chain.contains(focused()->objectName()); ++step) {
            chain << focused()->objectName();
            QTest::keyClick(focused(), Qt::Key_Tab);
        }
        QCOMPARE(focused(), ui.Text1); // round the whole window and back
        const QStringList card{"Text1", "Text2", "Text3", "Text4",  "Text5",  "Text6",
                               "Text7", "Text8", "Text9", "Text10", "Text14", "Text11"};
        QStringList cardOrder = chain;
        cardOrder.removeIf([&card](const QString& name) { return !card.contains(name); });
        QCOMPARE(cardOrder, card);
        for (const char* name : {"Data1", "Data4", "DBGrid1", "DBGrid2", "Command1", "Command7"})
            QVERIFY2(chain.contains(name), name);

        // The arrows of the bar by keyboard; Enter on a command; Esc while adding.
        ui.Data1->setFocus();
        QTest::keyClick(ui.Data1, Qt::Key_Home);
        QCOMPARE(office.owner(), QStringLiteral("Rossi"));
        QTest::keyClick(ui.Data1, Qt::Key_Right);
        QCOMPARE(office.owner(), QStringLiteral("Studio D'Amico"));
        ui.Command1->setFocus();
        QTest::keyClick(ui.Command1, Qt::Key_Return);
        QVERIFY(office.source("Data1")->isAdding());
        QCOMPARE(focused(), ui.Text1);
        QTest::keyClicks(ui.Text1, "Bianchi");
        QTest::keyClick(ui.Text1, Qt::Key_Escape);
        QVERIFY(!office.source("Data1")->isAdding());
        QCOMPARE(office.owner(), QStringLiteral("Studio D'Amico"));
        QVERIFY(ui.Command6->isHidden());
        // Esc in Browsing undoes the edit of the shown property.
        QTest::keyClicks(ui.Text2, "9");
        QTest::keyClick(ui.Text2, Qt::Key_Escape);
        QCOMPARE(ui.Text2->text(), QStringLiteral("051 222"));
        QCOMPARE(office.db.count("immobile"), 3);
    }

    // Another desk (here the test's own connection to the file) changes the property
    // shown while this window edits it: the arrow that would save is refused naming the
    // field, the typing stays, Esc in the field shows the other desk's value.
    void anotherDesksChangeIsNeverOverwritten() {
        Office office;
        const PropertyControls ui = office.ui();
        type(ui.Text7, " Nord");
        office.db.exec(QStringLiteral("UPDATE immobile SET zona = 'Lame' WHERE id = %1").arg(office.keys[2]));
        ui.Data1->firstButton()->click();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY2(office.dialogs.messages[0].contains("«Zona» ora è «Lame»"), qPrintable(office.dialogs.messages[0]));
        QCOMPARE(ui.Text7->text(), QStringLiteral("Saragozza Nord"));
        QCOMPARE(office.owner(), QStringLiteral("Verdi"));
        QCOMPARE(office.db.value("immobile", office.keys[2], "zona").toString(), QStringLiteral("Lame"));
        QTest::keyClick(ui.Text7, Qt::Key_Escape);
        QCOMPARE(ui.Text7->text(), QStringLiteral("Lame"));
        type(ui.Text7, " Nord");
        ui.Data1->firstButton()->click();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QCOMPARE(office.db.value("immobile", office.keys[2], "zona").toString(), QStringLiteral("Lame Nord"));

        // A delete of a property changed meanwhile is told, and the window stays on it.
        QCOMPARE(office.owner(), QStringLiteral("Rossi"));
        office.db.exec(QStringLiteral("UPDATE immobile SET mq = 210 WHERE id = %1").arg(office.keys[0]));
        ui.Command5->click();
        QCOMPARE(office.dialogs.messages.size(), 3); // the reminder, then why not
        QVERIFY2(office.dialogs.messages[2].contains("«Mq» ora è «210»"), qPrintable(office.dialogs.messages[2]));
        QCOMPARE(office.db.count("immobile"), 3);
        QCOMPARE(office.owner(), QStringLiteral("Rossi"));
        QCOMPARE(ui.Text9->text(), QStringLiteral("210"));
        ui.Command5->click();
        QCOMPARE(office.db.count("immobile"), 2);
    }
};

QTEST_MAIN(PropertyWindowTest)
#include "tst_propertywindow.moc"
