#pragma once

#include "platform/Progress.h"

#include <QString>
#include <memory>
#include <optional>

// Every modal question the program asks goes through here, so tests can answer
// them and read back what was shown.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A plain message box with an OK button only.
    virtual void message(const QString& text) = 0;

    // An input prompt; a cancelled prompt answers an empty text.
    virtual QString prompt(const QString& message, const QString& title, const QString& defaultAnswer) = 0;

    // The filter is in the program's own "Name|*.ext|Name|*.ext" form. Answers the
    // full path of the chosen file, or an empty text when the user cancels.
    virtual QString openFile(const QString& title, const QString& filter, const QString& initialFolder) = 0;

    // A save-file dialog: the full path chosen, or an empty text on cancel.
    virtual QString saveFile(const QString& title, const QString& filter, const QString& suggestedPath) = 0;

    // Answers the chosen colour as red + 256 * green + 65536 * blue, or nothing on cancel.
    virtual std::optional<int> chooseColour(int initialColour) = 0;

    // Shows the progress of long work until the answer is destroyed; with `cancellable`
    // the user may ask it to stop. Nothing (no progress shown) unless a seam provides it.
    virtual std::unique_ptr<Progress> progress(const QString& label, bool cancellable) {
        Q_UNUSED(label);
        Q_UNUSED(cancellable);
        return nullptr;
    }
};
