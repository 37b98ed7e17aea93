#pragma once

#include <QString>

// The resources built into the program (drawings, report files).
namespace Resources {

// Makes them available; any number of calls.
void initialise();

// The program's own background picture.
inline const QString defaultBackground = QStringLiteral(":/images/sfondo.svg");

} // namespace Resources
