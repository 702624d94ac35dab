#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

// Watches for application-modal boxes while a test runs and closes each one
// it finds, remembering its title and text, so a box can never hang the suite.
class ModalDismisser : public QObject
{
public:
    explicit ModalDismisser(int intervalMs = 20);

    QStringList titles() const { return seenTitles; }
    QStringList texts() const { return seenTexts; }
    int count() const { return seenTitles.size(); }

private:
    void check();

    QTimer timer;
    QStringList seenTitles;
    QStringList seenTexts;
};
