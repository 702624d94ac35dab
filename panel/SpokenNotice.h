#pragma once

#include <QObject>
#include <QString>

// A notice for screen readers: an object with no window and no pixels that
// the accessibility layer presents as a notification each time it is
// announced. Screen readers speak a notification wherever the keyboard focus
// is, which they do not do for a name or description that changes on a
// control without focus.
class SpokenNotice : public QObject
{
    Q_OBJECT

public:
    // parent is the widget the notice belongs to in the accessibility tree.
    explicit SpokenNotice(QObject *parent);

    QString text() const { return current; }
    void announce(const QString &text);

private:
    QString current;
};
