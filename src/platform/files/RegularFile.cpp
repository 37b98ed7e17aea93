#include "platform/files/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile {

QString problem(const QString& path) {
    if (path.isEmpty())
        return QStringLiteral("non è indicato");
    // The program's own resources are no files of the disk, and always ordinary.
    if (path.startsWith(QLatin1Char(':')))
        return QFileInfo(path).isFile() ? QString() : QStringLiteral("non esiste");
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    // stat() follows links and never opens the file, so a pipe cannot make it wait.
    if (::stat(native.constData(), &info) != 0)
        return QStringLiteral("non esiste");
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("è una cartella");
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("non è un file normale (è una pipe, un dispositivo o un socket)");
    if (::access(native.constData(), R_OK) != 0)
        return QStringLiteral("non si può leggere (permesso negato)");
    return QString();
}

QFile::Permissions modeReplacing(const QString& path) {
    const QFileInfo existing(path);
    if (existing.isFile())
        return existing.permissions();
    return QFile::ReadOwner | QFile::WriteOwner;
}

} // namespace RegularFile
