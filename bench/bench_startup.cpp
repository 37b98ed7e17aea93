// The start-up benchmark: from exec to the first painted window, the real program (the
// property register open on a small sample database, in a temporary program folder)
// against its floor, a bare Qt program showing one empty QMainWindow (bare_window). Both
// are run in turn (A B A B), 11 rounds, with VELMORA_FIRST_PAINT set so that each writes
// the moment of its first paint and ends. Run it with scripts/bench.sh (under xvfb-run
// when there is no screen); it is not a test.

#include "Measure.h"
#include "data/folder/ProgramSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int rounds = 11;

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

struct Run {
    double ms = 0;   // exec to the first paint, wall clock
    double cpu = 0;  // processor time of the program until then
};

// Starts the program and reads the line its first paint writes.
Run firstPaint(const QString& program, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMORA_FIRST_PAINT"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const long long start = monotonicNs();
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        qFatal("%s did not paint within a minute", qPrintable(program));
    const QList<QByteArray> line = process.readAllStandardOutput().trimmed().split(' ');
    if (line.size() != 3 || line.at(0) != "primo-disegno")
        qFatal("%s did not report its first paint", qPrintable(program));
    return {static_cast<double>(line.at(1).toLongLong() - start) / 1e6, static_cast<double>(line.at(2).toLongLong()) / 1e6};
}

struct Series {
    std::vector<double> ms;
    std::vector<double> cpu;
    static double median(std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    QString text() const {
        return QString::asprintf("%6.1f ms [%.1f-%.1f], CPU %.1f ms", median(ms), *std::min_element(ms.begin(), ms.end()),
                                 *std::max_element(ms.begin(), ms.end()), median(cpu));
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QString built = QCoreApplication::applicationDirPath();
    const QString folder = built + QStringLiteral("/bench-data");
    QDir().mkpath(folder);
    // The default sample: 200 properties, their requests, visits and drawn photos.
    const QString sample = Measure::sampleDatabase(folder + QStringLiteral("/avvio.mdb"), {});

    // A program folder as an office has it: daba.ini naming the database beside it.
    QTemporaryDir programFolder;
    const QString database = programFolder.path() + QStringLiteral("/velmora.mdb");
    if (!QFile::copy(sample, database) || !ProgramSettings(programFolder.path()).saveDatabasePath(database))
        qFatal("cannot prepare the program folder");
    const QString velmora = built + QStringLiteral("/programma/velmora");
    const QStringList velmoraArguments{QStringLiteral("--cartella"), programFolder.path()};
    const QString bare = built + QStringLiteral("/bare_window");

    // Once each unmeasured: the first start also fills the disk cache and lays down the
    // report files; neither is what a start costs.
    firstPaint(velmora, velmoraArguments);
    firstPaint(bare, {});

    Series program, floor;
    for (int round = 0; round < rounds; ++round) {
        const Run a = firstPaint(velmora, velmoraArguments);
        program.ms.push_back(a.ms);
        program.cpu.push_back(a.cpu);
        const Run b = firstPaint(bare, {});
        floor.ms.push_back(b.ms);
        floor.cpu.push_back(b.cpu);
    }
    std::printf("Avvio, dall'exec al primo disegno della finestra (%d prove alternate, mediana [min-max]):\n", rounds);
    std::printf("  %-34s %s\n", "velmora (finestra degli immobili)", qPrintable(program.text()));
    std::printf("  %-34s %s\n", "finestra Qt vuota (minimo)", qPrintable(floor.text()));
    std::printf("  %-34s x%.2f (CPU x%.2f)\n", "rapporto", Series::median(program.ms) / Series::median(floor.ms),
                Series::median(program.cpu) / Series::median(floor.cpu));
    return 0;
}
