#include "../properties/PropertyControls.h"
#include "Artwork.h"
#include "MainWindow.h"
#include "PhotoViewer.h"
#include "ProgramSettings.h"
#include "RecordSource.h"
#include "PropertySheet.h"
#include "PropertyWindow.h"
#include "ScriptedDialogs.h"
#include "SessionDialogs.h"
#include "Startup.h"
#include "TestContext.h"
#include "TestFolder.h"
#include "WindowStyle.h"
#include "Workspace.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTest>
#include <QToolBar>
#include <QToolTip>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

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

// The first value a query answers on a database file, read on a connection of its own.
QVariant firstValue(const QString& path, const QString& sql) {
    QVariant value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lettura"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(sql, db);
            if (query.next())
                value = query.value(0);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("lettura"));
    return value;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Artwork::initialise(); }

    void theStylesIconsMadeWhenShownAreTheBaseStylesOwn() {
        WindowStyle style(QStringLiteral("Fusion"));
        const std::unique_ptr<QStyle> base(QStyleFactory::create(QStringLiteral("Fusion")));
        QToolBar bar;
        QStyleOption plain; // as the toolbar's overflow button asks
        plain.initFrom(&bar);
        QStyleOptionButton button;
        button.initFrom(&bar);
        for (const QStyle::StandardPixmap which :
             {QStyle::SP_TitleBarMenuButton, QStyle::SP_TitleBarCloseButton, QStyle::SP_TitleBarNormalButton,
              QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_MessageBoxWarning}) {
            const QStyleOption* const options[] = {nullptr, &plain, &button};
            for (const QStyleOption* option : options) {
                const QIcon later = style.standardIcon(which, option, &bar);
                const QIcon now = base->standardIcon(which, option, &bar);
                QCOMPARE(later.isNull(), now.isNull());
                QCOMPARE(later.availableSizes(), now.availableSizes());
                for (const int side : {16, 32})
                    QCOMPARE(later.pixmap(side).toImage(), now.pixmap(side).toImage());
            }
        }
    }

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

    void onlyTheButtonsWithATooltipShowOne() {
        Frame frame;
        frame.open();
        frame.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame.window.get()));
        auto* toolbar = frame.window->findChild<QToolBar*>(QStringLiteral("Toolbar1"));
        const auto shownTip = [toolbar](const char* key) {
            QAction* action = toolbar->findChild<QAction*>(QString::fromLatin1(key));
            QWidget* button = toolbar->widgetForAction(action);
            QToolTip::hideText();
            QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), button->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(button, &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        for (const char* key : {"bakupcrea", "recupera", "gestion"})
            QVERIFY2(shownTip(key).isEmpty(), key);
        QCOMPARE(shownTip("agenda"), QStringLiteral("AGENDA DEGLI APPUNTAMENTI"));
        QToolTip::hideText();
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

    void theViewerAndTheSheetExistOnceAlsoAfterTheRegisterIsReopened() {
        Frame frame;
        QVERIFY(Startup::prepareFolder(frame.context).ok());
        frame.open();
        frame.context.windows = frame.window.get(); // as main() does
        Startup::openWindows(*frame.window, frame.context);
        const auto count = [&frame](const char* className) {
            int shown = 0;
            for (QMdiSubWindow* sub : frame.window->workspace()->subWindowList())
                shown += sub->widget() && sub->widget()->inherits(className);
            return shown;
        };
        for (int round = 0; round < 2; ++round) {
            auto* properties = frame.window->findChild<PropertyWindow*>("form_immobili");
            QVERIFY(properties);
            const PropertyControls ui(*properties);
            emit ui.Picture1->clicked();
            ui.Command15->click();
            emit ui.Picture1->clicked();
            ui.Command15->click();
            QVERIFY2(count("PhotoViewer") == 1, qPrintable(QString::number(round)));
            QVERIFY2(count("PropertySheet") == 1, qPrintable(QString::number(round)));
            // Closing the register closes what it showed: nothing stale stays behind.
            const QPointer<PropertyWindow> closed = properties;
            QVERIFY(properties->parentWidget()->close());
            QTRY_VERIFY(!closed);
            QTRY_COMPARE(count("PhotoViewer"), 0);
            QTRY_COMPARE(count("PropertySheet"), 0);
            frame.window->runToolbarCommand(MainWindow::Properties);
        }
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
        // The first look is the program's own background, not a plain frame.
        QCOMPARE(frame.window->backgroundPicture(), Artwork::picture(Artwork::defaultBackground));

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

    void theSystemEndingTheSessionEndsAsFineDoes() {
        Frame frame;
        QVERIFY(Startup::prepareFolder(frame.context).ok());
        SessionDialogs session(frame.dialogs);
        Context context{frame.folder.path(), session, frame.clock, frame.regional, frame.printing};
        MainWindow window(context);
        window.show();
        Startup::openWindows(window, context);
        Startup::endOnSystemSignals(window, session);
        const PropertyControls ui(*window.findChild<PropertyWindow*>("form_immobili"));
        const auto typeInto = [](QLineEdit* field, const QString& text) {
            field->setText(text);
            emit field->textEdited(text);
        };
        ui.Command1->click();
        typeInto(ui.Text1, "Rossi");
        ui.Command6->click();
        QSignalSpy ended(&window, &MainWindow::ended);

        // Logout or kill: what is typed in the card is written, nothing is asked.
        typeInto(ui.Text2, "051 1");
        ::raise(SIGTERM);
        QTRY_COMPARE(ended.count(), 1);
        QVERIFY(frame.dialogs.messages.isEmpty());
        QCOMPARE(firstValue(frame.folder.file("daba.mdb"), "SELECT telefono FROM immobile"), QVariant("051 1"));
    }

    void anEditThatCannotBeWrittenAtTheSystemsEndIsLogged() {
        Frame frame;
        QVERIFY(Startup::prepareFolder(frame.context).ok());
        SessionDialogs session(frame.dialogs);
        Context context{frame.folder.path(), session, frame.clock, frame.regional, frame.printing};
        MainWindow window(context);
        window.show();
        Startup::openWindows(window, context);
        Startup::endOnSystemSignals(window, session);
        const PropertyControls ui(*window.findChild<PropertyWindow*>("form_immobili"));
        ui.Command1->click();
        ui.Text1->setText("Rossi");
        emit ui.Text1->textEdited("Rossi");
        ui.Command6->click();
        QSignalSpy ended(&window, &MainWindow::ended);

        ui.Text9->setText("molti"); // a word in Mq cannot be stored
        emit ui.Text9->textEdited("molti");
        const QString log = frame.folder.file("stderr.txt");
        const int saved = ::dup(2);
        {
            QFile sink(log);
            QVERIFY(sink.open(QIODevice::WriteOnly));
            ::dup2(sink.handle(), 2);
            ::raise(SIGHUP);
            QTRY_COMPARE(ended.count(), 1);
            ::dup2(saved, 2);
            ::close(saved);
        }
        QVERIFY(frame.dialogs.messages.isEmpty()); // nobody there to press OK
        const QString written = QString::fromLocal8Bit(frame.folder.read("stderr.txt"));
        QVERIFY2(written.contains("molti") && written.contains("segnale 1"), qPrintable(written));
        // Here nothing ends the event loop: a program that goes on speaks again.
        QTRY_VERIFY(!session.unattended());
        QVERIFY(!window.close());
        QCOMPARE(frame.dialogs.messages.size(), 1);
        // What was refused is kept for the next start, which says where.
        const QStringList kept = QDir(frame.folder.path()).entryList({"dati-non-salvati-*.txt"}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QVERIFY(Startup::unsavedNotice(frame.folder.path()).contains(frame.folder.file(kept[0])));
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

    void theFirstBuildOfTheSearchIndexIsToldInTheStatusBar() {
        Frame frame;
        QVERIFY(Startup::prepareFolder(frame.context).ok());
        // Leads written by another tool: the first open indexes them in the background.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("scrittura"));
            db.setDatabaseName(frame.folder.file("daba.mdb"));
            QVERIFY(db.open());
            QSqlQuery insert(db);
            db.transaction();
            insert.prepare("INSERT INTO notizie (notizia) VALUES (?)");
            for (int i = 0; i < 20000; ++i) {
                insert.addBindValue(QStringLiteral("Si libera un bilocale in Via Zamboni %1").arg(i));
                QVERIFY(insert.exec());
            }
            db.commit();
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("scrittura"));
        frame.open();
        frame.context.windows = frame.window.get();
        Startup::openWindows(*frame.window, frame.context);

        QLabel* work = frame.panel("Panel3");
        QVERIFY(work);
        QVERIFY(!work->isHidden());
        QVERIFY2(QRegularExpression("^Preparazione della ricerca veloce: \\d{1,2} %$").match(work->text()).hasMatch(),
                 qPrintable(work->text()));
        QVERIFY(work->toolTip().contains("le ricerche trovano le stesse righe"));
        // Typing goes on meanwhile: a search in the leads register is answered.
        frame.button("gestione")->trigger();
        auto* leads = frame.window->workspace()->activeSubWindow()->widget();
        auto* contains = leads->findChild<QLineEdit*>("Text6");
        QTest::keyClicks(contains, "zamboni 1999");
        QTRY_VERIFY(!leads->findChild<RecordSource*>("Data1")->isSearching());
        QCOMPARE(leads->findChild<RecordSource*>("Data1")->value("notizia"),
                 QStringLiteral("Si libera un bilocale in Via Zamboni 1999"));
        // Once the index is complete the panel goes.
        QTRY_VERIFY_WITH_TIMEOUT(work->isHidden(), 120000);
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
        { // a pipe named as the picture: never opened, or the program would wait for a writer for ever
            Frame frame;
            const QString fifo = frame.folder.file(QStringLiteral("sfondo.jpg"));
            QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
            frame.folder.write(QStringLiteral("sfondo.ini"), fifo.toUtf8() + "\r\n");
            ::alarm(20); // a hang must fail the test
            frame.open();
            ::alarm(0);
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
