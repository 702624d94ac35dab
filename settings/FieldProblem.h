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
// A text that needs more room than the dialog has (a wrapped problem or
// note): the dialog grows to show it whole.
void growToFit(QWidget *dialog);
// What could not be saved when OK or Apply was pressed, in a label above
// the buttons (empty hides it); the dialog then stays open. The label takes
// the keyboard focus, so a screen reader reads it at once.
void showSaveProblem(QLabel *label, const QString &problem);
// OK and Apply only while every field is good.
void allowAccepting(QDialogButtonBox *buttons, bool good);

} // namespace FieldProblem
