// tqx5r-bench: the panel's figures. "tqx5r-bench all" runs every measurement
// a few times, each in a fresh process, and prints one table; the other
// commands run one measurement once and print RESULT lines.

#include "bench/BenchSupport.h"
#include "bench/Commands.h"
#include "bench/Processes.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFont>
#include <QMap>
#include <QSysInfo>
#include <QTextStream>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <memory>

#include <unistd.h>

namespace {

using Results = QMap<QString, QVector<double>>;

// Runs "tqx5r-bench <command> <argument> [extra...]" and adds its RESULT lines.
bool measure(Results &results, const QString &command, const QString &argument, const QStringList &extra = {})
{
    Child child(Programs::bench(), QStringList{command, argument} + extra);
    child.handle().setProcessChannelMode(QProcess::SeparateChannels);
    if (!child.waitStarted())
        return false;
    for (;;) {
        const QByteArray line = child.waitForLine("RESULT ", 30 * 60 * 1000);
        if (line.isEmpty())
            break;
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 3)
            results[QString::fromLatin1(parts.at(1))] << parts.at(2).toDouble();
    }
    child.handle().waitForFinished(10000);
    // Qt's own chatter about the offscreen platform is left out.
    for (const QByteArray &line : child.readAllStderr().split('\n')) {
        if (!line.isEmpty() && !line.contains("XDG_RUNTIME_DIR") && !line.contains("propagateSizeHints"))
            Bench::note(QString::fromLocal8Bit(line));
    }
    const bool ok = child.handle().exitStatus() == QProcess::NormalExit && child.handle().exitCode() == 0;
    if (!ok)
        Bench::note(QStringLiteral("tqx5r-bench %1 %2 failed").arg(command, argument));
    return ok;
}

struct Row
{
    QString key;
    QString label;
    bool higherIsBetter;
    int decimals;
    QString target;
};

QString number(double value, int decimals)
{
    if (std::isnan(value))
        return QStringLiteral("–");
    return QString::number(value, 'f', decimals);
}

QString firstLine(const QString &path, const QString &prefix)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(prefix.toLatin1()))
            return QString::fromLatin1(line.mid(line.indexOf(':') + 1)).trimmed();
    }
    return QString();
}

QString table(const Results &results, const QList<Row> &rows, bool quick, int frames, int presses, int samples,
              int bandChanges, int cpuSeconds, int memorySeconds)
{
    QString out;
    QTextStream text(&out);
    text << "Measured " << QDateTime::currentDateTime().toString(Qt::ISODate) << " on "
         << firstLine(QStringLiteral("/proc/cpuinfo"), QStringLiteral("model name")) << ", " << ::sysconf(_SC_NPROCESSORS_ONLN)
         << " cores, " << QSysInfo::kernelType() << " " << QSysInfo::kernelVersion() << ", Qt " << qVersion()
         << ", Release build, offscreen platform" << (quick ? ", quick mode" : "") << ".\n\n";
    text << "Median and worst of the runs; the worst is the highest, or the lowest where more is better.\n"
         << "Line speed: " << frames << " status frames back to back at 9600 baud, into a receive step run every 25 ms; "
         << "key to wire: " << presses << " F-key presses; switch to screen: " << samples
         << " status frames that move the active key; band follow: " << bandChanges
         << " band changes from each source; CPU: " << cpuSeconds << " s of tqx5r-panel; memory: "
         << memorySeconds << " s of random operation.\n\n";
    text << "| Figure | Median | Worst | Target | Runs |\n|---|---:|---:|---|---:|\n";
    for (const Row &row : rows) {
        const QVector<double> values = results.value(row.key);
        if (values.isEmpty() && row.target.isEmpty())
            continue;
        double worst = std::nan("");
        for (double value : values) {
            if (std::isnan(worst) || (row.higherIsBetter ? value < worst : value > worst))
                worst = value;
        }
        text << "| " << row.label << " | " << number(Bench::median(values), row.decimals) << " | "
             << number(worst, row.decimals) << " | " << row.target << " | " << values.size() << " |\n";
    }
    return out;
}

