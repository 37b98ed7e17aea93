#pragma once

#include "data/vocabulary/Engine.h"

#include <QList>
#include <QString>
#include <QVariantList>
#include <chrono>
#include <optional>

class PostgresEngine;

// The key search on a PostgreSQL server: the server does all of it in one statement, with
// the trigram index of the field where it has one (PostgresSchema), sent on the search
// connection (PostgresSearch) without waiting for the answer. A search runs for a given
// budget of waiting for the server; one given up before its end is cancelled on the server.
class PostgresKeySearch : public KeyScan {
public:
    PostgresKeySearch(PostgresEngine& engine, const QString& table, const QString& field, const QString& pattern,
                      Direction direction, std::optional<qint64> from, int limit);
    ~PostgresKeySearch() override;
    PostgresKeySearch(const PostgresKeySearch&) = delete;
    PostgresKeySearch& operator=(const PostgresKeySearch&) = delete;

    Result run(std::chrono::nanoseconds budget) override;
    bool isDone() const override { return m_done; }
    QList<qint64> keys() const override;
    QList<Method> methods() const override { return {m_method}; }

private:
    Result runPostgres(std::chrono::nanoseconds budget);
    // The statement, with the values of its "?".
    QString statement(QVariantList& values) const;

    PostgresEngine& m_engine;
    QString m_table;
    QString m_field;
    QString m_pattern;
    Direction m_direction;
    int m_limit;
    std::optional<qint64> m_from;
    bool m_done;
    Method m_method;
    QList<qint64> m_found; // in search order
    bool m_sent = false;   // sent on the search connection
    quint64 m_ticket = 0;  // of the statement sent; 0 when it waits for no answer
};
