#include "matching/MatchSearch.h"

#include "data/store/Database.h"
#include "data/store/ServerRows.h"
#include "data/vocabulary/Numbers.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QTimer>
#include <algorithm>

namespace {

const QString requestFields = QStringLiteral("motivo, tipo, mq, prezzo, note, nome, cognome, telefono");
const QString propertyFields =
    QStringLiteral("motivo, tipologia, mq, prezzo, zona, indirizzoimmobile, proprietario, telefono, cellulare");

QString joined(const QStringList& parts, const QString& separator) {
    QStringList kept;
    for (const QString& part : parts)
        if (!part.trimmed().isEmpty())
            kept << part.trimmed();
    return kept.join(separator);
}

// A stored value as a field shows it: numbers in the regional form, as the card has them.
QString shown(const QVariant& value, const QLocale& locale) {
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return Numbers::shown(value.toDouble(), locale);
    default:
        return value.toString();
    }
}

bool before(const MatchRow& a, const MatchRow& b) {
    if (a.result.kind != b.result.kind)
        return a.result.kind == MatchResult::Exact;
    if (a.result.score != b.result.score)
        return a.result.score > b.result.score;
    return a.key < b.key;
}

QString table(bool requests) {
    return requests ? QStringLiteral("richiesta") : QStringLiteral("immobile");
}

QString typeColumn(bool requests) {
    return requests ? QStringLiteral("tipo") : QStringLiteral("tipologia");
}

QString selectSql(Database& database, bool requests) {
    return QStringLiteral("SELECT %1, %2 FROM %3")
        .arg(database.keyColumn(table(requests)), requests ? requestFields : propertyFields, table(requests));
}

// One row as the rule reads it, scored against the fixed side; false when it does not fit.
// `at` gives the row's columns: the key, then the fields of selectSql.
template<typename At>
bool scoreRow(const At& value, bool requests, const QLocale& locale, MatchRule& rule, const PropertyTerms& property,
              const RequestTerms& request, MatchRow& row) {
    const auto at = [&](int column) { return shown(value(column), locale); };
    row.key = value(0).toLongLong();
    // Purpose and type first: most rows end there, before their longer texts are read.
    if (requests) {
        RequestTerms other{row.key, at(1), at(2), {}, {}, {}};
        if (!rule.samePurposeAndType(property, other))
            return false;
        other.surface = at(3);
        other.budget = at(4);
        other.note = at(5);
        row.result = rule.match(property, other);
        if (row.result.kind == MatchResult::None)
            return false;
        row.who = joined({at(6), at(7)}, QStringLiteral(" "));
        row.phone = at(8).trimmed();
        row.what = joined({other.type, other.surface.isEmpty() ? QString() : other.surface + QStringLiteral(" mq"),
                           other.budget.isEmpty() ? QString() : QStringLiteral("budget ") + other.budget},
                          QStringLiteral(" · "));
    } else {
        PropertyTerms other{row.key, at(1), at(2), {}, {}, {}};
        if (!rule.samePurposeAndType(other, request))
            return false;
        other.surface = at(3);
        other.price = at(4);
        other.zone = at(5);
        row.result = rule.match(other, request);
        if (row.result.kind == MatchResult::None)
            return false;
        row.who = joined({other.type, other.zone, at(6)}, QStringLiteral(" · "));
        row.phone = joined({at(7), at(8), at(9)}, QStringLiteral(" "));
        row.what = joined({other.surface.isEmpty() ? QString() : other.surface + QStringLiteral(" mq"),
                           other.price.isEmpty() ? QString() : QStringLiteral("prezzo ") + other.price},
                          QStringLiteral(" · "));
    }
    return true;
}

// Seeks a walk may take before it gives way to reading the range: a type field of free
// text has too many values for the walk to be quicker.
constexpr int mostSeeks = 512;

