// The report-file reader: any bytes are either refused with a message naming the file,
// or give a report that can be laid out: a title, a known table, columns of known
// fields with finite positive widths whose sum is finite too.

#include "FuzzCheck.h"
#include "data/vocabulary/Schema.h"
#include "report/ReportDefinition.h"

#include <cmath>

namespace {

void checkColumns(const QList<ReportDefinition::Column>& columns, const QString& table, const QString& json) {
    FUZZ_CHECK(!columns.isEmpty(), json);
    double total = 0;
    for (const ReportDefinition::Column& column : columns) {
        FUZZ_CHECK(Schema::field(table, column.field) != nullptr, json);
        FUZZ_CHECK(std::isfinite(column.width) && column.width > 0, json + QStringLiteral("\nwidth %1").arg(column.width));
        total += column.width;
    }
    FUZZ_CHECK(std::isfinite(total), json + QStringLiteral("\nthe widths add up to %1").arg(total));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const QByteArray bytes = Fuzz::bytes(data, size);
    const QString json = QString::fromUtf8(bytes.left(2000));
    ReportDefinition definition;
    const Result read = ReportDefinition::parse(bytes, QStringLiteral("prova.rpt"), definition);
    if (!read) {
        FUZZ_CHECK(read.message().contains(QStringLiteral("prova.rpt")), read.message());
        return 0;
    }
    FUZZ_CHECK(!definition.title.isEmpty(), json + QStringLiteral("\naccepted without a title"));
    FUZZ_CHECK(Schema::table(definition.table) != nullptr, json);
    checkColumns(definition.columns, definition.table, json);
    if (definition.hasDetail) {
        FUZZ_CHECK(Schema::table(definition.detail.table) != nullptr, json);
        checkColumns(definition.detail.columns, definition.detail.table, json);
    }
    return 0;
}
