#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString unitName = QStringLiteral("tqx5r-panel@.service");

struct Run
{
    int exitCode = -1;
    QString output; // stdout and stderr
};

Run run(const QString &program, const QStringList &arguments, const QString &directory = QString())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!directory.isEmpty())
        process.setWorkingDirectory(directory);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        result.output = program + QStringLiteral(" did not finish: ") + process.errorString();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromUtf8(process.readAll());
    return result;
}

} // namespace

// The service as the .deb ships it: a unit systemd takes without a word, an
// example of its options the program understands, and the package holding
// both beside the program and the web page.
class tst_ServicePackage : public QObject
{
    Q_OBJECT

private slots:
    void unitFileVerifies()
    {
        // systemd-analyze wants the program to exist: the built one stands in.
        QTemporaryDir directory;
        QVERIFY(directory.isValid());
        QString unit = QString::fromUtf8(contents(QStringLiteral(TQX5R_SOURCE_DIR "/resources/systemd/") + unitName));
        QVERIFY(unit.contains("ExecStart=/usr/bin/tqx5r-panel --headless "));
        unit.replace(QStringLiteral("/usr/bin/tqx5r-panel"), QStringLiteral(TQX5R_PANEL_PATH));
        QVERIFY(writeFile(directory.filePath(unitName), unit.toUtf8()));

        const Run verify = run(QStringLiteral("systemd-analyze"),
                               {QStringLiteral("verify"), directory.filePath(QStringLiteral("tqx5r-panel@shack.service"))});
        QVERIFY2(verify.exitCode == 0, qPrintable(verify.output));
        // Unknown keys and bad values are only warned about.
        QVERIFY2(verify.output.trimmed().isEmpty(), qPrintable(verify.output));
    }

    void unitIsHardened()
    {
        // Scored as systemd scores a running service; the site's own drop-in,
        // every line of it in use, still verifies.
        QTemporaryDir directory;
        QVERIFY(directory.isValid());
        QString unit = QString::fromUtf8(contents(QStringLiteral(TQX5R_SOURCE_DIR "/resources/systemd/") + unitName));
        unit.replace(QStringLiteral("/usr/bin/tqx5r-panel"), QStringLiteral(TQX5R_PANEL_PATH));
        QVERIFY(writeFile(directory.filePath(unitName), unit.toUtf8()));
        const Run security = run(QStringLiteral("systemd-analyze"),
                                 {"security", "--offline=true", "--no-pager", directory.filePath(unitName)});
        const QRegularExpressionMatch score =
            QRegularExpression(QStringLiteral("Overall exposure level for \\S+: ([0-9.]+)")).match(security.output);
        QVERIFY2(score.hasMatch(), qPrintable(security.output));
        QVERIFY2(score.captured(1).toDouble() <= 1.5, qPrintable(security.output));

        QString dropIn = QString::fromUtf8(contents(TQX5R_SOURCE_DIR "/resources/systemd/site.conf.example"));
        dropIn.replace(QRegularExpression(QStringLiteral("^#(?=[A-Z])"), QRegularExpression::MultilineOption), QString());
        QVERIFY(dropIn.contains("\nDevicePolicy=closed\n") && dropIn.contains("\nIPAddressDeny=any\n"));
        QVERIFY(QDir(directory.path()).mkdir(unitName + ".d"));
        QVERIFY(writeFile(directory.filePath(unitName + ".d/site.conf"), dropIn.toUtf8()));
        const Run verify = run(QStringLiteral("systemd-analyze"),
                               {QStringLiteral("verify"), directory.filePath(QStringLiteral("tqx5r-panel@shack.service"))});
        QVERIFY2(verify.exitCode == 0 && verify.output.trimmed().isEmpty(), qPrintable(verify.output));
    }

