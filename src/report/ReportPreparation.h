#pragma once

#include "platform/Progress.h"
#include "platform/Regional.h"
#include "platform/Result.h"

#include <QDate>
#include <QString>
#include <memory>

class ReportRenderer;

// All that comes before a report's output, with no window: the report file read, the
// selection formula parsed and the report laid out over the database.
namespace ReportPreparation {

// Reads a report file and lays the report out for a formula over a database. Stopped
// through `progress`, there is no report.
Result prepare(const QString& reportPath, const QString& formula, const QString& databasePath, const Regional& regional,
               const QDate& printDate, std::unique_ptr<ReportRenderer>& report, Progress* progress = nullptr);

} // namespace ReportPreparation
