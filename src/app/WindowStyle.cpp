#include "app/WindowStyle.h"

#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>
#include <QWidget>
#include <optional>

namespace {

// The style's icon, asked for the first time it is drawn or measured.
class LaterIcon : public QIconEngine {
public:
    LaterIcon(QStyle* style, QStyle::StandardPixmap which, const QStyleOption* option, const QWidget* widget)
        : m_style(style), m_which(which), m_widget(const_cast<QWidget*>(widget)) {
        if (option)
            m_option = *option;
    }

    QIconEngine* clone() const override {
        return new LaterIcon(m_style, m_which, m_option ? &*m_option : nullptr, m_widget);
    }
    QString key() const override { return QStringLiteral("VelmoraLaterIcon"); }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    // `size` is in device pixels here.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        return icon().pixmap(size / scale, scale, mode, state);
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    bool isNull() override { return icon().isNull(); }
    QString iconName() override { return icon().name(); }

private:
    const QIcon& icon() {
        if (!m_asked && m_style) {
            m_icon = m_style->standardIcon(m_which, m_option ? &*m_option : nullptr, m_widget);
            m_asked = true;
        }
        return m_icon;
    }

    QPointer<QStyle> m_style;
    QStyle::StandardPixmap m_which;
    std::optional<QStyleOption> m_option;
    QPointer<QWidget> m_widget; // the widget it was asked for, while there is one
    QIcon m_icon;
    bool m_asked = false;
};

} // namespace

WindowStyle::WindowStyle(const QString& key) : QProxyStyle(key) {}

QIcon WindowStyle::standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const {
    // A plain option (the widget's state, as the toolbar gives it) is kept for later; one
    // of the kinds that say more is not copied whole, and such an icon is made now.
    if (option && option->type != QStyleOption::SO_Default)
        return QProxyStyle::standardIcon(icon, option, widget);
    return QIcon(new LaterIcon(baseStyle(), icon, option, widget));
}
