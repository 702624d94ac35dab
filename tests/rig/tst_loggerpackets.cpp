#include "rig/AllowedSender.h"
#include "rig/LoggerListener.h"
#include "rig/LoggerPackets.h"

#include <QDataStream>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>


// Loggers' UDP packets turned into readings, and the listener that receives them.
namespace {

QByteArray radioInfo(const QString &fields)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<RadioInfo>\r\n"
                          "  <app>Logger</app>\r\n  <StationName>SHACK-PC</StationName>\r\n%1</RadioInfo>\r\n")
        .arg(fields)
        .toUtf8();
}

// The sample a contest logger sends for radio 1 on 14.2 MHz.
const QString sampleFields = QStringLiteral(
    "  <RadioNr>1</RadioNr>\r\n  <Freq>1420000</Freq>\r\n  <TXFreq>1420000</TXFreq>\r\n  <Mode>USB</Mode>\r\n"
    "  <Antenna>3</Antenna>\r\n  <Rotors></Rotors>\r\n  <FocusRadioNr>1</FocusRadioNr>\r\n"
    "  <ActiveRadioNr>1</ActiveRadioNr>\r\n  <IsTransmitting>False</IsTransmitting>\r\n");

QByteArray wsjtxStatus(quint32 type, quint64 dialHz, bool transmitting)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_4);
    out << LoggerPackets::wsjtxMagic << quint32(3) << type << QByteArray("WSJT-X") << dialHz << QByteArray("FT8")
        << QByteArray("DX0DX") << QByteArray("-12") << QByteArray("FT8") << true << transmitting << false
        << quint32(1500) << quint32(1200) << QByteArray("N0CALL") << QByteArray("JO01") << QByteArray("")
        << false << QByteArray() << false << quint8(0) << quint32(0) << quint32(15) << QByteArray("Default")
        << QByteArray("CQ N0CALL JO01");
    return bytes;
}

QString describe(const std::optional<RigReading> &reading)
{
    if (!reading)
        return QStringLiteral("ignored");
    return QStringLiteral("%1 %2%3")
        .arg(reading->source, reading->valid ? QString::number(reading->frequencyHz) : QStringLiteral("no frequency"),
             reading->transmitting ? QStringLiteral(" tx") : QString());
}

// A UDP port nobody listens on now.
quint16 freePort(QHostAddress::SpecialAddress address)
{
    QUdpSocket probe;
    return probe.bind(QHostAddress(address), 0) ? probe.localPort() : 0;
}

} // namespace

class tst_LoggerPackets : public QObject
{
    Q_OBJECT

private slots:
    void packets_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<int>("radio"); // the radio followed; 0 the logger's active one
        QTest::addColumn<QString>("reading");

        const QString radio1 = QStringLiteral("RadioInfo SHACK-PC 1 ");
        const QString transmitting = QString(sampleFields).replace("<IsTransmitting>False", "<IsTransmitting>True");
        QTest::newRow("logger sample") << radioInfo(sampleFields) << 0 << radio1 + "14200000";
        QTest::newRow("logger transmitting") << radioInfo(transmitting) << 0 << radio1 + "14200000 tx";
        QTest::newRow("transmitting written in lower case")
            << radioInfo(QString(sampleFields).replace("<IsTransmitting>False", "<IsTransmitting>true")) << 0
            << radio1 + "14200000 tx";
        // Only the active radio's frequency counts; any radio's transmitting holds.
        QTest::newRow("inactive radio") << radioInfo(QString(sampleFields).replace("<RadioNr>1", "<RadioNr>2")) << 0
                                        << "RadioInfo SHACK-PC 2 no frequency";
        QTest::newRow("inactive radio transmitting") << radioInfo(QString(transmitting).replace("<RadioNr>1", "<RadioNr>2"))
                                                     << 0 << "RadioInfo SHACK-PC 2 no frequency tx";
        QTest::newRow("TXFreq when Freq is missing")
            << radioInfo("<RadioNr>1</RadioNr><TXFreq>705000</TXFreq>") << 0 << radio1 + "7050000";
        QTest::newRow("unknown and nested fields")
            << radioInfo("<Extra><Deep>1</Deep></Extra><RadioNr>1</RadioNr><Freq>2807400</Freq><Odd/>") << 0
            << radio1 + "28074000";
        QTest::newRow("bad frequency, transmit state kept")
            << radioInfo("<RadioNr>1</RadioNr><Freq>nan</Freq><IsTransmitting>True</IsTransmitting>") << 0
            << radio1 + "no frequency tx";
        QTest::newRow("nothing useful") << radioInfo("<RadioNr>1</RadioNr><Freq>-5</Freq>") << 0 << "ignored";
        QTest::newRow("other logger packet")
            << QByteArray("<?xml version=\"1.0\"?><contactinfo><band>14</band></contactinfo>") << 0 << "ignored";

