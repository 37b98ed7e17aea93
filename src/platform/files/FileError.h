#pragma once

#include <QFileDevice>
#include <QString>

// What went wrong with a file, in the office's words.
namespace FileError {

// One plain Italian phrase for a file error, to finish a sentence of the caller's.
QString describe(QFileDevice::FileError error);

// The same for a file that failed, saying what really failed where the error code alone
// is vague: a folder or a write-protected file in the way, a missing or protected folder,
// a full disk. For a QSaveFile it looks at the file being replaced.
QString describe(const QFileDevice& file);

} // namespace FileError
