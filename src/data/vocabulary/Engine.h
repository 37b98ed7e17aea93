#pragma once

#include "data/vocabulary/DatabaseLocation.h"
#include "data/vocabulary/Query.h"
#include "platform/Result.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class Dialogs;
class QSqlError;
class QSqlQuery;

// The keys of the rows whose field matches a LIKE pattern, a page at a time, in key order,
// found each engine's own way (KeySearch tells the ways).
class KeyScan {
public:
    enum class Direction { Forward, Backward };
    enum class Method { Index, Memory, Blocks, Table };

    virtual ~KeyScan() = default;
    // Goes on for about `budget`; a negative budget runs to the end.
    virtual Result run(std::chrono::nanoseconds budget) = 0;
    virtual bool isDone() const = 0;
    // The keys found, in key order.
    virtual QList<qint64> keys() const = 0;
    // The ways the ranges of keys are searched, in the order they are.
    virtual QList<Method> methods() const = 0;
};

// What one database engine does its own way, asked by the code above it that is the same
// for both: Database::open makes the one of the database it opens, and nothing else names
// an engine.
class Engine {
public:
    using Kind = DatabaseLocation::Engine;

    virtual ~Engine() = default;
    virtual Kind kind() const = 0;
    // The program's connection.
    virtual QSqlDatabase connection() const = 0;

    // The column that identifies a row and gives the rows their order.
    virtual QString keyColumn(const QString& table) const = 0;
    // The statement that reads whole rows by their keys, with the keys bound to `query`;
    // null when it cannot be prepared. `plain` is the caller's own query, used where the
    // engine keeps no prepared statements; `sql` is what to forget when it fails.
    virtual QSqlQuery* rowsByKeys(const QString& table, const QList<qint64>& keys, QSqlQuery& plain,
                                  QString& sql) = 0;
    // What ends an INSERT so that it answers the new row's key; empty where the engine
    // tells the key of the last insert itself.
    virtual QString returningKey(const QString& table) const = 0;

    // A criteria condition's SQL for reading keys in order; `leads` when the condition is
    // to be followed through its index.
    virtual QString criteriaSql(const QString& table, const Query::Condition& condition, bool leads,
                                QVariantList& values) const = 0;
    // Whether the table is read in key order first, for about as long as weighing the
    // conditions takes (runBriefly), before they are weighed (weighLeading): false where the
    // engine's planner weighs them itself.
    virtual bool weighsCriteria(const QString& table, const QList<Query::Condition>& conditions) const = 0;
    // The condition that the fewest rows meet, when few enough do; -1 when none should lead.
    virtual int weighLeading(const QString& table, const QList<Query::Condition>& conditions) const = 0;
    // Runs `run`, stopped after about as much work as weighing the conditions takes; true
    // when it was stopped.
    virtual bool runBriefly(const std::function<void()>& run) const = 0;

    // The search for the keys whose field matches a LIKE pattern.
    virtual std::unique_ptr<KeyScan> keySearch(const QString& table, const QString& field, const QString& pattern,
                                               KeyScan::Direction direction, std::optional<qint64> from,
                                               int limit) = 0;

    // What an error of this engine means, as a phrase that ends the caller's sentence.
    virtual QString describe(const QSqlError& error) const = 0;
    // The same for an error met while reading rows for a report.
    virtual QString describeReading(const QSqlError& error) const = 0;

    // A server's connection: connects again after an error that lost it (false while the
    // server is away); tells whether an error lost it; opens again one closed by a
    // reconnection that found no server. A file's connection is never lost.
    virtual bool reconnect() { return true; }
    virtual bool connectionLost(const QSqlError&) const { return false; }
    virtual void comeBack() {}
    // Closes a server's connection the user gave up waiting for; the next operation connects again.
    virtual void letGo() {}
    virtual int connectionGeneration() const { return 0; }
    // A statement prepared once and kept for the next time (Database::kept); none here.
    virtual QSqlQuery* kept(const QString&, QSqlError&) { return nullptr; }
    virtual void forget(const QString&) {}
    virtual bool keepsStatements() const { return false; }
    // The connection of a database already open, before another window shares it: one lost
    // with a server that has since come back is made again; a refusal when it cannot be.
    // `dialogs` show a wait for the server, with "Annulla".
    virtual Result stillThere(Dialogs*) { return Result::success(); }

    // What ends every refusal of a database a window was to show.
    static QString nothingShown() { return QStringLiteral(" Non ci sono dati da mostrare."); }
    // The refusal of a database that cannot be used, and why.
    static QString unusable(const QString& database, const QString& reason) {
        return QStringLiteral("Il database «%1» non si può usare: %2.").arg(database, reason) + nothingShown();
    }
};