// The distinct values of a text column in index order, one seek each, with a null first
// when a row holds one; within the rows of one purpose when `purpose` is given. Nothing
// when a value is not a text (a number in a column declared otherwise, which the index
// orders apart from equal texts) or the seeks run out.
std::optional<QVariantList> distinctValues(const QSqlDatabase& connection, const QString& tableName,
                                           const QString& column, const std::optional<QVariant>& purpose,
                                           int& seeksLeft) {
    QString within;
    QVariantList fixed;
    if (purpose) {
        within = purpose->isNull() ? QStringLiteral("motivo IS NULL AND ") : QStringLiteral("motivo = ? AND ");
        if (!purpose->isNull())
            fixed << *purpose;
    }
    QSqlQuery first(connection), next(connection), nulls(connection);
    for (QSqlQuery* query : {&first, &next, &nulls})
        query->setForwardOnly(true);
    if (!first.prepare(QStringLiteral("SELECT min(%1) FROM %2 WHERE %3%1 IS NOT NULL").arg(column, tableName, within)) ||
        !next.prepare(QStringLiteral("SELECT min(%1) FROM %2 WHERE %3%1 > ?").arg(column, tableName, within)) ||
        !nulls.prepare(QStringLiteral("SELECT EXISTS (SELECT 1 FROM %2 WHERE %3%1 IS NULL)").arg(column, tableName, within)))
        return std::nullopt;
    QVariantList values;
    for (const QVariant& value : std::as_const(fixed))
        nulls.addBindValue(value);
    if (!nulls.exec() || !nulls.next())
        return std::nullopt;
    if (nulls.value(0).toInt() != 0)
        values << QVariant();
    QVariant last;
    for (;;) {
        if (--seeksLeft < 0)
            return std::nullopt;
        QSqlQuery& query = last.isValid() ? next : first;
        for (int i = 0; i < fixed.size(); ++i)
            query.bindValue(i, fixed.at(i));
        if (last.isValid())
            query.bindValue(static_cast<int>(fixed.size()), last);
        if (!query.exec() || !query.next())
            return std::nullopt;
        const QVariant value = query.value(0);
        query.finish();
        if (value.isNull())
            return values;
        if (value.typeId() != QMetaType::QString)
            return std::nullopt;
        values << value;
        last = value;
    }
}

QString failure(Database& database, const QSqlError& error) {
    return QStringLiteral("Gli incroci non si possono cercare: %1").arg(database.describe(error));
}

} // namespace

QString MatchRow::reasons() const {
    if (result.kind == MatchResult::NearMiss && !result.misses.isEmpty())
        return QStringLiteral("quasi: %1 — %2").arg(result.missText(), result.reasonText());
    return result.reasonText();
}

MatchSearch::MatchSearch(std::shared_ptr<Database> database, const QLocale& locale, QObject* parent)
    : QObject(parent), m_database(std::move(database)), m_locale(locale), m_poll(new QTimer(this)) {
    // While the server works on the statement, its answer is looked for between events.
    m_poll->setInterval(2);
    connect(m_poll, &QTimer::timeout, this, &MatchSearch::step);
}

MatchSearch::~MatchSearch() {
    cancel();
}

void MatchSearch::findRequests(const PropertyTerms& property) {
    m_forRequests = true;
    m_property = property;
    // Only requests whose wanted mq lies where this surface can fit, and those that want none.
    const std::optional<double> offered = MatchRule::surface(property.surface, m_locale);
    startWithin(offered && *offered > 0 ? Range(MatchRule::wantedRange(*offered, m_tolerances)) : std::nullopt);
}

void MatchSearch::findProperties(const RequestTerms& request) {
    m_forRequests = false;
    m_request = request;
    const std::optional<double> wanted = MatchRule::surface(request.surface, m_locale);
    startWithin(wanted && *wanted > 0 ? Range(MatchRule::surfaceRange(*wanted, m_tolerances)) : std::nullopt);
}

