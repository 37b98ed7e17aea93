#include "data/folder/ReportFiles.h"

#include "platform/files/FileCopy.h"
#include "platform/files/ProgramFolder.h"
#include "platform/Resources.h"

#include <QDir>
#include <QFileInfo>

namespace ReportFiles {

const QStringList& names() {
    static const QStringList all = {QStringLiteral("rapporto.rpt"), QStringLiteral("scheda.rpt"),
                                    QStringLiteral("richieste.rpt"), QStringLiteral("agenda.rpt")};
    return all;
}

Result placeMissing(const QString& folder, const QString& programFolder) {
    Resources::initialise();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return Result::failure(QStringLiteral("La cartella dei report «%1» non esiste.").arg(folder));
    for (const QString& name : names()) {
        const QString target = QDir(folder).filePath(name);
        if (QFileInfo::exists(target))
            continue;
        QString source = ProgramFolder::findShared(programFolder, name);
        if (source.isEmpty())
            source = QStringLiteral(":/reports/") + name;
        if (const Result copied = FileCopy::copy(source, target); !copied)
            return copied;
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return Result::success();
}

} // namespace ReportFiles
