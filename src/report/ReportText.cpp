#include "report/ReportText.h"

#include <QPainter>
#include <QTextOption>
#include <cmath>
#include <limits>

using namespace ReportPage;

QFont ReportText::font(double points, bool bold) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(qRound(points * unitsPerInch / 72));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);  // the same widths on screen, printer and PDF
    // Any letter spacing, however small, turns ligatures off: "ffi" stays three letters
    // in the PDF, so "affitto" can be searched and copied.
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.05);
    return f;
}

Wrapped::Wrapped(const QString& text, const QFont& font, double width) : layout(text, font) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
}

double ReportText::estimated(const QFontMetricsF& metrics, QStringView text, Letters& table) {
    double width = 0;
    char16_t previous = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        // Controls, the soft hyphen and anything past Latin-1 are shaped whole.
        if (c < 0x20 || (c >= 0x7f && c < 0xa0) || c == 0xad || c > 0xff)
            return -1;
        double& one = table.single[c];
        if (std::isnan(one))
            one = metrics.horizontalAdvance(QString(QChar(c)));
        width += one;
        if (i > 0) {
            float& pair = table.pairs[static_cast<std::size_t>(previous) * 256 + c];
            if (std::isnan(pair))
                pair = static_cast<float>(metrics.horizontalAdvance(QString(QChar(previous)) + QChar(c)) -
                                          table.single[previous] - one);
            width += pair;
        }
        previous = c;
    }
    return width;
}

void ReportText::drawText(QPainter& p, const QFont& f, const QFontMetricsF& metrics, const QRectF& box, const QString& text) const {
    p.setFont(f);
    if (text.isEmpty())
        return;
    Advance* oneLine = text.contains(QLatin1Char('\n')) ? nullptr : &advance(metrics, text, true);
    if (oneLine && fits(metrics, text, *oneLine, box.width())) {
        if (!visible(box.top(), box.top() + metrics.height()))
            return;
        // A text seen only once in the report is drawn as it comes; those that come back
        // (counted while laying out, then again while painting) are shaped once and kept.
        if (!plainLine(text) || oneLine->uses < 4) {
            p.drawText(QPointF(box.left(), box.top() + metrics.ascent()), text);
            return;
        }
        // Shaped for the device's resolution, as drawText shapes: a device of another
        // resolution (the preview after a PDF) shapes again.
        const QPaintDevice* device = p.device();
        const QSize dpi(device->logicalDpiX(), device->logicalDpiY());
        if (dpi != lineDpi) {
            shaped.clear();
            lineDpi = dpi;
        }
        Shaped& entry = shapedText(metrics, text);
        if (!entry.line) {
            entry.line = std::make_unique<QTextLayout>(text, f, device);
            QTextOption option;
            option.setWrapMode(QTextOption::NoWrap);
            entry.line->setTextOption(option);
            entry.line->setCacheEnabled(true);
            entry.line->beginLayout();
            entry.line->createLine();
            entry.line->endLayout();
        }
        // On the same baseline as drawText puts it.
        entry.line->draw(&p, QPointF(box.left(), box.top() + metrics.ascent() - entry.line->lineAt(0).ascent()));
        return;
    }
    if (visibleBand) {  // only the lines that start and end within it
        const QTextLayout& layout = wrapped(metrics, text, box.width()).layout;
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            if (visible(box.top() + line.y(), box.top() + line.y() + line.height()))
                line.draw(&p, box.topLeft());
        }
        return;
    }
    wrapped(metrics, text, box.width()).layout.draw(&p, box.topLeft());
}
