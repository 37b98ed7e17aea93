#include "matching/MatchSearch.h"

#include "data/store/Database.h"
#include "data/vocabulary/Numbers.h"

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

QString selectSql(Database& database, bool requests) {
    const QString table = requests ? QStringLiteral("richiesta") : QStringLiteral("immobile");
    return QStringLiteral("SELECT %1, %2 FROM %3")
        .arg(database.keyColumn(table), requests ? requestFields : propertyFields, table);
}

// One row of the query as the rule reads it, scored against the fixed side; false when it does not fit.
bool scoreRow(const QSqlQuery& query, bool requests, const QLocale& locale, MatchRule& rule,
              const PropertyTerms& property, const RequestTerms& request, MatchRow& row) {
    const auto at = [&](int column) { return shown(query.value(column), locale); };
    row.key = query.value(0).toLongLong();
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
    : QObject(parent), m_database(std::move(database)), m_locale(locale) {}

MatchSearch::~MatchSearch() = default;

void MatchSearch::findRequests(const PropertyTerms& property) {
    m_forRequests = true;
    m_property = property;
    // Only requests whose wanted mq lies where this surface can fit, and those that want none.
    const std::optional<double> offered = MatchRule::surface(property.surface, m_locale);
    startWithin(offered && *offered > 0 ? std::optional(MatchRule::wantedRange(*offered, m_tolerances)) : std::nullopt);
}

void MatchSearch::findProperties(const RequestTerms& request) {
    m_forRequests = false;
    m_request = request;
    const std::optional<double> wanted = MatchRule::surface(request.surface, m_locale);
    startWithin(wanted && *wanted > 0 ? std::optional(MatchRule::surfaceRange(*wanted, m_tolerances)) : std::nullopt);
}

void MatchSearch::startWithin(const std::optional<std::pair<double, double>>& range) {
    QString sql = selectSql(*m_database, m_forRequests);
    QVariantList values;
    if (range) {
        // Rows without a readable surface are never held back: the rule does not penalise them.
        sql += m_database->isPostgres() ? QStringLiteral(" WHERE (mq BETWEEN ? AND ? OR mq <= 0 OR mq IS NULL)")
                                        : QStringLiteral(" WHERE (mq BETWEEN ? AND ? OR mq <= 0 OR mq IS NULL OR mq >= '')");
        // A hair wider than the rule, which decides each row exactly.
        const auto [low, high] = *range;
        values << low * (1 - 1e-9) << (high >= 1e300 ? high : high * (1 + 1e-9));
    }
    start(sql, values);
}

void MatchSearch::start(const QString& sql, const QVariantList& values) {
    cancel();
    m_rule = std::make_unique<MatchRule>(m_tolerances, m_locale);
    m_query = std::make_unique<QSqlQuery>(m_database->connection());
    m_query->setForwardOnly(true);
    m_query->prepare(sql);
    for (const QVariant& value : values)
        m_query->addBindValue(value);
    if (!m_query->exec()) {
        const QSqlError error = m_query->lastError();
        m_query.reset();
        emit failed(failure(*m_database, error));
        return;
    }
    m_running = true;
    const int generation = ++m_generation;
    // The first slice at once: a short list is there before the next event.
    if (readSome(false))
        done();
    else
        QTimer::singleShot(0, this, [this, generation] {
            if (generation == m_generation)
                step();
        });
}

void MatchSearch::step() {
    if (!m_running)
        return;
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
    while (m_query->next()) {
        MatchRow row;
        if (scoreRow(*m_query, m_forRequests, m_locale, *m_rule, m_property, m_request, row))
            m_found.push_back(std::move(row));
        if (!untilDone && ++sinceCheck == 256) {
            sinceCheck = 0;
            if (std::chrono::nanoseconds(clock.nsecsElapsed()) >= m_slice)
                return false;
        }
    }
    return true;
}

void MatchSearch::finishNow() {
    if (m_running && readSome(true))
        done();
}

void MatchSearch::done() {
    const QSqlError error = m_query->lastError();
    m_query.reset();
    m_running = false;
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

void MatchSearch::cancel() {
    ++m_generation;
    m_running = false;
    m_query.reset();
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
        if (scoreRow(query, requests, locale, rule, property ? *property : noProperty, request ? *request : noRequest,
                     row))
            rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end(), before);
    return Result::success();
}
