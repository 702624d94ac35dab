#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QString>

// Debian's Chromium, headless, as the web page's tests and bench drive it:
// a child process (headless_browser.py, Selenium) answering one request at a
// time. Every call waits for its answer; a failed one leaves the reason in
// errorString(). The browser ends with the object.
class HeadlessBrowser
{
public:
    HeadlessBrowser();
    ~HeadlessBrowser();
    HeadlessBrowser(const HeadlessBrowser &) = delete;
    HeadlessBrowser &operator=(const HeadlessBrowser &) = delete;

    // Starts Chromium, trusting the certificate authority in caFile for
    // HTTPS when given; false (and errorString()) when it cannot.
    bool start(const QString &caFile = QString());
    QString errorString() const { return error; }

    bool open(const QString &url);
    bool setSize(int width, int height);
    // Runs script in the page ("return ..." for a value).
    QJsonValue js(const QString &script, const QJsonArray &args = {});
    // The same in the page's first frame.
    QJsonValue frameJs(const QString &script);
    // Runs a script that calls its last argument with the value; waits up to timeoutMs.
    QJsonValue async(const QString &script, int timeoutMs, const QJsonArray &args = {});
    // Clicks the first element matching css. The monotonic times (ns) just
    // before the click was asked for and after it was done, or -1.
    bool click(const QString &css, qint64 *beforeNs = nullptr, qint64 *afterNs = nullptr);
    bool type(const QString &css, const QString &text);
    // Types at whatever has the focus.
    bool keys(const QString &text);
    bool screenshot(const QString &path);
    // A DevTools command, e.g. Page.setWebLifecycleState.
    bool devTools(const QString &command, const QJsonObject &params);
    // What the page logged to its console since the last call.
    QStringList consoleLog();

private:
    QJsonValue call(const QJsonObject &request, int timeoutMs, bool *ok = nullptr);

    QProcess process;
    QString error;
};
