#include "data/sqlite/search/TextColumn.h"

#include "data/sqlite/search/FastFind.h"
#include "data/sqlite/search/FinalizeOnThrow.h"
#include "data/vocabulary/LikePattern.h"
#include "data/vocabulary/LiteralRuns.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <sqlite3.h>

namespace {

constexpr std::size_t blockRows = 8192; // rows scanned between two looks at the clock
constexpr int readRows = 4096;          // rows read from the table at a time
constexpr char separator = '\xFF';      // never part of UTF-8 text

// Folds valid UTF-8 text into `out`; false for text that is not valid UTF-8.
bool foldUtf8(const unsigned char* text, std::size_t length, std::string& out) {
    std::u32string folded;
    folded.reserve(length);
    for (std::size_t i = 0; i < length;) {
        const unsigned char b = text[i];
        char32_t c;
        std::size_t extra;
        if (b < 0x80) {
            // ASCII, by far the most of it: fold in place.
            folded.push_back(b >= 'A' && b <= 'Z' ? b + 32 : b);
            ++i;
            continue;
        } else if (b >= 0xC2 && b < 0xE0) {
            c = b & 0x1F;
            extra = 1;
        } else if (b >= 0xE0 && b < 0xF0) {
            c = b & 0x0F;
            extra = 2;
        } else if (b >= 0xF0 && b < 0xF5) {
            c = b & 0x07;
            extra = 3;
        } else {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if (i + k >= length || (text[i + k] & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (text[i + k] & 0x3F);
        }
        const char32_t least = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        folded.push_back(LikePattern::fold(c));
        i += extra + 1;
    }
    out += LiteralRuns::utf8(folded);
    return true;
}

} // namespace

TextColumn::TextColumn(const QString& table, const QString& field)
    : m_table(table), m_field(field), m_readUpTo(std::numeric_limits<qint64>::min()) {
    m_start.push_back(0);
}

void TextColumn::reset() {
    m_text.clear();
    m_text.shrink_to_fit();
    m_start.assign(1, 0);
    m_start.shrink_to_fit();
    m_rowids.clear();
    m_rowids.shrink_to_fit();
    m_beside.clear();
    m_changed.clear();
    m_readUpTo = std::numeric_limits<qint64>::min();
    m_complete = false;
}

std::size_t TextColumn::bytes() const {
    std::size_t besideBytes = 0;
    for (const auto& [key, text] : m_beside)
        besideBytes += 64 + (text ? text->capacity() : 0);
    return m_text.capacity() + m_start.capacity() * sizeof(std::uint32_t) + m_rowids.capacity() * sizeof(qint64) +
           besideBytes;
}

void TextColumn::addRow(qint64 rowid, const char* text, int length) {
    const std::size_t before = m_text.size();
    if (!foldUtf8(reinterpret_cast<const unsigned char*>(text), static_cast<std::size_t>(length), m_text)) {
        // Not UTF-8 (written by some other tool): kept as stored, for the pattern to judge.
        m_text.resize(before);
        m_beside[rowid] = std::string(text, static_cast<std::size_t>(length));
        return;
    }
    m_text.push_back(separator);
    m_start.push_back(static_cast<std::uint32_t>(m_text.size()));
    m_rowids.push_back(rowid);
}

Result TextColumn::readSlices(sqlite3* db, const QString& table, const QString& field, qint64& readUpTo, bool& ended,
                              const std::function<bool()>& outOfTime, const RowReader& row) {
    const QByteArray sql = QStringLiteral("SELECT rowid, \"%1\" FROM \"%2\" WHERE rowid > ? ORDER BY rowid LIMIT %3")
                               .arg(field, table)
                               .arg(readRows)
                               .toUtf8();
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
        return Result::failure(QString::fromUtf8(sqlite3_errmsg(db)));
    const FinalizeOnThrow finalize(statement);
    while (!ended) {
        sqlite3_bind_int64(statement, 1, readUpTo);
        int rows = 0;
        int status;
        while ((status = sqlite3_step(statement)) == SQLITE_ROW) {
            ++rows;
            readUpTo = sqlite3_column_int64(statement, 0);
            const bool isNull = sqlite3_column_type(statement, 1) == SQLITE_NULL;
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 1));
            row(readUpTo, text ? text : "", isNull ? 0 : sqlite3_column_bytes(statement, 1), isNull);
        }
        sqlite3_reset(statement);
        if (status != SQLITE_DONE) {
            const Result failed = Result::failure(QString::fromUtf8(sqlite3_errmsg(db)));
            sqlite3_finalize(statement);
            return failed;
        }
        if (rows < readRows)
            ended = true;
        else if (outOfTime())
            break;
    }
    sqlite3_finalize(statement);
    return Result::success();
}

Result TextColumn::buildStep(sqlite3* db, const std::function<bool()>& outOfTime, bool& complete) {
    const Result read = readSlices(db, m_table, m_field, m_readUpTo, m_complete, outOfTime,
                                   [this](qint64 rowid, const char* text, int length, bool isNull) {
                                       if (!isNull) // a null never matches
                                           addRow(rowid, text, length);
                                   });
    if (!read)
        return read;
    if (m_complete) {
        m_text.shrink_to_fit();
        m_start.shrink_to_fit();
        m_rowids.shrink_to_fit();
    }
    complete = m_complete;
    return Result::success();
}

void TextColumn::rowChanged(qint64 rowid) {
    m_changed.push_back(rowid);
}

