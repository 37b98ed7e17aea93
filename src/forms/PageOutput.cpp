#include "forms/PageOutput.h"

#include "platform/AtomicWrite.h"
#include "platform/FileCopy.h"
#include "platform/gui/Context.h"

#include <QDir>
#include <QPageLayout>
#include <QPdfWriter>
#include <QSaveFile>

namespace PageOutput {

Result writePdf(const QString& path, const QString& title, const Painter& paint) {
    const auto failure = [&](const QString& reason) {
        return Result::failure(QStringLiteral("Impossibile salvare il PDF «%1»: %2.").arg(path, reason));
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(FileCopy::describe(file));
    Result painted = Result::success();
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
        writer.setResolution(1200);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("VELMORA"));
        painted = paint(writer);
    }
    if (!painted) {
        // Stopped or failed: an earlier file of that name stays as it was.
        file.cancelWriting();
        return painted;
    }
    if (const std::optional<QString> reason = AtomicWrite::commit(file, true))
        return failure(*reason);
    return Result::success();
}

Result print(const Context& context, const QString& title, const Painter& paint) {
    if (std::unique_ptr<QPrinter> printer = context.printing.defaultPrinter()) {
        printer->setDocName(title);
        const Result printed = paint(*printer);
        return printed.cancelled() ? Result::success() : printed;
    }
    context.dialogs.message(QStringLiteral("Non c'è nessuna stampante configurata: si può salvare la stampa come PDF."));
    return savePdfAs(context, title, paint);
}

Result savePdfAs(const Context& context, const QString& title, const Painter& paint) {
    const QString path = context.dialogs.saveFile(QStringLiteral("Salva come PDF"), QStringLiteral("PDF|*.pdf"),
                                                  QDir::homePath() + QLatin1Char('/') + title + QStringLiteral(".pdf"));
    if (path.isEmpty())
        return Result::success();
    const Result written = writePdf(
        path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) ? path : path + QStringLiteral(".pdf"), title, paint);
    return written.cancelled() ? Result::success() : written;
}

} // namespace PageOutput
