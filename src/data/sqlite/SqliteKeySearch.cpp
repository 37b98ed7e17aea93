#include "data/sqlite/SqliteKeySearch.h"

#include "data/sqlite/EngineError.h"
#include "data/sqlite/search/ColumnCache.h"
#include "data/sqlite/search/SearchIndex.h"
#include "data/vocabulary/LiteralRuns.h"
#include "data/vocabulary/Schema.h"

#include <algorithm>
#include <ctime>
#include <limits>
#include <sqlite3.h>

namespace {

constexpr qint64 lowest = std::numeric_limits<qint64>::min();
constexpr qint64 highest = std::numeric_limits<qint64>::max();
constexpr qint64 narrowest = 512; // a range of keys this narrow is always searched to its end

qint64 processorNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<qint64>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

int interrupt(void* outOfTime) {
    return (*static_cast<const std::function<bool()>*>(outOfTime))() ? 1 : 0;
}

qint64 single(sqlite3* db, const QByteArray& sql, bool& isNull) {
    sqlite3_stmt* statement = nullptr;
    qint64 value = 0;
    isNull = true;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_type(statement, 0) != SQLITE_NULL) {
        value = sqlite3_column_int64(statement, 0);
        isNull = false;
    }
    sqlite3_finalize(statement);
    return value;
}

} // namespace

SqliteKeySearch::SqliteKeySearch(sqlite3* db, SearchIndex* index, ColumnCache* columns, const QString& table,
                                 const QString& field, const QString& pattern, Direction direction,
                                 std::optional<qint64> from, int limit)
    : m_db(db), m_index(index), m_columns(columns), m_table(table), m_field(field), m_pattern(pattern),
      m_like(pattern), m_direction(direction), m_limit(limit) {
    // The keys there are now; rows added later are not looked for.
    bool empty = false;
    const QByteArray quotedTable = QStringLiteral("\"%1\"").arg(m_table).toUtf8();
    qint64 low = single(db, "SELECT min(rowid) FROM " + quotedTable, empty);
    if (empty || limit <= 0) {
        m_done = true;
        return;
    }
    qint64 high = single(db, "SELECT max(rowid) FROM " + quotedTable, empty);
    if (from) {
        if (direction == Direction::Forward)
            low = std::max(low, *from == highest ? highest : *from + 1);
        else
            high = std::min(high, *from == lowest ? lowest : *from - 1);
        if ((direction == Direction::Forward && *from == highest) ||
            (direction == Direction::Backward && *from == lowest))
            high = low - 1;
    }
    if (low > high) {
        m_done = true;
        return;
    }

    // What a row must hold, for the scan in memory.
    const std::vector<std::u32string> runs = LiteralRuns::of(pattern);
    for (const std::u32string& run : runs)
        if (run.size() > 0 && LiteralRuns::utf8(run).size() > m_needle.piece.size())
            m_needle.piece = LiteralRuns::utf8(run);
    for (const std::u32string& run : runs)
        if (const std::string other = LiteralRuns::utf8(run); other != m_needle.piece)
            m_needle.others.push_back(other);
    m_needle.pattern = &m_like;
    m_needle.exact = LiteralRuns::onlyContains(pattern) && runs.size() <= 1 && pattern.startsWith(QLatin1Char('*')) &&
                     pattern.endsWith(QLatin1Char('*'));

    std::optional<qint64> covered;
    if (Schema::isSearchField(m_table, m_field) && m_index) {
        m_match = SearchIndex::matchText(pattern);
        if (!m_match.isEmpty())
            covered = m_index->coveredUpTo(m_table);
    }
    // The column in memory is asked for (and so made, when it is not) only where the
    // index cannot serve: it costs memory. A field too large for it has its block map.
    Method rest = Method::Table;
    qint64 mapped = lowest; // the block map covers keys up to this
    if (!(covered && *covered >= high) && m_columns) {
        if (m_columns->column(m_table, m_field)) {
            rest = Method::Memory;
        } else if (const BlockMap* map = m_columns->blocks(m_table, m_field)) {
            mapped = map->coveredUpTo();
            m_filter = BlockMap::filterFor(m_like);
        }
    }

    // In key order: the rows the index covers, then the rest.
    std::vector<Segment> ascending;
    qint64 restLow = low;
    if (covered && *covered >= low) {
        ascending.push_back({Method::Index, low, std::min(high, *covered)});
        restLow = *covered < high ? *covered + 1 : highest;
    }
    if (covered && *covered >= high) {
        // the index covers every row
    } else if (rest == Method::Table && mapped >= restLow) {
        ascending.push_back({Method::Blocks, restLow, std::min(high, mapped)});
        if (mapped < high)
            ascending.push_back({Method::Table, mapped + 1, high});
    } else {
        ascending.push_back({rest, restLow, high});
    }
    m_segments = ascending;
    if (direction == Direction::Backward)
        std::reverse(m_segments.begin(), m_segments.end());
}

QList<qint64> SqliteKeySearch::keys() const {
    QList<qint64> keys = m_found;
    if (m_direction == Direction::Backward)
        std::reverse(keys.begin(), keys.end());
    return keys;
}

