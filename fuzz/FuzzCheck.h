#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Shared by the fuzz targets: a broken promise of the code under test is printed and
// ends the run with abort(), so libFuzzer keeps the input and the replay sees a crash.
[[noreturn]] inline void fuzzFailure(const char* promise, const QString& detail) {
    std::fprintf(stderr, "FUZZ FAILURE: %s\n%s\n", promise, detail.left(1500).toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(condition, detail)                                                                                  \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            fuzzFailure(#condition, (detail));                                                                         \
    } while (0)

namespace Fuzz {

// Some of the code under test (SQL drivers, plugins) wants an application object.
inline void ensureApplication() {
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);  // lives as long as the process
}

inline QByteArray bytes(const uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// UTF-8 to text, keeping a leading U+FEFF as a character (QString::fromUtf8 drops it).
inline QString text(const QByteArray& utf8) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(utf8);
}

// An input cut into texts at its zero bytes (at most `count` of them; the last takes the rest).
inline QList<QString> texts(const uint8_t* data, std::size_t size, int count) {
    QList<QString> result;
    const QByteArray all = bytes(data, size);
    qsizetype start = 0;
    while (result.size() < count - 1) {
        const qsizetype zero = all.indexOf('\0', start);
        if (zero < 0)
            break;
        result << text(all.mid(start, zero - start));
        start = zero + 1;
    }
    result << text(all.mid(start));
    while (result.size() < count)
        result << QString();
    return result;
}

// Where the targets may write files: memory when the system has it, so a sync costs nothing.
inline QString scratchRoot() {
    return QFile::exists(QStringLiteral("/dev/shm")) ? QStringLiteral("/dev/shm") : QDir::tempPath();
}

} // namespace Fuzz