QString worstOf(const QVector<double> &values)
{
    return values.isEmpty() ? QStringLiteral("–") : number(*std::max_element(values.begin(), values.end()), 2);
}

} // namespace

// Idle CPU of every mode, this build's panels beside another build's in the
// same seconds, so the two are compared on one machine at one time.
int runAgainst(const QString &before, const QString &label, int runs, int seconds)
{
    Results results;
    bool ok = true;
    for (const QString &command : {QStringLiteral("cpu"), QStringLiteral("mqtt-cpu")}) {
        for (int run = 1; run <= runs; ++run) {
            Bench::note(QStringLiteral("== %1 beside %2, run %3 of %4").arg(command, label).arg(run).arg(runs));
            ok = measure(results, command, QString::number(seconds), {QStringLiteral("--against"), before}) && ok;
        }
    }
    const QList<QPair<QString, QString>> modes{
        {"cpu.connected", "`--port`, connected to `tqx5r-sim`"},
        {"cpu.disconnected", "no port, disconnected"},
        {"cpu.headless", "`--headless --port`, connected"},
        {"cpu.vanished", "after the device vanished (one box up)"},
        {"cpu.retrying", "`--reconnect`, retrying the vanished device every 5 s"},
        {"mqtt.cpu.owner", "`--mqtt`, connected, relaying every frame"},
        {"mqtt.cpu.remote", "`--remote`, showing it"},
        {"mqtt.cpu.headless_owner", "`--headless --mqtt`, connected, on a switch and topic of its own"},
    };
    QString out;
    QTextStream text(&out);
    text << "Idle CPU, % of one core, " << runs << " runs of " << seconds << " s, side by side with " << label
         << " (" << QSysInfo::prettyProductName() << ", " << ::sysconf(_SC_NPROCESSORS_ONLN) << " cores)\n\n"
         << "| Mode | Before: median / worst | Now: median / worst | Now / before | Target |\n"
         << "|---|---:|---:|---:|---|\n";
    for (const auto &mode : modes) {
        const QVector<double> now = results.value(mode.first);
        const QVector<double> then = results.value(QStringLiteral("before.") + mode.first);
        const double ratio = Bench::median(now) / Bench::median(then);
        text << "| " << mode.second << " | " << number(Bench::median(then), 2) << " / " << worstOf(then) << " | "
             << number(Bench::median(now), 2) << " / " << worstOf(now) << " | " << number(ratio, 2) << " | < 0.5 |\n";
    }
    text.flush();
    std::fputs(out.toUtf8().constData(), stdout);
    std::fflush(stdout);
    return ok ? 0 : 1;
}

