#pragma once

#include "platform/Dialogs.h"

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
    QStringList progressLabels;  // every progress shown, with " (annullabile)" when it could be stopped, and every label told anew
    int stopProgressAfter = -1;  // steps after which the user presses "Annulla"; -1: never
    int progressSteps = 0;       // steps reported to every progress so far

    void message(const QString& text) override;
    QString prompt(const QString& message, const QString& title, const QString& defaultAnswer) override;
    QString openFile(const QString& title, const QString& filter, const QString& initialFolder) override;
    QString saveFile(const QString& title, const QString& filter, const QString& suggestedPath) override;
    std::optional<int> chooseColour(int initialColour) override;
    std::unique_ptr<Progress> progress(const QString& label, bool cancellable) override;
};
