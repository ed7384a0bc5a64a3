#include "mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

namespace {

// --help and --version are answered before the window's application exists: they need no display, and without
// one QApplication would abort. Anything else on the command line is left to QApplication (-platform, -style, ...)
// as before. Returns the exit status when the program ends here.
int answerInformationOptions(int argc, char *argv[])
{
    QCoreApplication probe(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-configure"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Opens the window that finds serial-to-Ethernet converter modules on UDP port 1500 and sets "
                       "their parameters.\nThe window reads no options; the frame key comes from KESTREL_FRAME_KEY, "
                       "the settings file or the program."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    // Qt's own options (-platform offscreen, ...) are unknown here: they are the window's business.
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("kestrel-configure %s\n", KESTREL_VERSION);
        return 0;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const int status = answerInformationOptions(argc, argv); status >= 0)
        return status;
    // The window draws no OpenGL: without this, Qt loads the system's OpenGL stack (with a software renderer,
    // a compiler among it) before the window is first shown, half of the time to a visible window.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    QApplication application(argc, argv);
    MainWindow window;
    window.show();
    return application.exec();
}
