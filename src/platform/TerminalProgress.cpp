#include "platform/TerminalProgress.h"

#include <QLocale>
#include <csignal>
#include <unistd.h>

namespace {

// Set by Ctrl+C while a cancellable piece of work runs; read by its next step.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void askToStop(int) {
    interrupted = 1;
}

} // namespace

TerminalProgress::TerminalProgress(const QString& label, bool cancellable, std::FILE* out)
    : m_label(label), m_cancellable(cancellable), m_out(out), m_terminal(isatty(fileno(out)) == 1) {
    if (m_cancellable) {
        interrupted = 0;
        m_previousHandler = std::signal(SIGINT, askToStop);
    }
}

TerminalProgress::~TerminalProgress() {
    if (m_cancellable)
        std::signal(SIGINT, m_previousHandler == SIG_ERR ? SIG_DFL : m_previousHandler);
    if (m_shown)
        std::fputs("\n", m_out);
}

void TerminalProgress::setLabel(const QString& label) {
    m_label = label;
}

QString TerminalProgress::line(const QString& label, qint64 done, qint64 total) {
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    if (total <= 0)
        return QStringLiteral("%1: %2").arg(label, italian.toString(done));
    return QStringLiteral("%1: %2 di %3 (%4%)")
        .arg(label, italian.toString(done), italian.toString(total))
        .arg(done * 100 / total);
}

bool TerminalProgress::advance(qint64 done, qint64 total) {
    // A few redraws a second are enough, and the last one always shows.
    if (m_terminal && (!m_shown || m_sinceShown.elapsed() >= 200 || done == total)) {
        std::fprintf(m_out, "\r\033[K%s", qPrintable(line(m_label, done, total)));
        std::fflush(m_out);
        m_shown = true;
        m_sinceShown.start();
    }
    return !(m_cancellable && interrupted);
}
