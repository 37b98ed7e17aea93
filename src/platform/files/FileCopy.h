#pragma once

#include "platform/Result.h"

#include <QString>

namespace FileCopy {

// Copies source onto destination. The destination is replaced only by a complete
// copy: when the copy cannot be made, it stays exactly as it was and the result
// says why.
Result copy(const QString& source, const QString& destination);

} // namespace FileCopy
