#include "data/vocabulary/PostgresPattern.h"

#include "data/vocabulary/LikePattern.h"

#include <QChar>
#include <QList>
#include <algorithm>
#include <unordered_map>

namespace {

using Interval = PostgresPattern::Interval;
using Set = std::vector<Interval>;

constexpr char32_t lastCodePoint = 0x10FFFF;

// Every character a PostgreSQL text can hold: no NUL, no surrogates.
const Set& everything() {
    static const Set all{{1, 0xD7FF}, {0xE000, lastCodePoint}};
    return all;
}

// Sorted, merged, and within what a text can hold.
Set normalised(Set set) {
    Set clipped;
    for (const Interval& range : everything())
        for (const auto& [first, last] : set) {
            const char32_t from = std::max(first, range.first);
            const char32_t to = std::min(last, range.second);
            if (from <= to)
                clipped.push_back({from, to});
        }
    std::sort(clipped.begin(), clipped.end());
    Set merged;
    for (const Interval& range : clipped) {
        if (!merged.empty() && range.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, range.second);
        else
            merged.push_back(range);
    }
    return merged;
}

bool contains(const Set& set, char32_t c) {
    const auto after = std::upper_bound(set.begin(), set.end(), c,
                                        [](char32_t value, const Interval& range) { return value < range.first; });
    return after != set.begin() && c <= std::prev(after)->second;
}

Set complement(const Set& set) {
    Set out;
    char32_t next = 0;
    for (const auto& [first, last] : set) {
        if (first > next)
            out.push_back({next, first - 1});
        next = last + 1;
    }
    if (next <= lastCodePoint)
        out.push_back({next, lastCodePoint});
    return normalised(out);
}

// The characters whose folded form is in `folded`: the program compares folded text with
// a folded pattern, the server compares the stored text with these.
Set preimage(const Set& folded) {
    Set out;
    std::vector<char32_t> dropped;
    for (const auto& [c, f] : PostgresPattern::foldPairs()) {
        const bool from = contains(folded, c);
        const bool to = contains(folded, f);
        if (to && !from)
            out.push_back({c, c});
        else if (from && !to)
            dropped.push_back(c);
    }
    std::sort(dropped.begin(), dropped.end());
    for (const auto& [first, last] : folded) {
        char32_t from = first;
        for (auto it = std::lower_bound(dropped.begin(), dropped.end(), first); it != dropped.end() && *it <= last;
             ++it) {
            if (*it > from)
                out.push_back({from, *it - 1});
            from = *it + 1;
        }
        if (from <= last)
            out.push_back({from, last});
    }
    return normalised(out);
}

QString bracketed(const Set& set) {
    QString out;
    for (const auto& [first, last] : set) {
        out += PostgresPattern::escaped(first);
        if (last > first)
            out += (last > first + 1 ? QStringLiteral("-") : QString()) + PostgresPattern::escaped(last);
    }
    return out;
}

// One character of the stored text that must be in `set`.
QString written(const Set& set) {
    if (set.empty()) // "[]": no character is in it, so nothing matches
        return QStringLiteral("[^") + bracketed(everything()) + QLatin1Char(']');
    if (set == everything())
        return QStringLiteral(".");
    if (set.size() == 1 && set.front().first == set.front().second)
        return PostgresPattern::escaped(set.front().first);
    const Set other = complement(set);
    if (!other.empty() && other.size() < set.size())
        return QStringLiteral("[^") + bracketed(other) + QLatin1Char(']');
    return QLatin1Char('[') + bracketed(set) + QLatin1Char(']');
}

// The characters that fold to a folded one: a map of its own, so a long pattern is
// written in time linear in its length.
QString literal(char32_t folded) {
    static const std::unordered_map<char32_t, std::vector<char32_t>> sources = [] {
        std::unordered_map<char32_t, std::vector<char32_t>> out;
        for (const auto& [c, f] : PostgresPattern::foldPairs())
            out[f].push_back(c);
        return out;
    }();
    Set set;
    if (LikePattern::fold(folded) == folded)
        set.push_back({folded, folded});
    if (const auto found = sources.find(folded); found != sources.end())
        for (const char32_t c : found->second)
            set.push_back({c, c});
    return written(normalised(set));
}

} // namespace

