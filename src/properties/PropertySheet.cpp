#include "properties/PropertySheet.h"

#include "data/folder/ProgramSettings.h"
#include "data/folder/ProgramSettings.h"
#include "data/vocabulary/Numbers.h"
#include "data/vocabulary/Numbers.h"
#include "forms/report/PageOutput.h"
#include "forms/report/PageOutput.h"
#include "forms/controls/WindowControls.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/Colour.h"
#include "platform/gui/Colour.h"
#include "platform/gui/Picture.h"
#include "platform/gui/Picture.h"
#include "ui_PropertySheet.h"

#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextDocument>
#include <QTextLayout>

namespace {

QFont arial(int points, bool bold) {
    QFont font(QStringLiteral("Arial"), points);
    font.setBold(bold);
    return font;
}

} // namespace

PropertySheet::PropertySheet(const Context& context, QWidget* parent)
    : QWidget(parent), m_context(context), m_ui(std::make_unique<Ui::PropertySheet>()) {
    m_ui->setupUi(this);
    setMinimumSize(size());  // 11565 x 16000 twips: about a portrait A4 page
    setWindowIcon(Artwork::icon(QStringLiteral(":/icons/06-scheda.svg")));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    white.setColor(QPalette::Text, Qt::black);
    setPalette(white);
    setAutoFillBackground(true);

    for (QLabel* label :
         {m_ui->Label3, m_ui->Label2, m_ui->Label1, m_ui->Label8, m_ui->Label7, m_ui->Label9, m_ui->Label10})
        label->setFont(arial(12, true));
    m_ui->Label12->setFont(arial(18, true));
    for (QWidget* plain : std::initializer_list<QWidget*>{m_ui->Label11, m_ui->Text1, m_ui->Label5, m_ui->Label6})
        plain->setFont(arial(12, false));
    m_ui->Text1->viewport()->setAutoFillBackground(false);
    m_ui->Image2->setImage(Artwork::picture(QStringLiteral(":/icons/02-stampa.svg")));
    m_ui->Image1->setImage(Artwork::picture(Artwork::programIcon));
    m_ui->Image2->setToolTip(QStringLiteral("Stampa la scheda"));
    m_ui->Image1->setToolTip(QStringLiteral("Stampa la scheda"));

    connect(m_ui->Image2, &PictureBox::clicked, this, [this] {
        // The print icon does not come out on paper.
        m_ui->Image2->hide();
        if (const Result printed = print(); !printed)
            m_context.dialogs.message(printed.message());
    });
    connect(m_ui->Image1, &PictureBox::clicked, this, [this] {
        if (const Result printed = print(); !printed)
            m_context.dialogs.message(printed.message());
    });
    loadSettings();
    WindowControls::settle(*this);
}

PropertySheet::~PropertySheet() = default;

void PropertySheet::loadSettings() {
    const SheetSettings settings = ProgramSettings(m_context.programFolder).sheet();
    m_ui->Label12->setText(settings.heading);
    if (settings.headingColour) {
        QPalette palette = m_ui->Label12->palette();
        palette.setColor(QPalette::WindowText, Colour::fromInt(*settings.headingColour));
        m_ui->Label12->setPalette(palette);
    }
    m_ui->Label14->setText(settings.footer);
    // An empty logo path names no picture; one that does not load keeps our own.
    if (settings.logoPath.isEmpty()) {
        m_ui->Image1->clear();
    } else if (const QImage logo = Picture::load(settings.logoPath); !logo.isNull()) {
        m_ui->Image1->setImage(logo);
    }
}

void PropertySheet::fill(const Property& property) {
    m_ui->Label1->setText(property.purpose.toUpper());
    m_ui->Label2->setText(property.type.toUpper());
    m_ui->Label3->setText(property.area.toUpper());
    m_ui->Label6->setText(property.address.toUpper());
    m_ui->Label7->setText(property.surface);

    // A price that is not a number shows as typed: never the price of another property.
    const std::optional<double> price = Numbers::amount(property.price, m_context.regional.locale());
    m_ui->Label10->setText(price ? m_context.regional.currencyText(*price) : property.price);

    m_ui->Text1->setPlainText(property.notes.toUpper());
    // Nor the photo of another property: one that cannot be loaded leaves the area empty.
    m_ui->Picture1->showFile(property.photoPath);
}

