#pragma once

#include "settings/CaptionsFile.h"

#include <QDialog>

#include <array>

class QLineEdit;

namespace Ui {
class CaptionsDialog;
}

// Lets the operator type the eight antenna key captions. The dialog only
// edits values: whoever opens it saves what it hands back (CaptionsFile) and
// puts the captions on the keys.
class CaptionsDialog : public QDialog
{
    Q_OBJECT

public:
    // What could not be saved of what applied() handed over: said in the
    // dialog, which then stays open. Called from a slot of applied().
    void setSaveProblem(const QString &problem);

    explicit CaptionsDialog(QWidget *parent = nullptr);
    ~CaptionsDialog() override;

    // Fills the fields; each caption as it can be stored.
    void setCaptions(const CaptionsFile::Captions &captions);
    CaptionsFile::Captions captions() const;

    // A line under the fields, e.g. that the file beside the program wins at
    // start; empty hides it.
    void setNotice(const QString &text);

signals:
    // OK or Apply: the captions to show and save.
    void applied(const CaptionsFile::Captions &captions);

private:
    void keepStorable(QLineEdit *edit);

    Ui::CaptionsDialog *ui = nullptr;
    std::array<QLineEdit *, positionCount> edits{};
    QString saveProblem;
};
