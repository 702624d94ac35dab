#include "settings/BandFollowDialog.h"
#include "settings/FieldProblem.h"

#include "ui_BandFollowDialog.h"

#include "panel/DarkTheme.h"
#include "rig/HamlibModels.h"
#include "settings/BandFollowChecks.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>

namespace {

const QString radioInfoPort = QStringLiteral("12060");
const QString wsjtxPort = QStringLiteral("2237");

constexpr int bandColumns = 6;
constexpr int antennaChoiceLength = 8;
constexpr int modelNumberRole = Qt::UserRole + 1;
constexpr int searchTextRole = Qt::UserRole + 2;
const QString problemStyle = QStringLiteral("color: #ff7b6b;");

const int commonSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

enum ModelColumn { MakerColumn, ModelColumn, NumberColumn, StatusColumn, ModelColumns };

QString deviceName(const QSerialPortInfo &info)
{
#ifdef Q_OS_WIN
    return info.portName();
#else
    return info.systemLocation();
#endif
}

} // namespace

BandFollowDialog::BandFollowDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::BandFollowDialog)
    , models(new QStandardItemModel(this))
    , filteredModels(new QSortFilterProxyModel(this))
{
    qRegisterMetaType<BandFollowSettings>();
    ui->setupUi(this);
    setStyleSheet(darkThemeStyleSheet());
    for (QLabel *label : {ui->rigctldProblem, ui->modelProblem, ui->deviceProblem, ui->speedProblem,
                          ui->loggerPortsProblem, ui->sendersProblem, ui->hangProblem}) {
        label->setStyleSheet(problemStyle);
        label->hide();
    }

    fillModelList();

    ui->deviceBox->setInsertPolicy(QComboBox::NoInsert);
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ui->deviceBox->addItem(deviceName(info));
    ui->deviceBox->setCurrentIndex(-1);
    ui->speedBox->setInsertPolicy(QComboBox::NoInsert);
    ui->speedBox->addItem(tr("Default"));
    for (const int speed : commonSpeeds)
        ui->speedBox->addItem(QString::number(speed));

    ui->loggerRadioBox->addItem(tr("The active radio"));
    for (int radio = 1; radio <= BandFollowSettings::highestLoggerRadio; ++radio)
        ui->loggerRadioBox->addItem(tr("Radio %1").arg(radio));
    ui->hangBox->setRange(0, BandFollowSettings::longestHangMs);

    buildBandTable();

    const auto revalidate = [this] { validate(); };
    for (QRadioButton *button : {ui->noRigButton, ui->rigctldButton, ui->serialRigButton})
        connect(button, &QRadioButton::toggled, this, [this] { updateSourceFields(); validate(); });
    for (QLineEdit *edit : {ui->rigctldEdit, ui->otherPortsEdit, ui->sendersEdit})
        connect(edit, &QLineEdit::textChanged, this, revalidate);
    connect(ui->deviceBox, &QComboBox::currentTextChanged, this, revalidate);
    connect(ui->speedBox, &QComboBox::currentTextChanged, this, revalidate);
    // The box's own signals stay quiet while its text is no number at all
    // (emptied); its editor tells every change.
    connect(ui->hangBox->findChild<QLineEdit *>(), &QLineEdit::textChanged, this, revalidate);
    connect(ui->filterEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        // Every word typed must appear somewhere in maker, model or number.
        QString pattern = QStringLiteral("^");
        for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            pattern += QStringLiteral("(?=.*%1)").arg(QRegularExpression::escape(word));
        // The view moves its selection as rows come and go; that is not
        // the operator choosing.
        filtering = true;
        filteredModels->setFilterRegularExpression(
            QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption));
        selectChosenModel();
        filtering = false;
    });
    connect(ui->modelView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { modelPicked(); });

    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, [this](QAbstractButton *button) {
        const QDialogButtonBox::StandardButton which = ui->buttonBox->standardButton(button);
        if (which == QDialogButtonBox::Cancel) {
            reject();
            return;
        }
        if (!acceptable())
            return;
        setSaveProblem(QString());
        emit applied(settings());
        if (which == QDialogButtonBox::Ok && saveProblem.isEmpty())
            accept();
    });
    ui->saveProblemLabel->hide();

    setSettings(BandFollowSettings());
}

