#include "FakeClock.h"
#include "FakePrinting.h"
#include "ScriptedDialogs.h"
#include "TestContext.h"
#include "TestDatabase.h"
#include "data/store/RecordSource.h"
#include "forms/controls/BoundGrid.h"
#include "forms/controls/FieldBinding.h"
#include "forms/controls/NavigationBar.h"
#include "forms/window/RegisterWindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A small register built only from the shared pieces: owner and surface fields, a
// hidden key label, the arrows, a grid and a search-as-you-type field.
class OwnerWindow : public RegisterWindow {
public:
    explicit OwnerWindow(const Context& context) : RegisterWindow(context) {
        source = addSource("immobile");
        auto* layout = new QVBoxLayout(this);
        for (QWidget* w : std::initializer_list<QWidget*>{owner, notes, surface, key, bar, searchField, grid})
            layout->addWidget(w);
        FieldBinding::bind(owner, *source, "proprietario");
        FieldBinding::bind(notes, *source, "noteprop");
        FieldBinding::bind(surface, *source, "mq");
        keyBinding = FieldBinding::bind(key, *source, "id");
        bar->bind(*source, context.dialogs);
        grid->bind(*source, {{"id", "id"}, {"Proprietario", "proprietario"}, {"Mq", "mq"}}, context.dialogs, true);
        connect(searchField, &QLineEdit::textChanged, this,
                [this](const QString& text) { this->search(*source, Query::contains("immobile", "proprietario", text)); });
        openDatabase();
        std::ignore = source->refresh();
    }

    RecordSource* source;
    QLineEdit* owner = new QLineEdit;
    QPlainTextEdit* notes = new QPlainTextEdit;
    QLineEdit* surface = new QLineEdit;
    QLabel* key = new QLabel;
    NavigationBar* bar = new NavigationBar;
    QLineEdit* searchField = new QLineEdit;
    BoundGrid* grid = new BoundGrid;
    FieldBinding* keyBinding;
};

struct Office : TestOffice {
    QList<qint64> keys;

    Office() : TestOffice(QDateTime(QDate(2026, 12, 6), QTime(9, 0))) {
        for (const char* owner : {"Rossi", "Bianchi", "D'Amico"})
            keys << db.insert("immobile", {"proprietario", "mq"}, {owner, 100});
    }
};

void type(QWidget* field, const QString& text) {
    field->setFocus();
    // A field shows the start of its value: typing goes on after it, as after a click at its end.
    if (auto* line = qobject_cast<QLineEdit*>(field); line && !line->hasSelectedText())
        line->end(false);
    QTest::keyClicks(field, text);
}

} // namespace

class BindingsTest : public QObject {
    Q_OBJECT

private slots:
    void fieldsShowTheCurrentRecordAndTypingBecomesItsEdit() {
        Office office;
        OwnerWindow window(office.context);
        QCOMPARE(window.owner->text(), QStringLiteral("Rossi"));
        QCOMPARE(window.key->text(), QString::number(office.keys[0]));

        window.owner->selectAll();
        type(window.owner, "Verdi");
        QVERIFY(window.source->hasPendingEdit());
        QCOMPARE(window.grid->model()->index(0, 1).data().toString(), QStringLiteral("Verdi"));  // the grid follows

        QSignalSpy keyChanged(window.keyBinding, &FieldBinding::changed);
        window.bar->nextButton()->click();
        QCOMPARE(office.db.value("immobile", office.keys[0], "proprietario").toString(), QStringLiteral("Verdi"));
        QCOMPARE(window.owner->text(), QStringLiteral("Bianchi"));
        QCOMPARE(keyChanged.count(), 1);
        QCOMPARE(keyChanged.first().first().toString(), QString::number(office.keys[1]));
    }

