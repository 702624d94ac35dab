// Pictures of the Station menu's dialogs for the README, filled as an
// operator's would be: station_screenshots FOLDER. The broker's password
// comes from a private keyring when one can be started, as on a desktop.
#include "band/BandPlan.h"
#include "rig/HamlibModels.h"
#include "settings/BandFollowDialog.h"
#include "settings/BrokerDialog.h"
#include "settings/CaptionsDialog.h"
#include "support/PrivateKeyring.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFont>
#include <QLineEdit>
#include <QTest>
#include <QPixmap>

#include <cstdio>
#include <memory>

namespace {

bool save(QWidget &dialog, const QString &path)
{
    dialog.show();
    dialog.adjustSize();
    QApplication::processEvents();
    const bool saved = dialog.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
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
    if (app.arguments().size() != 2) {
        std::fprintf(stderr, "usage: station_screenshots FOLDER\n");
        return 2;
    }
    if (!keyring->start()) {
        std::fprintf(stderr, "no keyring (%s); the broker dialog shows the password kept for this run only\n",
                     qPrintable(keyring->errorString()));
        keyring.reset();
    }
    // The panel's own font, as the program sets it.
    QFont panelFont(QStringLiteral("Liberation Sans Narrow"), 8);
    panelFont.setStyleHint(QFont::SansSerif);
    QApplication::setFont(panelFont);
    const QDir folder(app.arguments().at(1));
    bool good = true;

    CaptionsFile::Captions captions{"Yagi", "Dipo", "Loop", "Vert", "", "", "Beve", "Dumy"};

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
    good &= save(bandFollow, folder.filePath("station-band-follow.png"));

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
    good &= save(brokerDialog, folder.filePath("station-broker.png"));

    CaptionsDialog captionsDialog;
    captionsDialog.setCaptions(captions);
    good &= save(captionsDialog, folder.filePath("station-captions.png"));
    return good ? 0 : 1;
}
