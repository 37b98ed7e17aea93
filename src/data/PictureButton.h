#pragma once

#include <QLabel>

// A small picture lying over the left end of a command button. In some windows a
// click on it repeats the button's command; where it has none, a click does nothing
// (and does not reach the button beneath).
class PictureButton : public QLabel {
    Q_OBJECT
public:
    explicit PictureButton(QWidget* parent = nullptr);

    void setIcon(const QIcon& icon);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressed = false;
};
