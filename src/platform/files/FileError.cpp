#include "platform/files/FileError.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

namespace FileError {

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

} // namespace FileError
