#include "ReportRenderer.h"

#include "Database.h"
#include "EngineError.h"
#include "FieldFormat.h"
#include "Numbers.h"
#include "Regional.h"
#include "Schema.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTextLayout>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <tuple>
#include <unordered_map>

namespace {

// Layout units: 1200 to the inch, whatever the device.
constexpr double unitsPerInch = 1200;
constexpr double mm = unitsPerInch / 25.4;
constexpr double pageWidth = 210 * mm;
constexpr double pageHeight = 297 * mm;
constexpr double margin = 15 * mm;
constexpr double padX = 1.2 * mm;
constexpr double padY = 0.7 * mm;
constexpr double recordLabelShare = 0.3;
constexpr double detailHeadGap = 3 * mm;

QFont font(double points, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(qRound(points * unitsPerInch / 72));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);  // the same widths on screen, printer and PDF
    // Any letter spacing, however small, turns ligatures off: "ffi" stays three letters
    // in the PDF, so "affitto" can be searched and copied.
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.05);
    return f;
}

// Lines of a text wrapped at word boundaries, or anywhere when one word is wider than
// the column, so nothing is ever lost past the cell's edge.
struct Wrapped {
    QTextLayout layout;
    double height = 0;

    Wrapped(const QString& text, const QFont& font, double width) : layout(text, font) {
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
};

// What went wrong in the database, in the office's words; never the engine's English.
QString engineProblem(const Database& database, const QSqlError& error) {
    if (database.isPostgres())
        return EngineError::describePostgres(error);
    bool isCode = false;
    const int code = error.nativeErrorCode().toInt(&isCode) & 0xff;
    const QString text = error.databaseText();
    if (!isCode)
        return QStringLiteral("il database non ha potuto leggere i dati");
    switch (code) {
    case 5:  // SQLITE_BUSY
    case 6:  // SQLITE_LOCKED
        return QStringLiteral("il database è occupato da un altro programma; riprovare tra poco");
    case 7:  // SQLITE_NOMEM
        return QStringLiteral("la memoria non basta");
    case 10:  // SQLITE_IOERR
    case 14:  // SQLITE_CANTOPEN
        return QStringLiteral("il file del database non si può leggere dal disco");
    case 11:  // SQLITE_CORRUPT
    case 26:  // SQLITE_NOTADB
        return QStringLiteral("il file del database è danneggiato");
    case 1:  // SQLITE_ERROR
        if (text.contains(QLatin1String("stack overflow")) || text.contains(QLatin1String("too large")) ||
            text.contains(QLatin1String("too many")))
            return QStringLiteral("la formula di selezione è troppo complessa per il database");
        if (text.contains(QLatin1String("no such")))
            return QStringLiteral("nel database manca una tabella o un campo che il report usa");
        break;
    default:
        break;
    }
    return QStringLiteral("il database ha dato l'errore numero %1").arg(code);
}

QString quoted(const QString& identifier) {
    return QLatin1Char('"') + identifier + QLatin1Char('"');
}

// The report's sort fields, then the engine's own order of the rows.
QString orderBy(const Database& database, const QString& table, const QStringList& fields) {
    QStringList terms;
    for (const QString& field : fields)
        terms << quoted(field);
    terms << database.keyColumn(table);
    return terms.join(QStringLiteral(", "));
}

// The rows from a given one to the end.
QString fromRow(const Database& database) {
    return database.isPostgres() ? QStringLiteral("OFFSET ?") : QStringLiteral("LIMIT -1 OFFSET ?");
}

// Where the flow of a report stands: the record, the part of it, the detail row.
struct Position {
    int record = 0;
    enum Stage { Card, DetailHead, DetailRows, DetailEmpty, Gap } stage = Card;
    int detail = 0;
};

struct Item {
    enum Kind { Row, Card, DetailHead, DetailRow, DetailEmpty, Gap } kind;
    QStringList values;
    double height = 0;
};

struct Page {
    Position start;
    int items = 0;
    // An item taller than what is left of a page goes on over the next: where the page's
    // first item starts inside it (0: at its top) and where its last is cut (below 0: whole).
    double offset = 0;
    double cut = -1;
};

} // namespace

struct ReportRenderer::Private {
    ReportDefinition definition;
    std::shared_ptr<Database> database;
    QString where;
    QVariantList parameters;
    const Regional& regional;
    QDate printDate;
    std::vector<Page> pages;

