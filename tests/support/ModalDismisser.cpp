#include "support/ModalDismisser.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

ModalDismisser::ModalDismisser(int intervalMs)
{
    connect(&timer, &QTimer::timeout, this, &ModalDismisser::check);
    timer.start(intervalMs);
}

void ModalDismisser::check()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    seenTitles << modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        seenTexts << box->text();
        box->accept();
    } else {
        seenTexts << QString();
        modal->close();
    }
}
