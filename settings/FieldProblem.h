#pragma once

#include <QString>

class QDialogButtonBox;
class QLabel;
class QWidget;

// How the Station dialogs say what is wrong with a field: in a label under
// it, shown only while there is something to say, and as the field's
// accessible description, so a screen reader reads it with the field.
namespace FieldProblem {

void show(QLabel *label, QWidget *field, const QString &problem);
// OK and Apply only while every field is good.
void allowAccepting(QDialogButtonBox *buttons, bool good);

} // namespace FieldProblem
