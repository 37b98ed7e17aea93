#pragma once

#include "matching/MatchRule.h"
#include "platform/Result.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSqlQuery>
#include <chrono>
#include <memory>
#include <vector>

class Database;

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
// scored by the one rule, best first. The database narrows the rows by purpose-free bounds
// on mq that no match can lie outside (its mq index serves them); the rule decides each
// row. The rows are read a slice of time at a time between events, so typing never waits;
// a new start supersedes the search under way.
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
    // The other table's rows within a range of mq (and those without one), or all of them.
    void startWithin(const std::optional<std::pair<double, double>>& range);
    void start(const QString& sql, const QVariantList& values);
    void step();
    bool readSome(bool untilDone);
    void done();

    std::shared_ptr<Database> m_database;
    QLocale m_locale;
    MatchTolerances m_tolerances;
    std::unique_ptr<MatchRule> m_rule;
    std::chrono::nanoseconds m_slice{std::chrono::milliseconds(8)};

    bool m_forRequests = true;
    PropertyTerms m_property;
    RequestTerms m_request;
    std::unique_ptr<QSqlQuery> m_query;
    std::vector<MatchRow> m_found;
    std::vector<MatchRow> m_rows;
    bool m_running = false;
    int m_generation = 0;
};
