#include "data/vocabulary/LikePattern.h"

#include "data/vocabulary/Utf8.h"

#include <QChar>
#include <QList>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <type_traits>

namespace {

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// The character at text[i] and the bytes it takes; an invalid byte stands for itself.
char32_t decodeAt(std::string_view text, std::size_t i, std::size_t& taken) {
    const auto b = static_cast<unsigned char>(text[i]);
    char32_t c = b;
    std::size_t extra = 0;
    if (b >= 0xF0 && b < 0xF8) {
        c = b & 0x07;
        extra = 3;
    } else if (b >= 0xE0 && b < 0xF0) {
        c = b & 0x0F;
        extra = 2;
    } else if (b >= 0xC0 && b < 0xE0) {
        c = b & 0x1F;
        extra = 1;
    }
    bool valid = i + extra < text.size();  // a sequence cut short by the end
    for (std::size_t k = 1; valid && k <= extra; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            valid = false;
            break;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (!valid) {
        c = b;
        extra = 0;
    }
    taken = extra + 1;
    return c;
}

// Decodes UTF-8 into folded code points.
std::u32string foldedUtf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0, taken = 0; i < text.size(); i += taken)
        out.push_back(LikePattern::fold(decodeAt(text, i, taken)));
    return out;
}


// The KMP failure table: for each prefix, the length of its longest proper border.
template <typename Char, typename Equal>
std::vector<std::size_t> failureTable(const Char* needle, std::size_t size, Equal equal) {
    std::vector<std::size_t> table(size, 0);
    for (std::size_t i = 1, k = 0; i < size; ++i) {
        while (k > 0 && !equal(needle[i], needle[k]))
            k = table[k - 1];
        if (equal(needle[i], needle[k]))
            ++k;
        table[i] = k;
    }
    return table;
}

// The first place in text[from, to) where the needle starts, or npos; linear in both.
template <typename Char, typename Text, typename Equal>
std::size_t kmpFind(const Char* needle, std::size_t size, const std::vector<std::size_t>& table, const Text& text,
                    std::size_t from, std::size_t to, Equal equal) {
    if (size == 0)
        return from;
    for (std::size_t i = from, k = 0; i < to; ++i) {
        while (k > 0 && !equal(text[i], needle[k]))
            k = table[k - 1];
        if (equal(text[i], needle[k]))
            ++k;
        if (k == size)
            return i + 1 - size;
    }
    return std::string::npos;
}

std::u32string foldedQString(const QString& text) {
    std::u32string out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4())
        out.push_back(LikePattern::fold(c));
    return out;
}

} // namespace

std::u32string LikePattern::foldUtf8(std::string_view text) {
    return foldedUtf8(text);
}

std::vector<std::u32string> LikePattern::places() const {
    std::vector<std::u32string> runs;
    for (const Segment& segment : m_segments) {
        std::u32string run(segment.lead, anyOf);
        for (std::size_t k = 0; k < segment.size; ++k) {
            const Token& token = m_tokens[segment.first + k];
            run.push_back(token.kind == Token::Literal ? token.ch : anyOf);
        }
        run.append(segment.trail, anyOf);
        runs.push_back(std::move(run));
    }
    return runs;
}

char32_t LikePattern::fold(char32_t c) {
    if (c < 0x80)
        return static_cast<char32_t>(asciiLower(static_cast<char>(c)));
    return QChar::toCaseFolded(c);
}

