#include "platform/files/FileCopy.h"

#include "platform/files/AtomicWrite.h"
#include "platform/files/FileError.h"
#include "platform/files/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace FileCopy {

Result copy(const QString& source, const QString& destination) {
    const auto failure = [&](const QString& reason) {
        return Result::failure(QStringLiteral("Impossibile copiare «%1» in «%2»: %3.").arg(source, destination, reason));
    };

    if (source.isEmpty())
        return failure(QStringLiteral("il percorso del file da copiare è vuoto"));
    if (destination.isEmpty())
        return failure(QStringLiteral("il percorso di destinazione è vuoto"));
    if (!QFileInfo::exists(source))
        return failure(QStringLiteral("il file da copiare non esiste"));
    if (const QString problem = RegularFile::problem(source); !problem.isEmpty())
        return failure(QStringLiteral("il file da copiare ") + problem);
    if (QFileInfo(source).canonicalFilePath() == QFileInfo(destination).canonicalFilePath())
        return failure(QStringLiteral("origine e destinazione sono lo stesso file"));

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return failure(FileError::describe(in));

    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return failure(FileError::describe(out));

    QByteArray buffer(1 << 20, Qt::Uninitialized);
    bool allWritten = true;
    while (allWritten) {
        const qint64 read = in.read(buffer.data(), buffer.size());
        if (read < 0) {
            out.cancelWriting();
            return failure(FileError::describe(in));
        }
        if (read == 0)
            break;
        allWritten = out.write(buffer.constData(), read) == read;
    }
    if (const std::optional<QString> reason = AtomicWrite::commit(out, allWritten))
        return failure(*reason);
    return Result::success();
}

} // namespace FileCopy
