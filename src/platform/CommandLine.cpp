#include "platform/CommandLine.h"

#include "platform/Version.h"

#include <QRegularExpression>
#include <algorithm>
#include <cstdio>

namespace {

// Wraps a description to the terminal's usual 80 columns, indented under its option.
QString wrapped(const QString& text, int indent, int width = 79) {
    QStringList lines;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && indent + line.size() + 1 + word.size() > width) {
            lines << line;
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty())
        lines << line;
    return lines.join(QLatin1Char('\n') + QString(indent, QLatin1Char(' ')));
}

QString optionNames(const QCommandLineOption& option) {
    QStringList names;
    for (const QString& name : option.names())
        names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    QString text = names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty())
        text += QStringLiteral(" <%1>").arg(option.valueName());
    return text;
}

void write(std::FILE* out, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), out);
    std::fflush(out);
}

} // namespace

CommandLine::CommandLine(const QString& program, const QString& description)
    : m_program(program), m_description(description),
      m_help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Mostra questo aiuto ed esce.")),
      m_version({QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Mostra la versione ed esce.")) {
    m_parser.addOption(m_help);
    m_parser.addOption(m_version);
}

void CommandLine::addOption(const QCommandLineOption& option) {
    m_options << option;
    m_parser.addOption(option);
}

void CommandLine::addPositional(const QString& name, const QString& description) {
    m_positionals.append({name, description});
    m_parser.addPositionalArgument(name, description);
}

QStringList CommandLine::arguments(int argc, char* argv[]) {
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

QString CommandLine::versionText() const {
    return QStringLiteral("%1 (VELMORA) versione %2\n").arg(m_program, QStringLiteral(VELMORA_VERSION));
}

QString CommandLine::helpText() const {
    QString usage = QStringLiteral("Uso: ") + m_program + QStringLiteral(" [opzioni]");
    for (const auto& positional : m_positionals)
        usage += QLatin1Char(' ') + positional.first;

    QList<std::pair<QString, QString>> rows;
    for (const QCommandLineOption& option : m_options)
        rows.append({optionNames(option), option.description()});
    rows.append({optionNames(m_help), m_help.description()});
    rows.append({optionNames(m_version), m_version.description()});
    for (const auto& positional : m_positionals)
        rows.append(positional);
    qsizetype column = 0;
    for (const auto& row : rows)
        column = std::max(column, row.first.size());
    column = std::min<qsizetype>(column + 4, 32);

    QString text = usage + QStringLiteral("\n\n") + wrapped(m_description, 0) + QStringLiteral("\n\nOpzioni:\n");
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (i == m_options.size() + 2)
            text += QStringLiteral("\nArgomenti:\n");
        QString head = QStringLiteral("  ") + rows[i].first;
        head = head.size() + 2 > column ? head + QLatin1Char('\n') + QString(column, QLatin1Char(' '))
                                        : head.leftJustified(column);
        text += head + wrapped(rows[i].second, static_cast<int>(column)) + QLatin1Char('\n');
    }
    return text;
}

std::optional<int> CommandLine::answerHelpOrVersion(const QStringList& arguments) const {
    for (const QString& argument : arguments.mid(1)) {
        if (argument == QStringLiteral("--"))
            break;
        if (argument == QStringLiteral("-h") || argument == QStringLiteral("--help") || argument == QStringLiteral("-help")) {
            write(stdout, helpText());
            return 0;
        }
        if (argument == QStringLiteral("-v") || argument == QStringLiteral("--version") ||
            argument == QStringLiteral("-version")) {
            write(stdout, versionText());
            return 0;
        }
    }
    return std::nullopt;
}

QString CommandLine::italianError() const {
    if (!m_parser.unknownOptionNames().isEmpty()) {
        QStringList names;
        for (const QString& name : m_parser.unknownOptionNames())
            names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        return QStringLiteral("Opzione sconosciuta: %1.").arg(names.join(QStringLiteral(", ")));
    }
    // Qt's parser words its other mistakes in English; these are all it has.
    const QString english = m_parser.errorText();
    static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'\\.$"));
    static const QRegularExpression unexpected(QStringLiteral("^Unexpected value after '(.*)'\\.$"));
    if (const auto match = missing.match(english); match.hasMatch())
        return QStringLiteral("Manca il valore dopo «%1».").arg(match.captured(1));
    if (const auto match = unexpected.match(english); match.hasMatch())
        return QStringLiteral("L'opzione «%1» non vuole un valore.").arg(match.captured(1));
    return QStringLiteral("Argomenti non validi: %1").arg(english);
}

std::optional<int> CommandLine::parse(const QStringList& arguments) {
    m_error.clear();
    if (!m_parser.parse(arguments)) {
        m_error = italianError();
        write(stderr, QStringLiteral("%1: %2\nPer l'aiuto: %1 --help\n").arg(m_program, m_error));
        return 2;
    }
    if (m_parser.isSet(m_help)) {
        write(stdout, helpText());
        return 0;
    }
    if (m_parser.isSet(m_version)) {
        write(stdout, versionText());
        return 0;
    }
    return std::nullopt;
}
