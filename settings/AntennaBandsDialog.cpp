#include "settings/AntennaBandsDialog.h"
#include "settings/FieldProblem.h"

#include "ui_AntennaBandsDialog.h"

#include "panel/AccessibleTexts.h"
#include "panel/DarkTheme.h"

#include <QHeaderView>
#include <QPushButton>

AntennaBandsDialog::AntennaBandsDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::AntennaBandsDialog)
{
    ui->setupUi(this);
    setStyleSheet(darkThemeStyleSheet());
    QTableWidget *grid = ui->bandGrid;
    grid->setRowCount(positionCount);
    grid->setColumnCount(BandPlan::count + 1);
    QStringList columns;
    for (int band = 0; band < BandPlan::count; ++band)
        columns << BandPlan::key(band);
    columns << tr("RX only");
    grid->setHorizontalHeaderLabels(columns);
    for (int p = 0; p < positionCount; ++p) {
        for (int column = 0; column <= BandPlan::count; ++column) {
            auto *item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            item->setCheckState(Qt::Unchecked);
            grid->setItem(p, column, item);
        }
    }
    setCaptions(CaptionsFile::Captions());
    setRules(AntennaRules());
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    grid->setCurrentCell(0, 0, QItemSelectionModel::NoUpdate);
    ui->noticeLabel->hide();
    ui->saveProblemLabel->hide();

    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, [this](QAbstractButton *button) {
        switch (ui->buttonBox->standardButton(button)) {
        case QDialogButtonBox::Ok:
            setSaveProblem(QString());
            emit applied(rules());
            if (saveProblem.isEmpty())
                accept();
            break;
        case QDialogButtonBox::Apply:
            setSaveProblem(QString());
            emit applied(rules());
            break;
        default:
            reject();
            break;
        }
    });
}

AntennaBandsDialog::~AntennaBandsDialog()
{
    delete ui;
}

int AntennaBandsDialog::receiveOnlyColumn() const
{
    return BandPlan::count;
}

QTableWidgetItem *AntennaBandsDialog::cell(int position, int column) const
{
    return ui->bandGrid->item(position, column);
}

void AntennaBandsDialog::setRules(const AntennaRules &rules)
{
    for (int p = 0; p < positionCount; ++p) {
        for (int band = 0; band < BandPlan::count; ++band) {
            const bool allowed = rules.allowedOn(p, band);
            cell(p, band)->setCheckState(allowed ? Qt::Checked : Qt::Unchecked);
        }
        cell(p, receiveOnlyColumn())->setCheckState(rules.receiveOnly(p) ? Qt::Checked : Qt::Unchecked);
    }
    ui->refuseCheck->setChecked(rules.refuseOffBand);
    shown = this->rules();
}

AntennaRules AntennaBandsDialog::rules() const
{
    AntennaRules rules;
    for (int p = 0; p < positionCount; ++p) {
        AntennaRules::Bands bands = 0;
        for (int band = 0; band < BandPlan::count; ++band) {
            if (cell(p, band)->checkState() == Qt::Checked)
                bands |= AntennaRules::Bands(1) << band;
        }
        if (bands != AntennaRules::everyBand)
            rules.bands[static_cast<size_t>(p)] = bands;
        if (cell(p, receiveOnlyColumn())->checkState() == Qt::Checked)
            rules.receiveOnlyMask |= static_cast<quint8>(1u << p);
    }
    rules.refuseOffBand = ui->refuseCheck->isChecked();
    return rules;
}

void AntennaBandsDialog::setCaptions(const CaptionsFile::Captions &captions)
{
    QStringList rows;
    for (int p = 0; p < positionCount; ++p) {
        const QString caption = AccessibleTexts::speakable(captions[static_cast<size_t>(p)]);
        const QString row = caption.isEmpty() ? tr("Ant %1").arg(p + 1) : tr("Ant %1 %2").arg(p + 1).arg(caption);
        rows << row;
        // What a screen reader says of each cell, beside ticked or not.
        const QString antenna = AccessibleTexts::keyName(p, captions[static_cast<size_t>(p)]);
        for (int band = 0; band < BandPlan::count; ++band)
            cell(p, band)->setData(Qt::AccessibleTextRole, tr("%1 on %2").arg(antenna, BandPlan::name(band)));
        cell(p, receiveOnlyColumn())->setData(Qt::AccessibleTextRole, tr("%1 receive only").arg(antenna));
    }
    ui->bandGrid->setVerticalHeaderLabels(rows);
    fitGrid();
}

void AntennaBandsDialog::fitGrid()
{
    // The whole grid shows, without scrolling: the dialog is as large as it,
    // measured in the theme's fonts and padding.
    QTableWidget *grid = ui->bandGrid;
    grid->ensurePolished();
    grid->horizontalHeader()->ensurePolished();
    grid->verticalHeader()->ensurePolished();
    grid->resizeColumnsToContents();
    grid->resizeRowsToContents();
    int width = grid->verticalHeader()->sizeHint().width() + 2 * grid->frameWidth();
    for (int column = 0; column < grid->columnCount(); ++column)
        width += grid->columnWidth(column);
    int height = grid->horizontalHeader()->sizeHint().height() + 2 * grid->frameWidth();
    for (int row = 0; row < grid->rowCount(); ++row)
        height += grid->rowHeight(row);
    grid->setMinimumSize(width, height);
}

void AntennaBandsDialog::setNotice(const QString &text)
{
    ui->noticeLabel->setText(text);
    ui->noticeLabel->setVisible(!text.isEmpty());
    FieldProblem::growToFit(this);
}

void AntennaBandsDialog::setSaveProblem(const QString &problem)
{
    saveProblem = problem;
    FieldProblem::showSaveProblem(ui->saveProblemLabel, problem);
}
