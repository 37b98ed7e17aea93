#include "requests/RequestWindow.h"

#include "data/store/RecordSource.h"
#include "forms/controls/FieldBinding.h"
#include "forms/window/RecordCommands.h"
#include "forms/report/ReportControl.h"
#include "forms/controls/WindowControls.h"
#include "platform/gui/Artwork.h"
#include "report/RequestFormula.h"
#include "ui_RequestWindow.h"

#include <tuple>

namespace {

const QString table = QStringLiteral("richiesta");
const QString purposeField = QStringLiteral("motivo");

} // namespace

RequestWindow::RequestWindow(const Context& context, QWidget* parent)
    : RegisterWindow(context, parent), m_ui(std::make_unique<Ui::RequestWindow>()) {
    m_ui->setupUi(this);
    setMinimumSize(size()); // 11145 x 8190 twips with its frame: everything is placed for it
    setWindowIcon(Artwork::icon(QStringLiteral(":/icons/03-richieste.svg")));
    m_requests = addSource(table);
    m_requests->setObjectName(QStringLiteral("Data1"));
    // The names the card gives its fields, for the messages that name one.
    for (const auto& [field, caption] : {std::pair{"nome", "Nome"},
                                         {"cognome", "Cognome"},
                                         {"telefono", "Telefono"},
                                         {"indirizzo", "Indirizzo"},
                                         {"tipo", "Tipo"},
                                         {"motivo", "Motivo"},
                                         {"mq", "Mq cercati"},
                                         {"prezzo", "Prezzo"},
                                         {"note", "Note"}})
        m_requests->setFieldCaption(QString::fromUtf8(field), QString::fromUtf8(caption));
    m_report = new ReportControl(context, this);
    m_report->setObjectName(QStringLiteral("Report1"));

    setUpCommands();
    bindFields();
    connectCommands();
    load();
    WindowControls::settle(*this);
}

RequestWindow::~RequestWindow() = default;

void RequestWindow::setUpCommands() {
    Ui::RequestWindow& ui = *m_ui;
    m_commands = addRecordCommands(*m_requests);
    m_commands->enableIn(RecordCommands::State::Browsing, ui.Command1);
    m_commands->enableIn(RecordCommands::State::Entering, ui.Command4);
    m_commands->showIn(RecordCommands::State::Entering, ui.Combo4);
    m_commands->showIn(RecordCommands::State::Browsing, ui.Text12);
    m_commands->setFirstField(ui.Text1);
    // The card can be typed into from the first new request on, in every state.
    connect(m_commands, &RecordCommands::stateChanged, this, [this](RecordCommands::State state) {
        if (state != RecordCommands::State::Entering)
            return;
        for (QWidget* field : {static_cast<QWidget*>(m_ui->Text1), static_cast<QWidget*>(m_ui->Text2),
                               static_cast<QWidget*>(m_ui->Text3), static_cast<QWidget*>(m_ui->Text4),
                               static_cast<QWidget*>(m_ui->Text5), static_cast<QWidget*>(m_ui->Text12),
                               static_cast<QWidget*>(m_ui->Text6), static_cast<QWidget*>(m_ui->Text7),
                               static_cast<QWidget*>(m_ui->Text8)})
            field->setEnabled(true);
    });
}

void RequestWindow::bindFields() {
    Ui::RequestWindow& ui = *m_ui;
    FieldBinding::bind(ui.Text1, *m_requests, QStringLiteral("nome"));
    FieldBinding::bind(ui.Text2, *m_requests, QStringLiteral("cognome"));
    FieldBinding::bind(ui.Text3, *m_requests, QStringLiteral("telefono"));
    FieldBinding::bind(ui.Text4, *m_requests, QStringLiteral("indirizzo"));
    FieldBinding::bind(ui.Text5, *m_requests, QStringLiteral("tipo"));
    FieldBinding::bind(ui.Text12, *m_requests, purposeField);
    FieldBinding::bind(ui.Text6, *m_requests, QStringLiteral("mq"));
    FieldBinding::bind(ui.Text7, *m_requests, QStringLiteral("prezzo"));
    FieldBinding::bind(ui.Text8, *m_requests, QStringLiteral("note"));

    ui.Data1->bind(*m_requests, context().dialogs);
    ui.Data1->setCaption(QString(23, QLatin1Char(' ')) + QStringLiteral("RICHIESTE"));

    ui.DBGrid1->bind(*m_requests,
                     {{QStringLiteral("id"), QStringLiteral("id")},
                      {QStringLiteral("Nome"), QStringLiteral("nome")},
                      {QStringLiteral("Cognome"), QStringLiteral("cognome")},
                      {QStringLiteral("Telefono"), QStringLiteral("telefono")},
                      {QStringLiteral("indirizzo"), QStringLiteral("indirizzo")},
                      {QStringLiteral("Tipo"), QStringLiteral("tipo")},
                      {QStringLiteral("Mq"), QStringLiteral("mq")},
                      {QStringLiteral("Prezzo"), QStringLiteral("prezzo")},
                      {QStringLiteral("Note"), QStringLiteral("note")}},
                     context().dialogs, true);
    QPalette lightYellow = ui.DBGrid1->palette();
    lightYellow.setColor(QPalette::Base, QColor(255, 255, 128));
    ui.DBGrid1->setPalette(lightYellow);
    ui.DBGrid1->setColumnWidths({40, 80, 90, 80, 120, 80, 40, 64});
}

