#include "link/Protocol.h"
#include "panel/DarkTheme.h"
#include "panel/MainWindow.h"
#include "panel/PanelState.h"
#include "support/ModalDismisser.h"
#include "support/RequireChild.h"

#include <QAction>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>

#include <cstring>
#include <memory>

// The main window as the operator meets it: its form, theme, menus, what it
// paints from frames and what its keys and buttons do.
class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowIsFixedWithMinimiseAndClose();
    void windowPointerIsRegisteredForQueuedCalls();
    void menusInOrder();
    void panelFormAsLaidOut();
    void indicatorsAreIndependent();
    void themeIsAppliedAndVisible();
    void keysPaintTheSwitchInItsColours();
    void firmwareRevision_data();
    void firmwareRevision();
    void functionKeysActLikeTheKeys();
    void heldFunctionKeyActsOnce();
    void otherKeysAreSwallowed();
    void clickingAnIndicatorIsUndoneByTheSwitch();
    void splitAndSuperSplitThroughTheButtons();
    void aboutDialogsOpenSideBySideAndAreFreed();
    void aboutQtIsTitledPlainly();

private:
    template<typename T> T *child(const char *name) const { return requireChild<T>(window.get(), name); }
    void receive(const QByteArray &frame);
    void receiveStatus(quint8 position, quint8 split = 0, quint8 busy = 0xFF, quint8 rotor = 1,
                       quint8 mask = 0, quint8 send = 0, quint8 splitPosition = 0,
                       quint8 previousPosition = 0);
    QColor keyCentre(int key);
    QString statusText() const { return child<QStatusBar>("statusBar")->currentMessage(); }
    QList<int> queued() const;

    std::unique_ptr<MainWindow> window;
};

void tst_MainWindow::initTestCase()
{
    MainWindow::registerMetaType();
}

void tst_MainWindow::init()
{
    panelState = PanelState();
    window = std::make_unique<MainWindow>();
    window->show();
    window->setFixedSize(window->geometry().width(), window->geometry().height());
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->activateWindow();
}

void tst_MainWindow::cleanup()
{
    window.reset();
}

void tst_MainWindow::receive(const QByteArray &frame)
{
    std::memcpy(rxBuffer, frame.constData(), static_cast<size_t>(qMin(frame.size(), rxBufferSize)));
    rxCount = static_cast<qint8>(frame.size());
    QVERIFY(QMetaObject::invokeMethod(window.get(), "processaPacoteRecebido", Qt::DirectConnection,
                                      Q_ARG(MainWindow *, window.get())));
}

void tst_MainWindow::receiveStatus(quint8 position, quint8 split, quint8 busy, quint8 rotor,
                                   quint8 mask, quint8 send, quint8 splitPosition,
                                   quint8 previousPosition)
{
    QByteArray frame("IGT");
    for (quint8 b : {position, split, busy, rotor, mask, send, splitPosition, previousPosition})
        frame.append(static_cast<char>(b));
    receive(frame + ';');
}

