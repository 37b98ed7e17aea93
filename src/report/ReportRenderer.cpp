#include "report/ReportRenderer.h"

#include "report/ReportText.h"

#include "platform/Regional.h"
#include "report/TableRows.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextLayout>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <tuple>
#include <unordered_map>

using namespace ReportPage;

namespace {

constexpr double recordLabelShare = 0.3;
constexpr double detailHeadGap = 3 * mm;
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

// The text measuring and drawing (ReportText) with the layout and the rows.
struct ReportRenderer::Private : ReportText {
    ReportDefinition definition;
    std::unique_ptr<ReportRows> rows;
    const Regional& regional;
    QDate printDate;
    std::vector<Page> pages;


    double contentTop = 0;
    double contentBottom = 0;
    double contentWidth = pageWidth - 2 * margin;

    Private(const ReportDefinition& def, std::unique_ptr<ReportRows> source, const Regional& r, const QDate& date)
        : definition(def), rows(std::move(source)), regional(r), printDate(date) {
        double headerHeight = titleMetrics.height() + 1 * mm;
        if (!definition.header.isEmpty())
            headerHeight += textHeight(smallMetrics, definition.header, contentWidth) + 1 * mm;
        contentTop = margin + headerHeight + 3 * mm;
        contentBottom = pageHeight - margin - smallMetrics.height() - 3 * mm;
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
    Result minimumWidths(bool detail, const QList<ReportDefinition::Column>& columns, std::vector<double>& minimum) const {
        minimum.assign(static_cast<std::size_t>(columns.size()), 0.0);
        for (qsizetype i = 0; i < columns.size(); ++i)
            widenForWords(boldMetrics, columns.at(i).caption, minimum[static_cast<std::size_t>(i)]);
        std::vector<qsizetype> longest(minimum.size(), 0);
        const Result read = rows->eachCell(detail, [&](qsizetype column, const QString& text, bool number) {
            if (column < 0 || column >= columns.size())
                return;
            const std::size_t at = static_cast<std::size_t>(column);
            double& width = minimum[at];
            if (!number) {
                widenForWords(bodyMetrics, text, width);
                return;
            }
            // Digits are all as wide: only the longest texts need measuring.
            if (text.size() + 1 < longest[at])
                return;
            longest[at] = std::max(longest[at], text.size());
            // Kept with the other advances: the rows measure and draw the same texts.
            width = std::max(width, measured(bodyMetrics, text, false).width + 2 * padX + 0.5 * mm);
        });
        if (!read)
            return failure(read.message());
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
        Flow(Private& owner, const Position& start) : m_owner(owner), m_at(start), m_rows(owner.rows->read(start.record)) {}

        QString error() const { return m_rows->error(); }

        // The next item and the position that starts with it; false at the end.
        bool next(Item& item, Position& at) {
            if (!m_rows->error().isEmpty())
                return false;
            const ReportDefinition& def = m_owner.definition;
            if (m_needRecord) {
                if (!m_rows->nextRecord(m_record))
                    return false;
                m_needRecord = false;
            }
            at = m_at;
            if (def.layout == ReportDefinition::Layout::List) {
                item = {Item::Row, m_record, 0};
                item.height = m_owner.rowHeight(def.columns, item.values);
                advanceRecord();
                return true;
            }
            switch (m_at.stage) {
            case Position::Card:
                item = {Item::Card, m_record, 0};
                item.height = m_owner.cardHeight(item.values);
                m_at.stage = def.hasDetail ? Position::DetailHead : Position::Gap;
                return true;
            case Position::DetailHead:
                item = {Item::DetailHead, {}, m_owner.detailHeadHeight()};
                m_at.stage = Position::DetailRows;
                m_at.detail = 0;
                return true;
            case Position::DetailRows:
                if (!m_detailOpen) {
                    m_rows->openDetail(m_at.detail);
                    m_detailOpen = true;
                }
                if (QStringList cells; m_rows->nextDetail(cells)) {
                    item = {Item::DetailRow, cells, 0};
                    item.height = m_owner.rowHeight(def.detail.columns, item.values);
                    ++m_at.detail;
                    return true;
                }
                m_detailOpen = false;
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
        void advanceRecord() {
            ++m_at.record;
            m_at.stage = Position::Card;
            m_at.detail = 0;
            m_needRecord = true;
        }

        Private& m_owner;
        Position m_at;
        std::unique_ptr<ReportCursor> m_rows;
        QStringList m_record;
        bool m_needRecord = true;
        bool m_detailOpen = false;
    };

    // Whether a page that starts with this item first repeats the column captions.
    bool pageOpensWithBand(Item::Kind first) const {
        return definition.layout == ReportDefinition::Layout::List || first == Item::DetailRow;
    }

    Result failure(const QString& detail) const {
        return Result::failure(QStringLiteral("Il report «%1» non si può preparare: %2.").arg(definition.title, detail));
    }

    Result layout(Progress* progress) {
        if (const Result ready = rows->prepare(); !ready)
            return failure(ready.message());
        std::vector<double> minimum;
        if (const Result measured = minimumWidths(false, definition.columns, minimum); !measured)
            return measured;
        listWidths = fitted(definition.columns, minimum);
        if (definition.hasDetail) {
            if (const Result measured = minimumWidths(true, definition.detail.columns, minimum); !measured)
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
    : ReportRenderer(definition, std::make_unique<TableRows>(definition, std::move(database), where, parameters, regional),
                     regional, printDate) {}

ReportRenderer::ReportRenderer(const ReportDefinition& definition, std::unique_ptr<ReportRows> rows,
                               const Regional& regional, const QDate& printDate)
    : d(std::make_unique<Private>(definition, std::move(rows), regional, printDate)) {}

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

Result ReportRenderer::paintAll(QPagedPaintDevice& device, Progress* progress, const std::function<void()>& abandon) {
    QPainter painter;
    if (!painter.begin(&device))
        return Result::failure(QStringLiteral("Impossibile cominciare la stampa del report «%1».").arg(d->definition.title));
    Private::toLayoutUnits(painter);
    // One pass over the rows from the first page to the last.
    Private::Flow flow(*d, Position{});
    std::optional<Item> carried;
    for (int page = 0; page < pageCount(); ++page) {
        if (!Progress::advance(progress, page, pageCount())) {
            if (abandon)
                abandon();
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
