#pragma once

#include "band/AntennaRules.h"
#include "settings/CaptionsFile.h"

#include <QDialog>

class QTableWidgetItem;

namespace Ui {
class AntennaBandsDialog;
}

// Lets the operator tick the bands each of the eight antennas may be used
// on, mark the antennas that only receive, and choose between a warning and
// a refusal for a select of an antenna not for the band. The dialog only
// edits values: whoever opens it saves what it hands back (AntennaFile).
class AntennaBandsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AntennaBandsDialog(QWidget *parent = nullptr);
    ~AntennaBandsDialog() override;

    void setRules(const AntennaRules &rules);
    // An antenna with every band ticked may be used on any band: no list.
    AntennaRules rules() const;
    // The rules as set last, as rules() gives them back before any edit.
    AntennaRules rulesShown() const { return shown; }
    // The rows are named after the keys.
    void setCaptions(const CaptionsFile::Captions &captions);
    // A line under the grid (the file's lines that are ignored); empty hides it.
    void setNotice(const QString &text);
    // What could not be saved of what applied() handed over: said in the
    // dialog, which then stays open. Called from a slot of applied().
    void setSaveProblem(const QString &problem);

signals:
    // OK or Apply: the rules to use and save.
    void applied(const AntennaRules &rules);

private:
    QTableWidgetItem *cell(int position, int column) const;
    int receiveOnlyColumn() const;
    void fitGrid();

    Ui::AntennaBandsDialog *ui = nullptr;
    QString saveProblem;
    AntennaRules shown;
};
