#include "forms/ReportControl.h"

#include "data/Database.h"
#include "data/ProgramSettings.h"
#include "forms/ReportPreview.h"
#include "platform/ProgramFolder.h"
#include "report/Formula.h"
#include "report/ReportOutput.h"
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

Result ReportControl::prepare(const QString& reportPath, const QString& formulaText, const QString& databasePath,
                              const Regional& regional, const QDate& printDate, std::unique_ptr<ReportRenderer>& report,
                              Progress* progress) {
    report.reset();
    ReportDefinition definition;
    if (const Result loaded = ReportDefinition::load(reportPath, definition); !loaded)
        return loaded;

    // A formula that does not parse is told before the database is even opened.
    const Formula formula = Formula::parse(formulaText, regional);
    if (!formula.isValid())
        return Result::failure(formula.error());
    std::shared_ptr<Database> database;
    if (const Result opened = Database::open(databasePath, database); !opened)
        return opened;
    QString where;
    QVariantList parameters;
    if (const Result compiled = formula.toSql(definition.table, where, parameters, database->engine()); !compiled)
        return compiled;

    auto laidOut = std::make_unique<ReportRenderer>(definition, database, where, parameters, regional, printDate);
    if (const Result done = laidOut->layout(progress); !done)
        return done;
    report = std::move(laidOut);
    return Result::success();
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
            prepare(path, m_formula, databasePath(), m_context.regional, m_context.clock.today(), report, progress.get());
        if (prepared.cancelled())
            return Result::success();
        if (!prepared)
            return prepared;
    }

    const ReportDefinition& definition = report->definition();
    switch (definition.destination) {
    case ReportDefinition::Destination::Printer:
        return ReportOutput::print(*report, m_context);
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
