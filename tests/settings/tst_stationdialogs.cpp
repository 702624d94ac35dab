#include "band/BandPlan.h"
#include "settings/AntennaBandsDialog.h"
#include "settings/BandFollowChecks.h"
#include "settings/BandFollowDialog.h"
#include "settings/BrokerChecks.h"
#include "settings/BrokerDialog.h"
#include "settings/CaptionsDialog.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryFile>
#include <QTreeView>
#include <QtTest>

namespace {

template <typename T>
T *child(QWidget &dialog, const QString &name)
{
    T *found = dialog.findChild<T *>(name);
    if (!found)
        qFatal("no child %s", qPrintable(name));
    return found;
}

QPushButton *button(QWidget &dialog, QDialogButtonBox::StandardButton which)
{
    return dialog.findChild<QDialogButtonBox *>()->button(which);
}

void replaceText(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        QTest::keyClicks(edit, text);
}

// The widgets Tab reaches, in the order it reaches them; parts of a combo
// box or spin box count as the box.
QList<QWidget *> tabChain(QWidget &dialog)
{
    QList<QWidget *> chain;
    QWidget *widget = &dialog;
    do {
        widget = widget->nextInFocusChain();
        const bool part = qobject_cast<QComboBox *>(widget->parentWidget())
                          || qobject_cast<QAbstractSpinBox *>(widget->parentWidget()) || widget->focusProxy();
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(&dialog) && !part && widget != &dialog)
            chain << widget;
    } while (widget != &dialog);
    return chain;
}

QWidget *group(QWidget *widget, QWidget &dialog)
{
    for (QWidget *w = widget->parentWidget(); w && w != &dialog; w = w->parentWidget()) {
        if (qobject_cast<QGroupBox *>(w) || qobject_cast<QDialogButtonBox *>(w))
            return w;
    }
    return &dialog;
}

// What a screen reader says a field is: its label (a buddy, reported as the
// field's "labelled by" relation), an accessible name of its own, or for
// buttons their text. A field's value (a combo box's choice) does not count.
QString spokenLabel(QWidget *widget)
{
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
    if (!widget->accessibleName().isEmpty())
        return widget->accessibleName();
    for (const auto &relation : accessible->relations(QAccessible::Label))
        return relation.first->text(QAccessible::Name);
    const bool field = qobject_cast<QLineEdit *>(widget) || qobject_cast<QComboBox *>(widget)
                       || qobject_cast<QAbstractSpinBox *>(widget) || qobject_cast<QAbstractItemView *>(widget);
    return field ? QString() : accessible->text(QAccessible::Name);
}

bool before(const QPoint &a, const QPoint &b)
{
    constexpr int sameRow = 4;
    return b.y() > a.y() + sameRow || (qAbs(b.y() - a.y()) <= sameRow && b.x() > a.x());
}

// Every field is named for a screen reader, and Tab walks the dialog as it is
// read: a group at a time, groups from the top left, each group row by row.
void checkReadable(QWidget &dialog)
{
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QList<QWidget *> chain = tabChain(dialog);
    QVERIFY(chain.size() > 3);
    QList<QWidget *> groupsSeen;
    for (int i = 0; i < chain.size(); ++i) {
        QWidget *widget = chain[i];
        QVERIFY2(!spokenLabel(widget).trimmed().isEmpty(), qPrintable(widget->objectName() + " has no label"));

        QWidget *box = group(widget, dialog);
        if (groupsSeen.isEmpty() || groupsSeen.last() != box) {
            QVERIFY2(!groupsSeen.contains(box), qPrintable(widget->objectName() + " is reached out of its group"));
            if (!groupsSeen.isEmpty())
                QVERIFY2(before(groupsSeen.last()->mapTo(&dialog, QPoint()), box->mapTo(&dialog, QPoint())),
                         qPrintable(box->objectName() + " comes before the group reached ahead of it"));
            groupsSeen << box;
        } else {
            QVERIFY2(before(chain[i - 1]->mapTo(&dialog, QPoint()), widget->mapTo(&dialog, QPoint())),
                     qPrintable(chain[i - 1]->objectName() + " then " + widget->objectName()));
        }
    }
}