int runAll(bool quick, const QString &writePath)
{
    const int runs = quick ? 1 : 3;
    const int frames = quick ? 300 : 1000;
    const int presses = quick ? 50 : 200;
    const int samples = quick ? 50 : 150;
    const int bandChanges = quick ? 20 : 60;
    const int cpuSeconds = quick ? 5 : 20;
    const int memorySeconds = quick ? 10 : 60;
    const int startups = quick ? 2 : 5;
    const int floodSeconds = quick ? 6 : 20;
    const int webSamples = quick ? 30 : 100;

    Results results;
    bool ok = true;
    const auto repeat = [&](int count, const QString &command, const QString &argument, const QString &what) {
        for (int run = 1; run <= count; ++run) {
            Bench::note(QStringLiteral("== %1, run %2 of %3").arg(what).arg(run).arg(count));
            ok = measure(results, command, argument) && ok;
        }
    };
    repeat(runs, QStringLiteral("line"), QString::number(frames), QStringLiteral("line speed"));
    repeat(runs, QStringLiteral("key"), QString::number(presses), QStringLiteral("key to wire"));
    repeat(runs, QStringLiteral("key-rules"), QString::number(presses), QStringLiteral("key to wire with antenna rules"));
    repeat(runs, QStringLiteral("screen"), QString::number(samples), QStringLiteral("switch to screen"));
    repeat(runs, QStringLiteral("band"), QString::number(bandChanges), QStringLiteral("band change to wire"));
    repeat(runs, QStringLiteral("cpu"), QString::number(cpuSeconds), QStringLiteral("CPU"));
    repeat(startups, QStringLiteral("startup"), QString(), QStringLiteral("start-up"));
    repeat(runs, QStringLiteral("memory"), QString::number(memorySeconds), QStringLiteral("memory"));
    repeat(runs, QStringLiteral("mqtt-command"), QString::number(presses), QStringLiteral("broker command to wire"));
    repeat(runs, QStringLiteral("mqtt-screen"), QString::number(samples), QStringLiteral("switch to remote panel"));
    repeat(runs, QStringLiteral("mqtt-cpu"), QString::number(cpuSeconds), QStringLiteral("CPU with the broker"));
    repeat(runs, QStringLiteral("mqtt-flood"), QString::number(floodSeconds), QStringLiteral("command flood"));
    repeat(runs, QStringLiteral("web-click"), QString::number(webSamples), QStringLiteral("web page click to wire"));
    repeat(runs, QStringLiteral("web-screen"), QString::number(webSamples), QStringLiteral("switch to web page"));

    const QString all = QString::number(frames);
    QList<Row> rows;
    for (const char *arrival : {"bytes", "chunks"}) {
        const QString how = QString::fromLatin1(arrival) == QLatin1String("bytes")
                                ? QStringLiteral("byte by byte")
                                : QStringLiteral("in chunks of 1–40 bytes");
        const QString base = QStringLiteral("line.%1.").arg(arrival);
        rows << Row{base + "reassembling.dispatched", "Frames at line speed, " + how + ": dispatched by the receive step", true, 0, all}
             << Row{base + "reassembling.lost", "… lost by the receive step", false, 0, QStringLiteral("0")}
             << Row{base + "reassembling.corrupt", "… dispatched with wrong bytes by the receive step", false, 0, QStringLiteral("0")}
             << Row{base + "single-read.dispatched", "… dispatched by the naive single-read baseline (one 20-byte read a step, nothing kept)", true, 0, QString()}
             << Row{base + "single-read.lost", "… lost by the naive single-read baseline", false, 0, QString()};
    }
    rows << Row{"key.p50", "Key to wire, F-key to first byte at the switch: p50 (ms)", false, 1, QString()}
         << Row{"key.p99", "Key to wire: p99 (ms)", false, 1, QStringLiteral("≤ 130")}
         << Row{"key.max", "Key to wire: max (ms)", false, 1, QString()}
         << Row{"key.missed", "Key to wire: presses that never reached the switch", false, 0, QStringLiteral("0")}
         << Row{"key.rules.p50", "Key to wire with antenna rules on a band (most presses warned about, all sent): p50 (ms)", false, 1, QString()}
         << Row{"key.rules.p99", "Key to wire with antenna rules: p99 (ms)", false, 1, QStringLiteral("≤ 130")}
         << Row{"key.rules.max", "Key to wire with antenna rules: max (ms)", false, 1, QString()}
         << Row{"key.rules.missed", "Key to wire with antenna rules: presses that never reached the switch", false, 0, QStringLiteral("0")}
         << Row{"screen.p50", "Switch to screen, last byte of a status frame to the key repainted: p50 (ms)", false, 1, QString()}
         << Row{"screen.p99", "Switch to screen: p99 (ms)", false, 1, QStringLiteral("≤ 30")}
         << Row{"screen.max", "Switch to screen: max (ms)", false, 1, QString()}
         << Row{"screen.missed", "Switch to screen: moves never painted", false, 0, QStringLiteral("0")}
         << Row{"band.udp.p50", "Band follow, logger UDP packet to first byte of the select at the switch: p50 (ms)", false, 1, QString()}
         << Row{"band.udp.p99", "Band follow, logger UDP: p99 (ms)", false, 1, QStringLiteral("≤ 500")}
         << Row{"band.udp.max", "Band follow, logger UDP: max (ms)", false, 1, QString()}
         << Row{"band.udp.missed", "Band follow, logger UDP: band changes never followed", false, 0, QStringLiteral("0")}
         << Row{"band.rigctld.p50", "Band follow, frequency set in rigctld to first byte of the select at the switch: p50 (ms)", false, 1, QString()}
         << Row{"band.rigctld.p99", "Band follow, rigctld: p99 (ms)", false, 1, QStringLiteral("≤ 700")}
         << Row{"band.rigctld.max", "Band follow, rigctld: max (ms)", false, 1, QString()}
         << Row{"band.rigctld.missed", "Band follow, rigctld: band changes never followed", false, 0, QStringLiteral("0")}
         << Row{"band.release.min", "Band follow, a band change held by transmitting: end of transmission (logger packet) to first byte of the select: earliest (ms)", true, 1, QStringLiteral("≥ 500 (the hang time)")}
         << Row{"band.release.p50", "… p50 (ms)", false, 1, QString()}
         << Row{"band.release.p99", "… p99 (ms)", false, 1, QStringLiteral("≤ 650")}
         << Row{"band.release.missed", "… held changes never carried out", false, 0, QStringLiteral("0")}
         << Row{"cpu.connected", "CPU of tqx5r-panel, connected to the virtual switch (% of one core)", false, 2, QStringLiteral("< 0.5")}
         << Row{"cpu.connected.polls_per_s", "… polls answered by the switch meanwhile (per second)", true, 2, QString()}
         << Row{"cpu.disconnected", "CPU of tqx5r-panel, disconnected (% of one core)", false, 2, QStringLiteral("< 0.5")}
         << Row{"cpu.headless", "CPU of tqx5r-panel --headless, connected to a virtual switch (% of one core)", false, 2, QStringLiteral("< 0.5")}
         << Row{"cpu.headless.frames_per_s", "… status frames from its switch meanwhile (per second)", true, 2, QString()}
         << Row{"cpu.vanished", "CPU of tqx5r-panel after the device vanished (% of one core)", false, 2, QStringLiteral("< 0.5")}
         << Row{"cpu.retrying", "CPU of tqx5r-panel --reconnect while the vanished device is retried (% of one core)", false, 2, QStringLiteral("< 0.5")}
         << Row{"memory.peak", "Peak resident memory (VmHWM) after " + QString::number(memorySeconds) + " s of random operation (MiB)", false, 1, QString()}
         << Row{"memory.resident", "… resident memory at the end (VmRSS, MiB)", false, 1, QString()}
         << Row{"startup.shown", "Start-up, process start to the window painted (ms)", false, 0, QString()}
         << Row{"startup.status", "Start-up, process start to the first status frame painted (ms)", false, 0, QString()}
         << Row{"mqtt.command.p50", "Broker command to wire, {\"antenna\":n} on BASE/set to first byte at the switch: p50 (ms)", false, 1, QString()}
         << Row{"mqtt.command.p99", "Broker command to wire: p99 (ms)", false, 1, QStringLiteral("≤ 200")}
         << Row{"mqtt.command.max", "Broker command to wire: max (ms)", false, 1, QString()}
         << Row{"mqtt.command.missed", "Broker command to wire: commands that never reached the switch", false, 0, QStringLiteral("0")}
         << Row{"mqtt.screen.p50", "Switch to remote panel, last byte of a status frame to the key repainted on a remote panel: p50 (ms)", false, 1, QString()}
         << Row{"mqtt.screen.p99", "Switch to remote panel: p99 (ms)", false, 1, QStringLiteral("≤ 300")}
         << Row{"mqtt.screen.max", "Switch to remote panel: max (ms)", false, 1, QString()}
         << Row{"mqtt.screen.missed", "Switch to remote panel: moves never painted", false, 0, QStringLiteral("0")}
         << Row{"mqtt.cpu.owner", "CPU of tqx5r-panel --mqtt, connected to the virtual switch, idle (% of one core)", false, 2, QStringLiteral("< 0.5")}
         << Row{"mqtt.cpu.remote", "CPU of tqx5r-panel --remote showing it, idle (% of one core)", false, 2, QStringLiteral("< 0.5")}
         << Row{"mqtt.cpu.headless_owner", "CPU of tqx5r-panel --headless --mqtt beside them, on a switch of its own, idle (% of one core)", false, 2, QStringLiteral("< 0.5")}
         << Row{"mqtt.cpu.frames_per_s", "… status frames relayed meanwhile (per second)", true, 2, QString()}
         << Row{"mqtt.flood.fewest_status_per_s", "Command flood, 50 commands a second on BASE/set: status frames from the switch in the poorest second", true, 0, QStringLiteral("≥ 3")}
         << Row{"mqtt.flood.status_per_s", "… status frames a second on average", true, 2, QString()}
         << Row{"mqtt.flood.power_lost", "… states published with POWER out", false, 0, QStringLiteral("0")}
         << Row{"web.click.p50", "Web page click to wire, a key clicked in headless Chromium to first byte at the switch: p50 (ms)", false, 1, QString()}
         << Row{"web.click.p99", "Web page click to wire: p99 (ms)", false, 1, QStringLiteral("≤ 300")}
         << Row{"web.click.max", "Web page click to wire: max (ms)", false, 1, QString()}
         << Row{"web.click.missed", "Web page click to wire: clicks that never reached the switch", false, 0, QStringLiteral("0")}
         << Row{"web.screen.p50", "Switch to web page, last byte of a status frame to the key repainted in the page: p50 (ms)", false, 1, QString()}
         << Row{"web.screen.p99", "Switch to web page: p99 (ms)", false, 1, QStringLiteral("≤ 500")}
         << Row{"web.screen.max", "Switch to web page: max (ms)", false, 1, QString()}
         << Row{"web.screen.missed", "Switch to web page: moves never painted", false, 0, QStringLiteral("0")};

    const QString summary = table(results, rows, quick, frames, presses, samples, bandChanges, cpuSeconds, memorySeconds);
    std::fputs(summary.toUtf8().constData(), stdout);
    std::fflush(stdout);
    if (!writePath.isEmpty()) {
        // The notes under the table are written by hand and kept.
        QByteArray notes;
        {
            QFile old(writePath);
            if (old.open(QIODevice::ReadOnly)) {
                const QByteArray text = old.readAll();
                const int start = text.indexOf("\n## Notes");
                if (start >= 0)
                    notes = text.mid(start);
            }
        }
        QFile file(writePath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            Bench::note(QStringLiteral("cannot write %1").arg(writePath));
            return 1;
        }
        file.write("# Figures\n\nWritten by `scripts/bench --write`.\n\n");
        file.write(summary.toUtf8());
        file.write(notes);
    }
    return ok ? 0 : 1;
}

