// Big files: opening each register and the settings window, and dragging a grid's scroll
// bar, on sample files of 100k and 1M rows in each table (made once by velmora-esempio).
//
// Opening: from the toolbar command of the frame window to the window painted with its
// first record; the floor is the same window opened over an empty database. The window is
// closed between rounds, so each round builds and loads it again, as a click does.
// Dragging: the thumb of a register's grid set to a place in the table chosen at random
// (the same places for figure and floor), until the grid has painted the rows there. Its
// floor reads the same rows straight from SQLite through the key's index (a statement of
// its own, already prepared) and paints the grid over rows it already holds: what any
// grid must do at least.
// Each figure is measured interleaved with its floor (A B A B), 7 rounds: median and
// min-max of the wall clock, and the median processor time of the process beside it, as
// the machine is shared. Run it with scripts/bench.sh; it is not a test.

#include "Measure.h"
#include "SearchBench.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "data/folder/ProgramSettings.h"
#include "data/store/RecordSource.h"
#include "forms/controls/BoundGrid.h"
#include "platform/Regional.h"
#include "platform/SystemClock.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/QtDialogs.h"
#include "platform/gui/SystemPrinting.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMdiSubWindow>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <cstdio>
#include <malloc.h>
#include <sqlite3.h>

using namespace SearchBench;

namespace {

struct Opened {
    MainWindow::Button button;
    const char* caption;
};

const Opened windows[] = {
    {MainWindow::Properties, "IMMOBILI"},
    {MainWindow::Requests, "RICHIESTE"},
    {MainWindow::Leads, "NOTIZIE"},
    {MainWindow::Diary, "AGENDA"},
    {MainWindow::Settings, "GESTIONE"},
};

// A frame window over a database, with the program's own windows behind its buttons.
struct Office {
    QTemporaryDir folder;
    SystemClock clock;
    SystemPrinting printing;
    std::unique_ptr<Context> context;
    std::unique_ptr<MainWindow> frame;

    Office(const QString& database, QtDialogs& dialogs, const Regional& regional) {
        if (!ProgramSettings(folder.path()).saveDatabasePath(database))
            qFatal("cannot write daba.ini");
        context = std::make_unique<Context>(Context{folder.path(), dialogs, clock, regional, printing});
        frame = std::make_unique<MainWindow>(*context);
        context->windows = frame.get();
        Startup::openWindows(*frame, *context);
        frame->resize(1200, 800);
        frame->show();
        QCoreApplication::processEvents();
    }

