#include "forms/report/PageOutput.h"

#include "platform/gui/Context.h"

#include <QDir>

namespace PageOutput {

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
    const Result written = PdfFile::write(
        path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) ? path : path + QStringLiteral(".pdf"), title, paint);
    return written.cancelled() ? Result::success() : written;
}

} // namespace PageOutput