BandFollowDialog::~BandFollowDialog()
{
    delete ui;
}

void BandFollowDialog::fillModelList()
{
    models->setColumnCount(ModelColumns);
    models->setHorizontalHeaderLabels({tr("Maker"), tr("Model"), tr("Number"), tr("Status")});
    for (const HamlibModel &model : HamlibModels::all()) {
        QList<QStandardItem *> row;
        for (const QString &text : {model.maker, model.name, QString::number(model.number), model.status}) {
            auto *item = new QStandardItem(text);
            item->setEditable(false);
            row << item;
        }
        row[MakerColumn]->setData(model.number, modelNumberRole);
        row[MakerColumn]->setData(
            QStringLiteral("%1 %2 %3").arg(model.maker, model.name).arg(model.number), searchTextRole);
        models->appendRow(row);
    }
    filteredModels->setSourceModel(models);
    filteredModels->setFilterKeyColumn(MakerColumn);
    filteredModels->setFilterRole(searchTextRole);
    ui->modelView->setModel(filteredModels);
    ui->modelView->setSelectionMode(QAbstractItemView::SingleSelection);
    ui->modelView->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Measured once: a header that sizes itself to contents measures every
    // row again at each change.
    for (int column = 0; column < ModelColumns; ++column)
        ui->modelView->resizeColumnToContents(column);
    ui->modelView->header()->setStretchLastSection(true);
}

void BandFollowDialog::buildBandTable()
{
    auto *grid = ui->bandsLayout;
    QWidget *previous = ui->hangBox;
    for (int band = 0; band < BandPlan::count; ++band) {
        const int row = band / bandColumns;
        const int column = (band % bandColumns) * 2;
        auto *label = new QLabel(tr("%1:").arg(BandPlan::name(band)), ui->bandsGroup);
        label->setObjectName(QStringLiteral("bandLabel_%1").arg(BandPlan::key(band)));
        auto *box = new QComboBox(ui->bandsGroup);
        box->setObjectName(QStringLiteral("bandBox_%1").arg(BandPlan::key(band)));
        label->setBuddy(box);
        box->setAccessibleName(tr("Antenna on %1").arg(BandPlan::name(band)));
        // Room for "8 Dumy" beside the theme's wide arrow.
        box->setMinimumContentsLength(antennaChoiceLength);
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        fillAntennaChoices(box);
        grid->addWidget(label, row, column, Qt::AlignRight);
        grid->addWidget(box, row, column + 1);
        bandBoxes[static_cast<size_t>(band)] = box;
        // The operator's choice only: filling the table emits nothing.
        connect(box, QOverload<int>::of(&QComboBox::activated), this, [this, band](int index) {
            emit bandAntennaEdited(band, index == 0 ? BandMemory::noAntenna : index - 1);
        });
        // Bands in reading order, between the hang time and the buttons.
        setTabOrder(previous, box);
        previous = box;
    }
    setTabOrder(previous, ui->buttonBox);
}

void BandFollowDialog::fillAntennaChoices(QComboBox *box)
{
    const int index = box->currentIndex();
    box->clear();
    box->addItem(tr("None"));
    for (int position = 0; position < positionCount; ++position) {
        const QString caption = captions[static_cast<size_t>(position)];
        box->addItem(caption.isEmpty() ? QString::number(position + 1)
                                       : QStringLiteral("%1 %2").arg(position + 1).arg(caption));
    }
    box->setCurrentIndex(qMax(index, 0));
}