    // The toolbar's command, until the window is painted.
    void open(int button) {
        frame->runToolbarCommand(button);
        frame->repaint();
    }
    // Closes every window in the frame, as the user would, so that the next click builds one again.
    void close() {
        for (QMdiSubWindow* sub : frame->findChildren<QMdiSubWindow*>())
            sub->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
};

void openings(Office& office, Office& empty) {
    for (const Opened& w : windows) {
        const auto series = interleaved({[&] { office.close(); }, [&] { empty.close(); }},
                                        {[&] { office.open(w.button); }, [&] { empty.open(w.button); }});
        office.close();
        empty.close();
        std::printf("  apertura %-10s %s   minimo (database vuoto) %s CPU %.2f\n", w.caption,
                    qPrintable(range(series[0])), qPrintable(ratio(series[0], series[1])), series[1].cpuMedian());
    }
}

// The same rows as the grid shows, straight from SQLite.
class PageFloor {
public:
    PageFloor(const QString& path, const char* table) {
        sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr);
        const QByteArray sql = QByteArray("SELECT rowid, * FROM ") + table + " WHERE rowid >= ? ORDER BY rowid LIMIT ?";
        sqlite3_prepare_v2(m_db, sql.constData(), -1, &m_statement, nullptr);
    }
    ~PageFloor() {
        sqlite3_finalize(m_statement);
        sqlite3_close(m_db);
    }
    void read(qint64 from, int rows) {
        sqlite3_reset(m_statement);
        sqlite3_bind_int64(m_statement, 1, from);
        sqlite3_bind_int(m_statement, 2, rows);
        while (sqlite3_step(m_statement) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(m_statement); ++c)
                m_sink += sqlite3_column_bytes(m_statement, c) + (sqlite3_column_text(m_statement, c) ? 1 : 0);
    }

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
    qint64 m_sink = 0;
};

void drags(Office& office, const QString& path, int size) {
    struct Grid {
        MainWindow::Button button;
        const char* caption;
        const char* table;
        const char* grid;
    };
    const Grid grids[] = {
        {MainWindow::Requests, "RICHIESTE", "richiesta", "DBGrid1"},
        {MainWindow::Leads, "NOTIZIE", "notizie", "DBGrid1"},
    };
    for (const Grid& g : grids) {
        QWidget* window = office.frame->showWindow(g.button);
        auto* grid = window ? window->findChild<BoundGrid*>(QString::fromLatin1(g.grid)) : nullptr;
        if (!grid)
            qFatal("no grid %s", g.grid);
        QCoreApplication::processEvents();
        QScrollBar* bar = grid->verticalScrollBar();
        const int shown = grid->viewport()->height() / std::max(1, grid->verticalHeader()->defaultSectionSize()) + 1;
        PageFloor floor(path, g.table);
        QRandomGenerator places(23);
        int place = 0;
        const auto series = interleaved(
            {[&] { place = places.bounded(bar->maximum() + 1); }, nullptr},
            {[&] {
                 bar->setSliderPosition(place);
                 grid->viewport()->repaint();
             },
             [&] {
                 // The rows there are read again, and the grid paints rows it holds.
                 floor.read(qint64(place) * size / std::max(1, bar->maximum() + 1), shown);
                 grid->viewport()->repaint();
             }});
        // And the end of the table.
        const auto end = interleaved({[&] { bar->setSliderPosition(0); }, nullptr},
                                     {[&] {
                                          bar->setSliderPosition(bar->maximum());
                                          grid->viewport()->repaint();
                                      },
                                      [&] {
                                          floor.read(size - shown, shown);
                                          grid->viewport()->repaint();
                                      }});
        const QString last = grid->model()->index(grid->model()->rowCount() - 1, 0).data().toString();
        std::printf("  trascinamento %-9s %s   minimo %s CPU %.2f\n", g.caption, qPrintable(range(series[0])),
                    qPrintable(ratio(series[0], series[1])), series[1].cpuMedian());
        std::printf("  fino in fondo %-9s %s   minimo %s CPU %.2f (righe %d, ultima chiave %s)\n", g.caption,
                    qPrintable(range(end[0])), qPrintable(ratio(end[0], end[1])), end[1].cpuMedian(),
                    grid->model()->rowCount(), qPrintable(last));
        office.close();
    }
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Artwork::initialise();
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    const Regional regional(QLocale(QLocale::Italian, QLocale::Italy));
    QtDialogs dialogs;

    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {100000, 1000000};

    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/bench-data");
    QDir().mkpath(folder);
    const QString emptyPath = Measure::sampleDatabase(
        folder + QStringLiteral("/vuoto.mdb"),
        {"--immobili", "0", "--richieste", "0", "--visite", "0", "--notizie", "0", "--foto", "0", "--agenda", "0"});

    std::printf("Tempi mediani su %d prove alternate con il minimo [min-max], CPU = tempo di processore (mediana); "
                "xN = il programma rispetto al minimo.\n",
                rounds);
    Office empty(emptyPath, dialogs, regional);
    const long emptyKb = Measure::residentKb();
    for (const int size : sizes) {
        const QString n = QString::number(size);
        const QString path = Measure::sampleDatabase(folder + QStringLiteral("/tabelle-%1.mdb").arg(size),
                                                     {"--immobili", n, "--richieste", n, "--visite", "0", "--notizie",
                                                      n, "--foto", "0", "--agenda", n});
        std::printf("\n%d righe in ogni tabella (%s, %.0f MB)\n", size, qPrintable(QFileInfo(path).fileName()),
                    static_cast<double>(QFileInfo(path).size()) / 1e6);
        Office office(path, dialogs, regional);
        openings(office, empty);
        drags(office, path, size);
        malloc_trim(0);
        std::printf("  memoria residente: %.1f MB sopra il programma sul database vuoto\n",
                    static_cast<double>(Measure::residentKb() - emptyKb) / 1024.0);
    }
    return 0;
}
