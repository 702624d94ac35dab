#include "panel/MainWindow.h"
#include "panel/SpokenNotice.h"
#include "panel/SwitchSeam.h"
#include "support/LinkedPanel.h"
#include "support/ModalDismisser.h"

#include <QAccessible>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QtTest>

#include <memory>

// The panel as a screen reader and a keyboard-only operator meet it, through
// Qt's accessibility layer and real key events on the real window, with a
// virtual switch answering its polls.
namespace {

using Frame = SwitchState;

struct Event
{
    QObject *object;
    QAccessible::Event type;
};

QList<Event> events;

void recordEvent(QAccessibleEvent *event)
{
    events.append({event->object(), event->type()});
}

QAccessibleInterface *accessible(QObject *object)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    if (!iface)
        qFatal("no accessible interface for %s", qPrintable(object->objectName()));
    return iface;
}

} // namespace

Q_DECLARE_METATYPE(Frame)

class tst_PanelAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // As when a screen reader is listening: change events are delivered.
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
        QVERIFY(QAccessible::isActive());
    }

    void init()
    {
        events.clear();
        rig = std::make_unique<LinkedPanel>();
        window = rig->window.get();
        panel = &rig->panel;
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
    }

    void cleanup()
    {
        QAccessible::installUpdateHandler(nullptr);
        rig.reset();
    }

    void everyControlThroughTheAccessibilityLayer_data()
    {
        QTest::addColumn<QList<Frame>>("frames");
        QTest::addColumn<QString>("pressed");           // controls clicked after the frames
        QTest::addColumn<QString>("descriptions");      // keys 1..8, "|" between
        QTest::addColumn<QString>("checked");           // indicators that are checked

        Frame f;
        QTest::newRow("before the switch answers") << QList<Frame>{} << "" << "|||||||" << "";
        f.position = 2;
        f.rotor = 3;
        f.busyMask = 0x7B;
        QTest::newRow("busy") << QList<Frame>{f} << "" << "||in use, busy|||||busy"
                              << "busy3 busy8 rotor3 power";
        f = Frame();
        f.position = 1;
        f.split = true;
        f.splitPosition = 4;
        f.sending = true;
        QTest::newRow("split TX") << QList<Frame>{f} << "" << "|in use|||TX antenna|||"
                                  << "rotor1 split send power";
        f = Frame();
        f.position = 2;
        f.superSplitMask = 0x05;
        f.previousPosition = 6;
        QTest::newRow("super split group and partner")
            << QList<Frame>{f} << "" << "in super split group||in use, in super split group||||super split partner|"
            << "rotor1 superSplit power";
        QTest::newRow("choosing super split")
            << QList<Frame>{f} << "superSplit botaoTecla2 botaoTecla1"
            << "|chosen for super split|in use, chosen for super split|||||" << "rotor1 superSplit power";
    }
    void everyControlThroughTheAccessibilityLayer()
    {
        QFETCH(QList<Frame>, frames);
        QFETCH(QString, pressed);
        QFETCH(QString, descriptions);
        QFETCH(QString, checked);

        for (const Frame &frame : frames)
            show(frame);
        for (const QString &name : pressed.split(' ', Qt::SkipEmptyParts))
            QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton);

        QStringList described;
        for (int n = 1; n <= 8; ++n) {
            QAccessibleInterface *key = accessible(child<QPushButton>(QString("botaoTecla%1").arg(n)));
            QCOMPARE(key->role(), QAccessible::Button);
            QCOMPARE(key->text(QAccessible::Name), QString("Antenna %1").arg(n));
            described << key->text(QAccessible::Description);

            QAccessibleInterface *busy = accessible(child<QRadioButton>(QString("busy%1").arg(n)));
            QCOMPARE(busy->text(QAccessible::Name), QString("Antenna %1 busy").arg(n));
        }
        QCOMPARE(described.join('|'), descriptions);
        for (int n = 1; n <= 4; ++n) {
            QAccessibleInterface *rotor = accessible(child<QRadioButton>(QString("rotor%1").arg(n)));
            QCOMPARE(rotor->text(QAccessible::Name), QString("RT %1").arg(n));
            QCOMPARE(rotor->text(QAccessible::Description), QString("Rotor %1").arg(n));
        }
        const QStringList words{"SPLIT", "S. SPLIT", "SEND", "POWER"};
        const QStringList names{"split", "superSplit", "send", "power"};
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(accessible(child<QRadioButton>(names[i]))->text(QAccessible::Name), words[i]);

        // Every indicator reports what it shows; every name holds the visible text.
        QStringList lit;
        for (QRadioButton *indicator : window->findChildren<QRadioButton *>()) {
            QAccessibleInterface *iface = accessible(indicator);
            QCOMPARE(iface->state().checked != 0, indicator->isChecked());
            if (indicator->isChecked())
                lit << indicator->objectName();
        }
        std::sort(lit.begin(), lit.end());
        QStringList expectedLit = checked.split(' ', Qt::SkipEmptyParts);
        std::sort(expectedLit.begin(), expectedLit.end());
        QCOMPARE(lit, expectedLit);
        for (QAbstractButton *button : window->findChildren<QAbstractButton *>())
            QVERIFY2(accessible(button)->text(QAccessible::Name).contains(button->text().simplified()),
                     qPrintable(button->objectName()));
    }

    void firmwareAndStatusTextsAreReadable()
    {
        rig->connect();
        QTRY_VERIFY(!child<QLabel>("labelFWVersion")->text().isEmpty());
        QCOMPARE(accessible(child<QLabel>("labelFWVersion"))->text(QAccessible::Name), QString("FW Revision: 1.12"));
        QCOMPARE(accessible(child<QStatusBar>("statusBar"))->text(QAccessible::Name),
                 QString("Connected! Firmware Revision: 1 . 12"));
    }

    void changesGoToTheControlsThatChangedAndASteadySwitchIsQuiet()
    {
        Frame f;
        f.position = 1;
        show(f);
        QAccessible::installUpdateHandler(recordEvent);

        // Six identical frames a second: not a single event.
        const int polls = rig->pollsReceived();
        QTRY_VERIFY_WITH_TIMEOUT(rig->pollsReceived() >= polls + 8, 10000);
        QCOMPARE(describe(events), QStringList());

        // The switch moves from antenna 2 to 5 at its front panel.
        f.position = 4;
        show(f);
        QCOMPARE(describe(events), (QStringList{"botaoTecla2 DescriptionChanged", "botaoTecla5 DescriptionChanged",
                                                "notice NameChanged", "notice ObjectShow"}));
        QCOMPARE(notice()->text(), QString("Antenna 5 in use."));
        QCOMPARE(accessible(notice())->role(), QAccessible::Notification);
        QCOMPARE(accessible(notice())->text(QAccessible::Name), QString("Antenna 5 in use."));

        // Everything at once: still at most one event per control, one notice.
        events.clear();
        const Frame all{6, true, 0x00, 4, 0xC0, true, 3, 7};
        show(all);
        QStringList said = describe(events);
        for (const QString &event : said)
            QCOMPARE(said.count(event), 1);
        QVERIFY(said.contains("notice ObjectShow"));
        QVERIFY(said.contains("busy1 StateChanged") && said.contains("busy8 StateChanged"));
        QVERIFY(said.contains("rotor1 StateChanged") && said.contains("rotor4 StateChanged"));
        QCOMPARE(notice()->text(), QString("Antenna 7 in use. Split on: TX on Antenna 4. Super split group: "
                                           "Antenna 7, Antenna 8. Super split on: partner Antenna 8."));

        // POWER going out is spoken with the status text that says why.
        events.clear();
        child<QAction>("actionDisconnect")->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(describe(events), (QStringList{"power StateChanged", "statusBar NameChanged", "notice NameChanged", "notice ObjectShow"}));
        QCOMPARE(notice()->text(), QString("Disconnected. POWER off."));
    }

    void operatorCommandsAreSpoken()
    {
        show(Frame());
        QTest::mouseClick(child<QRadioButton>("split"), Qt::LeftButton);
        QTRY_COMPARE(notice()->text(), QString("Choose the TX position:"));
        QTest::mouseClick(child<QPushButton>("botaoTecla4"), Qt::LeftButton);
        QTRY_COMPARE(notice()->text(), QString("Split configured succesfuly! Split on: TX on Antenna 4."));
        QCOMPARE(accessible(child<QPushButton>("botaoTecla4"))->text(QAccessible::Description), QString("TX antenna"));
    }

    void oddCaptionsGiveSaneNames()
    {
        // Captions come from the labels file or the broker as they are.
        child<QPushButton>("botaoTecla3")->setText(QString::fromUtf8("\x01\u202EY\xF0\x9F\x93\xA1") + QChar(0xD83D));
        child<QPushButton>("botaoTecla4")->setText("\t \n");
        Frame f;
        f.position = 2;
        show(f);
        QCOMPARE(accessible(child<QPushButton>("botaoTecla3"))->text(QAccessible::Name),
                 QString::fromUtf8("Antenna 3 Y\xF0\x9F\x93\xA1"));
        QCOMPARE(accessible(child<QPushButton>("botaoTecla4"))->text(QAccessible::Name), QString("Antenna 4"));
        QVERIFY2(notice()->text().contains(QString::fromUtf8("Antenna 3 Y\xF0\x9F\x93\xA1 in use.")),
                 qPrintable(notice()->text()));
    }

    void tabOrderAndNothingFocusedByTheMouse()
    {
        QCOMPARE(QApplication::focusWidget(), window);
        QTest::mouseClick(child<QPushButton>("botaoTecla6"), Qt::LeftButton);
        QTest::mouseClick(child<QRadioButton>("rotor2"), Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), window);

        const QStringList order{"botaoTecla1", "botaoTecla2", "botaoTecla3", "botaoTecla4", "botaoTecla5",
                                "botaoTecla6", "botaoTecla7", "botaoTecla8", "split",       "superSplit",
                                "rotor1",      "rotor2",      "rotor3",      "rotor4",      "botaoTecla1"};
        QStringList forward;
        for (int i = 0; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            forward << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(forward, order);
        QStringList backward;
        for (int i = 0; i < order.size() - 1; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            backward.prepend(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(backward, order.mid(0, order.size() - 1));
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("botaoTecla1"));
    }

    void spaceAndEnterPressTheFocusedControl()
    {
        // Before Tab nothing has focus, so Space and Enter press nothing.
        QTest::keyClick(window, Qt::Key_Space);
        QTest::keyClick(window, Qt::Key_Return);
        QCOMPARE(panel->queuedWords(), QList<int>());

        tabTo("botaoTecla3");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        tabTo("botaoTecla5");
        // A held Enter acts once, as a held F-key does.
        QTest::keyPress(QApplication::focusWidget(), Qt::Key_Return);
        for (int i = 0; i < 10; ++i) {
            QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(QApplication::focusWidget(), &repeat);
        }
        QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
        // F-keys act wherever the focus is.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
        tabTo("rotor2");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(panel->queuedWords(), (QList<int>{0x0253, 0x0453, 0x0453, 0x0153, 0x2256}));

        tabTo("split");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(panel->statusText(), QString("Choose the TX position:"));
    }

    void menusFromTheKeyboard()
    {
        auto *bar = window->menuBar();
        auto *file = child<QMenu>("menuArquivo");
        auto *station = child<QMenu>("menuStation");
        auto *help = child<QMenu>("menuTools");

        // Alt alone lights the first menu title; F10 opens it.
        ModalDismisser dismisser;
        QTest::keyClick(window, Qt::Key_Alt);
        QCOMPARE(bar->activeAction(), file->menuAction());
        QTest::keyClick(bar, Qt::Key_Escape);
        QTest::keyClick(window, Qt::Key_F10);
        QTRY_VERIFY(file->isVisible());
        QTest::keyClick(file, Qt::Key_Right);
        QTRY_VERIFY(station->isVisible());
        QTest::keyClick(station, Qt::Key_Right);
        QTRY_VERIFY(help->isVisible());
        // The first entry lit, Down and Enter: "About Veltrix".
        QTest::keyClick(help, Qt::Key_Down);
        QTest::keyClick(help, Qt::Key_Return);
        QTRY_VERIFY(!help->isVisible());
        bool aboutShown = false;
        for (QDialog *dialog : window->findChildren<QDialog *>())
            aboutShown |= QString(dialog->metaObject()->className()) == "about" && dialog->isVisible();
        QVERIFY(aboutShown);
        QCOMPARE(dismisser.count(), 0);
        QCOMPARE(file->title(), QString("File"));
        QCOMPARE(help->title(), QString("Help"));
    }

    void focusFrameOnlyAfterKeyboardFocus()
    {
        show(Frame());
        auto *key = child<QPushButton>("botaoTecla1");
        const QImage unfocused = key->grab().toImage();
        // Pressing the antenna in use leaves it as it was: no focus frame.
        const int polls = rig->pollsReceived();
        QTest::mouseClick(key, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(rig->pollsReceived() >= polls + 3, 10000);
        QCOMPARE(key->grab().toImage(), unfocused);
        tabTo("botaoTecla1");
        QVERIFY(key->grab().toImage() != unfocused);
    }

private:
    template<typename T> T *child(const QString &name) const { return panel->child<T>(name); }
    SpokenNotice *notice() const { return window->findChild<SpokenNotice *>(); }

    // The switch reports state; returns once the panel shows it and has
    // said what it says about it.
    void show(const Frame &state)
    {
        if (!window->seam()->snapshot().linkOpen) {
            rig->connect();
            QTRY_VERIFY_WITH_TIMEOUT(window->seam()->snapshot().power, 10000);
        }
        rig->device->setState(state);
        const auto shown = [this, state] {
            const SwitchSnapshot s = window->seam()->snapshot();
            return s.power && s.position == state.position && s.busyMask == quint8(~state.busyMask)
                   && s.splitOn == state.split && s.superSplitMask == state.superSplitMask
                   && s.rotor == state.rotor && s.send == state.sending;
        };
        QTRY_VERIFY_WITH_TIMEOUT(shown(), 10000);
        QCoreApplication::processEvents();
    }

    void tabTo(const QString &name)
    {
        for (int i = 0; i < 20; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (QApplication::focusWidget()->objectName() == name)
                return;
        }
        QFAIL(qPrintable("Tab never reached " + name));
    }

    // "objectName EventType" for each event, notices named "notice".
    QStringList describe(const QList<Event> &list) const
    {
        QStringList out;
        const QMetaEnum types = QMetaEnum::fromType<QAccessible::Event>();
        for (const Event &e : list) {
            const QString name = qobject_cast<SpokenNotice *>(e.object) ? QString("notice") : e.object->objectName();
            out << name + ' ' + types.valueToKey(e.type);
        }
        return out;
    }

    std::unique_ptr<LinkedPanel> rig;
    MainWindow *window = nullptr;
    PanelDriver *panel = nullptr;
};

QTEST_MAIN(tst_PanelAccessibility)
#include "tst_panelaccessibility.moc"
