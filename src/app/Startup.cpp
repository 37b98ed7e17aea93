#include "Startup.h"

#include "Backup.h"
#include "DiaryWindow.h"
#include "LeadWindow.h"
#include "MainWindow.h"
#include "ProgramSettings.h"
#include "PropertyWindow.h"
#include "ReadyDefault.h"
#include "ReportFiles.h"
#include "SettingsWindow.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <tuple>

namespace Startup {

Result prepareFolder(const Context& context) {
    const Result prepared = ReadyDefault::prepare(context.programFolder);
    // Where the report files cannot be put back, printing says which file it looked for.
    const QString databaseFolder = ProgramSettings::databaseFolder(ProgramSettings(context.programFolder).databasePath());
    if (QFileInfo(databaseFolder).isDir())
        std::ignore = ReportFiles::placeMissing(databaseFolder);
    return prepared;
}

void openWindows(MainWindow& frame, const Context& context) {
    frame.setCommand(MainWindow::CreateBackup, [&context] { Backup::create(context); });
    frame.setCommand(MainWindow::RestoreBackup, [&context] {
        // The program ends at once: no window goes on with the replaced database.
        if (Backup::restore(context))
            QCoreApplication::exit(0);
    });
    frame.setWindowFactory(MainWindow::Properties, [&context] { return new PropertyWindow(context); });
    frame.setWindowFactory(MainWindow::Leads, [&context] { return new LeadWindow(context); });
    frame.setWindowFactory(MainWindow::Diary, [&context] { return new DiaryWindow(context); });
    frame.setWindowFactory(MainWindow::Settings, [&context, &frame] {
        return new SettingsWindow(context, [&frame](const QString& path) { frame.applyBackgroundPath(path); });
    });
    frame.showWindow(MainWindow::Properties);
}

} // namespace Startup
