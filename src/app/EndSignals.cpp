#include "app/EndSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The one pipe of the process: [0] is read by the event loop, [1] written by the handler.
int pipeEnds[2] = {-1, -1};

const int handled[] = {SIGTERM, SIGHUP};

extern "C" void onEndSignal(int signal) {
    const int savedErrno = errno;
    const char number = static_cast<char>(signal);
    // write() is async-signal-safe; a full pipe already holds a request to end.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &number, 1);
    errno = savedErrno;
}

} // namespace

EndSignals::EndSignals(QObject* parent) : QObject(parent) {
    if (pipeEnds[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipeEnds) != 0)
        return;
    ::fcntl(pipeEnds[1], F_SETFL, ::fcntl(pipeEnds[1], F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &EndSignals::readPipe);

    struct sigaction action {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_installed = true;
    for (const int signal : handled)
        m_installed = ::sigaction(signal, &action, nullptr) == 0 && m_installed;
}

EndSignals::~EndSignals() {
    if (!m_notifier)
        return;
    for (const int signal : handled)
        std::signal(signal, SIG_DFL);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void EndSignals::readPipe() {
    char number = 0;
    if (::read(pipeEnds[0], &number, 1) == 1)
        emit received(number);
}
