#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

// What the benchmarks share: the process's resident memory and the sample databases.
namespace Measure {

inline long residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// A sample database made once by velmora-esempio with these options, kept for later runs.
inline QString sampleDatabase(const QString& path, const QStringList& options) {
    if (QFileInfo::exists(path))
        return path;
    const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/programma/velmora-esempio");
    if (QProcess::execute(tool, QStringList{"--database", path + ".tmp"} + options) != 0 || !QFile::rename(path + ".tmp", path))
        qFatal("velmora-esempio failed");
    return path;
}

} // namespace Measure