LikePattern::LikePattern(const QString& pattern) {
    const std::u32string p = foldedQString(pattern);
    // A "[" is a class only if a "]" follows somewhere; looking that up from every "[" was
    // quadratic on a long pattern full of unclosed brackets.
    const std::size_t lastClose = p.rfind(U']');
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char32_t c = p[i];
        Token token;
        token.kind = Token::Literal;
        if (c == U'*') {
            if (!m_tokens.empty() && m_tokens.back().kind == Token::AnyRun)
                continue;  // "**" is "*"
            token.kind = Token::AnyRun;
        } else if (c == U'?') {
            token.kind = Token::AnyOne;
        } else if (c == U'#') {
            token.kind = Token::Digit;
        } else if (c == U'[' && lastClose != std::u32string::npos && i < lastClose) {
            const std::size_t close = p.find(U']', i + 1);
            std::size_t k = i + 1;
            token.kind = Token::Set;
            if (k < close && p[k] == U'!') {
                token.negated = true;
                ++k;
            }
            for (; k < close; ++k) {
                if (k + 2 < close && p[k + 1] == U'-') {
                    token.ranges.push_back({std::min(p[k], p[k + 2]), std::max(p[k], p[k + 2])});
                    k += 2;
                } else {
                    token.ranges.push_back({p[k], p[k]});
                }
            }
            i = close;
            // Sorted and merged, a set is tried by a binary search however long it was
            // written; "[!]" takes any character and "[x]" is just "x".
            std::sort(token.ranges.begin(), token.ranges.end(),
                      [](const Range& a, const Range& b) { return a.first < b.first; });
            std::vector<Range> merged;
            for (const Range& r : token.ranges) {
                if (!merged.empty() && r.first <= merged.back().last + 1)
                    merged.back().last = std::max(merged.back().last, r.last);
                else
                    merged.push_back(r);
            }
            token.ranges = std::move(merged);
            if (token.negated && token.ranges.empty()) {
                token.kind = Token::AnyOne;
            } else if (!token.negated && token.ranges.size() == 1 && token.ranges[0].first == token.ranges[0].last) {
                token.kind = Token::Literal;
                token.ch = token.ranges[0].first;
                token.ranges.clear();
            }
        } else {
            token.ch = c;
        }
        m_tokens.push_back(std::move(token));
    }

    // The segments between the stars.
    m_leadingStar = !m_tokens.empty() && m_tokens.front().kind == Token::AnyRun;
    m_trailingStar = !m_tokens.empty() && m_tokens.back().kind == Token::AnyRun;
    for (std::size_t i = 0; i < m_tokens.size();) {
        if (m_tokens[i].kind == Token::AnyRun) {
            ++i;
            continue;
        }
        Segment segment;
        segment.first = i;
        while (i < m_tokens.size() && m_tokens[i].kind != Token::AnyRun)
            ++i;
        while (segment.first < i && m_tokens[segment.first].kind == Token::AnyOne) {
            ++segment.first;
            ++segment.lead;
        }
        while (i - segment.trail > segment.first && m_tokens[i - segment.trail - 1].kind == Token::AnyOne)
            ++segment.trail;
        segment.size = i - segment.trail - segment.first;
        for (std::size_t k = segment.first; k < segment.first + segment.size; ++k)
            segment.literal = segment.literal && m_tokens[k].kind == Token::Literal;
        if (segment.literal) {
            for (std::size_t k = segment.first; k < segment.first + segment.size; ++k)
                segment.text.push_back(m_tokens[k].ch);
            segment.kmp = failureTable(segment.text.data(), segment.text.size(), std::equal_to<char32_t>());
            for (const char32_t c : segment.text)
                Utf8::append(segment.bytes, c);
        } else {
            // The core's places: each token but those of a long run of "?", which becomes a
            // delay before the place after it (the core neither starts nor ends with "?").
            constexpr std::size_t inRun = std::string::npos;
            std::vector<std::size_t> placeOf(segment.size, inRun);
            for (std::size_t k = 0; k < segment.size;) {
                std::size_t run = 0;
                while (k + run < segment.size && m_tokens[segment.first + k + run].kind == Token::AnyOne)
                    ++run;
                if (run >= longRun) {
                    segment.delays.push_back({segment.places, run});
                    k += run;
                    continue;
                }
                for (const std::size_t end = k + std::max<std::size_t>(run, 1); k < end; ++k)
                    placeOf[k] = segment.places++;
            }
            const std::size_t words = (segment.places + 63) / 64;
            segment.anyMask.assign(words, 0);
            segment.digitMask.assign(words, 0);
            std::unordered_map<std::u32string, std::size_t> setIndex;
            for (std::size_t t = 0; t < segment.size; ++t) {
                if (placeOf[t] == inRun)
                    continue;
                const std::size_t k = placeOf[t];
                const Token& token = m_tokens[segment.first + t];
                const std::uint64_t bit = std::uint64_t(1) << (k % 64);
                switch (token.kind) {
                case Token::Literal:
                    segment.literalPlaces[token.ch].push_back(k);
                    break;
                case Token::AnyOne:
                    segment.anyMask[k / 64] |= bit;
                    break;
                case Token::Digit:
                    segment.digitMask[k / 64] |= bit;
                    break;
                case Token::Set: {
                    std::u32string key(1, token.negated ? U'!' : U'+');
                    for (const Range& r : token.ranges)
                        key += std::u32string{r.first, r.last};
                    const auto [known, added] = setIndex.try_emplace(std::move(key), segment.sets.size());
                    if (added)
                        segment.sets.push_back({segment.first + t, {}});
                    segment.sets[known->second].places.push_back(k);
                    break;
                }
                case Token::AnyRun:
                    break;
                }
            }
            // At most size/words characters come `words` times or more, and each mask
            // takes 8 * words bytes: 8 bytes a token in all.
            for (auto it = segment.literalPlaces.begin(); it != segment.literalPlaces.end();) {
                if (it->second.size() < words) {
                    ++it;
                    continue;
                }
                auto& mask = segment.literalMasks[it->first];
                mask.assign(words, 0);
                for (const std::size_t k : it->second)
                    mask[k / 64] |= std::uint64_t(1) << (k % 64);
                it = segment.literalPlaces.erase(it);
            }
        }
        m_segments.push_back(std::move(segment));
    }
    m_plain = std::all_of(m_tokens.begin(), m_tokens.end(),
                          [](const Token& t) { return t.kind == Token::Literal || t.kind == Token::AnyRun; });
}

