#pragma once

#include "platform/Result.h"

#include <QList>
#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class LikePattern;
struct sqlite3;

// One text field of a table held in memory in the compact form a search scans fastest:
// the folded text of every row in key order, one block of bytes, so that a needle is
// found sixteen bytes at a time rather than row by row through SQLite. Rows the program changes
// afterwards are held beside it, as stored, until the column is made again.
class TextColumn {
public:
    TextColumn(const QString& table, const QString& field);

    const QString& table() const { return m_table; }
    const QString& field() const { return m_field; }

    // Reads the next rows of the table; `complete` once every row is in.
    Result buildStep(sqlite3* db, const std::function<bool()>& outOfTime, bool& complete);

    // Reads a field's rows after `readUpTo` in key order, 4096 at a time, handing each to
    // `row` (a null with no text), until the table ends (`ended`) or `outOfTime` says so
    // between slices. What a column and a map of blocks (BlockMap) are made from.
    using RowReader = std::function<void(qint64 rowid, const char* text, int length, bool isNull)>;
    static Result readSlices(sqlite3* db, const QString& table, const QString& field, qint64& readUpTo, bool& ended,
                             const std::function<bool()>& outOfTime, const RowReader& row);
    // Reads again, once each, the rows whose keys are in `keys` (then cleared), handing each
    // to `row`: `found` false for a key with no row any more, a null with no text.
    using ChangeReader = std::function<void(qint64 rowid, bool found, const char* text, int length, bool isNull)>;
    static Result readKeys(sqlite3* db, const QString& table, const QString& field, std::vector<qint64>& keys,
                           const ChangeReader& row);
    bool isComplete() const { return m_complete; }
    // While it is made: the rows are read up to this key, in this many bytes.
    qint64 readUpTo() const { return m_readUpTo; }
    std::size_t usedBytes() const { return m_text.size() + m_rowids.size() * (sizeof(qint64) + sizeof(std::uint32_t)); }
    // Forgets everything, to be read again.
    void reset();
    std::size_t bytes() const;

    // A row of the table was written: its value is read again before the next search.
    void rowChanged(qint64 rowid);
    bool hasChanges() const { return !m_changed.empty(); }
    Result readChanges(sqlite3* db);
    // Too many rows are held beside the block: the column is better made again.
    bool wantsRebuild() const { return m_beside.size() > maxBeside; }

    // What a scan looks for: the pattern, and a piece of folded text every match holds.
    struct Needle {
        const LikePattern* pattern = nullptr;
        std::string piece;  // folded UTF-8; empty: every row is a candidate
        std::vector<std::string> others; // the pattern's other plain runs: a row lacking one is no match
        bool exact = false; // a row holding the piece matches: no need to ask the pattern
    };
    enum class Scan { Ended, Filled, OutOfTime };
    // Adds the keys of matching rows with after < key <= upTo (forward, in key order) or
    // upTo <= key < after... see scanBackward. Stops when `found` holds `want` keys, when
    // the range ends, or when outOfTime() says so; `after` then tells where to go on.
    Scan scanForward(const Needle& needle, qint64& after, qint64 upTo, int want, QList<qint64>& found,
                     const std::function<bool()>& outOfTime) const;
    // The same from the top down: keys with from <= key < before, in descending order.
    Scan scanBackward(const Needle& needle, qint64& before, qint64 from, int want, QList<qint64>& found,
                      const std::function<bool()>& outOfTime) const;

private:
    static constexpr std::size_t maxBeside = 8192;

    void addRow(qint64 rowid, const char* text, int length);
    // The matching rows among rows [first, last) of the block, with the rows held beside
    // that fall in (low, high], merged in key order.
    void matchBlock(const Needle& needle, std::size_t first, std::size_t last, qint64 low, qint64 high,
                    std::vector<qint64>& keys) const;

    QString m_table;
    QString m_field;
    std::string m_text;                 // each row's folded text, then a 0xFF byte
    std::vector<std::uint32_t> m_start; // where each row begins; one more at the end
    std::vector<qint64> m_rowids;
    std::map<qint64, std::optional<std::string>> m_beside; // key -> text as stored; none: no row or null
    std::vector<qint64> m_changed;
    qint64 m_readUpTo;
    bool m_complete = false;
};
