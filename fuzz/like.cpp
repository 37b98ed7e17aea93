// The office's LIKE against a slow matcher that is plainly right: the same answer on
// every pattern and text, through both the QString and the UTF-8 (SQLite) entry and
// through the regular expression PostgreSQL is given (read here by PCRE, whose syntax
// differs only in how code points are written), and a bounded time however long the
// pattern and the text.
//
// Input: one flag byte, then texts cut at zero bytes.
//   flag even: pattern, text — compared with the reference.
//   flag odd:  body, end, text — the pattern "*" + body repeated + end + "*" grown to a
//              line edit's 32,767 characters, the text repeated to 100,000: timed only.

#include "FuzzCheck.h"
#include "LikePattern.h"
#include "PostgresPattern.h"

#include <QChar>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <vector>

namespace {

// The reference: the pattern as a list of single-character tests and "any run" marks,
// matched by dynamic programming over every (pattern position, text position) pair.
struct Test {
    bool anyRun = false;
    bool anyOne = false;
    bool digit = false;
    bool set = false;
    bool negated = false;
    char32_t literal = 0;
    std::vector<std::pair<char32_t, char32_t>> ranges;

    bool accepts(char32_t c) const {
        if (anyOne)
            return true;
        if (digit)
            return QChar::isDigit(c);
        if (set) {
            bool in = false;
            for (const auto& [low, high] : ranges)
                in = in || (low <= c && c <= high);
            return in != negated;
        }
        return c == literal;
    }
};

std::u32string folded(const QString& text) {
    std::u32string out;
    for (const char32_t c : text.toUcs4())
        out.push_back(QChar::toCaseFolded(c));
    return out;
}

std::vector<Test> compile(const QString& pattern) {
    const std::u32string p = folded(pattern);
    std::vector<Test> tests;
    for (std::size_t i = 0; i < p.size(); ++i) {
        Test t;
        const std::size_t close = p[i] == U'[' ? p.find(U']', i + 1) : std::u32string::npos;
        if (p[i] == U'*') {
            t.anyRun = true;
        } else if (p[i] == U'?') {
            t.anyOne = true;
        } else if (p[i] == U'#') {
            t.digit = true;
        } else if (close != std::u32string::npos) {
            // [abc], [a-z], [!abc]; a "[" that no "]" closes is a plain "[".
            t.set = true;
            std::size_t k = i + 1;
            if (k < close && p[k] == U'!') {
                t.negated = true;
                ++k;
            }
            while (k < close) {
                if (k + 2 < close && p[k + 1] == U'-') {
                    t.ranges.emplace_back(std::min(p[k], p[k + 2]), std::max(p[k], p[k + 2]));
                    k += 3;
                } else {
                    t.ranges.emplace_back(p[k], p[k]);
                    ++k;
                }
            }
            i = close;
        } else {
            t.literal = p[i];
        }
        tests.push_back(t);
    }
    return tests;
}

bool referenceMatches(const QString& pattern, const QString& text) {
    const std::vector<Test> tests = compile(pattern);
    const std::u32string s = folded(text);
    // can[j]: the tests from i on match the text from j on; filled from the end.
    std::vector<char> can(s.size() + 1, 0), next(s.size() + 1, 0);
    next[s.size()] = 1;  // no tests left match only the empty rest
    for (std::size_t i = tests.size(); i-- > 0;) {
        const Test& t = tests[i];
        for (std::size_t j = s.size() + 1; j-- > 0;) {
            if (t.anyRun)
                can[j] = next[j] || (j < s.size() && can[j + 1]);
            else
                can[j] = j < s.size() && t.accepts(s[j]) && next[j + 1];
        }
        std::swap(can, next);
    }
    return next[0];
}

// PostgreSQL's \uXXXX and \UXXXXXXXX as PCRE's \x{...}; its "^" and "$" (only ever at the
// ends) as PCRE's anchors that a newline does not move; "." takes newlines in both.
bool postgresMatches(const QString& pattern, const QString& text) {
    const QString written = PostgresPattern::likeRegex(pattern);
    QString regex;
    for (qsizetype i = 0; i < written.size(); ++i) {
        const QString two = written.mid(i, 2);
        const qsizetype digits = two == QLatin1String("\\u") ? 4 : two == QLatin1String("\\U") ? 8 : 0;
        if (digits == 0) {
            regex += written[i];
            continue;
        }
        regex += QStringLiteral("\\x{") + written.mid(i + 2, digits) + QLatin1Char('}');
        i += 1 + digits;
    }
    if (regex.startsWith(QLatin1Char('^')))
        regex.replace(0, 1, QStringLiteral("\\A"));
    if (regex.endsWith(QLatin1Char('$')))
        regex.replace(regex.size() - 1, 1, QStringLiteral("\\z"));
    const QRegularExpression compiled(regex, QRegularExpression::DotMatchesEverythingOption);
    FUZZ_CHECK(compiled.isValid(),
               QStringLiteral("pattern «%1»\nregex %2\n%3").arg(pattern, regex, compiled.errorString()));
    return compiled.match(text).hasMatch();
}

QString grown(const QString& piece, qsizetype length) {
    if (piece.isEmpty())
        return QString();
    QString out;
    while (out.size() < length)
        out += piece;
    return out.left(length);
}

void checkAgainstReference(const QString& pattern, const QString& text) {
    if (pattern.size() > 300 || text.size() > 2000)
        return;  // the reference is quadratic: keep it quick
    const LikePattern like(pattern);
    const bool expected = referenceMatches(pattern, text);
    const QString detail = QStringLiteral("pattern «%1»\ntext «%2»\nreference says %3").arg(pattern, text).arg(expected);
    FUZZ_CHECK(like.matches(text) == expected, detail);
    FUZZ_CHECK(like.matchesUtf8(text.toStdString()) == expected, detail + QStringLiteral(" (UTF-8)"));
    FUZZ_CHECK(postgresMatches(pattern, text) == expected,
               detail + QStringLiteral(" (PostgreSQL: %1)").arg(PostgresPattern::likeRegex(pattern)));
}

void checkBoundedTime(const QString& body, const QString& end, const QString& text) {
    constexpr qsizetype lineEditMaximum = 32767;
    const QString pattern = QLatin1Char('*') + grown(body, lineEditMaximum - 2 - end.size()) + end + QLatin1Char('*');
    const QString field = grown(text, 100000);
    const std::string utf8 = field.toStdString();
    QElapsedTimer timer;
    timer.start();
    const LikePattern like(pattern);
    const bool answer = like.matchesUtf8(utf8);
    // Linear work is a few milliseconds, also under the sanitizers; quadratic work is seconds.
    const auto checkTime = [&](const char* entry) {
        const qint64 elapsed = timer.restart();
        FUZZ_CHECK(elapsed < 1000, QStringLiteral("%1 ms through %2 for body «%3» end «%4» text «%5»")
                                       .arg(elapsed)
                                       .arg(QLatin1String(entry), body.left(80), end.left(80), text.left(80)));
    };
    checkTime("UTF-8");
    FUZZ_CHECK(like.matches(field) == answer, QStringLiteral("body «%1» end «%2» text «%3»").arg(body, end, text));
    checkTime("QString");
    // PostgreSQL is not given a pattern too long for it (an empty body leaves a short one,
    // "*o*", which it takes), and saying so is quick.
    FUZZ_CHECK(PostgresPattern::refusal(pattern).isEmpty() == (pattern.size() <= PostgresPattern::longestPattern),
               pattern.left(80));
    checkTime("PostgreSQL");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    if ((data[0] & 1) == 0) {
        const QList<QString> texts = Fuzz::texts(data + 1, size - 1, 2);
        checkAgainstReference(texts[0], texts[1]);
    } else {
        const QList<QString> texts = Fuzz::texts(data + 1, size - 1, 3);
        checkBoundedTime(texts[0], texts[1], texts[2]);
    }
    return 0;
}
