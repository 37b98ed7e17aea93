// Moving an office in from its old Access archive: 100,000 properties and 1,000,000 leads
// (with their requests, visits, photos and appointments) converted by velmora-trasferisci,
// against mdb-export of the same six tables (libmdb's own exporter, to /dev/null) as the
// floor: the same reader with nothing written. Runs interleaved A B A B, each a process of
// its own: median and range of the time and of the processor time (what a loaded machine
// disturbs least), rows per second, peak memory.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Run {
    double seconds = 0;
    double processor = 0; // user and system time
    long peakKb = 0;
};

// Runs a command with its output thrown away; the time it took and its peak memory.
Run run(const QStringList& command) {
    QElapsedTimer clock;
    clock.start();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        std::vector<QByteArray> bytes;
        for (const QString& part : command)
            bytes.push_back(part.toLocal8Bit());
        std::vector<char*> argv;
        for (QByteArray& part : bytes)
            argv.push_back(part.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 3))
        qFatal("%s failed", qPrintable(command.join(' ')));
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return {clock.elapsed() / 1000.0, seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss};
}

QString summary(std::vector<Run> runs, double rows) {
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    const double median = runs[runs.size() / 2].seconds;
    long peak = 0;
    std::vector<double> processor;
    for (const Run& one : runs) {
        peak = std::max(peak, one.peakKb);
        processor.push_back(one.processor);
    }
    std::sort(processor.begin(), processor.end());
    return QStringLiteral("%1 s (%2–%3), %4 righe/s; processore %5 s (%6–%7), %8 righe/s; memoria massima %9 MB")
        .arg(median, 0, 'f', 1)
        .arg(runs.front().seconds, 0, 'f', 1)
        .arg(runs.back().seconds, 0, 'f', 1)
        .arg(qRound64(rows / median))
        .arg(processor[processor.size() / 2], 0, 'f', 1)
        .arg(processor.front(), 0, 'f', 1)
        .arg(processor.back(), 0, 'f', 1)
        .arg(qRound64(rows / processor[processor.size() / 2]))
        .arg(peak / 1024);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QString build = QCoreApplication::applicationDirPath();
    const QString folder = build + QStringLiteral("/bench-data/vecchio-ufficio-100k");
    const QString jet = folder + QStringLiteral("/daba.mdb");
    const qint64 properties = 100000;
    const qint64 leads = 1000000;
    // properties, requests (half), visits, photos (two each), leads, appointments
    const double rows = properties + properties / 2 + properties + 2 * properties + leads + properties;
    if (!QFileInfo::exists(jet)) {
        std::printf("Preparo l'archivio Access di prova (una volta sola)…\n");
        std::fflush(stdout);
        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("MDB_READER_FOLDER"), build + QStringLiteral("/mdb-reader"));
        environment.insert(QStringLiteral("NODE_OPTIONS"), QStringLiteral("--max-old-space-size=4096"));
        tool.setProcessEnvironment(environment);
        tool.setProcessChannelMode(QProcess::ForwardedChannels);
        tool.start(QStringLiteral("node"), {QStringLiteral(MAKE_LEGACY_FOLDER), QStringLiteral("--esempio"),
                                            QString::number(properties), folder + QStringLiteral(".tmp"),
                                            QStringLiteral("--notizie"), QString::number(leads)});
        if (!tool.waitForFinished(-1) || tool.exitCode() != 0)
            qFatal("make-legacy-folder failed (is mdb-reader installed? ctest -R mdb_reader_install)");
        QDir().rename(folder + QStringLiteral(".tmp"), folder);
    }
    const QString target = build + QStringLiteral("/bench-data/convertito.mdb");
    const QString tool = build + QStringLiteral("/programma/velmora-trasferisci");
    const QStringList tables = {"immobile", "richiesta", "visite", "foto", "notizie", "agenda"};

    std::vector<Run> converted;
    std::vector<Run> exported;
    for (int round = 0; round < 3; ++round) {
        QFile::remove(target);
        QFile::remove(build + QStringLiteral("/bench-data/convertito-trasferimento.txt"));
        converted.push_back(run({tool, jet, target}));
        // The floor: every table read by libmdb's own exporter, in one process as the
        // conversion does (a shell running mdb-export once per table).
        QString script;
        for (const QString& table : tables)
            script += QStringLiteral("mdb-export '%1' %2 > /dev/null; ").arg(jet, table);
        exported.push_back(run({QStringLiteral("bash"), QStringLiteral("-c"), script}));
    }
    std::printf("Conversione di un vecchio archivio Access: %s righe (%s immobili, %s notizie)\n",
                qPrintable(QLocale(QLocale::Italian).toString(qint64(rows))),
                qPrintable(QLocale(QLocale::Italian).toString(properties)),
                qPrintable(QLocale(QLocale::Italian).toString(leads)));
    std::printf("  velmora-trasferisci vecchio.mdb nuovo.mdb: %s\n", qPrintable(summary(converted, rows)));
    std::printf("  minimo, mdb-export delle sei tabelle:      %s\n", qPrintable(summary(exported, rows)));
    return 0;
}