QColor tst_MainWindow::keyCentre(int key)
{
    auto *button = child<QPushButton>(qPrintable(QString("botaoTecla%1").arg(key)));
    const QImage image = button->grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

QList<int> tst_MainWindow::queued() const
{
    QList<int> words;
    for (CommandWord w : window->queuedCommands())
        words << int(quint16(w));
    return words;
}

void tst_MainWindow::windowIsFixedWithMinimiseAndClose()
{
    QCOMPARE(window->windowTitle(), QString("Veltrix TQX-5R Serial Controller"));
    QCOMPARE(window->objectName(), QString("mainWindow"));
    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QCOMPARE(window->width(), 659);
    QVERIFY(window->height() >= 214);
}

void tst_MainWindow::windowPointerIsRegisteredForQueuedCalls()
{
    const int id = QMetaType::type("MainWindow*");
    QVERIFY(id != QMetaType::UnknownType);
    QCOMPARE(int(QMetaType::typeFlags(id)), 0x10C);
    QCOMPARE(QMetaType::metaObjectForType(id), &MainWindow::staticMetaObject);
    QCOMPARE(QMetaType::sizeOf(id), int(sizeof(void *)));
}

void tst_MainWindow::menusInOrder()
{
    QStringList menus;
    for (QAction *action : child<QMenuBar>("menuBar")->actions())
        menus << action->text();
    QCOMPARE(menus, (QStringList{"File", "Help"}));

    auto texts = [](QMenu *menu) {
        QStringList out;
        for (QAction *action : menu->actions()) {
            out << action->text();
            if (!action->shortcut().isEmpty() || !action->icon().isNull())
                out << "(shortcut or icon)";
        }
        return out;
    };
    QCOMPARE(texts(child<QMenu>("menuArquivo")), (QStringList{"Connect to TQX-5R", "Disconnect", "Serial Settings"}));
    QCOMPARE(texts(child<QMenu>("menuTools")), (QStringList{"About Qt", "About Veltrix"}));
    QVERIFY(child<QToolBar>("mainToolBar")->actions().isEmpty());
    QCOMPARE(window->toolBarArea(child<QToolBar>("mainToolBar")), Qt::TopToolBarArea);
}

void tst_MainWindow::panelFormAsLaidOut()
{
    // Creation order is stacking and focus order: keys 8, 1, 4, 5, 2, 6, 3, 7,
    // then the busy indicators and the labels.
    auto names = [](QWidget *parent) {
        QStringList out;
        for (QObject *object : parent->children()) {
            if (object->isWidgetType())
                out << object->objectName();
        }
        return out.join(' ');
    };
    QCOMPARE(names(child<QWidget>("centralWidget")),
             QString("rotor1 rotor2 rotor3 rotor4 frame split send power superSplit labelFWVersion"));
    QVERIFY(names(child<QFrame>("frame")).startsWith(
        "botaoTecla8 botaoTecla1 botaoTecla4 botaoTecla5 botaoTecla2 botaoTecla6 botaoTecla3 botaoTecla7 busy1 "));
    QVERIFY(names(child<QFrame>("frame")).endsWith("busy8 labelAnt1 labelAnt2 labelAnt3 labelAnt4 labelAnt5 labelAnt6 labelAnt7 labelAnt8"));

    QCOMPARE(child<QFrame>("frame")->geometry(), QRect(140, 40, 421, 80));
    QCOMPARE(child<QWidget>("power")->geometry(), QRect(70, 100, 61, 17));
    QCOMPARE(child<QWidget>("labelFWVersion")->geometry(), QRect(560, 140, 91, 20));
    for (int n = 1; n <= 8; ++n) {
        const int x = 20 + 50 * (n - 1);
        QCOMPARE(child<QWidget>(qPrintable(QString("botaoTecla%1").arg(n)))->geometry(), QRect(x, 30, 41, 41));
        QCOMPARE(child<QWidget>(qPrintable(QString("busy%1").arg(n)))->geometry(), QRect(x + 10, 0, 16, 17));
        auto *label = child<QLabel>(qPrintable(QString("labelAnt%1").arg(n)));
        QCOMPARE(label->text(), QString("   Ant %1").arg(n));
        QCOMPARE(label->palette().color(QPalette::Active, QPalette::WindowText), QColor(177, 177, 177));
        QCOMPARE(label->palette().color(QPalette::Disabled, QPalette::Text), QColor(64, 64, 64));
        QCOMPARE(label->palette().color(QPalette::Active, QPalette::Window).alpha(), 0);
    }
    const QStringList texts{child<QRadioButton>("rotor4")->text(), child<QRadioButton>("superSplit")->text(),
                            child<QRadioButton>("busy3")->text(), child<QPushButton>("botaoTecla2")->text()};
    QCOMPARE(texts, (QStringList{"RT 4", "S. SPLIT", "", ""}));
}

void tst_MainWindow::indicatorsAreIndependent()
{
    const QList<QRadioButton *> radios = window->findChildren<QRadioButton *>();
    QCOMPARE(radios.size(), 16);
    for (QRadioButton *radio : radios) {
        QVERIFY2(!radio->autoExclusive(), qPrintable(radio->objectName()));
        QCOMPARE(radio->layoutDirection(),
                 radio->objectName().startsWith("busy") ? Qt::RightToLeft : Qt::LeftToRight);
    }
    child<QRadioButton>("rotor1")->setChecked(true);
    QTest::mouseClick(child<QRadioButton>("rotor2"), Qt::LeftButton);
    QVERIFY(child<QRadioButton>("rotor1")->isChecked());
    QVERIFY(child<QRadioButton>("rotor2")->isChecked());
}

void tst_MainWindow::themeIsAppliedAndVisible()
{
    QVERIFY(!darkThemeStyleSheet().isEmpty());
    QCOMPARE(window->styleSheet(), darkThemeStyleSheet());

    const QImage image = window->grab().toImage();
    // An empty stretch of the panel below the frame.
    QCOMPARE(image.pixelColor(300, window->centralWidget()->y() + 140), QColor(0x32, 0x32, 0x32));

    // An unchecked indicator is a grey ring around the dark background.
    auto *rotor = child<QRadioButton>("rotor1");
    const QImage ring = rotor->grab().toImage();
    int ringPixels = 0;
    for (int x = 0; x < 16; ++x) {
        if (ring.pixelColor(x, ring.height() / 2) == QColor(0xb1, 0xb1, 0xb1))
            ++ringPixels;
    }
    QVERIFY(ringPixels >= 1);

    // A key before the switch has spoken: the theme's grey button.
    const QColor key = keyCentre(1);
    QVERIFY2(key.red() >= 0x46 && key.red() <= 0x56 && key.red() == key.green() && key.green() == key.blue(),
             qPrintable(key.name()));
}

void tst_MainWindow::keysPaintTheSwitchInItsColours()
{
    const QColor yellow(254, 237, 137);
    const QColor teal(2, 115, 112);

    receiveStatus(2);
    QVERIFY(child<QRadioButton>("power")->isChecked());
    QCOMPARE(keyCentre(3), yellow);
    for (int key : {1, 2, 4, 5, 6, 7, 8}) {
        const QColor c = keyCentre(key);
        QVERIFY2(c.red() == c.green() && c.green() == c.blue() && c.red() < 0x60, qPrintable(c.name()));
    }

    // Positions 0 and 2 in the super split group, partner 6.
    receiveStatus(2, 0, 0xFF, 1, 0x05, 0, 0, 6);
    QCOMPARE(keyCentre(1), teal);
    QCOMPARE(keyCentre(3), yellow);
    auto *partner = child<QPushButton>("botaoTecla7");
    const QImage edge = partner->grab().toImage();
    const QColor border = edge.pixelColor(edge.width() / 2, 1);
    QVERIFY2(border.red() > 0xc0 && border.green() > 0x60 && border.green() < 0xb0 && border.blue() < 0x40,
             qPrintable(border.name()));
    QVERIFY(child<QRadioButton>("superSplit")->isChecked());

    // Sending swaps the pair.
    receiveStatus(2, 0, 0xFF, 1, 0x05, 1, 0, 6);
    QCOMPARE(keyCentre(7), yellow);
    QVERIFY(child<QRadioButton>("send")->isChecked());

    // A position byte that names no key lights none, and nothing breaks.
    receiveStatus(200, 1, 0xFE, 9, 0xFF, 1, 99, 250);
    for (int key = 1; key <= 8; ++key)
        QVERIFY(keyCentre(key) != yellow);
    QVERIFY(child<QRadioButton>("busy1")->isChecked());
    QVERIFY(!child<QRadioButton>("busy2")->isChecked());
    for (const char *rotor : {"rotor1", "rotor2", "rotor3", "rotor4"})
        QVERIFY(!child<QRadioButton>(rotor)->isChecked());
}

void tst_MainWindow::firmwareRevision_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("label");
    QTest::newRow("1.12") << QByteArray("IGW\x01\x0C;") << "Connected! Firmware Revision: 1 . 12" << "FW Revision: 1.12";
    QTest::newRow("0.0") << QByteArray("IGW\0\0;", 6) << "Connected! Firmware Revision: 0 . 0" << "FW Revision: 0.0";
    QTest::newRow("255.7") << QByteArray("IGW\xff\x07;") << "Connected! Firmware Revision: 255 . 7" << "FW Revision: 255.7";
}

