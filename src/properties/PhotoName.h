#pragma once

#include <QString>

class QRandomGenerator;

// Names for the copies of pictures in the photo folder: ten characters from
// "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ", a point, and the last three characters of
// the chosen file's path (jpg, peg for .jpeg, iff for .tiff).
namespace PhotoName {

inline const QString alphabet = QStringLiteral("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ");

QString randomName(const QString& chosenPath, QRandomGenerator& random);

// A path in the folder that no file has yet: a name already taken is drawn again.
QString unusedPath(const QString& folder, const QString& chosenPath, QRandomGenerator& random);

} // namespace PhotoName
