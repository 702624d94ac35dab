#include "panel/SpokenNotice.h"

#include <QAccessible>
#include <QAccessibleObject>

namespace {

// Windows screen readers speak an alert raised on an object with the alert
// role; AT-SPI screen readers speak a notification when it becomes showing.
#ifdef Q_OS_WIN
constexpr QAccessible::Role noticeRole = QAccessible::AlertMessage;
constexpr QAccessible::Event noticeEvent = QAccessible::Alert;
#else
constexpr QAccessible::Role noticeRole = QAccessible::Notification;
constexpr QAccessible::Event noticeEvent = QAccessible::ObjectShow;
#endif

class SpokenNoticeAccessible : public QAccessibleObject
{
public:
    explicit SpokenNoticeAccessible(SpokenNotice *notice) : QAccessibleObject(notice) {}

    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(object()->parent());
    }
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? static_cast<const SpokenNotice *>(object())->text() : QString();
    }
    QAccessible::Role role() const override { return noticeRole; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.readOnly = true;
        return state;
    }
};

} // namespace

SpokenNotice::SpokenNotice(QObject *parent)
    : QObject(parent)
{
    // The accessibility cache owns the interface and drops it with this object.
    QAccessible::registerAccessibleInterface(new SpokenNoticeAccessible(this));
}

void SpokenNotice::announce(const QString &text)
{
    current = text;
    // Screen readers keep names they have read; the new one replaces it
    // before the notice is shown.
    QAccessibleEvent renamed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&renamed);
    QAccessibleEvent shown(this, noticeEvent);
    QAccessible::updateAccessibility(&shown);
}
