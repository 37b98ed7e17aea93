#include "MoveInOffer.h"

#include "data/ProgramSettings.h"
#include "data/SettingsFile.h"
#include "legacy/LegacyConversion.h"
#include "legacy/MoveIn.h"
#include "legacy/OldFolder.h"

#include <QDir>
#include <QFileInfo>

namespace MoveInOffer {

namespace {

// A picture path of a settings file, written on Windows, made to name the file found
// here; the old file is kept as "<name>.prima". Answers what to say, if anything.
QString resolvePicture(const Context& context, const QString& iniName, int line, int lines, const QString& what) {
    const QString iniPath = context.programFile(iniName);
    SettingsFile::Values values = SettingsFile::read(iniPath, lines);
    const QString written = values.at(line);
    if (!values.found || !OldFolder::isWindowsPath(written))
        return QString();
    const auto resolved = OldFolder::resolve(written, context.programFolder, context.programFolder, iniName, what);
    // A picture found nowhere is not told at every start: the sheet and the frame go
    // without it, as they did with a missing one.
    if (!resolved.found || resolved.path == written)
        return QString();
    QStringList rewritten = values.values;
    while (rewritten.size() < lines)
        rewritten << QString();
    rewritten[line] = resolved.path;
    if (const Result kept = MoveIn::keepPrevious(iniPath); !kept)
        return kept.message();
    if (const Result saved = SettingsFile::write(iniPath, rewritten); !saved)
        return saved.message();
    return resolved.sentence + QStringLiteral(" %1 ora lo indica; quello di prima è in %1.prima.").arg(iniName);
}

void convert(const Context& context, const MoveIn::Found& found) {
    const QString target = LegacyConversion::convertedName(found.database);
    context.dialogs.message(
        QStringLiteral("Il database «%1» è un archivio Access del vecchio programma: ora viene convertito nel "
                       "database di VELMORA, in un file nuovo accanto («%2»), e daba.ini lo indicherà. "
                       "L'archivio Access resta com'è; la conversione si può annullare.")
            .arg(QDir::toNativeSeparators(found.database), QFileInfo(target).fileName()));
    ConversionReport report;
    Result done = Result::success();
    {
        const std::unique_ptr<Progress> progress =
            context.dialogs.progress(QStringLiteral("Conversione del vecchio archivio"), true);
        done = MoveIn::convertInPlace(context.programFolder, found, progress.get(), report);
    }
    if (done.cancelled()) {
        context.dialogs.message(QStringLiteral("Conversione annullata: daba.ini e l'archivio Access sono rimasti "
                                               "come erano."));
        return;
    }
    if (!done) {
        context.dialogs.message(done.message());
        return;
    }
    context.dialogs.message(report.text(10) + QStringLiteral("Il rapporto intero è in «%1».")
                                                   .arg(QDir::toNativeSeparators(ConversionReport::pathFor(report.target))));
}

} // namespace

void run(const Context& context) {
    const MoveIn::Found found = MoveIn::databaseOf(context.programFolder);
    const ProgramSettings settings(context.programFolder);
    if (found.jet) {
        convert(context, found);
    } else if (found.exists && found.database != found.written) {
        // daba.ini's Windows path leads to a database of this program: daba.ini names it now.
        QString said = found.sentence;
        if (const Result kept = MoveIn::keepPrevious(settings.databaseIniPath()); !kept)
            said = kept.message();
        else if (const Result saved = settings.saveDatabasePath(found.database); !saved)
            said = saved.message();
        else
            said += QStringLiteral(" daba.ini ora lo indica; quello di prima è in daba.ini.prima.");
        context.dialogs.message(said);
    } else if (!found.sentence.isEmpty()) {
        context.dialogs.message(found.sentence);
    }

    QStringList said;
    for (const QString& sentence :
         {resolvePicture(context, QStringLiteral("dati.ini"), 2, 4, QStringLiteral("il logo")),
          resolvePicture(context, QStringLiteral("sfondo.ini"), 0, 1, QStringLiteral("lo sfondo"))})
        if (!sentence.isEmpty())
            said << sentence;
    const QString reports = settings.databaseFolder();
    if (QFileInfo(reports).isDir()) {
        QString aside;
        const Result set = OldFolder::setForeignReportsAside(reports, context.programFolder, aside);
        said << (set ? aside : set.message());
    }
    said.removeAll(QString());
    if (!said.isEmpty())
        context.dialogs.message(said.join(QLatin1Char('\n')));
}

} // namespace MoveInOffer
