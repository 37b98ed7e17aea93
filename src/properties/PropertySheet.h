#pragma once

#include "platform/Result.h"
#include "platform/gui/Context.h"

#include <QList>
#include <QRectF>
#include <QWidget>
#include <memory>

// form_stp: the one-page sheet of a property handed to clients, laid out as a page:
// the office's name, colour, logo and footer from dati.ini, the property's area, type,
// purpose, photo, notes, surface and price. It prints by drawing the same layout again
// on an A4 page at the printer's resolution.
namespace Ui {
class PropertySheet;
}

class QPagedPaintDevice;
class QPainter;

class PropertySheet : public QWidget {
    Q_OBJECT
public:
    // What the sheet takes from the property card.
    struct Property {
        QString purpose;
        QString type;
        QString area;
        QString address;
        QString surface;
        QString price;
        QString notes;
        QString photoPath;
    };

    explicit PropertySheet(const Context& context, QWidget* parent = nullptr);
    ~PropertySheet() override;

    void fill(const Property& property);
    // Prints the sheet as it is now on the default printer (or, with none, as a PDF).
    Result print();
    // Draws the sheet as it is now, in its own pixels, on any painter.
    void paintLayout(QPainter& painter) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadSettings();
    // The notes in their box, around the labels lying over it, in the sheet's pixels.
    void paintNotes(QPainter& painter) const;
    Result paintPage(QPagedPaintDevice& device);
    // The labels drawn over a control (after it, overlapping it), in the sheet's pixels.
    QList<QRectF> labelsOver(const QWidget* below) const;
    // A text wrapped in a box, its lines beside the labels `over` it starting after them.
    static void paintText(QPainter& painter, const QFont& font, const QRectF& box, const QString& text,
                          const QList<QRectF>& over);

    const Context& m_context;
    std::unique_ptr<Ui::PropertySheet> m_ui;
};
