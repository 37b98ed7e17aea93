#include "TestFolder.h"
#include "data/folder/ProgramSettings.h"
#include "data/folder/ReadyDefault.h"
#include "data/folder/ReportFiles.h"
#include "data/sqlite/DatabaseFile.h"
#include "platform/CommandLine.h"
#include "platform/files/ProgramFolder.h"
#include "platform/TerminalProgress.h"
#include "platform/Version.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An installed tree: prefix/bin with prefix/share/velmora beside it.
QString installedTree(const TestFolder& root) {
    QDir().mkpath(root.file("usr/bin"));
    QDir().mkpath(root.file("usr/share/velmora"));
    return root.file("usr/bin");
}

// The permission bits of a file or folder.
int mode(const QString& path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? static_cast<int>(status.st_mode & 07777) : -1;
}

} // namespace

class ProgramFolderTest : public QObject {
    Q_OBJECT

    TestFolder m_home;

private slots:
    void init() {
        // The user's data folder and the system's data folders live in the test's own folder.
        qputenv("XDG_DATA_HOME", m_home.file("dati-utente").toUtf8());
        qputenv("XDG_DATA_DIRS", m_home.file("sistema").toUtf8());
        QDir(m_home.file("dati-utente")).removeRecursively();
        QDir(m_home.file("sistema")).removeRecursively();
    }

    void theFolderFollowsWhereTheProgramRuns() {
        TestFolder here;
        QString folder;

        // The build tree or a copy in a writable folder: its own folder, as always.
        QVERIFY(ProgramFolder::choose({}, here.path(), folder).ok());
        QCOMPARE(folder, here.path());

        // Installed: the user's own folder, made at once, even where the program could write
        // (root and /usr/bin).
        const QString bin = installedTree(here);
        QCOMPARE(ProgramFolder::installedDataFolder(bin), here.file("usr/share/velmora"));
        QVERIFY(ProgramFolder::choose({}, bin, folder).ok());
        QCOMPARE(folder, m_home.file("dati-utente/velmora"));
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(ProgramFolder::userFolder(), folder);

        // A bin/ folder without share/velmora/ is not an installed tree.
        QDir(here.file("usr/share/velmora")).removeRecursively();
        QVERIFY(ProgramFolder::installedDataFolder(bin).isEmpty());
        QVERIFY(ProgramFolder::choose({}, bin, folder).ok());
        QCOMPARE(folder, bin);

        // Named on the command line: that folder, relative to where the command was given.
        const QString previous = QDir::currentPath();
        QDir::setCurrent(here.path());
        QVERIFY(ProgramFolder::choose(QStringLiteral("ufficio/../ufficio2"), bin, folder).ok());
        QDir::setCurrent(previous);
        QCOMPARE(folder, here.file("ufficio2"));
        QVERIFY(QFileInfo(folder).isDir());

        // A file cannot be a folder.
        here.write("un-file", "x");
        const Result refused = ProgramFolder::choose(here.file("un-file"), bin, folder);
        QVERIFY(!refused.ok());
        QCOMPARE(refused.message(),
                 QStringLiteral("«%1» non è una cartella: non può essere la cartella del programma.").arg(here.file("un-file")));
    }

