#pragma once

#include <QString>
#include <utility>
#include <vector>

// The office's LIKE (see LikePattern) and its case-insensitive equality (vequal) written
// for PostgreSQL as regular expressions for the `~` operator, bound as ONE parameter:
//   "field" ~ ?   bound to likeRegex(pattern)   selects the rows vlike("field", pattern) selects
//   "field" ~ ?   bound to equalsRegex(text)    selects the rows vequal("field", text) selects
// in SQLite, whatever the server's locale: every character of the pattern becomes the set
// of characters that fold to it (È and è, Σ σ and ς, K k and the Kelvin sign) written
// as code points, never as the server's own case rules, so nothing of the user's text
// is read as regular-expression syntax. A null field gives null, so the row drops out,
// under NOT too. The stored text is compared as it is: a pg_trgm GIN index on the
// column itself ("field" gin_trgm_ops) serves these conditions.
class PostgresPattern {
public:
    using Interval = std::pair<char32_t, char32_t>; // first and last code point, inclusive

    static QString likeRegex(const QString& pattern);
    static QString equalsRegex(const QString& text);

    // The regular expressions grow with the pattern, and the server takes seconds to
    // compile one of some thousand characters, or refuses it as too complex: a longer
    // LIKE pattern is refused before it is sent, and refusal() says so in a sentence
    // (empty for a pattern PostgreSQL can take). Equality has no such bound: a longer
    // text is compared folded, velmora_fold("field") = folded(text).
    static constexpr qsizetype longestPattern = 1000;
    static QString refusal(const QString& pattern);
    // A text folded as the program folds it (LikePattern::fold), as velmora_fold does.
    static QString folded(const QString& text);

    // What the server's own functions (installPostgresFunctions) are built from, so they
    // fold and read digits exactly as the program does:
    // every character that folds to another one, with the one it folds to, by code point;
    static const std::vector<std::pair<char32_t, char32_t>>& foldPairs();
    // the characters "#" takes for a digit.
    static const std::vector<Interval>& digits();
    // A code point as a regular-expression escape (\u00e8, \U0001f600); letters and
    // digits of ASCII as they are.
    static QString escaped(char32_t c);
};
