#pragma once

#include "platform/Result.h"

#include <QFileDevice>
#include <QString>

namespace FileCopy {

// Copies source onto destination. The destination is replaced only by a complete
// copy: when the copy cannot be made, it stays exactly as it was and the result
// says why.
Result copy(const QString& source, const QString& destination);

// One plain Italian phrase for a file error, to finish a sentence of the caller's.
QString describe(QFileDevice::FileError error);

// The same for a file that failed, saying what really failed where the error code alone
// is vague: a folder or a write-protected file in the way, a missing or protected folder,
// a full disk. For a QSaveFile it looks at the file being replaced.
QString describe(const QFileDevice& file);

} // namespace FileCopy
