#include "TestContext.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "forms/controls/CaptionButton.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/PictureBox.h"
#include "properties/PhotoViewer.h"
#include "properties/PropertySheet.h"
#include "properties/PropertyWindow.h"
#include "settings/SettingsWindow.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextLayout>

namespace {

// Where the caption of a wrapping button puts the ink of each line, in the button's
// own coordinates: laid out as CaptionButton paints it (centred, word-wrapped).
QList<QRect> captionInk(const CaptionButton& button, QRect& area) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    area = button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
    QTextLayout layout(button.text(), button.font());
    QTextOption wrap(Qt::AlignCenter);
    wrap.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(wrap);
    QList<QTextLine> lines;
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(area.width());
        height += line.height();
        lines << line;
    }
    layout.endLayout();
    QList<QRect> ink;
    qreal top = area.top() + (area.height() - height) / 2;
    for (const QTextLine& line : lines) {
        const QString text = button.text().mid(line.textStart(), line.textLength());
        const int first = static_cast<int>(text.size() - QString(text).remove(QRegularExpression("^ +")).size());
        const int last = static_cast<int>(QString(text).remove(QRegularExpression(" +$")).size());
        if (last > first) {
            const qreal left = area.left() + (area.width() - line.naturalTextWidth()) / 2;
            const qreal x1 = left + line.cursorToX(line.textStart() + first) - line.cursorToX(line.textStart());
            const qreal x2 = left + line.cursorToX(line.textStart() + last) - line.cursorToX(line.textStart());
            ink << QRectF(QPointF(x1, top), QPointF(x2, top + line.height())).toAlignedRect();
        }
        top += line.height();
    }
    return ink;
}

// Every caption of a window that does not fit its control, or that a picture covers.
QStringList clippedCaptions(const QWidget& window) {
    QStringList clipped;
    // The frame's own controls only: the windows inside it are looked at one by one.
    const auto own = [&window](const QWidget* control) {
        for (const QWidget* up = control->parentWidget(); up && up != &window; up = up->parentWidget())
            if (qobject_cast<const QMdiSubWindow*>(up))
                return false;
        return true;
    };
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (!own(label))
            continue;
        if (label->isHidden() || label->text().isEmpty() || label->wordWrap() || label->textFormat() == Qt::RichText)
            continue;
        const QRect room = label->contentsRect();
        const QSize needed = label->fontMetrics().size(0, label->text());
        if (needed.width() > room.width() || needed.height() > room.height())
            clipped << QStringLiteral("%1 «%2»").arg(label->objectName(), label->text());
    }
    for (const QGroupBox* box : window.findChildren<QGroupBox*>()) {
        if (own(box) && !box->title().isEmpty() &&
            box->fontMetrics().horizontalAdvance(box->title()) + 16 > box->width())
            clipped << QStringLiteral("%1 «%2»").arg(box->objectName(), box->title());
    }
    for (const QPushButton* button : window.findChildren<QPushButton*>()) {
        if (qobject_cast<const CaptionButton*>(button) || button->text().isEmpty() || button->isHidden() ||
            !own(button))
            continue;
        QStyleOptionButton option;
        option.initFrom(button);
        const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        const QSize needed = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
        if (needed.width() > room.width() || needed.height() > room.height())
            clipped << QStringLiteral("%1 «%2»").arg(button->objectName(), button->text());
    }
    for (const CaptionButton* button : window.findChildren<CaptionButton*>()) {
        if (button->text().isEmpty() || button->isHidden() || !own(button))
            continue;
        QRect area;
        const QList<QRect> ink = captionInk(*button, area);
        bool fits = true;
        for (const QRect& line : ink)
            fits = fits && area.contains(line);
        if (!fits)
            clipped << QStringLiteral("%1 «%2»").arg(button->objectName(), button->text());
        // An icon over the button's left end must leave the letters free.
        for (const PictureBox* icon : button->parentWidget()->findChildren<PictureBox*>(Qt::FindDirectChildrenOnly)) {
            const QRect over = icon->geometry().translated(-button->pos());
            if (icon->isHidden() || !QRect(QPoint(), button->size()).intersects(over))
                continue;
            // Ink boxes hold a pixel of side bearing: a touch at a corner covers nothing.
            for (const QRect& line : ink)
                if (line.adjusted(1, 1, -1, -1).intersects(over))
                    clipped << QStringLiteral("%1 covers «%2»").arg(icon->objectName(), button->text());
        }
    }
    return clipped;
}

} // namespace

// The windows as the program shows them (its 8-point face, at 100 %): no caption cut.
class CaptionsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        Artwork::initialise();
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    }

    void everyWindowShowsItsCaptionsWhole() {
        TestOffice office;
        MainWindow frame(office.context);
        office.context.windows = &frame;
        frame.resize(1280, 900);
        frame.show();
        Startup::openWindows(frame, office.context);
        auto* properties = frame.findChild<PropertyWindow*>("form_immobili");
        QVERIFY(properties);
        properties->findChild<QWidget*>("Frame6")->show(); // the search panel, over the property data
        QWidget* settings = frame.showWindow(MainWindow::Settings);
        QWidget* leads = frame.showWindow(MainWindow::Leads);
        QWidget* diary = frame.showWindow(MainWindow::Diary);
        PhotoViewer viewer;
        PropertySheet sheet(office.context);
        const QList<QWidget*> windows{&frame, properties, settings, leads, diary, &viewer, &sheet};
        const QString shots = qEnvironmentVariable("VELMORA_SHOTS"); // a folder to look at them
        QStringList clipped;
        for (QWidget* window : windows) {
            if (!shots.isEmpty())
                window->grab().save(QDir(shots).filePath(window->objectName() + ".png"));
            for (const QString& caption : clippedCaptions(*window))
                clipped << window->objectName() + ": " + caption;
        }
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("\n")));
    }
};

QTEST_MAIN(CaptionsTest)
#include "tst_captions.moc"
