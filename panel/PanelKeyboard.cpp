#include "panel/PanelKeyboard.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QStringList>

namespace {

// In Tab order.
const QStringList focusableControls{
    QStringLiteral("botaoTecla1"), QStringLiteral("botaoTecla2"), QStringLiteral("botaoTecla3"),
    QStringLiteral("botaoTecla4"), QStringLiteral("botaoTecla5"), QStringLiteral("botaoTecla6"),
    QStringLiteral("botaoTecla7"), QStringLiteral("botaoTecla8"), QStringLiteral("split"),
    QStringLiteral("superSplit"),  QStringLiteral("rotor1"),      QStringLiteral("rotor2"),
    QStringLiteral("rotor3"),      QStringLiteral("rotor4"),
};

const QStringList indicators{
    QStringLiteral("send"),  QStringLiteral("power"), QStringLiteral("busy1"), QStringLiteral("busy2"),
    QStringLiteral("busy3"), QStringLiteral("busy4"), QStringLiteral("busy5"), QStringLiteral("busy6"),
    QStringLiteral("busy7"), QStringLiteral("busy8"),
};

} // namespace

PanelKeyboard::PanelKeyboard(QMainWindow *window)
    : QObject(window)
    , window(window)
{
    QWidget *previous = nullptr;
    for (const QString &name : focusableControls) {
        auto *control = window->findChild<QWidget *>(name);
        Q_ASSERT_X(control, "PanelKeyboard", qPrintable(name));
        control->setFocusPolicy(Qt::TabFocus);
        if (previous)
            QWidget::setTabOrder(previous, control);
        previous = control;
    }
    for (const QString &name : indicators) {
        auto *indicator = window->findChild<QWidget *>(name);
        Q_ASSERT_X(indicator, "PanelKeyboard", qPrintable(name));
        indicator->setFocusPolicy(Qt::NoFocus);
    }
    // The window itself holds the focus until Tab moves it, so a stray Space
    // or Enter presses nothing no one can see.
    window->setFocus(Qt::OtherFocusReason);
}

bool PanelKeyboard::keyPressed(const QKeyEvent *event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        auto *control = qobject_cast<QAbstractButton *>(window->focusWidget());
        if (!control || !control->isEnabled())
            return false;
        control->click();
        return true;
    }
    case Qt::Key_F10: {
        const QList<QAction *> menus = window->menuBar()->actions();
        if (menus.isEmpty())
            return false;
        window->menuBar()->setActiveAction(menus.first());
        return true;
    }
    default:
        return false;
    }
}
