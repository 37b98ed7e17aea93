#pragma once

#include <QImage>
#include <QMdiArea>

// The frame's client area: the workspace colour with the background picture drawn
// unscaled at its top left corner, under the child windows.
class Workspace : public QMdiArea {
    Q_OBJECT
public:
    explicit Workspace(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
};
