// The README's pictures of the desktop, made as the tests run:
//   readme_pictures FOLDER [--compare DOCS]
// writes the panel connected to a virtual switch (as a first start shows it,
// and with antenna rules on a band) and the Station menu's dialogs, filled
// as an operator's would be, into FOLDER; with --compare,
// each must also still look as the one in DOCS does (the README's), so a
// change to the window or a dialog cannot leave its picture behind. The
// broker's password comes from a private keyring when one can be started,
// as on a desktop. To renew the pictures: readme_pictures docs.
#include "band/BandPlan.h"
#include "rig/HamlibModels.h"
#include "settings/AntennaBandsDialog.h"
#include "settings/BandFollowDialog.h"
#include "settings/StationProfile.h"
#include "support/Files.h"
#include "settings/BrokerDialog.h"
#include "settings/CaptionsDialog.h"
#include "support/PrivateKeyring.h"
#include "support/StationRun.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QImage>
#include <QPixmap>

#include <cstdio>
#include <memory>

namespace {

// Pictures that differ in fewer pixels than this are the same picture (a
// glyph hinted a little differently elsewhere); a word more in a menu is
// some hundreds.
constexpr double samePictureShare = 0.0002;

QString compareWith;   // the README's folder, when asked to compare

bool sameAs(const QImage &made, const QString &path)
{
    const QImage kept(path);
    if (kept.isNull() || kept.size() != made.size()) {
        std::fprintf(stderr, "%s: %s; renew it with readme_pictures docs\n", qPrintable(path),
                     kept.isNull() ? "missing" : "another size than the window or dialog has now");
        return false;
    }
    const QImage a = made.convertToFormat(QImage::Format_RGB32);
    const QImage b = kept.convertToFormat(QImage::Format_RGB32);
    qint64 differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            differing += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
    }
    const double share = double(differing) / (double(a.width()) * a.height());
    if (share >= samePictureShare) {
        std::fprintf(stderr, "%s: %.1f %% of its pixels differ from the window or dialog now; renew it with "
                             "readme_pictures docs\n", qPrintable(path), share * 100);
        return false;
    }
    return true;
}

bool saveImage(const QImage &image, const QString &folder, const QString &name)
{
    const QString path = QDir(folder).filePath(name);
    const bool saved = image.save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    if (saved && !compareWith.isEmpty())
        return sameAs(image, QDir(compareWith).filePath(name));
    return saved;
}

bool save(QWidget &dialog, const QString &folder, const QString &name)
{
    dialog.show();
    dialog.adjustSize();
    QApplication::processEvents();
    return saveImage(dialog.grab().toImage(), folder, name);
}

// Lets the dialog hear back from the secret store.
void settle(const std::function<bool()> &done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

} // namespace

