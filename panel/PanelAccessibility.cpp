#include "panel/PanelAccessibility.h"

#include "panel/AccessibleTexts.h"
#include "panel/SpokenNotice.h"
#include "panel/SwitchAnnouncements.h"
#include "panel/SwitchSeam.h"

#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

namespace {

template<typename T> T *panelChild(QMainWindow *window, const QString &name)
{
    T *child = window->findChild<T *>(name);
    Q_ASSERT_X(child, "PanelAccessibility", qPrintable(name));
    return child;
}

// Setting a name or description sends its change event, so only a real
// change is set.
void setName(QWidget *widget, const QString &name)
{
    if (widget->accessibleName() != name)
        widget->setAccessibleName(name);
}

void setDescription(QWidget *widget, const QString &description)
{
    if (widget->accessibleDescription() != description)
        widget->setAccessibleDescription(description);
}

} // namespace

PanelAccessibility::PanelAccessibility(QMainWindow *window, SwitchSeam *seam)
    : QObject(window)
    , seam(seam)
{
    for (int i = 0; i < positionCount; ++i) {
        keys[static_cast<size_t>(i)] = panelChild<QPushButton>(window, QStringLiteral("botaoTecla%1").arg(i + 1));
        setName(panelChild<QRadioButton>(window, QStringLiteral("busy%1").arg(i + 1)), AccessibleTexts::busyName(i));
    }
    for (int n = 1; n <= rotorCount; ++n) {
        setDescription(panelChild<QRadioButton>(window, QStringLiteral("rotor%1").arg(n)),
                       AccessibleTexts::rotorDescription(n));
    }

    QStatusBar *statusBar = window->statusBar();
    spokenNotice = new SpokenNotice(statusBar);
    // Everything one frame or one command changes is said at once, after it.
    speakSoon.setSingleShot(true);
    speakSoon.setInterval(0);
    connect(&speakSoon, &QTimer::timeout, this, &PanelAccessibility::speak);
    connect(statusBar, &QStatusBar::messageChanged, this, [this](const QString &text) {
        if (!text.isEmpty())
            say({text});
    });

    shown = seam->snapshot();
    describeKeys(shown);
    connect(seam, &SwitchSeam::stateChanged, this, &PanelAccessibility::show);
    connect(seam, &SwitchSeam::keyAdviceChanged, this, [this] { describeKeys(shown); });
}

void PanelAccessibility::show(const SwitchSnapshot &snapshot)
{
    describeKeys(snapshot);
    say(SwitchAnnouncements::between(shown, snapshot));
    shown = snapshot;
}

void PanelAccessibility::describeKeys(const SwitchSnapshot &snapshot)
{
    for (int i = 0; i < positionCount; ++i) {
        setName(keys[static_cast<size_t>(i)], AccessibleTexts::keyName(snapshot, i));
        // What a feature adds, such as "not for 160 m".
        QStringList says{AccessibleTexts::keyDescription(snapshot, i), seam->keyAdvice().notes[static_cast<size_t>(i)]};
        says.removeAll(QString());
        setDescription(keys[static_cast<size_t>(i)], says.join(QStringLiteral(", ")));
    }
}

void PanelAccessibility::say(const QStringList &sentences)
{
    if (sentences.isEmpty())
        return;
    unsaid << sentences;
    speakSoon.start();
}

void PanelAccessibility::speak()
{
    // Status texts carry no full stop of their own; without one a screen
    // reader runs them into what follows.
    for (QString &sentence : unsaid) {
        if (!sentence.isEmpty() && !QStringLiteral(".!?:").contains(sentence.back()))
            sentence += QLatin1Char('.');
    }
    spokenNotice->announce(unsaid.join(QLatin1Char(' ')));
    unsaid.clear();
}
