#include "PdfText.h"
#include "TestContext.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "data/store/Database.h"
#include "data/store/RecordSource.h"
#include "matching/MatchModel.h"
#include "matching/MatchSearch.h"
#include "matching/MatchSettings.h"
#include "matching/MatchWindow.h"
#include "forms/report/ReportControl.h"
#include "forms/report/ReportPreview.h"
#include "properties/PropertyWindow.h"
#include "report/ReportOutput.h"
#include "report/ReportRenderer.h"
#include "requests/RequestWindow.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QLabel>
#include <QMdiSubWindow>
#include <QProcess>
#include <QRegularExpression>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

namespace {

const QStringList types = {"Appartamento", "appartamento o villa", "Villa", "Attico", "", "Box", "villa a schiera"};
const QStringList zones = {"Centro", "Navigli", "Isola", "", "C?ntro"};

// An office with random properties and requests, in the shapes old files hold: numbers as
// text ("80 mq" where the engine keeps text), budgets in words, missing values.
struct Office : TestOffice {
    QList<qint64> properties;
    QList<qint64> requests;

    explicit Office(int propertyCount = 60, int requestCount = 400, quint32 seed = 24) {
        QRandomGenerator random(seed);
        const auto pick = [&random](const QStringList& list) { return list[random.bounded(list.size())]; };
        const auto surface = [&]() -> QVariant {
            switch (random.bounded(10)) {
            case 0:
                return {};
            case 1:
                return 0;
            case 2:
                // Text in a number field exists only where the engine keeps it.
                return db.isPostgres() ? QVariant(85) : QVariant(QStringLiteral("80 mq"));
            default:
                return 40 + random.bounded(160);
            }
        };
        const auto amount = [&]() -> QVariant {
            const int value = 50 + random.bounded(400);
            switch (random.bounded(8)) {
            case 0:
                return {};
            case 1:
                return QStringLiteral("da concordare");
            case 2:
                return QStringLiteral("%1k").arg(value);
            case 3:
                return QStringLiteral("%1.000").arg(value);
            default:
                return QString::number(value * 1000);
            }
        };
        // Purposes and types as old files hold them too: another case, blanks around, none at all.
        const auto purpose = [&]() -> QVariant {
            switch (random.bounded(20)) {
            case 0:
                return {};
            case 1:
                return QStringLiteral(" Vendita ");
            default:
                return random.bounded(5) == 0 ? QStringLiteral("affitto") : QStringLiteral("vendita");
            }
        };
        const auto type = [&]() -> QVariant { return random.bounded(15) == 0 ? QVariant() : QVariant(pick(types)); };
        for (int i = 0; i < propertyCount; ++i)
            properties << db.insert("immobile", {"proprietario", "tipologia", "zona", "mq", "prezzo", "motivo"},
                                    {QStringLiteral("Prop %1").arg(i), type(), pick(zones), surface(), amount(),
                                     purpose()});
        for (int i = 0; i < requestCount; ++i)
            requests << db.insert("richiesta", {"nome", "cognome", "telefono", "tipo", "mq", "prezzo", "note", "motivo"},
                                  {QStringLiteral("Nome%1").arg(i), QStringLiteral("D'Cognome"), QStringLiteral("02 %1").arg(i),
                                   type(), surface(), amount(),
                                   QStringLiteral("cerca in zona %1, luminoso").arg(pick(zones)), purpose()});
        MatchTolerances lenient;
        lenient.minimumScore = 75;  // plenty of near misses too
        if (!MatchSettings(db.folder().path()).write(lenient))
            qFatal("cannot write incroci.ini");
    }