void BandFollowDialog::setSettings(const BandFollowSettings &settings)
{
    base = settings;
    switch (settings.rig.kind) {
    case RigSourceSettings::Kind::None:
        ui->noRigButton->setChecked(true);
        break;
    case RigSourceSettings::Kind::Rigctld:
        ui->rigctldButton->setChecked(true);
        break;
    case RigSourceSettings::Kind::SerialRadio:
        ui->serialRigButton->setChecked(true);
        break;
    }
    ui->rigctldEdit->setText(settings.rig.rigctldAddress);
    chooseModel(settings.rig.model);
    ui->deviceBox->setEditText(settings.rig.device);
    ui->speedBox->setEditText(settings.rig.speed == 0 ? tr("Default") : QString::number(settings.rig.speed));

    QStringList others;
    bool radioInfo = false;
    bool wsjtx = false;
    for (const QString &entry : settings.loggerPorts) {
        if (entry == radioInfoPort)
            radioInfo = true;
        else if (entry == wsjtxPort)
            wsjtx = true;
        else
            others << entry;
    }
    ui->radioInfoPortBox->setChecked(radioInfo);
    ui->wsjtxPortBox->setChecked(wsjtx);
    ui->otherPortsEdit->setText(others.join(QStringLiteral(", ")));
    ui->sendersEdit->setText(settings.allowedSenders.join(QStringLiteral(", ")));
    ui->loggerRadioBox->setCurrentIndex(qBound(0, settings.loggerRadio, BandFollowSettings::highestLoggerRadio));
    ui->hangBox->setValue(settings.hangMs);
    updateSourceFields();
    validate();
}

BandFollowSettings BandFollowDialog::settings() const
{
    BandFollowSettings settings = base;
    if (ui->rigctldButton->isChecked())
        settings.rig.kind = RigSourceSettings::Kind::Rigctld;
    else if (ui->serialRigButton->isChecked())
        settings.rig.kind = RigSourceSettings::Kind::SerialRadio;
    else
        settings.rig.kind = RigSourceSettings::Kind::None;
    settings.rig.rigctldAddress = ui->rigctldEdit->text().trimmed();
    settings.rig.model = chosenModel;
    settings.rig.device = ui->deviceBox->currentText().trimmed();
    int speed = 0;
    if (BandFollowChecks::checkSpeed(ui->speedBox->currentText(), &speed).isEmpty())
        settings.rig.speed = speed;

    settings.loggerPorts.clear();
    if (ui->radioInfoPortBox->isChecked())
        settings.loggerPorts << radioInfoPort;
    if (ui->wsjtxPortBox->isChecked())
        settings.loggerPorts << wsjtxPort;
    for (const QString &entry : BandFollowChecks::splitEntries(ui->otherPortsEdit->text())) {
        if (!settings.loggerPorts.contains(entry))
            settings.loggerPorts << entry;
    }
    settings.allowedSenders = BandFollowChecks::splitEntries(ui->sendersEdit->text());
    settings.loggerRadio = ui->loggerRadioBox->currentIndex();
    settings.hangMs = ui->hangBox->value();
    return settings;
}

bool BandFollowDialog::acceptable() const
{
    const BandFollowSettings current = settings();
    // The speed counts only while the radio on a serial port is chosen.
    const bool speedGood = current.rig.kind != RigSourceSettings::Kind::SerialRadio
                           || BandFollowChecks::checkSpeed(ui->speedBox->currentText()).isEmpty();
    return !BandFollowChecks::check(current).any() && speedGood && ui->hangBox->hasAcceptableInput();
}

void BandFollowDialog::setBandAntennas(const BandAntennas &antennas)
{
    for (int band = 0; band < BandPlan::count; ++band) {
        const int position = antennas[static_cast<size_t>(band)];
        bandBoxes[static_cast<size_t>(band)]->setCurrentIndex(isPosition(position) ? position + 1 : 0);
    }
}

BandAntennas BandFollowDialog::bandAntennas() const
{
    BandAntennas antennas = BandMemory::empty();
    for (int band = 0; band < BandPlan::count; ++band) {
        const int index = bandBoxes[static_cast<size_t>(band)]->currentIndex();
        antennas[static_cast<size_t>(band)] = index > 0 ? index - 1 : BandMemory::noAntenna;
    }
    return antennas;
}

