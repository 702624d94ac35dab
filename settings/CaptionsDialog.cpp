#include "settings/CaptionsDialog.h"
#include "settings/FieldProblem.h"

#include "ui_CaptionsDialog.h"

#include "panel/DarkTheme.h"

#include <QPushButton>

CaptionsDialog::CaptionsDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::CaptionsDialog)
{
    qRegisterMetaType<CaptionsFile::Captions>();
    ui->setupUi(this);
    setStyleSheet(darkThemeStyleSheet());
    edits = {ui->key1Edit, ui->key2Edit, ui->key3Edit, ui->key4Edit,
             ui->key5Edit, ui->key6Edit, ui->key7Edit, ui->key8Edit};
    for (QLineEdit *edit : edits)
        connect(edit, &QLineEdit::textEdited, this, [this, edit] { keepStorable(edit); });
    ui->noticeLabel->hide();
    ui->saveProblemLabel->hide();

    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, [this](QAbstractButton *button) {
        switch (ui->buttonBox->standardButton(button)) {
        case QDialogButtonBox::Ok:
            setSaveProblem(QString());
            emit applied(captions());
            if (saveProblem.isEmpty())
                accept();
            break;
        case QDialogButtonBox::Apply:
            setSaveProblem(QString());
            emit applied(captions());
            break;
        default:
            reject();
            break;
        }
    });
}

CaptionsDialog::~CaptionsDialog()
{
    delete ui;
}

void CaptionsDialog::setCaptions(const CaptionsFile::Captions &captions)
{
    for (size_t key = 0; key < edits.size(); ++key)
        edits[key]->setText(CaptionsFile::normalized(captions[key]));
}

CaptionsFile::Captions CaptionsDialog::captions() const
{
    CaptionsFile::Captions captions;
    for (size_t key = 0; key < edits.size(); ++key)
        captions[key] = CaptionsFile::normalized(edits[key]->text());
    return captions;
}

void CaptionsDialog::setSaveProblem(const QString &problem)
{
    saveProblem = problem;
    FieldProblem::showSaveProblem(ui->saveProblemLabel, problem);
}

void CaptionsDialog::setNotice(const QString &text)
{
    ui->noticeLabel->setText(text);
    ui->noticeLabel->setVisible(!text.isEmpty());
    FieldProblem::growToFit(this);
}

// A field holds only what can be stored: a longer word typed or pasted is cut
// to four units at once (never inside a character), so what the operator sees
// is what the key will show.
void CaptionsDialog::keepStorable(QLineEdit *edit)
{
    const QString text = edit->text();
    QString storable = CaptionsFile::normalized(text);
    // A character outside the Basic Multilingual Plane may arrive in two
    // halves; the first waits for the second while there is room for both.
    if (!text.isEmpty() && text.back().isHighSurrogate() && storable.size() + 2 <= CaptionsFile::maxUnits)
        storable += text.back();
    if (storable == text)
        return;
    const int cursor = edit->cursorPosition();
    edit->setText(storable);
    edit->setCursorPosition(qMin(cursor, storable.size()));
}
