#include "about/about.h"
#include "panel/DarkTheme.h"
#include "panel/Resources.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QRadioButton>
#include <QRegularExpression>
#include <QResource>
#include <QVBoxLayout>
#include <QtTest>

#include <functional>

namespace {

const QRgb panelGrey = qRgb(0x32, 0x32, 0x32);

// Style-sheet parse errors reach us only as warnings; collect them.
QStringList warnings;
void collectWarning(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings << text;
}

QByteArray resourceBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool containsPixel(const QImage &image, const std::function<bool(QRgb)> &match)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(image.pixel(x, y)))
                return true;
    return false;
}

QStringList ruleSelectors(QString sheet)
{
    sheet.remove(QRegularExpression(QStringLiteral("/\\*.*?\\*/"),
                                    QRegularExpression::DotMatchesEverythingOption));
    QStringList selectors;
    for (int from = 0, open; (open = sheet.indexOf(QLatin1Char('{'), from)) >= 0;) {
        QStringList parts = sheet.mid(from, open - from).split(QLatin1Char(','));
        for (QString &part : parts)
            part = part.simplified();
        selectors << parts.join(QStringLiteral(", "));
        from = sheet.indexOf(QLatin1Char('}'), open) + 1;
        if (from == 0)
            break;
    }
    return selectors;
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initPanelResources(); }

    void imageResources_data();
    void imageResources();
    void drawnImagesHaveTheirShapes();

    void themeRulesInOrder();
    void themeParsesAndPaints();

    void aboutLabels_data();
    void aboutLabels();
    void aboutFormShape();
    void aboutOverThemedWindow();
};

void TestAbout::imageResources_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<int>("pngColourType"); // 2 RGB, 4 grey+alpha, 6 RGBA
    QTest::addColumn<QColor>("solid");

    const QColor none;
    QTest::newRow("down_arrow.png") << QSize(7, 5) << QByteArray("png") << 4 << none;
    QTest::newRow("corSuperSplit.png") << QSize(97, 90) << QByteArray("png") << 6 << QColor("#efe4b0");
    QTest::newRow("logo1.jpg") << QSize(168, 61) << QByteArray("jpeg") << -1 << none;
    QTest::newRow("yellow.png") << QSize(97, 90) << QByteArray("png") << 6 << QColor("#fff200");
    QTest::newRow("handle.png") << QSize(6, 6) << QByteArray("png") << 6 << none;
    QTest::newRow("checkbox.png") << QSize(9, 9) << QByteArray("png") << 6 << none;
    QTest::newRow("corSplit.png") << QSize(97, 90) << QByteArray("png") << 6 << QColor("#c3c3c3");
    QTest::newRow("white.png") << QSize(97, 90) << QByteArray("png") << 6 << QColor("#ffffff");
    QTest::newRow("black.png") << QSize(97, 90) << QByteArray("png") << 2 << QColor("#000000");
}

void TestAbout::imageResources()
{
    QFETCH(QSize, size);
    QFETCH(QByteArray, format);
    QFETCH(int, pngColourType);
    QFETCH(QColor, solid);

    const QString path = QStringLiteral(":/images/") + QString::fromLatin1(QTest::currentDataTag());
    QVERIFY2(QFile::exists(path), qPrintable(path));
    QCOMPARE(QResource(path).compressionAlgorithm(), QResource::NoCompression);

    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.size(), size);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));

    const QByteArray bytes = resourceBytes(path);
    if (format == "png") {
        // IHDR: bit depth at byte 24, colour type at byte 25.
        QCOMPARE(int(uchar(bytes.at(24))), 8);
        QCOMPARE(int(uchar(bytes.at(25))), pngColourType);
        QCOMPARE(image.hasAlphaChannel(), pngColourType != 2);
        if (pngColourType == 4)
            QVERIFY(image.allGray());
    } else {
        // Baseline frame header (SOF0) with three components; no progressive one.
        const int sof = bytes.indexOf(QByteArray("\xff\xc0", 2));
        QVERIFY(sof > 0);
        QCOMPARE(int(uchar(bytes.at(sof + 9))), 3);
        QCOMPARE(bytes.indexOf(QByteArray("\xff\xc2", 2)), -1);
    }

    if (solid.isValid()) {
        QImage expected(size, QImage::Format_ARGB32);
        expected.fill(solid);
        QCOMPARE(image.convertToFormat(QImage::Format_ARGB32), expected);
    }
}

