#include "PropertyWindow.h"

#include "Artwork.h"
#include "FieldBinding.h"
#include "FileCopy.h"
#include "Numbers.h"
#include "PhotoName.h"
#include "PhotoViewer.h"
#include "Picture.h"
#include "ProgramSettings.h"
#include "PropertySheet.h"
#include "RecordSource.h"
#include "ReportControl.h"
#include "RequestFormula.h"

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

    const std::pair<PictureBox*, const char*> icons[] = {
        {ui.Picture7, "12-nuovo"},  {ui.Picture4, "13-elimina"},  {ui.Picture6, "15-foto"},    {ui.Picture5, "13-elimina"},
        {ui.Picture8, "16-elenco"}, {ui.Picture3, "14-cerca"},    {ui.Picture2, "14-cerca"},   {ui.Picture12, "17-chiudi"},
        {ui.Picture13, "18-annulla"}, {ui.Picture15, "02-stampa"}, {ui.Picture9, "19-visita"}, {ui.Picture10, "13-elimina"},
        {ui.Picture11, "02-stampa"}, {ui.Picture14, "06-scheda"}};
    for (const auto& [picture, name] : icons)
        picture->setImage(Artwork::picture(QStringLiteral(":/icons/") + QLatin1String(name) + QStringLiteral(".svg")));
}

