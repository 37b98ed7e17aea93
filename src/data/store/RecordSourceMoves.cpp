#include "data/store/RecordSource.h"

#include "data/store/RecordSourceDetail.h"

// RecordSource: moves of the current record.

using namespace RecordSourceDetail;

// What every move does first: the search under way ends, and the record being left is saved.
Result RecordSource::readyToMove() {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (!isOpen())
        return notOpen();
    return leaveRecord();
}

Result RecordSource::moveFirst() {
    if (const Result ready = readyToMove(); !ready)
        return ready;
    if (!m_headLoaded)
        if (const Result loaded = loadHead(); !loaded)
            return loaded;
    return setCurrent(rowCount() > 0 ? 0 : -1);
}

Result RecordSource::moveLast() {
    if (const Result ready = readyToMove(); !ready)
        return ready;
    lookPastTheEnd();
    if (!m_tailLoaded)
        if (const Result loaded = loadTail(); !loaded)
            return loaded;
    return setCurrent(rowCount() - 1);
}

Result RecordSource::moveNext() {
    if (const Result ready = readyToMove(); !ready)
        return ready;
    const int target = m_current >= 0 ? m_current + 1 : m_next;
    if (target >= rowCount())
        lookPastTheEnd();
    while (target >= rowCount() && canFetchMore()) {
        const int before = rowCount();
        fetchMore();
        if (rowCount() == before)
            break;
    }
    return setCurrent(target < rowCount() ? target : rowCount());
}

Result RecordSource::movePrevious() {
    if (const Result ready = readyToMove(); !ready)
        return ready;
    int target = m_current >= 0 ? m_current - 1 : m_next - 1;
    if (target < 0 && canFetchPrevious()) {
        const int before = rowCount();
        fetchPrevious();
        target += rowCount() - before;
    }
    // Before the first row there is no current record.
    return setCurrent(target >= 0 ? target : -1);
}

Result RecordSource::stepNext() {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    const int last = rowCount() - 1;
    if (m_current >= 0 && m_current == last && isOpen())
        lookPastTheEnd();
    if (m_current >= 0 && m_current == last && !canFetchMore())
        return leaveRecord();
    return moveNext();
}

Result RecordSource::stepPrevious() {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (m_current == 0 && !canFetchPrevious())
        return leaveRecord();
    return movePrevious();
}

Result RecordSource::moveToRow(int row) {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (!isOpen())
        return notOpen();
    if (row == m_current && !m_adding)
        return Result::success();
    if (const Result left = leaveRecord(); !left)
        return left;
    return setCurrent(row);
}

Result RecordSource::moveToKey(qint64 key) {
    if (const Result ready = readyToMove(); !ready)
        return ready;
    qsizetype row = m_keys.indexOf(key);
    if (row < 0) {
        QList<qint64> before;
        QList<qint64> from;
        if (const Result fetched = fetchKeys(Direction::Backward, key, pageSize, before); !fetched)
            return fetched;
        if (const Result fetched = fetchKeys(Direction::Forward, key - 1, pageSize, from); !fetched)
            return fetched;
        if (from.isEmpty() || from.first() != key)
            return moveLast();
        replaceWindow(before + from, before.size() < pageSize, from.size() < pageSize, true);
        row = before.size();
    }
    return setCurrent(static_cast<int>(row));
}