    std::shared_ptr<Database> open() const {
        std::shared_ptr<Database> database;
        if (!Database::open(db.path(), database))
            qFatal("cannot open the database");
        return database;
    }
};

// What a list says, row by row: key, score, kind and reasons.
QStringList described(const std::vector<MatchRow>& rows) {
    QStringList lines;
    for (const MatchRow& row : rows)
        lines << QStringLiteral("%1 %2 %3 %4").arg(row.key).arg(row.result.score).arg(int(row.result.kind)).arg(row.reasons());
    return lines;
}

PropertyTerms propertyTerms(const RecordSource& source) {
    return {source.currentKey().value_or(0), source.value("motivo"), source.value("tipologia"), source.value("mq"),
            source.value("prezzo"), source.value("zona")};
}

RequestTerms requestTerms(const RecordSource& source) {
    return {source.currentKey().value_or(0), source.value("motivo"), source.value("tipo"), source.value("mq"),
            source.value("prezzo"), source.value("note")};
}

RecordSource& sourceOf(QWidget& window) {
    return *window.findChild<RecordSource*>(QStringLiteral("Data1"), Qt::FindDirectChildrenOnly);
}

std::vector<MatchRow> scanned(Office& office, const PropertyTerms* property, const RequestTerms* request) {
    std::vector<MatchRow> rows;
    const auto database = office.open();
    if (!MatchSearch::scanAll(*database, office.regional.locale(), MatchSettings(office.db.folder().path()).read(),
                              property, request, rows))
        qFatal("the plain scan failed");
    return rows;
}

// The text of a PDF in drawing order with every blank taken out, page by page.
QStringList pagesWithoutBlanks(const QString& pdf) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {QStringLiteral("<pdftotext failed>")};
    QStringList pages = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    for (QString& page : pages)
        page.remove(QRegularExpression(QStringLiteral("\\s")));
    return pages;
}

QString withoutBlanks(QString text) {
    return text.remove(QRegularExpression(QStringLiteral("\\s")));
}

} // namespace

class MatchWindowTest : public QObject {
    Q_OBJECT
private slots:
    // The narrowed, sliced search lists what scoring every row lists, both ways.
    void theSearchAgreesWithAPlainScan() {
        Office office;
        const auto database = office.open();
        MatchSearch search(database, office.regional.locale());
        search.setTolerances(MatchSettings(office.db.folder().path()).read());
        search.setSlice(std::chrono::nanoseconds(1));  // a slice per few rows: many turns of the event loop
        RecordSource properties(QStringLiteral("immobile"), office.regional);
        QVERIFY(properties.setDatabaseName(office.db.path()).ok());
        QVERIFY(properties.moveFirst().ok());
        int seen = 0, nearMisses = 0;
        do {
            const PropertyTerms property = propertyTerms(properties);
            QSignalSpy finished(&search, &MatchSearch::finished);
            search.findRequests(property);
            QVERIFY(finished.count() == 1 || finished.wait(10000));
            const std::vector<MatchRow> expected = scanned(office, &property, nullptr);
            QCOMPARE(described(search.rows()), described(expected));
            seen += static_cast<int>(expected.size());
            nearMisses += static_cast<int>(std::count_if(expected.begin(), expected.end(), [](const MatchRow& row) {
                return row.result.kind == MatchResult::NearMiss;
            }));
        } while (properties.moveNext().ok() && properties.hasCurrent() && properties.currentRow() < properties.rowCount());
        QVERIFY2(seen > 200 && nearMisses > 20, qPrintable(QStringLiteral("%1 %2").arg(seen).arg(nearMisses)));

        RecordSource requests(QStringLiteral("richiesta"), office.regional);
        QVERIFY(requests.setDatabaseName(office.db.path()).ok());
        QVERIFY(requests.moveFirst().ok());
        for (int i = 0; i < 80; ++i, (void)requests.moveNext()) {
            const RequestTerms request = requestTerms(requests);
            search.findProperties(request);
            search.finishNow();
            QCOMPARE(described(search.rows()), described(scanned(office, nullptr, &request)));
        }
    }

    // A table whose types are free text, a different one in each row, is too many types to
    // walk one by one: the search reads the surface range instead, with the same list.
    void manyTypesAreReadByTheirSurface() {
        Office office(3, 20);
        for (int i = 0; i < 700; ++i)
            office.db.insert("richiesta", {"nome", "tipo", "mq", "prezzo", "motivo"},
                             {QStringLiteral("Nome%1").arg(i), QStringLiteral("villa n. %1 con giardino").arg(i),
                              60 + i % 80, QString::number(200000 + 1000 * (i % 90)), QStringLiteral("vendita")});
        const auto database = office.open();
        MatchSearch search(database, office.regional.locale());
        search.setTolerances(MatchSettings(office.db.folder().path()).read());
        for (const PropertyTerms& property : {PropertyTerms{0, "vendita", "Villa", "100", "250000", ""},
                                              PropertyTerms{0, "vendita", "giardino", "", "", ""}}) {
            search.findRequests(property);
            search.finishNow();
            const std::vector<MatchRow> expected = scanned(office, &property, nullptr);
            QVERIFY(expected.size() > 100);
            QCOMPARE(described(search.rows()), described(expected));
        }
    }

