#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The window draws no OpenGL: without this, Qt loads the system's OpenGL stack (with a software renderer,
    // a compiler among it) before the window is first shown, half of the time to a visible window.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    QApplication application(argc, argv);
    MainWindow window;
    window.show();
    return application.exec();
}
