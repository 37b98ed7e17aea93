#pragma once

#include <QObject>
#include <QTimer>

class RecordSource;
class WindowHost;

// While the search index of a register's database is being built in the background (a
// minute or more the first time a large database is opened), tells the frame how far it
// is, so that slower searches meanwhile are understood.
class SearchIndexWatch : public QObject {
    Q_OBJECT
public:
    SearchIndexWatch(RecordSource& source, WindowHost* host, QObject* parent = nullptr);

    // Looks again at the source's database: call after it has opened another.
    void restart();
    // The line shown now ("" when none).
    const QString& text() const { return m_text; }

private:
    void look();

    RecordSource& m_source;
    WindowHost* m_host;
    QTimer m_timer;
    QString m_text;
};
