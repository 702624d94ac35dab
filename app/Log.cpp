#include "app/Log.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>

namespace Log {

namespace {


// syslog's priorities, as the journal reads them at the start of a line.
int priority(Level level)
{
    switch (level) {
    case Level::Error:
        return 3;
    case Level::Warning:
        return 4;
    case Level::Info:
        break;
    }
    return 6;
}

QString levelName(Level level)
{
    switch (level) {
    case Level::Error:
        return QStringLiteral("error: ");
    case Level::Warning:
        return QStringLiteral("warning: ");
    case Level::Info:
        break;
    }
    return QStringLiteral("info: ");
}

void writeQtMessage(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    switch (type) {
    case QtCriticalMsg:
    case QtFatalMsg: // Qt ends the program itself once this returns.
        write(Level::Error, text);
        return;
    case QtWarningMsg:
        write(Level::Warning, text);
        return;
    case QtDebugMsg:
    case QtInfoMsg:
        break;
    }
    write(Level::Info, text);
}

} // namespace

void takeQtMessages()
{
    qInstallMessageHandler(writeQtMessage);
}

QString format(Level level, const QString &text, bool journal, const QString &timestamp)
{
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (journal)
        return QStringLiteral("<%1>%2").arg(priority(level)).arg(line);
    return QStringLiteral("%1: %2 %3%4").arg(QCoreApplication::applicationName(), timestamp, levelName(level), line);
}

void write(Level level, const QString &text)
{
    static const bool journal = qEnvironmentVariableIsSet("JOURNAL_STREAM");
    const QString timestamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    const QByteArray line = format(level, text, journal, timestamp).toUtf8();
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
}

} // namespace Log