    void escapeUndoesTheEditOfTheRecord() {
        Office office;
        OwnerWindow window(office.context);
        type(window.owner, "zzz");
        window.notes->setFocus();
        QTest::keyClicks(window.notes, "nota");
        QTest::keyClick(window.notes, Qt::Key_Escape);
        QVERIFY(!window.source->hasPendingEdit());
        QCOMPARE(window.owner->text(), QStringLiteral("Rossi"));
        QCOMPARE(window.notes->toPlainText(), QString());
    }

    // Only what the user typed changes: non-breaking spaces, CR LF, lone CR and LF of the
    // stored text stay as they are, in a 30 kB note as in a short one.
    void aNoteIsWrittenBackExactlyButForTheTyping_data() {
        QTest::addColumn<QString>("stored");
        const QString nbsp(QChar(0x00A0));
        const QString mixed = "Via\u00A0Roma\u00A012\r\nsecondo piano\rinterno\n\tultima\u2028riga";
        QTest::newRow("mixed") << mixed;
        QTest::newRow("30 kB") << QString("Prezzo 1" + nbsp + "000 €, trattabile\r\n").repeated(1300);
        QTest::newRow("ends with CR LF") << QStringLiteral("Uno\r\n\r\n");
    }

    void aNoteIsWrittenBackExactlyButForTheTyping() {
        QFETCH(QString, stored);
        Office office;
        office.db.exec(QStringLiteral("UPDATE immobile SET noteprop = '%1' WHERE id = %2")
                           .arg(stored, QString::number(office.keys[0])));
        OwnerWindow window(office.context);
        window.notes->setFocus();
        window.notes->moveCursor(QTextCursor::End);
        QTest::keyClicks(window.notes, " fine");
        window.bar->nextButton()->click();
        QCOMPARE(office.db.value("immobile", office.keys[0], "noteprop").toString(), stored + " fine");

        // A line typed in the middle takes the text's own line break; the rest stays.
        window.bar->previousButton()->click();
        window.notes->moveCursor(QTextCursor::Start);
        window.notes->moveCursor(QTextCursor::EndOfBlock);
        QTest::keyClick(window.notes, Qt::Key_Return);
        QTest::keyClicks(window.notes, "nuova");
        QTest::keyClick(window.notes, Qt::Key_Backspace);
        const qsizetype lineEnd = stored.indexOf(QRegularExpression("[\r\n\u2029]"));
        const QString lineBreak = stored.contains("\r\n") ? "\r\n" : "\n";
        QString expected = stored + " fine";
        expected.insert(lineEnd < 0 ? expected.size() : lineEnd, lineBreak + "nuov");
        window.bar->nextButton()->click();
        QCOMPARE(office.db.value("immobile", office.keys[0], "noteprop").toString(), expected);
    }

    // A megabyte of hex without a blank or a line break: shown whole, in pieces that lay out
    // quickly, and written back with only the typing added.
    void aLongUnbrokenNoteShowsCompleteAndIsWrittenBackExactly() {
        Office office;
        QString hex;
        const char digits[] = "0123456789abcdef";
        for (int i = 0; i < 1 << 20; ++i)
            hex += QLatin1Char(digits[(i * 7 + i / 16) % 16]);
        office.db.exec(QStringLiteral("UPDATE immobile SET noteprop = '%1' WHERE id = %2")
                           .arg(hex, QString::number(office.keys[0])));
        OwnerWindow window(office.context);
        QTextDocument* document = window.notes->document();
        QVERIFY(document->blockCount() > 100);
        QCOMPARE(document->toRawText().remove(QChar::ParagraphSeparator), hex);

        // A line typed where one piece ends and the next begins goes where it is seen.
        window.notes->setFocus();
        window.notes->setTextCursor(QTextCursor(document->findBlockByNumber(1)));
        const qsizetype split = document->findBlockByNumber(1).position() - 1;
        QTest::keyClick(window.notes, Qt::Key_Return);
        QTest::keyClicks(window.notes, "y");
        window.notes->moveCursor(QTextCursor::End);
        QTest::keyClicks(window.notes, "x");
        window.bar->nextButton()->click();
        QCOMPARE(office.db.value("immobile", office.keys[0], "noteprop").toString(),
                 hex.left(split) + "\ny" + hex.mid(split) + "x");
    }

