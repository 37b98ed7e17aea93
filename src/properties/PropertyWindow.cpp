#include "properties/PropertyWindow.h"

#include "data/folder/ProgramSettings.h"
#include "data/store/RecordSource.h"
#include "data/vocabulary/Numbers.h"
#include "forms/controls/FieldBinding.h"
#include "forms/report/ReportControl.h"
#include "forms/controls/WindowControls.h"
#include "platform/files/FileCopy.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/Picture.h"
#include "properties/PhotoName.h"
#include "properties/PhotoViewer.h"
#include "properties/PropertySheet.h"
#include "report/RequestFormula.h"
#include "ui_PropertyWindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <tuple>

namespace {

QIcon icon(const char* name) {
    return Artwork::icon(QStringLiteral(":/icons/") + QLatin1String(name) + QStringLiteral(".svg"));
}

} // namespace

PropertyWindow::PropertyWindow(const Context& context, QWidget* parent)
    : RegisterWindow(context, parent), m_ui(std::make_unique<Ui::PropertyWindow>()) {
    m_ui->setupUi(this);
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
    // The names the card and the visit list give their fields, for the messages that name
    // one; the card's two addresses and two notes say whose they are.
    for (const auto& [field, caption] : {std::pair{"proprietario", "Proprietario"},
                                         {"telefono", "Telefono"},
                                         {"cellulare", "Cellulare"},
                                         {"indirizzo", "Indirizzo del proprietario"},
                                         {"noteprop", "Note del proprietario"},
                                         {"tipologia", "Tipologia"},
                                         {"zona", "Zona"},
                                         {"indirizzoimmobile", "Indirizzo dell'immobile"},
                                         {"mq", "Mq"},
                                         {"prezzo", "Prezzo"},
                                         {"motivo", "Motivo"},
                                         {"noteimmobile", "Note dell'immobile"}})
        m_properties->setFieldCaption(QString::fromUtf8(field), QString::fromUtf8(caption));
    for (const auto& [field, caption] :
         {std::pair{"nome", "Nome"}, {"cognome", "Cognome"}, {"data", "Data"}, {"note", "Commento"}})
        m_visits->setFieldCaption(QString::fromUtf8(field), QString::fromUtf8(caption));

    m_visitsReport = new ReportControl(context, this);
    m_visitsReport->setObjectName(QStringLiteral("report1"));
    m_requestsReport = new ReportControl(context, this);
    m_requestsReport->setObjectName(QStringLiteral("Report2"));
    m_requestsReport->setReportFile(QStringLiteral("scheda.rpt"));

    // Adding: "FINE" covers the navigation bar and the commands of Frame3, which the
    // keyboard cannot reach either; the purpose box lies over Text14 from then on.
    m_commands = addRecordCommands(*m_properties);
    m_commands->showIn(RecordCommands::State::Entering, m_ui->Command6);
    m_commands->showFromNew(m_ui->Combo1);
    for (QWidget* covered : {static_cast<QWidget*>(m_ui->Data1), static_cast<QWidget*>(m_ui->Command1),
                             static_cast<QWidget*>(m_ui->Command5), static_cast<QWidget*>(m_ui->Command2),
                             static_cast<QWidget*>(m_ui->Command4), static_cast<QWidget*>(m_ui->Command3),
                             static_cast<QWidget*>(m_ui->Command8)})
        m_commands->enableIn(RecordCommands::State::Browsing, covered);
    m_commands->setFirstField(m_ui->Text1);
    coverField(m_ui->Combo1, m_ui->Text14);

    bindFields();
    connectCommands();
    load();
    // Three lists in one window: each grid says whose rows it holds.
    m_ui->DBGrid1->setAccessibleName(QStringLiteral("FOTO"));
    m_ui->DBGrid2->setAccessibleName(QStringLiteral("VISITE"));
    WindowControls::settle(*this);
}

PropertyWindow::~PropertyWindow() = default;

PhotoViewer* PropertyWindow::viewer() const {
    return child<PhotoViewer>(viewerName);
}

PropertySheet* PropertyWindow::sheet() const {
    return child<PropertySheet>(sheetName);
}

