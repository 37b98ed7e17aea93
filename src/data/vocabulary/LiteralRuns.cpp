#include "data/vocabulary/LiteralRuns.h"

#include "data/vocabulary/LikePattern.h"
#include "data/vocabulary/Utf8.h"

#include <QList>

namespace LiteralRuns {

std::vector<std::u32string> of(const QString& pattern) {
    std::u32string p;
    for (const char32_t c : pattern.toUcs4())
        p.push_back(LikePattern::fold(c));
    std::vector<std::u32string> runs;
    std::u32string run;
    const auto endRun = [&] {
        if (!run.empty())
            runs.push_back(run);
        run.clear();
    };
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char32_t c = p[i];
        if (c == U'[') {
            // A set runs to the first "]" after it; with none, "[" is a plain character.
            const std::size_t close = p.find(U']', i + 1);
            if (close != std::u32string::npos)
                i = close;
            endRun();
        } else if (c == U'*' || c == U'?' || c == U'#' || c == U']') {
            endRun();
        } else {
            run.push_back(c);
        }
    }
    endRun();
    return runs;
}

bool onlyContains(const QString& pattern) {
    for (const QChar c : pattern)
        if (c == u'?' || c == u'#' || c == u'[' || c == u']')
            return false;
    return true;
}

std::string utf8(const std::u32string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t c : text)
        Utf8::append(out, c);
    return out;
}

} // namespace LiteralRuns
