// tqx5r-sim: a TQX-5R antenna switch on a pseudo-terminal, for running and
// testing the control panel without the hardware.

#include "sim/VirtualSwitch.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

bool installSignalHandlers()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) < 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

void fail(const QString &message)
{
    std::fprintf(stderr, "tqx5r-sim: %s\n", qPrintable(message));
}

// "1.12" -> 1 and 12, each 0..255.
bool parseFirmware(const QString &text, quint8 &major, quint8 &minor)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 2)
        return false;
    bool okMajor = false;
    bool okMinor = false;
    const uint majorValue = parts.at(0).toUInt(&okMajor);
    const uint minorValue = parts.at(1).toUInt(&okMinor);
    if (!okMajor || !okMinor || majorValue > 255 || minorValue > 255)
        return false;
    major = static_cast<quint8>(majorValue);
    minor = static_cast<quint8>(minorValue);
    return true;
}

// Points linkPath at the device. An old symbolic link is replaced; anything
// else at that path is left alone.
bool createLink(const QString &linkPath, const QString &device)
{
    const QByteArray link = QFile::encodeName(linkPath);
    const QFileInfo existing(linkPath);
    if (existing.isSymLink()) {
        if (::unlink(link.constData()) < 0) {
            fail(QStringLiteral("cannot replace %1: %2").arg(linkPath, QString::fromLocal8Bit(std::strerror(errno))));
            return false;
        }
    } else if (existing.exists()) {
        fail(QStringLiteral("%1 exists and is not a symbolic link; not replacing it").arg(linkPath));
        return false;
    }
    if (::symlink(QFile::encodeName(device).constData(), link.constData()) < 0) {
        fail(QStringLiteral("cannot create %1: %2").arg(linkPath, QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    return true;
}

// Removes the link only while it still points at this run's device.
void removeLink(const QString &linkPath, const QString &device)
{
    const QFileInfo info(linkPath);
    if (info.isSymLink() && info.symLinkTarget() == device)
        ::unlink(QFile::encodeName(linkPath).constData());
}

const char *description =
    "Plays a TQX-5R antenna switch on a pseudo-terminal, so the control panel\n"
    "can be run and tested without the hardware. Point the panel's serial\n"
    "settings at the device path printed on start-up (or at the --link path).\n"
    "The line parameters the panel chooses do not matter; the switch paces its\n"
    "own output at --baud.\n"
    "\n"
    "The switch answers:\n"
    "  IGW;     with the firmware frame IGW <major> <minor> ;\n"
    "  IGT3;    with the 12-byte status frame IGT + 8 data bytes + ;\n"
    "           (position, split, busy mask (active low), rotor, super split\n"
    "           group, send, split partner, super split partner)\n"
    "and applies the command frames (bytes after the ; are ignored):\n"
    "  IGSk;    select position k (0..7). With split on and k not the current\n"
    "           position, k becomes the split partner; otherwise the position\n"
    "           left becomes the super split partner (unless it is in the super\n"
    "           split group) and k the current position.\n"
    "  IGPct1;  split on: current position c and TX position t, each sent as\n"
    "           position + 0x30 (\"0\"..\"7\"). IGP..0; (e.g. IGP//0;) split off.\n"
    "  IGQm;    the raw byte m becomes the super split group (bit i = position i).\n"
    "  IGVpn;   select rotor n (1..4), or none for n = 0; p is position + 1.\n"
    "Frames with values out of range change nothing; garbage between frames is\n"
    "skipped.\n"
    "\n"
    "The switch stops with SIGINT (Ctrl+C) or SIGTERM and then removes its link.";

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tqx5r-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TQX5R_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(description));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption baudOption(
        QStringLiteral("baud"),
        QStringLiteral("Pace the switch's output as a line at <N> baud, 8N1 (10 bit times a byte); "
                       "0 writes without pacing. Default 9600."),
        QStringLiteral("N"), QStringLiteral("9600"));
    const QCommandLineOption firmwareOption(
        QStringLiteral("firmware"),
        QStringLiteral("Firmware revision to report, each number 0..255. Default 1.12."),
        QStringLiteral("MAJOR.MINOR"), QStringLiteral("1.12"));
    const QCommandLineOption linkOption(
        QStringLiteral("link"),
        QStringLiteral("Create a symbolic link <PATH> to the device (an old symbolic link there is "
                       "replaced) and remove it on exit."),
        QStringLiteral("PATH"));
    const QCommandLineOption livelyOption(
        QStringLiteral("lively"),
        QStringLiteral("Let busy inputs and SEND change every one to three seconds."));
    const QCommandLineOption verboseOption(
        QStringLiteral("verbose"),
        QStringLiteral("Log every frame both ways on stderr with a timestamp: header letters, "
                       "data bytes in hex."));
    parser.addOption(baudOption);
    parser.addOption(firmwareOption);
    parser.addOption(linkOption);
    parser.addOption(livelyOption);
    parser.addOption(verboseOption);
    parser.process(app);

    if (!parser.positionalArguments().isEmpty()) {
        fail(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().constFirst()));
        return 2;
    }

    VirtualSwitch::Options options;
    bool baudOk = false;
    options.baudRate = parser.value(baudOption).toInt(&baudOk);
    if (!baudOk || options.baudRate < 0) {
        fail(QStringLiteral("--baud wants a number of 0 or more, not \"%1\"").arg(parser.value(baudOption)));
        return 2;
    }
    if (!parseFirmware(parser.value(firmwareOption), options.firmwareMajor, options.firmwareMinor)) {
        fail(QStringLiteral("--firmware wants MAJOR.MINOR with each number 0..255, not \"%1\"")
                 .arg(parser.value(firmwareOption)));
        return 2;
    }
    options.lively = parser.isSet(livelyOption);
    options.verbose = parser.isSet(verboseOption);

    if (!installSignalHandlers()) {
        fail(QStringLiteral("cannot catch signals: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return 1;
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
        char drain[16];
        while (::read(signalPipe[0], drain, sizeof drain) > 0) {
        }
        QCoreApplication::quit();
    });

    VirtualSwitch device(options);
    if (!device.start()) {
        fail(QStringLiteral("cannot create the device: %1").arg(device.errorString()));
        return 1;
    }
    const QString devicePath = device.devicePath();

    const QString linkPath = parser.value(linkOption);
    if (!linkPath.isEmpty() && !createLink(linkPath, devicePath))
        return 1;

    std::printf("TQX-5R virtual switch on %s\n", qPrintable(devicePath));
    if (!linkPath.isEmpty())
        std::printf("Link: %s -> %s\n", qPrintable(linkPath), qPrintable(devicePath));
    std::fflush(stdout);

    const int result = app.exec();
    if (!linkPath.isEmpty())
        removeLink(linkPath, devicePath);
    return result;
}
