#include "report/ReportOutput.h"

#include "forms/PageOutput.h"
#include "platform/gui/Context.h"
#include "report/ReportRenderer.h"

namespace ReportOutput {

namespace {

PageOutput::Painter pages(ReportRenderer& report, Progress* progress) {
    return [&report, progress](QPagedPaintDevice& device) { return report.paintAll(device, progress); };
}

// The progress shows once the pages are being painted, not while a dialog asks where to.
PageOutput::Painter pagesWithProgress(ReportRenderer& report, const Context& context, const QString& label) {
    return [&report, &context, label](QPagedPaintDevice& device) {
        const std::unique_ptr<Progress> progress = context.dialogs.progress(label, true);
        return report.paintAll(device, progress.get());
    };
}

} // namespace

Result writePdf(ReportRenderer& report, const QString& path, Progress* progress) {
    return PageOutput::writePdf(path, report.definition().title, pages(report, progress));
}

Result print(ReportRenderer& report, const Context& context) {
    const QString title = report.definition().title;
    return PageOutput::print(context, title,
                             pagesWithProgress(report, context, QStringLiteral("Stampa di «%1» in corso…").arg(title)));
}

Result savePdfAs(ReportRenderer& report, const Context& context) {
    const QString title = report.definition().title;
    return PageOutput::savePdfAs(context, title,
                                 pagesWithProgress(report, context, QStringLiteral("Salvataggio di «%1» in PDF…").arg(title)));
}

} // namespace ReportOutput
