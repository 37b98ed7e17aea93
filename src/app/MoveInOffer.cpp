#include "app/MoveInOffer.h"

#include "data/folder/ProgramSettings.h"
#include "legacy/LegacyConversion.h"
#include "legacy/MoveIn.h"

#include <QDir>
#include <QFileInfo>

namespace MoveInOffer {

namespace {

// Answers whether the conversion went through (and the rest of the folder was settled with it).
bool convert(const Context& context, const MoveIn::Found& found, MoveIn::Settled& settled) {
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
        done = MoveIn::convertInPlace(context.programFolder, found, progress.get(), report, &settled);
    }
    if (done.cancelled()) {
        context.dialogs.message(QStringLiteral("Conversione annullata: daba.ini e l'archivio Access sono rimasti "
                                               "come erano."));
        return false;
    }
    if (!done) {
        context.dialogs.message(done.message());
        return false;
    }
    context.dialogs.message(report.text(10) + QStringLiteral("Il rapporto intero è in «%1».")
                                                   .arg(QDir::toNativeSeparators(report.writtenPath())));
    return true;
}

} // namespace

void run(const Context& context, const std::function<void(const QString&)>& applyBackground) {
    const MoveIn::Found found = MoveIn::databaseOf(context.programFolder);
    const ProgramSettings settings(context.programFolder);
    MoveIn::Settled settled;
    bool settledAlready = false;
    if (found.jet) {
        // The report tells what else was settled; it is not said twice. A move stopped or
        // refused changes nothing at all: the next start offers it whole again.
        if (!convert(context, found, settled))
            return;
        settledAlready = true;
    } else if (const QString unusable = MoveIn::unusableFound(found); !unusable.isEmpty()) {
        context.dialogs.message(unusable);
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

    if (!settledAlready) {
        settled = MoveIn::settleFolder(context.programFolder);
        if (!settled.said.isEmpty())
            context.dialogs.message(settled.said.join(QLatin1Char('\n')));
    }
    // The frame read sfondo.ini before it was settled.
    if (settled.backgroundChanged && applyBackground)
        applyBackground(settings.backgroundPath());
}

} // namespace MoveInOffer
