#pragma once

#include "data/vocabulary/Schema.h"
#include "platform/Result.h"

#include <QList>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class IndexBuilder;
class WriteLedger;
struct sqlite3;

// The trigram index of the quick-search fields, kept in the database file itself so that
// backups carry it and every writer (another copy of the program, the sqlite3 shell)
// keeps it current through its triggers: one FTS5 table per field (trigram tokens,
// external content, rowids only), three triggers per table and a table of how far each
// table has been indexed. Beside it, the plain indexes of the criteria search
// (CriteriaIndex), which SQLite keeps current by itself.
//
// The existing tables are never altered. A database opened for the first time is indexed
// a slice at a time, while the program runs, on a thread and a connection of its own
// (IndexBuilder), or all at once with build(): rows up to coveredUpTo() are in the index
// and kept by the triggers, the rest are searched by other means until the build
// reaches them.
class SearchIndex : public QObject {
    Q_OBJECT
public:
    // The fields searched as the user types.
    using Field = Schema::SearchField;
    static const QList<Field>& fields() { return Schema::searchFields(); }
    static bool isIndexed(const QString& table, const QString& field) { return Schema::isSearchField(table, field); }
    // Every schema object the index adds to a database (tables, the FTS5 tables' own
    // tables, triggers, the criteria search's indexes), by name.
    static QStringList objectNames();
    // The same objects with the SQL that makes them, in the order of creation, marked as
    // the search index's; the FTS5 tables' own tables are implicit, with the SQL this
    // SQLite writes for them.
    static QList<Schema::SchemaObject> schemaObjects();
    static QString ftsTable(const QString& table, const QString& field);

    // The FTS5 query that finds a superset of the rows a LIKE pattern can match, or an
    // empty text when the pattern has no run of three characters the index can look up.
    static QString matchText(const QString& pattern);

    // `ledger` (may be none) learns which commits are the background build's.
    explicit SearchIndex(sqlite3* db, WriteLedger* ledger = nullptr, QObject* parent = nullptr);
    ~SearchIndex() override;

    // Adds the index objects that are missing, and replaces those that are not as this
    // program makes them. A read-only database is left as it is. Starts the build.
    Result install();

    // Rows of the table with a rowid up to this are in the index; none when the table
    // has no usable index.
    std::optional<qint64> coveredUpTo(const QString& table);
    bool isComplete();

    // Indexes the next rows for at most about `budget` of work; `more` tells whether rows remain.
    Result buildStep(std::chrono::nanoseconds budget, bool& more);

    // Indexed: rows of a table were indexed (Ended: its last ones); Finished: nothing was
    // left; RolledBack: `keep` said no; Busy: the file is locked by another connection.
    enum class Chunk { Indexed, Ended, Finished, RolledBack, Busy };
    // What one connection's build carries from one transaction to the next.
    struct Pace {
        int chunk = 1000;           // rows per transaction, adapted to the budget
        qint64 verifiedSchema = -1; // the schema version the usable tables were checked at
        QStringList usable;         // tables whose index objects are as the program makes them
    };
    // One transaction of the build, on any connection to the file: indexes the next rows of
    // the first table not complete, about `pace.chunk` of them, adapting it so that the
    // work takes about 3/4 of `budget`. `keep`, asked before COMMIT, rolls the work back
    // by answering false; a ledger is told the change counter the commit makes.
    static Result indexChunk(sqlite3* db, std::chrono::nanoseconds budget, Pace& pace,
                             const std::function<bool()>& keep, WriteLedger* ledger, Chunk& outcome);
    // Indexes every row not yet indexed, telling the progress after each step (rows done,
    // rows in all); the callback answers false to stop (what is done stays done).
    Result build(const std::function<bool(qint64 done, qint64 total)>& progress);
    // How far the build is, as rows done and rows in all (estimated from the keys).
    void progress(qint64& done, qint64& total);

    // Whether the index builds itself in the background while the user pauses.
    void setBackgroundBuild(bool enabled);
    // The background build is under way: it stops when the index is complete, and when
    // the database cannot take it (read-only, a failed write) until the next open.
    bool isBuilding() const;

signals:
    void built();

protected:
    // Notes the user's keys and clicks, which the background build keeps out of the way of.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The tables whose index objects are all as this program makes them, and started.
    QStringList verifiedTables();
    Result installTable(const QString& table);
    void scheduleBuild();
    void startBuilder();
    void builderEnded(int generation, bool complete);

    sqlite3* m_db;
    WriteLedger* m_ledger;
    std::unique_ptr<IndexBuilder> m_builder;
    int m_builderGeneration = 0;
    qint64 m_lastInput = 0; // IndexBuilder::now() of the user's last key or click
    QTimer m_timer; // starts the builder from the event loop
    bool m_background = true;
    int m_verifiedSchema = -1;
    QStringList m_usable; // tables whose index objects are as the program makes them
    Pace m_pace;          // of the build through this connection
};
