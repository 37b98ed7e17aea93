#pragma once

#include <QProxyStyle>

// The desktop's own style, except that its standard icons (the inner windows' title bars
// and system menus, the toolbar's overflow button) are made only when first shown or
// measured. Made at once, as every inner window and toolbar asks for them, they had Qt
// load all its image plug-ins before the first window showed.
class WindowStyle : public QProxyStyle {
public:
    // Over the style of that name (the desktop's, or the one asked for with -style).
    explicit WindowStyle(const QString& key);

    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};
