#include "ReportOutput.h"

#include "AtomicWrite.h"
#include "Context.h"
#include "FileCopy.h"
#include "ReportRenderer.h"

#include <QDir>
#include <QPageLayout>
#include <QPdfWriter>
#include <QSaveFile>

namespace ReportOutput {

Result writePdf(ReportRenderer& report, const QString& path) {
    const auto failure = [&](const QString& reason) {
        return Result::failure(QStringLiteral("Impossibile salvare il PDF «%1»: %2.").arg(path, reason));
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(FileCopy::describe(file.error()));
    Result painted = Result::success();
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
        writer.setResolution(1200);
        writer.setTitle(report.definition().title);
        writer.setCreator(QStringLiteral("VELMORA"));
        painted = report.paintAll(writer);
    }
    if (!painted) {
        file.cancelWriting();
        return painted;
    }
    if (const std::optional<QString> reason = AtomicWrite::commit(file, true))
        return failure(*reason);
    return Result::success();
}

Result print(ReportRenderer& report, const Context& context) {
    if (std::unique_ptr<QPrinter> printer = context.printing.defaultPrinter()) {
        printer->setDocName(report.definition().title);
        return report.paintAll(*printer);
    }
    context.dialogs.message(QStringLiteral("Non c'è nessuna stampante configurata: il report si può salvare come PDF."));
    return savePdfAs(report, context);
}

Result savePdfAs(ReportRenderer& report, const Context& context) {
    const QString path = context.dialogs.saveFile(QStringLiteral("Salva il report come PDF"), QStringLiteral("PDF|*.pdf"),
                                                  QDir::homePath() + QLatin1Char('/') + report.definition().title +
                                                      QStringLiteral(".pdf"));
    if (path.isEmpty())
        return Result::success();
    return writePdf(report, path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) ? path : path + QStringLiteral(".pdf"));
}

} // namespace ReportOutput
