// Writes a picture of the panel for the demo script: waits until a pixel of
// the given colour shows on the X screen (the active antenna key), then saves
// the part of the screen that windows cover.
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cstdio>

namespace {

bool containsColour(const QImage &image, QRgb colour)
{
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0xFFFFFF) == (colour & 0xFFFFFF))
                return true;
        }
    }
    return false;
}

// The bounding box of everything that is not the bare black root window.
QRect coveredArea(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0xFFFFFF) != 0)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Saves the X screen once a colour shows on it."));
    parser.addHelpOption();
    const QCommandLineOption waitOption(QStringLiteral("wait-for"), QStringLiteral("Colour to wait for, as #rrggbb."),
                                        QStringLiteral("COLOUR"), QStringLiteral("#feed89"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"), QStringLiteral("Seconds to wait at most."),
                                           QStringLiteral("SECONDS"), QStringLiteral("30"));
    parser.addOption(waitOption);
    parser.addOption(timeoutOption);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("PNG file to write."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    const QRgb wanted = QColor(parser.value(waitOption)).rgb();
    const qint64 timeoutMs = parser.value(timeoutOption).toLongLong() * 1000;
    QScreen *screen = QGuiApplication::primaryScreen();
    QElapsedTimer timer;
    timer.start();
    QImage image;
    bool found = false;
    while (!found && timer.elapsed() < timeoutMs) {
        image = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
        found = containsColour(image, wanted);
        if (!found)
            QThread::msleep(200);
    }
    if (!found) {
        std::fprintf(stderr, "tqx5r-screenshot: the colour never showed\n");
        return 1;
    }
    // Let the rest of the panel finish painting the same frame.
    QThread::msleep(300);
    image = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
    const QRect area = coveredArea(image);
    const QString file = parser.positionalArguments().constFirst();
    if (!image.copy(area.isValid() ? area : image.rect()).save(file, "PNG")) {
        std::fprintf(stderr, "tqx5r-screenshot: cannot write %s\n", qPrintable(file));
        return 1;
    }
    return 0;
}
