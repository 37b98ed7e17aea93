#include "PropertyWindow.h"

#include "Artwork.h"
#include "FieldBinding.h"
#include "Picture.h"
#include "ProgramSettings.h"
#include "RecordSource.h"
#include "ReportControl.h"
#include "RequestFormula.h"

#include <QCloseEvent>
#include <tuple>

namespace {

QIcon icon(const char* name) {
    return Artwork::icon(QStringLiteral(":/icons/") + QLatin1String(name) + QStringLiteral(".svg"));
}

} // namespace

PropertyWindow::PropertyWindow(const Context& context, QWidget* parent) : RegisterWindow(context, parent) {
    m_ui.setupUi(this);
    setMinimumSize(size());  // 13035 x 8760 twips with its frame: everything is placed for it
    setWindowIcon(icon("05-immobili"));
    m_properties = addSource(QStringLiteral("immobile"));
    m_photos = addSource(QStringLiteral("foto"));
    m_visits = addSource(QStringLiteral("visite"));
    m_requests = addSource(QStringLiteral("richiesta"));
    m_properties->setObjectName(QStringLiteral("Data1"));
    m_photos->setObjectName(QStringLiteral("Data2"));
    m_visits->setObjectName(QStringLiteral("Data3"));
    m_requests->setObjectName(QStringLiteral("Data4"));

    m_visitsReport = new ReportControl(context, this);
    m_visitsReport->setObjectName(QStringLiteral("report1"));
    m_requestsReport = new ReportControl(context, this);
    m_requestsReport->setObjectName(QStringLiteral("Report2"));
    m_requestsReport->setReportFile(QStringLiteral("scheda.rpt"));

    bindFields();
    connectCommands();
    load();
}

void PropertyWindow::bindFields() {
    Dialogs& dialogs = context().dialogs;
    Ui::PropertyWindow& ui = m_ui;

    FieldBinding::bind(ui.Text1, *m_properties, QStringLiteral("proprietario"));
    FieldBinding::bind(ui.Text2, *m_properties, QStringLiteral("telefono"));
    FieldBinding::bind(ui.Text3, *m_properties, QStringLiteral("cellulare"));
    FieldBinding::bind(ui.Text4, *m_properties, QStringLiteral("indirizzo"));
    FieldBinding::bind(ui.Text5, *m_properties, QStringLiteral("noteprop"));
    FieldBinding::bind(ui.Text6, *m_properties, QStringLiteral("tipologia"));
    FieldBinding::bind(ui.Text7, *m_properties, QStringLiteral("zona"));
    FieldBinding::bind(ui.Text8, *m_properties, QStringLiteral("indirizzoimmobile"));
    FieldBinding::bind(ui.Text9, *m_properties, QStringLiteral("mq"));
    FieldBinding::bind(ui.Text10, *m_properties, QStringLiteral("prezzo"));
    FieldBinding::bind(ui.Text14, *m_properties, QStringLiteral("motivo"));
    FieldBinding::bind(ui.Text11, *m_properties, QStringLiteral("noteimmobile"));
    const FieldBinding* key = FieldBinding::bind(ui.Label12, *m_properties, QStringLiteral("id"));
    connect(key, &FieldBinding::changed, this, &PropertyWindow::showPropertyDependents);
    ui.Data1->bind(*m_properties, dialogs);
    ui.Data1->setCaption(QStringLiteral("        IMMOBILI"));

    ui.Data2->bind(*m_photos, dialogs);
    ui.Data2->setCaption(QStringLiteral("                            FOTO"));
    ui.DBGrid1->bind(*m_photos, {{QStringLiteral("idimmobile"), QStringLiteral("idimmobile")}, {QStringLiteral("foto"), QStringLiteral("foto")}},
                     dialogs, false);
    const FieldBinding* photo = FieldBinding::bind(ui.Label17, *m_photos, QStringLiteral("foto"));
    connect(photo, &FieldBinding::changed, this, &PropertyWindow::showPhoto);

    ui.Data3->bind(*m_visits, dialogs);
    ui.DBGrid2->bind(*m_visits,
                     {{QStringLiteral("idimmobile"), QStringLiteral("idimmobile")},
                      {QStringLiteral("idrichiesta"), QStringLiteral("idrichiesta")},
                      {QStringLiteral("Nome"), QStringLiteral("nome")},
                      {QStringLiteral("Cognome"), QStringLiteral("cognome")},
                      {QStringLiteral("Data"), QStringLiteral("data")},
                      {QStringLiteral("Commento"), QStringLiteral("note")}},
                     dialogs, true);

    ui.Data4->bind(*m_requests, dialogs);
    ui.Data4->setCaption(QStringLiteral("                     RICHIESTE"));
    FieldBinding::bind(ui.Label15, *m_requests, QStringLiteral("nome"));
    FieldBinding::bind(ui.Label16, *m_requests, QStringLiteral("cognome"));
    FieldBinding::bind(ui.Label18, *m_requests, QStringLiteral("id"));

    const std::pair<PictureButton*, const char*> icons[] = {
        {ui.Picture7, "12-nuovo"},  {ui.Picture4, "13-elimina"},  {ui.Picture6, "15-foto"},    {ui.Picture5, "13-elimina"},
        {ui.Picture8, "16-elenco"}, {ui.Picture3, "14-cerca"},    {ui.Picture2, "14-cerca"},   {ui.Picture12, "17-chiudi"},
        {ui.Picture13, "18-annulla"}, {ui.Picture15, "02-stampa"}, {ui.Picture9, "19-visita"}, {ui.Picture10, "13-elimina"},
        {ui.Picture11, "02-stampa"}, {ui.Picture14, "06-scheda"}};
    for (const auto& [picture, name] : icons)
        picture->setIcon(icon(name));
}