void TestAbout::drawnImagesHaveTheirShapes()
{
    const auto load = [](const char *name) {
        return QImage(QStringLiteral(":/images/") + QLatin1String(name)).convertToFormat(QImage::Format_ARGB32);
    };

    // Arrow: light and opaque along the top, darker at the tip, clear beside it.
    const QImage arrow = load("down_arrow.png");
    QCOMPARE(arrow.pixel(3, 0), qRgba(0xd4, 0xd4, 0xd4, 255));
    QVERIFY(qAlpha(arrow.pixel(3, 4)) > 0 && qGray(arrow.pixel(3, 4)) < 0xd4);
    QCOMPARE(qAlpha(arrow.pixel(0, 4)) + qAlpha(arrow.pixel(6, 4)), 0);

    // Grip: a dot at each end of the falling diagonal, nothing on the other.
    const QImage grip = load("handle.png");
    for (const QPoint dot : {QPoint(0, 0), QPoint(3, 3)}) {
        QCOMPARE(grip.pixel(dot + QPoint(0, 1)), qRgba(0x2b, 0x2b, 0x2b, 255));
        QCOMPARE(grip.pixel(dot + QPoint(1, 1)), qRgba(0x08, 0x08, 0x08, 255));
        QCOMPARE(grip.pixel(dot + QPoint(2, 1)), qRgba(0x12, 0x12, 0x12, 255));
    }
    QCOMPARE(qAlpha(grip.pixel(4, 1)) + qAlpha(grip.pixel(1, 4)), 0);

    // Check mark: solid where the strokes cross, soft edges, clear corners.
    const QImage mark = load("checkbox.png");
    QCOMPARE(mark.pixel(4, 4), qRgba(0xb1, 0xb1, 0xb1, 255));
    QVERIFY(containsPixel(mark, [](QRgb p) { return qAlpha(p) > 0 && qAlpha(p) < 255; }));
    for (const QPoint corner : {QPoint(0, 0), QPoint(8, 0), QPoint(0, 8), QPoint(8, 8)})
        QCOMPARE(qAlpha(mark.pixel(corner)), 0);
}

void TestAbout::themeRulesInOrder()
{
    const QString sheet = darkThemeStyleSheet();
    const QStringList expected = {
        "QToolTip", "QWidget", "QWidget:item:hover", "QWidget:item:selected", "QMenuBar::item",
        "QMenuBar::item:selected", "QMenuBar::item:pressed", "QMenu", "QMenu::item",
        "QMenu::item:selected", "QWidget:disabled", "QAbstractItemView", "QWidget:focus",
        "QLineEdit", "QPushButton", "QPushButton:pressed", "QComboBox",
        "QComboBox:hover, QPushButton:hover", "QComboBox:on", "QComboBox QAbstractItemView",
        "QComboBox::drop-down", "QComboBox::down-arrow", "QGroupBox:focus", "QTextEdit:focus",
        "QScrollBar:horizontal", "QScrollBar::handle:horizontal", "QScrollBar::add-line:horizontal",
        "QScrollBar::sub-line:horizontal",
        "QScrollBar::right-arrow:horizontal, QScrollBar::left-arrow:horizontal",
        "QScrollBar::add-page:horizontal, QScrollBar::sub-page:horizontal",
        "QScrollBar:vertical", "QScrollBar::handle:vertical", "QScrollBar::add-line:vertical",
        "QScrollBar::sub-line:vertical",
        "QScrollBar::up-arrow:vertical, QScrollBar::down-arrow:vertical",
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical",
        "QTextEdit", "QPlainTextEdit", "QHeaderView::section", "QCheckBox:disabled",
        "QDockWidget::title", "QDockWidget::close-button, QDockWidget::float-button",
        "QDockWidget::close-button:hover, QDockWidget::float-button:hover",
        "QDockWidget::close-button:pressed, QDockWidget::float-button:pressed",
        "QMainWindow::separator", "QMainWindow::separator:hover", "QToolBar::handle",
        "QMenu::separator", "QProgressBar", "QProgressBar::chunk", "QTabBar::tab",
        "QTabWidget::pane", "QTabBar::tab:last", "QTabBar::tab:first:!selected",
        "QTabBar::tab:!selected", "QTabBar::tab:selected", "QTabBar::tab:!selected:hover",
        "QRadioButton::indicator:checked, QRadioButton::indicator:unchecked",
        "QRadioButton::indicator:checked", "QCheckBox::indicator", "QRadioButton::indicator",
        "QRadioButton::indicator:hover, QCheckBox::indicator:hover",
        "QCheckBox::indicator:checked",
        "QCheckBox::indicator:disabled, QRadioButton::indicator:disabled",
    };
    QCOMPARE(expected.size(), 64);
    QCOMPARE(ruleSelectors(sheet), expected);
    QCOMPARE(sheet.count(QLatin1Char('{')), sheet.count(QLatin1Char('}')));

    // Every image the theme names must be in the resource tree.
    auto urls = QRegularExpression(QStringLiteral("url\\(([^)]*)\\)")).globalMatch(sheet);
    int count = 0;
    for (; urls.hasNext(); ++count) {
        const QString url = urls.next().captured(1).trimmed();
        QVERIFY2(url.startsWith(QLatin1String(":/images/")) && !QImage(url).isNull(), qPrintable(url));
    }
    QCOMPARE(count, 3);
}

