#pragma once

#include "platform/Dialogs.h"

// The dialogs of a running session, over the real ones. When the system ends the session
// (logout, shutdown, kill) nobody is there to answer: from then on a message goes to the
// standard error stream and every question is answered as if cancelled.
class SessionDialogs : public Dialogs {
public:
    explicit SessionDialogs(Dialogs& shown) : m_shown(shown) {}

    void setUnattended(bool unattended) { m_unattended = unattended; }
    bool unattended() const { return m_unattended; }

    void message(const QString& text) override;
    QString prompt(const QString& message, const QString& title, const QString& defaultAnswer) override;
    QString openFile(const QString& title, const QString& filter, const QString& initialFolder) override;
    QString saveFile(const QString& title, const QString& filter, const QString& suggestedPath) override;
    std::optional<int> chooseColour(int initialColour) override;
    // The shown dialogs' progress; none once nobody is there to see it or to cancel.
    std::unique_ptr<Progress> progress(const QString& label, bool cancellable) override;

private:
    Dialogs& m_shown;
    bool m_unattended = false;
};