    // Qt's one-line field holds 32,767 characters unless told otherwise: a longer text,
    // stored or pasted, is kept whole.
    void aOneLineFieldKeepsATextOfAnyLength() {
        Office office;
        const QString longOwner = QString("Rossi Mario ").repeated(4000); // 48,000 characters
        office.db.exec(QStringLiteral("UPDATE immobile SET proprietario = '%1' WHERE id = %2")
                           .arg(longOwner, QString::number(office.keys[0])));
        OwnerWindow window(office.context);
        QCOMPARE(window.owner->text(), longOwner);
        window.owner->setFocus();
        window.owner->end(false);
        QTest::keyClicks(window.owner, "!");
        window.bar->nextButton()->click();
        QCOMPARE(office.db.value("immobile", office.keys[0], "proprietario").toString(), longOwner + "!");

        QGuiApplication::clipboard()->setText(longOwner + longOwner);
        window.owner->selectAll();
        window.owner->paste();
        window.bar->previousButton()->click();
        QCOMPARE(office.db.value("immobile", office.keys[1], "proprietario").toString(), longOwner + longOwner);
    }

    // Another copy of the program deleted the next record: the arrow says so in one
    // sentence and shows the record after it, never a blank card.
    void anArrowOntoADeletedRecordSaysSoAndShowsTheNextOne() {
        Office office;
        OwnerWindow window(office.context);
        office.db.exec(QStringLiteral("DELETE FROM immobile WHERE id = %1").arg(office.keys[1]));
        window.bar->nextButton()->click();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY2(office.dialogs.messages[0].startsWith("Il record non c'è più"),
                 qPrintable(office.dialogs.messages[0]));
        QCOMPARE(window.owner->text(), QStringLiteral("D'Amico"));
        QCOMPARE(window.key->text(), QString::number(office.keys[2]));
        QCOMPARE(window.grid->model()->rowCount(), 2);
    }

    void arrowsStopAtTheEnds() {
        Office office;
        OwnerWindow window(office.context);
        window.bar->previousButton()->click();
        QCOMPARE(window.owner->text(), QStringLiteral("Rossi"));
        window.bar->lastButton()->click();
        QCOMPARE(window.owner->text(), QStringLiteral("D'Amico"));
        window.bar->nextButton()->click();
        QCOMPARE(window.owner->text(), QStringLiteral("D'Amico"));
        window.bar->firstButton()->click();
        QCOMPARE(window.owner->text(), QStringLiteral("Rossi"));
        QVERIFY(office.dialogs.messages.isEmpty());
    }

    void aRefusedValueIsExplainedAndStaysToBeCorrected() {
        Office office;
        OwnerWindow window(office.context);
        window.surface->selectAll();
        type(window.surface, "80 mq");
        window.bar->nextButton()->click();
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.messages[0].contains("80 mq"));
        QCOMPARE(window.owner->text(), QStringLiteral("Rossi"));  // still on the same record
        QCOMPARE(window.surface->text(), QStringLiteral("80 mq"));

