#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The command line of VELMORA's programs: --help and --version, and every mistake, answered
// in Italian on the terminal (Qt's own parser speaks English).
class CommandLine {
public:
    CommandLine(const QString& program, const QString& description);

    void addOption(const QCommandLineOption& option);
    void addPositional(const QString& name, const QString& description);

    // Reads the arguments (the program's name first). Answers the exit code when the program
    // ends here: 0 after the help or the version went to standard output, 2 after a mistake
    // went to standard error; nothing when the program goes on.
    std::optional<int> parse(const QStringList& arguments);

    // Only --help and --version, before anything else exists (no application, no screen):
    // other arguments are left for parse().
    std::optional<int> answerHelpOrVersion(const QStringList& arguments) const;

    bool isSet(const QCommandLineOption& option) const { return m_parser.isSet(option); }
    QString value(const QCommandLineOption& option) const { return m_parser.value(option); }
    QStringList positionalArguments() const { return m_parser.positionalArguments(); }

    QString helpText() const;
    QString versionText() const;
    // The mistake of the last parse(), in Italian.
    const QString& error() const { return m_error; }

    // The arguments as the system gave them.
    static QStringList arguments(int argc, char* argv[]);

private:
    QString italianError() const;

    QString m_program;
    QString m_description;
    QList<QCommandLineOption> m_options;
    QList<std::pair<QString, QString>> m_positionals;
    QCommandLineOption m_help;
    QCommandLineOption m_version;
    QCommandLineParser m_parser;
    QString m_error;
};
