#pragma once

#include <QSaveFile>
#include <QString>
#include <optional>

namespace AtomicWrite {

// Puts a save file in place if every write went through (`allWritten`). QSaveFile alone
// can commit a truncated file when the disk fills (a short write, or a failed final
// flush), so both are checked first. On failure the old file stays untouched and the
// answer is the reason, as a plain Italian phrase.
std::optional<QString> commit(QSaveFile& file, bool allWritten);

} // namespace AtomicWrite