void MatchSearch::startWithin(const Range& range) {
    cancel();
    // Kept from one search to the next: what it has read and written (amounts, types) comes back.
    if (!m_rule || !(m_rule->tolerances() == m_tolerances))
        m_rule = std::make_unique<MatchRule>(m_tolerances, m_locale);
    std::vector<Part> parts;
    if (m_database->isPostgres() || !walk(range, parts)) {
        Part all{selectSql(*m_database, m_forRequests), {}};
        if (range) {
            // Rows without a readable surface are never held back: the rule does not penalise them.
            all.sql += m_database->isPostgres()
                           ? QStringLiteral(" WHERE (mq BETWEEN ? AND ? OR mq <= 0 OR mq IS NULL)")
                           : QStringLiteral(" WHERE (mq BETWEEN ? AND ? OR mq <= 0 OR mq IS NULL OR mq >= '')");
            // A hair wider than the rule, which decides each row exactly.
            all.values << range->first * (1 - 1e-9)
                       << (range->second >= 1e300 ? range->second : range->second * (1 + 1e-9));
        }
        parts = {all};
    }
    start(std::move(parts));
}

bool MatchSearch::walk(const Range& range, std::vector<Part>& parts) {
    const QString tableName = table(m_forRequests);
    if (!m_database->hasMatchingIndex(tableName))
        return false;
    const QSqlDatabase connection = m_database->connection();
    int seeksLeft = mostSeeks;
    const std::optional<QVariantList> purposes =
        distinctValues(connection, tableName, QStringLiteral("motivo"), std::nullopt, seeksLeft);
    if (!purposes)
        return false;
    const QString type = typeColumn(m_forRequests);
    const auto text = [this](const QVariant& value) { return shown(value, m_locale); };
    // The rows of one purpose and type, through the index: within the range, then those
    // that the rule does not hold to it (no surface, none above 0, a text such as "80 mq").
    const QString rows = QStringLiteral("SELECT %1, mq, prezzo FROM %2 INDEXED BY velmora_incroci_%2 WHERE ")
                             .arg(m_database->keyColumn(tableName), tableName);
    for (const QVariant& purpose : *purposes) {
        if (!MatchRule::samePurpose(text(purpose), m_forRequests ? m_property.purpose : m_request.purpose))
            continue;
        const std::optional<QVariantList> types = distinctValues(connection, tableName, type, purpose, seeksLeft);
        if (!types)
            return false;
        for (const QVariant& kind : *types) {
            const bool fits = m_forRequests
                                  ? m_rule->samePurposeAndType(m_property, RequestTerms{0, text(purpose), text(kind), {}, {}, {}})
                                  : m_rule->samePurposeAndType(PropertyTerms{0, text(purpose), text(kind), {}, {}, {}}, m_request);
            if (!fits)
                continue;
            QString pair;
            QVariantList pairValues;
            pair += purpose.isNull() ? QStringLiteral("motivo IS NULL") : QStringLiteral("motivo = ?");
            if (!purpose.isNull())
                pairValues << purpose;
            pair += kind.isNull() ? QStringLiteral(" AND %1 IS NULL").arg(type) : QStringLiteral(" AND %1 = ?").arg(type);
            if (!kind.isNull())
                pairValues << kind;
            if (!range) {
                parts.push_back({rows + pair, pairValues, true});
                continue;
            }
            Part part;
            part.keysFirst = true;
            const QStringList within = {QStringLiteral(" AND mq BETWEEN ? AND ?"), QStringLiteral(" AND mq <= 0"),
                                        QStringLiteral(" AND mq IS NULL"), QStringLiteral(" AND mq >= ''")};
            for (const QString& piece : within) {
                if (!part.sql.isEmpty())
                    part.sql += QStringLiteral(" UNION ALL ");
                part.sql += rows + pair + piece;
                part.values << pairValues;
                if (piece.contains(QLatin1String("BETWEEN")))
                    part.values << range->first * (1 - 1e-9)
                                << (range->second >= 1e300 ? range->second : range->second * (1 + 1e-9));
            }
            parts.push_back(part);
        }
    }
    return true;
}