int main(int argc, char *argv[])
{
    qunsetenv("DISPLAY");
    // Before the application: the process's D-Bus connections use the
    // private bus from the start.
    auto keyring = std::make_unique<PrivateKeyring>();
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 4 && arguments.at(2) == QLatin1String("--compare")) {
        compareWith = arguments.at(3);
    } else if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: readme_pictures FOLDER [--compare DOCS]\n");
        return 2;
    }
    QDir().mkpath(arguments.at(1));
    if (!keyring->start()) {
        std::fprintf(stderr, "no keyring (%s); the broker dialog shows the password kept for this run only\n",
                     qPrintable(keyring->errorString()));
        keyring.reset();
    }
    // The panel's own font, as the program sets it.
    QFont panelFont(QStringLiteral("Liberation Sans Narrow"), 8);
    panelFont.setStyleHint(QFont::SansSerif);
    QApplication::setFont(panelFont);
    const QString folder = arguments.at(1);
    bool good = true;

    {
        // The panel connected to a virtual switch, as a first start shows it
        // once it has connected: with the Station menu, without labels.
        StationRun run;
        run.start({"--port", "DEVICE"});
        QElapsedTimer clock;
        clock.start();
        while (!run.snapshot().firmwareKnown && clock.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        QTest::qWait(300);
        good &= saveImage(run.linked->window->grab().toImage(), folder, "screenshot.png");
    }

    CaptionsFile::Captions captions{"Yagi", "Dipo", "Loop", "Vert", "", "", "Beve", "Dumy"};
    AntennaRules rules;
    const auto bandsOf = [](const QStringList &keys) {
        AntennaRules::Bands bands = 0;
        for (const QString &key : keys)
            bands |= AntennaRules::Bands(1) << BandPlan::bandForKey(key);
        return bands;
    };
    rules.bands[0] = bandsOf({"20m", "15m", "10m"});
    rules.bands[1] = bandsOf({"80m", "40m", "20m", "15m", "10m"});
    rules.bands[5] = bandsOf({"6m"});
    rules.receiveOnlyMask = 1u << 6;
    CaptionsFile::Captions withSixMetres = captions;
    withSixMetres[5] = "6m Y";

    {
        // The keys with antenna rules, the radio on 160 m: the antennas not
        // for it have their captions dimmed.
        StationRun run;
        writeFile(StationProfile::paths().captionsFile, "#K1 Yagi\n#K2 Dipo\n#K3 Loop\n#K4 Vert\n#K6 6m Y\n#K7 Beve\n#K8 Dumy\n");
        writeFile(StationProfile::paths().antennasFile,
                  "[Bands]\n1=20m 15m 10m\n2=80m 40m 20m 15m 10m\n6=6m\n[ReceiveOnly]\n7=true\n");
        const quint16 port = StationRun::freeUdpPort();
        run.start({"--port", "DEVICE", "--logger-udp", QString::number(port)});
        QElapsedTimer clock;
        clock.start();
        while (!run.snapshot().firmwareKnown && clock.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        StationRun::sendFrom("127.0.0.1", port, StationRun::radioInfo(1830000, false));
        // The antenna in use is not for the band either: the panel says so.
        const QString said = QStringLiteral("Antenna 1 (Yagi) in use is not for 160 m");
        while (!run.told.contains(said) && clock.elapsed() < 15000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        QTest::qWait(300);
        good &= saveImage(run.linked->window->grab().toImage(), folder, "keys-antenna-rules.png");
    }

    AntennaBandsDialog antennaBands;
    antennaBands.setCaptions(withSixMetres);
    antennaBands.setRules(rules);
    good &= save(antennaBands, folder, "station-antenna-bands.png");

    BandFollowDialog bandFollow;
    BandFollowSettings follow;
    follow.rig.kind = RigSourceSettings::Kind::SerialRadio;
    for (const HamlibModel &model : HamlibModels::all()) {
        if (model.name == QLatin1String("FT-991"))
            follow.rig.model = model.number;
    }
    follow.rig.device = "/dev/ttyUSB1";
    follow.rig.speed = 38400;
    follow.loggerPorts = QStringList{"12060", "2237"};
    bandFollow.setSettings(follow);
    QTest::keyClicks(bandFollow.findChild<QLineEdit *>("filterEdit"), "yaesu ft-9");
    bandFollow.setCaptions(captions);
    BandAntennas antennas = BandMemory::empty();
    for (const auto &[band, position] : {std::pair{"80m", 3}, {"40m", 3}, {"20m", 0}, {"15m", 0}, {"10m", 0}, {"2m", 2}})
        antennas[static_cast<size_t>(BandPlan::bandForKey(band))] = position;
    bandFollow.setBandAntennas(antennas);
    bandFollow.setLiveStatus(QStringLiteral("20 m · rig answering · logger: last packet 3 s ago"));
    good &= save(bandFollow, folder, "station-band-follow.png");

    SecretStore store;
    BrokerSettings broker;
    broker.mode = BrokerSettings::Mode::Publish;
    broker.host = "broker.lan";
    broker.user = "shack";
    broker.discovery = true;
    BrokerDialog brokerDialog(&store);
    store.write(brokerDialog.secretKey(broker), QStringLiteral("example password"));
    brokerDialog.setSettings(broker);
    settle([&] { return !keyring || !brokerDialog.password().isEmpty(); });
    good &= save(brokerDialog, folder, "station-broker.png");

    CaptionsDialog captionsDialog;
    captionsDialog.setCaptions(captions);
    good &= save(captionsDialog, folder, "station-captions.png");
    return good ? 0 : 1;
}
