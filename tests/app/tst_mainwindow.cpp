#include "../properties/PropertyControls.h"
#include "Artwork.h"
#include "MainWindow.h"
#include "ProgramSettings.h"
#include "PropertyWindow.h"
#include "ScriptedDialogs.h"
#include "Startup.h"
#include "TestContext.h"
#include "TestFolder.h"
#include "Workspace.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>

namespace {

// A child window that, like a register with an edit it cannot write, may refuse to close.
class ChildWindow : public QWidget {
public:
    bool refuseClose = false;

protected:
    void closeEvent(QCloseEvent* event) override {
        if (refuseClose)
            event->ignore();
        else
            event->accept();
    }
};

// A program folder, the world around the frame, and the frame itself.
struct Frame : WithFolder, TestContext {
    Frame() : TestContext(folder.path(), QDateTime(QDate(2026, 12, 6), QTime(23, 59, 58))) {}
    std::unique_ptr<MainWindow> window;

    void open() { window = std::make_unique<MainWindow>(context); }

    QLabel* panel(const char* name) const { return window->findChild<QLabel*>(QString::fromLatin1(name)); }
    QAction* button(const char* key) const { return window->findChild<QAction*>(QString::fromLatin1(key)); }
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Artwork::initialise(); }

    void frameHasItsCaptionAndEightButtonsInOrder() {
        Frame frame;
        frame.open();
        QCOMPARE(frame.window->objectName(), QStringLiteral("MAIN"));
        QVERIFY(frame.window->windowTitle().startsWith(QStringLiteral("VELMORA     v.0.0.1 alfa")));
        QVERIFY(!frame.window->windowIcon().isNull());

        auto* toolbar = frame.window->findChild<QToolBar*>(QStringLiteral("Toolbar1"));
        QVERIFY(toolbar);
        const QList<QAction*> actions = toolbar->actions();
        const QStringList captions = {"       IMMOBILI  ", "       RICHIESTE  ", "NOTIZIE", "AGENDA", "FINE",
                                      "CREA BACKUP",       "     RECUPERA BACKUP", "GESTIONE"};
        const QStringList keys = {"immobili", "richieste", "gestione", "agenda",
                                  "fine",     "bakupcrea", "recupera", "gestion"};
        QCOMPARE(actions.size(), 8);
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(actions[i]->text(), captions[i]);
            QCOMPARE(actions[i]->objectName(), keys[i]);
            QVERIFY(!actions[i]->icon().isNull());
        }
        QCOMPARE(actions[0]->toolTip(), QStringLiteral("GESTIONE DEGLI IMMOBILI IN PORTAFOGLIO"));
        QCOMPARE(actions[4]->toolTip(), QStringLiteral("FINE DEL PROGRAMMA ED ESCI"));
    }

    void statusBarKeepsTheStartDateAndRunsTheClock() {
        Frame frame;
        frame.open();
        QCOMPARE(frame.panel("Panel1")->text(), QStringLiteral("06/12/2026"));
        QCOMPARE(frame.panel("Panel2")->text(), QString());  // empty until the first tick

        frame.clock.set(QDateTime(QDate(2026, 12, 7), QTime(0, 0, 3)));  // past midnight
        QTRY_COMPARE_WITH_TIMEOUT(frame.panel("Panel2")->text(), QStringLiteral("00:00:03"), 3000);
        QCOMPARE(frame.panel("Panel1")->text(), QStringLiteral("06/12/2026"));
    }

    void toolbarShowsOneInstanceRestoredAndInFront() {
        Frame frame;
        frame.open();
        int created = 0;
        frame.window->setWindowFactory(MainWindow::Diary, [&] {
            ++created;
            auto* diary = new ChildWindow;
            diary->setObjectName(QStringLiteral("form_agenda"));
            return diary;
        });
        frame.window->setWindowFactory(MainWindow::Settings, [] { return new ChildWindow; });
        frame.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame.window.get()));

        frame.button("agenda")->trigger();
        QMdiSubWindow* diary = frame.window->workspace()->activeSubWindow();
        QVERIFY(diary);
        QCOMPARE(diary->widget()->objectName(), QStringLiteral("form_agenda"));

        frame.button("gestion")->trigger();
        QVERIFY(frame.window->workspace()->activeSubWindow() != diary);

        diary->showMinimized();
        frame.button("agenda")->trigger();
        QCOMPARE(created, 1);
        QCOMPARE(frame.window->workspace()->activeSubWindow(), diary);
        QVERIFY(!diary->isMinimized());
        QVERIFY(!diary->isMaximized());
        QCOMPARE(frame.window->workspace()->subWindowList().size(), 2);
    }

    void aClosedWindowIsCreatedAgain() {
        Frame frame;
        frame.open();
        int created = 0;
        frame.window->setWindowFactory(MainWindow::Leads, [&] {
            ++created;
            return new ChildWindow;
        });
        QPointer<QWidget> first = frame.window->showWindow(MainWindow::Leads);
        QVERIFY(first);
        first->parentWidget()->close();
        QTRY_VERIFY(!first);  // destroyed with its window

        QVERIFY(frame.window->showWindow(MainWindow::Leads));
        QCOMPARE(created, 2);
    }

    void buttonsWithoutAWindowDoNothing() {
        Frame frame;
        frame.open();
        for (int index : {0, 1, 2, 3, 4, 6, 7, 8, 9})
            frame.window->runToolbarCommand(index);
        QVERIFY(frame.window->workspace()->subWindowList().isEmpty());
        QVERIFY(frame.dialogs.messages.isEmpty());
    }

    void fineEndsTheProgramWithoutAQuestion() {
        Frame frame;
        frame.open();
        frame.window->setWindowFactory(MainWindow::Diary, [] { return new ChildWindow; });
        frame.window->setWindowFactory(MainWindow::Leads, [] { return new ChildWindow; });
        frame.window->show();
        frame.window->showWindow(MainWindow::Diary);
        frame.window->showWindow(MainWindow::Leads);

        QSignalSpy ended(frame.window.get(), &MainWindow::ended);
        frame.button("fine")->trigger();
        QVERIFY(!frame.window->isVisible());
        QCOMPARE(ended.count(), 1);
        QVERIFY(frame.dialogs.messages.isEmpty());
    }

    void aWindowThatCannotWriteItsEditKeepsTheProgramOpen() {
        Frame frame;
        frame.open();
        ChildWindow* stubborn = nullptr;
        frame.window->setWindowFactory(MainWindow::Requests, [&] { return stubborn = new ChildWindow; });
        frame.window->show();
        frame.window->showWindow(MainWindow::Requests);
        stubborn->refuseClose = true;

        QSignalSpy ended(frame.window.get(), &MainWindow::ended);
        QVERIFY(!frame.window->close());
        QVERIFY(frame.window->isVisible());
        QVERIFY(stubborn->isVisible());
        QCOMPARE(ended.count(), 0);

        stubborn->refuseClose = false;
        QVERIFY(frame.window->close());
    }

    void aNewUserStartsOnTheReadyDefault() {
        Frame frame;
        QVERIFY(Startup::prepareFolder(frame.context).ok());
        frame.open();
        Startup::openWindows(*frame.window, frame.context);
        auto* properties = frame.window->findChild<PropertyWindow*>("form_immobili");
        QVERIFY(properties);
        QVERIFY(frame.dialogs.messages.isEmpty());  // an empty register, not an error
        QCOMPARE(frame.window->workspace()->activeSubWindow()->widget(), properties);

        // A first property, typed and finished, is in the new database.
        const PropertyControls ui(*properties);
        ui.Command1->click();
        ui.Text1->setText("Rossi");
        emit ui.Text1->textEdited("Rossi");
        ui.Command6->click();
        QCOMPARE(ui.Label12->text(), QStringLiteral("1"));

        // A report file deleted since the last start comes back.
        QVERIFY(QFile::remove(frame.folder.file("agenda.rpt")));
        QVERIFY(Startup::prepareFolder(frame.context).ok());
        QVERIFY(QFile::exists(frame.folder.file("agenda.rpt")));

        // Ending the program writes what was typed.
        ui.Text2->setText("051 1");
        emit ui.Text2->textEdited("051 1");
        QVERIFY(frame.window->close());
        frame.window.reset();
        frame.open();
        Startup::openWindows(*frame.window, frame.context);
        QCOMPARE(PropertyControls(*frame.window->findChild<PropertyWindow*>("form_immobili")).Text2->text(),
                 QStringLiteral("051 1"));
    }

    void notizieAndAgendaOpenTheirRegistersOnce() {
        Frame frame;
        QVERIFY(Startup::prepareFolder(frame.context).ok());
        frame.open();
        Startup::openWindows(*frame.window, frame.context);
        frame.button("gestione")->trigger();
        QCOMPARE(frame.window->workspace()->activeSubWindow()->widget()->objectName(), QStringLiteral("form_notizie"));
        frame.button("agenda")->trigger();
        QWidget* diary = frame.window->workspace()->activeSubWindow()->widget();
        QCOMPARE(diary->objectName(), QStringLiteral("form_agenda"));
        frame.button("gestione")->trigger();
        frame.button("agenda")->trigger();
        QCOMPARE(frame.window->workspace()->activeSubWindow()->widget(), diary);
        QCOMPARE(frame.window->workspace()->subWindowList().size(), 3);
        QVERIFY(frame.dialogs.messages.isEmpty());
    }

    void backgroundPicture() {
        const QImage builtIn = Artwork::picture(Artwork::defaultBackground);
        QVERIFY(!builtIn.isNull());

        {  // no sfondo.ini: no picture, only the workspace colour
            Frame frame;
            frame.open();
            QVERIFY(frame.window->backgroundPicture().isNull());
        }
        {  // the picture it names
            Frame frame;
            const QString picture = frame.folder.writePicture(QStringLiteral("sfondo.bmp"), Qt::blue);
            frame.folder.write(QStringLiteral("sfondo.ini"), picture.toUtf8() + "\r\n");
            frame.open();
            QCOMPARE(frame.window->backgroundPicture().size(), QSize(40, 30));
            QCOMPARE(frame.window->backgroundPicture().pixelColor(5, 5), QColor(Qt::blue));
        }
        {  // a picture that is not there: the built-in one stays
            Frame frame;
            frame.folder.write(QStringLiteral("sfondo.ini"), frame.folder.file("manca.jpg").toUtf8() + "\r\n");
            frame.open();
            QCOMPARE(frame.window->backgroundPicture(), builtIn);
        }
        {  // an unquoted path with a comma is cut there, so it is not found either
            Frame frame;
            const QString picture = frame.folder.writePicture(QStringLiteral("casa, mare.png"), Qt::green);
            frame.folder.write(QStringLiteral("sfondo.ini"), picture.toUtf8() + "\r\n");
            frame.open();
            QCOMPARE(frame.window->backgroundPicture(), builtIn);
        }
        {  // the same path as the program writes it reads whole
            Frame frame;
            const QString picture = frame.folder.writePicture(QStringLiteral("casa, mare.png"), Qt::green);
            QVERIFY(ProgramSettings(frame.folder.path()).saveBackgroundPath(picture).ok());
            frame.open();
            QCOMPARE(frame.window->backgroundPicture().pixelColor(5, 5), QColor(Qt::green));
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
