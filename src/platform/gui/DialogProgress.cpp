#include "platform/gui/DialogProgress.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <algorithm>
#include <limits>

namespace {
// Work that ends sooner shows nothing.
constexpr qint64 showAfterMs = 500;
} // namespace

DialogProgress::DialogProgress(const QString& label, bool cancellable, QWidget* parent)
    : m_dialog(std::make_unique<QProgressDialog>(label, cancellable ? QStringLiteral("Annulla") : QString(), 0, 0, parent)),
      m_cancellable(cancellable) {
    m_dialog->setObjectName(QStringLiteral("progresso"));
    m_dialog->setWindowTitle(QStringLiteral("VELMORA"));
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->setAutoReset(false);
    m_dialog->setAutoClose(false);
    // The dialog is shown here, by time, never by the dialog's own timer: events run only
    // while it is up and modal, so no window is used half-way through the work.
    m_dialog->setMinimumDuration(std::numeric_limits<int>::max());
    m_dialog->reset();
    m_started.start();
}

DialogProgress::~DialogProgress() = default;

bool DialogProgress::advance(qint64 done, qint64 total) {
    // QProgressDialog counts in int: large totals are scaled to a thousandth.
    constexpr qint64 limit = std::numeric_limits<int>::max();
    const int maximum = total <= 0 ? 0 : total > limit ? 1000 : static_cast<int>(total);
    const int value = total <= 0 ? 0 : total > limit ? static_cast<int>(done * 1000 / total) : static_cast<int>(done);
    if (m_dialog->maximum() != maximum)
        m_dialog->setMaximum(maximum);
    if (maximum > 0)
        m_dialog->setValue(std::clamp(value, 0, maximum));
    if (!m_dialog->isVisible() && m_started.elapsed() >= showAfterMs)
        m_dialog->show();
    if (m_dialog->isVisible())
        QCoreApplication::processEvents(); // the bar moves and "Annulla" answers
    return !(m_cancellable && m_dialog->wasCanceled());
}

void DialogProgress::setLabel(const QString& label) {
    m_dialog->setLabelText(label);
}