    void exampleOptionsAreTheProgramsOwn()
    {
        const QString example = QString::fromUtf8(contents(TQX5R_SOURCE_DIR "/resources/systemd/shack.conf.example"));
        QVERIFY(!example.isEmpty());
        const Run help = run(QStringLiteral(TQX5R_PANEL_PATH), {"-platform", "offscreen", "--help"});
        QCOMPARE(help.exitCode, 0);
        QStringList named;
        QRegularExpressionMatchIterator options = QRegularExpression(QStringLiteral("(?<![\\w-])--[a-z][a-z-]+")).globalMatch(example);
        while (options.hasNext())
            named << options.next().captured(0);
        named.removeDuplicates();
        QVERIFY(named.size() >= 15);
        for (const QString &option : named) {
            if (option != QLatin1String("--headless"))
                QVERIFY2(help.output.contains(QStringLiteral("  ") + option + QLatin1Char(' ')), qPrintable(option));
        }
        // The one line that is read holds what the service needs.
        const QRegularExpressionMatch line =
            QRegularExpression(QStringLiteral("^TQX5R_PANEL_OPTIONS=(.*)$"), QRegularExpression::MultilineOption).match(example);
        QVERIFY(line.hasMatch());
        QVERIFY(line.captured(1).contains("--port ") && line.captured(1).contains("--reconnect"));
    }

    void packageHoldsTheService()
    {
        // cpack builds what is out of date first (a no-op right after the
        // build) and packs into a folder of its own.
        QTemporaryDir scratch;
        QVERIFY(scratch.isValid());
        const Run pack = run(QStringLiteral("cpack"), {"-G", "DEB", "-B", scratch.path(), "--config",
                                                        QStringLiteral(TQX5R_BUILD_DIR "/CPackConfig.cmake")},
                             scratch.path());
        QVERIFY2(pack.exitCode == 0, qPrintable(pack.output));
        const QStringList debs = QDir(scratch.path()).entryList({"*.deb"}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        const QString deb = scratch.filePath(debs.first());

        const Run listing = run(QStringLiteral("dpkg-deb"), {"-c", deb});
        QCOMPARE(listing.exitCode, 0);
        QStringList paths;
        for (const QString &line : listing.output.split('\n', Qt::SkipEmptyParts))
            paths << line.section(' ', -1);
        for (const char *expected : {"./usr/bin/tqx5r-panel", "./lib/systemd/system/tqx5r-panel@.service",
                                     "./etc/tqx5r-panel/shack.conf.example", "./usr/share/tqx5r-panel/web/index.html"})
            QVERIFY2(paths.contains(QLatin1String(expected)), qPrintable(expected + ("\n" + listing.output)));
        // Installed, not enabled: no link into a target. What the scripts
        // do is tried in a booted container (scripts/test --system).
        for (const QString &path : paths)
            QVERIFY2(!path.startsWith("./etc/systemd/"), qPrintable(path));
        QTemporaryDir controlDir;
        QCOMPARE(run(QStringLiteral("dpkg-deb"), {"-e", deb, controlDir.filePath("DEBIAN")}).exitCode, 0);
        for (const char *script : {"postinst", "prerm", "postrm"}) {
            const QString path = controlDir.filePath(QStringLiteral("DEBIAN/") + QLatin1String(script));
            QVERIFY2(QFileInfo(path).isExecutable(), script);
            QCOMPARE(run(QStringLiteral("sh"), {"-n", path}).exitCode, 0);
        }
        // Edited examples are kept on upgrades.
        const QByteArray conffiles = contents(controlDir.filePath("DEBIAN/conffiles"));
        QVERIFY(conffiles.contains("/etc/tqx5r-panel/shack.conf.example"));
        QVERIFY(conffiles.contains("/etc/tqx5r-panel/site.conf.example"));
#ifdef TQX5R_HAVE_LIBSYSTEMD
        const Run depends = run(QStringLiteral("dpkg-deb"), {"-f", deb, "Depends"});
        QVERIFY2(depends.output.contains("libsystemd0"), qPrintable(depends.output));
#endif
    }
};

QTEST_GUILESS_MAIN(tst_ServicePackage)
#include "tst_servicepackage.moc"