void PropertyWindow::bindFields() {
    Dialogs& dialogs = context().dialogs;
    Ui::PropertyWindow& ui = *m_ui;

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
    // The properties and the requests have no grid here: the keyboard moves them on their bars.
    ui.Data1->setFocusPolicy(Qt::TabFocus);
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
    ui.Data4->setFocusPolicy(Qt::TabFocus);
    ui.Data4->setCaption(QStringLiteral("                     RICHIESTE"));
    FieldBinding::bind(ui.Label15, *m_requests, QStringLiteral("nome"));
    FieldBinding::bind(ui.Label16, *m_requests, QStringLiteral("cognome"));
    FieldBinding::bind(ui.Label18, *m_requests, QStringLiteral("id"));

    // Icons with no command of their own (the others come with their commands).
    const std::pair<PictureBox*, const char*> icons[] = {{ui.Picture5, "13-elimina"},  {ui.Picture8, "16-elenco"},
                                                         {ui.Picture2, "14-cerca"},    {ui.Picture12, "17-chiudi"},
                                                         {ui.Picture13, "18-annulla"}, {ui.Picture15, "02-stampa"},
                                                         {ui.Picture9, "19-visita"},   {ui.Picture10, "13-elimina"},
                                                         {ui.Picture11, "02-stampa"},  {ui.Picture14, "06-scheda"}};
    for (const auto& [picture, name] : icons)
        showIcon(picture, QString::fromLatin1(name));
}

void PropertyWindow::connectCommands() {
    Ui::PropertyWindow& ui = *m_ui;
    connectCommand(ui.Command1, ui.Picture7, QStringLiteral("12-nuovo"), &PropertyWindow::newProperty);
    connectCommand(ui.Command6, nullptr, QString(), &PropertyWindow::finishNewProperty);
    connectCommand(ui.Command5, ui.Picture4, QStringLiteral("13-elimina"), &PropertyWindow::deleteProperty);

    connectCommand(ui.Command8, ui.Picture3, QStringLiteral("14-cerca"), &PropertyWindow::showSearch);
    connect(ui.Command13, &QPushButton::clicked, this, &PropertyWindow::hideSearch);
    connect(ui.Command12, &QPushButton::clicked, this, &PropertyWindow::criteriaSearch);
    connect(ui.Command14, &QPushButton::clicked, this, &PropertyWindow::allProperties);
    connect(ui.Command3, &QPushButton::clicked, this, &PropertyWindow::allProperties);
    connect(ui.Command16, &QPushButton::clicked, this, &PropertyWindow::printMatchingRequests);

    // The icon over "AGGIUNGI IMMAGINI" links the photo where it is instead of copying it.
    connectCommand(ui.Command2, nullptr, QString(), &PropertyWindow::addPhotoByCopy);
    connectCommand(nullptr, ui.Picture6, QStringLiteral("15-foto"), &PropertyWindow::addPhotoByLink);
    connect(ui.Command4, &QPushButton::clicked, this, &PropertyWindow::deletePhoto);
    connect(ui.Picture1, &PictureBox::clicked, this, &PropertyWindow::openViewer);

    searchAsTyped(ui.Text12, [this](const QString& text) {
        return search(*m_requests, Query::contains(QStringLiteral("richiesta"), QStringLiteral("nome"), text));
    });
    searchAsTyped(ui.Text13, [this](const QString& text) {
        return search(*m_requests, Query::contains(QStringLiteral("richiesta"), QStringLiteral("cognome"), text));
    });
    connect(ui.Command7, &QPushButton::clicked, this, &PropertyWindow::addVisit);
    connect(ui.Command9, &QPushButton::clicked, this, &PropertyWindow::deleteVisit);
    connect(ui.Command10, &QPushButton::clicked, this, &PropertyWindow::printVisits);
    connect(ui.Command15, &QPushButton::clicked, this, &PropertyWindow::showSheet);

    const std::pair<QLineEdit*, const char*> quickSearches[] = {
        {ui.Text16, "proprietario"}, {ui.Text17, "telefono"},          {ui.Text18, "cellulare"},
        {ui.Text19, "zona"},         {ui.Text20, "indirizzoimmobile"}, {ui.Text21, "noteimmobile"}};
    for (const auto& [field, name] : quickSearches) {
        const QString column = QString::fromLatin1(name);
        searchAsTyped(field, [this, column](const QString& text) { return quickSearch(column, text); });
    }
}

