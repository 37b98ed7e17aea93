#pragma once

// What the search benchmarks share: rounds measured interleaved with their floors, the
// floors themselves (the trigram index looked up alone, a SIMD scan of the folded column
// in memory), and a keystroke into a search field of a register until it has repainted.

#include "data/sqlite/search/FastFind.h"
#include "data/sqlite/search/SearchIndex.h"
#include "data/store/RecordSource.h"
#include "data/vocabulary/LiteralRuns.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QString>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace SearchBench {

constexpr int rounds = 7;

// Wall-clock and processor times of a figure's rounds. On a machine shared with other
// work the wall clock also counts the time others held the processors; the processor
// time of the process does not.
struct Series {
    std::vector<double> ms;
    std::vector<double> cpu;
    static double median(std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0 : values[values.size() / 2];
    }
    double median() const { return median(ms); }
    double cpuMedian() const { return median(cpu); }
    double min() const { return ms.empty() ? 0 : *std::min_element(ms.begin(), ms.end()); }
    double max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

inline double processMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

inline double timeMs(const std::function<void()>& work, double* cpu = nullptr) {
    QElapsedTimer timer;
    const double cpuStart = processMs();
    timer.start();
    work();
    const double wall = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (cpu)
        *cpu = processMs() - cpuStart;
    return wall;
}

// Runs the figure and its floors in turn, round after round: A B C A B C ...
inline std::vector<Series> interleaved(const std::vector<std::function<void()>>& prepare,
                                const std::vector<std::function<void()>>& measured) {
    std::vector<Series> series(measured.size());
    for (int round = 0; round < rounds; ++round)
        for (std::size_t i = 0; i < measured.size(); ++i) {
            if (prepare[i])
                prepare[i]();
            double cpu = 0;
            series[i].ms.push_back(timeMs(measured[i], &cpu));
            series[i].cpu.push_back(cpu);
        }
    return series;
}

inline QString range(const Series& s) {
    return QString::asprintf("%7.2f ms [%.2f-%.2f] CPU %.2f", s.median(), s.min(), s.max(), s.cpuMedian());
}

inline QString ratio(const Series& figure, const Series& floor) {
    return QString::asprintf("%7.3f ms [%.3f-%.3f] x%.0f", floor.median(), floor.min(), floor.max(),
                             floor.median() > 0 ? figure.median() / floor.median() : 0.0);
}

// The floors of a search, on a connection of their own.
class Floors {
public:
    Floors(const QString& path, const char* table, const char* field) {
        sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_exec(m_db, "PRAGMA cache_size = -16384", nullptr, nullptr, nullptr);
        m_fts = SearchIndex::ftsTable(table, field).toUtf8();
        // The column folded in one block of bytes, rows ended by 0xFF: the plain scan's best case.
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(m_db, QStringLiteral("SELECT %1 FROM %2 WHERE %1 IS NOT NULL").arg(field, table).toUtf8(),
                           -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            m_column += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)))
                            .toCaseFolded()
                            .toUtf8()
                            .toStdString();
            m_column.push_back('\xFF');
        }
        sqlite3_finalize(statement);
    }
    ~Floors() { sqlite3_close(m_db); }

    // The trigram index alone: the first 128 candidates, unconfirmed. Empty when the
    // needle has no three plain characters.
    std::function<void()> index(const QString& needle) {
        const QByteArray match = SearchIndex::matchText(QLatin1Char('*') + needle + QLatin1Char('*')).toUtf8();
        if (match.isEmpty())
            return {};
        return [this, match] {
            sqlite3_stmt* statement = nullptr;
            sqlite3_prepare_v2(m_db, "SELECT rowid FROM \"" + m_fts + "\"(?) LIMIT 128", -1, &statement, nullptr);
            sqlite3_bind_text(statement, 1, match.constData(), static_cast<int>(match.size()), SQLITE_TRANSIENT);
            while (sqlite3_step(statement) == SQLITE_ROW)
                m_rows = m_rows + 1;
            sqlite3_finalize(statement);
        };
    }

    // A SIMD scan of the folded column for the needle's longest plain run: the first 128 rows holding it.
    std::function<void()> memory(const QString& needle) {
        std::string piece;
        for (const std::u32string& run : LiteralRuns::of(QLatin1Char('*') + needle + QLatin1Char('*')))
            if (LiteralRuns::utf8(run).size() > piece.size())
                piece = LiteralRuns::utf8(run);
        return [this, piece] {
            const char* at = m_column.data();
            const char* const end = at + m_column.size();
            for (int hits = 0; hits < 128 && at < end; ++hits) {
                const char* hit = FastFind::find(at, end, piece);
                if (!hit)
                    break;
                const void* rowEnd = std::memchr(hit, '\xFF', static_cast<std::size_t>(end - hit));
                at = static_cast<const char*>(rowEnd) + 1;
            }
            m_sink = at; // so the compiler keeps the work
        };
    }

    // The same SELECT as plain SQL (for the searches the acceleration does not touch).
    std::function<void()> select(const char* sql) {
        return [this, sql] {
            sqlite3_stmt* statement = nullptr;
            sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr);
            while (sqlite3_step(statement) == SQLITE_ROW)
                for (int c = 0; c < sqlite3_column_count(statement); ++c)
                    sqlite3_column_text(statement, c);
            sqlite3_finalize(statement);
        };
    }

    std::size_t columnBytes() const { return m_column.size(); }

private:
    sqlite3* m_db = nullptr;
    QByteArray m_fts;
    std::string m_column;
    const char* volatile m_sink = nullptr;
    volatile int m_rows = 0;
};

inline void settle(RecordSource& source) {
    while (source.isSearching())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}
struct Needle {
    const char* what;
    const char* prefix; // in the field before the keystroke
    char key;           // the keystroke
};

// A keystroke into a search field of a register (a key event through the application
// into the field), until the register has searched and repainted: one line a needle,
// the program beside its floors.
inline void keystrokes(QWidget& window, QLineEdit& field, RecordSource& source, Floors& floors,
                       const std::vector<Needle>& needles, const char* title) {
    field.setFocus();
    std::printf("  %-36s %-40s %-34s %s\n", title, "programma", "indice", "memoria");
    for (const Needle& needle : needles) {
        const QString text = QString::fromLatin1(needle.prefix) + QLatin1Char(needle.key);
        std::function<void()> index = floors.index(text);
        const std::vector<Series> s = interleaved({[&] {
                                                       field.setText(QString::fromLatin1(needle.prefix));
                                                       settle(source);
                                                       QCoreApplication::processEvents();
                                                   },
                                                   nullptr, nullptr},
                                                  {[&] {
                                                       QTest::keyClick(&field, needle.key);
                                                       settle(source);
                                                       window.repaint();
                                                   },
                                                   index ? index : [] {}, floors.memory(text)});
        if (field.text() != text)
            qFatal("the keystroke did not reach the field");
        std::printf("  %-36s %-40s %-34s %s\n", needle.what, qPrintable(range(s[0])),
                    index ? qPrintable(ratio(s[0], s[1])) : "     -", qPrintable(ratio(s[0], s[2])));
        std::fflush(stdout);
    }
}

} // namespace SearchBench
