#pragma once

#include "platform/Result.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class LikePattern;
struct sqlite3;

// For a text field too large to hold in memory: which characters, and which pairs of
// characters side by side, one apart or one anywhere before the other in a row, stand
// somewhere in each block of rows (256 in key order), a kilobyte and a half a block. A pattern asks for the characters its plain places
// demand; a block that lacks one cannot hold a match, so a search reads only the rows
// of the blocks that may, and the office's LIKE confirms them. Letters, digits, the
// blank and the apostrophe have a bit each; other characters share bits, where a set
// bit then only means "maybe".
//
// Blocks are made in key order, a slice at a time: rows up to coveredUpTo() are in the
// map. The program's own writes only ever add bits, so the map stays a true "maybe"
// without being made again; another connection's writes call for reset().
class BlockMap {
public:
    static constexpr std::size_t blockRows = 256;
    static constexpr int classes = 64;

    // What a pattern demands of a block.
    struct Filter {
        std::uint64_t characters = 0;   // a bit per class
        std::vector<std::uint16_t> pairs; // class * classes + class, side by side
        std::vector<std::uint16_t> gaps;  // the same, one place apart
        std::vector<std::uint16_t> ordered; // the same, the first anywhere before the second
    };
    static Filter filterFor(const LikePattern& pattern);

    BlockMap(const QString& table, const QString& field);

    const QString& table() const { return m_table; }
    const QString& field() const { return m_field; }

    // Reads the next rows of the table; `complete` once every row is in.
    Result buildStep(sqlite3* db, const std::function<bool()>& outOfTime, bool& complete);
    bool isComplete() const { return m_complete; }
    // Rows with a key up to this are in the map (the lowest key before any is).
    qint64 coveredUpTo() const;
    void reset();
    std::size_t bytes() const;

    // A row of the table was written: its value adds its bits before the next search.
    void rowChanged(qint64 rowid);
    Result readChanges(sqlite3* db);

    std::size_t blockCount() const { return m_first.size(); }
    // The block that holds a key's row, were it there; blocks are ranges of keys that
    // follow one another with no gap, the first from the lowest key, the last to the highest.
    std::size_t blockOf(qint64 key) const;
    qint64 low(std::size_t block) const;
    qint64 high(std::size_t block) const;
    bool mayHold(std::size_t block, const Filter& filter) const;

private:
    struct Bits {
        std::uint64_t characters = 0;
        std::array<std::uint64_t, classes * classes / 64> pairs{};
        std::array<std::uint64_t, classes * classes / 64> gaps{};
        std::array<std::uint64_t, classes> before{}; // before[c]: the classes seen before c in a row
    };

    void addText(Bits& bits, const char* text, std::size_t length) const;
    void addRow(qint64 rowid, const char* text, int length, bool isNull);
    // A changed row read again: its bits are added to its block.
    void addChanged(qint64 rowid, const char* text, int length, bool isNull);

    QString m_table;
    QString m_field;
    std::vector<qint64> m_first;        // each block's lowest key
    std::vector<std::uint32_t> m_rows;  // rows each block was made with
    std::vector<Bits> m_bits;
    std::vector<qint64> m_changed;
    qint64 m_readUpTo;
    bool m_complete = false;
};
