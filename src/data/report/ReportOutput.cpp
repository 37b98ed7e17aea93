#include "ReportOutput.h"

#include "PageOutput.h"
#include "ReportRenderer.h"

namespace ReportOutput {

namespace {

PageOutput::Painter pages(ReportRenderer& report) {
    return [&report](QPagedPaintDevice& device) { return report.paintAll(device); };
}

} // namespace

Result writePdf(ReportRenderer& report, const QString& path) {
    return PageOutput::writePdf(path, report.definition().title, pages(report));
}

Result print(ReportRenderer& report, const Context& context) {
    return PageOutput::print(context, report.definition().title, pages(report));
}

Result savePdfAs(ReportRenderer& report, const Context& context) {
    return PageOutput::savePdfAs(context, report.definition().title, pages(report));
}

} // namespace ReportOutput
