#include "data/vocabulary/DatabaseLocation.h"

#include <QDir>
#include <QRegularExpression>

namespace {

// PostgreSQL keeps names of users and databases to 63 bytes.
constexpr int maxNameBytes = 63;

bool isServerAddress(const QString& text) {
    return text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

// libpq's other way of naming a server, "host=server dbname=ufficio user=anna …": a
// file of that name would be made, and its name (the password with it) shown.
bool isConnectionString(const QString& text) {
    static const QRegularExpression first(QStringLiteral("^\\s*[A-Za-z_]+\\s*="));
    static const QRegularExpression keyword(
        QStringLiteral("(^|\\s)(host|hostaddr|port|dbname|user|password|passfile|service|sslmode|connect_timeout|"
                       "options|application_name|target_session_attrs)\\s*="),
        QRegularExpression::CaseInsensitiveOption);
    return first.match(text).hasMatch() && keyword.match(text).hasMatch();
}

Result refused(const QString& why) {
    return Result::failure(QStringLiteral("L'indirizzo del database PostgreSQL non è valido: %1. "
                                          "La forma è postgresql://utente@server:porta/database.")
                               .arg(why));
}

Result passwordRefused() {
    return Result::failure(QStringLiteral("La password non va scritta in daba.ini, dove chiunque la può "
                                          "leggere: va nel file .pgpass dell'utente."));
}

} // namespace

Result DatabaseLocation::parse(const QString& text, DatabaseLocation& location) {
    location = DatabaseLocation();
    const QString value = text.trimmed();
    // "postgresql:/ufficio" is a server address mistyped, not a file of that name.
    if (!isServerAddress(value) &&
        value.contains(QRegularExpression(QStringLiteral("^postgres(ql)?:"), QRegularExpression::CaseInsensitiveOption)))
        return refused(QStringLiteral("dopo «postgresql:» vanno due barre, «//»"));
    if (isConnectionString(value))
        return value.contains(QRegularExpression(QStringLiteral("(^|\\s)password\\s*="),
                                                 QRegularExpression::CaseInsensitiveOption))
                   ? passwordRefused()
                   : refused(QStringLiteral("è scritto come «host=… dbname=…», che VELMORA non legge"));
    if (!isServerAddress(value)) {
        location.m_file = text;
        return Result::success();
    }
    const QString rest = value.mid(value.indexOf(QLatin1String("://")) + 3);
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return refused(QStringLiteral("manca il nome del database dopo il server"));
    QString authority = rest.left(slash);
    const QString name = rest.mid(slash + 1);
    if (name.isEmpty())
        return refused(QStringLiteral("manca il nome del database dopo il server"));
    if (name.contains(QRegularExpression(QStringLiteral("[/?#&=\\s]"))))
        return refused(QStringLiteral("il nome del database contiene caratteri non ammessi"));
    // The server would cut a longer name short and look for another database.
    if (name.toUtf8().size() > maxNameBytes)
        return refused(QStringLiteral("il nome del database è più lungo di %1 caratteri").arg(maxNameBytes));

    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    QString user;
    if (at >= 0) {
        user = authority.left(at);
        authority = authority.mid(at + 1);
        if (user.contains(QLatin1Char(':')))
            return passwordRefused();
        if (user.isEmpty() || user.contains(QRegularExpression(QStringLiteral("[/@\\s]"))))
            return refused(QStringLiteral("il nome dell'utente non è valido"));
        if (user.toUtf8().size() > maxNameBytes)
            return refused(QStringLiteral("il nome dell'utente è più lungo di %1 caratteri").arg(maxNameBytes));
    }

    QString host = authority;
    QString portText;
    if (authority.startsWith(QLatin1Char('['))) { // an IPv6 address: [::1]:5432
        const qsizetype close = authority.indexOf(QLatin1Char(']'));
        if (close < 0)
            return refused(QStringLiteral("manca la parentesi ] dopo l'indirizzo del server"));
        host = authority.mid(1, close - 1);
        const QString after = authority.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(QLatin1Char(':')))
                return refused(QStringLiteral("dopo l'indirizzo del server può venire solo :porta"));
            portText = after.mid(1);
        }
    } else {
        const qsizetype colon = authority.indexOf(QLatin1Char(':'));
        if (colon >= 0) {
            host = authority.left(colon);
            portText = authority.mid(colon + 1);
        }
    }
    if (host.isEmpty())
        return refused(QStringLiteral("manca il nome del server"));
    if (host.contains(QRegularExpression(QStringLiteral("[\\s/@]"))))
        return refused(QStringLiteral("il nome del server non è valido"));
    if (host.size() > 253)  // the longest name a host can have
        return refused(QStringLiteral("il nome del server è più lungo di 253 caratteri"));

    int port = defaultPort;
    if (authority.contains(QLatin1Char(':')) && !authority.startsWith(QLatin1Char('[')) && portText.isEmpty())
        return refused(QStringLiteral("manca il numero della porta dopo i due punti"));
    if (!portText.isEmpty()) {
        bool ok = false;
        port = portText.toInt(&ok);
        if (!ok || port < 1 || port > 65535 || !portText.contains(QRegularExpression(QStringLiteral("^[0-9]+$"))))
            return refused(QStringLiteral("la porta deve essere un numero da 1 a 65535"));
    }

    location.m_engine = Engine::PostgreSQL;
    location.m_user = user;
    location.m_host = host;
    location.m_port = port;
    location.m_databaseName = name;
    return Result::success();
}

Result DatabaseLocation::fromCommandLine(const QString& text, QString& database) {
    DatabaseLocation location;
    if (const Result parsed = parse(text, location); !parsed)
        return parsed;
    database = location.isPostgres() || text.trimmed().isEmpty() ? text : QDir::current().absoluteFilePath(text);
    return Result::success();
}

QString DatabaseLocation::text() const {
    if (!isPostgres())
        return m_file;
    const QString host = m_host.contains(QLatin1Char(':')) ? QLatin1Char('[') + m_host + QLatin1Char(']') : m_host;
    QString address = QStringLiteral("postgresql://");
    if (!m_user.isEmpty())
        address += m_user + QLatin1Char('@');
    address += host;
    if (m_port != defaultPort)
        address += QLatin1Char(':') + QString::number(m_port);
    return address + QLatin1Char('/') + m_databaseName;
}
