#pragma once

#include "Result.h"

#include <QString>

// The ready-to-use start: a program folder with neither daba.ini nor daba.mdb gets
// both (an empty database with the six tables), the four report files, the photo
// folder foto/ beside it and sfondo.ini naming the default background picture.
// A folder that has either is left exactly as it is.
namespace ReadyDefault {

// Answers whether anything was made in `made`.
Result prepare(const QString& programFolder, bool* made = nullptr);

} // namespace ReadyDefault