    void aFolderTheUserCannotWriteSendsThemToTheirOwn() {
        if (geteuid() == 0)
            QSKIP("root writes in any folder: the installed-tree rule covers root (see the test above)");
        TestFolder here;
        QFile::setPermissions(here.path(), QFile::ReadOwner | QFile::ExeOwner);
        QString folder;
        QVERIFY(ProgramFolder::choose({}, here.path(), folder).ok());
        QFile::setPermissions(here.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(folder, m_home.file("dati-utente/velmora"));
    }

    // Other users of the machine never read the clients' data, whatever the umask.
    void theUsersFolderAndItsDatabasesArePrivate() {
        const mode_t previous = ::umask(022);
        TestFolder here;
        QString folder;
        QVERIFY(ProgramFolder::choose({}, installedTree(here), folder).ok());
        QCOMPARE(mode(folder), 0700);
        QCOMPARE(mode(QFileInfo(folder).absolutePath()), 0755);  // the system's own folder, as usual
        QVERIFY(ReadyDefault::prepare(folder).ok());
        QCOMPARE(mode(folder + "/daba.mdb"), 0600);

        // Backups and copies are private; a file that is replaced keeps its owner's choice.
        QVERIFY(DatabaseFile::copy(folder + "/daba.mdb", folder + "/backup.bak").ok());
        QCOMPARE(mode(folder + "/backup.bak"), 0600);
        QVERIFY(QFile::setPermissions(folder + "/backup.bak", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QVERIFY(DatabaseFile::copy(folder + "/daba.mdb", folder + "/backup.bak").ok());
        QCOMPARE(mode(folder + "/backup.bak"), 0640);
        QVERIFY(DatabaseFile::restore(folder + "/backup.bak", folder + "/nuovo.mdb").ok());
        QCOMPARE(mode(folder + "/nuovo.mdb"), 0600);

        // A folder named on the command line: made private when new, kept as it is when not.
        QVERIFY(ProgramFolder::choose(here.file("ufficio"), {}, folder).ok());
        QCOMPARE(mode(folder), 0700);
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                  QFile::ExeGroup));
        QVERIFY(ProgramFolder::choose(here.file("ufficio"), {}, folder).ok());
        QCOMPARE(mode(folder), 0750);
        ::umask(previous);
    }

    // A new folder opens on the default background, the installed one when there is one; a
    // folder that already had a database keeps the plain colour.
    void theReadyDefaultNamesTheDefaultBackground() {
        TestFolder built, installed, existing;
        QVERIFY(ReadyDefault::prepare(built.path()).ok());
        QCOMPARE(ProgramSettings(built.path()).backgroundPath(), built.file("sfondo.svg"));
        QVERIFY(built.read("sfondo.svg").contains("<svg"));

        QDir().mkpath(m_home.file("sistema/velmora"));
        QVERIFY(QFile::copy(built.file("sfondo.svg"), m_home.file("sistema/velmora/sfondo.svg")));
        QVERIFY(ReadyDefault::prepare(installed.path()).ok());
        QCOMPARE(ProgramSettings(installed.path()).backgroundPath(), m_home.file("sistema/velmora/sfondo.svg"));
        QVERIFY(!QFileInfo::exists(installed.file("sfondo.svg")));

        existing.write("daba.mdb", "");
        QVERIFY(ReadyDefault::prepare(existing.path()).ok());
        QVERIFY(!QFileInfo::exists(existing.file("sfondo.ini")));
    }

    // The report files and the background come from the program folder first, then from the
    // installed share/velmora/, then from the copy built into the program.
    void shippedFilesAreFoundInTheProgramFolderThenTheInstalledOne() {
        TestFolder program, target;
        QDir().mkpath(m_home.file("sistema/velmora"));
        QFile installed(m_home.file("sistema/velmora/agenda.rpt"));
        QVERIFY(installed.open(QIODevice::WriteOnly));
        installed.write("{ \"installato\": true }");
        installed.close();
        QCOMPARE(ProgramFolder::sharedFolders(), QStringList{m_home.file("sistema/velmora")});

        QCOMPARE(ProgramFolder::findShared(program.path(), "agenda.rpt"), m_home.file("sistema/velmora/agenda.rpt"));
        program.write("agenda.rpt", "{ \"mio\": true }");
        QCOMPARE(ProgramFolder::findShared(program.path(), "agenda.rpt"), program.file("agenda.rpt"));
        QVERIFY(ProgramFolder::findShared(program.path(), "scheda.rpt").isEmpty());

        QVERIFY(ReportFiles::placeMissing(target.path(), program.path()).ok());
        QCOMPARE(target.read("agenda.rpt"), QByteArray("{ \"mio\": true }"));
        QFile::remove(program.file("agenda.rpt"));
        QFile::remove(target.file("agenda.rpt"));
        QVERIFY(ReportFiles::placeMissing(target.path(), program.path()).ok());
        QCOMPARE(target.read("agenda.rpt"), QByteArray("{ \"installato\": true }"));
        QVERIFY(target.read("scheda.rpt").contains("\"title\""));  // built in

        // The user's own data folder is a program folder, never a source of shipped files.
        qputenv("XDG_DATA_DIRS", m_home.file("dati-utente").toUtf8());
        QDir().mkpath(m_home.file("dati-utente/velmora"));
        QVERIFY(ProgramFolder::sharedFolders().isEmpty());
    }

    void theCommandLineAnswersInItalian() {
        const QCommandLineOption folder({"c", "cartella"}, "La cartella del programma.", "cartella");
        const auto commandLine = [&] {
            auto line = std::make_unique<CommandLine>("velmora", "Il gestionale dell'agenzia immobiliare.");
            line->addOption(folder);
            return line;
        };

        const QString help = commandLine()->helpText();
        QVERIFY2(help.startsWith("Uso: velmora [opzioni]\n\nIl gestionale dell'agenzia immobiliare.\n\nOpzioni:\n"),
                 qPrintable(help));
        QVERIFY2(help.contains(QRegularExpression("\n  -c, --cartella <cartella> +La cartella del programma\\.\n")),
                 qPrintable(help));
        QVERIFY(help.contains(QRegularExpression("\n  -h, --help +Mostra questo aiuto ed esce\\.\n")));
        QVERIFY(help.contains(QRegularExpression("\n  -v, --version +Mostra la versione ed esce\\.\n")));
        QCOMPARE(commandLine()->versionText(), QStringLiteral("velmora (VELMORA) versione %1\n").arg(VELMORA_VERSION));

        // Help and version before anything else, whatever follows.
        QCOMPARE(commandLine()->answerHelpOrVersion({"velmora", "-platform", "xcb", "--version"}).value_or(-1), 0);
        QVERIFY(!commandLine()->answerHelpOrVersion({"velmora", "--cartella", "x"}));
        QVERIFY(!commandLine()->answerHelpOrVersion({"velmora", "--", "--help"}));

        auto line = commandLine();
        QVERIFY(!line->parse({"velmora", "--cartella", "/tmp/ufficio"}));
        QCOMPARE(line->value(folder), QStringLiteral("/tmp/ufficio"));
        QCOMPARE(line->parse({"velmora", "--cartela", "x"}).value_or(-1), 2);
        QCOMPARE(line->error(), QStringLiteral("Opzione sconosciuta: --cartela."));
        QCOMPARE(line->parse({"velmora", "--cartella"}).value_or(-1), 2);
        QCOMPARE(line->error(), QStringLiteral("Manca il valore dopo «--cartella»."));
        QCOMPARE(line->parse({"velmora", "--help=si"}).value_or(-1), 2);
        QCOMPARE(line->error(), QStringLiteral("L'opzione «--help» non vuole un valore."));
    }

    void theTerminalLineCountsInItalianAndCtrlCStopsOnlyWhatMayStop() {
        QCOMPARE(TerminalProgress::line("Righe aggiunte", 12000, 100000), QStringLiteral("Righe aggiunte: 12.000 di 100.000 (12%)"));
        QCOMPARE(TerminalProgress::line("Pagine impaginate", 7, 0), QStringLiteral("Pagine impaginate: 7"));

        std::FILE* sink = std::tmpfile();
        {
            TerminalProgress stoppable("Righe", true, sink);
            QVERIFY(stoppable.advance(1, 10));
            std::raise(SIGINT);
            QVERIFY(!stoppable.advance(2, 10));
        }
        {
            // A fresh piece of work starts afresh.
            TerminalProgress next("Righe", true, sink);
            QVERIFY(next.advance(1, 10));
        }
        std::signal(SIGINT, SIG_IGN);  // the work below may not stop: Ctrl+C is not its business
        {
            TerminalProgress unstoppable("Copia", false, sink);
            std::raise(SIGINT);
            QVERIFY(unstoppable.advance(2, 10));
        }
        std::signal(SIGINT, SIG_DFL);
        // Not a terminal: nothing written, so logs stay clean.
        std::fseek(sink, 0, SEEK_END);
        QCOMPARE(std::ftell(sink), 0L);
        std::fclose(sink);
    }
};

QTEST_GUILESS_MAIN(ProgramFolderTest)
#include "tst_programfolder.moc"
