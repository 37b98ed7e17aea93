#include "Artwork.h"
#include "Context.h"
#include "MainWindow.h"
#include "QtDialogs.h"
#include "Regional.h"
#include "SessionDialogs.h"
#include "Startup.h"
#include "SystemClock.h"
#include "SystemPrinting.h"

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

void installQtTranslations(QApplication& app, const QLocale& locale) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase", "qt"}) {
        auto* translator = new QTranslator(&app);
        if (translator->load(locale, QString::fromLatin1(name), QStringLiteral("_"), folder))
            QApplication::installTranslator(translator);
        else
            delete translator;
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (!hasDisplay()) {
        std::fputs("VELMORA è un programma a finestre e qui non c'è uno schermo (DISPLAY non è impostato).\n"
                   "Avviarlo da una sessione grafica oppure, senza schermo, con: xvfb-run -a ./velmora\n",
                   stderr);
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VELMORA"));
    Artwork::initialise();
    // The windows are laid out to the twip for an 8-point face, as the office has always had them.
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 8));

    const Regional regional;
    QLocale::setDefault(regional.locale());
    installQtTranslations(app, regional.locale());

    SystemClock clock;
    QtDialogs shownDialogs;
    SessionDialogs dialogs(shownDialogs);
    SystemPrinting printing;
    Context context{QCoreApplication::applicationDirPath(), dialogs, clock, regional, printing};

    const Result prepared = Startup::prepareFolder(context);

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
    Startup::openWindows(frame, context);
    return QApplication::exec();
}
