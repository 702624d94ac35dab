#include "settings/FieldProblem.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>

namespace FieldProblem {

void show(QLabel *label, QWidget *field, const QString &problem)
{
    label->setText(problem);
    label->setVisible(!problem.isEmpty());
    field->setAccessibleDescription(problem);
    growToFit(label->window());
}

void showSaveProblem(QLabel *label, const QString &problem)
{
    label->setText(problem);
    label->setAccessibleName(problem);
    label->setVisible(!problem.isEmpty());
    if (!problem.isEmpty()) {
        label->setFocusPolicy(Qt::TabFocus);
        label->setFocus();
    }
    growToFit(label->window());
}

void growToFit(QWidget *dialog)
{
    QLayout *layout = dialog->layout();
    if (!layout)
        return;
    layout->activate();
    const int width = dialog->width();
    const int needed = layout->hasHeightForWidth() ? layout->totalHeightForWidth(width)
                                                   : layout->totalSizeHint().height();
    if (needed > dialog->height())
        dialog->resize(width, needed);
}

void allowAccepting(QDialogButtonBox *buttons, bool good)
{
    buttons->button(QDialogButtonBox::Ok)->setEnabled(good);
    buttons->button(QDialogButtonBox::Apply)->setEnabled(good);
}

} // namespace FieldProblem