// Every label the dialog shows has room for its whole text.
void checkWholeTextShows(QDialog &dialog)
{
    if (!dialog.isVisible()) {
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    }
    QCoreApplication::processEvents();
    for (QLabel *label : dialog.findChildren<QLabel *>()) {
        if (!label->isVisibleTo(&dialog) || label->text().isEmpty())
            continue;
        const QString name = label->objectName() + ": " + label->text();
        if (label->wordWrap()) {
            const int needed = label->heightForWidth(label->contentsRect().width());
            QVERIFY2(needed <= label->contentsRect().height() + 1,
                     qPrintable(QString("%1 (needs %2 px, has %3)").arg(name).arg(needed).arg(label->contentsRect().height())));
        } else {
            QString shown = label->text();
            if (label->buddy())
                shown.replace(QRegularExpression("&(.)"), "\\1");
            QVERIFY2(label->fontMetrics().horizontalAdvance(shown) <= label->contentsRect().width() + 1,
                     qPrintable(name));
        }
        QVERIFY2(dialog.rect().contains(label->geometry().translated(label->parentWidget()->mapTo(&dialog, QPoint()))),
                 qPrintable(name + " lies beyond the dialog"));
    }
}

} // namespace

// The Station menu's dialogs with real widgets: what they show, what they
// hand back, what they refuse, and that a screen reader can use them.
class tst_StationDialogs : public QObject
{
    Q_OBJECT

private slots:
    void bandFollowChecks_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("good");
        QTest::newRow("rigctld host and port") << "rigctld" << "localhost:4532" << true;
        QTest::newRow("rigctld empty") << "rigctld" << " " << false;
        QTest::newRow("rigctld port too high") << "rigctld" << "localhost:65536" << false;
        QTest::newRow("speed default") << "speed" << "Default" << true;
        QTest::newRow("speed zero") << "speed" << "0" << false;
        QTest::newRow("speed grouped") << "speed" << "9,600" << false;
        QTest::newRow("speed beyond int") << "speed" << "99999999999" << false;
        QTest::newRow("logger port") << "logger" << "12060" << true;
        QTest::newRow("logger port too high") << "logger" << "70000" << false;
        QTest::newRow("logger word") << "logger" << "wsjtx" << false;
        QTest::newRow("sender name") << "sender" << "logger.lan" << false;
        QTest::newRow("model dummy") << "model" << "1" << true;
        QTest::newRow("model rigctld") << "model" << "2" << false;
        QTest::newRow("model gone") << "model" << "999999" << false;
        QTest::newRow("no model") << "model" << "0" << false;
        QTest::newRow("hang longest") << "hang" << "10000" << true;
        QTest::newRow("hang too long") << "hang" << "10001" << false;
    }
    void bandFollowChecks()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(bool, good);
        QString problem;
        if (field == "rigctld")
            problem = BandFollowChecks::checkRigctldAddress(text);
        else if (field == "speed")
            problem = BandFollowChecks::checkSpeed(text);
        else if (field == "logger")
            problem = BandFollowChecks::checkLoggerPorts({"12060", text});
        else if (field == "sender")
            problem = BandFollowChecks::checkAllowedSenders({text});
        else if (field == "model")
            problem = BandFollowChecks::checkModel(text.toInt());
        else
            problem = BandFollowChecks::checkHangTime(text.toInt());
        QVERIFY2(problem.isEmpty() == good, qPrintable(problem));
        if (!good && field != "model" && field != "hang" && !text.trimmed().isEmpty())
            QVERIFY2(problem.contains(text.trimmed()), qPrintable(problem));
    }

    void brokerChecks_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("good");
        QTest::newRow("host") << "host" << "broker.lan" << true;
        QTest::newRow("IPv6 host") << "host" << "fd00::1" << true;
        QTest::newRow("no host") << "host" << "" << false;
        QTest::newRow("port in the host field") << "host" << "broker.lan:1884" << false;
        QTest::newRow("usual port") << "port" << "" << true;
        QTest::newRow("port 0") << "port" << "0" << false;
        QTest::newRow("port too high") << "port" << "65536" << false;
        QTest::newRow("wildcard topic") << "topic" << "shack/#" << false;
        QTest::newRow("missing CA file") << "ca" << "/nonexistent/ca.pem" << false;
        QTest::newRow("password without user") << "password" << "secret" << false;
    }
    void brokerChecks()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(bool, good);
        BrokerSettings settings;
        settings.mode = BrokerSettings::Mode::Publish;
        settings.host = "broker.lan";
        QString password;
        QString problem;
        if (field == "host") {
            problem = BrokerChecks::checkHost(text);
        } else if (field == "port") {
            problem = BrokerChecks::checkPort(text);
        } else {
            if (field == "topic")
                settings.topic = text;
            if (field == "ca")
                settings.caFile = text;
            if (field == "password")
                password = text;
            problem = BrokerChecks::check(settings, password).any() ? QString("refused") : QString();
            // Off keeps whatever was typed and checks nothing.
            settings.mode = BrokerSettings::Mode::Off;
            QVERIFY(!BrokerChecks::check(settings, password).any());
        }
        QVERIFY2(problem.isEmpty() == good, qPrintable(problem));
    }

    void bandFollowSettingsRoundTrip()
    {
        BandFollowDialog dialog;
        BandFollowSettings serial;
        serial.enabled = false;  // the menu's switch: passed through untouched
        serial.rig.kind = RigSourceSettings::Kind::SerialRadio;
        serial.rig.rigctldAddress = "shack:4532";
        serial.rig.model = 1;
        serial.rig.device = "/dev/ttyUSB1";
        serial.rig.speed = 38400;
        serial.loggerPorts = QStringList{"12060", "2237", "239.255.0.1:2237"};
        serial.allowedSenders = QStringList{"127.0.0.1", "192.168.1.0/24"};
        serial.loggerRadio = 2;
        serial.hangMs = 0;
        dialog.setSettings(serial);
        QVERIFY(dialog.settings() == serial);
        QVERIFY(dialog.acceptable());
        QVERIFY(child<QCheckBox>(dialog, "radioInfoPortBox")->isChecked());
        QCOMPARE(child<QLineEdit>(dialog, "otherPortsEdit")->text(), QString("239.255.0.1:2237"));

        BandFollowSettings rigctld;
        rigctld.rig.kind = RigSourceSettings::Kind::Rigctld;
        rigctld.rig.rigctldAddress = "[::1]:4533";
        dialog.setSettings(rigctld);
        QVERIFY(dialog.settings() == rigctld);
        QVERIFY(!child<QTreeView>(dialog, "modelView")->isEnabled());
        QCOMPARE(child<QComboBox>(dialog, "speedBox")->currentText(), QString("Default"));
    }

    // A bad value says why beside its field and keeps OK and Apply from
    // handing anything over until it is mended.
    void badValuesRefused()
    {
        BandFollowDialog dialog;
        QSignalSpy applied(&dialog, &BandFollowDialog::applied);
        dialog.show();
        QLineEdit *ports = child<QLineEdit>(dialog, "otherPortsEdit");
        QLabel *problem = child<QLabel>(dialog, "loggerPortsProblem");
        QTest::keyClicks(ports, "12061, 70000");
        QVERIFY(problem->isVisible());
        QVERIFY(problem->text().contains("'70000'"));
        QCOMPARE(ports->accessibleDescription(), problem->text());
        QVERIFY(!button(dialog, QDialogButtonBox::Ok)->isEnabled());
        QTest::keyClick(ports, Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        QCOMPARE(applied.count(), 0);

        replaceText(ports, "12061 239.255.0.1:2237");
        QVERIFY(!problem->isVisible());
        QLineEdit *hang = child<QSpinBox>(dialog, "hangBox")->findChild<QLineEdit *>();
        hang->selectAll();
        QTest::keyClick(hang, Qt::Key_Delete);
        QVERIFY(child<QLabel>(dialog, "hangProblem")->isVisible());
        QVERIFY(!button(dialog, QDialogButtonBox::Apply)->isEnabled());
        QTest::keyClicks(hang, "250");
        QVERIFY(!child<QLabel>(dialog, "hangProblem")->isVisible());

        // A model this Hamlib does not know: kept, said, and mended by a pick.
        BandFollowSettings gone = dialog.settings();
        gone.rig.kind = RigSourceSettings::Kind::SerialRadio;
        gone.rig.model = 999999;
        gone.rig.device = "/dev/ttyUSB1";
        dialog.setSettings(gone);
        QVERIFY(child<QLabel>(dialog, "modelProblem")->text().contains("999999"));
        QVERIFY(child<QLabel>(dialog, "chosenModelLabel")->text().contains("Unknown model 999999"));
        QCOMPARE(dialog.settings().rig.model, 999999);
        QTest::keyClicks(child<QLineEdit>(dialog, "filterEdit"), "hamlib dummy");
        QTreeView *view = child<QTreeView>(dialog, "modelView");
        QVERIFY(view->model()->rowCount() >= 1 && view->model()->rowCount() < 5);
        const QModelIndexList dummy = view->model()->match(view->model()->index(0, 2), Qt::DisplayRole, "1", 1,
                                                           Qt::MatchExactly);
        QCOMPARE(dummy.size(), 1);
        view->setCurrentIndex(dummy.first());
        QCOMPARE(dialog.settings().rig.model, 1);
        QVERIFY(button(dialog, QDialogButtonBox::Ok)->isEnabled());

        QTest::mouseClick(button(dialog, QDialogButtonBox::Apply), Qt::LeftButton);
        QTest::mouseClick(button(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
        QCOMPARE(applied.count(), 2);
        QVERIFY(!dialog.isVisible());
        const auto settings = applied.last().first().value<BandFollowSettings>();
        QCOMPARE(settings.loggerPorts, QStringList({"12061", "239.255.0.1:2237"}));
        QCOMPARE(settings.hangMs, 250);
        QCOMPARE(settings.rig.model, 1);
    }

    // Narrowing the list never changes the chosen model; it shows again,
    // chosen, when the filter lets it.
    void modelFilterKeepsTheChoice()
    {
        BandFollowDialog dialog;
        BandFollowSettings settings;
        settings.rig.kind = RigSourceSettings::Kind::SerialRadio;
        settings.rig.model = 1;
        settings.rig.device = "/dev/ttyUSB1";
        dialog.setSettings(settings);
        QTreeView *view = child<QTreeView>(dialog, "modelView");
        const int all = view->model()->rowCount();
        QLineEdit *filter = child<QLineEdit>(dialog, "filterEdit");
        QTest::keyClicks(filter, "NET rigctl");
        QVERIFY(view->model()->rowCount() >= 1 && view->model()->rowCount() < all);
        QCOMPARE(dialog.settings().rig.model, 1);
        filter->clear();
        QCOMPARE(view->model()->rowCount(), all);
        QCOMPARE(view->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(view->selectionModel()->selectedRows().first().data().toString(), QString("Hamlib"));
        QCOMPARE(dialog.settings().rig.model, 1);

        // Filtered down to one model, Tab then Down chooses it.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        filter->setFocus();
        QTest::keyClicks(filter, "yaesu 991");
        QCOMPARE(view->model()->rowCount(), 1);
        QTest::keyClick(filter, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), view);
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(dialog.settings().rig.model, 1035);
    }

    // Every band of the plan, its antenna with the key's caption; the
    // operator's edits go out at once, filling the table sends nothing.
    void bandTable()
    {
        BandFollowDialog dialog;
        QSignalSpy edited(&dialog, &BandFollowDialog::bandAntennaEdited);
        dialog.setCaptions({"", "", "Yagi", "", "", "", "", "Dumy"});
        BandAntennas antennas = BandMemory::empty();
        const int twenty = BandPlan::bandForKey("20m");
        antennas[static_cast<size_t>(twenty)] = 2;
        dialog.setBandAntennas(antennas);
        QCOMPARE(edited.count(), 0);
        QCOMPARE(dialog.bandAntennas(), antennas);

        QList<QComboBox *> boxes;
        for (int band = 0; band < BandPlan::count; ++band)
            boxes << child<QComboBox>(dialog, "bandBox_" + BandPlan::key(band));
        QComboBox *box = boxes[twenty];
        QCOMPARE(box->currentText(), QString("3 Yagi"));
        QCOMPARE(box->itemText(8), QString("8 Dumy"));
        QCOMPARE(box->itemText(1), QString("1"));
        QCOMPARE(spokenLabel(box), QString("Antenna on 20 m"));
        QCOMPARE(QAccessible::queryAccessibleInterface(box)->relations(QAccessible::Label).first().first->text(
                     QAccessible::Name),
                 QString("20 m:"));

        dialog.show();
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(edited.count(), 1);
        QCOMPARE(edited.last(), QVariantList({twenty, 3}));
        QTest::keyClick(box, Qt::Key_Home);
        QCOMPARE(edited.last(), QVariantList({twenty, BandMemory::noAntenna}));

        // New captions keep each band's choice.
        dialog.setCaptions(CaptionsFile::Captions());
        QCOMPARE(box->currentIndex(), 0);
        antennas[static_cast<size_t>(twenty)] = 7;
        dialog.setBandAntennas(antennas);
        QCOMPARE(box->currentText(), QString("8"));

        // The live line is what a blind operator needs most here: a screen
        // reader gets its words, not only a fixed name.
        dialog.setLiveStatus(QString::fromUtf8("20 m \u00b7 held: TX"));
        QAccessibleInterface *live = QAccessible::queryAccessibleInterface(child<QLabel>(dialog, "liveLabel"));
        const QString heard = live->text(QAccessible::Name) + ' ' + live->text(QAccessible::Description) + ' '
                              + (live->textInterface() ? live->textInterface()->text(0, -1) : QString());
        QVERIFY2(heard.contains("held: TX"), qPrintable(heard));
    }

    // OK is enabled, so OK must do something: a speed left bad while the
    // serial radio was chosen counts for nothing once rigctld is chosen.
    void okNeverSilentlyRefuses()
    {
        BandFollowDialog dialog;
        QSignalSpy applied(&dialog, &BandFollowDialog::applied);
        dialog.show();
        child<QRadioButton>(dialog, "serialRigButton")->click();
        child<QComboBox>(dialog, "speedBox")->setEditText("abc");
        child<QRadioButton>(dialog, "rigctldButton")->click();
        QVERIFY(button(dialog, QDialogButtonBox::Ok)->isEnabled());
        button(dialog, QDialogButtonBox::Ok)->click();
        QCOMPARE(applied.count(), 1);
    }

    void brokerDialogWithoutStore()
    {
        BrokerDialog dialog(nullptr);
        QSignalSpy applied(&dialog, &BrokerDialog::applied);
        QVERIFY(child<QLabel>(dialog, "passwordStateLabel")->text().contains("kept for this run only"));
        QCOMPARE(child<QLineEdit>(dialog, "passwordEdit")->echoMode(), QLineEdit::Password);

        BrokerSettings settings;
        settings.mode = BrokerSettings::Mode::Publish;
        settings.host = "fd00::1";
        settings.port = 8884;
        settings.topic = "shack/switch";
        settings.user = "shack";
        settings.discovery = true;
        settings.discoveryPrefix = "ha";
        dialog.setSettings(settings);
        QVERIFY(dialog.settings() == settings);
        dialog.show();

        QLineEdit *host = child<QLineEdit>(dialog, "hostEdit");
        replaceText(host, "broker.lan:1884");
        QVERIFY(child<QLabel>(dialog, "hostProblem")->text().contains("own field"));
        QVERIFY(!button(dialog, QDialogButtonBox::Ok)->isEnabled());
        // Switched off, nothing is checked and nothing typed is lost.
        child<QRadioButton>(dialog, "offButton")->click();
        QVERIFY(button(dialog, QDialogButtonBox::Ok)->isEnabled());
        QVERIFY(!child<QGroupBox>(dialog, "connectionGroup")->isEnabled());
        child<QRadioButton>(dialog, "remoteButton")->click();
        QVERIFY(!button(dialog, QDialogButtonBox::Ok)->isEnabled());
        QVERIFY(!child<QGroupBox>(dialog, "discoveryGroup")->isEnabled());
        replaceText(host, "[::1]");
        QTest::keyClicks(child<QLineEdit>(dialog, "passwordEdit"), "s3cret pass");

        QTemporaryFile ca;
        QVERIFY(ca.open());
        child<QLineEdit>(dialog, "caFileEdit")->setText(ca.fileName());
        child<QLineEdit>(dialog, "portEdit")->clear();
        QCOMPARE(child<QLineEdit>(dialog, "portEdit")->placeholderText(), QString("8883"));

        QTest::mouseClick(button(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
        QCOMPARE(applied.count(), 1);
        const auto sent = applied.first()[0].value<BrokerSettings>();
        QCOMPARE(sent.mode, BrokerSettings::Mode::RemotePanel);
        QCOMPARE(sent.host, QString("::1"));
        QCOMPARE(sent.port, 0);
        QCOMPARE(sent.effectivePort(), 8883);
        QCOMPARE(sent.caFile, ca.fileName());
        QCOMPARE(applied.first()[1].toString(), QString("s3cret pass"));
    }

    // The grid of antennas by bands, worked from the keyboard: what it shows
    // of the rules, what it hands back, and a save that failed keeps it open.
    void antennaBands()
    {
        AntennaBandsDialog dialog;
        AntennaRules rules;
        rules.bands[5] = AntennaRules::Bands(1) << BandPlan::bandForKey("6m");
        rules.receiveOnlyMask = 1u << 6;
        dialog.setCaptions({"Yagi", "", "", "", "", "6m Y", "Beve", ""});
        dialog.setRules(rules);
        auto *grid = child<QTableWidget>(dialog, "bandGrid");
        const int sixMetres = BandPlan::bandForKey("6m");
        const int topBand = BandPlan::bandForKey("160m");
        QCOMPARE(grid->item(5, sixMetres)->checkState(), Qt::Checked);
        QCOMPARE(grid->item(5, topBand)->checkState(), Qt::Unchecked);
        QCOMPARE(grid->item(2, topBand)->checkState(), Qt::Checked);
        QCOMPARE(grid->item(6, BandPlan::count)->checkState(), Qt::Checked);
        QCOMPARE(grid->verticalHeaderItem(5)->text(), QString("Ant 6 6m Y"));
        QCOMPARE(grid->item(5, topBand)->data(Qt::AccessibleTextRole).toString(), QString("Antenna 6 6m Y on 160 m"));

        // Antenna 3 off 160 m, from the keyboard.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        grid->setFocus();
        grid->setCurrentCell(0, 0);
        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Down);
        for (int i = 0; i < topBand; ++i)
            QTest::keyClick(grid, Qt::Key_Right);
        QTest::keyClick(grid, Qt::Key_Space);
        QCOMPARE(grid->item(2, topBand)->checkState(), Qt::Unchecked);
        child<QCheckBox>(dialog, "refuseCheck")->setChecked(true);

        QList<AntennaRules> applied;
        connect(&dialog, &AntennaBandsDialog::applied, this, [&](const AntennaRules &r) {
            applied << r;
            dialog.setSaveProblem("Cannot write /x/antennas.ini: Permission denied The rules hold for this run only.");
        });
        button(dialog, QDialogButtonBox::Ok)->click();
        QCOMPARE(applied.size(), 1);
        QVERIFY(dialog.isVisible());
        const AntennaRules &r = applied.first();
        QCOMPARE(*r.bands[2], AntennaRules::everyBand & ~(AntennaRules::Bands(1) << topBand));
        QCOMPARE(*r.bands[5], AntennaRules::Bands(1) << sixMetres);
        QVERIFY(!r.bands[0]);
        QCOMPARE(int(r.receiveOnlyMask), 1 << 6);
        QVERIFY(r.refuseOffBand);
        dialog.setNotice("Lines of /x/antennas.ini that are ignored: line 4: there is no antenna '9' (antennas are 1 to 8).");
        checkWholeTextShows(dialog);
    }

    // Field errors and notes are read whole at the dialogs' own size: the
    // broker's with every field wrong and no secret store (said as soon as
    // it opens), band follow's with its own.
    void wholeTextsShow()
    {
        BrokerDialog broker(nullptr);
        BrokerSettings publish;
        publish.mode = BrokerSettings::Mode::Publish;
        broker.setSettings(publish);
        QVERIFY(child<QLabel>(broker, "passwordStateLabel")->text().contains("kept for this run only"));
        broker.show();
        replaceText(child<QLineEdit>(broker, "hostEdit"), "user:password@broker.lan:1884");
        replaceText(child<QLineEdit>(broker, "portEdit"), "seventy thousand");
        replaceText(child<QLineEdit>(broker, "topicEdit"), "shack/#/+");
        replaceText(child<QLineEdit>(broker, "userEdit"), "op");
        child<QCheckBox>(broker, "discoveryBox")->setChecked(true);
        replaceText(child<QLineEdit>(broker, "prefixEdit"), "home/+");
        checkWholeTextShows(broker);

        BandFollowDialog bandFollow;
        BandFollowSettings serial;
        serial.rig.kind = RigSourceSettings::Kind::SerialRadio;
        bandFollow.setSettings(serial);
        bandFollow.show();
        replaceText(child<QLineEdit>(bandFollow, "otherPortsEdit"), "twelve thousand 239.255.0.1:99999");
        replaceText(child<QLineEdit>(bandFollow, "sendersEdit"), "10.0.0.300/99 not-an-address");
        bandFollow.setLiveStatus("20 m · held: TX · rigctld answering · logger: UDP 12060 taken by another program · "
                                 "logger: no packet yet");
        checkWholeTextShows(bandFollow);
    }

    void readableAndInReadingOrder()
    {
        BandFollowDialog bandFollow;
        BandFollowSettings serial;
        serial.rig.kind = RigSourceSettings::Kind::SerialRadio;
        bandFollow.setSettings(serial);
        checkReadable(bandFollow);
        BrokerDialog broker(nullptr);
        BrokerSettings publish;
        publish.mode = BrokerSettings::Mode::Publish;
        broker.setSettings(publish);
        checkReadable(broker);
        CaptionsDialog captions;
        checkReadable(captions);
        AntennaBandsDialog antennaBands;
        checkReadable(antennaBands);
    }
};

QTEST_MAIN(tst_StationDialogs)
#include "tst_stationdialogs.moc"
