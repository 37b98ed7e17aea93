#include "matching/MatchWindow.h"

#include "data/store/Database.h"
#include "data/store/RecordSource.h"
#include "forms/report/ReportControl.h"
#include "matching/MatchModel.h"
#include "matching/MatchSearch.h"
#include "matching/MatchSettings.h"
#include "platform/Regional.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/Picture.h"
#include "report/ReportRenderer.h"
#include "report/ReportRows.h"
#include "ui_MatchWindow.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTimer>

namespace {

const QString propertyWindow = QStringLiteral("form_immobili");
const QString requestWindow = QStringLiteral("form_prop");
constexpr int thumbnailSide = 40;

QString joined(const QStringList& parts) {
    QStringList kept;
    for (const QString& part : parts)
        if (!part.trimmed().isEmpty())
            kept << part.trimmed();
    return kept.join(QStringLiteral(" · "));
}

} // namespace

MatchWindow::MatchWindow(const Context& context, QWidget* parent)
    : QWidget(parent), m_context(context), m_ui(std::make_unique<Ui::MatchWindow>()), m_model(new MatchModel(this)),
      m_coalesce(new QTimer(this)), m_report(new ReportControl(context, this)) {
    m_ui->setupUi(this);
    setMinimumSize(size());  // room for the reasons, which are the point of the list
    setWindowIcon(Artwork::icon(QStringLiteral(":/icons/20-incroci.svg")));
    m_model->setThumbnails([this](qint64 key) { return thumbnail(key); });
    m_ui->DBGrid1->setModel(m_model);
    m_ui->DBGrid1->verticalHeader()->hide();
    m_ui->DBGrid1->setIconSize(QSize(thumbnailSide, thumbnailSide));
    m_ui->DBGrid1->horizontalHeader()->setStretchLastSection(true);
    m_ui->DBGrid1->setColumnWidth(0, 45);
    m_ui->DBGrid1->setColumnWidth(1, 170);
    m_ui->DBGrid1->setColumnWidth(2, 130);
    m_ui->DBGrid1->setColumnWidth(3, 150);

    // Typing and moves come in bursts: one search for the state they leave.
    m_coalesce->setSingleShot(true);
    m_coalesce->setInterval(0);
    connect(m_coalesce, &QTimer::timeout, this, &MatchWindow::refill);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { focusMoved(now); });
    connect(m_ui->DBGrid1, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        if (!index.isValid())
            return;
        const MatchRow& row = m_model->rows()[static_cast<std::size_t>(index.row())];
        emit openRecord(m_model->listsRequests() ? QStringLiteral("richiesta") : QStringLiteral("immobile"), row.key);
    });
    connect(m_ui->DBGrid1, &QAbstractItemView::doubleClicked, m_ui->DBGrid1, &QAbstractItemView::activated);
    connect(m_ui->Command1, &QPushButton::clicked, this, &MatchWindow::print);
    setTabOrder(m_ui->DBGrid1, m_ui->Command1);

    // Opened from a register (F9, or the toolbar, which takes no focus): that register first.
    focusMoved(QApplication::focusWidget());
    refill();
}

MatchWindow::~MatchWindow() = default;

void MatchWindow::focusMoved(QWidget* now) {
    for (QWidget* widget = now; widget; widget = widget->parentWidget()) {
        if (widget == this)
            return;
        if (widget->objectName() == propertyWindow || widget->objectName() == requestWindow) {
            follow(widget);
            return;
        }
    }
}

