#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QTextLayout>
#include <array>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class QPainter;

// The measures of a report page, in layout units.
namespace ReportPage {

// Layout units: 1200 to the inch, whatever the device.
inline constexpr double unitsPerInch = 1200;
inline constexpr double mm = unitsPerInch / 25.4;
inline constexpr double pageWidth = 210 * mm;
inline constexpr double pageHeight = 297 * mm;
inline constexpr double margin = 15 * mm;
inline constexpr double padX = 1.2 * mm;
inline constexpr double padY = 0.7 * mm;

} // namespace ReportPage

// Lines of a text wrapped at word boundaries, or anywhere when one word is wider than
// the column, so nothing is ever lost past the cell's edge.
struct Wrapped {
    QTextLayout layout;
    double height = 0;

    Wrapped(const QString& text, const QFont& font, double width);
};

// The report's fonts, and the measuring, wrapping and drawing of its texts, with the caches
// that make a long report affordable.
struct ReportText {
    static QFont font(double points, bool bold = false);

    QFont titleFont = font(14, true);
    QFont smallFont = font(8);
    QFont bodyFont = font(9);
    QFont boldFont = font(9, true);
    QFontMetricsF titleMetrics{titleFont};
    QFontMetricsF smallMetrics{smallFont};
    QFontMetricsF bodyMetrics{bodyFont};
    QFontMetricsF boldMetrics{boldFont};

    // Shaping a text (finding its glyphs and their advances) is most of what a report costs,
    // and the same texts come back row after row (types, purposes, names, captions). Each
    // distinct text of a font is measured once and shaped for drawing once while it stays
    // here; each cache is emptied when full, so memory does not grow with the rows.
    struct Shaped {
        std::unique_ptr<QTextLayout> line;  // the text on one line, ready to draw
        std::unique_ptr<Wrapped> wrapped;   // the text wrapped in a column of `wrappedWidth`
        double wrappedWidth = -1;
    };
    struct ShapedKey {
        int font;
        QString text;
        bool operator==(const ShapedKey& other) const { return font == other.font && text == other.text; }
    };
    struct ShapedHash {
        std::size_t operator()(const ShapedKey& key) const { return qHash(key.text, static_cast<size_t>(key.font)); }
    };
    // Advances are small and asked for twice (laying out, then painting): many more are kept.
    static constexpr std::size_t advanceLimit = 65536;
    static constexpr std::size_t shapedLimit = 4096;
    struct Advance {
        double width = -1;   // on one line; below 0 while unknown
        bool exact = false;  // shaped whole rather than estimated
        int uses = 0;        // how often the text was measured, a count of its rows
    };
    mutable std::unordered_map<ShapedKey, Advance, ShapedHash> advances;
    mutable std::unordered_map<ShapedKey, Shaped, ShapedHash> shaped;
    mutable QSize lineDpi;  // the resolution the cached lines were shaped for

    int fontIndex(const QFontMetricsF& metrics) const {
        return &metrics == &smallMetrics ? 0 : &metrics == &boldMetrics ? 2 : &metrics == &titleMetrics ? 3 : 1;
    }
    const QFont& fontAt(int index) const {
        return index == 0 ? smallFont : index == 2 ? boldFont : index == 3 ? titleFont : bodyFont;
    }
    Shaped& shapedText(const QFontMetricsF& metrics, const QString& text) const {
        if (shaped.size() >= shapedLimit)
            shaped.clear();
        return shaped[ShapedKey{fontIndex(metrics), text}];
    }

    // Most texts are far narrower than their column, and for those an estimate is enough:
    // Latin-1 letters are measured one by one and in pairs (a pair's width tells its kerning)
    // and a text is as wide as its letters and the pairs they form, which for the report's
    // fonts is exact. Only a text that comes near its column's edge, or has other characters,
    // is shaped whole; the margin covers fonts that place letters by a wider context. So a
    // text seen once (a phone number) is shaped once, to be drawn. Fixed size, per font.
    struct Letters {
        std::array<double, 256> single;
        std::vector<float> pairs = std::vector<float>(256 * 256, std::numeric_limits<float>::quiet_NaN());
        double margin = 0;
        explicit Letters(const QFontMetricsF& metrics) : margin(0.5 * metrics.averageCharWidth()) {
            single.fill(std::numeric_limits<double>::quiet_NaN());
        }
    };
    mutable std::array<std::unique_ptr<Letters>, 4> letters;

