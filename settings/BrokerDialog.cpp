#include "settings/BrokerDialog.h"
#include "settings/FieldProblem.h"

#include "ui_BrokerDialog.h"

#include "panel/DarkTheme.h"
#include "remote/BrokerSettings.h"
#include "settings/BrokerChecks.h"

#include <QFileDialog>
#include <QPushButton>

namespace {

const QString problemStyle = QStringLiteral("color: #ff7b6b;");

} // namespace

BrokerDialog::BrokerDialog(SecretStore *store, const QString &profile, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::BrokerDialog)
    , store(store)
    , profile(profile)
{
    qRegisterMetaType<BrokerSettings>();
    ui->setupUi(this);
    setStyleSheet(darkThemeStyleSheet());
    for (QLabel *label : {ui->hostProblem, ui->portProblem, ui->topicProblem, ui->passwordProblem,
                          ui->caFileProblem, ui->prefixProblem}) {
        label->setStyleSheet(problemStyle);
        label->hide();
    }

    const auto revalidate = [this] {
        updateFields();
        validate();
    };
    for (QRadioButton *button : {ui->offButton, ui->publishButton, ui->remoteButton})
        connect(button, &QRadioButton::toggled, this, revalidate);
    for (QLineEdit *edit : {ui->hostEdit, ui->portEdit, ui->topicEdit, ui->userEdit, ui->passwordEdit,
                            ui->caFileEdit, ui->prefixEdit})
        connect(edit, &QLineEdit::textChanged, this, revalidate);
    connect(ui->discoveryBox, &QCheckBox::toggled, this, revalidate);
    connect(ui->passwordEdit, &QLineEdit::textEdited, this, [this] { passwordTyped = true; });
    connect(ui->caFileButton, &QPushButton::clicked, this, &BrokerDialog::chooseCaFile);

    if (store) {
        connect(store, &SecretStore::passwordRead, this, &BrokerDialog::passwordRead);
        connect(store, &SecretStore::passwordWritten, this, &BrokerDialog::passwordSaved);
        connect(store, &SecretStore::passwordRemoved, this, &BrokerDialog::passwordSaved);
    }

    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, [this](QAbstractButton *button) {
        const QDialogButtonBox::StandardButton which = ui->buttonBox->standardButton(button);
        if (which == QDialogButtonBox::Cancel) {
            reject();
            return;
        }
        if (!acceptable())
            return;
        setSaveProblem(QString());
        apply();
        if (which == QDialogButtonBox::Ok && saveProblem.isEmpty())
            accept();
    });
    ui->saveProblemLabel->hide();

    setSettings(BrokerSettings());
}

BrokerDialog::~BrokerDialog()
{
    delete ui;
}

void BrokerDialog::setSettings(const BrokerSettings &settings)
{
    base = settings;
    switch (settings.mode) {
    case BrokerSettings::Mode::Off:
        ui->offButton->setChecked(true);
        break;
    case BrokerSettings::Mode::Publish:
        ui->publishButton->setChecked(true);
        break;
    case BrokerSettings::Mode::RemotePanel:
        ui->remoteButton->setChecked(true);
        break;
    }
    ui->hostEdit->setText(settings.host);
    ui->portEdit->setText(settings.port == 0 ? QString() : QString::number(settings.port));
    ui->topicEdit->setText(settings.topic);
    ui->userEdit->setText(settings.user);
    ui->caFileEdit->setText(settings.caFile);
    ui->discoveryBox->setChecked(settings.discovery);
    ui->prefixEdit->setText(settings.discoveryPrefix);

    ui->passwordEdit->clear();
    passwordTyped = false;
    savedKey = secretKey(settings);
    savedPassword.clear();
    if (!store) {
        showPasswordState(SecretStore::State::RunOnly,
                          tr("No secret store is in use; the password is kept for this run only."));
    } else if (settings.host.isEmpty() || settings.user.isEmpty()) {
        showPasswordState(SecretStore::State::NotStored, QString());
        // Whether a secret store answers at all is said as the dialog opens,
        // before a password is typed: the answer for no login tells it.
        store->read(savedKey);
    } else {
        ui->passwordStateLabel->setText(tr("Asking the secret store for the password…"));
        store->read(savedKey);
    }
    updateFields();
    validate();
}

BrokerSettings BrokerDialog::settings() const
{
    BrokerSettings settings = base;
    if (ui->publishButton->isChecked())
        settings.mode = BrokerSettings::Mode::Publish;
    else if (ui->remoteButton->isChecked())
        settings.mode = BrokerSettings::Mode::RemotePanel;
    else
        settings.mode = BrokerSettings::Mode::Off;
    settings.host = BrokerChecks::plainHost(ui->hostEdit->text());
    int port = 0;
    if (BrokerChecks::checkPort(ui->portEdit->text(), &port).isEmpty())
        settings.port = port;
    settings.topic = ui->topicEdit->text();
    settings.user = ui->userEdit->text();
    settings.caFile = ui->caFileEdit->text().trimmed();
    settings.discovery = ui->discoveryBox->isChecked();
    settings.discoveryPrefix = ui->prefixEdit->text();
    return settings;
}