void tst_MainWindow::firmwareRevision()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, status);
    QFETCH(QString, label);
    QCOMPARE(child<QLabel>("labelFWVersion")->text(), QString());
    receive(frame);
    QCOMPARE(statusText(), status);
    QCOMPARE(child<QLabel>("labelFWVersion")->text(), label);
}

void tst_MainWindow::functionKeysActLikeTheKeys()
{
    receiveStatus(2);
    QTest::keyClick(window.get(), Qt::Key_F5);
    QCOMPARE(queued(), QList<int>{0x0453});
    QCOMPARE(panelState.currentPosition, quint8(4));
    QCOMPARE(panelState.previousPosition, quint8(2));
    QCOMPARE(keyCentre(5), QColor(254, 237, 137));

    // The switch's next answer still shows the old selection and is skipped.
    receiveStatus(2);
    QCOMPARE(keyCentre(5), QColor(254, 237, 137));
    receiveStatus(4);
    QCOMPARE(keyCentre(5), QColor(254, 237, 137));
    QCOMPARE(panelState.currentPosition, quint8(4));

    QTest::mouseClick(child<QPushButton>("botaoTecla8"), Qt::LeftButton);
    QTest::keyClick(window.get(), Qt::Key_F1);
    QCOMPARE(queued(), (QList<int>{0x0453, 0x0753, 0x0053}));
}