        QTest::newRow("WSJT-X status") << wsjtxStatus(LoggerPackets::wsjtxStatusType, 14074000, false) << 0
                                       << "WSJT-X WSJT-X 14074000";
        QTest::newRow("WSJT-X transmitting") << wsjtxStatus(LoggerPackets::wsjtxStatusType, 7074000, true) << 0
                                             << "WSJT-X WSJT-X 7074000 tx";
        QTest::newRow("WSJT-X absurd frequency") << wsjtxStatus(LoggerPackets::wsjtxStatusType, ~quint64(0), false)
                                                 << 0 << "WSJT-X WSJT-X no frequency";
        QTest::newRow("WSJT-X heartbeat") << wsjtxStatus(0, 14074000, false) << 0 << "ignored";
        QTest::newRow("text") << QByteArray("14200000") << 0 << "ignored";

        // A station with a switch per radio follows one radio of a two-radio
        // logger: its packets only, frequency and transmitting alike.
        const QString radio2 = QStringLiteral("<RadioNr>2</RadioNr><ActiveRadioNr>1</ActiveRadioNr><Freq>705000</Freq>");
        QTest::newRow("radio 2 followed, though not active")
            << radioInfo(radio2 + "<IsTransmitting>False</IsTransmitting>") << 2 << "RadioInfo SHACK-PC 2 7050000";
        QTest::newRow("radio 2 followed, transmitting")
            << radioInfo(radio2 + "<IsTransmitting>True</IsTransmitting>") << 2 << "RadioInfo SHACK-PC 2 7050000 tx";
        QTest::newRow("radio 2 followed, radio 1 active") << radioInfo(sampleFields) << 2 << "ignored";
        QTest::newRow("radio 2 followed, radio 1 transmitting") << radioInfo(transmitting) << 2 << "ignored";
        QTest::newRow("radio 2 followed, no radio number") << radioInfo("<Freq>705000</Freq>") << 2 << "ignored";
    }
    void packets()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(int, radio);
        QFETCH(QString, reading);
        const std::optional<RigReading> parsed = LoggerPackets::parse(datagram, radio);
        QCOMPARE(describe(parsed), reading);
        if (parsed)
            QCOMPARE(parsed->kind, RigReading::Kind::Logger);
    }

    void cutShortOrMangledNeverReads()
    {
        // Up to the transmit flag every field counts; a packet cut anywhere
        // before it is ignored.
        const QByteArray status = wsjtxStatus(LoggerPackets::wsjtxStatusType, 14074000, true);
        const int transmitFlagEnd = 4 * 3 + (4 + 6) + 8 + (4 + 3) + (4 + 5) + (4 + 3) + (4 + 3) + 2;
        for (int size = 0; size < transmitFlagEnd; ++size)
            QVERIFY2(!LoggerPackets::parse(status.left(size)), qPrintable(QString::number(size)));
        QVERIFY(LoggerPackets::parse(status.left(transmitFlagEnd)));

        const QByteArray xml = radioInfo(sampleFields);
        for (int size = 0; size < xml.size() - 2; ++size)
            QVERIFY2(!LoggerPackets::parse(xml.left(size)), qPrintable(QString::number(size)));

        // An id claiming 4 GB must end the read, not allocate it.
        QByteArray huge = status;
        huge.replace(12, 4, QByteArray("\xff\xff\xff\xfe", 4));
        QVERIFY(!LoggerPackets::parse(huge));
    }

    // A multicast group's port is shared, as multicast must be: another
    // program of the group already listening, and staying, gets every packet
    // too.
    void listenerSharesAGroupsPortAndReads()
    {
        const QString address = "239.255.0.1";
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
        const LoggerEndpoint endpoint{QHostAddress(address), other.localPort()};
        if (endpoint.isMulticast())
            QVERIFY(other.joinMulticastGroup(endpoint.address));
        LoggerListener listener;
        QVERIFY(listener.listen({endpoint}).isEmpty());

        QSignalSpy readings(&listener, &LoggerListener::reading);
        QUdpSocket logger;
        const QHostAddress to(endpoint.isMulticast() ? address : QStringLiteral("127.255.255.255"));
        QByteArray oversized = radioInfo(sampleFields);
        oversized.append(QByteArray(LoggerListener::maxDatagramBytes, ' '));
        for (const QByteArray &packet : {QByteArray("garbage"), oversized, radioInfo(sampleFields)})
            QCOMPARE(logger.writeDatagram(packet, to, endpoint.port), qint64(packet.size()));
        QTRY_COMPARE(readings.size(), 1);
        QCOMPARE(readings.at(0).at(0).value<RigReading>().frequencyHz, qint64(14200000));
        int atOther = 0;
        const auto allAtOther = [&] {
            for (; other.hasPendingDatagrams(); ++atOther)
                other.readDatagram(nullptr, 0);
            return atOther == 3;
        };
        QTRY_VERIFY(allAtOther());
    }

    // The panel's own ports on one number: named twice is one port; a group
    // on a port every interface has comes in on it; two unicast ports that
    // overlap clash, and that is said as such. A logger on this computer
    // sending to a group sends from its network address: allowing this
    // computer allows that too.
    void listenerSortsItsOwnPorts()
    {
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress(QHostAddress::LocalHost), 0));
        const quint16 port = probe.localPort();
        probe.close();
        const auto at = [port](const QString &address) {
            return *LoggerEndpoint::parse(address.isEmpty() ? QString::number(port) : address + ':' + QString::number(port));
        };
        {
            LoggerListener twice;
            QVERIFY(twice.listen({at(""), at("127.0.0.1")}).isEmpty());
        }
        {
            LoggerListener clash;
            const QStringList failures = clash.listen({at("0.0.0.0"), at("127.0.0.1")});
            QCOMPARE(failures.size(), 1);
            QVERIFY2(failures.first().contains("clashes with UDP 0.0.0.0"), qPrintable(failures.first()));
        }
        LoggerListener group;
        SenderFilter thisComputer;
        thisComputer.allow(*AllowedSender::parse("127.0.0.1"));
        group.setSenderFilter(thisComputer);
        QVERIFY(group.listen({at("0.0.0.0"), at("239.255.0.1")}).isEmpty());
        QSignalSpy readings(&group, &LoggerListener::reading);
        QSignalSpy refused(&group, &LoggerListener::senderRefused);
        QUdpSocket logger;
        QCOMPARE(logger.writeDatagram(radioInfo(sampleFields), QHostAddress("239.255.0.1"), port),
                 qint64(radioInfo(sampleFields).size()));
        QTRY_COMPARE(readings.size(), 1);
        QCOMPARE(refused.size(), 0);
    }

    // Any other port is the panel's alone: a program on it already is said,
    // and one that comes later (even on one address of it, with address
    // reuse) is refused, so it can never take the transmit reports.
    void listenerKeepsOtherPortsToItself_data()
    {
        QTest::addColumn<QString>("address");   // empty: this computer only
        QTest::newRow("this computer") << "";
        QTest::newRow("every interface") << "0.0.0.0";
    }
    void listenerKeepsOtherPortsToItself()
    {
        QFETCH(QString, address);
        const auto endpointOn = [&address](quint16 port) {
            return *LoggerEndpoint::parse(address.isEmpty() ? QString::number(port) : address + ':' + QString::number(port));
        };
        const QAbstractSocket::BindMode sharing = QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint;
        {
            QUdpSocket first;
            QVERIFY(first.bind(QHostAddress::LocalHost, 0, sharing));
            LoggerListener listener;
            const QStringList failures = listener.listen({endpointOn(first.localPort())});
            QCOMPARE(failures.size(), 1);
            QVERIFY2(failures.first().contains("another program"), qPrintable(failures.first()));
            QCOMPARE(listener.unbound(), QStringList{endpointOn(first.localPort()).toString()});
        }
        LoggerListener listener;
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress(QHostAddress::LocalHost), 0));
        const quint16 port = probe.localPort();
        probe.close();
        QVERIFY(listener.listen({endpointOn(port)}).isEmpty());
        QUdpSocket later;
        QVERIFY(!later.bind(QHostAddress::LocalHost, port, sharing));
        QVERIFY(!later.bind(QHostAddress::AnyIPv4, port, sharing));
    }

    // By default only this computer is heard; --logger-from narrows down
    // who may speak on a port open to the network.
    void listenerHearsOnlyWhomItMay_data()
    {
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<QString>("from");
        QTest::addColumn<bool>("fromThisComputer");
        QTest::addColumn<bool>("fromTheNetwork");
        QTest::newRow("port alone: this computer only") << "" << "" << true << false;
        QTest::newRow("every interface") << "0.0.0.0:" << "" << true << true;
        // Allowing this computer allows it by its network address too (what a
        // logger here sending to a multicast group sends from).
        QTest::newRow("every interface, this computer") << "0.0.0.0:" << "127.0.0.1" << true << true;
        QTest::newRow("every interface, one other sender") << "0.0.0.0:" << "192.0.2.7" << false << false;
        QTest::newRow("every interface, the network's subnet") << "0.0.0.0:" << "NET" << false << true;
    }
    void listenerHearsOnlyWhomItMay()
    {
        QFETCH(QString, endpoint);
        QFETCH(QString, from);
        QFETCH(bool, fromThisComputer);
        QFETCH(bool, fromTheNetwork);
        // This computer's own address on a network stands in for another host.
        QHostAddress network;
        for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
                network = address;
        }
        if (network.isNull())
            QSKIP("no network interface besides loopback");

        const quint16 port = freePort(QHostAddress::AnyIPv4);
        LoggerListener listener;
        if (!from.isEmpty()) {
            SenderFilter filter;
            filter.allow(*AllowedSender::parse(from == "NET" ? network.toString() : from));
            listener.setSenderFilter(filter);
        }
        QVERIFY(listener.listen({*LoggerEndpoint::parse(endpoint + QString::number(port))}).isEmpty());
        QSignalSpy readings(&listener, &LoggerListener::reading);

        const auto heard = [&](const QHostAddress &sender) {
            QUdpSocket logger;
            if (!logger.bind(sender, 0))
                return false;
            readings.clear();
            logger.writeDatagram(radioInfo(sampleFields), sender, port);
            // A packet that does arrive is read within a few event loop turns.
            QTest::qWait(200);
            return readings.size() == 1;
        };
        QCOMPARE(heard(QHostAddress(QHostAddress::LocalHost)), fromThisComputer);
        QCOMPARE(heard(network), fromTheNetwork);
    }

    // A packet sent to 127.0.0.1 reaches one program only: a port of this
    // computer alone is never shared, and a clash is said at start.
    void portOfThisComputerIsNotShared()
    {
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
        LoggerListener listener;
        const QStringList failures = listener.listen({LoggerEndpoint{QHostAddress(), other.localPort()}});
        QCOMPARE(failures.size(), 1);
        QVERIFY2(failures.first().contains("another program"), qPrintable(failures.first()));
    }

    // WSJT-X sends a Decode message for every station it hears, dozens at the
    // end of a busy period, to the same port as its Status: a burst larger
    // than one read batch must not leave the port deaf to what comes next.
    void listenerKeepsHearingAfterABurst_data()
    {
        QTest::addColumn<int>("burst");
        QTest::newRow("one batch") << LoggerListener::datagramsPerTurn;
        QTest::newRow("one more than a batch") << LoggerListener::datagramsPerTurn + 1;
        QTest::newRow("fifty decodes") << 50;
    }
    void listenerKeepsHearingAfterABurst()
    {
        QFETCH(int, burst);
        const quint16 port = freePort(QHostAddress::LocalHost);
        LoggerListener listener;
        QVERIFY(listener.listen({LoggerEndpoint{QHostAddress(), port}}).isEmpty());
        QSignalSpy readings(&listener, &LoggerListener::reading);
        QUdpSocket logger;
        for (int i = 0; i < burst; ++i)
            logger.writeDatagram(wsjtxStatus(2, 14074000, false), QHostAddress::LocalHost, port);
        QTest::qWait(300);
        QTRY_VERIFY(!listener.hasUnread());

        QCOMPARE(logger.writeDatagram(radioInfo(sampleFields), QHostAddress::LocalHost, port),
                 qint64(radioInfo(sampleFields).size()));
        QTRY_COMPARE(readings.size(), 1);
        QVERIFY(!listener.hasUnread());
    }

    // "ADDR[/BITS]": which texts name a sender or a network, and who is in it.
    void allowedSender_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed");  // empty: refused
        QTest::addColumn<QString>("inside");
        QTest::addColumn<QString>("outside");

        QTest::newRow("one address") << "192.168.1.20" << "192.168.1.20" << "192.168.1.20" << "192.168.1.21";
        QTest::newRow("network, host bits cleared") << " 192.168.1.77/24 " << "192.168.1.0/24" << "192.168.1.200"
                                                    << "192.168.2.1";
        QTest::newRow("every IPv4 sender") << "0.0.0.0/0" << "0.0.0.0/0" << "8.8.8.8" << "::1";
        QTest::newRow("IPv4 as seen by an IPv6 socket") << "10.0.0.0/8" << "10.0.0.0/8" << "::ffff:10.1.2.3"
                                                        << "::ffff:11.1.2.3";
        QTest::newRow("IPv6 address") << "::1" << "::1" << "::1" << "::2";
        QTest::newRow("IPv6 network") << "fd00::/8" << "fd00::/8" << "fd12:3456::1" << "fe80::1";
        QTest::newRow("all 32 bits") << "10.1.2.3/32" << "10.1.2.3" << "10.1.2.3" << "10.1.2.4";
        QTest::newRow("prefix too long") << "10.0.0.0/33" << "" << "" << "";
        QTest::newRow("IPv6 prefix too long") << "fd00::/129" << "" << "" << "";
        QTest::newRow("netmask") << "10.0.0.0/255.0.0.0" << "" << "" << "";
        QTest::newRow("signed prefix") << "10.0.0.0/+8" << "" << "" << "";
        QTest::newRow("empty prefix") << "10.0.0.0/" << "" << "" << "";
        QTest::newRow("shortened address") << "10.1" << "" << "" << "";
        QTest::newRow("a number") << "167772161" << "" << "" << "";
        QTest::newRow("host name") << "logger.lan" << "" << "" << "";
        QTest::newRow("empty") << "" << "" << "" << "";
    }
    void allowedSender()
    {
        QFETCH(QString, text);
        QFETCH(QString, parsed);
        QFETCH(QString, inside);
        QFETCH(QString, outside);
        const std::optional<AllowedSender> sender = AllowedSender::parse(text);
        QCOMPARE(sender ? sender->toString() : QString(), parsed);
        if (!sender)
            return;
        QVERIFY(sender->matches(QHostAddress(inside)));
        QVERIFY(!sender->matches(QHostAddress(outside)));
        QVERIFY(AllowedSender::parse(sender->toString()) == sender);
    }
};

QTEST_GUILESS_MAIN(tst_LoggerPackets)
#include "tst_loggerpackets.moc"
