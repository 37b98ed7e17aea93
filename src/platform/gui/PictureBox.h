#pragma once

#include "platform/gui/Picture.h"

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

    // Shows the picture at a path; one that cannot be loaded leaves the area empty with
    // the reason written in it (on screen only), so the user knows why there is no picture. Answers
    // whether there is a picture (an empty path gives none, and no reason).
    bool showFile(const QString& path);
    // The picture of a read, or its reason.
    void show(const Picture::Loaded& loaded);
    // The reason written in the area; empty while it shows a picture.
    const QString& problem() const { return m_problem; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage m_image;
    QString m_problem;
    QString m_reason;
    bool m_pressed = false;
};
