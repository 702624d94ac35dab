#include "link/Protocol.h"
#include "panel/DarkTheme.h"
#include "panel/MainWindow.h"
#include "panel/PanelState.h"
#include "support/ModalDismisser.h"

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
    void panelWidgets_data();
    void panelWidgets();
    void creationOrderIsStackingAndFocusOrder();
    void indicatorsAreIndependent();
    void antennaLabelPalette();
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
    template<typename T> T *child(const char *name) const
    {
        T *widget = window->findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
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

void tst_MainWindow::panelWidgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    auto row = [](const char *name, const char *cls, const char *parent, QRect rect, const char *text) {
        QTest::newRow(name) << QString(name) << QString(cls) << QString(parent) << rect << QString(text);
    };
    row("rotor1", "QRadioButton", "centralWidget", {10, 40, 41, 17}, "RT 1");
    row("rotor4", "QRadioButton", "centralWidget", {10, 100, 41, 17}, "RT 4");
    row("frame", "QFrame", "centralWidget", {140, 40, 421, 80}, "");
    row("split", "QRadioButton", "centralWidget", {70, 40, 51, 17}, "SPLIT");
    row("superSplit", "QRadioButton", "centralWidget", {70, 60, 61, 17}, "S. SPLIT");
    row("send", "QRadioButton", "centralWidget", {70, 80, 51, 17}, "SEND");
    row("power", "QRadioButton", "centralWidget", {70, 100, 61, 17}, "POWER");
    row("labelFWVersion", "QLabel", "centralWidget", {560, 140, 91, 20}, "");
    row("botaoTecla1", "QPushButton", "frame", {20, 30, 41, 41}, "");
    row("botaoTecla8", "QPushButton", "frame", {370, 30, 41, 41}, "");
    row("busy1", "QRadioButton", "frame", {30, 0, 16, 17}, "");
    row("busy8", "QRadioButton", "frame", {380, 0, 16, 17}, "");
    row("labelAnt1", "QLabel", "frame", {20, 10, 41, 20}, "   Ant 1");
    row("labelAnt8", "QLabel", "frame", {370, 10, 41, 20}, "   Ant 8");
}

void tst_MainWindow::panelWidgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    QWidget *widget = window->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(QString(widget->metaObject()->className()), className);
    QCOMPARE(widget->parentWidget()->objectName(), parentName);
    QCOMPARE(widget->geometry(), geometry);
    if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), text);
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        QCOMPARE(button->text(), text);
}

void tst_MainWindow::creationOrderIsStackingAndFocusOrder()
{
    auto names = [](QWidget *parent) {
        QStringList out;
        for (QObject *object : parent->children()) {
            if (object->isWidgetType())
                out << object->objectName();
        }
        return out;
    };
    QCOMPARE(names(child<QWidget>("centralWidget")),
             (QStringList{"rotor1", "rotor2", "rotor3", "rotor4", "frame", "split", "send", "power",
                          "superSplit", "labelFWVersion"}));
    QStringList frameChildren{"botaoTecla8", "botaoTecla1", "botaoTecla4", "botaoTecla5",
                              "botaoTecla2", "botaoTecla6", "botaoTecla3", "botaoTecla7"};
    for (int n = 1; n <= 8; ++n)
        frameChildren << QString("busy%1").arg(n);
    for (int n = 1; n <= 8; ++n)
        frameChildren << QString("labelAnt%1").arg(n);
    QCOMPARE(names(child<QFrame>("frame")), frameChildren);

    // Every key, busy indicator and label sits where its number says.
    for (int n = 1; n <= 8; ++n) {
        QCOMPARE(child<QWidget>(qPrintable(QString("botaoTecla%1").arg(n)))->x(), 20 + 50 * (n - 1));
        QCOMPARE(child<QWidget>(qPrintable(QString("busy%1").arg(n)))->x(), 30 + 50 * (n - 1));
        QCOMPARE(child<QLabel>(qPrintable(QString("labelAnt%1").arg(n)))->text(), QString("   Ant %1").arg(n));
    }
    QCOMPARE(child<QFrame>("frame")->frameShape(), QFrame::StyledPanel);
    QCOMPARE(child<QFrame>("frame")->frameShadow(), QFrame::Raised);
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

void tst_MainWindow::antennaLabelPalette()
{
    auto *label = child<QLabel>("labelAnt3");
    const QPalette palette = label->palette();
    QCOMPARE(palette.color(QPalette::Active, QPalette::WindowText), QColor(177, 177, 177));
    QCOMPARE(palette.color(QPalette::Inactive, QPalette::Text), QColor(177, 177, 177));
    QCOMPARE(palette.color(QPalette::Disabled, QPalette::ButtonText), QColor(64, 64, 64));
    QCOMPARE(palette.color(QPalette::Active, QPalette::Window).alpha(), 0);
    QCOMPARE(label->styleSheet(), QString("background-color: rgba(0,0,0,0%);"));
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
    receiveStatus(0);
    QTest::mouseClick(child<QRadioButton>("split"), Qt::LeftButton);
    QCOMPARE(statusText(), QString("Choose the TX position:"));
    QTest::mouseClick(child<QPushButton>("botaoTecla3"), Qt::LeftButton);
    QCOMPARE(statusText(), QString("Split configured succesfuly!"));
    QCOMPARE(queued(), QList<int>{0x1350});
    QTest::keyClick(window.get(), Qt::Key_F1);
    QCOMPARE(statusText(), QString("Split disabled"));
    QCOMPARE(queued(), (QList<int>{0x1350, 0x0050}));

    // Super split starting from the switch's group 0x05 at position 4 (the
    // first frame after the key press is skipped).
    receiveStatus(4, 0, 0xFF, 1, 0x05);
    receiveStatus(4, 0, 0xFF, 1, 0x05);
    auto *superSplit = child<QRadioButton>("superSplit");
    QTest::mouseClick(superSplit, Qt::LeftButton);
    QCOMPARE(statusText(), QString("Choose antennas for Super Split:"));
    QVERIFY(superSplit->isChecked());
    const QColor teal(2, 115, 112);
    QCOMPARE(keyCentre(1), teal);
    QCOMPARE(keyCentre(3), teal);
    QVERIFY(keyCentre(5) != teal && keyCentre(5) != QColor(254, 237, 137));

    QTest::mouseClick(child<QPushButton>("botaoTecla2"), Qt::LeftButton);
    QTest::mouseClick(superSplit, Qt::LeftButton);
    QVERIFY(!superSplit->isChecked());
    QCOMPARE(statusText(), QString("Super Split configured succesfully!"));
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
