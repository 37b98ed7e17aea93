#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
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
    // UTF-8 text folded as matching reads it: a byte that is not part of valid UTF-8
    // stands for itself.
    static std::u32string foldUtf8(std::string_view text);

    // Where a place of the pattern takes any of several characters (?, #, a set).
    static constexpr char32_t anyOf = 0x110000;
    // What every matching text holds, read from the pattern itself: the runs of places
    // between two "*", in order, each standing whole somewhere in the folded text; a
    // place is the folded character it demands, or anyOf.
    std::vector<std::u32string> places() const;

    // The pattern as it was read, for writing it in another engine's terms: each token
    // matches one folded character (or, AnyRun, any run of them; "**" is one AnyRun).
    struct Range {
        char32_t first;
        char32_t last;
    };
    struct Token {
        enum Kind { Literal, AnyRun, AnyOne, Digit, Set } kind = Literal;
        char32_t ch = 0;              // Literal, already folded
        std::vector<Range> ranges;    // Set, folded, sorted and merged
        bool negated = false;         // Set
    };
    const std::vector<Token>& tokens() const { return m_tokens; }

private:
    // The tokens between two "*": found by a search that is linear in the text.
    struct Segment {
        // A run of "?" at either end only widens the segment: it is counted, not searched,
        // so "?" repeated is found in no time however long. The rest, its core, is searched.
        std::size_t lead = 0;
        std::size_t trail = 0;
        std::size_t first = 0;  // the core, into m_tokens
        std::size_t size = 0;
        bool literal = true;          // only literals: searched with KMP
        std::u32string text;          // a literal segment's characters
        std::vector<std::size_t> kmp;  // and its KMP failure table
        std::string bytes;            // and those characters in UTF-8
        // Otherwise Shift-And: which tokens take any character, a digit, a given character
        // (a bit mask for characters that come often, their places for the others, so
        // memory stays linear); the sets are tried one by one.
        std::vector<std::uint64_t> anyMask;
        std::vector<std::uint64_t> digitMask;
        std::unordered_map<char32_t, std::vector<std::uint64_t>> literalMasks;
        std::unordered_map<char32_t, std::vector<std::size_t>> literalPlaces;
        // Equal sets are tried once a character: each distinct set with the places it
        // stands at, ordered by its first place so only those in live words are tried.
        struct SetClass {
            std::size_t token;  // one of its tokens, into m_tokens
            std::vector<std::size_t> places;
        };
        std::vector<SetClass> sets;
        // A long run of "?" inside the core takes no places of the words: what matched up
        // to the place before it reaches the place after it `run` characters later, through
        // a delay line, so its length costs nothing a character.
        struct Delay {
            std::size_t place;  // the place right after the run
            std::size_t run;    // its "?"
        };
        std::vector<Delay> delays;
        std::size_t places = 0;  // the core's places in the words
    };
    // A run of "?" this long or longer inside a segment is a delay line: a few steps a
    // character, against four words' work for a run of 256 in the words.
    static constexpr std::size_t longRun = 256;

    // Text is the folded text as code points, or as UTF-8 bytes (std::string_view) when
    // it is all ASCII or the pattern has only plain characters and stars: then a byte is a
    // character, or every segment is compared and found whole as bytes.
    template <typename Text> bool matchesFolded(const Text& text) const;
    template <typename Text> std::size_t extent(const Segment& segment) const;
    template <typename Text> std::size_t coreExtent(const Segment& segment) const;
    bool tokenMatches(const Token& token, char32_t c) const;
    template <typename Text> bool segmentAt(const Segment& segment, const Text& text, std::size_t at) const;
    template <typename Text>
    std::size_t find(const Segment& segment, const Text& text, std::size_t from, std::size_t to) const;
    template <typename Text>
    std::size_t findCore(const Segment& segment, const Text& text, std::size_t from, std::size_t to) const;

    std::vector<Token> m_tokens;
    std::vector<Segment> m_segments;
    bool m_leadingStar = false;
    bool m_trailingStar = false;
    bool m_plain = false; // only plain characters and stars
};
