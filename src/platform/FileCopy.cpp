#include "FileCopy.h"

#include "AtomicWrite.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace FileCopy {

QString describe(QFileDevice::FileError error) {
    switch (error) {
    case QFileDevice::NoError:
        return QStringLiteral("nessun errore");
    case QFileDevice::ReadError:
        return QStringLiteral("errore di lettura");
    case QFileDevice::WriteError:
        return QStringLiteral("errore di scrittura (il disco potrebbe essere pieno)");
    case QFileDevice::ResourceError:
        return QStringLiteral("spazio su disco esaurito o risorse insufficienti");
    case QFileDevice::PermissionsError:
        return QStringLiteral("permesso negato");
    case QFileDevice::OpenError:
        return QStringLiteral("il file non può essere aperto");
    case QFileDevice::RenameError:
        return QStringLiteral("il file non può essere sostituito");
    default:
        return QStringLiteral("errore del file system");
    }
}

Result copy(const QString& source, const QString& destination) {
    const auto failure = [&](const QString& reason) {
        return Result::failure(QStringLiteral("Impossibile copiare «%1» in «%2»: %3.").arg(source, destination, reason));
    };

    if (source.isEmpty())
        return failure(QStringLiteral("il percorso del file da copiare è vuoto"));
    if (destination.isEmpty())
        return failure(QStringLiteral("il percorso di destinazione è vuoto"));
    if (!QFileInfo(source).isFile())
        return failure(QStringLiteral("il file da copiare non esiste"));
    if (QFileInfo(source).canonicalFilePath() == QFileInfo(destination).canonicalFilePath())
        return failure(QStringLiteral("origine e destinazione sono lo stesso file"));

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return failure(describe(in.error()));

    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return failure(describe(out.error()));

    QByteArray buffer(1 << 20, Qt::Uninitialized);
    bool allWritten = true;
    while (allWritten) {
        const qint64 read = in.read(buffer.data(), buffer.size());
        if (read < 0) {
            out.cancelWriting();
            return failure(describe(in.error()));
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
