#pragma once

#include <QImage>
#include <QWidget>

// A picture area: its picture stretched to the whole area, drawn from the picture
// itself at whatever resolution the area is painted (screen or printer). A click on
// it is a command where the window gives it one.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }
    void clear() { setImage({}); }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage m_image;
    bool m_pressed = false;
};
