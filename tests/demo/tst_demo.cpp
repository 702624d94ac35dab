#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The README's demo command: a picture of the panel showing the virtual switch.
class tst_Demo : public QObject
{
    Q_OBJECT

private slots:
    void screenshotShowsTheActiveKey()
    {
        QTemporaryDir dir;
        const QString picture = dir.filePath("panel.png");
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TQX5R_BUILD_DIR", QStringLiteral(TQX5R_BUILD_DIR));
        environment.insert("TQX5R_SKIP_BUILD", "1");
        environment.remove("QT_QPA_PLATFORM");
        environment.remove("DISPLAY");
        run.setProcessEnvironment(environment);
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(QStringLiteral(TQX5R_SOURCE_DIR "/scripts/run"), {"--screenshot", picture});
        QVERIFY(run.waitForFinished(120000));
        QVERIFY2(run.exitCode() == 0, run.readAll().constData());

        const QImage image(picture);
        QVERIFY(!image.isNull());
        QVERIFY2(image.width() >= 659 && image.height() >= 214, qPrintable(QString("%1x%2").arg(image.width()).arg(image.height())));
        int yellow = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y) == QColor(254, 237, 137))
                    ++yellow;
            }
        }
        // Most of one 41 x 41 key.
        QVERIFY2(yellow > 900 && yellow < 41 * 41 * 2, qPrintable(QString::number(yellow)));
    }
};

QTEST_APPLESS_MAIN(tst_Demo)
#include "tst_demo.moc"
