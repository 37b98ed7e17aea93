#pragma once

#include <QPushButton>

// A command button whose caption wraps over the lines its width allows, centred, as
// the office's captions expect: their runs of blanks leave room for an icon at the
// left end and break a caption such as "      AGGIUNGI       IMMAGINI" in two.
// The caption is kept exactly as given.
class CaptionButton : public QPushButton {
    Q_OBJECT
public:
    explicit CaptionButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    // Enter presses the focused button, as Space does.
    void keyPressEvent(QKeyEvent* event) override;
};
