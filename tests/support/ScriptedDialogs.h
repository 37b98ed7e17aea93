#pragma once

#include "Dialogs.h"

#include <QQueue>
#include <QStringList>

// Dialogs answered from a script, recording every message and question shown.
class ScriptedDialogs : public Dialogs {
public:
    QStringList messages;       // every message box text, in order
    QStringList questions;      // every prompt / file dialog title, in order
    QQueue<QString> answers;    // the next prompt and file dialog answers; empty means cancel
    QQueue<std::optional<int>> colours;
    QString lastFilter;
    QString lastFolder;

    void message(const QString& text) override;
    QString prompt(const QString& message, const QString& title, const QString& defaultAnswer) override;
    QString openFile(const QString& title, const QString& filter, const QString& initialFolder) override;
    QString saveFile(const QString& title, const QString& filter, const QString& suggestedPath) override;
    std::optional<int> chooseColour(int initialColour) override;
};
