#pragma once

#include "platform/Progress.h"
#include "platform/Result.h"
#include "report/ReportDefinition.h"

#include <QDate>
#include <QVariantList>
#include <functional>
#include <memory>

class Database;
class QPagedPaintDevice;
class QPainter;
class Regional;
class ReportRows;

// Lays a report out on A4 pages and paints them: the same code draws the preview,
// the printer's pages and the PDF. Rows are read from their source (ReportRows: the
// database's table, or rows in memory) as each page is drawn, so memory does not grow
// with the number of rows; the layout keeps only where each page starts.
//
// Every page carries the title, the print date and "Pagina N di M"; long texts wrap.
class ReportRenderer {
public:
    ReportRenderer(const ReportDefinition& definition, std::shared_ptr<Database> database, const QString& where,
                   const QVariantList& parameters, const Regional& regional, const QDate& printDate);
    // A report over rows of another source; only the definition's layout and texts count.
    ReportRenderer(const ReportDefinition& definition, std::unique_ptr<ReportRows> rows, const Regional& regional,
                   const QDate& printDate);
    ~ReportRenderer();
    ReportRenderer(const ReportRenderer&) = delete;
    ReportRenderer& operator=(const ReportRenderer&) = delete;

    // Finds the page breaks; must succeed before anything is painted. Progress counts the
    // pages found so far; stopped, the report has no pages.
    Result layout(Progress* progress = nullptr);
    int pageCount() const;

    // One page (counted from 0) on a painter whose device is a whole A4 page.
    Result paintPage(QPainter& painter, int page);
    // Every page onto a printer or PDF writer set to A4 with no margins. Stopped through
    // `progress`, `abandon` is called before the painting ends (a printer's job is aborted
    // there); the caller throws a PDF away.
    Result paintAll(QPagedPaintDevice& device, Progress* progress = nullptr, const std::function<void()>& abandon = {});

    const ReportDefinition& definition() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
