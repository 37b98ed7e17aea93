#include "app/Startup.h"

#include "app/Backup.h"
#include "app/Backup.h"
#include "app/EndSignals.h"
#include "app/EndSignals.h"
#include "app/MainWindow.h"
#include "app/MainWindow.h"
#include "app/SessionDialogs.h"
#include "app/SessionDialogs.h"
#include "data/folder/ProgramSettings.h"
#include "data/folder/ProgramSettings.h"
#include "data/folder/ReadyDefault.h"
#include "data/folder/ReadyDefault.h"
#include "data/folder/ReportFiles.h"
#include "data/folder/ReportFiles.h"
#include "data/sqlite/DatabaseFile.h"
#include "data/sqlite/DatabaseFile.h"
#include "diary/DiaryWindow.h"
#include "diary/DiaryWindow.h"
#include "forms/window/RegisterWindow.h"
#include "leads/LeadWindow.h"
#include "leads/LeadWindow.h"
#include "matching/MatchWindow.h"
#include "properties/PropertyWindow.h"
#include "properties/PropertyWindow.h"
#include "requests/RequestWindow.h"
#include "requests/RequestWindow.h"
#include "settings/SettingsWindow.h"
#include "settings/SettingsWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <tuple>

namespace Startup {

QString description() {
    return QStringLiteral(
        "VELMORA, il gestionale dell'agenzia immobiliare: immobili, richieste dei clienti, notizie, agenda e stampe. "
        "La cartella del programma (impostazioni, database, report e foto) è quella dell'eseguibile se vi si può "
        "scrivere e il programma non è installato; altrimenti è ~/.local/share/velmora, preparata al primo avvio con "
        "un database vuoto pronto all'uso.");
}

QCommandLineOption folderOption() {
    return QCommandLineOption({QStringLiteral("c"), QStringLiteral("cartella")},
                              QStringLiteral("Usa questa cartella del programma (creata se manca, con il database pronto "
                                             "all'uso)."),
                              QStringLiteral("cartella"));
}

Result prepareFolder(const Context& context) {
    // Temporary copies of a backup or a restore that the program did not live to finish.
    DatabaseFile::removeStaleCopies(context.programFolder);
    const Result prepared = ReadyDefault::prepare(context.programFolder);
    // Where the report files cannot be put back, printing says which file it looked for.
    const ProgramSettings settings(context.programFolder);
    const QString databasePath = settings.databasePath();
    const QString databaseFolder = settings.databaseFolder();
    if (QFileInfo(databaseFolder).isDir())
        std::ignore = ReportFiles::placeMissing(databaseFolder, context.programFolder);
    if (!databasePath.trimmed().isEmpty() && !settings.databaseOnServer() &&
        QFileInfo(databasePath).absolutePath() != QFileInfo(context.programFolder).absoluteFilePath())
        DatabaseFile::removeStaleCopies(QFileInfo(databasePath).absolutePath());
    return prepared;
}

namespace {

// A record a double-click in INCROCI names, shown in its register.
void showRecord(MainWindow& frame, const QString& table, qint64 key) {
    const int button = table == QStringLiteral("immobile") ? MainWindow::Properties : MainWindow::Requests;
    if (auto* window = qobject_cast<RegisterWindow*>(frame.showWindow(button)))
        window->showKey(key);
}

} // namespace

void openWindows(MainWindow& frame, const Context& context) {
    frame.setCommand(MainWindow::CreateBackup, [&context] { Backup::create(context); });
    frame.setCommand(MainWindow::RestoreBackup, [&context] {
        // The program ends at once: no window goes on with the replaced database.
        if (Backup::restore(context))
            QCoreApplication::exit(0);
    });
    frame.setWindowFactory(MainWindow::Properties, [&context] { return new PropertyWindow(context); });
    frame.setWindowFactory(MainWindow::Requests, [&context] { return new RequestWindow(context); });
    frame.setWindowFactory(MainWindow::Leads, [&context] { return new LeadWindow(context); });
    frame.setWindowFactory(MainWindow::Diary, [&context] { return new DiaryWindow(context); });
    frame.setWindowFactory(MainWindow::Settings, [&context, &frame] {
        return new SettingsWindow(context, [&frame](const QString& path) { frame.applyBackgroundPath(path); });
    });
    frame.setWindowFactory(MainWindow::Matching, [&context, &frame] {
        auto* matching = new MatchWindow(context);
        QObject::connect(matching, &MatchWindow::openRecord, &frame, [&frame](const QString& table, qint64 key) {
            showRecord(frame, table, key);
        });
        return matching;
    });
    frame.showWindow(MainWindow::Properties);
    if (const QString notice = unsavedNotice(context.programFolder); !notice.isEmpty())
        context.dialogs.message(notice);
}

QString unsavedNotice(const QString& programFolder) {
    const QDir folder(programFolder);
    QStringList files;
    for (const QString& name :
         folder.entryList({MainWindow::unsavedPrefix + QStringLiteral("*.txt")}, QDir::Files, QDir::Name))
        files << QStringLiteral("«%1»").arg(QDir::toNativeSeparators(folder.filePath(name)));
    if (files.isEmpty())
        return {};
    return QStringLiteral("Quando il sistema ha chiuso il programma, i dati che il database non ha accettato sono stati "
                          "salvati in %1: ricopiarli nelle schede e poi eliminare il file.")
        .arg(files.join(QStringLiteral(", ")));
}

void endOnSystemSignals(MainWindow& frame, SessionDialogs& dialogs) {
    auto* watcher = new EndSignals(&frame);
    QObject::connect(watcher, &EndSignals::received, &frame, [&frame, &dialogs](int signal) {
        dialogs.setUnattended(true);
        frame.endAtSystemRequest(QStringLiteral("chiuso dal sistema (segnale %1): quanto è stato rifiutato qui sopra "
                                                "non è stato scritto nel database.")
                                     .arg(signal));
        // The end is queued before this: a program that goes on all the same is attended again.
        QTimer::singleShot(0, &frame, [&dialogs] { dialogs.setUnattended(false); });
    });
}

void endWithFrame(MainWindow& frame) {
    // QCoreApplication::quit() would ask the windows to close again, and one that refused
    // would keep the program open.
    QObject::connect(&frame, &MainWindow::ended, &frame, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

} // namespace Startup
