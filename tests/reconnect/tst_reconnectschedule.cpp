#include "reconnect/PortFinder.h"
#include "reconnect/ReconnectSchedule.h"

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

// The back-off, driven by a written-out story of events on an injected
// clock: "L0>1000" means the device was lost at 0 ms and the next try is due
// at 1000 ms; T is a failed try, R a reconnect, X the operator taking over.
// "Oa1000" is port a opened by a try at 1000 ms, U the switch not answering
// on it; "-a5000" says port a may not be opened at 5000 ms, "+a5000" that it
// may.
class tst_ReconnectSchedule : public QObject
{
    Q_OBJECT

private slots:
    void story_data()
    {
        QTest::addColumn<QString>("events");
        QTest::newRow("first try after 1 s, backing off to every 5 s")
            << "L0>1000 T1000>3000 T3000>7000 T7000>12000 T12000>17000 T17000>22000";
        QTest::newRow("a late try counts from when it ran") << "L0>1000 T1800>3800 T9000>13000";
        QTest::newRow("a loss long after a reconnect starts over")
            << "L0>1000 T1000>3000 T3000>7000 R7000 L17000>18000";
        QTest::newRow("a flapping device is not hammered")
            << "L0>1000 R1000 L1200>3200 R3200 L3300>7300 R7300 L7400>12400 R12400 L12500>17500";
        QTest::newRow("the operator's connect forgets the back-off")
            << "L0>1000 R1000 L1200>3200 T3200>7200 X L7300>8300";

        // A port that opens but never answers: from the third silent open in
        // a row, once a minute, counted from its last open.
        QTest::newRow("a silent port three times in a row: once a minute")
            << "L0>1000 Oa1000 U T3000>5000 +a5000 Oa5000 U T7000>11000 +a11000 Oa11000 U T13000>18000 "
               "-a18000 +b18000 T18000>23000 T68000>71000 -a70999 +a71000 Oa71000 U T73000>78000 -a130999 +a131000";
        QTest::newRow("silent at start, then twice more")
            << "Oa0 U L2000>3000 Oa3000 U T5000>7000 Oa7000 U T9000>13000 -a13000 T13000>18000 T63000>67000 +a67000";
        QTest::newRow("failed opens between silent ones do not break the row")
            << "L0>1000 Oa1000 U T3000>5000 T5000>9000 Oa9000 U T11000>16000 Oa16000 U T18000>23000 -a75999 +a76000";
        QTest::newRow("another port between them starts the row over")
            << "L0>1000 Oa1000 U T3000>5000 Ob5000 U T7000>11000 Oa11000 U T13000>18000 Oa18000 U T20000>25000 +a25000";
        QTest::newRow("an answer ends the quiet")
            << "L0>1000 Oa1000 U T3000>5000 Oa5000 U T7000>11000 Oa11000 U T13000>18000 -a18000 Ob18000 R18100 +a18100 "
               "L30000>31000 Oa31000 U T33000>35000 +a35000";
        QTest::newRow("the operator's connect ends the quiet")
            << "L0>1000 Oa1000 U T3000>5000 Oa5000 U T7000>11000 Oa11000 U T13000>18000 X +a18000";
    }
    void story()
    {
        QFETCH(QString, events);
        ReconnectTiming timing;
        timing.settledMs = 10000;
        ReconnectSchedule schedule(timing);
        for (const QString &event : events.split(' ', Qt::SkipEmptyParts)) {
            const char kind = event.at(0).toLatin1();
            const bool namesPort = kind == 'O' || kind == '+' || kind == '-';
            const QString port = namesPort ? event.mid(1, 1) : QString();
            const QStringList parts = event.mid(namesPort ? 2 : 1).split('>');
            const qint64 at = parts.first().toLongLong();
            switch (kind) {
            case 'L': schedule.lost(at); break;
            case 'T': schedule.tried(at); break;
            case 'R': schedule.reconnected(at); break;
            case 'X': schedule.reset(); break;
            case 'O': schedule.opened(port, at); break;
            case 'U': schedule.unanswered(); break;
            case '+':
            case '-':
                QVERIFY2(schedule.mayOpen(port, at) == (kind == '+'), qPrintable(event));
                break;
            default: QFAIL(qPrintable(event));
            }
            if (parts.size() == 2)
                QVERIFY2(schedule.nextTryMs() == parts.at(1).toLongLong(),
                         qPrintable(QString("after %1: next try at %2").arg(event).arg(schedule.nextTryMs())));
        }
    }

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
        // Where a try does without the system's list, the choice is the same.
        if (!finder.needsPortList(requested, requestedExists))
            QCOMPARE(finder.choose(requested, {}, requestedExists), expected);
    }

    void portsListedOnlyWhenTheyCanTell_data()
    {
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QStringList>("atOpen");
        QTest::addColumn<QString>("requested");
        QTest::addColumn<bool>("requestedExists");
        QTest::addColumn<bool>("listed");

        const QStringList a1{"ttyUSB0 A1 0403:6001"};
        // A device known by its serial number is looked for under any name.
        QTest::newRow("known adapter gone") << "ttyUSB0" << a1 << "ttyUSB0" << false << true;
        QTest::newRow("known adapter, its path back") << "/dev/ttyUSB0" << a1 << "/dev/ttyUSB0" << true << true;
        // Names taken only as they are: a path either is there or is no port.
        QTest::newRow("by-id link gone") << "/dev/serial/by-id/usb-A1" << a1 << "/dev/serial/by-id/usb-A1" << false
                                         << false;
        QTest::newRow("by-id link back") << "/dev/serial/by-id/usb-A1" << a1 << "/dev/serial/by-id/usb-A1" << true
                                         << false;
        QTest::newRow("a link to a pseudo-terminal gone") << "/tmp/tqx5r-switch" << QStringList() << "/tmp/tqx5r-switch"
                                                          << false << false;
        QTest::newRow("nothing to tell it by, path gone") << "/dev/ttyS0" << QStringList{"ttyS0"} << "/dev/ttyS0" << false
                                                          << false;
        // A bare name (or COM3) is a port only if the list says so.
        QTest::newRow("bare name, nothing known") << "ttyS0" << QStringList() << "ttyS0" << false << true;
        QTest::newRow("settings changed to an absent path") << "ttyUSB0" << a1 << "/dev/ttyUSB5" << false << false;
    }
    void portsListedOnlyWhenTheyCanTell()
    {
        QFETCH(QString, opened);
        QFETCH(QStringList, atOpen);
        QFETCH(QString, requested);
        QFETCH(bool, requestedExists);
        QFETCH(bool, listed);
        const PortFinder finder = PortFinder::remember(opened, opened, ports(atOpen));
        QCOMPARE(finder.needsPortList(requested, requestedExists), listed);
    }
};

QTEST_APPLESS_MAIN(tst_ReconnectSchedule)
#include "tst_reconnectschedule.moc"
