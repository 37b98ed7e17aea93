// The start-up benchmark: from exec to the first painted window, the real program (the
// property register open on a small sample database, in a temporary program folder)
// against its floor, a bare Qt program showing one label as large as the frame
// (bare_window). They are run in turn (A B A B), 7 rounds, with VELMORA_FIRST_PAINT set so
// that each writes the moment of its first paint and ends. Then, where valgrind is
// installed, each once under callgrind: the instructions executed until the first paint,
// the figure that a loaded machine does not blur. Further arguments are other builds of
// velmora to measure in the same rounds (A B C A B C...), to compare a change.
// Run it with scripts/bench.sh (under xvfb-run when there is no screen); it is not a test.

#include "Measure.h"
#include "data/folder/ProgramSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int rounds = 7;

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

struct Run {
    double ms = 0;   // exec to the first paint, wall clock
    double cpu = 0;  // processor time of the program until then
};

QProcessEnvironment firstPaintEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMORA_FIRST_PAINT"), QStringLiteral("1"));
    return environment;
}

// Starts the program and reads the line its first paint writes.
Run firstPaint(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(firstPaintEnvironment());
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

// The instructions the program executes from exec to its first paint, counted by callgrind;
// 0 when valgrind cannot be run.
double instructions(const QString& valgrind, const QString& program, const QStringList& arguments) {
    QTemporaryDir out;
    const QString file = out.filePath(QStringLiteral("callgrind.out"));
    QProcess process;
    process.setProcessEnvironment(firstPaintEnvironment());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(valgrind, QStringList{QStringLiteral("--tool=callgrind"), QStringLiteral("--callgrind-out-file=") + file,
                                        program} + arguments);
    if (!process.waitForFinished(300000))
        return 0;
    QFile counted(file);
    if (!counted.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : counted.readAll().split('\n'))
        if (line.startsWith("summary:") || line.startsWith("totals:"))
            return line.mid(line.indexOf(':') + 1).trimmed().split(' ').first().toDouble() / 1e6;
    return 0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Series {
    QString name;
    QString program;
    QStringList arguments;
    std::vector<double> ms;
    std::vector<double> cpu;

    void add(const Run& run) {
        ms.push_back(run.ms);
        cpu.push_back(run.cpu);
    }
    QString text() const {
        return QString::asprintf("%6.1f ms [%.1f-%.1f], CPU %.1f ms [%.1f-%.1f]", median(ms),
                                 *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end()),
                                 median(cpu), *std::min_element(cpu.begin(), cpu.end()),
                                 *std::max_element(cpu.begin(), cpu.end()));
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
    const QStringList velmoraArguments{QStringLiteral("--cartella"), programFolder.path()};

    std::vector<Series> measured;
    measured.push_back({QStringLiteral("velmora (finestra degli immobili)"), built + QStringLiteral("/programma/velmora"),
                        velmoraArguments, {}, {}});
    for (const QString& other : QCoreApplication::arguments().mid(1))
        measured.push_back({other, other, velmoraArguments, {}, {}});
    measured.push_back({QStringLiteral("finestra Qt con un'etichetta (minimo)"), built + QStringLiteral("/bare_window"), {}, {}, {}});
    Series& floor = measured.back();

    // Once each unmeasured: the first start also fills the disk cache, lays down the
    // report files and draws the icons into the user's cache; none of it is what a start costs.
    for (const Series& series : measured)
        firstPaint(series.program, series.arguments);
    for (int round = 0; round < rounds; ++round)
        for (Series& series : measured)
            series.add(firstPaint(series.program, series.arguments));

    std::printf("Avvio, dall'exec al primo disegno della finestra (%d prove alternate, mediana [min-max]):\n", rounds);
    for (const Series& series : measured) {
        std::printf("  %-40s %s\n", qPrintable(series.name), qPrintable(series.text()));
        if (&series != &floor)
            std::printf("  %-40s x%.2f (CPU x%.2f)\n", "  rapporto con il minimo", median(series.ms) / median(floor.ms),
                        median(series.cpu) / median(floor.cpu));
    }

    const QString valgrind = QStandardPaths::findExecutable(QStringLiteral("valgrind"));
    if (valgrind.isEmpty())
        return 0;
    std::printf("Istruzioni eseguite fino al primo disegno (callgrind, milioni):\n");
    std::vector<double> counts;
    for (const Series& series : measured)
        counts.push_back(instructions(valgrind, series.program, series.arguments));
    for (std::size_t i = 0; i < measured.size(); ++i)
        std::printf("  %-40s %7.1f M (x%.2f)\n", qPrintable(measured[i].name), counts[i], counts[i] / counts.back());
    return 0;
}
