#include "data/store/RecordSource.h"

#include "data/store/Database.h"
#include "data/store/KeySearch.h"
#include "data/store/RecordSourceDetail.h"

// RecordSource: search as the user types: a KeySearch run in slices between the events, its result shown.

using namespace RecordSourceDetail;

void RecordSource::setSearchSlices(std::chrono::nanoseconds first, std::chrono::nanoseconds later) {
    m_firstSlice = first;
    m_laterSlice = later;
}

const Query::Condition* RecordSource::searchCondition() const {
    if (m_query.conditions().size() != 1)
        return nullptr;
    const Query::Condition& condition = m_query.conditions().first();
    return condition.kind == Query::Condition::Like ? &condition : nullptr;
}

std::unique_ptr<KeySearch> RecordSource::makeSearch(Direction direction, std::optional<qint64> from, int limit) const {
    const Query::Condition* condition = searchCondition();
    return std::make_unique<KeySearch>(*m_database, m_table, condition->field, condition->first.toString(),
                                       direction == Direction::Forward ? KeySearch::Direction::Forward
                                                                       : KeySearch::Direction::Backward,
                                       from, limit);
}

void RecordSource::dropSearch() {
    if (!m_search)
        return;
    m_search.reset();
    m_searchTimer.stop();
    m_query = m_shownQuery;
}

Result RecordSource::finishSearch() {
    if (!m_search)
        return Result::success();
    if (const Result ran = m_search->run(std::chrono::nanoseconds(-1)); !ran) {
        dropSearch();
        return searchError(ran);
    }
    return showSearchResult();
}

Result RecordSource::showSearchResult() {
    const QList<qint64> keys = m_search->keys();
    m_search.reset();
    m_searchTimer.stop();
    m_shownQuery = m_query;
    m_added.clear();
    m_rows.clear();
    replaceWindow(keys, true, keys.size() < pageSize);
    return setCurrent(rowCount() > 0 ? 0 : -1);
}

void RecordSource::continueSearch() {
    if (!m_search)
        return;
    if (const Result ran = m_search->run(m_laterSlice); !ran) {
        dropSearch();
        emit searchFailed(searchError(ran).message());
        return;
    }
    if (m_search->isDone())
        (void)showSearchResult();
    else
        m_searchTimer.start();
}

Result RecordSource::searchError(const Result& ran) const {
    return Result::failure(QStringLiteral("Il database ha rifiutato la ricerca: %1.").arg(ran.message()));
}