void PropertyWindow::load() {
    // Every step runs even when an earlier one failed; a database that cannot be
    // opened has been told once by openDatabase().
    openDatabase();
    m_ui->Label33->setText(databaseFolder() + QStringLiteral("foto/"));
    // Read when the visits are printed: a start has no use for the report's layout.
    m_visitsReport->setReportFile(databaseFolder() + QStringLiteral("rapporto.rpt"));

    const QStringList purposes{QStringLiteral("vendita"), QStringLiteral("affitto")};
    m_ui->Combo1->addItems(purposes);
    m_ui->Combo3->addItems(purposes);
    m_ui->Combo1->setCurrentText(QStringLiteral("vendita"));
    m_ui->Combo3->setCurrentText(QStringLiteral("vendita"));
    m_ui->Combo4->setCurrentText(QStringLiteral("0"));
    m_ui->Combo2->setCurrentText(QStringLiteral("1000"));

    std::ignore = m_requests->refresh();
    // The photos and visits are read once, for the last property: not first for the
    // first one that the refresh passes through.
    m_loading = true;
    std::ignore = m_properties->refresh();
    std::ignore = m_properties->moveLast();
    m_loading = false;
    showPropertyDependents(m_ui->Label12->text());
}

void PropertyWindow::showPropertyDependents(const QString& key) {
    if (m_loading)
        return;
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
        m_ui->Picture1->clear();
        return;
    }
    // A picture that cannot be loaded is never taken for another one: the frame says why.
    m_ui->Picture1->showFile(path);
}

void PropertyWindow::newProperty() {
    // A refusal leaves everything as it was: nothing to type into.
    report(m_commands->startNew());
}

bool PropertyWindow::finishNewProperty() {
    const bool adding = m_properties->isAdding();
    if (adding) {
        // A refusal (a word in "Mq") is explained and the card stays as typed, in Adding.
        if (!report(setPendingValue(*m_properties, QStringLiteral("motivo"), m_ui->Combo1->currentText())) ||
            !report(m_properties->update()))
            return false;
    }
    m_commands->finish();
    std::ignore = moveToSaved(*m_properties, adding);
    return true;
}

void PropertyWindow::deleteProperty() {
    context().dialogs.message(QStringLiteral("Ricordati di eliminare prima le immagini dell'immobile"));
    if (!removeCurrent(*m_properties))
        return;
    std::ignore = m_properties->movePrevious();
}

void PropertyWindow::showSearch() {
    m_ui->Frame6->show();
    m_ui->Frame6->raise();
}

void PropertyWindow::hideSearch() {
    m_ui->Frame6->hide();
}

bool PropertyWindow::readyToSearch() {
    return !m_properties->isAdding() || finishNewProperty();
}

void PropertyWindow::criteriaSearch() {
    if (!readyToSearch())
        return;
    const Query query =
        Query::criteria(QStringLiteral("immobile"), {m_ui->Combo4->currentText(), QStringLiteral("Mq da")},
                        {m_ui->Combo2->currentText(), QStringLiteral("a")}, m_ui->Combo3->currentText(),
                        QStringLiteral("tipologia"), m_ui->Text15->text());
    // A refused search keeps the panel open, so the bound can be corrected.
    if (!search(*m_properties, query))
        return;
    m_ui->Frame6->hide();
    m_ui->Combo1->hide();
}

void PropertyWindow::allProperties() {
    if (!readyToSearch())
        return;
    search(*m_properties, Query::all(QStringLiteral("immobile")));
    m_ui->Frame6->hide();
    m_ui->Combo1->hide();
}

bool PropertyWindow::quickSearch(const QString& field, const QString& text) {
    if (!readyToSearch())
        return false;
    return search(*m_properties, Query::contains(QStringLiteral("immobile"), field, text));
}

void PropertyWindow::printMatchingRequests() {
    m_requestsReport->setSelectionFormula(
        RequestFormula::build(m_ui->Combo4->currentText(), m_ui->Combo2->currentText(), m_ui->Combo3->currentText(),
                              m_ui->Text15->text(), context().regional));
    report(m_requestsReport->start());
}

// ---- photos --------------------------------------------------------------------

bool PropertyWindow::hasCurrentProperty(const QString& refusal) {
    if (!m_ui->Label12->text().isEmpty())
        return true;
    context().dialogs.message(refusal);
    return false;
}

Result PropertyWindow::writePhotoRow(const QString& path) {
    return insertRow(*m_photos,
                     {{QStringLiteral("idimmobile"), m_ui->Label12->text()}, {QStringLiteral("foto"), path}});
}