void MatchSearch::start(std::vector<Part> parts) {
    m_parts = std::move(parts);
    m_nextPart = 0;
    m_running = true;
    const int generation = ++m_generation;
    if (m_database->isPostgres()) {
        // Made once, and again when lost; a server that refused it is not asked at every move.
        if (!m_serverTried || (m_server && m_server->isBroken())) {
            m_serverTried = true;
            m_server = ServerRows::connect(*m_database);
        }
        if (m_server && m_server->send(m_parts.front().sql, m_parts.front().values)) {
            m_waiting = true;
            m_nextPart = m_parts.size();
            m_poll->start();
            return;
        }
    }
    if (!openPart()) {
        if (m_running)  // nothing to read: no purpose and type fit
            done();
        return;
    }
    // The first slice at once: a short list is there before the next event.
    if (readSome(false))
        done();
    else
        QTimer::singleShot(0, this, [this, generation] {
            if (generation == m_generation)
                step();
        });
}

// The next statement on the program's own connection; false when it failed (said) or none is left.
bool MatchSearch::openPart() {
    m_query.reset();
    if (m_nextPart >= m_parts.size())
        return false;
    const Part& part = m_parts[m_nextPart++];
    m_keysFirst = part.keysFirst;
    m_query = std::make_unique<QSqlQuery>(m_database->connection());
    m_query->setForwardOnly(true);
    m_query->prepare(part.sql);
    for (const QVariant& value : part.values)
        m_query->addBindValue(value);
    if (!m_query->exec()) {
        const QSqlError error = m_query->lastError();
        m_query.reset();
        fail(failure(*m_database, error));
        return false;
    }
    return true;
}

// The whole rows of the keys found within the tolerances so far, given as one list.
bool MatchSearch::openDetails() {
    const QString tableName = table(m_forRequests);
    if (!m_details) {
        m_details = std::make_unique<QSqlQuery>(m_database->connection());
        m_details->setForwardOnly(true);
        m_details->prepare(selectSql(*m_database, m_forRequests) +
                           QStringLiteral(" WHERE %1 IN (SELECT value FROM json_each(?))").arg(m_database->keyColumn(tableName)));
    }
    QByteArray keys = "[";
    for (const qint64 key : m_pending)
        keys += QByteArray::number(key) + ',';
    keys.back() = ']';
    m_pending.clear();
    m_details->bindValue(0, QString::fromLatin1(keys));
    if (!m_details->exec()) {
        const QSqlError error = m_details->lastError();
        m_details.reset();
        m_query.reset();
        fail(failure(*m_database, error));
        return false;
    }
    m_detailsOpen = true;
    return true;
}

void MatchSearch::step() {
    if (!m_running) {
        m_poll->stop();
        return;
    }
    if (m_waiting) {
        const ServerRows::State state = m_server->poll();
        if (state == ServerRows::State::Waiting)
            return;
        m_poll->stop();
        m_waiting = false;
        if (state == ServerRows::State::Done) {
            m_serverRows = m_server->takeRows();
            m_serverAt = 0;
            m_fromServer = true;
        } else {
            // Whatever went wrong there, the program's own connection asks again, and says
            // why if it fails too.
            m_nextPart = 0;
            if (!openPart())
                return;
        }
    }
    // The window waits for a statement on the same connection: the next slice comes after it.
    if (Database::waiting()) {
        const int generation = m_generation;
        QTimer::singleShot(50, this, [this, generation] {
            if (generation == m_generation)
                step();
        });
        return;
    }
    if (readSome(false)) {
        done();
        return;
    }
    const int generation = m_generation;
    QTimer::singleShot(0, this, [this, generation] {
        if (generation == m_generation)
            step();
    });
}