    QFont titleFont = font(14, true);
    QFont smallFont = font(8);
    QFont bodyFont = font(9);
    QFont boldFont = font(9, true);
    QFontMetricsF titleMetrics{titleFont};
    QFontMetricsF smallMetrics{smallFont};
    QFontMetricsF bodyMetrics{bodyFont};
    QFontMetricsF boldMetrics{boldFont};

    double contentTop = 0;
    double contentBottom = 0;
    double contentWidth = pageWidth - 2 * margin;

    Private(const ReportDefinition& def, std::shared_ptr<Database> db, const QString& w, const QVariantList& p,
            const Regional& r, const QDate& date)
        : definition(def), database(std::move(db)), where(w), parameters(p), regional(r), printDate(date) {
        double headerHeight = titleMetrics.height() + 1 * mm;
        if (!definition.header.isEmpty())
            headerHeight += textHeight(smallMetrics, definition.header, contentWidth) + 1 * mm;
        contentTop = margin + headerHeight + 3 * mm;
        contentBottom = pageHeight - margin - smallMetrics.height() - 3 * mm;
    }

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
    static double estimated(const QFontMetricsF& metrics, QStringView text, Letters& table) {
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

    void drawText(QPainter& p, const QFont& f, const QFontMetricsF& metrics, const QRectF& box, const QString& text) const {
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

    std::vector<double> listWidths;
    std::vector<double> detailWidths;

    const std::vector<double>& widths(const QList<ReportDefinition::Column>& columns) const {
        return &columns == &definition.detail.columns ? detailWidths : listWidths;
    }

    // The columns' shares of the width, but never narrower than a column's `minimum`:
    // those that would be keep their minimum and the others share what is left.
    std::vector<double> fitted(const QList<ReportDefinition::Column>& columns,
                               const std::vector<double>& minimum) const {
        const std::size_t n = static_cast<std::size_t>(columns.size());
        std::vector<bool> fixed(n, false);
        std::vector<double> result(n, 0);
        for (bool changed = true; changed;) {
            changed = false;
            double room = contentWidth, shares = 0;
            for (std::size_t i = 0; i < n; ++i) {
                if (fixed[i])
                    room -= minimum[i];
                else
                    shares += columns.at(static_cast<qsizetype>(i)).width;
            }
            for (std::size_t i = 0; i < n; ++i) {
                if (fixed[i]) {
                    result[i] = minimum[i];
                    continue;
                }
                result[i] = shares > 0 ? std::max(0.0, room) * columns.at(static_cast<qsizetype>(i)).width / shares : 0;
                if (result[i] < minimum[i]) {
                    fixed[i] = true;
                    changed = true;
                }
            }
        }
        return result;
    }

    // The width a word needs on one line; an estimate kept on the safe side when it is one.
    double wordWidth(const QFontMetricsF& metrics, QStringView word) const {
        std::unique_ptr<Letters>& table = letters[static_cast<std::size_t>(fontIndex(metrics))];
        if (!table)
            table = std::make_unique<Letters>(metrics);
        const double estimate = estimated(metrics, word, *table);
        return estimate >= 0 ? estimate + table->margin : metrics.horizontalAdvance(word.toString());
    }

    // Widens `width` to the widest word of a text, so no word breaks inside ("Appartament" /
    // "o"); words that cannot be wider than it already is are not measured.
    void widenForWords(const QFontMetricsF& metrics, const QString& text, double& width) const {
        const double widest = metrics.maxWidth();
        qsizetype start = 0;
        for (qsizetype i = 0; i <= text.size(); ++i) {
            if (i < text.size() && !text.at(i).isSpace())
                continue;
            const qsizetype length = i - start;
            if (length > 0 && length * widest + 2 * padX > width)
                width = std::max(width, wordWidth(metrics, QStringView(text).mid(start, length)) + 2 * padX);
            start = i + 1;
        }
    }

    // Each column is at least as wide as the widest word it holds, its caption's included, so
    // a word never breaks inside ("VENDIT" / "A"), and a number column as wide as its widest
    // value, so a number never breaks over two lines ("100" / "0" for 1000); one pass over the
    // selected rows finds them. Together they stay within the page: when they would not, all
    // shrink alike.
    Result minimumWidths(const QString& table, const QList<ReportDefinition::Column>& columns, const QString& from,
                         const QVariantList& fromParameters, std::vector<double>& minimum) const {
        minimum.assign(static_cast<std::size_t>(columns.size()), 0.0);
        for (qsizetype i = 0; i < columns.size(); ++i)
            widenForWords(boldMetrics, columns.at(i).caption, minimum[static_cast<std::size_t>(i)]);
        QSqlQuery query(database->connection());
        if (!query.exec(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quoted(table))))
            return failure(engineProblem(*database, query.lastError()));
        const QSqlRecord record = query.record();
        QStringList fields;
        QList<qsizetype> read;  // the columns read, in the order of `fields`
        std::vector<const Schema::Field*> readFields;
        std::vector<bool> numeric;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            const Schema::Field* field = Schema::field(table, columns.at(i).field);
            const bool isNumber = columns.at(i).currency ||
                                  (field && field->kind != Schema::FieldKind::Text && field->kind != Schema::FieldKind::Date);
            // A field the table lacks prints empty: nothing to measure (a number column reads it as always).
            if (!isNumber && record.indexOf(columns.at(i).field) < 0)
                continue;
            read << i;
            readFields.push_back(field);
            numeric.push_back(isNumber);
            fields << quoted(columns.at(i).field);
        }
        if (!read.isEmpty()) {
            query.setForwardOnly(true);
            if (!query.prepare(QStringLiteral("SELECT %1 FROM %2").arg(fields.join(QStringLiteral(", ")), from)))
                return failure(engineProblem(*database, query.lastError()));
            for (const QVariant& parameter : fromParameters)
                query.addBindValue(parameter);
            if (!query.exec())
                return failure(engineProblem(*database, query.lastError()));
            std::vector<qsizetype> longest(static_cast<std::size_t>(read.size()), 0);
            while (query.next()) {
                for (qsizetype k = 0; k < read.size(); ++k) {
                    const std::size_t at = static_cast<std::size_t>(k);
                    const ReportDefinition::Column& column = columns.at(read.at(k));
                    double& width = minimum[static_cast<std::size_t>(read.at(k))];
                    const QVariant stored = query.value(static_cast<int>(k));
                    if (!numeric[at] || !isNumber(column, stored)) {
                        // A word in a number column wraps like any text.
                        if (!stored.isNull())
                            widenForWords(bodyMetrics, cellText(readFields[at], column, stored), width);
                        continue;
                    }
                    const QString shown = column.currency ? *money(stored) : cellText(readFields[at], column, stored);
                    // Digits are all as wide: only the longest texts need measuring.
                    if (shown.size() + 1 < longest[at])
                        continue;
                    longest[at] = std::max(longest[at], shown.size());
                    // Kept with the other advances: the rows measure and draw the same texts.
                    width = std::max(width, measured(bodyMetrics, shown, false).width + 2 * padX + 0.5 * mm);
                }
            }
            if (query.lastError().isValid())
                return failure(engineProblem(*database, query.lastError()));
        }
        double total = 0;
        for (double& width : minimum) {
            width = std::min(width, contentWidth * 0.4);
            total += width;
        }
        if (total > contentWidth)
            for (double& width : minimum)
                width *= contentWidth / total;
        return Result::success();
    }

