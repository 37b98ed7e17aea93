#include "LikePattern.h"

#include <QChar>
#include <QList>
#include <algorithm>

namespace {

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Decodes UTF-8 into folded code points; an invalid byte stands for itself.
std::u32string foldedUtf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
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
        out.push_back(LikePattern::fold(c));
        i += extra + 1;
    }
    return out;
}

std::u32string foldedQString(const QString& text) {
    std::u32string out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4())
        out.push_back(LikePattern::fold(c));
    return out;
}

} // namespace

char32_t LikePattern::fold(char32_t c) {
    if (c < 0x80)
        return static_cast<char32_t>(asciiLower(static_cast<char>(c)));
    return QChar::toCaseFolded(c);
}

LikePattern::LikePattern(const QString& pattern) {
    const std::u32string p = foldedQString(pattern);
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
        } else if (c == U'[' && p.find(U']', i + 1) != std::u32string::npos) {
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
        } else {
            token.ch = c;
        }
        m_tokens.push_back(std::move(token));
    }

    // The quick searches all have the shape "*text*".
    if (m_tokens.size() >= 2 && m_tokens.front().kind == Token::AnyRun && m_tokens.back().kind == Token::AnyRun) {
        m_asciiContains = std::all_of(m_tokens.begin() + 1, m_tokens.end() - 1,
                                      [](const Token& t) { return t.kind == Token::Literal && t.ch < 0x80; });
        if (m_asciiContains)
            for (auto t = m_tokens.begin() + 1; t != m_tokens.end() - 1; ++t)
                m_asciiNeedle.push_back(static_cast<char>(t->ch));
    }
}

bool LikePattern::matches(const QString& text) const {
    return matchesFolded(foldedQString(text));
}

bool LikePattern::matchesUtf8(std::string_view text) const {
    if (m_asciiContains) {
        const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (ascii) {
            if (m_asciiNeedle.empty())
                return true;
            const auto found = std::search(text.begin(), text.end(), m_asciiNeedle.begin(), m_asciiNeedle.end(),
                                           [](char a, char b) { return asciiLower(a) == b; });
            return found != text.end();
        }
    }
    return matchesFolded(foldedUtf8(text));
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
        const bool inSet = std::any_of(token.ranges.begin(), token.ranges.end(),
                                       [c](const Range& r) { return c >= r.first && c <= r.last; });
        return inSet != token.negated;
    }
    case Token::AnyRun:
        break;
    }
    return false;
}

bool LikePattern::matchesFolded(const std::u32string& text) const {
    // Wildcard matching with backtracking to the last "*" only: linear in practice.
    std::size_t t = 0, p = 0;
    std::size_t starToken = std::u32string::npos, starText = 0;
    while (t < text.size()) {
        if (p < m_tokens.size() && m_tokens[p].kind == Token::AnyRun) {
            starToken = p++;
            starText = t;
        } else if (p < m_tokens.size() && tokenMatches(m_tokens[p], text[t])) {
            ++p;
            ++t;
        } else if (starToken != std::u32string::npos) {
            p = starToken + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < m_tokens.size() && m_tokens[p].kind == Token::AnyRun)
        ++p;
    return p == m_tokens.size();
}
