#include "TestContext.h"
#include "data/folder/ReportFiles.h"
#include "data/store/RecordSource.h"
#include "forms/controls/FieldBinding.h"
#include "forms/window/RegisterWindow.h"
#include "forms/report/ReportControl.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/PictureBox.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {

// A register built only from the shared mechanic, laid out as the request register is:
// new and save with their icons, the purpose box shown over its field while Entering.
class SmallRegister : public RegisterWindow {
public:
    explicit SmallRegister(const Context& context) : RegisterWindow(context) {
        source = addSource("richiesta");
        auto* layout = new QVBoxLayout(this);
        for (QWidget* w : std::initializer_list<QWidget*>{name, surface, purposeField, purposeBox, newButton,
                                                          saveButton, newIcon, saveIcon, plainIcon})
            layout->addWidget(w);
        purposeBox->setEditable(true);
        purposeBox->addItems({"vendita", "affitto"});
        commands = addRecordCommands(*source);
        commands->enableIn(RecordCommands::State::Browsing, newButton);
        commands->enableIn(RecordCommands::State::Entering, saveButton);
        commands->showIn(RecordCommands::State::Entering, purposeBox);
        commands->showIn(RecordCommands::State::Browsing, purposeField);
        commands->setFirstField(name);
        connectCommand(newButton, newIcon, "12-nuovo", &SmallRegister::newRecord);
        connectCommand(saveButton, saveIcon, "17-chiudi", &SmallRegister::save);
        showIcon(plainIcon, "13-elimina");
        openDatabase();
        FieldBinding::bind(name, *source, "nome");
        FieldBinding::bind(surface, *source, "mq");
        FieldBinding::bind(purposeField, *source, "motivo");
        std::ignore = source->refresh();
    }

    void newRecord() { report(commands->startNew()); }
    void save() {
        std::ignore = setPendingValue(*source, "motivo", purposeBox->currentText());
        if (!report(source->commitPending()))
            return;
        commands->finish();
        std::ignore = source->moveLast();
    }

    using RegisterWindow::child;
    using RegisterWindow::databaseFolder;
    using RegisterWindow::insertRow;
    using RegisterWindow::openChild;
    using RegisterWindow::setPendingValue;
    using RegisterWindow::setUpReport;

    RecordSource* source;
    RecordCommands* commands;
    QLineEdit* name = new QLineEdit;
    QLineEdit* surface = new QLineEdit;
    QLineEdit* purposeField = new QLineEdit;
    QComboBox* purposeBox = new QComboBox;
    QPushButton* newButton = new QPushButton("NUOVA");
    QPushButton* saveButton = new QPushButton("AGGIORNA");
    PictureBox* newIcon = new PictureBox;
    PictureBox* saveIcon = new PictureBox;
    PictureBox* plainIcon = new PictureBox;
};

struct Register : TestOffice {
    std::unique_ptr<SmallRegister> window;
    Register() {
        db.insert("richiesta", {"nome", "motivo"}, {"Anna", "vendita"});
        db.insert("richiesta", {"nome", "motivo"}, {"Bruno", "affitto"});
        window = std::make_unique<SmallRegister>(context);
        window->show();
    }
    bool browsing() const {
        return window->commands->state() == RecordCommands::State::Browsing && window->newButton->isEnabled() &&
               !window->saveButton->isEnabled() && window->purposeBox->isHidden() && !window->purposeField->isHidden();
    }
    bool entering() const {
        return window->commands->state() == RecordCommands::State::Entering && !window->newButton->isEnabled() &&
               window->saveButton->isEnabled() && !window->purposeBox->isHidden() && window->purposeField->isHidden();
    }
};

} // namespace

class RegisterMechanicTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Artwork::initialise(); }

    void newEntersAndSaveLeavesEntering() {
        Register r;
        QVERIFY(r.browsing());
        r.window->newButton->setFocus();
        QTest::mouseClick(r.window->newButton, Qt::LeftButton);
        QVERIFY(r.entering());
        QCOMPARE(r.window->focusWidget(), r.window->name); // not the button now disabled
        QTest::keyClicks(r.window->name, "Carla");
        r.window->purposeBox->setCurrentText("affitto");
        r.window->saveButton->click();
        QVERIFY(r.browsing());
        QCOMPARE(r.db.count("richiesta"), 3);
        QCOMPARE(r.window->name->text(), QStringLiteral("Carla"));
        QCOMPARE(r.window->purposeField->text(), QStringLiteral("affitto")); // written through the source
    }

    void escDropsTheNewRecordAndLeavesEntering() {
        Register r;
        QCOMPARE(r.window->name->text(), QStringLiteral("Anna"));
        r.window->newButton->click();
        QTest::keyClicks(r.window->name, "Zeta");
        QTest::keyClick(r.window->name, Qt::Key_Escape);
        QVERIFY(r.browsing());
        QCOMPARE(r.window->name->text(), QStringLiteral("Anna"));
        // The next keys must not go on into Anna, now on the card: the focus left it.
        QCOMPARE(r.window->focusWidget(), r.window->newButton);
        QTest::keyClicks(r.window->focusWidget(), "Zeta");
        QCOMPARE(r.window->name->text(), QStringLiteral("Anna"));
        QVERIFY(!r.window->source->hasPendingEdit());
        // Save's icon still runs; with nothing pending nothing is written, Anna keeps her purpose.
        r.window->saveIcon->clicked();
        QCOMPARE(r.db.count("richiesta"), 2);
        QCOMPARE(r.db.value("richiesta", 1, "motivo").toString(), QStringLiteral("vendita"));

        // Esc from a widget that is not a card field (the purpose box) leaves Entering too.
        r.window->newIcon->clicked();
        QVERIFY(r.entering());
        QTest::keyClicks(r.window->surface, "80");
        QTest::keyClick(r.window->purposeBox, Qt::Key_Escape);
        QVERIFY(r.browsing());
        QVERIFY(!r.window->source->isAdding());
        QCOMPARE(r.db.count("richiesta"), 2);
    }

    void escPutsBackWhatWasShownBeforeNew() {
        Register r;
        // A widget that "save" leaves shown (like the property purpose box) goes back to hidden.
        auto* kept = new QLineEdit(r.window.get());
        kept->hide();
        r.window->commands->showFromNew(kept);
        r.window->newButton->click();
        QVERIFY(!kept->isHidden());
        r.window->commands->cancel();
        QVERIFY(kept->isHidden());
        r.window->newButton->click();
        r.window->name->setText("Dario");
        emit r.window->name->textEdited("Dario");
        r.window->saveButton->click();
        QVERIFY(!kept->isHidden());
    }

    void iconsRunTheirCommandEvenOverADisabledButton() {
        Register r;
        QVERIFY(!r.window->newIcon->image().isNull());
        QVERIFY(!r.window->plainIcon->image().isNull());
        r.window->newIcon->clicked();
        QVERIFY(r.entering());
        r.window->newIcon->clicked(); // the button is disabled; its icon is not
        QVERIFY(r.entering());
        QTest::keyClicks(r.window->name, "Elena");
        r.window->saveIcon->clicked();
        QVERIFY(r.browsing());
        QCOMPARE(r.db.count("richiesta"), 3);
        r.window->plainIcon->clicked(); // no command: nothing happens
        QVERIFY(r.browsing());
        QVERIFY(r.dialogs.messages.isEmpty());
    }

    void valuesWrittenByCodeGoOnlyIntoAPendingRecord() {
        Register r;
        QVERIFY(!r.window->setPendingValue(*r.window->source, "motivo", "affitto"));
        QCOMPARE(r.window->purposeField->text(), QStringLiteral("vendita"));
        QVERIFY(!r.window->source->hasPendingEdit());

        r.window->newButton->click();
        QVERIFY(r.window->setPendingValue(*r.window->source, "mq", "120"));
        QCOMPARE(r.window->surface->text(), QStringLiteral("120")); // the bound field shows it
        QVERIFY(r.window->source->update());
        QCOMPARE(r.db.value("richiesta", 3, "mq").toInt(), 120);
        QVERIFY(r.window->source->moveLast());

        // A pending edit of a stored record takes it too.
        r.window->name->setText("Anna Maria");
        emit r.window->name->textEdited("Anna Maria");
        QVERIFY(r.window->setPendingValue(*r.window->source, "motivo", "affitto"));
        QVERIFY(r.window->source->update());
        QCOMPARE(r.db.value("richiesta", 3, "motivo").toString(), QStringLiteral("affitto"));
    }

    void insertedRowsAreWholeOrNotAtAll() {
        Register r;
        const Result refused = r.window->insertRow(*r.window->source, {{"nome", "Franco"}, {"mq", "molti"}});
        QVERIFY(!refused);
        QVERIFY(refused.message().contains("molti"));
        QVERIFY(!r.window->source->hasPendingEdit());
        QCOMPARE(r.db.count("richiesta"), 2);
        QVERIFY(r.window->insertRow(*r.window->source, {{"nome", "Franco"}, {"mq", "90"}}));
        QCOMPARE(r.db.count("richiesta"), 3);
        QCOMPARE(r.window->name->text(), QStringLiteral("Franco"));
    }

    void theReportIsSetUpBesideTheRealDatabaseFile() {
        if (TestDatabase::onPostgres())
            QSKIP("a database file's own folder; a server's desk keeps its reports in the program folder");
        TestOffice office;
        // A database file whose name is not 8 characters long, in a folder of its own.
        const QString folder = office.db.folder().file("archivio");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(office.db.path(), folder + "/ufficio.sqlite"));
        office.db.folder().write("daba.ini", (folder + "/ufficio.sqlite\r\n").toUtf8());
        QVERIFY(ReportFiles::placeMissing(folder));
        SmallRegister window(office.context);
        QCOMPARE(window.databaseFolder(), folder + "/");
        ReportControl report(office.context);
        QVERIFY(window.setUpReport(report, "rapporto.rpt"));
        QCOMPARE(report.reportFile(), folder + "/rapporto.rpt");
        QVERIFY(!window.setUpReport(report, "manca.rpt")); // the load tells a missing file
    }

    void aChildWindowIsOpenedOnceAndClosesWithItsRegister() {
        Register r;
        int made = 0;
        const auto make = [&made] {
            ++made;
            return new QWidget;
        };
        QWidget* first = r.window->openChild<QWidget>("viewer", make);
        QCOMPARE(r.window->openChild<QWidget>("viewer", make), first);
        QCOMPARE(made, 1);
        QVERIFY(first->isVisible());
        QPointer<QWidget> alive = first;
        delete first; // closed by the user
        QWidget* second = r.window->openChild<QWidget>("viewer", make);
        QCOMPARE(made, 2);
        alive = second;
        QVERIFY(r.window->close());
        QVERIFY(!alive);
    }
};

QTEST_MAIN(RegisterMechanicTest)
#include "tst_registermechanic.moc"