int main(int argc, char *argv[])
{
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString argument = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const bool widgets = command == QLatin1String("key") || command == QLatin1String("key-rules")
                         || command == QLatin1String("screen")
                         || command == QLatin1String("band") || command == QLatin1String("mqtt-screen")
                         || command == QLatin1String("mqtt-command") || command == QLatin1String("web-click")
                         || command == QLatin1String("web-screen");
    if (widgets && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app;
    if (widgets) {
        app = std::make_unique<QApplication>(argc, argv);
        // The font tqx5r-panel sets, so the keys paint as they do there.
        QFont panelFont(QStringLiteral("Liberation Sans Narrow"), 8);
        panelFont.setStyleHint(QFont::SansSerif);
        QApplication::setFont(panelFont);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    // As tqx5r-panel does at start, for the band follow measured here:
    // Hamlib's rig_open needs LC_NUMERIC at "C".
    std::setlocale(LC_NUMERIC, "C");

    if (command == QLatin1String("all") || command == QLatin1String("quick")) {
        QString writePath;
        for (int i = 2; i + 1 < argc; ++i) {
            if (QLatin1String(argv[i]) == QLatin1String("--write"))
                writePath = QString::fromLocal8Bit(argv[i + 1]);
        }
        return runAll(command == QLatin1String("quick"), writePath);
    }
    if (command == QLatin1String("against") && argc > 3) {
        // tqx5r-bench against PROGRAM LABEL [RUNS [SECONDS]]
        const int runs = argc > 4 ? QString::fromLocal8Bit(argv[4]).toInt() : 3;
        const int seconds = argc > 5 ? QString::fromLocal8Bit(argv[5]).toInt() : 20;
        return runAgainst(argument, QString::fromLocal8Bit(argv[3]), runs > 0 ? runs : 3, seconds > 0 ? seconds : 20);
    }
    // cpu and mqtt-cpu: --against PROGRAM runs that build beside this one.
    QString before;
    for (int i = 3; i + 1 < argc; ++i) {
        if (QLatin1String(argv[i]) == QLatin1String("--against"))
            before = QString::fromLocal8Bit(argv[i + 1]);
    }
    const int count = argument.toInt();
    if (command == QLatin1String("line"))
        return runLineSpeed(count > 0 ? count : 1000);
    if (command == QLatin1String("key"))
        return runKeyToWire(count > 0 ? count : 200);
    if (command == QLatin1String("key-rules"))
        return runKeyToWireWithRules(count > 0 ? count : 200);
    if (command == QLatin1String("screen"))
        return runSwitchToScreen(count > 0 ? count : 150);
    if (command == QLatin1String("band"))
        return runBandToWire(count > 0 ? count : 60);
    if (command == QLatin1String("cpu"))
        return runCpu(count > 0 ? count : 20, before);
    if (command == QLatin1String("startup"))
        return runStartup();
    if (command == QLatin1String("memory"))
        return runMemory(count > 0 ? count : 60);
    if (command == QLatin1String("mqtt-command"))
        return runBrokerCommand(count > 0 ? count : 200);
    if (command == QLatin1String("mqtt-screen"))
        return runBrokerScreen(count > 0 ? count : 150);
    if (command == QLatin1String("mqtt-cpu"))
        return runBrokerCpu(count > 0 ? count : 20, before);
    if (command == QLatin1String("mqtt-flood"))
        return runBrokerFlood(count > 0 ? count : 20);
    if (command == QLatin1String("web-click"))
        return runWebClick(count > 0 ? count : 100);
    if (command == QLatin1String("web-screen"))
        return runWebScreen(count > 0 ? count : 100);
    if (command == QLatin1String("soak"))
        return runSoak(argument.toDouble() > 0 ? argument.toDouble() : 10);
    if (command == QLatin1String("soak-unattended") || command == QLatin1String("soak-unattended-mqtt"))
        return runUnattendedSoak(argument.toDouble() > 0 ? argument.toDouble() : 10,
                                 command == QLatin1String("soak-unattended-mqtt"));
    std::fprintf(stderr,
                 "usage: tqx5r-bench all|quick [--write FILE]\n"
                 "       tqx5r-bench line|key|key-rules|screen|band|cpu|memory [COUNT] | startup\n"
                 "       tqx5r-bench cpu|mqtt-cpu SECONDS --against PROGRAM\n"
                 "       tqx5r-bench against PROGRAM LABEL [RUNS [SECONDS]]\n"
                 "       tqx5r-bench soak|soak-unattended|soak-unattended-mqtt [MINUTES]\n"
                 "       tqx5r-bench mqtt-command|mqtt-screen|mqtt-cpu|mqtt-flood|web-click|web-screen [COUNT]\n");
    return 2;
}
