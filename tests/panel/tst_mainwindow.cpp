#include "link/Protocol.h"
#include "panel/MainWindow.h"
#include "panel/SwitchSeam.h"
#include "panel/PanelState.h"
#include "settings/SettingsDialog.h"
#include "support/ModalDismisser.h"
#include "support/PanelDriver.h"

#include <QAccessible>
#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QtTest>

#include <memory>

// The main window as the operator meets it: what it paints from frames and
// what its keys, buttons and menus do. Not connected: words are queued only.
namespace {
const QColor yellow(254, 237, 137);
const QColor teal(2, 115, 112);
} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        MainWindow::registerMetaType();
    }

    void init()
    {
        panelState = PanelState();
        window = std::make_unique<MainWindow>();
        panel = std::make_unique<PanelDriver>(window.get());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
    }

    void cleanup()
    {
        panel.reset();
        window.reset();
    }

    void eachKeyAndIndicatorIsWiredToItsPosition_data()
    {
        QTest::addColumn<int>("n");
        for (int n = 1; n <= 8; ++n)
            QTest::newRow(qPrintable(QString("position %1").arg(n))) << n;
    }
    void eachKeyAndIndicatorIsWiredToItsPosition()
    {
        QFETCH(int, n);
        const quint8 position = quint8(n - 1);
        const int rotor = n <= 4 ? n : 0;

        // Busy inputs are active low; the rotor byte lights its own selector.
        receiveStatus(position, 0, quint8(~(1u << position)), quint8(rotor));
        for (int i = 1; i <= 8; ++i) {
            QCOMPARE(child<QRadioButton>(QString("busy%1").arg(i))->isChecked(), i == n);
            QCOMPARE(keyCentre(i) == yellow, i == n);
        }
        for (int r = 1; r <= 4; ++r)
            QCOMPARE(child<QRadioButton>(QString("rotor%1").arg(r))->isChecked(), r == rotor);

        // The key and its F-key select the same position; a rotor selector asks
        // for its rotor, or for none when it is the one selected.
        receiveStatus(7, 0, 0xFF, 0);
        QTest::mouseClick(child<QPushButton>(QString("botaoTecla%1").arg(n)), Qt::LeftButton);
        QTest::keyClick(window.get(), Qt::Key(Qt::Key_F1 + n - 1));
        QList<int> expected{int(Protocol::selectWord(position)), int(Protocol::selectWord(position))};
        if (rotor != 0) {
            panelState.currentRotor = quint8(rotor == 1 ? 2 : rotor);
            QTest::mouseClick(child<QRadioButton>(QString("rotor%1").arg(rotor)), Qt::LeftButton);
            expected << int(Protocol::rotorWord(position, rotor == 1 ? 1 : 0));
        }
        QCOMPARE(queued(), expected);
    }

    void keysPaintTheSwitchInItsColours()
    {
        // Positions 0 and 2 in the super split group, partner 6: teal, yellow,
        // an orange border and grey keys.
        receiveStatus(2, 0, 0xFF, 1, 0x05, 0, 0, 6);
        QCOMPARE(keyCentre(1), teal);
        QCOMPARE(keyCentre(3), yellow);
        const QImage edge = child<QPushButton>("botaoTecla7")->grab().toImage();
        const QColor border = edge.pixelColor(edge.width() / 2, 1);
        QVERIFY2(border.red() > 0xc0 && border.green() > 0x60 && border.green() < 0xb0 && border.blue() < 0x40,
                 qPrintable(border.name()));
        const QColor grey = keyCentre(2);
        QVERIFY2(grey.red() == grey.green() && grey.green() == grey.blue() && grey.red() < 0x60, qPrintable(grey.name()));
        QVERIFY(child<QRadioButton>("superSplit")->isChecked());

        // Bytes that name no key light none, and nothing breaks.
        receiveStatus(200, 1, 0xFF, 9, 0xFF, 1, 99, 250);
        for (int key = 1; key <= 8; ++key)
            QVERIFY(keyCentre(key) != yellow);
    }

    void mouseClicksLeaveNoTraceOfKeyboardFocus()
    {
        // No screen reader is listening here, as on most desktops.
        QVERIFY(!QAccessible::isActive());
        receiveStatus(2, 0, 0xFF, 2);
        const QImage before = window->grab().toImage();

        // Clicked controls take no focus and draw no frame, and a clicked
        // indicator is put back by the switch's next answer: once it has
        // answered, the window is the same to the pixel.
        for (const char *name : {"botaoTecla6", "botaoTecla3", "rotor2", "power", "send", "busy4"})
            QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), window.get());
        // The keys and the rotor ask; the other indicators only show.
        QCOMPARE(queued().size(), 3);
        receiveStatus(2, 0, 0xFF, 2);
        receiveStatus(2, 0, 0xFF, 2);
        QCOMPARE(window->grab().toImage(), before);
    }

    void firmwareRevisionBytesAreUnsigned()
    {
        QCOMPARE(child<QLabel>("labelFWVersion")->text(), QString());
        panel->receive(QByteArray("IGW\xff\x07;"));
        QCOMPARE(statusText(), QString("Connected! Firmware Revision: 255 . 7"));
        QCOMPARE(child<QLabel>("labelFWVersion")->text(), QString("FW Revision: 255.7"));
    }

    void pressedKeyIsShownAndTheNextAnswerSkipped()
    {
        receiveStatus(2);
        QTest::keyClick(window.get(), Qt::Key_F5);
        QCOMPARE(panelState.previousPosition, quint8(2));
        QCOMPARE(keyCentre(5), yellow);

        // The switch's next answer still shows the old selection and is skipped.
        receiveStatus(2);
        QCOMPARE(keyCentre(5), yellow);
        QCOMPARE(keyCentre(3) == yellow, false);
        receiveStatus(4);
        QCOMPARE(keyCentre(5), yellow);
    }

    void heldFunctionKeyActsOnceAndOtherKeysNever()
    {
        QTest::sendKeyEvent(QTest::Press, window.get(), Qt::Key_F3, QString(), Qt::NoModifier);
        for (int i = 0; i < 30; ++i) {
            QKeyEvent repeat(QEvent::KeyPress, Qt::Key_F3, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(window.get(), &repeat);
        }
        QTest::sendKeyEvent(QTest::Release, window.get(), Qt::Key_F3, QString(), Qt::NoModifier);
        for (Qt::Key key : {Qt::Key_F9, Qt::Key_F12, Qt::Key_1, Qt::Key_5, Qt::Key_A, Qt::Key_Escape})
            QTest::keyClick(window.get(), key);
        QCOMPARE(queued(), QList<int>{0x0253});
        QVERIFY(window->isVisible());
    }

    void splitAndSuperSplitWhileDisconnected()
    {
        receiveStatus(4, 0, 0xFF, 1, 0x05);
        QTest::mouseClick(child<QRadioButton>("split"), Qt::LeftButton);
        QCOMPARE(statusText(), QString("Choose the TX position:"));
        QTest::mouseClick(child<QPushButton>("botaoTecla3"), Qt::LeftButton);
        // The word will be dropped unsent, so no success is claimed.
        QCOMPARE(statusText(), QString("Not connected to TQX-5R"));
        QTest::keyClick(window.get(), Qt::Key_F5);
        QCOMPARE(statusText(), QString("Split disabled"));
        QCOMPARE(queued(), (QList<int>{0x5350, 0x0050}));

        // Super split starts from the switch's group: keys 1 and 3 teal.
        auto *superSplit = child<QRadioButton>("superSplit");
        QTest::mouseClick(superSplit, Qt::LeftButton);
        QCOMPARE(statusText(), QString("Choose antennas for Super Split:"));
        QVERIFY(superSplit->isChecked());
        QCOMPARE(keyCentre(1), teal);
        QCOMPARE(keyCentre(3), teal);
        QTest::mouseClick(child<QPushButton>("botaoTecla2"), Qt::LeftButton);
        QTest::mouseClick(superSplit, Qt::LeftButton);
        QVERIFY(!superSplit->isChecked());
        QCOMPARE(statusText(), QString("Not connected to TQX-5R"));
        QCOMPARE(queued().last(), 0x0751);
    }

    // Nothing drains the queue here: past its bound a word is refused and
    // said, whoever queues it, and what waits is kept.
    void fullQueueRefusesMore()
    {
        for (int i = 0; i < MainWindow::maxQueuedWords - 1; ++i)
            QVERIFY(window->seam()->queueWord(Protocol::selectWord(i % 8)));
        QTest::keyClick(window.get(), Qt::Key_F2);
        QCOMPARE(queued().size(), MainWindow::maxQueuedWords);
        QVERIFY(!window->seam()->queueWord(Protocol::selectWord(5)));
        QCOMPARE(statusText(), QString("Too many commands waiting for the TQX-5R; a command was dropped"));
        QTest::keyClick(window.get(), Qt::Key_F3);
        QCOMPARE(queued().size(), MainWindow::maxQueuedWords);
        QCOMPARE(queued().last(), int(Protocol::selectWord(1)));
    }

    void dialogsShowTheThemeAndLeaveTheWindowUsable()
    {
        ModalDismisser dismisser;
        child<QAction>("actionAbout")->trigger();
        QCOMPARE(dismisser.titles(), QStringList{"About Qt"});

        auto *action = child<QAction>("actionAbout_Veltrix");
        action->trigger();
        action->trigger();
        QList<QDialog *> dialogs;
        for (QDialog *dialog : window->findChildren<QDialog *>()) {
            if (QString(dialog->metaObject()->className()) == "about")
                dialogs << dialog;
        }
        QCOMPARE(dialogs.size(), 2);
        QVERIFY(dialogs[0]->isVisible() && dialogs[1]->isVisible() && !dialogs[0]->isModal());

        // The dialog takes the window's dark theme and shows the logo whole.
        QVERIFY(QTest::qWaitForWindowExposed(dialogs[0]));
        QVERIFY(dialogs[0]->styleSheet().isEmpty());
        QCOMPARE(dialogs[0]->grab().toImage().pixelColor(10, 150), QColor(0x32, 0x32, 0x32));
        const QImage shown = dialogs[0]->findChild<QLabel *>("labelLogo")->grab().toImage();
        const QImage logo = QImage(":/images/logo1.jpg").convertToFormat(shown.format());
        QVERIFY(!logo.isNull());
        bool found = false;
        for (int dx = 0; dx <= shown.width() - logo.width() && !found; ++dx)
            found = shown.copy(dx, 0, logo.width(), logo.height()) == logo;
        QVERIFY(found);

        QTest::keyClick(window.get(), Qt::Key_F2);
        QCOMPARE(queued(), QList<int>{0x0153});

        QPointer<QDialog> first = dialogs[0];
        QTest::keyClick(first, Qt::Key_Escape);
        QTRY_VERIFY(first.isNull());
        QVERIFY(dialogs[1]->isVisible());
    }

    void closingTheWindowEndsTheProgram()
    {
        // The settings dialog is a window of its own; open, it must not keep
        // the event loop running once the panel is closed.
        child<QAction>("actionConfigure")->trigger();
        QPointer<SettingsDialog> settings = PanelDriver::settingsDialog();
        QVERIFY(settings->isVisible());

        QTimer::singleShot(0, window.get(), [this] { window->close(); });
        QTimer stillRunning;
        stillRunning.setSingleShot(true);
        connect(&stillRunning, &QTimer::timeout, qApp, &QApplication::quit);
        stillRunning.start(5000);
        QApplication::exec();
        QVERIFY(stillRunning.isActive());

        // The dialog goes with the window.
        window.reset();
        QVERIFY(settings.isNull());
    }

private:
    template<typename T> T *child(const QString &name) const { return panel->child<T>(name); }
    void receiveStatus(quint8 position, quint8 split = 0, quint8 busy = 0xFF, quint8 rotor = 1, quint8 mask = 0,
                       quint8 send = 0, quint8 splitPosition = 0, quint8 previousPosition = 0)
    {
        QByteArray frame("IGT");
        for (quint8 b : {position, split, busy, rotor, mask, send, splitPosition, previousPosition})
            frame.append(static_cast<char>(b));
        panel->receive(frame + ';');
    }
    QColor keyCentre(int key) const { return panel->keyColour(key); }
    QString statusText() const { return panel->statusText(); }
    QList<int> queued() const { return panel->queuedWords(); }

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<PanelDriver> panel;
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
