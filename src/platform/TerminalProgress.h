#pragma once

#include "platform/Progress.h"

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

// Progress as one line on the terminal, rewritten in place: "Immobili: 12.000 di 100.000 (12%)".
// Only when the output is a terminal, so logs and pipes stay clean. For work that can
// stop without losing anything, Ctrl+C asks it to stop instead of killing the program.
class TerminalProgress : public Progress {
public:
    TerminalProgress(const QString& label, bool cancellable, std::FILE* out = stderr);
    ~TerminalProgress() override;
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    bool advance(qint64 done, qint64 total) override;
    // Another label for the next steps (the next table, the next stage).
    void setLabel(const QString& label);

    // The line as it is shown, for a given count.
    static QString line(const QString& label, qint64 done, qint64 total);

private:
    QString m_label;
    bool m_cancellable;
    std::FILE* m_out;
    bool m_terminal;
    bool m_shown = false;
    QElapsedTimer m_sinceShown;
    void (*m_previousHandler)(int) = nullptr;
};