    // Reading a stored amount and writing it as money costs more than drawing it, and the
    // same amounts come back row after row and pass after pass: each stored text is read once
    // while it stays here (nothing when it is not a number). Emptied when full.
    static constexpr std::size_t moneyLimit = 4096;
    mutable std::unordered_map<QString, std::optional<QString>> moneyTexts;

    const std::optional<QString>& money(const QVariant& stored) const {
        if (moneyTexts.size() >= moneyLimit)
            moneyTexts.clear();
        // A text and a stored number that print alike ("1.125") are different amounts.
        const bool isText = stored.typeId() == QMetaType::QString || stored.typeId() == QMetaType::QByteArray;
        const auto [entry, added] = moneyTexts.try_emplace((isText ? QLatin1Char('t') : QLatin1Char('n')) + stored.toString());
        if (added) {
            if (const std::optional<double> value = Numbers::amount(stored, regional.locale()))
                entry->second = regional.currencyText(*value);
        }
        return entry->second;
    }

    bool isNumber(const ReportDefinition::Column& column, const QVariant& stored) const {
        if (stored.isNull())
            return false;
        if (column.currency)
            return money(stored).has_value();
        return stored.typeId() != QMetaType::QString && stored.typeId() != QMetaType::QByteArray;
    }

    QString cellText(const Schema::Field* field, const ReportDefinition::Column& column, const QVariant& stored) const {
        if (column.currency && !stored.isNull()) {
            if (const std::optional<QString>& text = money(stored))
                return *text;
        }
        return FieldFormat::shown(field, stored, regional);
    }

