#pragma once

#include "ui_PhotoViewer.h"

#include <QWidget>

// form_immagine: a photo of a property, large, on black.
class PhotoViewer : public QWidget {
    Q_OBJECT
public:
    explicit PhotoViewer(QWidget* parent = nullptr);

    void showPicture(const QImage& picture);
    const QImage& picture() const { return m_ui.Picture1->image(); }

private:
    Ui::PhotoViewer m_ui;
};