bool MatchSearch::readSome(bool untilDone) {
    QElapsedTimer clock;
    clock.start();
    int sinceCheck = 0;
    const auto timeUp = [&] {
        if (untilDone || ++sinceCheck < 256)
            return false;
        sinceCheck = 0;
        return std::chrono::nanoseconds(clock.nsecsElapsed()) >= m_slice;
    };
    if (m_fromServer) {
        while (m_serverAt < m_serverRows.size()) {
            const QVariantList& values = m_serverRows[m_serverAt++];
            MatchRow row;
            if (scoreRow([&values](int column) { return values.value(column); }, m_forRequests, m_locale, *m_rule,
                         m_property, m_request, row))
                m_found.push_back(std::move(row));
            if (timeUp())
                return false;
        }
        return true;
    }
    // Rows within the tolerances are looked at whole in batches of this many.
    constexpr std::size_t batch = 512;
    const auto score = [&](const QSqlQuery& query) {
        MatchRow row;
        if (scoreRow([&query](int column) { return query.value(column); }, m_forRequests, m_locale, *m_rule, m_property,
                     m_request, row))
            m_found.push_back(std::move(row));
    };
    for (;;) {
        if (m_detailsOpen) {
            while (m_details->next()) {
                score(*m_details);
                if (timeUp())
                    return false;
            }
            if (m_details->lastError().isValid()) {
                const QSqlError error = m_details->lastError();
                m_details.reset();
                m_detailsOpen = false;
                m_query.reset();
                fail(failure(*m_database, error));
                return true;
            }
            m_details->finish();
            m_detailsOpen = false;
        }
        if (!m_query)
            return true;
        QSqlQuery& query = *m_query;
        bool ended = true;
        while (query.next()) {
            if (!m_keysFirst) {
                score(query);
            } else {
                const QString surface = shown(query.value(1), m_locale);
                const QString price = shown(query.value(2), m_locale);
                const bool within = m_forRequests
                                        ? m_rule->withinTolerances(m_property.surface, surface, m_property.price, price)
                                        : m_rule->withinTolerances(surface, m_request.surface, price, m_request.budget);
                if (within)
                    m_pending.push_back(query.value(0).toLongLong());
                if (m_pending.size() >= batch) {
                    ended = false;
                    break;
                }
            }
            if (timeUp()) {
                if (m_pending.size() < batch)
                    return false;
                ended = false;
                break;
            }
        }
        if (ended && query.lastError().isValid())
            return true;  // done() says why
        if (!m_pending.empty() && !openDetails())
            return true;  // failed, and said so
        if (ended && !m_detailsOpen && !openPart())
            return true;  // all read, or failed and said so
    }
}

void MatchSearch::finishNow() {
    if (!m_running)
        return;
    if (m_waiting) {
        (void)m_server->poll(true);
        step();  // takes the answer and reads a first slice
        if (!m_running)
            return;
    }
    if (readSome(true))
        done();
}

void MatchSearch::done() {
    if (!m_running)
        return;  // failed on the way, and said so
    const QSqlError error = m_query ? m_query->lastError() : QSqlError();
    m_query.reset();
    m_running = false;
    m_fromServer = false;
    m_serverRows.clear();
    ++m_generation;
    if (error.isValid()) {
        m_found.clear();
        emit failed(failure(*m_database, error));
        return;
    }
    std::sort(m_found.begin(), m_found.end(), before);
    m_rows = std::move(m_found);
    m_found = {};
    emit finished();
}

void MatchSearch::fail(const QString& message) {
    m_running = false;
    ++m_generation;
    m_found.clear();
    m_poll->stop();
    emit failed(message);
}

void MatchSearch::cancel() {
    ++m_generation;
    m_running = false;
    m_query.reset();
    m_details.reset();  // made for one table
    m_detailsOpen = false;
    m_pending.clear();
    m_poll->stop();
    if (m_waiting && m_server)
        m_server->cancel();
    m_waiting = false;
    m_fromServer = false;
    m_serverRows.clear();
    m_found.clear();
}

Result MatchSearch::scanAll(Database& database, const QLocale& locale, const MatchTolerances& tolerances,
                            const PropertyTerms* property, const RequestTerms* request, std::vector<MatchRow>& rows) {
    const bool requests = property != nullptr;
    QSqlQuery query(database.connection());
    query.setForwardOnly(true);
    if (!query.exec(selectSql(database, requests)))
        return Result::failure(failure(database, query.lastError()));
    MatchRule rule(tolerances, locale);
    rows.clear();
    const PropertyTerms noProperty;
    const RequestTerms noRequest;
    while (query.next()) {
        MatchRow row;
        if (scoreRow([&query](int column) { return query.value(column); }, requests, locale, rule, property ? *property : noProperty, request ? *request : noRequest,
                     row))
            rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end(), before);
    return Result::success();
}
