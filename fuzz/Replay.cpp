// Replays fuzz inputs without libFuzzer: every file given (or found in the folders
// given) runs once through LLVMFuzzerTestOneInput in a child process, so a crash or a
// hang is reported per input and the rest still run.
//
//   replay_x [--expected FILE] [--timeout SECONDS] PATH...
//
// FILE lists inputs known to fail until a fault is mended, one "target/name" a line
// (text after # is a comment). Such an input failing is expected; such an input that
// passes fails the replay, so the line gets removed together with the fault.

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <csignal>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

QSet<QString> readExpected(const QString& path) {
    QSet<QString> expected;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        std::exit(2);
    }
    for (QString line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        line = line.section(QLatin1Char('#'), 0, 0).trimmed();
        if (!line.isEmpty())
            expected.insert(line);
    }
    return expected;
}

// Runs one input in a child; true when it passed.
bool passes(const QString& path, int timeout) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray input = file.readAll();
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        alarm(static_cast<unsigned>(timeout));
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.constData()), static_cast<std::size_t>(input.size()));
        std::fflush(nullptr);
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return false;
    if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "  %s: %s\n", qPrintable(path),
                     WTERMSIG(status) == SIGALRM ? "did not finish in time" : strsignal(WTERMSIG(status)));
        return false;
    }
    return WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QSet<QString> expected;
    int timeout = 60;
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--expected") && i + 1 < argc) {
            expected = readExpected(QString::fromLocal8Bit(argv[++i]));
        } else if (arg == QLatin1String("--timeout") && i + 1 < argc) {
            timeout = QString::fromLocal8Bit(argv[++i]).toInt();
        } else if (QFileInfo(arg).isDir()) {
            QStringList found;
            QDirIterator it(arg, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                found << it.next();
            found.sort();
            files << found;
        } else {
            files << arg;
        }
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 2;
    }

    int failed = 0, expectedFailures = 0;
    for (const QString& path : std::as_const(files)) {
        const QFileInfo info(path);
        const QString name = info.dir().dirName() + QLatin1Char('/') + info.fileName();
        const bool ok = passes(path, timeout);
        const bool known = expected.contains(name);
        if (ok && known) {
            std::printf("XPASS %s: the fault is mended, remove it from the expected failures\n", qPrintable(name));
            ++failed;
        } else if (!ok && known) {
            std::printf("XFAIL %s\n", qPrintable(name));
            ++expectedFailures;
        } else if (!ok) {
            std::printf("FAIL  %s\n", qPrintable(name));
            ++failed;
        }
    }
    std::printf("%lld inputs replayed, %d failed, %d expected failures\n", static_cast<long long>(files.size()), failed,
                expectedFailures);
    return failed == 0 ? 0 : 1;
}
