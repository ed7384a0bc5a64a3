// Turns the search button's icon (a Windows ICO, drawn by resources/ico/query1.py) into the PNG that desktop
// menus show for the tool. Desktop icon themes take PNG only, and the ICO stays the one picture we keep.
//   kestrel-icon-png ICON.ico SIZE OUTPUT.png

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QStringList>
#include <QTextStream>

namespace {

int fail(const QString &message)
{
    QTextStream(stderr) << "kestrel-icon-png: " << message << '\n';
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // The ICO reader is an image format plugin, found through the application's library paths.
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 4)
        return fail(QStringLiteral("usage: kestrel-icon-png ICON.ico SIZE OUTPUT.png"));

    bool sizeOk = false;
    const int size = arguments.at(2).toInt(&sizeOk);
    if (!sizeOk || size < 16 || size > 512)
        return fail(
            QStringLiteral("the size must be a number of pixels from 16 to 512, not \"%1\"").arg(arguments.at(2)));

    QImageReader reader(arguments.at(1));
    const QImage icon = reader.read();
    if (icon.isNull())
        return fail(QStringLiteral("%1: %2").arg(arguments.at(1), reader.errorString()));

    // Smooth scaling averages the covered pixels, so a smaller icon keeps its anti-aliased edges.
    const QImage scaled = icon.size() == QSize(size, size)
        ? icon
        : icon.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!scaled.save(arguments.at(3), "PNG"))
        return fail(QStringLiteral("%1: cannot be written").arg(arguments.at(3)));
    return 0;
}
