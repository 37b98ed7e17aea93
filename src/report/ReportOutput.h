#pragma once

#include "platform/Progress.h"
#include "platform/Result.h"

#include <QString>

class ReportRenderer;

// Where a laid-out report can go besides the preview and the printer.
namespace ReportOutput {

// Writes the report as a PDF file, whole or not at all; stopped through `progress`, no file.
Result writePdf(ReportRenderer& report, const QString& path, Progress* progress = nullptr);

} // namespace ReportOutput
