#include "TestFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs a command to its end; a command that cannot start fails the test with its name.
Run run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment = {},
        int timeoutMs = 240000) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start();
    Run result;
    if (!process.waitForStarted() || !process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("%1 did not run: %2").arg(program, process.errorString());
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// What a desktop session without a screen looks like, for a user whose home is `home`.
QProcessEnvironment userEnvironment(const QString& home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_DATA_HOME", "XDG_DATA_DIRS"})
        environment.remove(QString::fromLatin1(name));
    environment.insert("HOME", home);
    environment.insert("LC_ALL", "C.UTF-8");
    return environment;
}

// Every program the package installs.
const QStringList programs{"velmora", "velmora-esempio", "velmora-stampa", "velmora-trasferisci"};

QString tool(const char* name) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
    if (path.isEmpty())
        qWarning("%s is missing: bash scripts/setup.sh installs it", name);
    return path;
}

QMap<QString, QString> desktopEntry(const QString& path) {
    QFile file(path);
    QMap<QString, QString> keys;
    if (!file.open(QIODevice::ReadOnly))
        return keys;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0)
            keys.insert(line.left(equals), line.mid(equals + 1));
    }
    return keys;
}

} // namespace

// The program as a package installs it: the layout under a prefix, the menu entry and the
// AppStream data checked by their own validators, the programs started from the installed
// tree, and the Debian package checked by lintian.
class InstallTest : public QObject {
    Q_OBJECT