QString BrokerDialog::password() const
{
    return ui->passwordEdit->text();
}

bool BrokerDialog::acceptable() const
{
    const BrokerSettings current = settings();
    if (BrokerChecks::check(current, password()).any())
        return false;
    return current.mode == BrokerSettings::Mode::Off || BrokerChecks::checkPort(ui->portEdit->text()).isEmpty();
}

BrokerSecretKey BrokerDialog::secretKey(const BrokerSettings &settings) const
{
    BrokerSecretKey key;
    key.profile = profile;
    key.host = settings.host;
    key.port = settings.effectivePort();
    key.user = settings.user;
    return key;
}

void BrokerDialog::chooseCaFile()
{
    const QString chosen = QFileDialog::getOpenFileName(this, tr("CA file"), ui->caFileEdit->text(),
                                                        tr("Certificates (*.crt *.pem);;All files (*)"));
    if (!chosen.isEmpty())
        ui->caFileEdit->setText(chosen);
}

void BrokerDialog::apply()
{
    const BrokerSettings current = settings();
    const QString typed = password();
    const BrokerSecretKey key = secretKey(current);
    // The store is touched only for a password that changed or a login that
    // moved to another broker or user, and never for an empty login.
    if (store && current.mode != BrokerSettings::Mode::Off && !current.user.isEmpty()
        && !(key == savedKey && typed == savedPassword)) {
        ui->passwordStateLabel->setText(typed.isEmpty() ? tr("Removing the password from the secret store…")
                                                        : tr("Storing the password…"));
        savedKey = key;
        savedPassword = typed;
        if (typed.isEmpty())
            store->remove(key);
        else
            store->write(key, typed);
    }
    emit applied(current, typed);
}

void BrokerDialog::passwordRead(const BrokerSecretKey &key, SecretStore::State state, const QString &password,
                                const QString &message)
{
    if (!(key == savedKey))
        return;
    // What the operator typed meanwhile stands.
    if (!passwordTyped) {
        ui->passwordEdit->setText(password);
        savedPassword = password;
    }
    showPasswordState(state, message);
}

void BrokerDialog::passwordSaved(const BrokerSecretKey &key, SecretStore::State state, const QString &message)
{
    if (!(key == savedKey))
        return;
    showPasswordState(state, message);
}

void BrokerDialog::setSaveProblem(const QString &problem)
{
    saveProblem = problem;
    FieldProblem::showSaveProblem(ui->saveProblemLabel, problem);
}

void BrokerDialog::showPasswordState(SecretStore::State state, const QString &message)
{
    switch (state) {
    case SecretStore::State::Stored:
        ui->passwordStateLabel->setText(tr("The password is kept in the secret store."));
        break;
    case SecretStore::State::NotStored:
        ui->passwordStateLabel->setText(tr("No password is stored for this broker and user."));
        break;
    case SecretStore::State::RunOnly:
        ui->passwordStateLabel->setText(message);
        break;
    }
    FieldProblem::growToFit(this);
}

void BrokerDialog::updateFields()
{
    const bool on = !ui->offButton->isChecked();
    ui->connectionGroup->setEnabled(on);
    const bool publishing = ui->publishButton->isChecked();
    ui->discoveryGroup->setEnabled(publishing);
    ui->prefixEdit->setEnabled(publishing && ui->discoveryBox->isChecked());
    ui->portEdit->setPlaceholderText(QString::number(ui->caFileEdit->text().trimmed().isEmpty()
                                                         ? BrokerSettings::plainPort
                                                         : BrokerSettings::tlsPort));
}

void BrokerDialog::validate()
{
    const BrokerSettings current = settings();
    BrokerChecks::Problems problems = BrokerChecks::check(current, password());
    if (current.mode != BrokerSettings::Mode::Off)
        problems.port = BrokerChecks::checkPort(ui->portEdit->text());
    FieldProblem::show(ui->hostProblem, ui->hostEdit, problems.host);
    FieldProblem::show(ui->portProblem, ui->portEdit, problems.port);
    FieldProblem::show(ui->topicProblem, ui->topicEdit, problems.topic);
    FieldProblem::show(ui->passwordProblem, ui->passwordEdit, problems.password);
    FieldProblem::show(ui->caFileProblem, ui->caFileEdit, problems.caFile);
    FieldProblem::show(ui->prefixProblem, ui->prefixEdit, problems.discoveryPrefix);
    const bool good = !problems.any();
    FieldProblem::allowAccepting(ui->buttonBox, good);
}