bool LikePattern::matches(const QString& text) const {
    return matchesFolded(foldedQString(text));
}

bool LikePattern::matchesUtf8(std::string_view text) const {
    // Nearly all stored text is ASCII, which folds byte by byte, eight at a time: no
    // decoding, no string of code points, and the plain pieces are found with memchr. A
    // pattern of plain pieces and stars is matched on the folded text as UTF-8 bytes,
    // whatever it holds. Folded on the stack for the usual short texts: a character never
    // takes more bytes folded than 4 for each byte it had.
    constexpr std::size_t onStack = 1024;
    char stack[onStack];
    std::string heap;
    char* folded = stack;
    if (text.size() > onStack / 4) {
        heap.resize(4 * text.size());
        folded = heap.data();
    }
    constexpr std::uint64_t high = 0x8080808080808080ULL;
    std::size_t size = 0;
    for (std::size_t i = 0, taken = 0; i < text.size(); i += taken) {
        if (i + 8 <= text.size()) {
            std::uint64_t word;
            std::memcpy(&word, text.data() + i, 8);
            if (!(word & high)) {
                // A top bit from 'A' on, and from the byte after 'Z' on: between them, a
                // capital, which takes the 0x20 bit. No byte carries into the next.
                const std::uint64_t fromA = word + 0x3F3F3F3F3F3F3F3FULL;
                const std::uint64_t pastZ = word + 0x2525252525252525ULL;
                word |= ((fromA ^ pastZ) & high) >> 2;
                std::memcpy(folded + size, &word, 8);
                size += 8;
                taken = 8;
                continue;
            }
        }
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            folded[size++] = static_cast<char>(b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b);
            taken = 1;
            continue;
        }
        if (!m_plain) // a byte is no longer a character
            return matchesFolded(foldedUtf8(text));
        struct Writer {
            char* at;
            void push_back(char c) { *at++ = c; }
        } writer{folded + size};
        Utf8::append(writer, fold(decodeAt(text, i, taken)));
        size = static_cast<std::size_t>(writer.at - folded);
    }
    return matchesFolded(std::string_view(folded, size));
}

bool LikePattern::tokenMatches(const Token& token, char32_t c) const {
    switch (token.kind) {
    case Token::Literal:
        return token.ch == c;
    case Token::AnyOne:
        return true;
    case Token::Digit:
        return QChar::isDigit(c);
    case Token::Set: {
        // The last range that starts at or before c is the only one that may hold it.
        const auto after = std::upper_bound(token.ranges.begin(), token.ranges.end(), c,
                                            [](char32_t value, const Range& r) { return value < r.first; });
        const bool inSet = after != token.ranges.begin() && c <= std::prev(after)->last;
        return inSet != token.negated;
    }
    case Token::AnyRun:
        break;
    }
    return false;
}

