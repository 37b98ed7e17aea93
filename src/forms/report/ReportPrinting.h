#pragma once

#include "platform/Result.h"

struct Context;
class ReportRenderer;

// A laid-out report on the default printer, or in a PDF file the user chooses.
namespace ReportPrinting {

// Prints the report on the default printer. With no printer configured it says so and
// offers to save a PDF instead; cancelling that is not a failure. A long report shows its
// progress and may be stopped.
Result print(ReportRenderer& report, const Context& context);

// Asks where to save the report as a PDF and writes it there, showing the progress; cancelling
// is not a failure.
Result savePdfAs(ReportRenderer& report, const Context& context);

} // namespace ReportPrinting
