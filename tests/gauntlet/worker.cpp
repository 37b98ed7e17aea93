// The child process of the crash, concurrency and hostile-file tests: it does one piece
// of the program's work and reports on stdout, a line at a time, what it has finished,
// so the test knows what was acknowledged when it kills or races it.
//
//   velmora-gauntlet-worker commit DATABASE FIRST [COUNT]  numbered commits "commit N"
//   velmora-gauntlet-worker settings FILE SIZE             settings saves, two versions in turn
//   velmora-gauntlet-worker restore FOLDER BACKUP          RECUPERA BACKUP choosing BACKUP
//   velmora-gauntlet-worker start FOLDER                   the program's start
//   velmora-gauntlet-worker end FOLDER                     the program running with entries the
//                                                          database refuses, until the system ends it
//
// As root it first gives up the power to ignore file permissions, so an unreadable
// file is unreadable to it as to anyone else.

#include "Backup.h"
#include "Database.h"
#include "DiaryWindow.h"
#include "MainWindow.h"
#include "PropertyWindow.h"
#include "RecordSource.h"
#include "SessionDialogs.h"
#include "SettingsFile.h"
#include "Startup.h"
#include "TestContext.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

void dropPermissionOverride() {
    if (geteuid() != 0)
        return;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    if (syscall(SYS_capget, &header, caps) != 0)
        return;
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        caps[cap / 32].effective &= ~(1u << (cap % 32));
        caps[cap / 32].permitted &= ~(1u << (cap % 32));
        caps[cap / 32].inheritable &= ~(1u << (cap % 32));
    }
    if (syscall(SYS_capset, &header, caps) != 0)
        std::fprintf(stderr, "cannot drop CAP_DAC_OVERRIDE\n");
}

void say(const QString& line) {
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

// Messages travel one a line.
void sayMessages(const ScriptedDialogs& dialogs) {
    for (QString message : dialogs.messages)
        say(QStringLiteral("MESSAGGIO ") + message.replace(QLatin1Char('\n'), QLatin1Char(' ')));
}

int commit(const QString& database, qint64 first, qint64 count) {
    const Regional regional(QLocale(QLocale::Italian, QLocale::Italy));
    RecordSource source(QStringLiteral("immobile"), regional);
    if (const Result opened = source.setDatabaseName(database); !opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.message()));
        return 3;
    }
    say(QStringLiteral("pronto"));
    for (qint64 n = first; count < 0 || n < first + count; ++n) {
        Result done = source.addNew();
        if (done)
            done = source.setFieldValue(QStringLiteral("proprietario"), QStringLiteral("commit %1").arg(n));
        if (done)
            done = source.update();
        if (!done) {
            std::fprintf(stderr, "%s\n", qPrintable(done.message()));
            return 3;
        }
        say(QString::number(n));  // acknowledged only now
    }
    return 0;
}

int saveSettings(const QString& file, int size) {
    say(QStringLiteral("pronto"));
    for (qint64 n = 0;; ++n) {
        const QChar letter = n % 2 ? QLatin1Char('b') : QLatin1Char('a');
        const QStringList values{QString(size, letter), QString(size / 2, letter), QString::number(n % 2)};
        if (const Result saved = SettingsFile::write(file, values); !saved) {
            std::fprintf(stderr, "%s\n", qPrintable(saved.message()));
            return 3;
        }
        say(QString::number(n));
    }
}

int restore(const QString& folder, const QString& backup) {
    TestContext office(folder);
    office.dialogs.answers.enqueue(backup);
    say(QStringLiteral("pronto"));
    const bool restored = Backup::restore(office.context);
    sayMessages(office.dialogs);
    say(restored ? QStringLiteral("ripristinato") : QStringLiteral("non ripristinato"));
    return 0;
}

int start(const QString& folder) {
    TestContext office(folder);
    const Result prepared = Startup::prepareFolder(office.context);
    if (!prepared)
        office.dialogs.message(prepared.message());
    MainWindow frame(office.context);
    office.context.windows = &frame;
    frame.show();
    Startup::openWindows(frame, office.context);
    QApplication::processEvents();
    say(QStringLiteral("avviato"));
    sayMessages(office.dialogs);
    return 0;
}

// Types into a card field as the user does.
void typeInto(QWidget& window, const char* field, const QString& text) {
    auto* edit = window.findChild<QLineEdit*>(QLatin1String(field));
    edit->setText(text);
    emit edit->textEdited(text);
}

void click(QWidget& window, const char* button) {
    window.findChild<QPushButton*>(QLatin1String(button))->click();
}

int end(const QString& folder) {
    TestContext office(folder);
    SessionDialogs session(office.dialogs);
    Context context{folder, session, office.clock, office.regional, office.printing};
    if (const Result prepared = Startup::prepareFolder(context); !prepared)
        session.message(prepared.message());
    MainWindow frame(context);
    Startup::endWithFrame(frame);
    Startup::endOnSystemSignals(frame, session);
    context.windows = &frame;
    frame.show();
    Startup::openWindows(frame, context);
    // A new property with a word in Mq, and a new appointment on 31 February.
    auto* properties = frame.findChild<PropertyWindow*>(QStringLiteral("form_immobili"));
    click(*properties, "Command1");
    typeInto(*properties, "Text1", QStringLiteral("Rossi è qui"));
    typeInto(*properties, "Text9", QStringLiteral("molti"));
    auto* diary = static_cast<DiaryWindow*>(frame.showWindow(MainWindow::Diary));
    click(*diary, "Command1");
    typeInto(*diary, "Text1", QStringLiteral("31/02/2026"));
    typeInto(*diary, "Text3", QStringLiteral("Paola"));
    say(QStringLiteral("pronto"));
    const int code = QApplication::exec();
    say(QStringLiteral("finito"));
    sayMessages(office.dialogs);
    return code;
}

} // namespace

int main(int argc, char* argv[]) {
    dropPermissionOverride();
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const auto arg = [&](int i) { return i < argc ? QString::fromLocal8Bit(argv[i]) : QString(); };
    if (mode == QLatin1String("start")) {
        QApplication app(argc, argv);
        return start(arg(2));
    }
    if (mode == QLatin1String("end")) {
        QApplication app(argc, argv);
        return end(arg(2));
    }
    QCoreApplication app(argc, argv);
    if (mode == QLatin1String("commit"))
        return commit(arg(2), arg(3).toLongLong(), argc > 4 ? arg(4).toLongLong() : -1);
    if (mode == QLatin1String("settings"))
        return saveSettings(arg(2), arg(3).toInt());
    if (mode == QLatin1String("restore"))
        return restore(arg(2), arg(3));
    std::fprintf(stderr, "unknown mode\n");
    return 2;
}