    // A newer search supersedes one under way: only its list comes.
    void aNewSearchSupersedesTheOneUnderWay() {
        Office office(4, 600);
        const auto database = office.open();
        MatchSearch search(database, office.regional.locale());
        search.setTolerances(MatchSettings(office.db.folder().path()).read());
        search.setSlice(std::chrono::nanoseconds(1));
        QSignalSpy finished(&search, &MatchSearch::finished);
        const PropertyTerms first{0, "vendita", "", "", "", ""};
        const PropertyTerms second{0, "affitto", "Villa", "100", "", ""};
        search.findRequests(first);
        QVERIFY(search.isRunning());
        search.findRequests(second);
        QVERIFY(finished.count() == 1 || finished.wait(10000));  // a short list may come at once
        QTest::qWait(50);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(described(search.rows()), described(scanned(office, &second, nullptr)));
    }

    // INCROCI follows the register that last had the focus, its moves and its typing.
    void theWindowFollowsBothRegisters() {
        Office office(20, 150);
        PropertyWindow propertyWindow(office.context);
        RequestWindow requestWindow(office.context);
        MatchWindow window(office.context);
        QCOMPARE(window.objectName(), QStringLiteral("form_incroci"));
        QCOMPARE(window.windowTitle(), QStringLiteral("INCROCI"));
        QCOMPARE(window.model().rowCount(), 0);

        const auto listed = [&window] { return described(window.model().rows()); };
        const auto settle = [&window] {
            QTRY_VERIFY_WITH_TIMEOUT(!window.isSearching(), 10000);
            QCoreApplication::processEvents();
            QTRY_VERIFY_WITH_TIMEOUT(!window.isSearching(), 10000);
        };

        window.follow(&propertyWindow);
        RecordSource& properties = sourceOf(propertyWindow);
        settle();
        PropertyTerms property = propertyTerms(properties);
        QCOMPARE(listed(), described(scanned(office, &property, nullptr)));
        QVERIFY(window.heading().startsWith(QStringLiteral("Richieste adatte all'immobile %1").arg(*properties.currentKey())));

        // A move.
        QVERIFY(properties.moveFirst().ok());
        settle();
        property = propertyTerms(properties);
        QCOMPARE(listed(), described(scanned(office, &property, nullptr)));

        // Typing into the card: the list follows what is typed before it is saved.
        QLineEdit* surface = propertyWindow.findChild<QLineEdit*>(QStringLiteral("Text9"));
        QLineEdit* type = propertyWindow.findChild<QLineEdit*>(QStringLiteral("Text6"));
        surface->setFocus();
        surface->selectAll();
        QTest::keyClicks(surface, QStringLiteral("120"));
        type->selectAll();
        QTest::keyClicks(type, QStringLiteral("Villa"));
        settle();
        property = propertyTerms(properties);
        QCOMPARE(property.surface, QStringLiteral("120"));
        QCOMPARE(listed(), described(scanned(office, &property, nullptr)));
        QVERIFY(!listed().isEmpty());

        // The request register takes the focus: properties are listed for its request.
        window.follow(&requestWindow);
        RecordSource& requests = sourceOf(requestWindow);
        QVERIFY(requests.moveFirst().ok());
        QVERIFY(requests.moveNext().ok());
        settle();
        RequestTerms request = requestTerms(requests);
        QCOMPARE(listed(), described(scanned(office, nullptr, &request)));
        QVERIFY(window.heading().startsWith(QStringLiteral("Immobili adatti alla richiesta %1").arg(*requests.currentKey())));
        QLineEdit* wanted = requestWindow.findChild<QLineEdit*>(QStringLiteral("Text6"));
        wanted->setEnabled(true);  // as it is from the first new request on
        wanted->setFocus();
        wanted->selectAll();
        QTest::keyClicks(wanted, QStringLiteral("60"));
        settle();
        request = requestTerms(requests);
        QCOMPARE(request.surface, QStringLiteral("60"));
        QCOMPARE(listed(), described(scanned(office, nullptr, &request)));

        // A double-click asks for the listed record in its register.
        QVERIFY(window.model().rowCount() > 0);
        QSignalSpy opened(&window, &MatchWindow::openRecord);
        auto* grid = window.findChild<QTableView*>(QStringLiteral("DBGrid1"));
        emit grid->doubleClicked(window.model().index(0, 1));
        QCOMPARE(opened.count(), 1);
        QCOMPARE(opened.first().at(0).toString(), QStringLiteral("immobile"));
        QCOMPARE(opened.first().at(1).toLongLong(), window.model().rows().front().key);
    }

