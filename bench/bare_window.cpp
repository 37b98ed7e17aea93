// The floor of the start-up benchmark: the least a Qt program does to show a window,
// one empty QMainWindow shown as the program shows its frame, with the same measuring aid.

#include "platform/gui/FirstPaint.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    FirstPaint::reportIfAsked(app);
    QMainWindow window;
    window.resize(982, 568);
    window.showMaximized();
    return QApplication::exec();
}
