#pragma once

#include "platform/Result.h"

#include <QString>
#include <functional>

class QPagedPaintDevice;

// Printed pages written as a PDF file. The caller paints the pages onto the device it is
// given, an A4 page with no margins.
namespace PdfFile {

using Painter = std::function<Result(QPagedPaintDevice&)>;

// Writes the pages as a PDF file, whole or not at all: a painter that stops (a cancelled
// result) leaves no file.
Result write(const QString& path, const QString& title, const Painter& paint);

} // namespace PdfFile
