#include "rig/HamlibPoller.h"

#include "rig/PortRefusal.h"

#include <hamlib/rig.h>

namespace {

// A rigctld that went away must not keep a poll, or the panel's shutdown,
// waiting long; its answers over loopback or a LAN take milliseconds.
constexpr const char *networkTimeoutMs = "800";
constexpr const char *networkRetries = "0";
// A radio on a serial line keeps its model's timeout but retries less, so a
// radio that is switched off is noticed in a second or two.
constexpr const char *serialRetries = "1";

bool setConf(RIG *rig, const char *name, const QString &value)
{
    const token_t token = rig_token_lookup(rig, name);
    return token != RIG_CONF_END && rig_set_conf(rig, token, value.toLocal8Bit().constData()) == RIG_OK;
}

} // namespace

HamlibPoller::HamlibPoller(const HamlibSettings &settings, QObject *parent)
    : QObject(parent)
    , settings(settings)
    , sourceName(QStringLiteral("hamlib %1 %2").arg(settings.model).arg(settings.file))
    , pollTimer(this)
    , retryTimer(this)
{
    qRegisterMetaType<RigReading>();
    // A coarse timer may stretch each interval by a twentieth; the poll is
    // most of the time a band change takes to reach the switch.
    pollTimer.setTimerType(Qt::PreciseTimer);
    pollTimer.setInterval(settings.pollMs);
    connect(&pollTimer, &QTimer::timeout, this, &HamlibPoller::poll);
    retryTimer.setSingleShot(true);
    retryTimer.setInterval(settings.retryMs);
    connect(&retryTimer, &QTimer::timeout, this, &HamlibPoller::retry);
}

HamlibPoller::~HamlibPoller()
{
    close();
}

bool HamlibPoller::knownModel(int model)
{
    silenceHamlib();
    rig_load_all_backends();
    return model > 0 && rig_get_caps(static_cast<rig_model_t>(model)) != nullptr;
}

void HamlibPoller::silenceHamlib()
{
    rig_set_debug(RIG_DEBUG_NONE);
}

void HamlibPoller::start()
{
    retry();
}

bool HamlibPoller::open()
{
    silenceHamlib();
    openRefusal.clear();
    rig = rig_init(static_cast<rig_model_t>(settings.model));
    if (!rig)
        return false;
    const bool network = settings.model == HamlibSettings::rigctldModel;
    bool configured = setConf(rig, "retry", QString::fromLatin1(network ? networkRetries : serialRetries));
    if (network)
        configured = setConf(rig, "timeout", QString::fromLatin1(networkTimeoutMs)) && configured;
    if (!settings.file.isEmpty())
        configured = setConf(rig, "rig_pathname", settings.file) && configured;
    // As rigctl -s sets it: the port's rate, which a network rig ignores.
    if (settings.speed > 0)
        rig->state.rigport.parm.serial.rate = settings.speed;
    if (!configured || rig_open(rig) != RIG_OK) {
        if (rig->state.rigport.type.rig == RIG_PORT_SERIAL)
            openRefusal = PortRefusal::check(QString::fromLocal8Bit(rig->state.rigport.pathname));
        close();
        return false;
    }
    // Hamlib answers from a cache for half a second by default: a band
    // change would show late, and a radio that starts transmitting would
    // look idle for that long.
    rig_set_cache_timeout_ms(rig, HAMLIB_CACHE_ALL, 0);
    return true;
}

void HamlibPoller::close()
{
    if (!rig)
        return;
    // rig_close on a rig that never opened is refused; rig_cleanup frees either.
    rig_close(rig);
    rig_cleanup(rig);
    rig = nullptr;
}

void HamlibPoller::retry()
{
    if (!rig && !open()) {
        failed(true);
        return;
    }
    if (poll())
        pollTimer.start();
}

bool HamlibPoller::poll()
{
    openRefusal.clear();
    freq_t frequency = 0;
    const int frequencyResult = rig_get_freq(rig, RIG_VFO_CURR, &frequency);
    if (frequencyResult != RIG_OK) {
        failed(connectionLost(frequencyResult));
        return false;
    }
    ptt_t ptt = RIG_PTT_OFF;
    const int pttResult = rig_get_ptt(rig, RIG_VFO_CURR, &ptt);
    // A radio that cannot report PTT is taken as receiving; any other
    // failure means it has stopped answering.
    if (pttResult != RIG_OK && pttResult != -RIG_ENAVAIL && pttResult != -RIG_ENIMPL) {
        failed(connectionLost(pttResult));
        return false;
    }
    const bool transmitting = pttResult == RIG_OK && ptt != RIG_PTT_OFF;
    // Only an answer counts: a rigctld whose radio is off still accepts the
    // connection.
    if (outageReported)
        emit statusText(tr("Rig answering again"));
    if (outageReported || !answered)
        emit answering(true);
    outageReported = false;
    answered = true;
    publish(RigReading::at(sourceName, frequency, transmitting));
    return true;
}

bool HamlibPoller::connectionLost(int result)
{
    // A radio that does not answer times out; a port or rigctld that is gone
    // fails with an I/O error.
    return result == -RIG_EIO || result == -RIG_EPROTO;
}

void HamlibPoller::failed(bool reopen)
{
    pollTimer.stop();
    // Opening again costs Hamlib memory it never gives back, so a link that
    // still stands is kept and asked again later.
    if (reopen)
        close();
    // A radio that went quiet while transmitting may be transmitting still:
    // band follow stays held until it answers again.
    publish(RigReading::none(sourceName, lastReading.transmitting));
    // A port refused says so, and says it again if the reason changes.
    const QString text = openRefusal.isEmpty() ? tr("Rig not answering") : openRefusal;
    if (!outageReported || text != outageText)
        emit statusText(text);
    if (!outageReported)
        emit answering(false);
    outageReported = true;
    outageText = text;
    retryTimer.start();
}

void HamlibPoller::publish(const RigReading &next)
{
    if (published && next == lastReading)
        return;
    published = true;
    lastReading = next;
    emit reading(next);
}