Result TextColumn::readKeys(sqlite3* db, const QString& table, const QString& field, std::vector<qint64>& keys,
                            const ChangeReader& row) {
    if (keys.empty())
        return Result::success();
    const QByteArray sql = QStringLiteral("SELECT \"%1\" FROM \"%2\" WHERE rowid = ?").arg(field, table).toUtf8();
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
        return Result::failure(QString::fromUtf8(sqlite3_errmsg(db)));
    const FinalizeOnThrow finalize(statement);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    for (const qint64 rowid : keys) {
        sqlite3_bind_int64(statement, 1, rowid);
        const int status = sqlite3_step(statement);
        if (status == SQLITE_ROW) {
            const bool isNull = sqlite3_column_type(statement, 0) == SQLITE_NULL;
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            row(rowid, true, text ? text : "", isNull ? 0 : sqlite3_column_bytes(statement, 0), isNull);
        } else if (status == SQLITE_DONE) {
            row(rowid, false, "", 0, true);
        } else {
            const Result failed = Result::failure(QString::fromUtf8(sqlite3_errmsg(db)));
            sqlite3_finalize(statement);
            return failed;
        }
        sqlite3_reset(statement);
    }
    sqlite3_finalize(statement);
    keys.clear();
    return Result::success();
}

Result TextColumn::readChanges(sqlite3* db) {
    return readKeys(db, m_table, m_field, m_changed,
                    [this](qint64 rowid, bool found, const char* text, int length, bool isNull) {
                        if (found && !isNull)
                            m_beside[rowid] = std::string(text, static_cast<std::size_t>(length));
                        else
                            m_beside[rowid] = std::nullopt;
                    });
}

void TextColumn::matchBlock(const Needle& needle, std::size_t first, std::size_t last, qint64 low, qint64 high,
                            std::vector<qint64>& keys) const {
    keys.clear();
    const bool checkBeside = !m_beside.empty();
    const auto consider = [&](std::size_t row) {
        const qint64 rowid = m_rowids[row];
        if (checkBeside && m_beside.count(rowid))
            return;
        if (!needle.exact) {
            const char* begin = m_text.data() + m_start[row];
            const char* end = m_text.data() + m_start[row + 1] - 1;
            // Far cheaper than the pattern: a row without every plain run cannot match.
            for (const std::string& other : needle.others)
                if (!FastFind::find(begin, end, other))
                    return;
            if (!needle.pattern->matchesUtf8(std::string_view(begin, static_cast<std::size_t>(end - begin))))
                return;
        }
        keys.push_back(rowid);
    };
    if (first < last) {
        if (needle.piece.empty()) {
            for (std::size_t row = first; row < last; ++row)
                consider(row);
        } else {
            const char* const base = m_text.data();
            const char* at = base + m_start[first];
            const char* const end = base + m_start[last];
            while (at < end) {
                const char* hit = FastFind::find(at, end, needle.piece);
                if (!hit)
                    break;
                const auto offset = static_cast<std::uint32_t>(hit - base);
                const std::size_t row =
                    static_cast<std::size_t>(std::upper_bound(m_start.begin() + static_cast<std::ptrdiff_t>(first),
                                                              m_start.begin() + static_cast<std::ptrdiff_t>(last) + 1,
                                                              offset) -
                                             m_start.begin()) -
                    1;
                consider(row);
                at = base + m_start[row + 1];
            }
        }
    }
    if (checkBeside && low <= high) {
        const std::size_t fromBlock = keys.size();
        for (auto it = m_beside.lower_bound(low); it != m_beside.end() && it->first <= high; ++it)
            if (it->second && needle.pattern->matchesUtf8(*it->second))
                keys.push_back(it->first);
        std::inplace_merge(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(fromBlock), keys.end());
    }
}

TextColumn::Scan TextColumn::scanForward(const Needle& needle, qint64& after, qint64 upTo, int want,
                                         QList<qint64>& found, const std::function<bool()>& outOfTime) const {
    if (after >= upTo)
        return Scan::Ended;
    const auto rowAfter = [&](qint64 key) {
        return static_cast<std::size_t>(std::upper_bound(m_rowids.begin(), m_rowids.end(), key) - m_rowids.begin());
    };
    std::size_t row = rowAfter(after);
    const std::size_t end = rowAfter(upTo);
    std::vector<qint64> keys;
    while (true) {
        const std::size_t blockEnd = std::min(row + blockRows, end);
        const qint64 high = blockEnd == end ? upTo : m_rowids[blockEnd - 1];
        matchBlock(needle, row, blockEnd, after + 1, high, keys);
        for (const qint64 key : keys) {
            found.append(key);
            if (found.size() >= want) {
                after = key;
                return Scan::Filled;
            }
        }
        after = high;
        row = blockEnd;
        if (row >= end)
            return Scan::Ended;
        if (outOfTime())
            return Scan::OutOfTime;
    }
}

TextColumn::Scan TextColumn::scanBackward(const Needle& needle, qint64& before, qint64 from, int want,
                                          QList<qint64>& found, const std::function<bool()>& outOfTime) const {
    if (before <= from)
        return Scan::Ended;
    const auto rowFrom = [&](qint64 key) {
        return static_cast<std::size_t>(std::lower_bound(m_rowids.begin(), m_rowids.end(), key) - m_rowids.begin());
    };
    const std::size_t start = rowFrom(from);
    std::size_t row = rowFrom(before);
    std::vector<qint64> keys;
    while (true) {
        const std::size_t blockStart = row - std::min(row - start, blockRows);
        const qint64 low = blockStart == start ? from : m_rowids[blockStart];
        matchBlock(needle, blockStart, row, low, before - 1, keys);
        for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
            found.append(*key);
            if (found.size() >= want) {
                before = *key;
                return Scan::Filled;
            }
        }
        before = low;
        row = blockStart;
        if (row <= start)
            return Scan::Ended;
        if (outOfTime())
            return Scan::OutOfTime;
    }
}
