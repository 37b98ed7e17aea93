#include "app/MainWindow.h"
#include "app/MainWindow.h"
#include "app/MoveInOffer.h"
#include "app/SessionDialogs.h"
#include "app/SessionDialogs.h"
#include "app/Startup.h"
#include "app/Startup.h"
#include "app/WindowStyle.h"
#include "app/WindowStyle.h"
#include "platform/CommandLine.h"
#include "platform/CommandLine.h"
#include "platform/files/ProgramFolder.h"
#include "platform/files/ProgramFolder.h"
#include "platform/Regional.h"
#include "platform/Regional.h"
#include "platform/SystemClock.h"
#include "platform/SystemClock.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/Context.h"
#include "platform/gui/Context.h"
#include "platform/gui/FirstPaint.h"
#include "platform/gui/FirstPaint.h"
#include "platform/gui/QtDialogs.h"
#include "platform/gui/QtDialogs.h"
#include "platform/gui/SystemPrinting.h"
#include "platform/gui/SystemPrinting.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>

namespace {

// Qt's own options, which QApplication takes away before the program reads the rest: the
// ones followed by a value, then the others.
const QStringList qtOptionsWithValue{"platform", "platformpluginpath", "platformtheme", "plugin", "display",
                                     "geometry", "qwindowgeometry", "title", "qwindowtitle", "icon", "qwindowicon",
                                     "name", "style", "stylesheet", "session", "qmljsdebugger", "qdevicepixelratio"};
const QStringList qtFlags{"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};

// The arguments without Qt's own options, as QApplication would leave them.
QStringList withoutQtOptions(const QStringList& arguments) {
    QStringList ours{arguments.value(0)};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QStringLiteral("--")) {
            ours << arguments.mid(i);
            break;
        }
        const QString name = argument.mid(argument.startsWith(QStringLiteral("--")) ? 2 : 1);
        if (!argument.startsWith(QLatin1Char('-')) || !(qtFlags.contains(name) ||
                                                        qtOptionsWithValue.contains(name.section(QLatin1Char('='), 0, 0)))) {
            ours << argument;
            continue;
        }
        if (qtOptionsWithValue.contains(name))
            ++i;  // its value follows
    }
    return ours;
}

// Qt aborts with a cryptic message when there is no screen; say what to do instead.
bool hasDisplay(const QStringList& arguments) {
    for (const QString& argument : arguments.mid(1)) {
        const QString name = argument.mid(argument.startsWith(QStringLiteral("--")) ? 2 : 1).section(QLatin1Char('='), 0, 0);
        if (argument.startsWith(QLatin1Char('-')) && (name == QStringLiteral("platform") || name == QStringLiteral("display")))
            return true;  // -platform offscreen, -display :1
    }
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
           qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

// The command as the user gave it: the path typed, or the bare name found through PATH.
QString commandAsGiven(const QString& first) {
    const QString command = first.isEmpty() ? QStringLiteral("velmora") : first;
    return command.contains(QLatin1Char(' ')) ? QLatin1Char('"') + command + QLatin1Char('"') : command;
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
    const QStringList arguments = CommandLine::arguments(argc, argv);
    if (const auto answered = commandLine.answerHelpOrVersion(arguments))
        return *answered;

    if (!hasDisplay(arguments)) {
        // A mistake on the command line is told as such, screen or not.
        if (const auto ended = commandLine.parse(withoutQtOptions(arguments)))
            return *ended;
        std::fprintf(stderr,
                     "VELMORA è un programma a finestre e qui non c'è uno schermo (DISPLAY non è impostato).\n"
                     "Avviarlo da una sessione grafica oppure, senza schermo, con: xvfb-run -a %s\n",
                     qPrintable(commandAsGiven(arguments.value(0))));
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
    Startup::endWithFrame(frame);
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
