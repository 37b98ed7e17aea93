#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

// A LIKE pattern with the rules the office's queries have always used:
//   *  any run of characters      ?  any one character      #  one digit
//   [abc]  one of the set          [a-z]  one of the range    [!abc]  none of the set
// Matching ignores case in full Unicode (È matches è). Any other character, an
// apostrophe included, stands for itself; a "[" with no closing "]" is a plain "[".
class LikePattern {
public:
    explicit LikePattern(const QString& pattern);

    bool matches(const QString& text) const;
    // The same for UTF-8 text as SQLite hands it over, without copying in the common case.
    bool matchesUtf8(std::string_view text) const;

    // Folds one character for case-insensitive comparison.
    static char32_t fold(char32_t c);

private:
    struct Range {
        char32_t first;
        char32_t last;
    };
    struct Token {
        enum Kind { Literal, AnyRun, AnyOne, Digit, Set } kind = Literal;
        char32_t ch = 0;              // Literal, already folded
        std::vector<Range> ranges;    // Set, folded
        bool negated = false;         // Set
    };

    bool matchesFolded(const std::u32string& text) const;
    bool tokenMatches(const Token& token, char32_t c) const;

    std::vector<Token> m_tokens;
    // "*literal*" with a plain ASCII literal: a substring search on the bytes is enough
    // for ASCII text, which is nearly all of it.
    bool m_asciiContains = false;
    std::string m_asciiNeedle;  // lower case
};