void PropertyWindow::addPhotoByCopy() {
    const QString chosen = context().dialogs.openFile(QString(), QString(), QString());
    if (chosen.isEmpty())
        return;
    if (!hasCurrentProperty(QStringLiteral("Nessun immobile selezionato: la foto non è stata aggiunta.")))
        return;
    const QString folder = m_ui->Label33->text();
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        context().dialogs.message(QStringLiteral("Impossibile creare la cartella delle foto «%1».").arg(folder));
        return;
    }
    const QString destination = PhotoName::unusedPath(folder, chosen, *QRandomGenerator::global());
    // The copy comes first: a failed copy writes no row. The photo is said to be linked only
    // once its row is written: a refused row is the one thing to tell.
    if (!report(FileCopy::copy(chosen, destination)))
        return;
    if (!report(writePhotoRow(destination))) {
        QFile::remove(destination);
        return;
    }
    context().dialogs.message(QStringLiteral("Collegato all'immagine: ") + destination);
}

void PropertyWindow::addPhotoByLink() {
    const QString chosen = context().dialogs.openFile(QString(), QString(), QString());
    if (chosen.isEmpty())
        return;
    if (!hasCurrentProperty(QStringLiteral("Nessun immobile selezionato: la foto non è stata collegata.")))
        return;
    if (report(writePhotoRow(chosen)))
        context().dialogs.message(QStringLiteral("Collegato all'immagine: ") + chosen);
}

void PropertyWindow::deletePhoto() {
    // The row goes; the picture file stays where it is.
    if (!removeCurrent(*m_photos))
        return;
    std::ignore = m_photos->movePrevious();
}

void PropertyWindow::openViewer() {
    PhotoViewer* viewer = openChild<PhotoViewer>(viewerName, [] { return new PhotoViewer; });
    viewer->showPicture(Picture::read(m_ui->Label17->text()));
}

// ---- visits --------------------------------------------------------------------

void PropertyWindow::addVisit() {
    if (!hasCurrentProperty(QStringLiteral("Nessun immobile selezionato: la visita non è stata registrata.")))
        return;
    Dialogs& dialogs = context().dialogs;
    const QString date = dialogs.prompt(QStringLiteral("Data della visita"), QStringLiteral("Data della visita"),
                                        context().regional.dateText(context().clock.today()));
    const QString comment = dialogs.prompt(QStringLiteral("Commento"), QStringLiteral("Commento"), QString());
    // A cancelled prompt answers an empty text, which is stored as such (not as a null).
    const auto answer = [](const QString& text) { return text.isNull() ? QStringLiteral("") : text; };

    report(insertRow(
        *m_visits,
        {{QStringLiteral("idimmobile"),
          Numbers::written(Numbers::leadingOrZero(m_ui->Label12->text()), context().regional.locale())},
         {QStringLiteral("idrichiesta"),
          Numbers::written(Numbers::leadingOrZero(m_ui->Label18->text()), context().regional.locale())},
         {QStringLiteral("Nome"), m_ui->Label15->text()},
         {QStringLiteral("cognome"), m_ui->Label16->text()},
         {QStringLiteral("data"), answer(date)},
         {QStringLiteral("note"), answer(comment)}}));
}

void PropertyWindow::deleteVisit() {
    if (!report(m_visits->remove()))
        return;
    std::ignore = m_visits->refresh();
    std::ignore = m_visits->moveLast();
}

void PropertyWindow::printVisits() {
    m_visitsReport->setSelectionFormula(QStringLiteral("{immobile.id} = ") + QStringLiteral(" ") +
                                        m_ui->Label12->text());
    if (m_ui->Label12->text().isEmpty()) {
        context().dialogs.message(QStringLiteral("Nessun immobile selezionato: non c'è un rapporto visite da stampare."));
        return;
    }
    report(m_visitsReport->start());
}

// ---- the property sheet -------------------------------------------------------------

void PropertyWindow::showSheet() {
    const Context& context = this->context();
    PropertySheet* sheet = openChild<PropertySheet>(sheetName, [&context] { return new PropertySheet(context); });
    sheet->fill({m_ui->Text14->text(), m_ui->Text6->text(), m_ui->Text7->text(), m_ui->Text8->toPlainText(),
                 m_ui->Text9->text(), m_ui->Text10->text(), m_ui->Text11->toPlainText(), m_ui->Label17->text()});
}

void PropertyWindow::closeEvent(QCloseEvent* event) {
    if (m_properties->isAdding() && !finishNewProperty()) {
        event->ignore();
        return;
    }
    RegisterWindow::closeEvent(event);
}
