#pragma once

#include "platform/Progress.h"
#include "platform/Result.h"

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

// Fills the database daba.ini would name `databasePath` (a file, made with the six tables
// if missing, or a PostgreSQL database, given them if empty); the drawn photos go into
// `photoFolder`. Rows are added to what is there already, all at once: stopped through
// `progress` (which counts the rows), the database stays as it was.
Result fill(const QString& databasePath, const QString& photoFolder, const SampleSize& size, std::uint64_t seed,
            const QDate& today, Progress* progress = nullptr);

// The same into a database file, with its photos in "foto" beside it.
Result fill(const QString& databasePath, const SampleSize& size, std::uint64_t seed, const QDate& today,
            Progress* progress = nullptr);

// The photo folder of a database: "foto" beside a file, or in the program folder for a
// database on a server.
QString photoFolder(const QString& databasePath, const QString& programFolder);

} // namespace SampleData
