#include "ScriptedDialogs.h"

void ScriptedDialogs::message(const QString& text) {
    messages << text;
}

QString ScriptedDialogs::prompt(const QString& message, const QString& title, const QString& defaultAnswer) {
    questions << title + QLatin1Char('|') + message + QLatin1Char('|') + defaultAnswer;
    return answers.isEmpty() ? QString() : answers.dequeue();
}

QString ScriptedDialogs::openFile(const QString& title, const QString& filter, const QString& initialFolder) {
    questions << title;
    lastFilter = filter;
    lastFolder = initialFolder;
    return answers.isEmpty() ? QString() : answers.dequeue();
}

QString ScriptedDialogs::saveFile(const QString& title, const QString& filter, const QString& suggestedPath) {
    questions << title;
    lastFilter = filter;
    lastFolder = suggestedPath;
    return answers.isEmpty() ? QString() : answers.dequeue();
}

std::optional<int> ScriptedDialogs::chooseColour(int) {
    return colours.isEmpty() ? std::nullopt : colours.dequeue();
}

namespace {

class ScriptedProgress : public Progress {
public:
    ScriptedProgress(ScriptedDialogs& dialogs, bool cancellable) : m_dialogs(dialogs), m_cancellable(cancellable) {}
    bool advance(qint64, qint64) override {
        ++m_dialogs.progressSteps;
        return !(m_cancellable && m_dialogs.stopProgressAfter >= 0 && m_dialogs.progressSteps > m_dialogs.stopProgressAfter);
    }
    void setLabel(const QString& label) override { m_dialogs.progressLabels << label; }

private:
    ScriptedDialogs& m_dialogs;
    bool m_cancellable;
};

} // namespace

std::unique_ptr<Progress> ScriptedDialogs::progress(const QString& label, bool cancellable) {
    progressLabels << label + (cancellable ? QStringLiteral(" (annullabile)") : QString());
    return std::make_unique<ScriptedProgress>(*this, cancellable);
}