    // "STAMPA INCROCI" prints the list as the window shows it, row by row and cell by cell,
    // over as many pages as it takes, long reasons wrapped within their column.
    void thePrintoutIsTheWindowsList() {
        Office office(12, 1500);
        PropertyWindow propertyWindow(office.context);
        MatchWindow window(office.context);
        window.follow(&propertyWindow);
        RecordSource& properties = sourceOf(propertyWindow);
        // The property with the longest list.
        QVERIFY(properties.moveFirst().ok());
        int best = 0;
        std::size_t most = 0;
        for (int row = 0; row < properties.rowCount(); ++row, (void)properties.moveNext()) {
            window.refreshNow();
            if (window.model().rows().size() > most) {
                most = window.model().rows().size();
                best = row;
            }
        }
        QVERIFY(properties.moveFirst().ok());
        for (int row = 0; row < best; ++row)
            QVERIFY(properties.moveNext().ok());
        window.refreshNow();
        QVERIFY2(most > 80, qPrintable(QString::number(most)));

        std::unique_ptr<ReportRenderer> report;
        QVERIFY(window.layOutPrintout(report).ok());
        QVERIFY(report->pageCount() > 2);
        const QString pdf = office.db.folder().file("incroci.pdf");
        QVERIFY(ReportOutput::writePdf(*report, pdf).ok());

        // Each page less its title, date, heading, captions, footer and page number: what is
        // left, page after page, is every cell of the list in its order.
        QString body;
        const QStringList pages = pagesWithoutBlanks(pdf);
        QCOMPARE(pages.size(), report->pageCount());
        const QString chrome = withoutBlanks(QStringLiteral("Incroci Stampato il ") + office.regional.dateText(office.clock.today()) +
                                             window.heading());
        const QString band = withoutBlanks(MatchModel::captions(true).join(QString()));
        for (qsizetype i = 0; i < pages.size(); ++i) {
            QString page = pages.at(i);
            QVERIFY2(page.startsWith(chrome), qPrintable(page.left(300)));
            page.remove(0, chrome.size());
            const QString footer = withoutBlanks(window.findChild<QLabel*>(QStringLiteral("Label2"))->text() +
                                                 QStringLiteral("Pagina %1 di %2").arg(i + 1).arg(pages.size()));
            QVERIFY2(page.startsWith(footer), qPrintable(page.left(300)));
            page.remove(0, footer.size());
            QVERIFY(page.startsWith(band));
            body += page.mid(band.size());
        }
        QString listed;
        int wrapped = 0;
        for (const MatchRow& row : window.model().rows()) {
            listed += withoutBlanks(MatchModel::cells(row).join(QString()));
            wrapped += row.reasons().size() > 60;
        }
        QVERIFY(wrapped > 10);  // reasons longer than their column's line
        QCOMPARE(body, listed);
    }

    // The button is reached from the list with Tab; afterwards the list has the focus again.
    void thePrintButtonByKeyboard() {
        Office office(6, 60);
        PropertyWindow propertyWindow(office.context);
        MatchWindow window(office.context);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* grid = window.findChild<QTableView*>(QStringLiteral("DBGrid1"));
        auto* button = window.findChild<QPushButton*>(QStringLiteral("Command1"));
        QCOMPARE(button->text(), QStringLiteral("STAMPA INCROCI"));
        // Nothing followed yet: it says what to do first.
        button->click();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.messages.last().startsWith(QStringLiteral("Scegli prima un immobile")));

