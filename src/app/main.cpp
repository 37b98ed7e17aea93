#include "Artwork.h"
#include "CommandLine.h"
#include "FirstPaint.h"
#include "Context.h"
#include "MainWindow.h"
#include "MoveInOffer.h"
#include "ProgramFolder.h"
#include "QtDialogs.h"
#include "Regional.h"
#include "SessionDialogs.h"
#include "Startup.h"
#include "SystemClock.h"
#include "SystemPrinting.h"
#include "WindowStyle.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>

namespace {

// Qt aborts with a cryptic message when there is no screen; say what to do instead.
bool hasDisplay() {
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
           qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

// Qt's own texts (dialog buttons, file dialogs) in the office's language. Only qtbase: the
// "qt" catalogue also loads those of modules the program does not use (multimedia...).
void installQtTranslations(QApplication& app, const QLocale& locale) {
    auto* translator = new QTranslator(&app);
    if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace

int main(int argc, char* argv[]) {
    // --help and --version answer on the terminal, with or without a screen.
    CommandLine commandLine(QStringLiteral("velmora"), Startup::description());
    const QCommandLineOption folderOption = Startup::folderOption();
    commandLine.addOption(folderOption);
    if (const auto answered = commandLine.answerHelpOrVersion(CommandLine::arguments(argc, argv)))
        return *answered;

    if (!hasDisplay()) {
        std::fputs("VELMORA è un programma a finestre e qui non c'è uno schermo (DISPLAY non è impostato).\n"
                   "Avviarlo da una sessione grafica oppure, senza schermo, con: xvfb-run -a ./velmora\n",
                   stderr);
        return 1;
    }

    QApplication app(argc, argv);
    FirstPaint::reportIfAsked(app);
    // Also the window class the desktop entry names (StartupWMClass) and the user folder's name.
    QApplication::setApplicationName(QStringLiteral("velmora"));
    QGuiApplication::setDesktopFileName(QStringLiteral("velmora"));
    // Qt's own options (-platform, -style...) are gone by now; the rest must be ours.
    if (const auto ended = commandLine.parse(QCoreApplication::arguments()))
        return *ended;
    QString programFolder;
    const Result chosen =
        ProgramFolder::choose(commandLine.value(folderOption), QCoreApplication::applicationDirPath(), programFolder);
    if (!chosen && commandLine.isSet(folderOption)) {
        std::fprintf(stderr, "%s\n", qPrintable(chosen.message()));
        return 2;
    }
    Artwork::initialise();
    QApplication::setStyle(new WindowStyle(QApplication::style()->name()));
    // Also the icon of every inner window's menu until it has its own; without one, each
    // inner window would ask the style for its image.
    QApplication::setWindowIcon(Artwork::icon(Artwork::programIcon));
    // The windows are laid out to the twip for an 8-point face, as the office has always had them.
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 8));

    const Regional regional;
    QLocale::setDefault(regional.locale());
    installQtTranslations(app, regional.locale());

    SystemClock clock;
    QtDialogs shownDialogs;
    SessionDialogs dialogs(shownDialogs);
    SystemPrinting printing;
    Context context{programFolder, dialogs, clock, regional, printing};

    const Result prepared = chosen ? Startup::prepareFolder(context) : chosen;

    MainWindow frame(context);
    shownDialogs.setParentWidget(&frame);
    // Print previews stand apart from the frame; the program ends with the frame all the same.
    // Connected first: the system may ask the program to end while a start-up message waits.
    QObject::connect(&frame, &MainWindow::ended, &app, &QApplication::quit, Qt::QueuedConnection);
    Startup::endOnSystemSignals(frame, dialogs);
    context.windows = &frame;
    frame.showMaximized();
    if (!prepared)
        dialogs.message(prepared.message());
    // An old office's folder is recognised (and its Access archive converted) before any
    // window opens on it.
    if (prepared)
        MoveInOffer::run(context);
    Startup::openWindows(frame, context);
    return QApplication::exec();
}
