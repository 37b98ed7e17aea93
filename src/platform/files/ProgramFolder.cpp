#include "platform/files/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace ProgramFolder {

namespace {

const QString velmora = QStringLiteral("velmora");

Result make(const QString& folder) {
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        return Result::failure(QStringLiteral("«%1» non è una cartella: non può essere la cartella del programma.").arg(folder));
    if (info.isDir())
        return Result::success();  // an existing folder keeps the mode its owner gave it
    // The folder holds the clients' data: only its user may look inside. Its parents are the
    // system's usual folders (~/.local/share) and are made as the system makes them.
    const QString parent = QFileInfo(QDir::cleanPath(folder)).absolutePath();
    const bool made = QDir().mkpath(parent) && QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!made && !QFileInfo(folder).isDir())  // another start may have made it meanwhile
        return Result::failure(QStringLiteral("Impossibile creare la cartella del programma «%1».").arg(folder));
    return Result::success();
}

} // namespace

QString userFolder() {
    // The program's own AppDataLocation (~/.local/share/velmora), named here so that the tools,
    // whose application names differ, find the same folder.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : QDir(data).filePath(velmora);
}

QString installedDataFolder(const QString& executableFolder) {
    const QDir bin(executableFolder);
    if (bin.dirName() != QStringLiteral("bin"))
        return {};
    const QString share = QDir::cleanPath(bin.absoluteFilePath(QStringLiteral("../share/velmora")));
    return QFileInfo(share).isDir() ? share : QString();
}

Result choose(const QString& chosen, const QString& executableFolder, QString& folder) {
    if (!chosen.isEmpty()) {
        folder = QDir::cleanPath(QDir::current().absoluteFilePath(chosen));
        return make(folder);
    }
    const QFileInfo executable(executableFolder);
    if (installedDataFolder(executableFolder).isEmpty() && executable.isDir() && executable.isWritable()) {
        folder = QDir::cleanPath(executable.absoluteFilePath());
        return Result::success();
    }
    folder = userFolder();
    if (folder.isEmpty())
        return Result::failure(QStringLiteral("Non si trova la cartella dei dati dell'utente (HOME non è impostata)."));
    return make(folder);
}

QStringList sharedFolders() {
    QStringList folders;
    if (const QString installed = installedDataFolder(QCoreApplication::applicationDirPath()); !installed.isEmpty())
        folders << installed;
    // The user's own data folder is a program folder, never a source of shipped files.
    const QString own = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        if (data == own)
            continue;
        const QString candidate = QDir::cleanPath(QDir(data).filePath(velmora));
        if (QFileInfo(candidate).isDir() && !folders.contains(candidate))
            folders << candidate;
    }
    return folders;
}

QString findShared(const QString& programFolder, const QString& name) {
    QStringList folders = sharedFolders();
    if (!programFolder.isEmpty())
        folders.prepend(programFolder);
    for (const QString& folder : folders) {
        const QString candidate = QDir(folder).filePath(name);
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return {};
}

} // namespace ProgramFolder
