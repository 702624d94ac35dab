#include "settings/FieldProblem.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>

namespace FieldProblem {

void show(QLabel *label, QWidget *field, const QString &problem)
{
    label->setText(problem);
    label->setVisible(!problem.isEmpty());
    field->setAccessibleDescription(problem);
}

void allowAccepting(QDialogButtonBox *buttons, bool good)
{
    buttons->button(QDialogButtonBox::Ok)->setEnabled(good);
    buttons->button(QDialogButtonBox::Apply)->setEnabled(good);
}

} // namespace FieldProblem