QList<QRectF> PropertySheet::labelsOver(const QWidget* below) const {
    QList<QRectF> over;
    bool above = false;
    for (QObject* child : children()) {
        auto* label = qobject_cast<QLabel*>(child);
        above = above || child == below;
        if (above && label && label->isVisibleTo(this) && !label->text().isEmpty() &&
            label->geometry().intersects(below->geometry()))
            over << QRectF(label->geometry());
    }
    return over;
}

void PropertySheet::paintText(QPainter& painter, const QFont& font, const QRectF& box, const QString& text,
                              const QList<QRectF>& over) {
    QTextLayout layout(QString(text).replace(QLatin1Char('\n'), QChar::LineSeparator), font, painter.device());
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const double lineHeight = QFontMetricsF(font, painter.device()).height();
    const double gap = lineHeight / 2;
    double y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid() && y < box.height(); line = layout.createLine()) {
        // A line beside a label lying over the box ("NOTE:") starts after it.
        double left = 0;
        for (const QRectF& label : over)
            if (box.top() + y < label.bottom() && box.top() + y + lineHeight > label.top())
                left = std::max(left, label.right() + gap - box.left());
        line.setLineWidth(std::max(1.0, box.width() - left));
        line.setPosition(QPointF(left, y));
        y += line.height();
    }
    layout.endLayout();
    painter.save();
    painter.setClipRect(box, Qt::IntersectClip);  // as the box on screen, nothing past its edge
    layout.draw(&painter, box.topLeft());
    painter.restore();
}

void PropertySheet::paintLayout(QPainter& painter) const {
    // Fonts in the sheet's own pixels, so the painter's scale alone decides their size.
    const auto inPixels = [this](QFont font) {
        font.setPixelSize(qRound(font.pointSizeF() * logicalDpiY() / 72.0));
        return font;
    };
    painter.fillRect(rect(), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // Children in the order they lie on each other, each drawn as what it shows.
    for (QObject* child : children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget || !widget->isVisibleTo(this))
            continue;
        const QRectF box = widget->geometry();
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            painter.setFont(inPixels(label->font()));
            painter.setPen(label->palette().color(QPalette::WindowText));
            painter.drawText(box, static_cast<int>(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0),
                             label->text());
        } else if (auto* picture = qobject_cast<PictureBox*>(widget)) {
            if (!picture->image().isNull())
                painter.drawImage(box, picture->image());
        } else if (auto* text = qobject_cast<QPlainTextEdit*>(widget)) {
            const double margin = text->document()->documentMargin();
            painter.setPen(Qt::black);
            paintText(painter, inPixels(text->font()), box.adjusted(margin, margin, -margin, -margin), text->toPlainText(),
                      labelsOver(widget));
        } else if (auto* frame = qobject_cast<QFrame*>(widget)) {
            painter.setPen(QPen(Qt::black, 1));
            painter.setBrush(Qt::NoBrush);
            if (frame->frameShape() == QFrame::HLine)
                painter.drawLine(QPointF(box.left(), box.center().y()), QPointF(box.right(), box.center().y()));
            else if (frame->frameShape() == QFrame::Box)
                painter.drawRect(box.adjusted(0.5, 0.5, -0.5, -0.5));
        }
    }
}

Result PropertySheet::paintPage(QPagedPaintDevice& device) {
    QPainter painter;
    if (!painter.begin(&device))
        return Result::failure(QStringLiteral("Impossibile cominciare la stampa della scheda."));
    // The layout drawn again at the device's resolution, at its real size, centred on the page.
    const double scale = device.logicalDpiX() / static_cast<double>(logicalDpiX());
    const QSizeF drawn = QSizeF(size()) * scale;
    painter.translate(std::max(0.0, (device.width() - drawn.width()) / 2), std::max(0.0, (device.height() - drawn.height()) / 2));
    painter.scale(scale, scale);
    paintLayout(painter);
    painter.end();
    return Result::success();
}

Result PropertySheet::print() {
    return PageOutput::print(m_context, QStringLiteral("Scheda immobile"),
                             [this](QPagedPaintDevice& device) { return paintPage(device); });
}
