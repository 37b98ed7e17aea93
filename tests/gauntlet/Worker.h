#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

// The gauntlet's child process (velmora-gauntlet-worker): started with a mode and its
// arguments, its stdout read a line at a time, killed with SIGKILL when the test says.
class Worker {
public:
    explicit Worker(const QStringList& arguments) {
        m_process.setProgram(QStringLiteral(VELMORA_GAUNTLET_WORKER));
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));  // no screen needed
        m_process.setProcessEnvironment(environment);
        m_process.start();
    }
    ~Worker() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Waits for a line, up to `ms`; false when the worker ended or took too long.
    bool waitForLine(int ms = 20000) {
        QElapsedTimer timer;
        timer.start();
        while (!m_process.canReadLine()) {
            if (timer.elapsed() > ms || m_process.state() == QProcess::NotRunning)
                return m_process.canReadLine();
            m_process.waitForReadyRead(50);
        }
        return true;
    }
    QString readLine() { return QString::fromUtf8(m_process.readLine()).chopped(1); }

    // SIGKILL, then everything it had written before it died.
    QStringList kill() {
        m_process.kill();
        m_process.waitForFinished(10000);
        return rest();
    }
    // SIGTERM: the system asks the program to end.
    void terminate() { m_process.terminate(); }
    // Waits for the end; false on a timeout (the worker is then killed).
    bool finish(int ms) {
        if (m_process.waitForFinished(ms))
            return true;
        kill();
        return false;
    }
    QStringList rest() {
        QStringList lines;
        while (m_process.canReadLine())
            lines << readLine();
        return lines;
    }
    QString errors() { return QString::fromUtf8(m_process.readAllStandardError()); }
    int exitCode() const { return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1; }

private:
    QProcess m_process;
};