void TestAbout::themeParsesAndPaints()
{
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarning);

    QWidget host;
    host.setStyleSheet(darkThemeStyleSheet());
    auto *layout = new QVBoxLayout(&host);
    auto *on = new QRadioButton(QStringLiteral("on"), &host);
    auto *off = new QRadioButton(QStringLiteral("off"), &host);
    on->setAutoExclusive(false);
    off->setAutoExclusive(false);
    on->setChecked(true);
    layout->addWidget(on);
    layout->addWidget(off);
    host.resize(120, 80);
    const QImage page = host.grab().toImage();

    qInstallMessageHandler(previous);
    const QStringList parseErrors = warnings.filter(QStringLiteral("stylesheet"), Qt::CaseInsensitive);
    QVERIFY2(parseErrors.isEmpty(), qPrintable(parseErrors.join('\n')));

    QCOMPARE(page.pixel(page.width() - 2, page.height() - 2), panelGrey);

    // A checked indicator carries a red dot, an unchecked one does not.
    const auto isRed = [](QRgb p) { return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60; };
    QVERIFY(containsPixel(on->grab().toImage(), isRed));
    QVERIFY(!containsPixel(off->grab().toImage(), isRed));
}

void TestAbout::aboutLabels_data()
{
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<int>("pointSize"); // 0: the application's own
    QTest::addColumn<bool>("bold");
    QTest::addColumn<QString>("text");

    QTest::newRow("labelLogo") << QRect(210, 180, 171, 61) << 0 << false << QString();
    QTest::newRow("labelTopo") << QRect(30, 20, 351, 41) << 20 << true
                               << QStringLiteral("TQX-5R Serial Controller");
    QTest::newRow("labelVersion") << QRect(30, 90, 261, 20) << 16 << false
                                  << QStringLiteral("Version: 1.0 (09/2015)");
    QTest::newRow("label") << QRect(30, 250, 351, 16) << 12 << false
                           << QString::fromUtf8("\xc2\xa9 2015 Veltrix - All rights reserved");
    QTest::newRow("label_2") << QRect(120, 270, 141, 16) << 12 << false
                             << QStringLiteral("veltrix.example");
}

void TestAbout::aboutLabels()
{
    QFETCH(QRect, geometry);
    QFETCH(int, pointSize);
    QFETCH(bool, bold);
    QFETCH(QString, text);

    about dialog;
    auto *label = dialog.findChild<QLabel *>(QString::fromLatin1(QTest::currentDataTag()),
                                             Qt::FindDirectChildrenOnly);
    QVERIFY(label);
    QCOMPARE(label->metaObject()->className(), "QLabel");
    QCOMPARE(label->geometry(), geometry);
    QCOMPARE(label->text(), text);

    const QFont appFont = QApplication::font();
    QCOMPARE(label->font().family(), appFont.family());
    QCOMPARE(label->font().pointSize(), pointSize ? pointSize : appFont.pointSize());
    QCOMPARE(label->font().weight(), bold ? 75 : appFont.weight());
}

void TestAbout::aboutFormShape()
{
    about dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("about"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About Veltrix"));
    QCOMPARE(dialog.size(), QSize(400, 300));
    QVERIFY(!dialog.layout());
    QVERIFY(dialog.findChildren<QAbstractButton *>().isEmpty());
    QCOMPARE(about::staticMetaObject.methodCount(), QDialog::staticMetaObject.methodCount());

    QStringList order;
    for (QObject *child : dialog.children())
        if (child->isWidgetType())
            order << child->objectName();
    QCOMPARE(order, QStringList({"labelLogo", "labelTopo", "labelVersion", "label", "label_2"}));

    // Only the logo label styles itself; the rest comes from the window the
    // box is opened over.
    QVERIFY(dialog.styleSheet().isEmpty());
    for (QLabel *label : dialog.findChildren<QLabel *>())
        QCOMPARE(label->styleSheet(), label->objectName() == QLatin1String("labelLogo")
                                          ? QStringLiteral("image: url(:/images/logo1.jpg);")
                                          : QString());
}

void TestAbout::aboutOverThemedWindow()
{
    QWidget window;
    window.setStyleSheet(darkThemeStyleSheet());
    auto *dialog = new about(&window);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));

    // Background and text colours inherited from the window's theme.
    QCOMPARE(dialog->grab().toImage().pixel(10, 150), panelGrey); // no label there
    auto *version = dialog->findChild<QLabel *>(QStringLiteral("labelVersion"));
    QVERIFY(containsPixel(version->grab().toImage(),
                          [](QRgb p) { return p == qRgb(0xb1, 0xb1, 0xb1); }));

    // The logo sits in its label pixel for pixel, not scaled to fit.
    auto *logoLabel = dialog->findChild<QLabel *>(QStringLiteral("labelLogo"));
    const QImage shown = logoLabel->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage logo = QImage(QStringLiteral(":/images/logo1.jpg")).convertToFormat(QImage::Format_RGB32);
    bool found = false;
    for (int dx = 0; dx <= shown.width() - logo.width() && !found; ++dx)
        found = shown.copy(dx, 0, logo.width(), logo.height()) == logo;
    QVERIFY(found);
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