QList<SqliteKeySearch::Method> SqliteKeySearch::methods() const {
    QList<Method> methods;
    for (const Segment& segment : m_segments)
        methods << segment.method;
    return methods;
}

Result SqliteKeySearch::run(std::chrono::nanoseconds budget) {
    const qint64 deadline = budget.count() < 0 ? highest : processorNs() + budget.count();
    const std::function<bool()> outOfTime = [deadline] { return deadline != highest && processorNs() > deadline; };
    while (!m_done) {
        if (m_segment >= m_segments.size() || filled()) {
            m_done = true;
            break;
        }
        Segment& segment = m_segments[m_segment];
        bool stopped = false;
        if (segment.method == Method::Memory) {
            // The column may have been dropped or gone stale since the search began.
            if (!m_columns || !m_columns->column(m_table, m_field))
                segment.method = Method::Table;
        }
        if (segment.method == Method::Blocks && !blocksFor(segment))
            segment.method = Method::Table;
        if (segment.method == Method::Memory) {
            runMemory(segment, outOfTime, stopped);
        } else if (const Result ran = segment.method == Method::Blocks ? runBlocks(segment, outOfTime, stopped)
                                                                       : runSql(segment, outOfTime, stopped);
                   !ran) {
            m_done = true;
            return ran;
        }
        if (stopped)
            return Result::success();
        if (outOfTime() && !m_done && !(m_segment >= m_segments.size() || filled()))
            return Result::success();
    }
    return Result::success();
}

void SqliteKeySearch::runMemory(Segment& segment, const std::function<bool()>& outOfTime, bool& stopped) {
    TextColumn* column = m_columns->column(m_table, m_field);
    TextColumn::Scan scan;
    if (m_direction == Direction::Forward) {
        qint64 after = segment.low == lowest ? lowest : segment.low - 1;
        scan = column->scanForward(m_needle, after, segment.high, m_limit, m_found, outOfTime);
        segment.low = after == highest ? highest : after + 1;
    } else {
        qint64 before = segment.high == highest ? highest : segment.high + 1;
        scan = column->scanBackward(m_needle, before, segment.low, m_limit, m_found, outOfTime);
        segment.high = before == lowest ? lowest : before - 1;
    }
    if (scan == TextColumn::Scan::Ended)
        ++m_segment;
    else if (scan == TextColumn::Scan::Filled)
        m_done = true;
    else
        stopped = true;
}

BlockMap* SqliteKeySearch::blocksFor(const Segment& segment) const {
    BlockMap* map = m_columns ? m_columns->blocks(m_table, m_field) : nullptr;
    return map && map->coveredUpTo() >= segment.high ? map : nullptr;
}

Result SqliteKeySearch::runBlocks(Segment& segment, const std::function<bool()>& outOfTime, bool& stopped) {
    constexpr std::size_t maxRun = 8; // blocks read by one statement at most, so time is looked at often
    const BlockMap& map = *blocksFor(segment);
    sqlite3* db = m_db;
    const bool forward = m_direction == Direction::Forward;
    const QByteArray sql =
        QStringLiteral("SELECT rowid FROM \"%1\" WHERE rowid >= ?1 AND rowid <= ?2 AND vlike(\"%2\", ?3) ORDER BY rowid %3 "
                       "LIMIT ?4")
            .arg(m_table, m_field, forward ? QString() : QStringLiteral("DESC"))
            .toUtf8();
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &statement, nullptr) != SQLITE_OK)
        return Result::failure(EngineError::describe(sqlite3_extended_errcode(db)));
    const QByteArray pattern = m_pattern.toUtf8();
    const std::size_t count = map.blockCount();
    const auto candidate = [&](std::size_t block) { return map.mayHold(block, m_filter); };

    Result result = Result::success();
    while (true) {
        // The next blocks that may hold a match, from the near end of the segment: a
        // block that cannot is passed over without reading a row of it.
        qint64 from = 0, to = 0;
        bool any = false;
        if (count > 0 && forward) {
            std::size_t first = map.blockOf(segment.low);
            while (first < count && map.low(first) <= segment.high && !candidate(first))
                ++first;
            if (first < count && map.low(first) <= segment.high) {
                std::size_t last = first;
                while (last + 1 < count && last + 1 - first < maxRun && map.low(last + 1) <= segment.high &&
                       candidate(last + 1))
                    ++last;
                from = std::max(segment.low, map.low(first));
                to = std::min(segment.high, map.high(last));
                any = true;
            }
        } else if (count > 0) {
            std::size_t last = map.blockOf(segment.high);
            bool found = false;
            while (map.high(last) >= segment.low) {
                if (candidate(last)) {
                    found = true;
                    break;
                }
                if (last == 0)
                    break;
                --last;
            }
            if (found) {
                std::size_t first = last;
                while (first > 0 && last - (first - 1) < maxRun && map.high(first - 1) >= segment.low &&
                       candidate(first - 1))
                    --first;
                from = std::max(segment.low, map.low(first));
                to = std::min(segment.high, map.high(last));
                any = true;
            }
        }
        if (!any) {
            ++m_segment;
            break;
        }
        sqlite3_bind_int64(statement, 1, from);
        sqlite3_bind_int64(statement, 2, to);
        sqlite3_bind_text(statement, 3, pattern.constData(), static_cast<int>(pattern.size()), SQLITE_STATIC);
        sqlite3_bind_int(statement, 4, static_cast<int>(m_limit - m_found.size()));
        int status;
        while ((status = sqlite3_step(statement)) == SQLITE_ROW)
            m_found.append(sqlite3_column_int64(statement, 0));
        sqlite3_reset(statement);
        if (status != SQLITE_DONE) {
            result = Result::failure(EngineError::describe(sqlite3_extended_errcode(db)));
            break;
        }
        if (filled()) {
            m_done = true;
            break;
        }
        if (forward ? to >= segment.high : from <= segment.low) {
            ++m_segment;
            break;
        }
        if (forward)
            segment.low = to + 1;
        else
            segment.high = from - 1;
        if (outOfTime()) {
            stopped = true;
            break;
        }
    }
    sqlite3_finalize(statement);
    return result;
}

