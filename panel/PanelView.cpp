#include "panel/PanelView.h"

#include "panel/KeyPainting.h"

#include <QPushButton>
#include <QRadioButton>

PanelView::PanelView(const Widgets &widgets)
    : w(widgets)
{
}

PanelDisplay PanelView::current() const
{
    PanelDisplay display;
    display.keys = looks;
    for (size_t i = 0; i < w.busy.size(); ++i)
        display.busy[i] = w.busy[i]->isChecked();
    for (size_t i = 0; i < w.rotors.size(); ++i)
        display.rotors[i] = w.rotors[i]->isChecked();
    display.split = w.split->isChecked();
    display.send = w.send->isChecked();
    display.power = w.power->isChecked();
    display.superSplit = w.superSplit->isChecked();
    return display;
}

void PanelView::show(const PanelDisplay &display)
{
    for (size_t i = 0; i < w.keys.size(); ++i) {
        if (display.keys[i] != looks[i])
            w.keys[i]->setStyleSheet(KeyPainting::styleSheetFor(display.keys[i]));
    }
    looks = display.keys;
    for (size_t i = 0; i < w.busy.size(); ++i)
        w.busy[i]->setChecked(display.busy[i]);
    for (size_t i = 0; i < w.rotors.size(); ++i)
        w.rotors[i]->setChecked(display.rotors[i]);
    w.split->setChecked(display.split);
    w.send->setChecked(display.send);
    w.power->setChecked(display.power);
    w.superSplit->setChecked(display.superSplit);
}

QStringList PanelView::captions() const
{
    QStringList texts;
    for (const QPushButton *key : w.keys)
        texts << key->text();
    return texts;
}

void PanelView::setCaptions(const QStringList &captions)
{
    for (size_t i = 0; i < w.keys.size(); ++i)
        w.keys[i]->setText(captions.value(static_cast<int>(i)));
}
