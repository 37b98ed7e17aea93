#include "data/postgres/PostgresKeySearch.h"

#include "data/postgres/PostgresEngine.h"
#include "data/postgres/PostgresSearch.h"
#include "data/vocabulary/LiteralRuns.h"
#include "data/vocabulary/Schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>

PostgresKeySearch::PostgresKeySearch(PostgresEngine& engine, const QString& table, const QString& field,
                                     const QString& pattern, Direction direction, std::optional<qint64> from, int limit)
    : m_engine(engine), m_table(table), m_field(field), m_pattern(pattern), m_direction(direction), m_limit(limit),
      m_from(from), m_done(limit <= 0),
      m_method(Schema::isSearchField(m_table, m_field) ? Method::Index : Method::Table) {}

PostgresKeySearch::~PostgresKeySearch() {
    // Superseded: the server need not finish it.
    if (m_ticket != 0)
        if (PostgresSearch* connection = m_engine.searchConnection(false))
            connection->cancel(m_ticket);
}

QList<qint64> PostgresKeySearch::keys() const {
    QList<qint64> keys = m_found;
    if (m_direction == Direction::Backward)
        std::reverse(keys.begin(), keys.end());
    return keys;
}

Result PostgresKeySearch::run(std::chrono::nanoseconds budget) {
    return m_done ? Result::success() : runPostgres(budget);
}

QString PostgresKeySearch::statement(QVariantList& values) const {
    const QString key = m_engine.keyColumn(m_table);
    const bool forward = m_direction == Direction::Forward;
    const Query::Condition like{Query::Condition::Like, m_field, m_pattern, {}};
    QString sql = QStringLiteral("SELECT %1 FROM \"%2\" WHERE ").arg(key, m_table) +
                  Query::conditionSql(like, DatabaseLocation::Engine::PostgreSQL, values);
    // Without three plain characters in a row the trigram index has nothing to look up:
    // the rows that hold every shorter piece are the candidates the LIKE above confirms.
    if (m_engine.hasPieceIndex() && Schema::isSearchField(m_table, m_field)) {
        QStringList pieces;
        bool trigram = false;
        for (const std::u32string& run : LiteralRuns::of(m_pattern)) {
            trigram = trigram || run.size() >= 3;
            const QString piece = QString::fromUcs4(run.data(), static_cast<qsizetype>(run.size()));
            if (!run.empty() && !pieces.contains(piece))
                pieces << piece;
        }
        if (!trigram && !pieces.isEmpty()) {
            const QStringList marks(pieces.size(), QStringLiteral("CAST(? AS text)"));
            sql += QStringLiteral(" AND velmora_grams(\"%1\") @> ARRAY[%2]").arg(m_field, marks.join(QLatin1Char(',')));
            for (const QString& piece : std::as_const(pieces))
                values << piece;
        }
    }
    if (m_from) {
        sql += QStringLiteral(" AND %1 %2 ?").arg(key, forward ? QStringLiteral(">") : QStringLiteral("<"));
        values << *m_from;
    }
    sql += QStringLiteral(" ORDER BY %1%2 LIMIT ?").arg(key, forward ? QString() : QStringLiteral(" DESC"));
    values << m_limit;
    return sql;
}

Result PostgresKeySearch::runPostgres(std::chrono::nanoseconds budget) {
    m_engine.comeBack();
    QVariantList values;
    const QString sql = statement(values);
    if (!m_sent) {
        m_sent = true;
        if (PostgresSearch* connection = m_engine.searchConnection()) {
            QList<QByteArray> texts;
            for (const QVariant& value : std::as_const(values))
                texts << value.toString().toUtf8();
            m_ticket = connection->send(sql, texts);
        }
    }
    if (m_ticket != 0) {
        PostgresSearch* connection = m_engine.searchConnection(false);
        const PostgresSearch::State state =
            connection ? connection->wait(m_ticket, budget) : PostgresSearch::State::Failed;
        if (state == PostgresSearch::State::Waiting)
            return Result::success();
        m_ticket = 0;
        if (state == PostgresSearch::State::Done) {
            m_found = connection->keys();
            m_done = true;
            return Result::success();
        }
        // Whatever went wrong there, the program's own connection runs it again, and says why
        // if it fails too.
    }

    m_done = true;
    const auto failed = [this](const QSqlError& error) {
        if (m_engine.connectionLost(error))
            (void)m_engine.reconnect(); // for the next keystroke
        return Result::failure(m_engine.describe(error));
    };
    QSqlError error;
    QSqlQuery* query = m_engine.kept(sql, error);
    if (!query)
        return failed(error);
    for (int i = 0; i < values.size(); ++i)
        query->bindValue(i, values.at(i));
    if (!query->exec()) {
        error = query->lastError();
        m_engine.forget(sql);
        return failed(error);
    }
    while (query->next())
        m_found.append(query->value(0).toLongLong());
    query->finish();
    return Result::success();
}