        window.surface->selectAll();
        type(window.surface, "80");
        window.bar->nextButton()->click();
        QCOMPARE(office.db.value("immobile", office.keys[0], "mq").toInt(), 80);
    }

    void noCurrentRecordMeansEmptyFieldsThatTakeNoTyping() {
        Office office;
        OwnerWindow window(office.context);
        QVERIFY(window.source->remove().ok());
        QVERIFY(window.source->movePrevious().ok());
        QCOMPARE(window.owner->text(), QString());
        QVERIFY(window.owner->isReadOnly());
        QVERIFY(window.notes->isReadOnly());
        QCOMPARE(window.key->text(), QString());
        QVERIFY(window.source->addNew().ok());
        QVERIFY(!window.owner->isReadOnly());
    }

    void theGridAndTheSourceKeepInStep() {
        Office office;
        OwnerWindow window(office.context);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.grid->setCurrentIndex(window.grid->model()->index(2, 1));
        QCOMPARE(window.owner->text(), QStringLiteral("D'Amico"));
        window.bar->firstButton()->click();
        QCOMPARE(window.grid->currentIndex().row(), 0);
    }

    // The grid's quick painting must show exactly what the style's own delegate shows:
    // selected and plain rows, accents, empty cells, text to elide, several lines, focus.
    void theGridPaintsItsCellsAsTheStyleDoes() {
        Office office;
        for (const char* owner : {"Società Lüneburg È", "", "Una proprietaria dal nome molto lungo che non ci sta",
                                  "Due\nrighe", "  spazi  "})
            office.db.insert("immobile", {"proprietario", "mq"}, {owner, 7});
        OwnerWindow window(office.context);
        window.resize(420, 320);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto both = [&window] {
            const QImage quick = window.grid->grab().toImage();
            QAbstractItemDelegate* own = window.grid->itemDelegate();
            QStyledItemDelegate style;
            window.grid->setItemDelegate(&style);
            const QImage styled = window.grid->grab().toImage();
            window.grid->setItemDelegate(own);
            return std::pair{quick, styled};
        };
        for (const int row : {2, 5}) {
            QVERIFY(window.source->moveToRow(row).ok());
            const auto [quick, styled] = both();
            QVERIFY2(quick == styled, qPrintable(QStringLiteral("row %1").arg(row)));
        }
        window.grid->setFocus();
        window.grid->setCurrentIndex(window.grid->model()->index(3, 1));
        const auto [quick, styled] = both();
        QVERIFY(quick == styled);
    }

    void searchingAsYouTypeWithAnApostrophe() {
        Office office;
        OwnerWindow window(office.context);
        type(window.searchField, "d'a");
        QCOMPARE(window.owner->text(), QStringLiteral("D'Amico"));
        QCOMPARE(window.grid->model()->rowCount(), 1);
        QVERIFY(office.dialogs.messages.isEmpty());
        type(window.searchField, "xyz");
        QCOMPARE(window.owner->text(), QString());
        QCOMPARE(window.grid->model()->rowCount(), 0);
    }

    void closingWritesTheEditOrStaysOpenSayingWhy() {
        Office office;
        {
            OwnerWindow window(office.context);
            window.show();
            type(window.owner, " e figli");
            QVERIFY(window.close());
            QCOMPARE(office.db.value("immobile", office.keys[0], "proprietario").toString(), QStringLiteral("Rossi e figli"));
        }
        {
            OwnerWindow window(office.context);
            window.show();
            window.surface->selectAll();
            type(window.surface, "tanti");
            QVERIFY(!window.close());
            QVERIFY(window.isVisible());
            QCOMPARE(office.dialogs.messages.size(), 1);
            QTest::keyClick(window.surface, Qt::Key_Escape);
            QVERIFY(window.close());
            QCOMPARE(office.db.value("immobile", office.keys[0], "mq").toInt(), 100);
        }
    }

    void aDatabaseThatCannotBeOpenedIsToldOnce() {
        Office office;
        office.db.folder().write("daba.ini", "/non/esiste/daba.mdb\r\n");
        OwnerWindow window(office.context);
        QCOMPARE(office.dialogs.messages.size(), 1);
        QVERIFY(office.dialogs.messages[0].contains("/non/esiste/daba.mdb"));
        QCOMPARE(window.owner->text(), QString());
        QVERIFY(window.owner->isReadOnly());
        window.bar->nextButton()->click();  // still usable: says why instead of failing silently
        QVERIFY(window.close());
    }
};

QTEST_MAIN(BindingsTest)
#include "tst_bindings.moc"
