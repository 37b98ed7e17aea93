#pragma once

#include <QString>
#include <QtGlobal>

// How long work tells how far it has come (the program shows a progress dialog, the
// command-line tools a line on the terminal) and learns whether the user asked to stop.
class Progress {
public:
    virtual ~Progress() = default;

    // `done` out of `total` steps; a total of 0 means the end is not known yet. Answers
    // false once the user asked to stop: work that can stop without losing anything then
    // undoes what it did and stops; other work goes on.
    virtual bool advance(qint64 done, qint64 total) = 0;

    // What is being done, told anew: work that learns on the way what it waits for.
    virtual void setLabel(const QString& label) { Q_UNUSED(label); }

    // For work that may run with nobody watching: no progress always goes on.
    static bool advance(Progress* progress, qint64 done, qint64 total) {
        return !progress || progress->advance(done, total);
    }
};
