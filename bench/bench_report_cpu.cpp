// The report's processor time against its floor: the requests report of 10,000 requests
// into a PDF (prepared, laid out and painted by the program) and, in turn with it (A B A B,
// 7 rounds), the least a program does to write the same text: the same rows read with
// SQLite's own API in the same order, the same texts (numbers and money in the regional
// form), the same fonts and pages, drawn cell by cell in a plain QPdfWriter loop. Run it with
// scripts/bench.sh; it is not a test.

#include "Measure.h"
#include "data/folder/ReportFiles.h"
#include "data/vocabulary/Numbers.h"
#include "platform/Regional.h"
#include "report/ReportOutput.h"
#include "report/ReportPreparation.h"
#include "report/ReportRenderer.h"

#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace {

constexpr int rounds = 7;

double processMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Series {
    std::vector<double> cpu;
    std::vector<double> wall;
    static double median(std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    void measure(const std::function<void()>& work) {
        const double cpuStart = processMs();
        const double wallStart = monotonicMs();
        work();
        cpu.push_back(processMs() - cpuStart);
        wall.push_back(monotonicMs() - wallStart);
    }
    QString text() const {
        return QString::asprintf("CPU %6.0f ms [%.0f-%.0f], tempo reale %.0f ms", median(cpu),
                                 *std::min_element(cpu.begin(), cpu.end()), *std::max_element(cpu.begin(), cpu.end()),
                                 median(wall));
    }
};

// The report's fonts: DejaVu Sans at 1200 units to the inch.
QFont reportFont(double points, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(qRound(points * 1200 / 72));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.05);  // as the report: no ligatures in the PDF's text
    return f;
}

// The floor: the requests, sorted as the report sorts them, drawn a line each.
void plainPdf(const QString& database, const QString& pdf, int pages, const Regional& regional) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* rows = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT nome, cognome, telefono, tipo, motivo, mq, prezzo, note FROM richiesta "
                       "ORDER BY cognome, nome, rowid",
                       -1, &rows, nullptr);
    QFile file(pdf);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(pdf));
    QPdfWriter writer(&file);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    writer.setResolution(1200);
    QPainter painter(&writer);
    const QFont title = reportFont(14, true), small = reportFont(8), body = reportFont(9), bold = reportFont(9, true);
    const double mm = 1200 / 25.4, margin = 15 * mm, width = 180 * mm;
    const double line = QFontMetricsF(body).height() + 1.4 * mm;
    const double shares[] = {12, 13, 14, 13, 9, 5, 17, 17};
    const char* captions[] = {"Nome", "Cognome", "Telefono", "Tipo", "Motivo", "Mq", "Budget", "Note"};
    std::vector<double> x{margin};
    for (const double share : shares)
        x.push_back(x.back() + width * share / 100);

    int page = 0;
    bool more = sqlite3_step(rows) == SQLITE_ROW;
    while (more) {
        if (page > 0)
            writer.newPage();
        painter.setFont(title);
        painter.drawText(QPointF(margin, margin + 60), QStringLiteral("Elenco delle richieste"));
        painter.setFont(small);
        painter.drawText(QPointF(margin + 140 * mm, margin + 60), QStringLiteral("Stampato il 07/12/2026"));
        painter.drawText(QPointF(margin, 282 * mm), QStringLiteral("Pagina %1 di %2").arg(page + 1).arg(pages));
        painter.setFont(bold);
        double y = margin + 20 * mm;
        for (int c = 0; c < 8; ++c)
            painter.drawText(QPointF(x[c], y), QString::fromLatin1(captions[c]));
        painter.setFont(body);
        const double bottom = 275 * mm;
        for (y += line; more && y < bottom; y += line) {
            for (int c = 0; c < 8; ++c) {
                QString text = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(rows, c)));
                if (c == 5 && sqlite3_column_type(rows, c) != SQLITE_TEXT && !text.isEmpty())
                    text = Numbers::shown(sqlite3_column_double(rows, c), regional.locale());
                if (c == 6)
                    if (const std::optional<double> value = Numbers::plain(text))
                        text = regional.currencyText(*value);
                painter.drawText(QPointF(x[c], y), text);
            }
            more = sqlite3_step(rows) == SQLITE_ROW;
        }
        ++page;
    }
    painter.end();
    sqlite3_finalize(rows);
    sqlite3_close(db);
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const Regional regional(QLocale(QLocale::Italian, QLocale::Italy));
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/bench-data");
    QDir().mkpath(folder);
    if (!ReportFiles::placeMissing(folder))
        qFatal("cannot place the report files");
    const int requests = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    const QString database =
        Measure::sampleDatabase(QStringLiteral("%1/richieste-%2.mdb").arg(folder).arg(requests),
                                {"--immobili", "0", "--richieste", QString::number(requests), "--visite", "0", "--foto", "0"});

    int pages = 0;
    const auto program = [&] {
        std::unique_ptr<ReportRenderer> report;
        Result done = ReportPreparation::prepare(folder + QStringLiteral("/richieste.rpt"), QString(), database, regional,
                                             QDate(2026, 12, 7), report);
        if (done)
            done = ReportOutput::writePdf(*report, folder + QStringLiteral("/richieste-programma.pdf"));
        if (!done)
            qFatal("%s", qPrintable(done.message()));
        pages = report->pageCount();
    };
    program();  // once unmeasured: fonts, plug-ins and the disk cache
    const auto floor = [&] { plainPdf(database, folder + QStringLiteral("/richieste-minimo.pdf"), pages, regional); };
    floor();

    Series figure, minimum;
    for (int round = 0; round < rounds; ++round) {
        figure.measure(program);
        minimum.measure(floor);
    }
    std::printf("Stampa di %d richieste in PDF (%d pagine), %d prove alternate, mediana [min-max]:\n", requests, pages,
                rounds);
    std::printf("  %-30s %s\n", "programma (report)", qPrintable(figure.text()));
    std::printf("  %-30s %s\n", "minimo (QPdfWriter semplice)", qPrintable(minimum.text()));
    std::printf("  %-30s x%.2f in CPU\n", "rapporto", Series::median(figure.cpu) / Series::median(minimum.cpu));
    return 0;
}
