#pragma once

#include "band/FollowRules.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// What the panel says of band follow, as plain text: the short label at the
// right of the status bar ("20 m", "20 m · held: TX", "Follow off") and the
// live line of its settings dialog, which adds each source's state.
namespace FollowStatus {

// The reason shown for a hold, or empty when it is not worth showing.
QString holdReason(FollowRules::Hold hold);

QString label(bool on, int band, FollowRules::Hold hold);

struct Sources
{
    enum class Rig { None, Connecting, Answering, NotAnswering };
    Rig rig = Rig::None;
    bool rigIsRigctld = false;
    bool listening = false;                  // logger ports open
    std::optional<qint64> sinceLastPacketMs; // none: no packet yet
    QStringList loggerPortsTaken;            // ports another program holds
};

QString liveLine(bool on, int band, FollowRules::Hold hold, const Sources &sources);

} // namespace FollowStatus
