#include "reconnect/PortFinder.h"

#include <QtTest>

// Which port is the lost device, fed the system's port lists as plain data.
// A port is written "name serial vid:pid", "-" for a missing serial number or
// model; a port named with a path lives at that path.
namespace {

QList<SerialPortEntry> ports(const QStringList &texts)
{
    QList<SerialPortEntry> entries;
    for (const QString &text : texts) {
        const QStringList parts = text.split(' ') + QStringList{"-", "-"};
        SerialPortEntry port;
        port.name = parts.at(0);
        port.systemLocation = port.name.startsWith('/') ? port.name : "/dev/" + port.name;
        port.serialNumber = parts.at(1) == "-" ? QString() : parts.at(1);
        if (parts.at(2) != "-") {
            port.hasVendorId = port.hasProductId = true;
            port.vendorId = static_cast<quint16>(parts.at(2).section(':', 0, 0).toUInt(nullptr, 16));
            port.productId = static_cast<quint16>(parts.at(2).section(':', 1, 1).toUInt(nullptr, 16));
        }
        entries << port;
    }
    return entries;
}

} // namespace

class tst_PortFinder : public QObject
{
    Q_OBJECT

private slots:
    void choose_data()
    {
        QTest::addColumn<QString>("opened");       // asked for and opened under this name
        QTest::addColumn<QStringList>("atOpen");   // the system's list then
        QTest::addColumn<QString>("requested");    // the settings' port name at the try
        QTest::addColumn<QStringList>("now");      // the system's list at the try
        QTest::addColumn<bool>("requestedExists"); // the name exists in the file system
        QTest::addColumn<QString>("expected");

        const QStringList a1{"ttyUSB0 A1 0403:6001"};
        const QString byId = "/dev/serial/by-id/usb-A1";
        QTest::newRow("the same node back") << "ttyUSB0" << a1 << "ttyUSB0" << a1 << false << "ttyUSB0";
        QTest::newRow("same serial number, new name")
            << "ttyUSB0" << a1 << "ttyUSB0" << QStringList{"ttyUSB1 A1 0403:6001"} << false << "ttyUSB1";
        QTest::newRow("typed as a path, new name")
            << "/dev/ttyUSB0" << a1 << "/dev/ttyUSB0" << QStringList{"ttyUSB1 A1 0403:6001"} << false << "ttyUSB1";
        QTest::newRow("another adapter of the model is not taken")
            << "ttyUSB0" << a1 << "ttyUSB0" << QStringList{"ttyUSB1 B2 0403:6001"} << false << "";
        QTest::newRow("old name is another adapter; ours elsewhere")
            << "ttyUSB0" << a1 << "ttyUSB0" << QStringList{"ttyUSB0 B2 0403:6001", "ttyUSB1 A1 0403:6001"} << true
            << "ttyUSB1";
        QTest::newRow("two ports with its serial number: no guess")
            << "ttyUSB0" << a1 << "ttyUSB0" << QStringList{"ttyUSB1 A1 0403:6001", "ttyUSB2 A1 0403:6001"} << false
            << "";
        QTest::newRow("by-id link taken as it is")
            << byId << a1 << byId << QStringList{"ttyUSB3 A1 0403:6001"} << true << byId;
        QTest::newRow("no serial number, one of its kind, new name")
            << "ttyACM0" << QStringList{"ttyACM0 - 2341:0043", "ttyUSB0 A1 0403:6001"} << "ttyACM0"
            << QStringList{"ttyACM1 - 2341:0043", "ttyUSB0 A1 0403:6001"} << false << "ttyACM1";
        QTest::newRow("no serial number, two of its kind when opened")
            << "ttyACM0" << QStringList{"ttyACM0 - 2341:0043", "ttyACM1 - 2341:0043"} << "ttyACM0"
            << QStringList{"ttyACM2 - 2341:0043"} << false << "";
        // The old name proves nothing about an adapter without a serial
        // number: two of a model may come back in either order, and the
        // other one may be the radio's CAT port.
        const QStringList twoCh340{"ttyUSB0 - 1a86:7523", "ttyUSB1 - 1a86:7523"};
        QTest::newRow("no serial number, two of its kind back: old name not taken")
            << "ttyUSB0" << twoCh340 << "ttyUSB0" << twoCh340 << true << "";
        QTest::newRow("no serial number, a second one of its kind since: old name not taken")
            << "ttyUSB0" << QStringList{"ttyUSB0 - 1a86:7523"} << "ttyUSB0" << twoCh340 << true << "";
        QTest::newRow("no serial number, still the one of its kind: old name")
            << "ttyUSB0" << QStringList{"ttyUSB0 - 1a86:7523", "ttyUSB1 A1 0403:6001"} << "ttyUSB0"
            << QStringList{"ttyUSB1 A1 0403:6001", "ttyUSB0 - 1a86:7523"} << true << "ttyUSB0";
        QTest::newRow("its serial number on the old name and another port: no guess")
            << "ttyUSB0" << a1 << "ttyUSB0" << QStringList{"ttyUSB0 A1 0403:6001", "ttyUSB1 A1 0403:6001"} << true
            << "";
        // Clone adapters often share one serial number. One shared with
        // another port when the switch answered tells nothing: the port left
        // with it during an outage may be the radio's.
        const QStringList twoClones{"ttyUSB0 0001 10c4:ea60", "ttyUSB1 0001 10c4:ea60"};
        QTest::newRow("serial number shared when opened, the other one left: not taken")
            << "ttyUSB0" << twoClones << "ttyUSB0" << QStringList{"ttyUSB1 0001 10c4:ea60"} << false << "";
        QTest::newRow("serial number shared when opened, the other one now under the old name: not taken")
            << "ttyUSB0" << twoClones << "ttyUSB0" << QStringList{"ttyUSB0 0001 10c4:ea60"} << true << "";
        QTest::newRow("serial number shared when opened, with another model: the one of its kind, then and now")
            << "ttyUSB0" << QStringList{"ttyUSB0 0001 10c4:ea60", "ttyUSB1 0001 1a86:7523"} << "ttyUSB0"
            << QStringList{"ttyUSB2 0001 10c4:ea60"} << false << "ttyUSB2";
        QTest::newRow("its own serial number when opened, now also on another model: not taken")
            << "ttyUSB0" << a1 << "ttyUSB0" << QStringList{"ttyUSB0 A1 0403:6001", "ttyUSB1 A1 1a86:7523"} << true
            << "";
        QTest::newRow("nothing to tell it by: the old name as it is")
            << "ttyS0" << QStringList{"ttyS0"} << "ttyS0" << QStringList{"ttyS0", "ttyS1"} << true << "ttyS0";
        QTest::newRow("no serial number, old name is another model")
            << "ttyACM0" << QStringList{"ttyACM0 - 2341:0043"} << "ttyACM0" << QStringList{"ttyACM0 - 1a86:7523"}
            << true << "";
        QTest::newRow("settings changed: taken as typed")
            << "ttyUSB0" << a1 << "ttyUSB5" << QStringList{"ttyUSB5 C3 10c4:ea60", "ttyUSB1 A1 0403:6001"} << true
            << "ttyUSB5";
        QTest::newRow("settings changed to an absent port: old adapter not taken")
            << "ttyUSB0" << a1 << "ttyUSB5" << QStringList{"ttyUSB1 A1 0403:6001"} << false << "";
    }

    void choose()
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
};

QTEST_APPLESS_MAIN(tst_PortFinder)
#include "tst_portfinder.moc"