// A text in bytes (std::string_view) is ASCII whenever the pattern has a "?": a byte is then
// a character, and the "?" at a segment's ends count as bytes.
template <typename Text>
std::size_t LikePattern::coreExtent(const Segment& segment) const {
    if constexpr (std::is_same_v<Text, std::string_view>)
        return segment.literal ? segment.bytes.size() : segment.size;
    return segment.size;
}

template <typename Text>
std::size_t LikePattern::extent(const Segment& segment) const {
    return segment.lead + coreExtent<Text>(segment) + segment.trail;
}

template <typename Text>
bool LikePattern::segmentAt(const Segment& segment, const Text& text, std::size_t at) const {
    if (at + extent<Text>(segment) > text.size())
        return false;
    at += segment.lead;
    if constexpr (std::is_same_v<Text, std::string_view>)
        if (segment.literal)
            return text.substr(at).starts_with(segment.bytes);
    for (std::size_t k = 0; k < segment.size; ++k)
        if (!tokenMatches(m_tokens[segment.first + k], static_cast<char32_t>(text[at + k])))
            return false;
    return true;
}

// The first place in text[from, to) where the segment matches whole, or npos: its core
// found with the "?" of its ends before and after it.
template <typename Text>
std::size_t LikePattern::find(const Segment& segment, const Text& text, std::size_t from, std::size_t to) const {
    if (to < from || to - from < extent<Text>(segment))
        return std::string::npos;
    if (segment.size == 0)
        return from;
    const std::size_t core = findCore(segment, text, from + segment.lead, to - segment.trail);
    return core == std::string::npos ? core : core - segment.lead;
}

