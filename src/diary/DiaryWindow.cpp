#include "diary/DiaryWindow.h"

#include "data/store/RecordSource.h"
#include "data/store/RecordSource.h"
#include "diary/DiaryRange.h"
#include "diary/DiaryRange.h"
#include "forms/controls/FieldBinding.h"
#include "forms/controls/FieldBinding.h"
#include "forms/window/RecordCommands.h"
#include "forms/window/RecordCommands.h"
#include "forms/report/ReportControl.h"
#include "forms/report/ReportControl.h"
#include "forms/controls/WindowControls.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/Artwork.h"
#include "ui_DiaryWindow.h"

#include <QKeyEvent>
#include <tuple>

DiaryWindow::DiaryWindow(const Context& context, QWidget* parent)
    : RegisterWindow(context, parent), m_ui(std::make_unique<Ui::DiaryWindow>()) {
    m_ui->setupUi(this);
    setEnterPressesButtons(true);
    setMinimumSize(size()); // 7185 x 6960 twips with its frame: everything is placed for it
    setWindowIcon(Artwork::icon(QStringLiteral(":/icons/07-agenda.svg")));
    m_appointments = addSource(QStringLiteral("agenda"));
    m_appointments->setObjectName(QStringLiteral("Data1"));
    // The names the card gives its fields, for the messages that name one.
    for (const auto& [field, caption] : {std::pair{"datap", "Data"},
                                         {"ora", "Ora"},
                                         {"agente", "Agente"},
                                         {"appuntamento", "Appuntamento"},
                                         {"note", "Note"}})
        m_appointments->setFieldCaption(QString::fromUtf8(field), QString::fromUtf8(caption));
    m_report = new ReportControl(context, this);
    m_report->setObjectName(QStringLiteral("Report1"));
    bindFields();

    using State = RecordCommands::State;
    m_commands = addRecordCommands(*m_appointments);
    m_commands->enableIn(State::Browsing, m_ui->Command1);
    m_commands->enableIn(State::Entering, m_ui->Command2);
    m_commands->setFirstField(m_ui->Text1);
    // The icons act as the buttons beneath them, as in the other registers.
    connectCommand(m_ui->Command1, m_ui->Picture7, QStringLiteral("12-nuovo"), &DiaryWindow::newAppointment);
    connectCommand(m_ui->Command2, m_ui->Picture3, QStringLiteral("01-cartella"), &DiaryWindow::save);
    connectCommand(m_ui->Command3, m_ui->Picture4, QStringLiteral("13-elimina"), &DiaryWindow::deleteAppointment);
    connectCommand(m_ui->Command4, m_ui->Picture1, QStringLiteral("14-cerca"), &DiaryWindow::rangeSearch);
    connect(m_ui->Command6, &QPushButton::clicked, this, &DiaryWindow::fullList);
    m_ui->Command7->setIcon(Artwork::icon(QStringLiteral(":/icons/02-stampa.svg")));
    connect(m_ui->Command7, &QToolButton::clicked, this, &DiaryWindow::print);
    // Enter in a range box runs the search, as a user expects after typing a day.
    m_ui->Text6->installEventFilter(this);
    m_ui->Text7->installEventFilter(this);
    load();
    WindowControls::settle(*this);
}

DiaryWindow::~DiaryWindow() = default;

void DiaryWindow::bindFields() {
    Ui::DiaryWindow& ui = *m_ui;
    FieldBinding::bind(ui.Text1, *m_appointments, QStringLiteral("datap"));
    FieldBinding::bind(ui.Text2, *m_appointments, QStringLiteral("ora"));
    FieldBinding::bind(ui.Text3, *m_appointments, QStringLiteral("agente"));
    FieldBinding::bind(ui.Text4, *m_appointments, QStringLiteral("appuntamento"));
    FieldBinding::bind(ui.Text5, *m_appointments, QStringLiteral("note"));
    ui.Data1->bind(*m_appointments, context().dialogs);
    ui.Data1->setCaption(QStringLiteral("           AGENDA"));
    ui.DBGrid1->bind(*m_appointments,
                     {{QStringLiteral("id"), QStringLiteral("id")},
                      {QStringLiteral("DATA"), QStringLiteral("datap")},
                      {QStringLiteral("ORA"), QStringLiteral("ora")},
                      {QStringLiteral("AGENTE"), QStringLiteral("agente")},
                      {QStringLiteral("APPUNTAMENTO"), QStringLiteral("appuntamento")},
                      {QStringLiteral("NOTE"), QStringLiteral("note")}},
                     context().dialogs, true);
    QPalette yellow = ui.DBGrid1->palette();
    yellow.setColor(QPalette::Base, QColor(255, 255, 128));
    yellow.setColor(QPalette::Text, palette().color(QPalette::WindowText));
    ui.DBGrid1->setPalette(yellow);
    ui.DBGrid1->setColumnWidths({36, 72, 44, 80, 130});
}

