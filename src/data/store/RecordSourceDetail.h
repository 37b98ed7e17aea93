#pragma once

#include <QString>

// What the pieces of RecordSource share: the sizes it reads in, and quoting.
namespace RecordSourceDetail {

constexpr int pageSize = 128;     // keys loaded at a time
constexpr int rowBlock = 64;      // rows read at a time for showing
constexpr int rowCacheLimit = 4096;

inline QString quoted(const QString& identifier) {
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

} // namespace RecordSourceDetail
