// The office's LIKE on long needles: a 32,768-character needle (a line edit's maximum)
// against a 100,000-character field, the worst shapes for a matcher that backtracks.
// Each is set beside the floor: memmem of the same needle in the same bytes (glibc's
// two-way search, linear, case-sensitive), measured interleaved. Run it with
// scripts/bench.sh; it is not a test.

#include "data/vocabulary/LikePattern.h"

#include <QElapsedTimer>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int runs = 9;

struct Times {
    std::vector<double> ms;
    void add(const std::function<void()>& work) {
        QElapsedTimer timer;
        timer.start();
        work();
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    QString summary() {
        std::sort(ms.begin(), ms.end());
        return QStringLiteral("median %1 ms (%2-%3)")
            .arg(ms[ms.size() / 2], 0, 'f', 3)
            .arg(ms.front(), 0, 'f', 3)
            .arg(ms.back(), 0, 'f', 3);
    }
};

volatile bool sink;

void compare(const char* name, const QString& pattern, const std::string& text, const std::string& needle) {
    const LikePattern like(pattern);
    Times figure, floor;
    for (int i = 0; i < runs; ++i) {  // A B A B
        figure.add([&] { sink = like.matchesUtf8(text); });
        floor.add([&] { sink = memmem(text.data(), text.size(), needle.data(), needle.size()) != nullptr; });
    }
    std::printf("%-44s LIKE %s   floor %s\n", name, qPrintable(figure.summary()), qPrintable(floor.summary()));
}

} // namespace

int main() {
    const std::string needle = std::string(32767, 'a') + 'b';
    const std::string ascii(100000, 'a');
    compare("ASCII, *aaa..ab* (no match)", QStringLiteral("*%1*").arg(QString::fromStdString(needle)), ascii, needle);

    std::string accented;
    for (int i = 0; i < 50000; ++i)
        accented += "\xc3\xa8";  // è, two bytes each
    const std::string accentedNeedle = [] {
        std::string n;
        for (int i = 0; i < 16383; ++i)
            n += "\xc3\xa8";
        return n + "b";
    }();
    compare("accented text, *èèè..b* (no match)", QStringLiteral("*%1*").arg(QString::fromStdString(accentedNeedle)),
            accented, accentedNeedle);

    compare("ASCII, *aaa..?..ab* with a ? (no match)",
            QStringLiteral("*%1?%2*").arg(QString(16000, 'a'), QString::fromStdString(needle.substr(16001))), ascii,
            needle);

    // The same shape on ordinary text: partial matches die at once.
    std::string prose;
    while (prose.size() < 100000)
        prose += "Appartamento luminoso in centro, terzo piano con ascensore, due camere e doppi servizi. ";
    std::string question = prose.substr(500, 32768);
    question[16000] = '?';
    compare("prose, a 32,768-character part with a ? (found)", QStringLiteral("*%1*").arg(QString::fromStdString(question)),
            prose, prose.substr(500, 16000));
    return 0;
}
