#include "data/store/RecordSource.h"

#include "data/store/Database.h"
#include "data/store/RecordSourceDetail.h"

#include <QSqlQuery>

// RecordSource: pages of keys anywhere in the result, for a grid over all of it.

using namespace RecordSourceDetail;

Result RecordSource::resultKeys(bool forward, std::optional<qint64> from, int limit, QList<qint64>& keys) const {
    keys.clear();
    // While a search runs its query is not yet the one whose rows are shown.
    if (m_search)
        return Result::failure(QStringLiteral("La ricerca è ancora in corso."));
    return fetchKeys(forward ? Direction::Forward : Direction::Backward, from, limit, keys);
}

std::optional<qint64> RecordSource::highestKey() const {
    if (!isOpen())
        return std::nullopt;
    m_database->comeBack();
    // The key's own index answers at once, on either engine.
    QSqlQuery query(m_database->connection());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT max(%1) FROM %2").arg(m_database->keyColumn(m_table), quoted(m_table))) ||
        !query.next() || query.value(0).isNull())
        return std::nullopt;
    return query.value(0).toLongLong();
}
