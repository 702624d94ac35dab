#include "link/FrameReceiver.h"
#include "link/Protocol.h"
#include "link/ThreadLeitura.h"
#include "panel/MainWindow.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QtTest>

// The pacing thread and the receive step, without a serial device.
class tst_PollThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stopReturnsWithinAboutACycle();
    void receiverHandsEveryFrameOverInOrder();
    void receiverReadsABoundedAmountPerStep();
};

void tst_PollThread::initTestCase()
{
    MainWindow::registerMetaType();
}

void tst_PollThread::stopReturnsWithinAboutACycle()
{
    MainWindow window;
    ThreadLeitura thread(&window);
    QTest::qWait(100);
    QElapsedTimer clock;
    clock.start();
    thread.stop();
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(thread.isFinished());
}

void tst_PollThread::receiverHandsEveryFrameOverInOrder()
{
    const QByteArray first("IGT\x01\x00\xfe\x02\x05\x00\x03\x04;", 12);
    const QByteArray firmware("IGW\x02\x07;");
    QByteArray stream = QByteArray("noise") + first.left(5);
    QBuffer line(&stream);
    QVERIFY(line.open(QIODevice::ReadOnly));

    FrameReceiver receiver;
    QList<QByteArray> handed;
    auto dispatch = [&handed] {
        handed << QByteArray(reinterpret_cast<const char *>(rxBuffer), rxCount);
    };
    receiver.receive(&line, dispatch);
    QVERIFY(handed.isEmpty());

    // The rest of the frame arrives with another one behind it.
    line.close();
    stream = first.mid(5) + firmware;
    QVERIFY(line.open(QIODevice::ReadOnly));
    receiver.receive(&line, dispatch);
    QCOMPARE(handed, (QList<QByteArray>{first, firmware}));
    QCOMPARE(receiver.framesDispatched(), qint64(2));

    // A closed device is not read.
    line.close();
    receiver.receive(&line, dispatch);
    QCOMPARE(handed.size(), 2);
}

void tst_PollThread::receiverReadsABoundedAmountPerStep()
{
    QByteArray flood(3 * FrameReceiver::maxBytesPerStep, 'x');
    QBuffer line(&flood);
    QVERIFY(line.open(QIODevice::ReadOnly));
    FrameReceiver receiver;
    receiver.receive(&line, [] {});
    QCOMPARE(line.pos(), qint64(FrameReceiver::maxBytesPerStep));
    receiver.receive(&line, [] {});
    receiver.receive(&line, [] {});
    QVERIFY(line.atEnd());
}

QTEST_MAIN(tst_PollThread)
#include "tst_pollthread.moc"