        window.follow(&propertyWindow);
        window.refreshNow();
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Tab);
        QVERIFY(button->hasFocus());
        QTest::keyClick(button, Qt::Key_Space);
        ReportPreview* preview = window.reportControl().preview();
        QVERIFY(preview);
        QCOMPARE(office.dialogs.messages.size(), 1);
        QTRY_VERIFY(grid->hasFocus() || preview->isActiveWindow());
        // Esc leaves the preview, which is gone with it.
        QPointer<ReportPreview> shown(preview);
        preview->activateWindow();
        QTRY_VERIFY(preview->isActiveWindow());
        QTest::keyClick(preview, Qt::Key_Escape);
        QTRY_VERIFY(shown.isNull());
        // Enter on the focused button prints as Space does.
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Return);
        QVERIFY(window.reportControl().preview());
        window.reportControl().preview()->close();
    }

    // On PostgreSQL the list waits for the server between events: with the table held by
    // another session the search stays under way while typing goes on, and once the table
    // is let go the list is what scoring every row gives.
    void theServerIsWaitedForBetweenEvents() {
        Office office(10, 300);
        if (!office.db.isPostgres())
            QSKIP("only a server is waited for; SQLite reads in slices (theSearchAgreesWithAPlainScan)");
        const auto database = office.open();
        MatchSearch search(database, office.regional.locale());
        search.setTolerances(MatchSettings(office.db.folder().path()).read());
        QSignalSpy finished(&search, &MatchSearch::finished);
        const PropertyTerms property{0, "vendita", "Villa", "100", "250000", "Centro"};

        office.db.exec("BEGIN");
        office.db.exec("LOCK TABLE richiesta IN ACCESS EXCLUSIVE MODE");
        search.findRequests(property);
        QVERIFY(search.isWaitingForServer());
        QLineEdit edit;
        edit.show();
        QTest::keyClicks(&edit, QStringLiteral("Villa"));
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(edit.text(), QStringLiteral("Villa"));
        QVERIFY(search.isWaitingForServer());
        QCOMPARE(finished.count(), 0);
        office.db.exec("COMMIT");
        QVERIFY(finished.wait(10000));
        QVERIFY(!search.rows().empty());
        QCOMPARE(described(search.rows()), described(scanned(office, &property, nullptr)));
    }

    // A register closed under it leaves the window usable and says what to do.
    void aClosedRegisterLeavesAnEmptyList() {
        Office office(5, 20);
        auto propertyWindow = std::make_unique<PropertyWindow>(office.context);
        MatchWindow window(office.context);
        window.follow(propertyWindow.get());
        window.refreshNow();
        QVERIFY(!window.heading().isEmpty());
        propertyWindow.reset();
        QTRY_VERIFY(window.heading().isEmpty());
        QCOMPARE(window.model().rowCount(), 0);
    }

    // F9 in a register opens INCROCI once, on that register's record; a double-click opens the
    // listed record in the other register; closed and opened again, it shows the record of now.
    void f9AndTheDoubleClickInTheFrame() {
        Office office(20, 150);
        MainWindow frame(office.context);
        office.context.windows = &frame;
        Startup::openWindows(frame, office.context);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QWidget* properties = frame.findChild<PropertyWindow*>();
        QVERIFY(properties);
        QLineEdit* type = properties->findChild<QLineEdit*>(QStringLiteral("Text6"));
        type->setFocus();
        QTRY_VERIFY(type->hasFocus());
        QTest::keyClick(type, Qt::Key_F9);
        auto* window = frame.findChild<MatchWindow*>();
        QVERIFY(window);
        QCOMPARE(window->followed(), properties);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F9);
        QCOMPARE(frame.findChildren<MatchWindow*>().size(), 1);
        window->refreshNow();
        // Pick a property with matches, then double-click the first request.
        RecordSource& source = sourceOf(*properties);
        QVERIFY(source.moveFirst().ok());
        while (true) {
            window->refreshNow();
            if (window->model().rowCount() > 0)
                break;
            QVERIFY(source.moveNext().ok());
            QVERIFY(source.currentRow() < source.rowCount());
        }
        const qint64 request = window->model().rows().front().key;
        auto* grid = window->findChild<QTableView*>(QStringLiteral("DBGrid1"));
        emit grid->doubleClicked(window->model().index(0, 1));
        auto* requests = frame.findChild<RequestWindow*>();
        QVERIFY(requests);
        QCOMPARE(sourceOf(*requests).currentKey(), std::optional<qint64>(request));
        QCOMPARE(sourceOf(*requests).rowCount(), 1);

        // The request register had the focus last: closed and opened again, INCROCI lists properties.
        const QString heading = window->heading();
        qobject_cast<QMdiSubWindow*>(window->parentWidget())->close();
        QTRY_VERIFY(!frame.findChild<MatchWindow*>());
        requests->findChild<QLineEdit*>(QStringLiteral("Text1"))->setFocus();
        frame.runToolbarCommand(MainWindow::Matching);
        window = frame.findChild<MatchWindow*>();
        QVERIFY(window);
        window->refreshNow();
        QVERIFY(window->heading().startsWith(QStringLiteral("Immobili adatti alla richiesta %1").arg(request)));
        QVERIFY(window->heading() != heading);
    }
};

QTEST_MAIN(MatchWindowTest)
#include "tst_matchwindow.moc"