bool DiaryWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == m_ui->Text6 || watched == m_ui->Text7) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            rangeSearch();
            return true;
        }
    }
    return RegisterWindow::eventFilter(watched, event);
}

void DiaryWindow::load() {
    // Every step runs even when an earlier one failed: without a database the boxes and
    // the caption still show the thirteen days around today. A database that cannot be
    // opened has been told once.
    std::ignore = openDatabase();
    std::ignore = setUpReport(*m_report, QStringLiteral("agenda.rpt"));
    const QDate today = context().clock.today();
    m_ui->Text6->setText(context().regional.dateText(today.addDays(-6)));
    m_ui->Text7->setText(context().regional.dateText(today.addDays(6)));
    const QString first = m_ui->Text6->text();
    const QString last = m_ui->Text7->text();
    if (m_appointments->setRecordSource(DiaryRange::query(first, last, context().regional)))
        std::ignore = m_appointments->refresh();
    m_ui->DBGrid1Caption->setText(DiaryRange::caption(first, last));
}

void DiaryWindow::newAppointment() {
    const QDate today = context().clock.today();
    if (!report(m_commands->startNew()))
        return;
    std::ignore = m_appointments->setDefaultValue(QStringLiteral("datap"), context().regional.dateText(today));
    std::ignore = m_appointments->setDefaultValue(QStringLiteral("ora"), QStringLiteral("00:00"));
}

void DiaryWindow::save() {
    saveThenLast(*m_appointments, *m_commands, m_ui->Command1); // ready for the next appointment
}

void DiaryWindow::deleteAppointment() {
    deleteThenPrevious(*m_appointments, *m_commands);
}

void DiaryWindow::rangeSearch() {
    const QString first = m_ui->Text6->text();
    const QString last = m_ui->Text7->text();
    QDate from, to;
    // An unreadable box is said; the list and its caption stay as they were.
    if (!report(DiaryRange::read(first, last, context().regional, QStringLiteral("Ricerca"), from, to)))
        return;
    dropUntypedAppointment();
    if (search(*m_appointments, DiaryRange::query(first, last, context().regional)))
        m_ui->DBGrid1Caption->setText(DiaryRange::caption(first, last));
}

void DiaryWindow::fullList() {
    dropUntypedAppointment();
    if (search(*m_appointments, DiaryRange::fullListQuery()))
        m_ui->DBGrid1Caption->setText(DiaryRange::fullListCaption());
}

void DiaryWindow::print() {
    // The printout reads the stored rows: the entry on the card is written first, as a
    // search writes it; one that cannot be written is told and nothing is printed.
    dropUntypedAppointment();
    if (!report(m_appointments->commitPending()))
        return;
    // The printout covers the days in the boxes, whatever list the grid shows.
    QDate from, to;
    if (!report(DiaryRange::read(m_ui->Text6->text(), m_ui->Text7->text(), context().regional, QStringLiteral("Stampa"),
                                 from, to)))
        return;
    const QString formula = DiaryRange::printFormula(from, to, context().regional);
    context().dialogs.message(formula);
    m_report->setSelectionFormula(formula);
    report(m_report->start());
}

void DiaryWindow::dropUntypedAppointment() {
    if (m_appointments->isUntypedNew())
        m_commands->cancel();
}

void DiaryWindow::closeEvent(QCloseEvent* event) {
    dropUntypedAppointment();
    RegisterWindow::closeEvent(event);
}
