#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace Picture {

// The largest picture kept by default, on its longer side: more than a screen or the
// photo of a printed sheet needs, and a fraction of a phone's 48-megapixel photo.
inline constexpr int defaultLongerSide = 2048;

// A picture read from a file, or why there is none.
struct Loaded {
    QImage image;
    QString problem; // one Italian sentence when the path names a picture that cannot be shown
    QString reason;  // the same without the path, for a small space ("il file non esiste")
};

// Reads a JPEG, BMP or PNG picture from an ordinary file. A picture larger than `fitWithin`
// is decoded straight at a size that fits it (keeping its proportions), so a large photo
// never needs its full size in memory. An empty path gives no picture and no problem.
Loaded read(const QString& path, const QSize& fitWithin = QSize(defaultLongerSide, defaultLongerSide));

// The same, for callers that only keep the picture: a null image when there is none.
QImage load(const QString& path, const QSize& fitWithin = QSize(defaultLongerSide, defaultLongerSide));

} // namespace Picture