Result SqliteKeySearch::runSql(Segment& segment, const std::function<bool()>& outOfTime, bool& stopped) {
    sqlite3* db = m_db;
    const bool forward = m_direction == Direction::Forward;
    const QString order =
        forward ? QStringLiteral("ORDER BY %1 LIMIT ?4") : QStringLiteral("ORDER BY %1 DESC LIMIT ?4");
    QString sql;
    if (segment.method == Method::Index) {
        sql = QStringLiteral("SELECT f.rowid FROM \"%1\"(?5) AS f CROSS JOIN \"%2\" AS t ON t.rowid = f.rowid "
                             "WHERE f.rowid >= ?1 AND f.rowid <= ?2 AND vlike(t.\"%3\", ?3) ")
                  .arg(SearchIndex::ftsTable(m_table, m_field), m_table, m_field) +
              order.arg(QStringLiteral("f.rowid"));
    } else {
        sql = QStringLiteral("SELECT rowid FROM \"%1\" WHERE rowid >= ?1 AND rowid <= ?2 AND vlike(\"%2\", ?3) ")
                  .arg(m_table, m_field) +
              order.arg(QStringLiteral("rowid"));
    }
    sqlite3_stmt* statement = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &statement, nullptr) != SQLITE_OK)
        return Result::failure(EngineError::describe(sqlite3_extended_errcode(db)));
    const QByteArray pattern = m_pattern.toUtf8();
    const QByteArray match = m_match.toUtf8();

    Result result = Result::success();
    while (!filled()) {
        // The part of the range this statement covers: all that is left, unless an earlier
        // statement ran out of time, then narrower, widening again as they finish in time.
        qint64 low = segment.low, high = segment.high;
        const bool wide =
            m_width == 0 || static_cast<quint64>(high) - static_cast<quint64>(low) < static_cast<quint64>(m_width);
        if (!wide) {
            if (forward)
                high = low + m_width - 1;
            else
                low = high - m_width + 1;
        }
        const bool interruptible = !(m_width != 0 && m_width <= narrowest);
        sqlite3_bind_int64(statement, 1, low);
        sqlite3_bind_int64(statement, 2, high);
        sqlite3_bind_text(statement, 3, pattern.constData(), static_cast<int>(pattern.size()), SQLITE_STATIC);
        sqlite3_bind_int(statement, 4, static_cast<int>(m_limit - m_found.size()));
        if (segment.method == Method::Index)
            sqlite3_bind_text(statement, 5, match.constData(), static_cast<int>(match.size()), SQLITE_STATIC);
        if (interruptible)
            sqlite3_progress_handler(db, 2000, interrupt, const_cast<std::function<bool()>*>(&outOfTime));
        int status;
        qint64 last = 0;
        bool any = false;
        while ((status = sqlite3_step(statement)) == SQLITE_ROW) {
            last = sqlite3_column_int64(statement, 0);
            any = true;
            m_found.append(last);
        }
        sqlite3_progress_handler(db, 0, nullptr, nullptr);
        sqlite3_reset(statement);
        if (status == SQLITE_INTERRUPT) {
            // Keep what was found; go on after it, over a narrower range.
            if (any) {
                if (forward)
                    segment.low = last + 1;
                else
                    segment.high = last - 1;
            }
            const quint64 span = static_cast<quint64>(high) - static_cast<quint64>(low);
            m_width = static_cast<qint64>(std::max<quint64>(span / 8, narrowest));
            stopped = true;
            break;
        }
        if (status != SQLITE_DONE) {
            result = Result::failure(EngineError::describe(sqlite3_extended_errcode(db)));
            break;
        }
        if (filled()) {
            m_done = true;
            break;
        }
        if (m_width != 0 && m_width < highest / 2)
            m_width *= 2;
        if (forward ? high >= segment.high : low <= segment.low) {
            ++m_segment;
            break;
        }
        if (forward)
            segment.low = high + 1;
        else
            segment.high = low - 1;
        if (outOfTime()) {
            stopped = true;
            break;
        }
    }
    sqlite3_finalize(statement);
    return result;
}
