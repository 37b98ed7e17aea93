#pragma once

#include "platform/Dialogs.h"

#include <QPointer>
#include <QWidget>

// The real dialogs, shown modal over the frame window.
class QtDialogs : public Dialogs {
public:
    static inline const QString messageTitle = QStringLiteral("VELMORA");

    void setParentWidget(QWidget* parent) { m_parent = parent; }

    void message(const QString& text) override;
    QString prompt(const QString& message, const QString& title, const QString& defaultAnswer) override;
    QString openFile(const QString& title, const QString& filter, const QString& initialFolder) override;
    QString saveFile(const QString& title, const QString& filter, const QString& suggestedPath) override;
    std::optional<int> chooseColour(int initialColour) override;
    std::unique_ptr<Progress> progress(const QString& label, bool cancellable) override;

    // "Jpeg|*.jpg|Bitmap|*.bmp|" becomes "Jpeg (*.jpg);;Bitmap (*.bmp)".
    static QString toQtFilter(const QString& filter);

private:
    QPointer<QWidget> m_parent;
};
