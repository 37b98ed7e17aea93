#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "data/store/RecordSource.h"
#include "forms/controls/BoundGrid.h"
#include "platform/Regional.h"
#include "platform/gui/Artwork.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QScrollBar>
#include <QTest>

// A grid over a result larger than the keys it holds: its scroll bar, ctrl+Home, ctrl+End
// and the page keys reach every row, on either engine, for the whole table and for a
// search; the current record changes only when the user picks a row.

namespace {

const Regional italian{QLocale(QLocale::Italian, QLocale::Italy)};

struct Grid {
    TestDatabase db;
    RecordSource source{"immobile", italian};
    ScriptedDialogs dialogs;
    BoundGrid grid;
    QList<qint64> keys; // of owners 1..count, in order

    explicit Grid(int count, const std::function<bool(int)>& kept = {}) {
        db.exec("BEGIN");
        for (int i = 1; i <= count; ++i)
            keys << db.insert("immobile", {"proprietario", "mq"}, {QStringLiteral("Proprietario %1").arg(i), i});
        db.exec("COMMIT");
        // Rows deleted afterwards leave gaps in the keys, as an office's deletions do.
        if (kept)
            for (int i = 1; i <= count; ++i)
                if (!kept(i))
                    db.exec(QStringLiteral("DELETE FROM immobile WHERE id = %1").arg(keys.at(i - 1)));
        if (!source.setDatabaseName(db.path()).ok() || !source.refresh().ok())
            qFatal("cannot open the register");
        grid.bind(source, {{"id", "id"}, {"Proprietario", "proprietario"}}, dialogs, false);
        grid.resize(400, 300);
        grid.show();
        settled();
    }

    void settled() {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
    QString owner(int row) const { return grid.model()->index(row, 1).data().toString(); }
    int firstShown() const { return grid.rowAt(0); }
    int lastShown() const {
        const int last = grid.rowAt(grid.viewport()->height() - 1);
        return last >= 0 ? last : grid.model()->rowCount() - 1;
    }
    // The thumb taken, moved and let go, as the mouse does.
    void drag(int value) {
        QScrollBar* bar = grid.verticalScrollBar();
        bar->setSliderDown(true);
        bar->setSliderPosition(value);
        bar->setSliderDown(false);
        settled();
    }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(&grid, key, modifiers);
        settled();
    }
    // Every row in view shows an owner, in the order of the keys.
    void checkShownInOrder() const {
        int previous = 0;
        for (int row = firstShown(); row <= lastShown(); ++row) {
            const QString text = owner(row);
            QVERIFY2(text.startsWith(QStringLiteral("Proprietario ")), qPrintable(QString::number(row)));
            const int number = text.mid(13).toInt();
            QVERIFY(number > previous);
            previous = number;
        }
    }
};

} // namespace

class WholeGridTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Artwork::initialise(); }

    void theScrollBarSpansTheWholeTable() {
        Grid g(1000);
        QAbstractItemModelTester tester(g.grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(g.grid.model()->rowCount(), 1000);
        QScrollBar* bar = g.grid.verticalScrollBar();
        const int shown = g.lastShown() - g.firstShown() + 1;
        QVERIFY(bar->maximum() >= 1000 - shown && bar->maximum() <= 1000 - shown + 1);

        g.drag(500);  // the middle
        QCOMPARE(g.firstShown(), 500);
        QCOMPARE(g.owner(500), QStringLiteral("Proprietario 501"));
        g.checkShownInOrder();
        g.drag(bar->maximum());  // the end
        QCOMPARE(g.lastShown(), 999);
        QCOMPARE(g.owner(999), QStringLiteral("Proprietario 1000"));
        g.checkShownInOrder();
        g.drag(0);
        QCOMPARE(g.owner(0), QStringLiteral("Proprietario 1"));
        // Scrolling is no choice of a record.
        QCOMPARE(g.source.value("proprietario"), QStringLiteral("Proprietario 1"));
        QCOMPARE(g.dialogs.messages, QStringList());
    }

    void theKeysMoveThroughTheWholeTable() {
        Grid g(1000);
        g.grid.setFocus();
        g.key(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(g.source.currentKey(), std::optional<qint64>(g.keys.last()));
        QCOMPARE(g.source.value("proprietario"), QStringLiteral("Proprietario 1000"));
        QCOMPARE(g.grid.currentIndex().row(), 999);
        QCOMPARE(g.lastShown(), 999);

        g.key(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(g.source.value("proprietario"), QStringLiteral("Proprietario 1"));
        QCOMPARE(g.grid.currentIndex().row(), 0);

        // Page Down goes on past the keys first read, each page to the row it shows.
        int previous = 0;
        for (int page = 0; page < 20; ++page) {
            g.key(Qt::Key_PageDown);
            const int row = g.grid.currentIndex().row();
            QVERIFY(row > previous);
            previous = row;
            QCOMPARE(g.source.value("proprietario"), QStringLiteral("Proprietario %1").arg(row + 1));
        }
        QVERIFY(previous > 256);
        g.key(Qt::Key_PageUp);
        QVERIFY(g.grid.currentIndex().row() < previous);
        QCOMPARE(g.source.value("proprietario"), QStringLiteral("Proprietario %1").arg(g.grid.currentIndex().row() + 1));

        // The navigation of the card moves the grid's selection with it, wherever it is.
        QVERIFY(g.source.moveLast().ok());
        g.settled();
        QCOMPARE(g.grid.currentIndex().row(), 999);
        QVERIFY(g.source.movePrevious().ok());
        QCOMPARE(g.grid.currentIndex().row(), 998);
        QVERIFY(g.source.moveFirst().ok());
        QCOMPARE(g.grid.currentIndex().row(), 0);
    }

    void gapsInTheKeysAreSettledAsTheRowsAreRead() {
        // Owners 301-600 deleted: the keys' range promises more rows than there are.
        Grid g(1000, [](int i) { return i <= 300 || i > 600; });
        g.grid.setFocus();
        g.drag(g.grid.verticalScrollBar()->maximum());
        QCOMPARE(g.owner(g.grid.model()->rowCount() - 1), QStringLiteral("Proprietario 1000"));
        g.checkShownInOrder();
        g.key(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(g.source.value("proprietario"), QStringLiteral("Proprietario 1000"));

        // Walking from the start to the end reads every row: then the count is the table's.
        g.key(Qt::Key_Home, Qt::ControlModifier);
        for (int page = 0; page < 100 && g.source.value("proprietario") != QStringLiteral("Proprietario 1000"); ++page)
            g.key(Qt::Key_PageDown);
        QCOMPARE(g.source.value("proprietario"), QStringLiteral("Proprietario 1000"));
        QCOMPARE(g.grid.model()->rowCount(), 700);
        QCOMPARE(g.grid.currentIndex().row(), 699);
        g.drag(300);
        g.checkShownInOrder();
        QCOMPARE(g.owner(300), QStringLiteral("Proprietario 601"));
    }

    void aSearchShowsItsOwnRows() {
        Grid g(1000);
        QList<int> found; // the owners holding a 7
        for (int i = 1; i <= 1000; ++i)
            if (QString::number(i).contains(QLatin1Char('7')))
                found << i;
        QVERIFY(g.source.setRecordSource(Query::contains("immobile", "proprietario", "7")).ok());
        QVERIFY(g.source.refresh().ok());
        QTRY_VERIFY(!g.source.isSearching());
        g.settled();
        QCOMPARE(g.owner(0), QStringLiteral("Proprietario %1").arg(found.first()));

        g.drag(g.grid.verticalScrollBar()->maximum());
        QCOMPARE(g.owner(g.grid.model()->rowCount() - 1), QStringLiteral("Proprietario %1").arg(found.last()));
        g.checkShownInOrder();
        g.grid.setFocus();
        g.key(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(g.source.value("proprietario"), QStringLiteral("Proprietario %1").arg(found.last()));

        // Back to the start, and down to the end a page at a time: every row found, in order.
        g.key(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(g.source.value("proprietario"), QStringLiteral("Proprietario %1").arg(found.first()));
        QCOMPARE(g.grid.currentIndex().row(), 0);
        const QString last = QStringLiteral("Proprietario %1").arg(found.last());
        for (int page = 0; page < 100 && g.source.value("proprietario") != last; ++page)
            g.key(Qt::Key_PageDown);
        QCOMPARE(g.source.value("proprietario"), last);
        QCOMPARE(g.grid.model()->rowCount(), found.size());
        for (int row = 0; row < found.size(); row += 37)
            QCOMPARE(g.owner(row), QStringLiteral("Proprietario %1").arg(found.at(row)));
    }

    void aGridBoundAfterTheRecordMovedOnShowsItsRow() {
        // The source's own window grows as the record moves on; a grid bound then (a window
        // built late) holds only a part of it, around the current record.
        TestDatabase db;
        db.exec("BEGIN");
        for (int i = 1; i <= 1000; ++i)
            db.insert("immobile", {"proprietario"}, {QStringLiteral("Proprietario %1").arg(i)});
        db.exec("COMMIT");
        RecordSource source{"immobile", italian};
        QVERIFY(source.setDatabaseName(db.path()).ok());
        QVERIFY(source.refresh().ok());
        for (int i = 0; i < 700; ++i)
            QVERIFY(source.moveNext().ok());
        QCOMPARE(source.value("proprietario"), QStringLiteral("Proprietario 701"));
        ScriptedDialogs dialogs;
        BoundGrid grid;
        grid.bind(source, {{"id", "id"}, {"Proprietario", "proprietario"}}, dialogs, false);
        grid.resize(400, 300);
        grid.show();
        QCoreApplication::processEvents();
        QCOMPARE(grid.currentIndex().row(), 700);
        QCOMPARE(grid.model()->index(700, 1).data().toString(), QStringLiteral("Proprietario 701"));
        QCOMPARE(grid.model()->index(10, 1).data().toString(), QStringLiteral("Proprietario 11"));
        QCOMPARE(grid.model()->index(999, 1).data().toString(), QStringLiteral("Proprietario 1000"));
    }

    void newAndDeletedRecordsAreRowsAtOnce() {
        Grid g(1000);
        QVERIFY(g.source.addNew().ok());
        QVERIFY(g.source.setFieldValue("proprietario", "Proprietario 1001").ok());
        QVERIFY(g.source.update().ok());
        QVERIFY(g.source.moveToKey(*g.source.insertedKey()).ok());  // as the registers do after a save
        g.settled();
        QCOMPARE(g.grid.model()->rowCount(), 1001);
        QCOMPARE(g.grid.currentIndex().row(), 1000);
        QCOMPARE(g.owner(1000), QStringLiteral("Proprietario 1001"));

        QVERIFY(g.source.moveToKey(g.keys.at(499)).ok());
        g.settled();
        QCOMPARE(g.grid.currentIndex().row(), 499);
        QVERIFY(g.source.remove().ok());
        g.settled();
        QCOMPARE(g.grid.model()->rowCount(), 1000);
        QCOMPARE(g.owner(499), QStringLiteral("Proprietario 501"));
        QCOMPARE(g.owner(498), QStringLiteral("Proprietario 499"));
    }
};

QTEST_MAIN(WholeGridTest)
#include "tst_wholegrid.moc"
