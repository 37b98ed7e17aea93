#include "data/folder/ProgramSettings.h"
#include "data/folder/ReadyDefault.h"
#include "data/vocabulary/DatabaseLocation.h"
#include "platform/CommandLine.h"
#include "platform/files/ProgramFolder.h"
#include "platform/Regional.h"
#include "platform/TerminalProgress.h"
#include "report/ReportOutput.h"
#include "report/ReportPreparation.h"
#include "report/ReportRenderer.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>

namespace {

// A report named with a folder is taken as given; a bare name is looked for beside the
// database, in the program folder and among the installed report files.
QString reportPath(const QString& named, const QString& databasePath, const QString& programFolder) {
    if (named.contains(QLatin1Char('/')) || QFileInfo(named).isFile())
        return QDir::current().absoluteFilePath(named);
    for (const QString& folder : QStringList{ProgramSettings::databaseFolder(databasePath), programFolder} +
                                     ProgramFolder::sharedFolders()) {
        const QString candidate = QDir(folder).filePath(named);
        if (!folder.isEmpty() && QFileInfo(candidate).isFile())
            return candidate;
    }
    return QDir::current().absoluteFilePath(named);
}

} // namespace

// velmora-stampa: renders a report for a selection formula into a PDF, from a shell.
int main(int argc, char* argv[]) {
    CommandLine commandLine(
        QStringLiteral("velmora-stampa"),
        QStringLiteral("Stampa in PDF un report di VELMORA per una formula di selezione, per esempio: "
                       "velmora-stampa agenda.rpt --formula \"{agenda.datap} >= DateValue (01/03/2026) AND "
                       "{agenda.datap} <=DateValue (07/03/2026)\" --pdf agenda.pdf. Senza --database usa il database "
                       "indicato da daba.ini nella cartella del programma; un report indicato senza cartella si cerca "
                       "accanto al database, nella cartella del programma e tra quelli installati. Ctrl+C interrompe "
                       "la stampa senza scrivere il PDF."));
    commandLine.addPositional(QStringLiteral("report"), QStringLiteral("Il file del report (.rpt)."));
    const QCommandLineOption folder({"c", "cartella"},
                                    QStringLiteral("Cartella del programma (predefinita: quella di velmora-stampa se si "
                                                   "può scrivere, altrimenti ~/.local/share/velmora, come per VELMORA)."),
                                    QStringLiteral("cartella"));
    const QCommandLineOption database({"d", "database"},
                                      QStringLiteral("Il database: un file, o un indirizzo "
                                                     "postgresql://utente@server:porta/nome come in daba.ini "
                                                     "(predefinito: quello di daba.ini)."),
                                      QStringLiteral("database"));
    const QCommandLineOption formula({"f", "formula"}, QStringLiteral("La formula di selezione (vuota: tutti i record)."),
                                     QStringLiteral("formula"));
    const QCommandLineOption pdf({"p", "pdf"}, QStringLiteral("Il file PDF da scrivere."), QStringLiteral("file"));
    for (const QCommandLineOption& option : {folder, database, formula, pdf})
        commandLine.addOption(option);
    if (const auto answered = commandLine.answerHelpOrVersion(CommandLine::arguments(argc, argv)))
        return *answered;

    // Fonts need a GUI application, but never a screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-stampa"));
    if (const auto ended = commandLine.parse(QCoreApplication::arguments()))
        return *ended;

    const QStringList reports = commandLine.positionalArguments();
    if (reports.size() != 1 || !commandLine.isSet(pdf)) {
        std::fputs("Uso: velmora-stampa REPORT.rpt [--database DB] --formula \"FORMULA\" --pdf USCITA.pdf\n"
                   "Per l'aiuto: velmora-stampa --help\n",
                   stderr);
        return 2;
    }

    QString databasePath = commandLine.value(database);
    QString programFolder;
    if (databasePath.isEmpty() || commandLine.isSet(folder)) {
        if (const Result chosen =
                ProgramFolder::choose(commandLine.value(folder), QCoreApplication::applicationDirPath(), programFolder);
            !chosen) {
            std::fprintf(stderr, "%s\n", qPrintable(chosen.message()));
            return 1;
        }
    }
    if (databasePath.isEmpty()) {
        if (const Result prepared = ReadyDefault::prepare(programFolder); !prepared) {
            std::fprintf(stderr, "%s\n", qPrintable(prepared.message()));
            return 1;
        }
        databasePath = ProgramSettings(programFolder).databasePath();
    } else if (const Result read = DatabaseLocation::fromCommandLine(databasePath, databasePath); !read) {
        std::fprintf(stderr, "%s\n", qPrintable(read.message()));
        return 2;
    }

    const Regional regional;
    std::unique_ptr<ReportRenderer> report;
    Result result = Result::success();
    {
        TerminalProgress progress(QStringLiteral("Pagine impaginate"), true);
        result = ReportPreparation::prepare(reportPath(reports.first(), databasePath, programFolder),
                                        commandLine.value(formula), databasePath, regional, QDate::currentDate(), report,
                                        &progress);
        if (result) {
            progress.setLabel(QStringLiteral("Pagine scritte"));
            result = ReportOutput::writePdf(*report, QDir::current().absoluteFilePath(commandLine.value(pdf)), &progress);
        }
    }
    if (result.cancelled()) {
        std::fputs("Interrotto: il PDF non è stato scritto.\n", stderr);
        return 130;
    }
    if (!result) {
        std::fprintf(stderr, "%s\n", qPrintable(result.message()));
        return 1;
    }
    std::printf("Scritto %s (%d %s).\n", qPrintable(commandLine.value(pdf)), report->pageCount(),
                report->pageCount() == 1 ? "pagina" : "pagine");
    return 0;
}
