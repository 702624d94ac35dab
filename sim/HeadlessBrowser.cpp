#include "sim/HeadlessBrowser.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

constexpr int startTimeoutMs = 60000;
constexpr int callTimeoutMs = 30000;
constexpr int quitTimeoutMs = 10000;
const QString python = QStringLiteral("/usr/bin/python3");

} // namespace

HeadlessBrowser::HeadlessBrowser()
{
    process.setProcessChannelMode(QProcess::SeparateChannels);
    // Chromium's own chatter stays out of the test's output.
    process.setStandardErrorFile(QProcess::nullDevice());
}

HeadlessBrowser::~HeadlessBrowser()
{
    if (process.state() == QProcess::NotRunning)
        return;
    // Closing stdin ends the driver, which quits the browser and its driver.
    process.closeWriteChannel();
    if (!process.waitForFinished(quitTimeoutMs)) {
        process.kill();
        process.waitForFinished(quitTimeoutMs);
    }
}

bool HeadlessBrowser::start(const QString &caFile)
{
    QStringList arguments{QStringLiteral(TQX5R_HEADLESS_BROWSER_SCRIPT)};
    if (!caFile.isEmpty())
        arguments << QStringLiteral("--ca") << caFile;
    process.start(python, arguments);
    if (!process.waitForStarted(startTimeoutMs)) {
        error = QStringLiteral("cannot start %1: %2").arg(python, process.errorString());
        return false;
    }
    bool ok = false;
    call(QJsonObject(), startTimeoutMs, &ok);
    return ok;
}

QJsonValue HeadlessBrowser::call(const QJsonObject &request, int timeoutMs, bool *ok)
{
    if (ok)
        *ok = false;
    // The first answer comes unasked, once the browser is up.
    if (!request.isEmpty())
        process.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    QElapsedTimer clock;
    clock.start();
    while (!process.canReadLine()) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || process.state() != QProcess::Running) {
            error = QStringLiteral("no answer from the browser to %1").arg(request.value("op").toString("start"));
            return QJsonValue();
        }
        process.waitForReadyRead(static_cast<int>(qMin<qint64>(left, 100)));
    }
    const QJsonObject answer = QJsonDocument::fromJson(process.readLine()).object();
    if (!answer.value("ok").toBool()) {
        error = answer.value("error").toString(QStringLiteral("unreadable answer from the browser"));
        return QJsonValue();
    }
    if (ok)
        *ok = true;
    return answer.value("value");
}

bool HeadlessBrowser::open(const QString &url)
{
    bool ok = false;
    call({{"op", "open"}, {"url", url}}, callTimeoutMs, &ok);
    return ok;
}

bool HeadlessBrowser::setSize(int width, int height)
{
    bool ok = false;
    call({{"op", "size"}, {"width", width}, {"height", height}}, callTimeoutMs, &ok);
    return ok;
}

QJsonValue HeadlessBrowser::js(const QString &script, const QJsonArray &args)
{
    return call({{"op", "js"}, {"script", script}, {"args", args}}, callTimeoutMs);
}

QJsonValue HeadlessBrowser::frameJs(const QString &script)
{
    return call({{"op", "frame_js"}, {"script", script}}, callTimeoutMs);
}

QJsonValue HeadlessBrowser::async(const QString &script, int timeoutMs, const QJsonArray &args)
{
    return call({{"op", "async"}, {"script", script}, {"args", args}, {"timeout", timeoutMs / 1000.0}},
                timeoutMs + callTimeoutMs);
}

bool HeadlessBrowser::click(const QString &css, qint64 *beforeNs, qint64 *afterNs)
{
    bool ok = false;
    const QJsonObject stamps = call({{"op", "click"}, {"css", css}}, callTimeoutMs, &ok).toObject();
    if (beforeNs)
        *beforeNs = ok ? static_cast<qint64>(stamps.value("before").toDouble()) : -1;
    if (afterNs)
        *afterNs = ok ? static_cast<qint64>(stamps.value("after").toDouble()) : -1;
    return ok;
}

bool HeadlessBrowser::type(const QString &css, const QString &text)
{
    bool ok = false;
    call({{"op", "type"}, {"css", css}, {"text", text}}, callTimeoutMs, &ok);
    return ok;
}

bool HeadlessBrowser::keys(const QString &text)
{
    bool ok = false;
    call({{"op", "keys"}, {"text", text}}, callTimeoutMs, &ok);
    return ok;
}

bool HeadlessBrowser::screenshot(const QString &path)
{
    bool ok = false;
    call({{"op", "screenshot"}, {"path", path}}, callTimeoutMs, &ok);
    return ok;
}

bool HeadlessBrowser::devTools(const QString &command, const QJsonObject &params)
{
    bool ok = false;
    call({{"op", "cdp"}, {"cmd", command}, {"params", params}}, callTimeoutMs, &ok);
    return ok;
}

QStringList HeadlessBrowser::consoleLog()
{
    QStringList lines;
    for (const QJsonValue &line : call({{"op", "log"}}, callTimeoutMs).toArray())
        lines << line.toString();
    return lines;
}
