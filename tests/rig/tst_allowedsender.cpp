#include "rig/AllowedSender.h"

#include <QtTest>

// "ADDR[/BITS]": which texts name a sender or a network, and who is in it.
class tst_AllowedSender : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
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
    void parse()
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

QTEST_GUILESS_MAIN(tst_AllowedSender)
#include "tst_allowedsender.moc"