template <typename Text>
std::size_t LikePattern::findCore(const Segment& segment, const Text& text, std::size_t from, std::size_t to) const {
    if (to < from || to - from < coreExtent<Text>(segment))
        return std::string::npos;
    if constexpr (std::is_same_v<Text, std::string_view>) {
        if (segment.literal) {
            // glibc's memmem is linear however long the piece and the text.
            const void* at = memmem(text.data() + from, to - from, segment.bytes.data(), segment.bytes.size());
            return at ? static_cast<std::size_t>(static_cast<const char*>(at) - text.data()) : std::string::npos;
        }
    } else if (segment.literal) {
        return kmpFind(segment.text.data(), segment.size, segment.kmp, text, from, to, std::equal_to<char32_t>());
    }

    // Shift-And: bit k of the state says the segment's first places up to k match just
    // before here. Only the words up to the highest live bit are worked on: in most texts
    // partial matches die at once and the search is linear; at worst it takes places/64
    // word operations a character, however long the runs of "?" (see Delay).
    const std::size_t words = segment.anyMask.size();
    std::vector<std::uint64_t> state(words, 0);
    std::vector<std::uint64_t> accepts(words);
    const std::size_t last = segment.places - 1;
    const auto bitAt = [&state](std::size_t place) { return state[place / 64] >> (place % 64) & 1; };
    // A delay's line: whether the place before its run matched, for the last run + 1
    // characters, read `run` characters later as the start of the place after it.
    std::vector<std::vector<std::uint8_t>> lines;
    std::vector<std::size_t> pending;  // ones in each line
    std::vector<std::uint8_t> arrives;
    for (const Segment::Delay& delay : segment.delays)
        lines.emplace_back(delay.run + 1, 0);
    pending.assign(segment.delays.size(), 0);
    arrives.assign(segment.delays.size(), 0);
    std::size_t busy = 0;  // delays[d] has nothing in its line for every d >= busy
    std::size_t live = 0;  // state[w] is 0 for every w >= live
    for (std::size_t i = from, step = 0; i < to; ++i, ++step) {
        const auto c = static_cast<char32_t>(text[i]);
        std::size_t span = std::min(words, live + 1);
        // The delays that matter now: a line that holds a match, or whose run follows a live place.
        std::size_t visited = 0;
        for (; visited < segment.delays.size(); ++visited) {
            const Segment::Delay& delay = segment.delays[visited];
            if (visited >= busy && (delay.place - 1) / 64 >= span)
                break;
            arrives[visited] = pending[visited] ? lines[visited][step % (delay.run + 1)] : 0;
            if (arrives[visited])
                span = std::max(span, delay.place / 64 + 1);
        }
        const auto found = segment.literalMasks.find(c);
        const std::uint64_t* literal = found != segment.literalMasks.end() ? found->second.data() : nullptr;
        const std::uint64_t digit = QChar::isDigit(c) ? ~std::uint64_t(0) : 0;
        if (literal)
            for (std::size_t w = 0; w < span; ++w)
                accepts[w] = segment.anyMask[w] | (segment.digitMask[w] & digit) | literal[w];
        else
            for (std::size_t w = 0; w < span; ++w)
                accepts[w] = segment.anyMask[w] | (segment.digitMask[w] & digit);
        if (const auto places = literal ? segment.literalPlaces.end() : segment.literalPlaces.find(c);
            places != segment.literalPlaces.end())
            for (const std::size_t k : places->second)  // fewer than `words` of them
                if (k / 64 < span)
                    accepts[k / 64] |= std::uint64_t(1) << (k % 64);
        for (const auto& set : segment.sets) {
            if (set.places.front() / 64 >= span)
                break;
            if (tokenMatches(m_tokens[set.token], c))
                for (const std::size_t k : set.places) {
                    if (k / 64 >= span)
                        break;
                    accepts[k / 64] |= std::uint64_t(1) << (k % 64);
                }
        }
        std::uint64_t carry = 1;  // a match may start at every character
        for (std::size_t w = 0; w < span; ++w) {
            const std::uint64_t next = state[w] >> 63;
            state[w] = ((state[w] << 1) | carry) & accepts[w];
            carry = next;
        }
        // The place after a run takes what its line brings, not the place before it.
        for (std::size_t d = 0; d < visited; ++d) {
            const std::size_t place = segment.delays[d].place;
            const std::uint64_t bit = std::uint64_t(1) << (place % 64);
            state[place / 64] = (state[place / 64] & ~bit) | (arrives[d] ? accepts[place / 64] & bit : 0);
        }
        busy = 0;
        for (std::size_t d = 0; d < visited; ++d) {
            const Segment::Delay& delay = segment.delays[d];
            const auto leaves = static_cast<std::uint8_t>(bitAt(delay.place - 1));
            lines[d][step % (delay.run + 1)] = leaves;
            pending[d] = pending[d] + leaves - arrives[d];
            if (pending[d])
                busy = d + 1;
        }
        live = span;
        while (live > 0 && state[live - 1] == 0)
            --live;
        if (last / 64 < live && bitAt(last))
            return i + 1 - segment.size;
    }
    return std::string::npos;
}

template <typename Text>
bool LikePattern::matchesFolded(const Text& text) const {
    if (m_segments.empty())  // "" matches only "", "*" anything
        return m_leadingStar || text.empty();
    if (!m_leadingStar && !m_trailingStar && m_segments.size() == 1)  // no star at all
        return text.size() == extent<Text>(m_segments.front()) && segmentAt(m_segments.front(), text, 0);

    // The first segment at the start, the last at the end, those between each at its
    // leftmost place after the one before: a greedy reading is as good as any for "*".
    std::size_t from = 0;
    std::size_t end = text.size();
    std::size_t first = 0, last = m_segments.size();
    if (!m_leadingStar) {
        if (!segmentAt(m_segments.front(), text, 0))
            return false;
        from = extent<Text>(m_segments.front());
        ++first;
    }
    if (!m_trailingStar) {
        const Segment& tail = m_segments.back();
        const std::size_t tailSize = extent<Text>(tail);
        if (last <= first || text.size() < from + tailSize || !segmentAt(tail, text, text.size() - tailSize))
            return false;
        end = text.size() - tailSize;
        --last;
    }
    for (std::size_t s = first; s < last; ++s) {
        const std::size_t at = find(m_segments[s], text, from, end);
        if (at == std::string::npos)
            return false;
        from = at + extent<Text>(m_segments[s]);
    }
    return true;
}
