#include "data/sqlite/search/BlockMap.h"

#include "data/sqlite/search/TextColumn.h"
#include "data/vocabulary/LikePattern.h"

#include <algorithm>
#include <limits>

namespace {

constexpr qint64 lowest = std::numeric_limits<qint64>::min();
constexpr qint64 highest = std::numeric_limits<qint64>::max();

// The class of a folded character. Whatever the classes, a character and its class are
// the same for the text and the pattern, so the map can only err towards "maybe".
int classOf(char32_t c) {
    if (c >= U'a' && c <= U'z')
        return static_cast<int>(c - U'a');
    if (c >= U'0' && c <= U'9')
        return 26 + static_cast<int>(c - U'0');
    if (c == U' ')
        return 36;
    if (c == U'\'')
        return 37;
    if (c < 0x80)
        return 38 + static_cast<int>(c % 8);
    switch (c) { // the accented letters of Italian words
    case U'à':
        return 46;
    case U'è':
        return 47;
    case U'é':
        return 48;
    case U'ì':
        return 49;
    case U'ò':
        return 50;
    case U'ù':
        return 51;
    default:
        return 52 + static_cast<int>((c * 2654435761u) >> 16) % 12;
    }
}

// Folded ASCII bytes to classes, for the rows that are ASCII only: nearly all of them.
struct AsciiClasses {
    std::array<std::uint8_t, 128> of{};
    AsciiClasses() {
        for (char32_t c = 0; c < 128; ++c)
            of[c] = static_cast<std::uint8_t>(classOf(LikePattern::fold(c)));
    }
};

const AsciiClasses& asciiClasses() {
    static const AsciiClasses table;
    return table;
}

template <typename Words>
void setBit(Words& words, int bit) {
    words[static_cast<std::size_t>(bit) / 64] |= std::uint64_t(1) << (bit % 64);
}

template <typename Words>
bool hasBit(const Words& words, int bit) {
    return (words[static_cast<std::size_t>(bit) / 64] >> (bit % 64)) & 1;
}

// Adds a pair to a filter's list once; `seen` keeps a needle of 30 kB as quick as a short one.
void addUnique(std::vector<std::uint16_t>& list, std::vector<bool>& seen, int value) {
    if (seen[static_cast<std::size_t>(value)])
        return;
    seen[static_cast<std::size_t>(value)] = true;
    list.push_back(static_cast<std::uint16_t>(value));
}

} // namespace

BlockMap::Filter BlockMap::filterFor(const LikePattern& pattern) {
    Filter filter;
    std::vector<bool> seenPairs(classes * classes), seenGaps(classes * classes), seenOrdered(classes * classes);
    int previous = -1; // the class of the last plain place, over "*" and other places
    for (const std::u32string& run : pattern.places()) {
        for (std::size_t i = 0; i < run.size(); ++i) {
            if (run[i] == LikePattern::anyOf)
                continue;
            const int here = classOf(run[i]);
            filter.characters |= std::uint64_t(1) << here;
            const bool pair = i >= 1 && run[i - 1] != LikePattern::anyOf;
            const bool gap = !pair && i >= 2 && run[i - 2] != LikePattern::anyOf;
            if (pair)
                addUnique(filter.pairs, seenPairs, classOf(run[i - 1]) * classes + here);
            else if (gap)
                addUnique(filter.gaps, seenGaps, classOf(run[i - 2]) * classes + here);
            else if (previous >= 0)
                addUnique(filter.ordered, seenOrdered, previous * classes + here);
            previous = here;
        }
    }
    return filter;
}

BlockMap::BlockMap(const QString& table, const QString& field) : m_table(table), m_field(field), m_readUpTo(lowest) {}

void BlockMap::reset() {
    m_first.clear();
    m_first.shrink_to_fit();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_bits.clear();
    m_bits.shrink_to_fit();
    m_changed.clear();
    m_readUpTo = lowest;
    m_complete = false;
}

std::size_t BlockMap::bytes() const {
    return m_first.capacity() * sizeof(qint64) + m_rows.capacity() * sizeof(std::uint32_t) +
           m_bits.capacity() * sizeof(Bits) + m_changed.capacity() * sizeof(qint64);
}

qint64 BlockMap::coveredUpTo() const {
    return m_complete ? highest : m_readUpTo;
}

