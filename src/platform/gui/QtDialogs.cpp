#include "platform/gui/QtDialogs.h"

#include "platform/gui/Colour.h"
#include "platform/gui/DialogProgress.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

void QtDialogs::message(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, messageTitle, text, QMessageBox::Ok, m_parent);
    box.exec();
}

QString QtDialogs::prompt(const QString& message, const QString& title, const QString& defaultAnswer) {
    bool accepted = false;
    const QString answer =
        QInputDialog::getText(m_parent, title, message, QLineEdit::Normal, defaultAnswer, &accepted);
    return accepted ? answer : QString();
}

QString QtDialogs::openFile(const QString& title, const QString& filter, const QString& initialFolder) {
    return QFileDialog::getOpenFileName(m_parent, title, initialFolder, toQtFilter(filter));
}

QString QtDialogs::saveFile(const QString& title, const QString& filter, const QString& suggestedPath) {
    return QFileDialog::getSaveFileName(m_parent, title, suggestedPath, toQtFilter(filter));
}

std::optional<int> QtDialogs::chooseColour(int initialColour) {
    const QColor chosen = QColorDialog::getColor(Colour::fromInt(initialColour), m_parent);
    if (!chosen.isValid())
        return std::nullopt;
    return Colour::toInt(chosen);
}

QString QtDialogs::toQtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString name = parts.at(i).trimmed();
        const QString patterns = parts.at(i + 1).trimmed().replace(QLatin1Char(';'), QLatin1Char(' '));
        if (patterns.isEmpty())
            continue;
        // Names such as "Immagine Jpeg  (*.jpg)" already show their pattern.
        const bool showsPattern = name.endsWith(QStringLiteral("(") + patterns + QLatin1Char(')'));
        entries << (showsPattern ? name : name + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return entries.join(QStringLiteral(";;"));
}

std::unique_ptr<Progress> QtDialogs::progress(const QString& label, bool cancellable) {
    return std::make_unique<DialogProgress>(label, cancellable, m_parent);
}