    // The estimated width of a text on one line, or below 0 when it cannot be estimated.
    static double estimated(const QFontMetricsF& metrics, QStringView text, Letters& table);

    // The entry of a text; counts a use unless told not to (the widths of the number
    // columns are found before any row is laid out).
    Advance& advance(const QFontMetricsF& metrics, const QString& text, bool count) const {
        if (advances.size() >= advanceLimit)
            advances.clear();
        Advance& entry = advances[ShapedKey{fontIndex(metrics), text}];
        if (count)
            ++entry.uses;
        return entry;
    }

    // Whether the text fits on one line of `width`, shaping it only when an estimate cannot tell.
    bool fits(const QFontMetricsF& metrics, const QString& text, Advance& entry, double width) const {
        if (!entry.exact) {
            std::unique_ptr<Letters>& table = letters[static_cast<std::size_t>(fontIndex(metrics))];
            if (!table)
                table = std::make_unique<Letters>(metrics);
            if (entry.width < 0)
                entry.width = estimated(metrics, text, *table);
            if (entry.width >= 0 && entry.width <= width - table->margin)
                return true;
            entry.width = metrics.horizontalAdvance(text);
            entry.exact = true;
        }
        return entry.width <= width;
    }

    // The text's exact advance on one line.
    const Advance& measured(const QFontMetricsF& metrics, const QString& text, bool count = true) const {
        Advance& entry = advance(metrics, text, count);
        if (!entry.exact) {
            entry.width = metrics.horizontalAdvance(text);
            entry.exact = true;
        }
        return entry;
    }

    bool fitsOnOneLine(const QFontMetricsF& metrics, const QString& text, double width) const {
        return !text.contains(QLatin1Char('\n')) && fits(metrics, text, advance(metrics, text, true), width);
    }

    const Wrapped& wrapped(const QFontMetricsF& metrics, const QString& text, double width) const {
        Shaped& entry = shapedText(metrics, text);
        if (!entry.wrapped || entry.wrappedWidth != width) {
            entry.wrapped = std::make_unique<Wrapped>(QString(text).replace(QLatin1Char('\n'), QChar::LineSeparator),
                                                      fontAt(fontIndex(metrics)), width);
            entry.wrappedWidth = width;
        }
        return *entry.wrapped;
    }

    // Most texts fit on one line; only the others pay for a full layout.
    double textHeight(const QFontMetricsF& metrics, const QString& text, double width) const {
        if (fitsOnOneLine(metrics, text, width))
            return metrics.height();
        return std::max(metrics.height(), wrapped(metrics, text, width).height);
    }

    // A text that a one-line layout draws as QPainter::drawText would: no character that
    // would start another line or that drawText shows differently.
    static bool plainLine(const QString& text) {
        for (const QChar c : text)
            if (c.unicode() < 0x20 || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
                return false;
        return true;
    }

    // While an item is painted in part (the rest on another page), the band of the page it
    // has there: only its lines of text wholly inside are drawn. Clipping alone is not enough,
    // as a PDF keeps clipped text (searched, copied and read back twice).
    mutable std::optional<QRectF> visibleBand;

    bool visible(double top, double bottom) const {
        return !visibleBand || (top >= visibleBand->top() - 1e-3 && bottom <= visibleBand->bottom() + 1e-3);
    }

    void drawText(QPainter& p, const QFont& f, const QFontMetricsF& metrics, const QRectF& box, const QString& text) const;

    // The width a word needs on one line; an estimate kept on the safe side when it is one.
    double wordWidth(const QFontMetricsF& metrics, QStringView word) const {
        std::unique_ptr<Letters>& table = letters[static_cast<std::size_t>(fontIndex(metrics))];
        if (!table)
            table = std::make_unique<Letters>(metrics);
        const double estimate = estimated(metrics, word, *table);
        return estimate >= 0 ? estimate + table->margin : metrics.horizontalAdvance(word.toString());
    }
};
