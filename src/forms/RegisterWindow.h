#pragma once

#include "Context.h"
#include "Query.h"
#include "Result.h"

#include <QList>
#include <QWidget>

class RecordSource;

// What every register window shares: its record sources on the database named in
// daba.ini, failures told to the user in one sentence, searches that keep the previous
// rows when refused, and a close that first writes what the user typed.
class RegisterWindow : public QWidget {
    Q_OBJECT
public:
    const Context& context() const { return m_context; }

protected:
    RegisterWindow(const Context& context, QWidget* parent = nullptr);

    // A record source over a table, owned by the window.
    RecordSource* addSource(const QString& table);

    // Reads the database path from daba.ini and points every source at it. A database
    // that cannot be opened is told once; the window stays usable with no records.
    QString openDatabase();

    // Shows the failure's message; answers whether it went well.
    bool report(const Result& result);

    // Makes a query the source's and runs it; a refused query or refresh is told and
    // the source keeps its previous query and rows.
    bool search(RecordSource& source, const Query& query);

    // Writes the pending edit of every source; one that cannot be written keeps the
    // window open with the edit in place, and says why.
    void closeEvent(QCloseEvent* event) override;

private:
    const Context& m_context;
    QList<RecordSource*> m_sources;
};
