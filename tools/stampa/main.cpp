#include "Regional.h"
#include "ReportControl.h"
#include "ReportOutput.h"
#include "ReportRenderer.h"

#include <QCommandLineParser>
#include <QDate>
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

// velmora-stampa: renders a report for a selection formula into a PDF, from a shell.
int main(int argc, char* argv[]) {
    // Fonts need a GUI application, but never a screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-stampa"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stampa in PDF un report di VELMORA per una formula di selezione, per esempio:\n"
                       "  velmora-stampa agenda.rpt --database daba.mdb "
                       "--formula \"{agenda.datap} >= DateValue (01/03/2026) AND {agenda.datap} <=DateValue (07/03/2026)\" "
                       "--pdf agenda.pdf"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("report"), QStringLiteral("Il file del report (.rpt)."));
    const QCommandLineOption database({"d", "database"}, QStringLiteral("Il file del database."), QStringLiteral("file"));
    const QCommandLineOption formula({"f", "formula"}, QStringLiteral("La formula di selezione (vuota: tutti i record)."),
                                     QStringLiteral("formula"));
    const QCommandLineOption pdf({"p", "pdf"}, QStringLiteral("Il file PDF da scrivere."), QStringLiteral("file"));
    parser.addOptions({database, formula, pdf});
    parser.process(app);

    const QStringList reports = parser.positionalArguments();
    if (reports.size() != 1 || !parser.isSet(database) || !parser.isSet(pdf)) {
        std::fputs("Uso: velmora-stampa REPORT.rpt --database DB --formula \"FORMULA\" --pdf USCITA.pdf\n", stderr);
        return 2;
    }

    const Regional regional;
    std::unique_ptr<ReportRenderer> report;
    Result result = ReportControl::prepare(QDir::current().absoluteFilePath(reports.first()), parser.value(formula),
                                           QDir::current().absoluteFilePath(parser.value(database)), regional,
                                           QDate::currentDate(), report);
    if (result)
        result = ReportOutput::writePdf(*report, QDir::current().absoluteFilePath(parser.value(pdf)));
    if (!result) {
        std::fprintf(stderr, "%s\n", qPrintable(result.message()));
        return 1;
    }
    std::printf("Scritto %s (%d %s).\n", qPrintable(parser.value(pdf)), report->pageCount(),
                report->pageCount() == 1 ? "pagina" : "pagine");
    return 0;
}
