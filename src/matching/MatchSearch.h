#pragma once

#include "matching/MatchRule.h"
#include "platform/Result.h"

#include <QObject>
#include <QSqlQuery>
#include <QVariantList>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class Database;
class ServerRows;
class QTimer;

// One record of the other register that fits the record the user is on.
struct MatchRow {
    qint64 key = 0;
    MatchResult result;
    QString who;    // a request's name and surname; a property's type, zone and address
    QString phone;  // a request's telephone; a property's owner and telephones
    QString what;   // what the request wants, or what the property offers

    // The reasons as the list and the printout show them: a near miss says first what misses.
    QString reasons() const;
};

// Finds, for one property, the requests that fit it, or for one request the properties,
// scored by the one rule, best first.
//
// On SQLite the index over purpose, type, mq and price (CriteriaIndex) gives the table's
// distinct purposes and types a seek each; the rule decides each pair once, and only the
// rows of the pairs that fit, within the mq that no match can lie outside, are read. Without
// the index, or with too many distinct types to walk, the rows within the mq range are read
// and the rule decides each. On PostgreSQL the rows within the range are asked for on a
// connection of their own, without waiting for the server.
//
// The rows are scored a slice of time at a time between events, so typing never waits; a
// new start supersedes the search under way.
class MatchSearch : public QObject {
    Q_OBJECT
public:
    MatchSearch(std::shared_ptr<Database> database, const QLocale& locale, QObject* parent = nullptr);
    ~MatchSearch() override;

    void setTolerances(const MatchTolerances& tolerances) { m_tolerances = tolerances; }
    const MatchTolerances& tolerances() const { return m_tolerances; }

    void findRequests(const PropertyTerms& property);
    void findProperties(const RequestTerms& request);
    void cancel();
    bool isRunning() const { return m_running; }
    // PostgreSQL: the search still waits for the server's answer.
    bool isWaitingForServer() const { return m_running && m_waiting; }
    // Reads on without giving way to events until the search is done (tests, benchmarks).
    void finishNow();

    // The last complete result: exact matches, then near misses, each best first, ties by key.
    const std::vector<MatchRow>& rows() const { return m_rows; }

    // The length of a slice of reading before events get their turn.
    void setSlice(std::chrono::nanoseconds slice) { m_slice = slice; }

    // Every row of the other table scored one by one, with no narrowing: what the search
    // must agree with.
    static Result scanAll(Database& database, const QLocale& locale, const MatchTolerances& tolerances,
                          const PropertyTerms* property, const RequestTerms* request, std::vector<MatchRow>& rows);

signals:
    void finished();
    void failed(const QString& message);

private:
    struct Part {
        QString sql;
        QVariantList values;
        // Its rows are keys, mq and price from the index, whose other fields are read only
        // for the rows within the tolerances.
        bool keysFirst = false;
    };
    using Range = std::optional<std::pair<double, double>>;

    void startWithin(const Range& range);
    // SQLite: the statements that read only the rows of the purposes and types that fit;
    // false when the walk cannot serve (then every row within the range is read).
    bool walk(const Range& range, std::vector<Part>& parts);
    void start(std::vector<Part> parts);
    bool openPart();
    bool openDetails();
    void step();
    bool readSome(bool untilDone);
    void done();
    void fail(const QString& message);

    std::shared_ptr<Database> m_database;
    QLocale m_locale;
    MatchTolerances m_tolerances;
    std::unique_ptr<MatchRule> m_rule;
    std::chrono::nanoseconds m_slice{std::chrono::milliseconds(8)};

    bool m_forRequests = true;
    PropertyTerms m_property;
    RequestTerms m_request;
    std::vector<Part> m_parts;
    std::size_t m_nextPart = 0;
    std::unique_ptr<QSqlQuery> m_query;
    bool m_keysFirst = false;
    std::vector<qint64> m_pending;  // keys within the tolerances whose rows are still to read
    std::unique_ptr<QSqlQuery> m_details;
    bool m_detailsOpen = false;
    // PostgreSQL: the connection of the matching, the statement it works on, its rows.
    std::unique_ptr<ServerRows> m_server;
    bool m_serverTried = false;
    bool m_waiting = false;
    std::vector<QVariantList> m_serverRows;
    std::size_t m_serverAt = 0;
    bool m_fromServer = false;
    QTimer* m_poll;

    std::vector<MatchRow> m_found;
    std::vector<MatchRow> m_rows;
    bool m_running = false;
    int m_generation = 0;
};
