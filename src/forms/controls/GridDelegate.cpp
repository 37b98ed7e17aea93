#include "forms/controls/GridDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <cmath>

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QVariant value = index.data(Qt::DisplayRole);
    const QString text = value.toString();
    const bool plain = (value.typeId() == QMetaType::QString || !value.isValid()) &&
                       !(option.state & (QStyle::State_HasFocus | QStyle::State_Editing)) &&
                       !(option.features & QStyleOptionViewItem::WrapText) &&
                       std::none_of(text.cbegin(), text.cend(), [](QChar c) {
                           return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0);
                       });
    if (!plain) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QWidget* widget = option.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    QStyleOptionViewItem opt = option;
    opt.text = text;
    if (!text.isEmpty())
        opt.features |= QStyleOptionViewItem::HasDisplay;

    // One line laid out at the width the style leaves for text; a line too long is
    // elided as the style elides it and laid out again.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect room = opt.rect.adjusted(margin, 0, -margin, 0);
    QTextOption textOption;
    textOption.setWrapMode(QTextOption::ManualWrap);
    textOption.setTextDirection(opt.direction);
    textOption.setAlignment(QStyle::visualAlignment(opt.direction, opt.displayAlignment));
    QTextLayout layout(text, opt.font);
    const auto layOut = [&](QTextLayout& lines) {
        lines.setTextOption(textOption);
        lines.beginLayout();
        QTextLine line = lines.createLine();
        if (line.isValid()) {
            line.setLineWidth(room.width());
            line.setPosition(QPointF(0, 0));
        }
        lines.endLayout();
        return line;
    };
    const QTextLine line = layOut(layout);
    if (!text.isEmpty() && (!line.isValid() || layout.lineCount() != 1 || opt.direction != Qt::LeftToRight ||
                            !(opt.displayAlignment & Qt::AlignLeft) || !(opt.displayAlignment & Qt::AlignVCenter))) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QTextLayout elided(QString(), opt.font);
    const bool elide = !text.isEmpty() && line.naturalTextWidth() > room.width();
    if (elide) {
        elided.setText(QFontMetrics(opt.font).elidedText(text, opt.textElideMode, room.width()));
        layOut(elided);
    }

    painter->save();
    painter->setClipRect(opt.rect);
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
    if (!text.isEmpty()) {
        QPalette::ColorGroup group = opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
        if (group == QPalette::Normal && !(opt.state & QStyle::State_Active))
            group = QPalette::Inactive;
        painter->setPen(opt.palette.color(group, opt.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                                     : QPalette::Text));
        // Where the style puts it: the text's box centred in the cell, the line at its top.
        const int height = static_cast<int>(std::ceil(line.height()));
        const int top = opt.rect.y() + opt.rect.height() / 2 - height / 2;
        (elide ? elided : layout).draw(painter, QPointF(room.x(), top));
    }
    painter->restore();
}
