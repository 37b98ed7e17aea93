#include "forms/report/ReportControl.h"

#include "data/folder/ProgramSettings.h"
#include "forms/report/ReportPreview.h"
#include "forms/report/ReportPrinting.h"
#include "platform/files/ProgramFolder.h"
#include "report/ReportOutput.h"
#include "report/ReportPreparation.h"
#include "report/ReportRenderer.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

ReportControl::ReportControl(const Context& context, QObject* parent) : QObject(parent), m_context(context) {}

void ReportControl::setReportFile(const QString& file) {
    m_file = file;
}

void ReportControl::setSelectionFormula(const QString& formula) {
    m_formula = formula;
}

QString ReportControl::databasePath() const {
    return m_databasePath.isEmpty() ? ProgramSettings(m_context.programFolder).databasePath() : m_databasePath;
}

Result ReportControl::resolve(QString& path) const {
    path.clear();
    if (m_file.trimmed().isEmpty())
        return Result::failure(QStringLiteral("Non è stato indicato il file del report."));
    if (m_file.contains(QLatin1Char('/'))) {
        path = QDir::cleanPath(QDir(m_context.programFolder).absoluteFilePath(m_file));
        if (QFileInfo(path).isFile())
            return Result::success();
        return Result::failure(QStringLiteral("Il file del report «%1» non esiste.").arg(path));
    }
    const ProgramSettings settings(m_context.programFolder);
    const QString databaseFolder =
        m_databasePath.isEmpty() ? settings.databaseFolder() : ProgramSettings::databaseFolder(m_databasePath);
    QStringList tried;
    QStringList folders = {databaseFolder, m_context.programFolder + QLatin1Char('/')};
    for (const QString& installed : ProgramFolder::sharedFolders())
        folders << installed + QLatin1Char('/');
    for (const QString& folder : folders) {
        if (folder.isEmpty())
            continue;
        const QString candidate = QDir::cleanPath(folder + m_file);
        if (QFileInfo(candidate).isFile()) {
            path = candidate;
            return Result::success();
        }
        if (!tried.contains(candidate))
            tried << candidate;
    }
    return Result::failure(QStringLiteral("Il file del report «%1» non si trova (cercato in «%2»).")
                               .arg(m_file, tried.join(QStringLiteral("» e in «"))));
}

Result ReportControl::load() {
    QString path;
    if (const Result found = resolve(path); !found)
        return found;
    ReportDefinition definition;
    return ReportDefinition::load(path, definition);
}

Result ReportControl::start() {
    QString path;
    if (const Result found = resolve(path); !found)
        return found;
    std::unique_ptr<ReportRenderer> report;
    {
        const std::unique_ptr<Progress> progress =
            m_context.dialogs.progress(QStringLiteral("Preparazione della stampa…"), true);
        const Result prepared =
            ReportPreparation::prepare(path, m_formula, databasePath(), m_context.regional, m_context.clock.today(), report, progress.get());
        if (prepared.cancelled())
            return Result::success();
        if (!prepared)
            return prepared;
    }

    const ReportDefinition& definition = report->definition();
    switch (definition.destination) {
    case ReportDefinition::Destination::Printer:
        return ReportPrinting::print(*report, m_context);
    case ReportDefinition::Destination::Pdf: {
        const std::unique_ptr<Progress> progress =
            m_context.dialogs.progress(QStringLiteral("Salvataggio di «%1» in PDF…").arg(definition.title), true);
        const Result written =
            ReportOutput::writePdf(*report, QFileInfo(path).dir().absoluteFilePath(definition.pdfFile), progress.get());
        return written.cancelled() ? Result::success() : written;
    }
    case ReportDefinition::Destination::Preview:
        break;
    }
    if (m_preview)
        m_preview->close();
    m_preview = new ReportPreview(std::move(report), m_context, QApplication::activeWindow());
    m_preview->show();
    m_preview->raise();
    m_preview->activateWindow();
    return Result::success();
}

ReportPreview* ReportControl::preview() const {
    return m_preview;
}