void PropertyWindow::connectCommands() {
    Ui::PropertyWindow& ui = m_ui;
    connect(ui.Command1, &QPushButton::clicked, this, &PropertyWindow::newProperty);
    connect(ui.Picture7, &PictureButton::clicked, this, &PropertyWindow::newProperty);
    connect(ui.Command6, &QPushButton::clicked, this, &PropertyWindow::finishNewProperty);
    connect(ui.Command5, &QPushButton::clicked, this, &PropertyWindow::deleteProperty);
    connect(ui.Picture4, &PictureButton::clicked, this, &PropertyWindow::deleteProperty);

    connect(ui.Command8, &QPushButton::clicked, this, &PropertyWindow::showSearch);
    connect(ui.Picture3, &PictureButton::clicked, this, &PropertyWindow::showSearch);
    connect(ui.Command13, &QPushButton::clicked, this, &PropertyWindow::hideSearch);
    connect(ui.Command12, &QPushButton::clicked, this, &PropertyWindow::criteriaSearch);
    connect(ui.Command14, &QPushButton::clicked, this, &PropertyWindow::allProperties);
    connect(ui.Command3, &QPushButton::clicked, this, &PropertyWindow::allProperties);
    connect(ui.Command16, &QPushButton::clicked, this, &PropertyWindow::printMatchingRequests);

    const std::pair<QLineEdit*, const char*> quickSearches[] = {
        {ui.Text16, "proprietario"}, {ui.Text17, "telefono"},          {ui.Text18, "cellulare"},
        {ui.Text19, "zona"},         {ui.Text20, "indirizzoimmobile"}, {ui.Text21, "noteimmobile"}};
    for (const auto& [field, name] : quickSearches) {
        const QString column = QString::fromLatin1(name);
        connect(field, &QLineEdit::textChanged, this, [this, column](const QString& text) { quickSearch(column, text); });
    }
}

void PropertyWindow::load() {
    // Every step runs even when an earlier one failed; a database that cannot be
    // opened has been told once by openDatabase().
    const QString databasePath = openDatabase();
    const QString databaseFolder = ProgramSettings::databaseFolder(databasePath);
    m_visitsReport->setReportFile(databaseFolder + QStringLiteral("rapporto.rpt"));
    m_ui.Label33->setText(databaseFolder + QStringLiteral("foto/"));
    std::ignore = m_visitsReport->load();

    const QStringList purposes{QStringLiteral("vendita"), QStringLiteral("affitto")};
    m_ui.Combo1->addItems(purposes);
    m_ui.Combo3->addItems(purposes);
    m_ui.Combo1->setCurrentText(QStringLiteral("vendita"));
    m_ui.Combo3->setCurrentText(QStringLiteral("vendita"));
    m_ui.Combo4->setCurrentText(QStringLiteral("0"));
    m_ui.Combo2->setCurrentText(QStringLiteral("1000"));

    std::ignore = m_requests->refresh();
    std::ignore = m_properties->refresh();
    std::ignore = m_properties->moveLast();
    showPropertyDependents(m_ui.Label12->text());
}