void PropertyWindow::connectCommands() {
    Ui::PropertyWindow& ui = m_ui;
    connect(ui.Command1, &QPushButton::clicked, this, &PropertyWindow::newProperty);
    connect(ui.Picture7, &PictureBox::clicked, this, &PropertyWindow::newProperty);
    connect(ui.Command6, &QPushButton::clicked, this, &PropertyWindow::finishNewProperty);
    connect(ui.Command5, &QPushButton::clicked, this, &PropertyWindow::deleteProperty);
    connect(ui.Picture4, &PictureBox::clicked, this, &PropertyWindow::deleteProperty);

    connect(ui.Command8, &QPushButton::clicked, this, &PropertyWindow::showSearch);
    connect(ui.Picture3, &PictureBox::clicked, this, &PropertyWindow::showSearch);
    connect(ui.Command13, &QPushButton::clicked, this, &PropertyWindow::hideSearch);
    connect(ui.Command12, &QPushButton::clicked, this, &PropertyWindow::criteriaSearch);
    connect(ui.Command14, &QPushButton::clicked, this, &PropertyWindow::allProperties);
    connect(ui.Command3, &QPushButton::clicked, this, &PropertyWindow::allProperties);
    connect(ui.Command16, &QPushButton::clicked, this, &PropertyWindow::printMatchingRequests);

    connect(ui.Command2, &QPushButton::clicked, this, &PropertyWindow::addPhotoByCopy);
    connect(ui.Picture6, &PictureBox::clicked, this, &PropertyWindow::addPhotoByLink);
    connect(ui.Command4, &QPushButton::clicked, this, &PropertyWindow::deletePhoto);
    connect(ui.Picture1, &PictureBox::clicked, this, &PropertyWindow::openViewer);

    connect(ui.Text12, &QLineEdit::textChanged, this, [this](const QString& text) {
        search(*m_requests, Query::contains(QStringLiteral("richiesta"), QStringLiteral("nome"), text));
    });
    connect(ui.Text13, &QLineEdit::textChanged, this, [this](const QString& text) {
        search(*m_requests, Query::contains(QStringLiteral("richiesta"), QStringLiteral("cognome"), text));
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
        m_ui.Picture1->setImage(picture);
}

void PropertyWindow::newProperty() {
    const bool wasShown = !m_ui.Combo1->isHidden();
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

// ---- photos --------------------------------------------------------------------

bool PropertyWindow::hasCurrentProperty(const QString& refusal) {
    if (!m_ui.Label12->text().isEmpty())
        return true;
    context().dialogs.message(refusal);
    return false;
}

Result PropertyWindow::writePhotoRow(const QString& path) {
    if (const Result added = m_photos->addNew(); !added)
        return added;
    Result written = m_photos->setFieldValue(QStringLiteral("idimmobile"), m_ui.Label12->text());
    if (written)
        written = m_photos->setFieldValue(QStringLiteral("foto"), path);
    if (written)
        written = m_photos->update();
    if (!written) {
        m_photos->cancelEdit();  // no half-made row stays behind
        return written;
    }
    std::ignore = m_photos->moveLast();
    return Result::success();
}

void PropertyWindow::addPhotoByCopy() {
    const QString chosen = context().dialogs.openFile(QString(), QString(), QString());
    if (chosen.isEmpty())
        return;
    if (!hasCurrentProperty(QStringLiteral("Nessun immobile selezionato: la foto non è stata aggiunta.")))
        return;
    const QString folder = m_ui.Label33->text();
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        context().dialogs.message(QStringLiteral("Impossibile creare la cartella delle foto «%1».").arg(folder));
        return;
    }
    const QString destination = PhotoName::unusedPath(folder, chosen, *QRandomGenerator::global());
    // The copy comes first: a failed copy writes no row.
    if (!report(FileCopy::copy(chosen, destination)))
        return;
    context().dialogs.message(QStringLiteral("Collegato all'immagine: ") + destination);
    if (!report(writePhotoRow(destination)))
        QFile::remove(destination);
}

void PropertyWindow::addPhotoByLink() {
    const QString chosen = context().dialogs.openFile(QString(), QString(), QString());
    if (chosen.isEmpty())
        return;
    if (!hasCurrentProperty(QStringLiteral("Nessun immobile selezionato: la foto non è stata collegata.")))
        return;
    context().dialogs.message(QStringLiteral("Collegato all'immagine: ") + chosen);
    report(writePhotoRow(chosen));
}

void PropertyWindow::deletePhoto() {
    // The row goes; the picture file stays where it is.
    std::ignore = m_photos->remove();
    std::ignore = m_photos->movePrevious();
}

void PropertyWindow::openViewer() {
    if (!m_viewer)
        m_viewer = new PhotoViewer;
    m_viewer->showPicture(Picture::load(m_ui.Label17->text()));
    showChildWindow(m_viewer);
}

void PropertyWindow::showChildWindow(QWidget* window) {
    if (context().windows) {
        context().windows->showChild(window);
        return;
    }
    window->showNormal();
    window->raise();
    window->activateWindow();
}

// ---- visits --------------------------------------------------------------------

void PropertyWindow::addVisit() {
    if (!hasCurrentProperty(QStringLiteral("Nessun immobile selezionato: la visita non è stata registrata.")))
        return;
    Dialogs& dialogs = context().dialogs;
    const QString date = dialogs.prompt(QStringLiteral("Data della visita"), QStringLiteral("Data della visita"),
                                        context().regional.dateText(context().clock.today()));
    const QString comment = dialogs.prompt(QStringLiteral("Commento"), QStringLiteral("Commento"), QString());

    if (!report(m_visits->addNew()))
        return;
    const QList<std::pair<QString, QString>> values = {
        {QStringLiteral("idimmobile"),
         Numbers::written(Numbers::leadingOrZero(m_ui.Label12->text()), context().regional.locale())},
        {QStringLiteral("idrichiesta"),
         Numbers::written(Numbers::leadingOrZero(m_ui.Label18->text()), context().regional.locale())},
        {QStringLiteral("Nome"), m_ui.Label15->text()},
        {QStringLiteral("cognome"), m_ui.Label16->text()},
        {QStringLiteral("data"), date},
        {QStringLiteral("note"), comment}};
    Result written = Result::success();
    for (const auto& [field, value] : values)
        if (written)
            written = m_visits->setFieldValue(field, value);
    if (written)
        written = m_visits->update();
    if (!report(written)) {
        m_visits->cancelEdit();
        return;
    }
    std::ignore = m_visits->moveLast();
}

void PropertyWindow::deleteVisit() {
    if (!report(m_visits->remove()))
        return;
    std::ignore = m_visits->refresh();
    std::ignore = m_visits->moveLast();
}

void PropertyWindow::printVisits() {
    m_visitsReport->setSelectionFormula(QStringLiteral("{immobile.id} = ") + QStringLiteral(" ") + m_ui.Label12->text());
    if (m_ui.Label12->text().isEmpty()) {
        context().dialogs.message(QStringLiteral("Nessun immobile selezionato: non c'è un rapporto visite da stampare."));
        return;
    }
    report(m_visitsReport->start());
}

// ---- the property sheet -------------------------------------------------------------

void PropertyWindow::showSheet() {
    if (!m_sheet)
        m_sheet = new PropertySheet(context());
    showChildWindow(m_sheet);
    m_sheet->fill({m_ui.Text14->text(), m_ui.Text6->text(), m_ui.Text7->text(), m_ui.Text8->toPlainText(),
                   m_ui.Text9->text(), m_ui.Text10->text(), m_ui.Text11->toPlainText(), m_ui.Label17->text()});
}

void PropertyWindow::closeEvent(QCloseEvent* event) {
    if (m_properties->isAdding() && !finishNewProperty()) {
        event->ignore();
        return;
    }
    RegisterWindow::closeEvent(event);
}
