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
