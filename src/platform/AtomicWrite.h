#pragma once

#include <QSaveFile>
#include <QString>
#include <optional>

namespace AtomicWrite {

// Puts a fully written save file in place. QSaveFile alone can commit a truncated file
// when the disk fills during the final flush, so the flush is checked first. On failure
// the old file stays untouched and the answer is the reason, as a plain Italian phrase.
std::optional<QString> commit(QSaveFile& file);

} // namespace AtomicWrite
