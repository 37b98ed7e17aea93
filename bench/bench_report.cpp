// The report benchmark: the requests report of 10,000 and 50,000 requests into a PDF,
// with the time taken and the resident memory it added. Run it with scripts/bench.sh;
// it is not a test.

#include "Measure.h"
#include "data/folder/ReportFiles.h"
#include "platform/Regional.h"
#include "platform/gui/Artwork.h"
#include "report/ReportOutput.h"
#include "report/ReportPreparation.h"
#include "report/ReportRenderer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <cstdio>

namespace {

QString makeDatabase(const QString& folder, int requests) {
    return Measure::sampleDatabase(QStringLiteral("%1/richieste-%2.mdb").arg(folder).arg(requests),
                                   {"--immobili", "0", "--richieste", QString::number(requests), "--visite", "0", "--foto", "0"});
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Artwork::initialise();
    const Regional regional(QLocale(QLocale::Italian, QLocale::Italy));
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/bench-data");
    QDir().mkpath(folder);
    if (!ReportFiles::placeMissing(folder))
        qFatal("cannot place the report files");

    const long startKb = Measure::residentKb();
    QList<int> sizes = {10000, 50000};
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i)
            sizes << QString::fromLocal8Bit(argv[i]).toInt();
    }
    for (const int requests : sizes) {
        const QString database = makeDatabase(folder, requests);
        QElapsedTimer timer;
        timer.start();
        std::unique_ptr<ReportRenderer> report;
        Result done = ReportPreparation::prepare(folder + QStringLiteral("/richieste.rpt"), QString(), database, regional,
                                             QDate::currentDate(), report);
        if (done)
            done = ReportOutput::writePdf(*report, folder + QStringLiteral("/richieste.pdf"));
        if (!done)
            qFatal("%s", qPrintable(done.message()));
        std::printf("%6d richieste: %4d pagine in PDF in %6.2f s, memoria residente +%.1f MB\n", requests,
                    report->pageCount(), static_cast<double>(timer.elapsed()) / 1000.0,
                    static_cast<double>(Measure::residentKb() - startKb) / 1024.0);
    }
    return 0;
}
