#pragma once

#include "platform/Result.h"
#include "report/PdfFile.h"

#include <QString>

struct Context;

// Printed pages: to the default printer, or to a PDF file the user chooses. The caller
// paints the pages onto whichever device it is given, an A4 page with no margins.
namespace PageOutput {

using Painter = PdfFile::Painter;

// Prints on the default printer. With no printer configured it says so and offers to
// save a PDF instead; cancelling that, or the printing, is not a failure.
Result print(const Context& context, const QString& title, const Painter& paint);

// Asks where to save a PDF and writes it there; cancelling (the question or the writing)
// is not a failure.
Result savePdfAs(const Context& context, const QString& title, const Painter& paint);

} // namespace PageOutput