void RequestWindow::connectCommands() {
    Ui::RequestWindow& ui = *m_ui;
    connectCommand(ui.Command1, ui.Picture7, QStringLiteral("12-nuovo"), &RequestWindow::newRequest);
    connectCommand(ui.Command4, ui.Picture3, QStringLiteral("01-cartella"), &RequestWindow::saveRequest);
    connectCommand(ui.Command5, ui.Picture4, QStringLiteral("13-elimina"), &RequestWindow::deleteRequest);
    connectCommand(ui.Command2, ui.Picture2, QStringLiteral("14-cerca"), &RequestWindow::criteriaSearch);
    // The icons over "ANNULLA RICERCHE" and "STAMPA RICERCA" have no command of their own.
    connectCommand(ui.Command6, nullptr, QString(), &RequestWindow::allRequests);
    showIcon(ui.Picture1, QStringLiteral("18-annulla"));
    connectCommand(ui.Command14, nullptr, QString(), &RequestWindow::printSearch);
    showIcon(ui.Picture14, QStringLiteral("02-stampa"));

    // Enter in a criterion runs the criteria search, as "CERCA" does.
    connect(ui.Text9, &QLineEdit::returnPressed, this, &RequestWindow::criteriaSearch);
    for (QComboBox* criterion : {ui.Combo3, ui.Combo1, ui.Combo2})
        connect(criterion->lineEdit(), &QLineEdit::returnPressed, this, &RequestWindow::criteriaSearch);
    searchAsTyped(ui.Text11, [this](const QString& text) { return nameSearch(QStringLiteral("nome"), text); });
    searchAsTyped(ui.Text10, [this](const QString& text) { return nameSearch(QStringLiteral("cognome"), text); });

    followSource();
}

void RequestWindow::followSource() {
    connect(m_requests, &RecordSource::valueChanged, this, [this](const QString& field) {
        if (field == purposeField || !m_requests->isAdding())
            return;
        m_newTyped = true;
        writePurpose();
    });
    connect(m_ui->Combo4, &QComboBox::currentTextChanged, this, [this] {
        if (m_newTyped)
            writePurpose();
    });
}

void RequestWindow::writePurpose() {
    // Once something is typed the new request carries the purpose shown in the box, so
    // it is written whole however it is written (save, a move, a search, closing); one
    // left untouched stays empty and is dropped.
    if (m_requests->isAdding())
        std::ignore = setPendingValue(*m_requests, purposeField, m_ui->Combo4->currentText());
}

void RequestWindow::load() {
    // Every step runs even when an earlier one failed; a database that cannot be
    // opened has been told once by openDatabase().
    openDatabase();
    std::ignore = setUpReport(*m_report, QStringLiteral("richieste.rpt"));

    for (QComboBox* purpose : {m_ui->Combo3, m_ui->Combo4}) {
        purpose->addItems({QStringLiteral("vendita"), QStringLiteral("affitto")});
        purpose->setCurrentIndex(0);
    }
    for (int mq = 0; mq <= 1000; mq += 10) {
        m_ui->Combo1->addItem(QString::number(mq));
        m_ui->Combo2->addItem(QString::number(mq));
    }
    m_ui->Combo1->setCurrentIndex(0);
    m_ui->Combo2->setCurrentIndex(m_ui->Combo2->count() - 1);

    std::ignore = m_requests->refresh();
}

void RequestWindow::newRequest() {
    // Another new request while one is being typed writes the first one, or says why not.
    if (!report(m_commands->startNew()))
        return;
    m_newTyped = false;
}

void RequestWindow::saveRequest() {
    // The purpose goes only into a new request: with none, nothing stored changes.
    writePurpose();
    const bool adding = m_requests->isAdding();
    // A refusal (a word in "Mq cercati") is said and the request stays as typed.
    if (!report(m_requests->commitPending()))
        return;
    m_commands->finish();
    std::ignore = m_requests->refresh();
    std::ignore = moveToSaved(*m_requests, adding);
}

void RequestWindow::deleteRequest() {
    // A new request being typed is thrown away, as Esc does: deleting it must not store it.
    if (m_commands->isEntering())
        m_commands->cancel();
    else if (!removeCurrent(*m_requests)) // at once, with no question
        return;
    // Then to the last request, not the previous one.
    std::ignore = m_requests->moveLast();
}

void RequestWindow::criteriaSearch() {
    search(*m_requests, Query::criteria(table, {m_ui->Combo1->currentText(), QStringLiteral("Mq da")},
                                        {m_ui->Combo2->currentText(), QStringLiteral("a")}, m_ui->Combo3->currentText(),
                                        QStringLiteral("tipo"), m_ui->Text9->text()));
}

bool RequestWindow::nameSearch(const QString& field, const QString& text) {
    return search(*m_requests, Query::contains(table, field, text));
}

void RequestWindow::allRequests() {
    search(*m_requests, Query::all(table));
}

void RequestWindow::printSearch() {
    // The printout selects from the whole table by its own formula, whatever the grid shows.
    m_report->setSelectionFormula(RequestFormula::build(m_ui->Combo1->currentText(), m_ui->Combo2->currentText(),
                                                        m_ui->Combo3->currentText(), m_ui->Text9->text(),
                                                        context().regional));
    report(m_report->start());
}
