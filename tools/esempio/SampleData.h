#pragma once

#include "Progress.h"
#include "Result.h"

#include <QDate>
#include <QString>
#include <cstdint>

// Realistic office data for trying the program and for benchmarks: properties in
// Bologna with their owners, client requests (some of which fit the properties),
// visits, leads, appointments around a given day, and photos drawn as pictures.
// The same seed always gives the same data.
struct SampleSize {
    int properties = 200;
    int requests = 100;
    int visits = 150;
    int leads = 60;
    int appointments = 80;
    int photos = 40;
};

namespace SampleData {

// Fills the database at `databasePath` (made with the six tables if missing); photos
// go into the folder "foto" beside it. Rows are added to what is there already, all at once:
// stopped through `progress` (which counts the rows), the database stays as it was.
Result fill(const QString& databasePath, const SampleSize& size, std::uint64_t seed, const QDate& today,
            Progress* progress = nullptr);

} // namespace SampleData
