#pragma once

#include "band/BandMemory.h"
#include "settings/CaptionsFile.h"
#include "settings/StationSettings.h"

#include <QDialog>

#include <array>

class QComboBox;
class QSortFilterProxyModel;
class QStandardItemModel;
class QWidget;

namespace Ui {
class BandFollowDialog;
}

// Band Follow Settings: where the radio's band comes from, the logger ports
// and who may send to them, the hang time, and the antenna remembered for
// each band. It edits values only: the settings go out on OK or Apply (never
// while a field is wrong, and each wrong field says why beside it); an edit
// in the band table goes out at once, and the table and the live line are
// filled by whoever runs band follow.
class BandFollowDialog : public QDialog
{
    Q_OBJECT

public:
    // What could not be saved of what applied() handed over: said in the
    // dialog, which then stays open. Called from a slot of applied().
    void setSaveProblem(const QString &problem);

    explicit BandFollowDialog(QWidget *parent = nullptr);
    ~BandFollowDialog() override;

    void setSettings(const BandFollowSettings &settings);
    // What the fields hold now; whether it can run says problems().
    BandFollowSettings settings() const;
    bool acceptable() const;

    // The antenna of each band (0..7 or BandMemory::noAntenna), e.g. after
    // band follow learned one. Emits nothing.
    void setBandAntennas(const BandAntennas &antennas);
    BandAntennas bandAntennas() const;
    // The keys' captions, shown beside the antenna numbers ("3 Yagi").
    void setCaptions(const CaptionsFile::Captions &captions);

    // The band, each source's state and what holds band follow back, as one
    // line of text.
    void setLiveStatus(const QString &text);

signals:
    // OK or Apply with every field good.
    void applied(const BandFollowSettings &settings);
    // The operator chose another antenna for a band in the table: a position
    // 0..7, or BandMemory::noAntenna to forget the band.
    void bandAntennaEdited(int band, int position);

private:
    void fillModelList();
    void buildBandTable();
    void fillAntennaChoices(QComboBox *box);
    void chooseModel(int model);
    void selectChosenModel();
    void modelPicked();
    void showModel();
    void updateSourceFields();
    void validate();

    Ui::BandFollowDialog *ui = nullptr;
    QStandardItemModel *models = nullptr;
    QSortFilterProxyModel *filteredModels = nullptr;
    std::array<QComboBox *, BandPlan::count> bandBoxes{};
    CaptionsFile::Captions captions;
    BandFollowSettings base;  // what setSettings() gave, for the fields the dialog does not show
    int chosenModel = 0;
    bool filtering = false;
    QString saveProblem;
};
