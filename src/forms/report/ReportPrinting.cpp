#include "forms/report/ReportPrinting.h"

#include "forms/report/PageOutput.h"
#include "platform/gui/Context.h"
#include "report/ReportRenderer.h"

#include <QPrinter>

namespace ReportPrinting {

namespace {

// The progress shows once the pages are being painted, not while a dialog asks where to.
// A printer stopped halfway is aborted, so that nothing reaches it; a PDF writer's file is
// the caller's to discard.
PageOutput::Painter pagesWithProgress(ReportRenderer& report, const Context& context, const QString& label) {
    return [&report, &context, label](QPagedPaintDevice& device) {
        const std::unique_ptr<Progress> progress = context.dialogs.progress(label, true);
        return report.paintAll(device, progress.get(), [&device] {
            if (auto* printer = dynamic_cast<QPrinter*>(&device))
                printer->abort();
        });
    };
}

} // namespace

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

} // namespace ReportPrinting
