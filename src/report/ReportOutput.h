#pragma once

#include "platform/Progress.h"
#include "platform/Result.h"

#include <QString>

struct Context;
class ReportRenderer;

// Where a laid-out report can go besides the preview.
namespace ReportOutput {

// Writes the report as a PDF file, whole or not at all; stopped through `progress`, no file.
Result writePdf(ReportRenderer& report, const QString& path, Progress* progress = nullptr);

// Prints the report on the default printer. With no printer configured it says so and
// offers to save a PDF instead; cancelling that is not a failure. A long report shows its
// progress and may be stopped.
Result print(ReportRenderer& report, const Context& context);

// Asks where to save the report as a PDF and writes it there, showing the progress; cancelling
// is not a failure.
Result savePdfAs(ReportRenderer& report, const Context& context);

} // namespace ReportOutput
