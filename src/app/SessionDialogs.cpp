#include "app/SessionDialogs.h"

#include <cstdio>

void SessionDialogs::message(const QString& text) {
    if (!m_unattended) {
        m_shown.message(text);
        return;
    }
    std::fprintf(stderr, "VELMORA: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

QString SessionDialogs::prompt(const QString& message, const QString& title, const QString& defaultAnswer) {
    return m_unattended ? QString() : m_shown.prompt(message, title, defaultAnswer);
}

QString SessionDialogs::openFile(const QString& title, const QString& filter, const QString& initialFolder) {
    return m_unattended ? QString() : m_shown.openFile(title, filter, initialFolder);
}

QString SessionDialogs::saveFile(const QString& title, const QString& filter, const QString& suggestedPath) {
    return m_unattended ? QString() : m_shown.saveFile(title, filter, suggestedPath);
}

std::optional<int> SessionDialogs::chooseColour(int initialColour) {
    return m_unattended ? std::nullopt : m_shown.chooseColour(initialColour);
}

std::unique_ptr<Progress> SessionDialogs::progress(const QString& label, bool cancellable) {
    return m_unattended ? nullptr : m_shown.progress(label, cancellable);
}
