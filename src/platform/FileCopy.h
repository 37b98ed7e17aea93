#pragma once

#include "Result.h"

#include <QFileDevice>
#include <QString>

namespace FileCopy {

// Copies source onto destination. The destination is replaced only by a complete
// copy: when the copy cannot be made, it stays exactly as it was and the result
// says why.
Result copy(const QString& source, const QString& destination);

// One plain Italian phrase for a file error, to finish a sentence of the caller's.
QString describe(QFileDevice::FileError error);

} // namespace FileCopy