void MatchWindow::follow(QWidget* window) {
    if (!window || window == m_window)
        return;
    if (window->objectName() != propertyWindow && window->objectName() != requestWindow)
        return;
    for (const QMetaObject::Connection& connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_window = window;
    m_source = window->findChild<RecordSource*>(QStringLiteral("Data1"), Qt::FindDirectChildrenOnly);
    if (m_source) {
        for (const auto signal : {&RecordSource::currentChanged, &RecordSource::reset, &RecordSource::rowsChanged,
                                  &RecordSource::newRecordWritten})
            m_connections << connect(m_source, signal, this, &MatchWindow::schedule);
        m_connections << connect(m_source, &RecordSource::valueChanged, this, &MatchWindow::schedule);
        m_connections << connect(m_source, &RecordSource::rowChanged, this, &MatchWindow::schedule);
        m_connections << connect(m_source, &RecordSource::editCancelled, this, &MatchWindow::schedule);
    }
    // What is typed into the card reaches the pending edit before these signals come.
    for (QLineEdit* edit : window->findChildren<QLineEdit*>())
        m_connections << connect(edit, &QLineEdit::textEdited, this, &MatchWindow::schedule);
    for (QPlainTextEdit* edit : window->findChildren<QPlainTextEdit*>())
        m_connections << connect(edit, &QPlainTextEdit::textChanged, this, &MatchWindow::schedule);
    m_connections << connect(window, &QObject::destroyed, this, &MatchWindow::schedule);
    schedule();
}

void MatchWindow::schedule() {
    m_coalesce->start();
}

bool MatchWindow::followsProperties() const {
    return m_window && m_window->objectName() == propertyWindow;
}

void MatchWindow::refill() {
    m_coalesce->stop();
    if (m_search)
        m_search->cancel();
    if (!m_window || !m_source || !m_source->isOpen() || (!m_source->hasCurrent() && !m_source->isAdding())) {
        m_heading.clear();
        m_model->setRows({}, !m_window || followsProperties());
        m_ui->Label1->setText(QStringLiteral("Scegli un immobile in IMMOBILI o una richiesta in RICHIESTE: "
                                             "qui compariranno le richieste o gli immobili adatti."));
        m_ui->Label2->clear();
        return;
    }
    if (!m_database || m_database->path() != m_source->databaseName()) {
        delete m_search;
        m_search = nullptr;
        m_database.reset();
        if (const Result opened = Database::open(m_source->databaseName(), m_database); !opened) {
            showProblem(opened.message());
            return;
        }
        m_search = new MatchSearch(m_database, m_context.regional.locale(), this);
        connect(m_search, &MatchSearch::finished, this, &MatchWindow::showFound);
        connect(m_search, &MatchSearch::failed, this, &MatchWindow::showProblem);
    }
    m_search->setTolerances(MatchSettings(m_context.programFolder).read());

    const RecordSource& source = *m_source;
    const QString key = source.isAdding() ? QStringLiteral("nuovo") : QString::number(source.currentKey().value_or(0));
    if (followsProperties()) {
        const PropertyTerms property{source.currentKey().value_or(0), source.value(QStringLiteral("motivo")),
                                     source.value(QStringLiteral("tipologia")), source.value(QStringLiteral("mq")),
                                     source.value(QStringLiteral("prezzo")), source.value(QStringLiteral("zona"))};
        m_heading = QStringLiteral("Richieste adatte all'immobile %1: %2")
                        .arg(key, joined({property.purpose, property.type, property.zone,
                                          property.surface.isEmpty() ? QString() : property.surface + QStringLiteral(" mq"),
                                          property.price.isEmpty() ? QString() : QStringLiteral("prezzo ") + property.price}));
        m_ui->Label1->setText(m_heading);
        m_search->findRequests(property);
    } else {
        const RequestTerms request{source.currentKey().value_or(0), source.value(QStringLiteral("motivo")),
                                   source.value(QStringLiteral("tipo")), source.value(QStringLiteral("mq")),
                                   source.value(QStringLiteral("prezzo")), source.value(QStringLiteral("note"))};
        m_heading = QStringLiteral("Immobili adatti alla richiesta %1 di %2: %3")
                        .arg(key,
                             (source.value(QStringLiteral("nome")) + QLatin1Char(' ') + source.value(QStringLiteral("cognome")))
                                 .trimmed(),
                             joined({request.purpose, request.type,
                                     request.surface.isEmpty() ? QString() : request.surface + QStringLiteral(" mq"),
                                     request.budget.isEmpty() ? QString() : QStringLiteral("budget ") + request.budget}));
        m_ui->Label1->setText(m_heading);
        m_search->findProperties(request);
    }
    if (m_search->isRunning())
        m_ui->Label2->setText(QStringLiteral("Ricerca in corso…"));
}

void MatchWindow::showFound() {
    std::vector<MatchRow> rows = m_search->rows();
    const auto exact = std::count_if(rows.begin(), rows.end(),
                                     [](const MatchRow& row) { return row.result.kind == MatchResult::Exact; });
    const auto near = static_cast<qsizetype>(rows.size()) - exact;
    m_model->setRows(std::move(rows), followsProperties());
    if (exact == 0 && near == 0)
        m_ui->Label2->setText(QStringLiteral("Nessun incrocio."));
    else
        m_ui->Label2->setText(QStringLiteral("%1 %2, %3 quasi (sotto i %4 punti, in grigio).")
                                  .arg(exact)
                                  .arg(exact == 1 ? QStringLiteral("incrocio") : QStringLiteral("incroci"))
                                  .arg(near)
                                  .arg(m_search->tolerances().minimumScore));
}

void MatchWindow::showProblem(const QString& message) {
    m_model->setRows({}, followsProperties());
    m_ui->Label2->setText(message);
}

QImage MatchWindow::thumbnail(qint64 property) const {
    if (!m_database)
        return {};
    QSqlQuery query(m_database->connection());
    query.prepare(QStringLiteral("SELECT foto FROM foto WHERE idimmobile = ?"));
    query.addBindValue(QString::number(property));
    if (!query.exec())
        return {};
    // The first photo that can be shown; a missing or broken file is passed over.
    while (query.next())
        if (const QImage image = Picture::load(query.value(0).toString(), QSize(thumbnailSide, thumbnailSide));
            !image.isNull())
            return image;
    return {};
}

void MatchWindow::refreshNow() {
    refill();
    if (m_search)
        m_search->finishNow();
}

bool MatchWindow::isSearching() const {
    return m_search && m_search->isRunning();
}

QString MatchWindow::heading() const {
    return m_heading;
}

Result MatchWindow::layOutPrintout(std::unique_ptr<ReportRenderer>& report) {
    report.reset();
    // The list the user is looking at, not one half read.
    if (m_search && m_search->isRunning())
        m_search->finishNow();
    ReportDefinition definition;
    definition.title = QStringLiteral("Incroci");
    definition.windowTitle = QStringLiteral("INCROCI");
    definition.header = m_heading;
    definition.footer = m_ui->Label2->text();
    definition.empty = QStringLiteral("Nessun incrocio.");
    const QStringList captions = MatchModel::captions(m_model->listsRequests());
    const QStringList fields = {QStringLiteral("punti"), QStringLiteral("chi"), QStringLiteral("telefono"),
                                QStringLiteral("cosa"), QStringLiteral("perche")};
    const double widths[] = {5, 18, 14, 20, 43};  // the reasons are the point of the list
    for (qsizetype i = 0; i < captions.size(); ++i)
        definition.columns.append({fields.value(i), captions.at(i), widths[i], false});
    std::vector<QStringList> rows;
    rows.reserve(m_model->rows().size());
    for (const MatchRow& row : m_model->rows())
        rows.push_back(MatchModel::cells(row));
    auto laidOut = std::make_unique<ReportRenderer>(definition, std::make_unique<MemoryRows>(std::move(rows)),
                                                    m_context.regional, m_context.clock.today());
    const std::unique_ptr<Progress> progress =
        m_context.dialogs.progress(QStringLiteral("Preparazione della stampa…"), true);
    if (const Result done = laidOut->layout(progress.get()); !done)
        return done;
    report = std::move(laidOut);
    return Result::success();
}

void MatchWindow::print() {
    if (m_heading.isEmpty()) {
        m_context.dialogs.message(QStringLiteral("Scegli prima un immobile in IMMOBILI o una richiesta in RICHIESTE: "
                                                 "si stampano gli incroci del record scelto."));
        m_ui->Command1->setFocus();
        return;
    }
    std::unique_ptr<ReportRenderer> report;
    Result result = layOutPrintout(report);
    if (result && report)
        result = m_report->present(std::move(report));
    if (!result && !result.cancelled())
        m_context.dialogs.message(QStringLiteral("Gli incroci non si possono stampare: %1").arg(result.message()));
    // Back to the list: the preview is a window of its own.
    m_ui->DBGrid1->setFocus();
}
