#pragma once

#include "platform/Result.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// One pass over a report's rows from a given record on, as the texts it prints.
class ReportCursor {
public:
    virtual ~ReportCursor() = default;
    // The cells of the next record, one per column of the report; false after the last
    // record or on a failure (error()).
    virtual bool nextRecord(QStringList& cells) = 0;
    // The detail rows of the record read last, from its `first` on (a record's detail can
    // go on over a page), then each of them in turn; false after the last.
    virtual void openDetail(int first) = 0;
    virtual bool nextDetail(QStringList& cells) = 0;
    // Why the reading stopped before the end, as a phrase; empty when it did not.
    virtual QString error() const = 0;
};

// Where a report's rows come from: a table of the database through a selection formula
// (TableRows), or rows the program already holds (MemoryRows), such as a window's list,
// which then prints exactly as it is shown.
class ReportRows {
public:
    using Cell = std::function<void(qsizetype column, const QString& text, bool number)>;

    virtual ~ReportRows() = default;
    // Made ready once, before anything is read.
    virtual Result prepare() { return Result::success(); }
    // Every cell of the selection once, for the widths of the columns: its column, its text
    // as printed, and whether it is a number, which never breaks over two lines. `detail`:
    // the cells of the detail rows instead. A failure is a phrase.
    virtual Result eachCell(bool detail, const Cell& cell) = 0;
    // Reads from the record `first` on (counted from 0).
    virtual std::unique_ptr<ReportCursor> read(int first) = 0;
};

// Rows held in memory, every cell a text; no detail rows.
class MemoryRows : public ReportRows {
public:
    explicit MemoryRows(std::vector<QStringList> rows) : m_rows(std::move(rows)) {}

    Result eachCell(bool detail, const Cell& cell) override;
    std::unique_ptr<ReportCursor> read(int first) override;

private:
    std::vector<QStringList> m_rows;
};
