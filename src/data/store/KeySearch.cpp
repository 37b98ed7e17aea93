#include "data/store/KeySearch.h"

#include "data/store/Database.h"

KeySearch::KeySearch(Database& database, const QString& table, const QString& field, const QString& pattern,
                     Direction direction, std::optional<qint64> from, int limit)
    : m_scan(database.backend().keySearch(table.toLower(), field.toLower(), pattern, direction, from, limit)) {}

KeySearch::~KeySearch() = default;