void tst_MainWindow::heldFunctionKeyActsOnce()
{
    QTest::sendKeyEvent(QTest::Press, window.get(), Qt::Key_F3, QString(), Qt::NoModifier);
    for (int i = 0; i < 30; ++i) {
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_F3, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(window.get(), &repeat);
    }
    QTest::sendKeyEvent(QTest::Release, window.get(), Qt::Key_F3, QString(), Qt::NoModifier);
    QCOMPARE(queued(), QList<int>{0x0253});
}

void tst_MainWindow::otherKeysAreSwallowed()
{
    for (Qt::Key key : {Qt::Key_F9, Qt::Key_F12, Qt::Key_1, Qt::Key_5, Qt::Key_A, Qt::Key_Escape})
        QTest::keyClick(window.get(), key);
    QVERIFY(queued().isEmpty());
    QVERIFY(window->isVisible());
}

void tst_MainWindow::clickingAnIndicatorIsUndoneByTheSwitch()
{
    receiveStatus(0, 0, 0xFF, 2);
    auto *power = child<QRadioButton>("power");
    auto *rotor2 = child<QRadioButton>("rotor2");
    QTest::mouseClick(power, Qt::LeftButton);
    QVERIFY(!power->isChecked());
    QVERIFY(queued().isEmpty());

    QTest::mouseClick(rotor2, Qt::LeftButton);
    QVERIFY(!rotor2->isChecked());
    QCOMPARE(queued(), QList<int>{0x1056});

    receiveStatus(0, 0, 0xFF, 2);
    QVERIFY(power->isChecked());
    QVERIFY(rotor2->isChecked());
}

void tst_MainWindow::splitAndSuperSplitThroughTheButtons()
{
    receiveStatus(4, 0, 0xFF, 1, 0x05);
    QTest::mouseClick(child<QRadioButton>("split"), Qt::LeftButton);
    QCOMPARE(statusText(), QString("Choose the TX position:"));
    QTest::mouseClick(child<QPushButton>("botaoTecla3"), Qt::LeftButton);
    // Not connected: the word is dropped unsent, so no success is claimed.
    QCOMPARE(statusText(), QString("Not connected to TQX-5R"));
    QTest::keyClick(window.get(), Qt::Key_F5);
    QCOMPARE(statusText(), QString("Split disabled"));
    QCOMPARE(queued(), (QList<int>{0x5350, 0x0050}));

    // Super split starts from the switch's group: keys 1 and 3 teal.
    auto *superSplit = child<QRadioButton>("superSplit");
    QTest::mouseClick(superSplit, Qt::LeftButton);
    QCOMPARE(statusText(), QString("Choose antennas for Super Split:"));
    QVERIFY(superSplit->isChecked());
    QCOMPARE(keyCentre(1), QColor(2, 115, 112));
    QCOMPARE(keyCentre(3), QColor(2, 115, 112));
    QTest::mouseClick(child<QPushButton>("botaoTecla2"), Qt::LeftButton);
    QTest::mouseClick(superSplit, Qt::LeftButton);
    QVERIFY(!superSplit->isChecked());
    QCOMPARE(statusText(), QString("Not connected to TQX-5R"));
    QCOMPARE(queued().last(), 0x0751);
}

void tst_MainWindow::aboutDialogsOpenSideBySideAndAreFreed()
{
    auto *action = child<QAction>("actionAbout_Veltrix");
    action->trigger();
    action->trigger();
    QList<QDialog *> dialogs;
    for (QDialog *dialog : window->findChildren<QDialog *>()) {
        if (QString(dialog->metaObject()->className()) == "about")
            dialogs << dialog;
    }
    QCOMPARE(dialogs.size(), 2);
    QVERIFY(dialogs[0]->isVisible() && dialogs[1]->isVisible());
    QVERIFY(!dialogs[0]->isModal());
    QVERIFY(dialogs[0]->styleSheet().isEmpty());

    // The window stays usable meanwhile.
    QTest::keyClick(window.get(), Qt::Key_F2);
    QCOMPARE(queued(), QList<int>{0x0153});

    QPointer<QDialog> first = dialogs[0];
    QTest::keyClick(first, Qt::Key_Escape);
    QTRY_VERIFY(first.isNull());
    QVERIFY(dialogs[1]->isVisible());
}

void tst_MainWindow::aboutQtIsTitledPlainly()
{
    ModalDismisser dismisser;
    child<QAction>("actionAbout")->trigger();
    QCOMPARE(dismisser.titles(), QStringList{"About Qt"});
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
