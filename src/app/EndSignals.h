#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM and SIGHUP (logout, shutdown, kill) as a Qt signal on the event loop. A signal
// handler may do next to nothing, so it only writes the signal's number into a pipe of
// its own; the event loop reads it there and the program ends in its own time.
class EndSignals : public QObject {
    Q_OBJECT
public:
    explicit EndSignals(QObject* parent = nullptr);
    ~EndSignals() override;

    // Whether the handlers are in place.
    bool installed() const { return m_installed; }

signals:
    void received(int signal);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
    bool m_installed = false;
};
