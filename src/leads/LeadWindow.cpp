#include "leads/LeadWindow.h"

#include "data/store/RecordSource.h"
#include "data/store/RecordSource.h"
#include "forms/controls/FieldBinding.h"
#include "forms/controls/FieldBinding.h"
#include "forms/window/RecordCommands.h"
#include "forms/window/RecordCommands.h"
#include "forms/controls/WindowControls.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/Artwork.h"
#include "ui_LeadWindow.h"

#include <tuple>

namespace {

const QString table = QStringLiteral("notizie");

} // namespace

LeadWindow::LeadWindow(const Context& context, QWidget* parent)
    : RegisterWindow(context, parent), m_ui(std::make_unique<Ui::LeadWindow>()) {
    m_ui->setupUi(this);
    setEnterPressesButtons(true);
    setMinimumSize(size()); // 7980 x 7545 twips with its frame: everything is placed for it
    setWindowIcon(Artwork::icon(QStringLiteral(":/icons/08-notizie.svg")));
    m_leads = addSource(table);
    m_leads->setObjectName(QStringLiteral("Data1"));
    // The names the card gives its fields, for the messages that name one.
    for (const auto& [field, caption] : {std::pair{"data", "Data"},
                                         {"notizia", "Notizia"},
                                         {"fonte", "Fonte"},
                                         {"telefono", "Telefono"},
                                         {"svilutto", "Sviluppo"}})
        m_leads->setFieldCaption(QString::fromUtf8(field), QString::fromUtf8(caption));
    bindFields();

    using State = RecordCommands::State;
    m_commands = addRecordCommands(*m_leads);
    m_commands->enableIn(State::Browsing, m_ui->Command1);
    m_commands->enableIn(State::Entering, m_ui->Command2);
    m_commands->setFirstField(m_ui->Text2);
    connectCommand(m_ui->Command1, m_ui->Picture7, QStringLiteral("12-nuovo"), &LeadWindow::newLead);
    connectCommand(m_ui->Command2, m_ui->Picture3, QStringLiteral("01-cartella"), &LeadWindow::save);
    connectCommand(m_ui->Command3, m_ui->Picture4, QStringLiteral("13-elimina"), &LeadWindow::deleteLead);
    searchAsTyped(m_ui->Text6, [this](const QString& text) { return searchText(text); });
    searchAsTyped(m_ui->Text7, [this](const QString& text) { return searchTelephone(text); });
    load();
    WindowControls::settle(*this);
}

LeadWindow::~LeadWindow() = default;

void LeadWindow::bindFields() {
    Ui::LeadWindow& ui = *m_ui;
    FieldBinding::bind(ui.Text1, *m_leads, QStringLiteral("data"));
    FieldBinding::bind(ui.Text2, *m_leads, QStringLiteral("notizia"));
    FieldBinding::bind(ui.Text3, *m_leads, QStringLiteral("fonte"));
    FieldBinding::bind(ui.Text4, *m_leads, QStringLiteral("telefono"));
    FieldBinding::bind(ui.Text5, *m_leads, QStringLiteral("svilutto"));
    ui.Data1->bind(*m_leads, context().dialogs);
    ui.DBGrid1->bind(*m_leads,
                     {{QStringLiteral("id"), QStringLiteral("id")},
                      {QStringLiteral("data"), QStringLiteral("data")},
                      {QStringLiteral("notizia"), QStringLiteral("notizia")},
                      {QStringLiteral("fonte"), QStringLiteral("fonte")},
                      {QStringLiteral("telefono"), QStringLiteral("telefono")},
                      {QStringLiteral("sviluppo"), QStringLiteral("svilutto")}},
                     context().dialogs, true);
    QPalette yellow = ui.DBGrid1->palette();
    yellow.setColor(QPalette::Base, QColor(255, 255, 128));
    yellow.setColor(QPalette::Text, Qt::black);
    ui.DBGrid1->setPalette(yellow);
    ui.DBGrid1->setColumnWidths({40, 74, 160, 80, 80});
}

void LeadWindow::load() {
    // Every step runs even when an earlier one failed; a database that cannot be opened
    // has been told once, and the window opens empty.
    std::ignore = openDatabase();
    std::ignore = m_leads->refresh();
}

void LeadWindow::newLead() {
    if (!report(m_commands->startNew()))
        return;
    std::ignore = m_leads->setDefaultValue(QStringLiteral("data"), context().regional.dateText(context().clock.today()));
}

void LeadWindow::save() {
    saveThenLast(*m_leads, *m_commands, m_ui->Command1); // ready for the next lead
}

void LeadWindow::deleteLead() {
    deleteThenPrevious(*m_leads, *m_commands);
}

bool LeadWindow::searchText(const QString& text) {
    dropUntypedLead();
    return search(*m_leads, Query::contains(table, QStringLiteral("notizia"), text));
}

bool LeadWindow::searchTelephone(const QString& text) {
    dropUntypedLead();
    return search(*m_leads, Query::contains(table, QStringLiteral("telefono"), text));
}

void LeadWindow::dropUntypedLead() {
    if (m_leads->isUntypedNew())
        m_commands->cancel();
}

void LeadWindow::closeEvent(QCloseEvent* event) {
    dropUntypedLead();
    RegisterWindow::closeEvent(event);
}
