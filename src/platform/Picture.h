#pragma once

#include <QImage>
#include <QString>

namespace Picture {

// Loads a JPEG, BMP or PNG picture; a null image when the path is empty, missing
// or not a picture.
QImage load(const QString& path);

} // namespace Picture