    double rowHeight(const QList<ReportDefinition::Column>& columns, const QStringList& values) const {
        const std::vector<double>& w = widths(columns);
        double height = 0;
        for (qsizetype i = 0; i < values.size(); ++i)
            height = std::max(height, textHeight(bodyMetrics, values.at(i), w[i] - 2 * padX));
        return height + 2 * padY;
    }

    double bandHeight(const QList<ReportDefinition::Column>& columns) const {
        QStringList captions;
        for (const auto& c : columns)
            captions << c.caption;
        const std::vector<double>& w = widths(columns);
        double height = 0;
        for (qsizetype i = 0; i < captions.size(); ++i)
            height = std::max(height, textHeight(boldMetrics, captions.at(i), w[i] - 2 * padX));
        return height + 2 * padY;
    }

    double cardHeight(const QStringList& values) const {
        const double valueWidth = contentWidth * (1 - recordLabelShare) - 2 * padX;
        double height = 0;
        for (const QString& value : values)
            height += textHeight(bodyMetrics, value, valueWidth) + padY;
        return height + 2 * padY;
    }

    double detailHeadHeight() const {
        return detailHeadGap + boldMetrics.height() + 2 * padY + bandHeight(definition.detail.columns);
    }

    // The bottoms of the item's lines of text, from its top: where it can be cut between pages.
    std::vector<double> lineBottoms(const Item& item) const {
        std::vector<double> bottoms;
        const auto addLines = [&](const QFontMetricsF& metrics, const QString& text, double width, double top) {
            if (fitsOnOneLine(metrics, text, width)) {
                bottoms.push_back(top + metrics.height());
                return;
            }
            const QTextLayout& layout = wrapped(metrics, text, width).layout;
            for (int i = 0; i < layout.lineCount(); ++i)
                bottoms.push_back(top + layout.lineAt(i).y() + layout.lineAt(i).height());
        };
        switch (item.kind) {
        case Item::Row:
        case Item::DetailRow: {
            const std::vector<double>& w = widths(tableColumns());
            for (qsizetype i = 0; i < item.values.size(); ++i)
                addLines(bodyMetrics, item.values.at(i), w[static_cast<std::size_t>(i)] - 2 * padX, padY);
            break;
        }
        case Item::Card: {
            const double valueWidth = contentWidth * (1 - recordLabelShare) - 2 * padX;
            double row = padY;
            for (const QString& value : item.values) {
                addLines(bodyMetrics, value, valueWidth, row);
                row += textHeight(bodyMetrics, value, valueWidth) + padY;
            }
            break;
        }
        case Item::DetailEmpty:
            addLines(bodyMetrics, item.values.value(0), contentWidth - 2 * padX, padY);
            break;
        default:
            break;
        }
        return bottoms;
    }

    // The lowest place at or above `limit` where the item can be cut with no line in two
    // (in any of its cells), or 0 when there is none.
    double cutBefore(const Item& item, double limit) const {
        const std::vector<double> bottoms = lineBottoms(item);
        double best = 0;
        for (const double bottom : bottoms) {
            if (bottom > limit + 1e-6 || bottom <= best)
                continue;
            // No line of another cell runs across it.
            const bool clean = std::none_of(bottoms.begin(), bottoms.end(), [&](double other) {
                return other > bottom + 1e-6 && other - bodyMetrics.height() < bottom - 1e-6;
            });
            if (clean)
                best = bottom;
        }
        return best;
    }

    const QList<ReportDefinition::Column>& tableColumns() const {
        return definition.layout == ReportDefinition::Layout::List ? definition.columns : definition.detail.columns;
    }

    // Reads the report's items in order from a position, a row at a time.
    class Flow {
    public:
        Flow(Private& owner, const Position& start) : m_owner(owner), m_at(start), m_main(owner.database->connection()) {
            const ReportDefinition& def = owner.definition;
            const Database& database = *owner.database;
            // SQLite hands the rows over one by one while the detail rows are read beside
            // them. A PostgreSQL connection serves one statement at a time, so there the
            // records come in blocks, each read whole before its details are asked for.
            m_blocks = database.isPostgres();
            m_main.setForwardOnly(!m_blocks);
            m_main.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %4 %5")
                               .arg(owner.readColumns, quoted(def.table), owner.where, orderBy(database, def.table, def.sort),
                                    m_blocks ? QStringLiteral("LIMIT %1 OFFSET ?").arg(blockSize) : fromRow(database)));
            m_offset = start.record;
            readBlock();
            m_needRecord = true;
        }

        const QString& error() const { return m_error; }