void PropertyWindow::showPropertyDependents(const QString& key) {
    // With no current property (a search that found nothing, the first one deleted, a
    // new one being typed) the lists are empty: never the rows of another property.
    if (key.isEmpty()) {
        std::ignore = m_visits->clear();
        std::ignore = m_photos->clear();
        return;
    }
    if (m_visits->setRecordSource(Query::keyEquals(QStringLiteral("visite"), QStringLiteral("idimmobile"), key)))
        std::ignore = m_visits->refresh();
    if (m_photos->setRecordSource(Query::keyEquals(QStringLiteral("foto"), QStringLiteral("idimmobile"), key)))
        std::ignore = m_photos->refresh();
}

void PropertyWindow::showPhoto(const QString& path) {
    if (path.isEmpty()) {
        m_ui.Picture1->clear();
        return;
    }
    // A picture that cannot be loaded leaves the previous one in place.
    const QImage picture = Picture::load(path);
    if (!picture.isNull())
        m_ui.Picture1->setPixmap(QPixmap::fromImage(picture));
}

void PropertyWindow::newProperty() {
    const bool wasShown = m_ui.Combo1->isVisible();
    m_ui.Combo1->show();
    m_ui.Command6->show();
    m_ui.Command6->raise();
    if (!report(m_properties->addNew())) {
        // Nothing to type into: leave the commands usable.
        m_ui.Command6->hide();
        m_ui.Combo1->setVisible(wasShown);
    }
}

bool PropertyWindow::finishNewProperty() {
    if (m_properties->isAdding()) {
        // A refusal (a word in "Mq") is explained and the card stays as typed, in Adding.
        if (!report(m_properties->setFieldValue(QStringLiteral("motivo"), m_ui.Combo1->currentText())) ||
            !report(m_properties->update()))
            return false;
    }
    m_ui.Command6->hide();
    std::ignore = m_properties->moveLast();
    return true;
}

void PropertyWindow::deleteProperty() {
    context().dialogs.message(QStringLiteral("Ricordati di eliminare prima le immagini dell'immobile"));
    std::ignore = m_properties->remove();
    std::ignore = m_properties->movePrevious();
}

void PropertyWindow::showSearch() {
    m_ui.Frame6->show();
    m_ui.Frame6->raise();
}

void PropertyWindow::hideSearch() {
    m_ui.Frame6->hide();
}

bool PropertyWindow::readyToSearch() {
    return !m_properties->isAdding() || finishNewProperty();
}

void PropertyWindow::criteriaSearch() {
    if (!readyToSearch())
        return;
    const Query query = Query::criteria(QStringLiteral("immobile"), {m_ui.Combo4->currentText(), QStringLiteral("Mq da")},
                                        {m_ui.Combo2->currentText(), QStringLiteral("a")}, m_ui.Combo3->currentText(),
                                        QStringLiteral("tipologia"), m_ui.Text15->text());
    // A refused search keeps the panel open, so the bound can be corrected.
    if (!search(*m_properties, query))
        return;
    m_ui.Frame6->hide();
    m_ui.Combo1->hide();
}

void PropertyWindow::allProperties() {
    if (!readyToSearch())
        return;
    search(*m_properties, Query::all(QStringLiteral("immobile")));
    m_ui.Frame6->hide();
    m_ui.Combo1->hide();
}

void PropertyWindow::quickSearch(const QString& field, const QString& text) {
    if (!readyToSearch())
        return;
    search(*m_properties, Query::contains(QStringLiteral("immobile"), field, text));
}

void PropertyWindow::printMatchingRequests() {
    m_requestsReport->setSelectionFormula(RequestFormula::build(m_ui.Combo4->currentText(), m_ui.Combo2->currentText(),
                                                                m_ui.Combo3->currentText(), m_ui.Text15->text(),
                                                                context().regional));
    report(m_requestsReport->start());
}

void PropertyWindow::closeEvent(QCloseEvent* event) {
    if (m_properties->isAdding() && !finishNewProperty()) {
        event->ignore();
        return;
    }
    RegisterWindow::closeEvent(event);
}
