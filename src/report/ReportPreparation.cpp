#include "report/ReportPreparation.h"

#include "data/store/Database.h"
#include "report/Formula.h"
#include "report/ReportRenderer.h"

namespace ReportPreparation {

Result prepare(const QString& reportPath, const QString& formulaText, const QString& databasePath,
               const Regional& regional, const QDate& printDate, std::unique_ptr<ReportRenderer>& report,
               Progress* progress) {
    report.reset();
    ReportDefinition definition;
    if (const Result loaded = ReportDefinition::load(reportPath, definition); !loaded)
        return loaded;

    // A formula that does not parse is told before the database is even opened.
    const Formula formula = Formula::parse(formulaText, regional);
    if (!formula.isValid())
        return Result::failure(formula.error());
    std::shared_ptr<Database> database;
    if (const Result opened = Database::open(databasePath, database); !opened)
        return opened;
    QString where;
    QVariantList parameters;
    if (const Result compiled = formula.toSql(definition.table, where, parameters, database->engine()); !compiled)
        return compiled;

    auto laidOut = std::make_unique<ReportRenderer>(definition, database, where, parameters, regional, printDate);
    if (const Result done = laidOut->layout(progress); !done)
        return done;
    report = std::move(laidOut);
    return Result::success();
}

} // namespace ReportPreparation