        // The next item and the position that starts with it; false at the end.
        bool next(Item& item, Position& at) {
            if (!m_error.isEmpty())
                return false;
            const ReportDefinition& def = m_owner.definition;
            if (m_needRecord) {
                if (!m_main.next() && m_blocks && m_inBlock == blockSize && !m_main.lastError().isValid()) {
                    m_offset += blockSize;
                    readBlock();
                    if (!m_error.isEmpty())
                        return false;
                    (void)m_main.next();
                }
                if (!m_main.isValid()) {
                    if (m_main.lastError().isValid())
                        m_error = engineProblem(*m_owner.database, m_main.lastError());
                    return false;
                }
                // The whole record only where a detail needs its key; a list reads its columns.
                if (def.layout != ReportDefinition::Layout::List)
                    m_record = m_main.record();
                m_needRecord = false;
            }
            at = m_at;
            if (def.layout == ReportDefinition::Layout::List) {
                item = {Item::Row, values(def.table, def.columns, m_main, m_mainColumns), 0};
                item.height = m_owner.rowHeight(def.columns, item.values);
                advanceRecord();
                return true;
            }
            switch (m_at.stage) {
            case Position::Card:
                item = {Item::Card, values(def.table, def.columns, m_main, m_mainColumns), 0};
                item.height = m_owner.cardHeight(item.values);
                m_at.stage = def.hasDetail ? Position::DetailHead : Position::Gap;
                return true;
            case Position::DetailHead:
                item = {Item::DetailHead, {}, m_owner.detailHeadHeight()};
                m_at.stage = Position::DetailRows;
                m_at.detail = 0;
                return true;
            case Position::DetailRows:
                if (!m_detailOpen)
                    openDetail();
                if (m_detail && m_detail->next()) {
                    item = {Item::DetailRow, values(def.detail.table, def.detail.columns, *m_detail, m_detailColumns), 0};
                    item.height = m_owner.rowHeight(def.detail.columns, item.values);
                    ++m_at.detail;
                    return true;
                }
                m_detailOpen = false;
                m_detail.reset();
                m_at.stage = m_at.detail == 0 ? Position::DetailEmpty : Position::Gap;
                return next(item, at);
            case Position::DetailEmpty:
                item = {Item::DetailEmpty, {def.detail.empty}, 0};
                item.height = m_owner.textHeight(m_owner.bodyMetrics, def.detail.empty, m_owner.contentWidth) + 2 * padY;
                m_at.stage = Position::Gap;
                return true;
            case Position::Gap:
                item = {Item::Gap, {}, 6 * mm};
                advanceRecord();
                return true;
            }
            return false;
        }

    private:
        static constexpr int blockSize = 256;

        void readBlock() {
            const QVariantList& parameters = m_owner.parameters;
            for (qsizetype i = 0; i < parameters.size(); ++i)
                m_main.bindValue(static_cast<int>(i), parameters.at(i));
            m_main.bindValue(static_cast<int>(parameters.size()), m_offset);
            if (!m_main.exec())
                m_error = engineProblem(*m_owner.database, m_main.lastError());
            m_inBlock = m_blocks && m_main.isActive() ? m_main.size() : 0;
        }

        // Where each column is in the query's rows and how it is shown, found on its first row.
        struct Columns {
            std::vector<int> index;
            std::vector<const Schema::Field*> field;
        };

        QStringList values(const QString& table, const QList<ReportDefinition::Column>& columns, const QSqlQuery& query,
                           Columns& found) const {
            if (found.index.empty()) {
                const QSqlRecord record = query.record();
                for (const auto& column : columns) {
                    found.index.push_back(record.indexOf(column.field));
                    found.field.push_back(Schema::field(table, column.field));
                }
            }
            QStringList result;
            result.reserve(columns.size());
            for (qsizetype i = 0; i < columns.size(); ++i) {
                const int index = found.index[static_cast<std::size_t>(i)];
                result << m_owner.cellText(found.field[static_cast<std::size_t>(i)], columns.at(i),
                                           index >= 0 ? query.value(index) : QVariant());
            }
            return result;
        }

        void advanceRecord() {
            ++m_at.record;
            m_at.stage = Position::Card;
            m_at.detail = 0;
            m_needRecord = true;
        }

