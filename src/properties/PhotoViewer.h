#pragma once

#include "platform/gui/Picture.h"

#include <QWidget>
#include <memory>

namespace Ui {
class PhotoViewer;
}

// form_immagine: a photo of a property, large, on black.
class PhotoViewer : public QWidget {
    Q_OBJECT
public:
    explicit PhotoViewer(QWidget* parent = nullptr);
    ~PhotoViewer() override;

    // A picture that cannot be shown leaves the reason written in its place.
    void showPicture(const Picture::Loaded& loaded);
    const QImage& picture() const;
    const QString& problem() const;

private:
    std::unique_ptr<Ui::PhotoViewer> m_ui;
};
