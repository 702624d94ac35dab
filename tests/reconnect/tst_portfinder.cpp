#include "reconnect/PortFinder.h"

#include <QtTest>

// Which port is the lost device, fed the system's port lists as plain data.
// A port is written "name serial vid:pid"; "-" for a missing serial number or
// model, and a port named with a path lives at that path.
namespace {

SerialPortEntry port(const QString &text)
{
    const QStringList parts = text.split(' ');
    SerialPortEntry entry;
    entry.name = parts.at(0);
    entry.systemLocation = entry.name.startsWith('/') ? entry.name : "/dev/" + entry.name;
    if (parts.value(1, "-") != "-")
        entry.serialNumber = parts.at(1);
    if (parts.value(2, "-") != "-") {
        const QStringList ids = parts.at(2).split(':');
        entry.hasVendorId = entry.hasProductId = true;
        entry.vendorId = static_cast<quint16>(ids.at(0).toUInt(nullptr, 16));
        entry.productId = static_cast<quint16>(ids.at(1).toUInt(nullptr, 16));
        entry.description = "USB Serial";
    }
    return entry;
}

QList<SerialPortEntry> ports(const QStringList &texts)
{
    QList<SerialPortEntry> entries;
    for (const QString &text : texts)
        entries << port(text);
    return entries;
}

} // namespace

class tst_PortFinder : public QObject
{
    Q_OBJECT

private slots:
    void choose_data();
    void choose();
};

void tst_PortFinder::choose_data()
{
    QTest::addColumn<QString>("opened");       // asked for and opened under this name
    QTest::addColumn<QStringList>("atOpen");   // the system's list then
    QTest::addColumn<QString>("requested");    // the settings' port name at the try
    QTest::addColumn<QStringList>("now");      // the system's list at the try
    QTest::addColumn<bool>("requestedExists"); // the name exists in the file system
    QTest::addColumn<QString>("expected");

    const QStringList ftdiA{"ttyUSB0 A1 0403:6001"};
    QTest::newRow("the same node back") << "ttyUSB0" << ftdiA << "ttyUSB0" << ftdiA << false << "ttyUSB0";
    QTest::newRow("same serial number under a new name")
        << "ttyUSB0" << ftdiA << "ttyUSB0" << QStringList{"ttyUSB1 A1 0403:6001"} << false << "ttyUSB1";
    QTest::newRow("typed as a path, back under a new name")
        << "/dev/ttyUSB0" << ftdiA << "/dev/ttyUSB0" << QStringList{"ttyUSB1 A1 0403:6001"} << false << "ttyUSB1";
    QTest::newRow("another adapter of the same model is not taken")
        << "ttyUSB0" << ftdiA << "ttyUSB0" << QStringList{"ttyUSB1 B2 0403:6001"} << false << "";
    QTest::newRow("the old name is another adapter now; ours is elsewhere")
        << "ttyUSB0" << ftdiA << "ttyUSB0" << QStringList{"ttyUSB0 B2 0403:6001", "ttyUSB1 A1 0403:6001"} << true
        << "ttyUSB1";
    QTest::newRow("the old name is another adapter now; ours is gone")
        << "ttyUSB0" << ftdiA << "ttyUSB0" << QStringList{"ttyUSB0 B2 0403:6001"} << true << "";
    QTest::newRow("two ports with its serial number: no guess")
        << "ttyUSB0" << ftdiA << "ttyUSB0" << QStringList{"ttyUSB1 A1 0403:6001", "ttyUSB2 A1 0403:6001"} << false
        << "";
    QTest::newRow("a by-id link is taken as it is")
        << "/dev/serial/by-id/usb-A1" << ftdiA << "/dev/serial/by-id/usb-A1" << QStringList{"ttyUSB3 A1 0403:6001"}
        << true << "/dev/serial/by-id/usb-A1";
    QTest::newRow("a by-id link that is gone")
        << "/dev/serial/by-id/usb-A1" << ftdiA << "/dev/serial/by-id/usb-A1" << QStringList{"ttyUSB3 A1 0403:6001"}
        << false << "";
    QTest::newRow("a pseudo-terminal back at its path") << "/dev/pts/4" << QStringList{} << "/dev/pts/4"
                                                        << QStringList{} << true << "/dev/pts/4";
    QTest::newRow("no serial number, the one adapter of its kind, under a new name")
        << "ttyACM0" << QStringList{"ttyACM0 - 2341:0043", "ttyUSB0 A1 0403:6001"} << "ttyACM0"
        << QStringList{"ttyACM1 - 2341:0043", "ttyUSB0 A1 0403:6001"} << false << "ttyACM1";
    QTest::newRow("no serial number, two of its kind when opened: no guess")
        << "ttyACM0" << QStringList{"ttyACM0 - 2341:0043", "ttyACM1 - 2341:0043"} << "ttyACM0"
        << QStringList{"ttyACM2 - 2341:0043"} << false << "";
    QTest::newRow("no serial number, two of its kind now: no guess")
        << "ttyACM0" << QStringList{"ttyACM0 - 2341:0043"} << "ttyACM0"
        << QStringList{"ttyACM1 - 2341:0043", "ttyACM2 - 2341:0043"} << false << "";
    QTest::newRow("no serial number, the old name is another model now")
        << "ttyACM0" << QStringList{"ttyACM0 - 2341:0043"} << "ttyACM0" << QStringList{"ttyACM0 - 1a86:7523"}
        << true << "";
    QTest::newRow("nothing identifies it: taken by name only")
        << "ttyS0" << QStringList{"ttyS0"} << "ttyS0" << QStringList{"ttyS1", "ttyS0"} << true << "ttyS0";
    QTest::newRow("settings changed to another port: taken as typed")
        << "ttyUSB0" << ftdiA << "ttyUSB5" << QStringList{"ttyUSB5 C3 10c4:ea60", "ttyUSB1 A1 0403:6001"} << true
        << "ttyUSB5";
    QTest::newRow("settings changed to a port that is not there: the old adapter is not taken")
        << "ttyUSB0" << ftdiA << "ttyUSB5" << QStringList{"ttyUSB1 A1 0403:6001"} << false << "";
}

void tst_PortFinder::choose()
{
    QFETCH(QString, opened);
    QFETCH(QStringList, atOpen);
    QFETCH(QString, requested);
    QFETCH(QStringList, now);
    QFETCH(bool, requestedExists);
    QFETCH(QString, expected);

    const PortFinder finder = PortFinder::remember(opened, opened, ports(atOpen));
    QCOMPARE(finder.choose(requested, ports(now), requestedExists), expected);
}

QTEST_APPLESS_MAIN(tst_PortFinder)
#include "tst_portfinder.moc"
