#include "report/ReportOutput.h"

#include "report/PdfFile.h"
#include "report/ReportRenderer.h"

namespace ReportOutput {

Result writePdf(ReportRenderer& report, const QString& path, Progress* progress) {
    return PdfFile::write(path, report.definition().title,
                          [&report, progress](QPagedPaintDevice& device) { return report.paintAll(device, progress); });
}

} // namespace ReportOutput
