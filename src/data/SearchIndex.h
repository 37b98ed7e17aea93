#pragma once

#include "Result.h"
#include "Schema.h"

#include <QList>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>

struct sqlite3;

// The trigram index of the quick-search fields, kept in the database file itself so that
// backups carry it and every writer (another copy of the program, the sqlite3 shell)
// keeps it current through its triggers: one FTS5 table per field (trigram tokens,
// external content, rowids only), three triggers per table and a table of how far each
// table has been indexed. Beside it, the plain indexes of the criteria search
// (CriteriaIndex), which SQLite keeps current by itself.
//
// The existing tables are never altered. A database opened for the first time is indexed
// a slice at a time, while the program runs (or all at once with build()): rows up to
// coveredUpTo() are in the index and kept by the triggers, the rest are searched by
// other means until the build reaches them.
class SearchIndex : public QObject {
    Q_OBJECT
public:
    struct Field {
        QString table;
        QString field;
    };
    // The fields searched as the user types.
    static const QList<Field>& fields();
    static bool isIndexed(const QString& table, const QString& field);
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

    explicit SearchIndex(sqlite3* db, QObject* parent = nullptr);
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
    // Indexes every row not yet indexed, telling the progress after each step (rows done,
    // rows in all); the callback answers false to stop (what is done stays done).
    Result build(const std::function<bool(qint64 done, qint64 total)>& progress);
    // How far the build is, as rows done and rows in all (estimated from the keys).
    void progress(qint64& done, qint64& total);

    // Whether the index builds itself in the background while the event loop is idle.
    void setBackgroundBuild(bool enabled);
    // The background build is under way: it stops when the index is complete, and when
    // the database cannot take it (read-only, a failed write) until the next open.
    bool isBuilding() const { return m_timer.isActive(); }

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

    sqlite3* m_db;
    QTimer m_timer;
    QElapsedTimer m_lastInput;
    bool m_background = true;
    int m_verifiedSchema = -1;
    QStringList m_usable; // tables whose index objects are as the program makes them
    int m_chunk = 1000;   // rows per build transaction, adapted to the budget
};
