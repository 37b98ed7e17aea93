#pragma once

#include "report/ReportDefinition.h"
#include "report/ReportRows.h"

#include <QVariantList>
#include <memory>

class Database;
class Regional;

// A report's rows read from its table in the database: those the selection (a condition
// with its parameters) picks, in the report's sort order, the engine's own order after
// it; for a report of records, each record's detail rows too. Rows are read as they are
// printed, so memory does not grow with their number. Numbers and dates are printed as
// the fields show them, amounts of a currency column as money.
class TableRows : public ReportRows {
public:
    TableRows(const ReportDefinition& definition, std::shared_ptr<Database> database, const QString& where,
              const QVariantList& parameters, const Regional& regional);
    ~TableRows() override;

    Result prepare() override;
    Result eachCell(bool detail, const Cell& cell) override;
    std::unique_ptr<ReportCursor> read(int first) override;

    struct Private;

private:
    std::unique_ptr<Private> d;
};