    TestFolder m_root;
    QString m_usr;

private slots:
    void initTestCase() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DESTDIR", m_root.path());
        const Run installed = run(CMAKE_COMMAND, {"--install", BUILD_DIR, "--prefix", "/usr"}, environment);
        QVERIFY2(installed.exitCode == 0, qPrintable(installed.out + installed.err));
        m_usr = m_root.file("usr");
    }

    void theTreeHasEverythingInItsPlace() {
        QStringList missing;
        for (const char* file : {"bin/velmora", "bin/velmora-esempio", "bin/velmora-stampa", "bin/velmora-trasferisci"})
            if (!QFileInfo(m_usr + "/" + file).isExecutable())
                missing << file;
        for (const char* file :
             {"share/velmora/agenda.rpt", "share/velmora/rapporto.rpt", "share/velmora/richieste.rpt",
              "share/velmora/scheda.rpt", "share/velmora/sfondo.svg", "share/applications/velmora.desktop",
              "share/icons/hicolor/scalable/apps/velmora.svg", "share/metainfo/it.velmora.velmora.metainfo.xml",
              "share/man/man1/velmora.1.gz", "share/man/man1/velmora-esempio.1.gz", "share/man/man1/velmora-stampa.1.gz",
              "share/man/man1/velmora-trasferisci.1.gz",
              "share/doc/velmora/copyright", "share/doc/velmora/changelog.Debian.gz", "share/lintian/overrides/velmora"})
            if (!QFileInfo(m_usr + "/" + file).isFile())
                missing << file;
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(", ")));
        // Nothing else: no stray files from the build tree.
        QCOMPARE(QDir(m_usr + "/bin").entryList(QDir::Files),
                 (QStringList{"velmora", "velmora-esempio", "velmora-stampa", "velmora-trasferisci"}));
        QCOMPARE(QDir(m_usr + "/share/velmora").entryList(QDir::Files).size(), 5);
    }

    void theMenuEntryIsItalianAndValid() {
        const QString entry = m_usr + "/share/applications/velmora.desktop";
        const QMap<QString, QString> keys = desktopEntry(entry);
        QCOMPARE(keys.value("Name"), QStringLiteral("VELMORA"));
        QCOMPARE(keys.value("GenericName"), QStringLiteral("Gestionale per l'agenzia immobiliare"));
        QVERIFY(keys.value("Comment").startsWith("Immobili, richieste dei clienti"));
        QCOMPARE(keys.value("Categories"), QStringLiteral("Office;"));
        QCOMPARE(keys.value("Exec"), QStringLiteral("velmora"));
        QCOMPARE(keys.value("Icon"), QStringLiteral("velmora"));
        // The window's class is the program's application name.
        QCOMPARE(keys.value("StartupWMClass"), QStringLiteral("velmora"));

        const QString validator = tool("desktop-file-validate");
        QVERIFY2(!validator.isEmpty(), "desktop-file-validate is missing: bash scripts/setup.sh installs it");
        const Run checked = run(validator, {entry});
        QVERIFY2(checked.exitCode == 0 && checked.out.isEmpty(), qPrintable(checked.out + checked.err));
    }

    void theAppStreamDataIsValid() {
        const QString metainfo = m_usr + "/share/metainfo/it.velmora.velmora.metainfo.xml";
        QFile file(metainfo);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString xml = QString::fromUtf8(file.readAll());
        QVERIFY(xml.contains("<launchable type=\"desktop-id\">velmora.desktop</launchable>"));
        QVERIFY(xml.contains("<summary xml:lang=\"it\">Gestionale per il piccolo ufficio immobiliare</summary>"));
        QVERIFY(xml.contains("<summary>Office software for a small real-estate agency</summary>"));
        QVERIFY(xml.contains(QStringLiteral("<release version=\"%1\"").arg(PROJECT_VERSION)));
        for (const QString& program : programs)
            QVERIFY2(xml.contains(QStringLiteral("<binary>%1</binary>").arg(program)), qPrintable(program));

        const QString validator = tool("appstreamcli");
        QVERIFY2(!validator.isEmpty(), "appstreamcli is missing: bash scripts/setup.sh installs it");
        const Run checked = run(validator, {"validate", "--no-net", "--pedantic", metainfo});
        QVERIFY2(checked.exitCode == 0, qPrintable(checked.out + checked.err));
        QVERIFY2(!checked.out.contains("W:") && !checked.out.contains("E:"), qPrintable(checked.out));
    }

    // The manual pages are Italian: no word is cut by English hyphenation rules, even on a
    // narrow terminal, and the main page names every other program.
    void theManualPagesReadAsItalian() {
        const QString groff = tool("groff");
        QVERIFY2(!groff.isEmpty(), "groff is missing: bash scripts/setup.sh installs it");
        for (const QString& program : programs) {
            const Run source = run("gzip", {"-dc", m_usr + "/share/man/man1/" + program + ".1.gz"});
            QCOMPARE(source.exitCode, 0);
            QProcess typeset;
            typeset.start(groff, {"-man", "-Tutf8", "-rLL=40n", "-P-cbou"});
            typeset.write(source.out.toUtf8());
            typeset.closeWriteChannel();
            QVERIFY(typeset.waitForFinished(60000));
            const QString page = QString::fromUtf8(typeset.readAllStandardOutput());
            QVERIFY2(page.contains("NOME"), qPrintable(program + page));
            const QRegularExpression cut(QStringLiteral("\\p{L}[-\\x{2010}]$"), QRegularExpression::MultilineOption);
            QVERIFY2(!cut.match(page).hasMatch(), qPrintable(program + ": " + cut.match(page).captured() + "\n" + page));
            if (program == "velmora") {
                const QString seeAlso = page.mid(page.indexOf("VEDERE ANCHE")).simplified();
                for (const QString& other : programs.mid(1))
                    QVERIFY2(seeAlso.contains(other + "(1)"), qPrintable(other + " in " + seeAlso));
            }
        }
    }

    // Help and version need no screen and open no window.
    void theInstalledProgramsAnswerOnTheTerminal() {
        TestFolder home;
        for (const QString name : {"velmora", "velmora-esempio", "velmora-stampa", "velmora-trasferisci"}) {
            const QString program = m_usr + "/bin/" + name;
            const Run help = run(program, {"--help"}, userEnvironment(home.path()));
            QCOMPARE(help.exitCode, 0);
            QVERIFY2(help.out.startsWith(QStringLiteral("Uso: %1 [opzioni]").arg(name)), qPrintable(help.out + help.err));
            // The transfer works on the two databases it is given, never on a program folder's.
            QVERIFY2(help.out.contains("--cartella <cartella>") != (name == "velmora-trasferisci"), qPrintable(help.out));
            const Run version = run(program, {"--version"}, userEnvironment(home.path()));
            QCOMPARE(version.exitCode, 0);
            QCOMPARE(version.out, QStringLiteral("%1 (VELMORA) versione %2\n").arg(name, PROJECT_VERSION));
            // A mistake is told once the program could start (the window program needs a screen).
            QProcessEnvironment offscreen = userEnvironment(home.path());
            offscreen.insert("QT_QPA_PLATFORM", "offscreen");
            const Run wrong = run(program, {"--sconosciuta"}, offscreen);
            QCOMPARE(wrong.exitCode, 2);
            QVERIFY2(wrong.err.contains("Opzione sconosciuta: --sconosciuta."), qPrintable(wrong.err));
        }
        QVERIFY(!QFileInfo::exists(home.file(".local/share/velmora")));  // no folder made for a question

        // Without a screen: a mistake is told as such; otherwise how to start it as it was called.
        const Run wrong = run(m_usr + "/bin/velmora", {"--sconosciuta"}, userEnvironment(home.path()));
        QCOMPARE(wrong.exitCode, 2);
        QVERIFY2(wrong.err.contains("Opzione sconosciuta: --sconosciuta."), qPrintable(wrong.err));
        const Run noScreen = run(m_usr + "/bin/velmora", {"-style", "fusion"}, userEnvironment(home.path()));
        QCOMPARE(noScreen.exitCode, 1);
        QVERIFY2(noScreen.err.contains("xvfb-run -a " + m_usr + "/bin/velmora\n"), qPrintable(noScreen.err));
        QVERIFY(!QFileInfo::exists(home.file(".local/share/velmora")));
    }

    // Installed, each user gets a ready folder of their own, made at the first start.
    void theInstalledProgramKeepsItsFilesInTheUsersFolder() {
        TestFolder home;
        const QString folder = home.file(".local/share/velmora");
        QProcessEnvironment environment = userEnvironment(home.path());
        environment.insert("QT_QPA_PLATFORM", "offscreen");

        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(m_usr + "/bin/velmora", {});
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(folder + "/daba.ini").isFile() || program.state() == QProcess::NotRunning,
                                 60000);
        QCOMPARE(program.state(), QProcess::Running);  // it runs with its windows, not stopped at start
        program.terminate();
        if (!program.waitForFinished(10000)) {
            program.kill();
            program.waitForFinished();
        }
        for (const char* name : {"daba.ini", "daba.mdb", "agenda.rpt", "rapporto.rpt", "richieste.rpt", "scheda.rpt"})
            QVERIFY2(QFileInfo(folder + "/" + name).isFile(), name);
        QVERIFY(QFileInfo(folder + "/foto").isDir());
        QVERIFY(!QFileInfo::exists(m_usr + "/bin/daba.mdb"));
        // The clients' data is the user's alone; the first look is the installed background.
        QCOMPARE(QFileInfo(folder).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        QCOMPARE(QFileInfo(folder + "/daba.mdb").permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser);
        QFile background(folder + "/sfondo.ini");
        QVERIFY(background.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(background.readAll()).trimmed(), m_usr + "/share/velmora/sfondo.svg");

        // The tools use the same folder; the report file is found there.
        const Run filled = run(m_usr + "/bin/velmora-esempio", {"--immobili", "30", "--foto", "2"}, userEnvironment(home.path()));
        QVERIFY2(filled.exitCode == 0, qPrintable(filled.err));
        QVERIFY2(filled.out.contains(folder + "/daba.mdb"), qPrintable(filled.out));
        const Run printed = run(m_usr + "/bin/velmora-stampa", {"richieste.rpt", "--pdf", home.file("richieste.pdf")},
                                userEnvironment(home.path()));
        QVERIFY2(printed.exitCode == 0, qPrintable(printed.err));
        QVERIFY(QFileInfo(home.file("richieste.pdf")).size() > 1000);

        // --cartella chooses another folder, made ready on the spot.
        const Run chosen = run(m_usr + "/bin/velmora-esempio", {"--cartella", home.file("ufficio"), "--immobili", "1"},
                               userEnvironment(home.path()));
        QVERIFY2(chosen.exitCode == 0, qPrintable(chosen.err));
        QVERIFY(QFileInfo(home.file("ufficio/daba.ini")).isFile());
    }

    void theDebianPackageIsLintianClean() {
        TestFolder out;
        const Run packed = run(CPACK_COMMAND, {"--config", QStringLiteral(BUILD_DIR) + "/CPackConfig.cmake", "-G", "DEB", "-B", out.path()});
        QVERIFY2(packed.exitCode == 0, qPrintable(packed.out + packed.err));
        const QStringList debs = QDir(out.path()).entryList({"velmora_*.deb"});
        QCOMPARE(debs.size(), 1);
        const QString deb = out.file(debs.first());
        QVERIFY2(QFileInfo(deb).fileName().startsWith(QStringLiteral("velmora_%1-1_").arg(PROJECT_VERSION)), qPrintable(deb));

        const Run fields = run("dpkg-deb", {"--field", deb, "Package", "Version", "Section", "Depends"});
        QVERIFY2(fields.exitCode == 0, qPrintable(fields.err));
        QVERIFY(fields.out.contains("Package: velmora\n"));
        QVERIFY(fields.out.contains(QStringLiteral("Version: %1-1\n").arg(PROJECT_VERSION)));
        QVERIFY(fields.out.contains("Section: misc\n"));
        // Computed from the libraries, plus what Qt loads by name.
        for (const char* package : {"libqt6widgets6", "libqt6sql6 ", "libsqlite3-0", "libqt6sql6-sqlite", "qt6-translations-l10n"})
            QVERIFY2(fields.out.contains(QString::fromLatin1(package).trimmed()), qPrintable(package + fields.out));

        const QString lintian = tool("lintian");
        QVERIFY2(!lintian.isEmpty(), "lintian is missing: bash scripts/setup.sh installs it");
        const Run checked = run(lintian, {"--fail-on", "error", "--allow-root", deb}, {}, 480000);
        QVERIFY2(checked.exitCode == 0, qPrintable(checked.out + checked.err));
        QVERIFY2(!checked.out.contains(QRegularExpression("^E: ", QRegularExpression::MultilineOption)), qPrintable(checked.out));
        qInfo("lintian: %s", checked.out.isEmpty() ? "nessuna osservazione" : qPrintable(checked.out));
    }
};

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