const std::vector<std::pair<char32_t, char32_t>>& PostgresPattern::foldPairs() {
    static const std::vector<std::pair<char32_t, char32_t>> pairs = [] {
        std::vector<std::pair<char32_t, char32_t>> out;
        for (char32_t c = 1; c <= lastCodePoint; ++c)
            if (const char32_t f = LikePattern::fold(c); f != c)
                out.push_back({c, f});
        return out;
    }();
    return pairs;
}

const std::vector<Interval>& PostgresPattern::digits() {
    static const Set set = [] {
        Set out;
        for (char32_t c = 1; c <= lastCodePoint; ++c)
            if (QChar::isDigit(c))
                out.push_back({c, c});
        return normalised(out);
    }();
    return set;
}

QString PostgresPattern::escaped(char32_t c) {
    if ((c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9'))
        return QString(QChar(static_cast<char16_t>(c)));
    if (c <= 0xFFFF)
        return QStringLiteral("\\u%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0'));
    return QStringLiteral("\\U%1").arg(static_cast<uint>(c), 8, 16, QLatin1Char('0'));
}

QString PostgresPattern::likeRegex(const QString& pattern) {
    const LikePattern like(pattern);
    const auto& tokens = like.tokens();
    // Never a null text: bound, it would be SQL's NULL and match nothing, where "*" matches
    // every text.
    QString out = QString::fromLatin1("");
    if (tokens.empty() || tokens.front().kind != LikePattern::Token::AnyRun)
        out += QLatin1Char('^');
    // A digit's set is long: written once for all the "#" of a pattern.
    QString digit;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const LikePattern::Token& token = tokens[i];
        switch (token.kind) {
        case LikePattern::Token::Literal:
            out += literal(token.ch);
            break;
        case LikePattern::Token::AnyRun:
            if (i != 0 && i + 1 != tokens.size())
                out += QStringLiteral(".*");
            break;
        case LikePattern::Token::AnyOne:
            out += QLatin1Char('.');
            break;
        case LikePattern::Token::Digit:
            if (digit.isEmpty())
                digit = written(preimage(digits()));
            out += digit;
            break;
        case LikePattern::Token::Set: {
            Set set;
            for (const LikePattern::Range& range : token.ranges)
                set.push_back({range.first, range.last});
            set = preimage(normalised(set));
            out += written(token.negated ? complement(set) : set);
            break;
        }
        }
    }
    if (tokens.empty() || tokens.back().kind != LikePattern::Token::AnyRun)
        out += QLatin1Char('$');
    // "*" takes every text: never an empty string, which a driver may bind as a null.
    return out.isEmpty() ? QStringLiteral("^") : out;
}

QString PostgresPattern::equalsRegex(const QString& text) {
    QString out(QLatin1Char('^'));
    for (const char32_t c : text.toUcs4())
        out += literal(LikePattern::fold(c));
    return out + QLatin1Char('$');
}

QString PostgresPattern::refusal(const QString& pattern) {
    if (pattern.size() <= longestPattern)
        return {};
    return QStringLiteral("Il criterio di ricerca è lungo %1 caratteri: sul database PostgreSQL se ne possono usare al "
                          "massimo %2.")
        .arg(pattern.size())
        .arg(longestPattern);
}

QString PostgresPattern::folded(const QString& text) {
    std::u32string out;
    for (const char32_t c : text.toUcs4())
        out.push_back(LikePattern::fold(c));
    const QString result = QString::fromUcs4(out.data(), static_cast<qsizetype>(out.size()));
    return result.isNull() ? QStringLiteral("") : result; // an empty text, never a null
}