        void openDetail() {
            const ReportDefinition& def = m_owner.definition;
            m_detail = std::make_unique<QSqlQuery>(m_owner.database->connection());
            m_detail->setForwardOnly(true);
            const Database& database = *m_owner.database;
            m_detail->prepare(QStringLiteral("SELECT * FROM %1 WHERE %2 = ? ORDER BY %3 %4")
                                  .arg(quoted(def.detail.table), quoted(def.detail.key),
                                       orderBy(database, def.detail.table, def.detail.sort), fromRow(database)));
            m_detail->addBindValue(m_record.value(def.detail.masterKey));
            m_detail->addBindValue(m_at.detail);
            if (!m_detail->exec())
                m_error = engineProblem(*m_owner.database, m_detail->lastError());
            m_detailOpen = true;
        }

        Private& m_owner;
        Position m_at;
        QSqlQuery m_main;
        bool m_blocks = false;
        int m_offset = 0;   // of the block read last
        int m_inBlock = 0;  // its rows
        QSqlRecord m_record;
        Columns m_mainColumns;
        Columns m_detailColumns;
        bool m_needRecord = true;
        std::unique_ptr<QSqlQuery> m_detail;
        bool m_detailOpen = false;
        QString m_error;
    };

    // Whether a page that starts with this item first repeats the column captions.
    bool pageOpensWithBand(Item::Kind first) const {
        return definition.layout == ReportDefinition::Layout::List || first == Item::DetailRow;
    }

    Result failure(const QString& detail) const {
        return Result::failure(QStringLiteral("Il report «%1» non si può preparare: %2.").arg(definition.title, detail));
    }

    // What the rows are read with: a list reads only its own columns, as the engine spells
    // them (a field the table lacks stays an empty cell); a record reads the whole row,
    // its details need the record's key.
    QString readColumns = QStringLiteral("*");

    Result chooseColumns() {
        readColumns = QStringLiteral("*");
        if (definition.layout != ReportDefinition::Layout::List)
            return Result::success();
        QSqlQuery query(database->connection());
        if (!query.exec(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quoted(definition.table))))
            return failure(engineProblem(*database, query.lastError()));
        const QSqlRecord record = query.record();
        QStringList names;
        for (const auto& column : definition.columns) {
            const int index = record.indexOf(column.field);
            if (index >= 0 && !names.contains(quoted(record.fieldName(index))))
                names << quoted(record.fieldName(index));
        }
        if (!names.isEmpty())
            readColumns = names.join(QStringLiteral(", "));
        return Result::success();
    }

    Result layout(Progress* progress) {
        if (const Result chosen = chooseColumns(); !chosen)
            return chosen;
        std::vector<double> minimum;
        const QString selected = QStringLiteral("%1 WHERE %2").arg(quoted(definition.table), where);
        if (const Result measured = minimumWidths(definition.table, definition.columns, selected, parameters, minimum);
            !measured)
            return measured;
        listWidths = fitted(definition.columns, minimum);
        if (definition.hasDetail) {
            const QString details = QStringLiteral("%1 WHERE %2 IN (SELECT %3 FROM %4)")
                                        .arg(quoted(definition.detail.table), quoted(definition.detail.key),
                                             quoted(definition.detail.masterKey), selected);
            if (const Result measured =
                    minimumWidths(definition.detail.table, definition.detail.columns, details, parameters, minimum);
                !measured)
                return measured;
            detailWidths = fitted(definition.detail.columns, minimum);
        }
        pages.clear();
        pages.push_back({});
        Flow flow(*this, Position{});
        Item item;
        Position at;
        double y = contentTop;
        bool pageEmpty = true;
        const auto newPage = [&](const Position& start, double offset) {
            if (!Progress::advance(progress, static_cast<qint64>(pages.size()), 0))
                return false;
            pages.push_back({start, 0, offset});
            return true;
        };
        while (flow.next(item, at)) {
            const double band = pageOpensWithBand(item.kind) ? bandHeight(tableColumns()) : 0;
            if (pageEmpty)
                y += band;
            // A detail heading keeps at least one row with it.
            const double keep = item.kind == Item::DetailHead ? bodyMetrics.height() + 2 * padY : 0;
            // An item that a page of its own could hold starts on the next page; a taller one
            // starts here when a line of it fits.
            const bool fitsOnAPage = contentTop + band + item.height + keep <= contentBottom;
            if (!pageEmpty && y + item.height + keep > contentBottom &&
                (fitsOnAPage || cutBefore(item, contentBottom - y) <= 0)) {
                if (!newPage(at, 0)) {
                    pages.clear();
                    return Result::userCancelled();
                }
                y = contentTop + band;
            }
            // Then it goes on over as many pages as it needs, cut between two of its lines.
            double offset = 0;
            while (y + item.height - offset > contentBottom) {
                double cut = cutBefore(item, offset + contentBottom - y);
                if (cut <= offset)  // not one line fits (a line taller than a page): cut it anyway
                    cut = offset + std::max(contentBottom - y, 1.0);
                ++pages.back().items;
                pages.back().cut = cut;
                if (!newPage(at, cut)) {
                    pages.clear();
                    return Result::userCancelled();
                }
                y = contentTop + band;
                offset = cut;
            }
            y += item.height - offset;
            ++pages.back().items;
            pageEmpty = false;
        }
        if (!flow.error().isEmpty())
            return failure(flow.error());
        return Result::success();
    }

    void paintChrome(QPainter& p, int page) const {
        p.setPen(Qt::black);
        p.setFont(titleFont);
        p.drawText(QRectF(margin, margin, contentWidth * 0.7, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   titleMetrics.elidedText(definition.title, Qt::ElideRight, contentWidth * 0.7));
        p.setFont(smallFont);
        p.drawText(QRectF(margin, margin, contentWidth, titleMetrics.height()), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("Stampato il ") + regional.dateText(printDate));
        double y = margin + titleMetrics.height() + 1 * mm;
        if (!definition.header.isEmpty()) {
            const double h = textHeight(smallMetrics, definition.header, contentWidth);
            drawText(p, smallFont, smallMetrics, QRectF(margin, y, contentWidth, h), definition.header);
            y += h + 1 * mm;
        }
        p.setPen(QPen(QColor(60, 60, 60), 0.3 * mm));
        p.drawLine(QPointF(margin, y + 1 * mm), QPointF(pageWidth - margin, y + 1 * mm));

        const double footY = pageHeight - margin - smallMetrics.height();
        p.drawLine(QPointF(margin, footY - 1.5 * mm), QPointF(pageWidth - margin, footY - 1.5 * mm));
        p.setPen(Qt::black);
        p.drawText(QRectF(margin, footY, contentWidth * 0.75, smallMetrics.height()), Qt::AlignLeft,
                   smallMetrics.elidedText(definition.footer, Qt::ElideRight, contentWidth * 0.75));
        p.drawText(QRectF(margin, footY, contentWidth, smallMetrics.height()), Qt::AlignRight,
                   QStringLiteral("Pagina %1 di %2").arg(page + 1).arg(pages.size()));
    }

    void paintCells(QPainter& p, double y, const QList<ReportDefinition::Column>& columns, const QStringList& values,
                    double height, bool band) const {
        const std::vector<double>& w = widths(columns);
        if (band)
            p.fillRect(QRectF(margin, y, contentWidth, height), QColor(225, 229, 235));
        double x = margin;
        for (qsizetype i = 0; i < values.size(); ++i) {
            const QRectF cell(x + padX, y + padY, w[i] - 2 * padX, height - 2 * padY);
            drawText(p, band ? boldFont : bodyFont, band ? boldMetrics : bodyMetrics, cell, values.at(i));
            x += w[i];
        }
        p.setPen(QPen(QColor(200, 200, 200), 0.15 * mm));
        p.drawLine(QPointF(margin, y + height), QPointF(pageWidth - margin, y + height));
        p.setPen(Qt::black);
    }

    void paintBand(QPainter& p, double& y) const {
        QStringList captions;
        for (const auto& c : tableColumns())
            captions << c.caption;
        const double h = bandHeight(tableColumns());
        paintCells(p, y, tableColumns(), captions, h, true);
        y += h;
    }

    void paintItem(QPainter& p, const Item& item, double& y) const {
        switch (item.kind) {
        case Item::Row:
        case Item::DetailRow:
            paintCells(p, y, tableColumns(), item.values, item.height, false);
            break;
        case Item::Card: {
            const double labelWidth = contentWidth * recordLabelShare;
            double row = y + padY;
            p.fillRect(QRectF(margin, y, contentWidth, item.height), QColor(245, 246, 248));
            for (qsizetype i = 0; i < item.values.size(); ++i) {
                const double h = textHeight(bodyMetrics, item.values.at(i), contentWidth - labelWidth - 2 * padX);
                drawText(p, boldFont, boldMetrics, QRectF(margin + padX, row, labelWidth - padX, h),
                         definition.columns.at(i).caption);
                drawText(p, bodyFont, bodyMetrics, QRectF(margin + labelWidth + padX, row, contentWidth - labelWidth - 2 * padX, h),
                         item.values.at(i));
                row += h + padY;
            }
            break;
        }
        case Item::DetailHead: {
            p.setFont(boldFont);
            p.drawText(QRectF(margin, y + detailHeadGap + padY, contentWidth, boldMetrics.height()), Qt::AlignLeft,
                       definition.detail.title);
            double band = y + detailHeadGap + boldMetrics.height() + 2 * padY;
            paintBand(p, band);
            break;
        }
        case Item::DetailEmpty:
            drawText(p, bodyFont, bodyMetrics, QRectF(margin + padX, y + padY, contentWidth - 2 * padX, item.height),
                     item.values.value(0));
            break;
        case Item::Gap:
            break;
        }
        y += item.height;
    }

    // Paints `page` reading its items from `flow`. An item that goes on from the page before
    // is `carried` when the flow has already read it; an item cut at the page's end is left
    // there for the next.
    void paintFrom(QPainter& p, Flow& flow, int page, std::optional<Item>& carried) const {
        paintChrome(p, page);
        double y = contentTop;
        const Page& current = pages[static_cast<std::size_t>(page)];
        if (current.items == 0) {  // nothing selected
            drawText(p, bodyFont, bodyMetrics, QRectF(margin, y, contentWidth, bodyMetrics.height() * 3), definition.empty);
            return;
        }
        Item item;
        Position at;
        for (int i = 0; i < current.items; ++i) {
            if (i == 0 && current.offset > 0 && carried)
                item = *carried;
            else if (!flow.next(item, at))
                break;
            if (i == 0 && pageOpensWithBand(item.kind))
                paintBand(p, y);
            const double from = i == 0 ? current.offset : 0;
            const double to = i == current.items - 1 && current.cut >= 0 ? current.cut : item.height;
            if (from > 0 || to < item.height) {
                // Only its part of this page: the rest is above or below, clipped away.
                const QRectF band(0, y, pageWidth, to - from);
                p.save();
                p.setClipRect(band, Qt::IntersectClip);
                visibleBand = band;
                double top = y - from;
                paintItem(p, item, top);
                visibleBand.reset();
                p.restore();
            } else {
                double top = y;
                paintItem(p, item, top);
            }
            y += to - from;
        }
        carried.reset();
        if (current.cut >= 0)
            carried = item;
    }

    static void toLayoutUnits(QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.scale(p.device()->logicalDpiX() / unitsPerInch, p.device()->logicalDpiY() / unitsPerInch);
    }
};

