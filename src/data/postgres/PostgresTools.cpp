#include "data/postgres/PostgresTools.h"

#include "data/postgres/PostgresConnection.h"

#include <QCollator>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// What a program is told on top of the user's environment: English messages (they are
// read here and told again in Italian), and a server that does not answer is given up on.
QProcessEnvironment toolEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.remove(QStringLiteral("LANGUAGE"));
    if (!environment.contains(QStringLiteral("PGCONNECT_TIMEOUT")))
        environment.insert(QStringLiteral("PGCONNECT_TIMEOUT"), QStringLiteral("15"));
    return environment;
}

// Debian's /usr/bin/pg_dump is a wrapper that runs a versioned client; without one
// installed it only says so.
bool isBareWrapper(const QString& path, const QString& program) {
    if (QFileInfo(QFileInfo(path).canonicalFilePath()).fileName() != QLatin1String("pg_wrapper"))
        return false;
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    for (const QString& version : versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (QFileInfo(versions.filePath(version + QStringLiteral("/bin/") + program)).isExecutable())
            return false;
    return true;
}

// A line a client program writes when something failed ("pg_dump: error: ...",
// "FATAL:  ...", the wrapper's "Error: ...").
bool isErrorLine(const QString& line) {
    static const QRegularExpression error(QStringLiteral("\\b(error|ERROR|Error|fatal|FATAL)\\b:"));
    return error.match(line).hasMatch();
}

QString missingPhrase(const QStringList& missing) {
    return QStringLiteral("su questo computer %1 %2 di PostgreSQL, che si installa con il pacchetto postgresql-client")
        .arg(missing.size() == 1 ? QStringLiteral("manca il programma") : QStringLiteral("mancano i programmi"),
             missing.join(QStringLiteral(" e ")));
}

// Cancels, on the server, what the client named `application` is doing there.
void cancelOnServer(const DatabaseLocation& location, const QString& application) {
    (void)PostgresTools::askServer(location,
                                   QStringLiteral("SELECT pg_cancel_backend(pid) FROM pg_stat_activity "
                                                  "WHERE application_name = ? AND pid <> pg_backend_pid()"),
                                   {application});
}

// Who holds the tables a program's session waits for, asked from a thread of its own (a server
// slow to answer does not hold the window): the phrase, or empty when nobody does.
class HolderQuestion {
public:
    HolderQuestion(const DatabaseLocation& location, const QString& application)
        : m_location(location), m_application(application) {}

    // Asks again, when the last answer is in and a second old; answers the latest phrase.
    QString ask() {
        const std::lock_guard<std::mutex> lock(m_state->mutex);
        if (!m_state->asking && (!m_asked.isValid() || m_asked.elapsed() >= 1000)) {
            m_asked.start();
            m_state->asking = true;
            std::thread([state = m_state, location = m_location, application = m_application] {
                const std::optional<QVariant> found = PostgresTools::askServer(
                    location,
                    QStringLiteral("SELECT a.application_name || '|' || coalesce(host(a.client_addr), '') || '|' || "
                                   "coalesce(a.usename::text, '') FROM pg_stat_activity t, pg_stat_activity a "
                                   "WHERE t.application_name = ? AND a.pid = ANY (pg_blocking_pids(t.pid)) "
                                   "ORDER BY a.xact_start LIMIT 1"),
                    {application});
                QString holder;
                if (found) {
                    const QStringList parts = found->toString().split(QLatin1Char('|'));
                    holder = PostgresConnection::holderPhrase(parts.value(0), parts.value(1), parts.value(2));
                }
                const std::lock_guard<std::mutex> lock(state->mutex);
                state->holder = holder;
                state->asking = false;
            }).detach();
        }
        return m_state->holder;
    }

private:
    struct State {
        std::mutex mutex;
        bool asking = false;
        QString holder;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
    DatabaseLocation m_location;
    QString m_application;
    QElapsedTimer m_asked;
};

QString userName(const DatabaseLocation& location) {
    if (!location.user().isEmpty())
        return location.user();
    const QString fromEnvironment = qEnvironmentVariable("PGUSER");
    return fromEnvironment.isEmpty() ? qEnvironmentVariable("USER") : fromEnvironment;
}

} // namespace

PostgresTools::PostgresTools(QStringList folders) : m_folders(std::move(folders)) {}

PostgresTools PostgresTools::installed() {
    QStringList folders = qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList numbers = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator byNumber;
    byNumber.setNumericMode(true);
    std::sort(numbers.begin(), numbers.end(),
              [&byNumber](const QString& a, const QString& b) { return byNumber(b, a); });
    for (const QString& number : numbers)
        folders << versions.filePath(number + QStringLiteral("/bin"));
    return PostgresTools(folders);
}

QString PostgresTools::find(const QString& program) const {
    for (const QString& folder : m_folders) {
        const QFileInfo candidate(QDir(folder).filePath(program));
        if (candidate.isFile() && candidate.isExecutable() && !isBareWrapper(candidate.filePath(), program))
            return candidate.absoluteFilePath();
    }
    return QString();
}

Result PostgresTools::require(const QStringList& programs) const {
    QStringList missing;
    for (const QString& program : programs)
        if (find(program).isEmpty())
            missing << program;
    return missing.isEmpty() ? Result::success() : Result::failure(missingPhrase(missing));
}

QStringList PostgresTools::connectionOptions(const DatabaseLocation& location) {
    QStringList options{QStringLiteral("--host=") + location.host(),
                        QStringLiteral("--port=") + QString::number(location.port())};
    if (!location.user().isEmpty())
        options << QStringLiteral("--username=") + location.user();
    // Never a prompt on a terminal nobody watches: the password comes from .pgpass or not at all.
    options << QStringLiteral("--no-password") << QStringLiteral("--dbname=") + location.databaseName();
    return options;
}

std::optional<QVariant> PostgresTools::askServer(const DatabaseLocation& location, const QString& sql,
                                                const QVariantList& values) {
    const QString name = QStringLiteral("velmora-side-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    std::optional<QVariant> answer;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(location.host());
        db.setPort(location.port());
        db.setUserName(location.user());
        db.setDatabaseName(location.databaseName());
        db.setConnectOptions(QStringLiteral("connect_timeout=10"));
        if (db.open()) {
            {
                QSqlQuery query(db);
                query.prepare(sql);
                for (const QVariant& value : values)
                    query.addBindValue(value);
                if (query.exec() && query.next())
                    answer = query.value(0);
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return answer;
}

PostgresTools::Run PostgresTools::run(const QString& program, const QStringList& arguments, Progress* progress,
                                      const QRegularExpression& step, qint64 totalSteps,
                                      const DatabaseLocation* server) const {
    Run result;
    const QString path = find(program);
    if (path.isEmpty())
        return result;
    QProcess process;
    process.setProgram(path);
    process.setArguments(arguments);
    QProcessEnvironment environment = toolEnvironment();
    // A name the server shows for this run alone, so that its work there can be found.
    const QString application =
        QStringLiteral("velmora-%1-%2").arg(program, QUuid::createUuid().toString(QUuid::Id128).left(12));
    environment.insert(QStringLiteral("PGAPPNAME"), application);
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(10000))
        return result;

    QElapsedTimer running;
    running.start();
    // A run that waits for tables another session holds says who it is.
    std::optional<HolderQuestion> holder;
    if (server && progress)
        holder.emplace(*server, application);
    QString toldHolder;
    const QString doing = program == QLatin1String("pg_restore") ? QStringLiteral("Ripristino in corso…")
                                                                  : QStringLiteral("Backup in corso…");
    QByteArray pending;
    qint64 done = 0;
    const auto readErrors = [&](bool all) {
        pending += process.readAllStandardError();
        qsizetype newline;
        while ((newline = pending.indexOf('\n')) >= 0 || (all && !pending.isEmpty())) {
            const qsizetype end = newline >= 0 ? newline : pending.size();
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            if (step.isValid() && !step.pattern().isEmpty() && step.match(line).hasMatch())
                done = totalSteps > 0 ? std::min(done + 1, totalSteps) : done + 1;
            else if (isErrorLine(line))
                result.errors << line.trimmed();
        }
    };
    // Short waits, so the progress (and with it the window) answers a few times a second. It is
    // asked before every wait, so a stop is heard even by a run that ends within the first one.
    for (;;) {
        if (holder && running.elapsed() >= 1000) {
            if (const QString now = holder->ask(); now != toldHolder) {
                toldHolder = now;
                progress->setLabel(now.isEmpty() ? doing
                                                 : doing + QStringLiteral(" I dati sono in uso da %1: si aspetta che "
                                                                          "li lasci.")
                                                               .arg(now));
            }
        }
        const bool stop = !Progress::advance(progress, done, totalSteps);
        if (stop || running.elapsed() > m_timeLimit.count()) {
            if (server)
                cancelOnServer(*server, application);
            process.kill();
            process.waitForFinished(5000);
            result.end = stop ? Run::End::Stopped : Run::End::TimedOut;
            return result;
        }
        const bool finished = process.waitForFinished(50) || process.state() == QProcess::NotRunning;
        result.output += process.readAllStandardOutput();
        readErrors(finished);
        if (finished)
            break;
    }
    result.end =
        process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 ? Run::End::Finished : Run::End::Failed;
    return result;
}

QString PostgresTools::describe(const Run& run, const QString& program, const DatabaseLocation& location) const {
    switch (run.end) {
    case Run::End::Finished:
        return QString();
    case Run::End::NotStarted:
        return find(program).isEmpty() ? missingPhrase({program})
                                       : QStringLiteral("il programma %1 non si è avviato").arg(program);
    case Run::End::Stopped:
        return QStringLiteral("il lavoro è stato interrotto");
    case Run::End::TimedOut: {
        const qint64 seconds =
            std::max<qint64>(1, std::chrono::duration_cast<std::chrono::seconds>(m_timeLimit).count());
        const QString limit = seconds == 60       ? QStringLiteral("un minuto")
                              : seconds % 60 == 0 ? QStringLiteral("%1 minuti").arg(seconds / 60)
                              : seconds == 1      ? QStringLiteral("un secondo")
                                                  : QStringLiteral("%1 secondi").arg(seconds);
        return QStringLiteral("%1 non ha finito entro %2: forse un'altra postazione sta usando il database, o il "
                              "server non risponde")
            .arg(program, limit);
    }
    case Run::End::Failed:
        break;
    }
    const QString errors = run.errors.join(QLatin1Char('\n'));
    const auto has = [&errors](const char* pattern) {
        return errors.contains(QRegularExpression(QLatin1String(pattern), QRegularExpression::CaseInsensitiveOption));
    };
    const QString server = QStringLiteral("%1:%2").arg(location.host()).arg(location.port());
    if (has("You must install at least one postgresql-client"))
        return missingPhrase({program});
    if (has("no password supplied|password authentication failed"))
        return QStringLiteral("il server chiede la password dell'utente «%1», che va scritta nel file .pgpass "
                              "dell'utente di questo computer (o nel file indicato da PGPASSFILE), mai in daba.ini")
            .arg(userName(location));
    if (has("role \"[^\"]*\" does not exist"))
        return QStringLiteral("sul server %1 non esiste l'utente «%2»").arg(server, userName(location));
    if (has("database \"[^\"]*\" does not exist"))
        return QStringLiteral("sul server %1 non esiste il database «%2»").arg(server, location.databaseName());
    if (has("connection refused|could not connect|timeout expired|could not translate host name|no route to host|"
            "network is unreachable"))
        return QStringLiteral("il server PostgreSQL %1 non risponde (è acceso? il nome e la porta scritti in daba.ini "
                              "sono giusti?)")
            .arg(server);
    if (has("no pg_hba.conf entry"))
        return QStringLiteral("il server %1 non accetta collegamenti da questo computer per l'utente «%2» "
                              "(va permesso nel suo file pg_hba.conf)")
            .arg(server, userName(location));
    if (has("server version mismatch"))
        return QStringLiteral("%1 di questo computer è di una versione più vecchia del server: va installato il "
                              "pacchetto postgresql-client della stessa versione del server")
            .arg(program);
    if (has("unsupported version .* in file header"))
        return QStringLiteral("il backup è stato fatto con una versione di PostgreSQL più recente di quella "
                              "installata su questo computer");
    if (has("lock timeout|could not obtain lock"))
        return QStringLiteral("un'altra postazione sta usando le tabelle proprio ora: riprovare fra poco");
    if (has("permission denied|must be owner"))
        return QStringLiteral("l'utente «%1» non ha i permessi necessari sul database «%2» (le tabelle devono "
                              "appartenere a lui)")
            .arg(userName(location), location.databaseName());
    if (has("no space left on device"))
        return QStringLiteral("il disco è pieno");
    if (has("could not open output file|could not close output file|could not write to output file"))
        return QStringLiteral("il file non si può scrivere in quella cartella");
    if (run.errors.isEmpty())
        return QStringLiteral("%1 si è fermato senza dire perché").arg(program);
    return QStringLiteral("%1 ha risposto «%2»").arg(program, run.errors.constFirst());
}
