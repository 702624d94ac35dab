#pragma once

#include <QDialog>

namespace Ui {
class about;
}

// The "About Veltrix" box: product title, version, the maker's notice and
// web address beside the logo. Plain labels only; it takes its look from the
// window it is opened over.
class about : public QDialog
{
    Q_OBJECT

public:
    explicit about(QWidget *parent = nullptr);
    ~about() override;

private:
    Ui::about *ui;
};