void BandFollowDialog::setCaptions(const CaptionsFile::Captions &newCaptions)
{
    captions = newCaptions;
    for (QComboBox *box : bandBoxes)
        fillAntennaChoices(box);
}

void BandFollowDialog::setSaveProblem(const QString &problem)
{
    saveProblem = problem;
    FieldProblem::showSaveProblem(ui->saveProblemLabel, problem);
}

void BandFollowDialog::setLiveStatus(const QString &text)
{
    ui->liveLabel->setText(text);
    FieldProblem::growToFit(this);
}

void BandFollowDialog::chooseModel(int model)
{
    chosenModel = model;
    selectChosenModel();
    showModel();
}

// Shows the chosen model selected when the filter lets it show.
void BandFollowDialog::selectChosenModel()
{
    const int model = chosenModel;
    QItemSelectionModel *selection = ui->modelView->selectionModel();
    for (int row = 0; row < models->rowCount(); ++row) {
        if (models->item(row, MakerColumn)->data(modelNumberRole).toInt() != model)
            continue;
        const QModelIndex index = filteredModels->mapFromSource(models->index(row, MakerColumn));
        if (index.isValid()) {
            selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            ui->modelView->scrollTo(index);
            return;
        }
        break;
    }
    selection->clearSelection();
    // Nothing current either: the first arrow key in the list chooses a
    // row, even when the filter left only one.
    selection->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    chosenModel = model;
}

void BandFollowDialog::modelPicked()
{
    if (filtering)
        return;
    const QModelIndexList rows = ui->modelView->selectionModel()->selectedRows(MakerColumn);
    if (rows.isEmpty())
        return;
    chosenModel = rows.first().data(modelNumberRole).toInt();
    showModel();
    validate();
}

void BandFollowDialog::showModel()
{
    ui->chosenModelLabel->setText(chosenModel > 0 ? tr("Chosen: %1").arg(HamlibModels::describe(chosenModel))
                                                  : tr("Chosen: none"));
}

void BandFollowDialog::updateSourceFields()
{
    const bool rigctld = ui->rigctldButton->isChecked();
    const bool serial = ui->serialRigButton->isChecked();
    ui->rigctldEdit->setEnabled(rigctld);
    for (QWidget *field : std::initializer_list<QWidget *>{ui->filterLabel, ui->filterEdit, ui->modelListLabel,
                                                           ui->modelView, ui->chosenModelLabel, ui->deviceLabel,
                                                           ui->deviceBox, ui->speedLabel, ui->speedBox})
        field->setEnabled(serial);
}

void BandFollowDialog::validate()
{
    const BandFollowSettings current = settings();
    BandFollowChecks::Problems problems = BandFollowChecks::check(current);
    if (current.rig.kind == RigSourceSettings::Kind::SerialRadio)
        problems.speed = BandFollowChecks::checkSpeed(ui->speedBox->currentText());
    if (!ui->hangBox->hasAcceptableInput())
        problems.hangTime = BandFollowChecks::checkHangTime(-1);

    FieldProblem::show(ui->rigctldProblem, ui->rigctldEdit, problems.rigctldAddress);
    FieldProblem::show(ui->modelProblem, ui->modelView, problems.model);
    FieldProblem::show(ui->deviceProblem, ui->deviceBox, problems.device);
    FieldProblem::show(ui->speedProblem, ui->speedBox, problems.speed);
    FieldProblem::show(ui->loggerPortsProblem, ui->otherPortsEdit, problems.loggerPorts);
    FieldProblem::show(ui->sendersProblem, ui->sendersEdit, problems.allowedSenders);
    FieldProblem::show(ui->hangProblem, ui->hangBox, problems.hangTime);

    const bool good = !problems.any();
    FieldProblem::allowAccepting(ui->buttonBox, good);
}

