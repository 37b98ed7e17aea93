#include "platform/FileCopy.h"

#include "platform/AtomicWrite.h"
#include "platform/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

namespace FileCopy {

QString describe(QFileDevice::FileError error) {
    switch (error) {
    case QFileDevice::NoError:
        return QStringLiteral("nessun errore");
    case QFileDevice::ReadError:
        return QStringLiteral("errore di lettura");
    case QFileDevice::WriteError:
        return QStringLiteral("errore di scrittura sul disco");
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

QString describe(const QFileDevice& file) {
    const QFileDevice::FileError error = file.error();
    if (error == QFileDevice::NoError || file.fileName().isEmpty())
        return describe(error);
    const QFileInfo info(file.fileName());
    const QFileInfo folder(info.absolutePath());
    if (info.isDir())
        return QStringLiteral("al posto del file «%1» c'è una cartella").arg(info.fileName());
    if (error == QFileDevice::ReadError || error == QFileDevice::OpenError || error == QFileDevice::PermissionsError ||
        error == QFileDevice::WriteError || error == QFileDevice::RenameError) {
        if (!folder.isDir())
            return QStringLiteral("la cartella «%1» non esiste").arg(folder.filePath());
        if (info.exists() && !info.isFile())
            return QStringLiteral("«%1» non è un file normale (è una pipe o un dispositivo)").arg(info.fileName());
        if (file.openMode() == QIODevice::NotOpen || error != QFileDevice::ReadError) {
            if (info.exists() && !info.isReadable() && !file.isWritable())
                return QStringLiteral("il file «%1» non si può leggere (permesso negato)").arg(info.fileName());
            if (info.exists() && !info.isWritable())
                return QStringLiteral("il file «%1» è protetto dalla scrittura").arg(info.fileName());
            if (!folder.isWritable())
                return QStringLiteral("la cartella «%1» non permette di scrivere").arg(folder.filePath());
        }
    }
    if (error == QFileDevice::WriteError || error == QFileDevice::ResourceError) {
        const QStorageInfo disk(folder.filePath());
        if (disk.isValid() && disk.bytesAvailable() < 1024 * 1024)
            return QStringLiteral("il disco è pieno");
    }
    return describe(error);
}

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
        return failure(describe(in));

    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return failure(describe(out));

    QByteArray buffer(1 << 20, Qt::Uninitialized);
    bool allWritten = true;
    while (allWritten) {
        const qint64 read = in.read(buffer.data(), buffer.size());
        if (read < 0) {
            out.cancelWriting();
            return failure(describe(in));
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