void BlockMap::addText(Bits& bits, const char* text, std::size_t length) const {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const bool ascii = std::all_of(bytes, bytes + length, [](unsigned char b) { return b < 0x80; });
    int before = -1, twoBefore = -1;
    std::uint64_t seen = 0;
    const auto add = [&](int here) {
        bits.before[static_cast<std::size_t>(here)] |= seen;
        seen |= std::uint64_t(1) << here;
        bits.characters |= std::uint64_t(1) << here;
        if (before >= 0)
            setBit(bits.pairs, before * classes + here);
        if (twoBefore >= 0)
            setBit(bits.gaps, twoBefore * classes + here);
        twoBefore = before;
        before = here;
    };
    if (ascii) {
        const AsciiClasses& table = asciiClasses();
        for (std::size_t i = 0; i < length; ++i)
            add(table.of[bytes[i]]);
    } else {
        for (const char32_t c : LikePattern::foldUtf8(std::string_view(text, length)))
            add(classOf(c));
    }
}

void BlockMap::addRow(qint64 rowid, const char* text, int length, bool isNull) {
    if (m_first.empty() || m_rows.back() >= blockRows) {
        m_first.push_back(m_first.empty() ? lowest : rowid);
        m_rows.push_back(0);
        m_bits.emplace_back();
    }
    ++m_rows.back();
    if (!isNull) // a null never matches
        addText(m_bits.back(), text, static_cast<std::size_t>(length));
}

Result BlockMap::buildStep(sqlite3* db, const std::function<bool()>& outOfTime, bool& complete) {
    const Result read = TextColumn::readSlices(db, m_table, m_field, m_readUpTo, m_complete, outOfTime,
                                               [this](qint64 rowid, const char* text, int length, bool isNull) {
                                                   addRow(rowid, text, length, isNull);
                                               });
    if (!read)
        return read;
    if (m_complete) {
        m_first.shrink_to_fit();
        m_rows.shrink_to_fit();
        m_bits.shrink_to_fit();
    }
    complete = m_complete;
    return Result::success();
}

void BlockMap::rowChanged(qint64 rowid) {
    // A row past what has been read will be read in its turn.
    if (rowid <= coveredUpTo())
        m_changed.push_back(rowid);
}

Result BlockMap::readChanges(sqlite3* db) {
    return TextColumn::readKeys(db, m_table, m_field, m_changed,
                                [this](qint64 rowid, bool found, const char* text, int length, bool isNull) {
                                    if (found)
                                        addChanged(rowid, text, length, isNull);
                                });
}

void BlockMap::addChanged(qint64 rowid, const char* text, int length, bool isNull) {
    if (!isNull) {
        if (m_first.empty()) { // the first row there is
            m_first.push_back(lowest);
            m_rows.push_back(0);
            m_bits.emplace_back();
        }
        const std::size_t block = blockOf(rowid);
        // Rows added after the last block was made start blocks of their own, so
        // that a long session of new rows keeps blocks small.
        if (block + 1 == m_first.size() && m_complete && m_rows.back() >= blockRows && rowid > m_readUpTo) {
            m_first.push_back(rowid);
            m_rows.push_back(0);
            m_bits.emplace_back();
        }
        const std::size_t to = blockOf(rowid);
        ++m_rows[to];
        addText(m_bits[to], text, static_cast<std::size_t>(length));
    }
    if (rowid > m_readUpTo && m_complete)
        m_readUpTo = rowid;
}

std::size_t BlockMap::blockOf(qint64 key) const {
    const auto after = std::upper_bound(m_first.begin(), m_first.end(), key);
    return after == m_first.begin() ? 0 : static_cast<std::size_t>(after - m_first.begin()) - 1;
}

qint64 BlockMap::low(std::size_t block) const {
    return block == 0 ? lowest : m_first[block];
}

qint64 BlockMap::high(std::size_t block) const {
    return block + 1 < m_first.size() ? m_first[block + 1] - 1 : highest;
}

bool BlockMap::mayHold(std::size_t block, const Filter& filter) const {
    const Bits& bits = m_bits[block];
    if ((bits.characters & filter.characters) != filter.characters)
        return false;
    for (const std::uint16_t pair : filter.pairs)
        if (!hasBit(bits.pairs, pair))
            return false;
    for (const std::uint16_t gap : filter.gaps)
        if (!hasBit(bits.gaps, gap))
            return false;
    for (const std::uint16_t pair : filter.ordered)
        if (!((bits.before[pair % classes] >> (pair / classes)) & 1))
            return false;
    return true;
}
