#include "forms/report/ReportPreview.h"

#include "forms/report/ReportPrinting.h"
#include "platform/gui/Artwork.h"
#include "report/ReportRenderer.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QToolButton>

namespace {

constexpr double a4WidthInches = 210 / 25.4;
constexpr double a4HeightInches = 297 / 25.4;

QToolButton* button(QWidget* parent, const QString& text, const QString& tip) {
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setToolTip(tip);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    return b;
}

} // namespace

ReportPreview::ReportPreview(std::unique_ptr<ReportRenderer> report, const Context& context, QWidget* parent)
    : QWidget(parent, Qt::Window), m_report(std::move(report)), m_context(context) {
    setObjectName(QStringLiteral("ReportPreview"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(m_report->definition().windowTitle);
    setWindowIcon(Artwork::icon(QStringLiteral(":/icons/02-stampa.svg")));
    resize(900, 1000);

    auto* bar = new QHBoxLayout;
    m_first = button(this, QStringLiteral("|◀"), QStringLiteral("Prima pagina"));
    m_previous = button(this, QStringLiteral("◀"), QStringLiteral("Pagina precedente"));
    m_pageLabel = new QLabel(this);
    m_pageLabel->setAlignment(Qt::AlignCenter);
    m_pageLabel->setMinimumWidth(120);
    m_next = button(this, QStringLiteral("▶"), QStringLiteral("Pagina successiva"));
    m_last = button(this, QStringLiteral("▶|"), QStringLiteral("Ultima pagina"));
    m_zoom = new QComboBox(this);
    m_zoom->addItems({QStringLiteral("Adatta alla larghezza"), QStringLiteral("Pagina intera"), QStringLiteral("100%")});
    m_print = button(this, QStringLiteral("Stampa"), QStringLiteral("Stampa sulla stampante predefinita"));
    m_print->setIcon(Artwork::icon(QStringLiteral(":/icons/02-stampa.svg")));
    m_pdf = button(this, QStringLiteral("Salva PDF"), QStringLiteral("Salva il report in un file PDF"));
    m_pdf->setIcon(Artwork::icon(QStringLiteral(":/icons/06-scheda.svg")));
    for (QWidget* w : std::initializer_list<QWidget*>{m_first, m_previous, m_pageLabel, m_next, m_last})
        bar->addWidget(w);
    bar->addSpacing(16);
    bar->addWidget(m_zoom);
    bar->addStretch(1);
    bar->addWidget(m_print);
    bar->addWidget(m_pdf);

    m_sheet = new QLabel;
    m_sheet->setAlignment(Qt::AlignCenter);
    m_scroll = new QScrollArea(this);
    m_scroll->setWidget(m_sheet);
    m_scroll->setWidgetResizable(true);
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);

    // The fitting zooms follow the room the page has, which is known only once the
    // window is laid out: the viewport says when it changes.
    m_scroll->viewport()->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_scroll, 1);

    connect(m_first, &QToolButton::clicked, this, [this] { showPage(0); });
    connect(m_previous, &QToolButton::clicked, this, [this] { showPage(m_page - 1); });
    connect(m_next, &QToolButton::clicked, this, [this] { showPage(m_page + 1); });
    connect(m_last, &QToolButton::clicked, this, [this] { showPage(pageCount() - 1); });
    connect(m_zoom, &QComboBox::currentIndexChanged, this, &ReportPreview::render);
    connect(m_print, &QToolButton::clicked, this, &ReportPreview::print);
    connect(m_pdf, &QToolButton::clicked, this, &ReportPreview::savePdf);
    // Without a window manager's close button, Esc is the keyboard's way out, as in every dialog.
    auto* leave = new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &QWidget::close);
    leave->setContext(Qt::WindowShortcut);
    showPage(0);
}

ReportPreview::~ReportPreview() = default;

int ReportPreview::pageCount() const {
    return m_report->pageCount();
}

void ReportPreview::showPage(int page) {
    m_page = std::clamp(page, 0, pageCount() - 1);
    m_pageLabel->setText(QStringLiteral("Pagina %1 di %2").arg(m_page + 1).arg(pageCount()));
    m_first->setEnabled(m_page > 0);
    m_previous->setEnabled(m_page > 0);
    m_next->setEnabled(m_page < pageCount() - 1);
    m_last->setEnabled(m_page < pageCount() - 1);
    render();
}

double ReportPreview::dotsPerInch() const {
    const QSize room = m_scroll->viewport()->size() - QSize(24, 24);
    switch (m_zoom->currentIndex()) {
    case 0:
        return std::max(30.0, room.width() / a4WidthInches);
    case 1:
        return std::max(30.0, std::min(room.width() / a4WidthInches, room.height() / a4HeightInches));
    default:
        return logicalDpiX();
    }
}

void ReportPreview::render() {
    const double dpi = dotsPerInch();
    QImage image(qRound(a4WidthInches * dpi), qRound(a4HeightInches * dpi), QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    image.fill(Qt::white);
    QPainter painter(&image);
    const Result painted = m_report->paintPage(painter, m_page);
    painter.end();
    m_image = image;
    m_sheet->setPixmap(QPixmap::fromImage(image));
    if (!painted)
        m_context.dialogs.message(painted.message());
}

bool ReportPreview::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize && m_zoom->currentIndex() != 2)
        render();
    return QWidget::eventFilter(watched, event);
}

void ReportPreview::savePdf() {
    if (const Result written = ReportPrinting::savePdfAs(*m_report, m_context); !written)
        m_context.dialogs.message(written.message());
}

void ReportPreview::print() {
    if (const Result printed = ReportPrinting::print(*m_report, m_context); !printed)
        m_context.dialogs.message(printed.message());
}