ReportRenderer::ReportRenderer(const ReportDefinition& definition, std::shared_ptr<Database> database, const QString& where,
                               const QVariantList& parameters, const Regional& regional, const QDate& printDate)
    : d(std::make_unique<Private>(definition, std::move(database), where, parameters, regional, printDate)) {}

ReportRenderer::~ReportRenderer() = default;

const ReportDefinition& ReportRenderer::definition() const {
    return d->definition;
}

Result ReportRenderer::layout(Progress* progress) {
    return d->layout(progress);
}

int ReportRenderer::pageCount() const {
    return static_cast<int>(d->pages.size());
}

Result ReportRenderer::paintPage(QPainter& painter, int page) {
    if (page < 0 || page >= pageCount())
        return Result::failure(QStringLiteral("La pagina %1 del report non esiste.").arg(page + 1));
    painter.save();
    Private::toLayoutUnits(painter);
    Private::Flow flow(*d, d->pages[page].start);
    std::optional<Item> carried;  // the flow starts with the page's own first item
    d->paintFrom(painter, flow, page, carried);
    painter.restore();
    if (!flow.error().isEmpty())
        return d->failure(flow.error());
    return Result::success();
}

Result ReportRenderer::paintAll(QPagedPaintDevice& device, Progress* progress) {
    QPainter painter;
    if (!painter.begin(&device))
        return Result::failure(QStringLiteral("Impossibile cominciare la stampa del report «%1».").arg(d->definition.title));
    Private::toLayoutUnits(painter);
    // One pass over the rows from the first page to the last.
    Private::Flow flow(*d, Position{});
    std::optional<Item> carried;
    for (int page = 0; page < pageCount(); ++page) {
        if (!Progress::advance(progress, page, pageCount())) {
            // Nothing reaches the printer; a PDF writer's file is the caller's to discard.
            if (auto* printer = dynamic_cast<QPrinter*>(&device))
                printer->abort();
            painter.end();
            return Result::userCancelled();
        }
        if (page > 0)
            device.newPage();
        d->paintFrom(painter, flow, page, carried);
    }
    std::ignore = Progress::advance(progress, pageCount(), pageCount());
    painter.end();
    if (!flow.error().isEmpty())
        return d->failure(flow.error());
    return Result::success();
}
