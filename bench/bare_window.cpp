// The floor of the start-up benchmark: the least a Qt program does to show a window with
// text in it, one label as large as the program's frame, shown as the program shows its
// frame (maximized), with the same measuring aid. Its text makes it load the system's
// fonts, as any window with a word in it must.

#include "platform/gui/FirstPaint.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    FirstPaint::reportIfAsked(app);
    QLabel label(QStringLiteral("VELMORA"));
    label.resize(982, 568);
    label.showMaximized();
    return QApplication::exec();
}
