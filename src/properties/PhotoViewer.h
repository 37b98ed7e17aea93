#pragma once

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

    void showPicture(const QImage& picture);
    const QImage& picture() const;

private:
    std::unique_ptr<Ui::PhotoViewer> m_ui;
};
