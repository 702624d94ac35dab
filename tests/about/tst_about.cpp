#include "about/about.h"
#include "panel/DarkTheme.h"
#include "panel/Resources.h"

#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QRegularExpression>
#include <QtTest>

namespace {

// Style-sheet parse errors reach us only as warnings.
QStringList warnings;

// The selectors of each rule, comments left out, a group written "A, B".
QStringList ruleSelectors(QString sheet)
{
    sheet.remove(QRegularExpression(QStringLiteral("/\\*.*?\\*/"), QRegularExpression::DotMatchesEverythingOption));
    QStringList selectors;
    for (auto rules = QRegularExpression(QStringLiteral("([^{}]*)\\{[^}]*\\}")).globalMatch(sheet); rules.hasNext();)
        selectors << rules.next().captured(1).simplified().replace(QRegularExpression(QStringLiteral(" ?, ?")), ", ");
    return selectors;
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initPanelResources(); }

    void images_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QColor>("centre"); // spot check where it is known
        const QColor none;
        QTest::newRow("down_arrow.png") << QSize(7, 5) << QByteArray("png") << none;
        QTest::newRow("corSuperSplit.png") << QSize(97, 90) << QByteArray("png") << QColor("#efe4b0");
        QTest::newRow("logo1.jpg") << QSize(168, 61) << QByteArray("jpeg") << none;
        QTest::newRow("yellow.png") << QSize(97, 90) << QByteArray("png") << QColor("#fff200");
        QTest::newRow("handle.png") << QSize(6, 6) << QByteArray("png") << none;
        QTest::newRow("checkbox.png") << QSize(9, 9) << QByteArray("png") << QColor("#b1b1b1");
        QTest::newRow("corSplit.png") << QSize(97, 90) << QByteArray("png") << QColor("#c3c3c3");
        QTest::newRow("white.png") << QSize(97, 90) << QByteArray("png") << QColor("#ffffff");
        QTest::newRow("black.png") << QSize(97, 90) << QByteArray("png") << QColor("#000000");
    }
    void images()
    {
        QFETCH(QSize, size);
        QFETCH(QByteArray, format);
        QFETCH(QColor, centre);
        QImageReader reader(QStringLiteral(":/images/") + QLatin1String(QTest::currentDataTag()));
        QCOMPARE(reader.format(), format);
        QCOMPARE(reader.size(), size);
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        if (centre.isValid())
            QCOMPARE(QColor::fromRgba(image.pixel(size.width() / 2, size.height() / 2)), centre);
    }

    void themeRulesInOrder()
    {
        const QString sheet = darkThemeStyleSheet();
        const QStringList expected = QStringLiteral(
            "QToolTip;QWidget;QWidget:item:hover;QWidget:item:selected;QMenuBar::item;"
            "QMenuBar::item:selected;QMenuBar::item:pressed;QMenu;QMenu::item;QMenu::item:selected;"
            "QWidget:disabled;QAbstractItemView;QWidget:focus;QLineEdit;QPushButton;QPushButton:pressed;"
            "QComboBox;QComboBox:hover, QPushButton:hover;QComboBox:on;QComboBox QAbstractItemView;"
            "QComboBox::drop-down;QComboBox::down-arrow;QGroupBox:focus;QTextEdit:focus;"
            "QScrollBar:horizontal;QScrollBar::handle:horizontal;QScrollBar::add-line:horizontal;"
            "QScrollBar::sub-line:horizontal;"
            "QScrollBar::right-arrow:horizontal, QScrollBar::left-arrow:horizontal;"
            "QScrollBar::add-page:horizontal, QScrollBar::sub-page:horizontal;QScrollBar:vertical;"
            "QScrollBar::handle:vertical;QScrollBar::add-line:vertical;QScrollBar::sub-line:vertical;"
            "QScrollBar::up-arrow:vertical, QScrollBar::down-arrow:vertical;"
            "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical;QTextEdit;QPlainTextEdit;"
            "QHeaderView::section;QCheckBox:disabled;QDockWidget::title;"
            "QDockWidget::close-button, QDockWidget::float-button;"
            "QDockWidget::close-button:hover, QDockWidget::float-button:hover;"
            "QDockWidget::close-button:pressed, QDockWidget::float-button:pressed;QMainWindow::separator;"
            "QMainWindow::separator:hover;QToolBar::handle;QMenu::separator;QProgressBar;QProgressBar::chunk;"
            "QTabBar::tab;QTabWidget::pane;QTabBar::tab:last;QTabBar::tab:first:!selected;"
            "QTabBar::tab:!selected;QTabBar::tab:selected;QTabBar::tab:!selected:hover;"
            "QRadioButton::indicator:checked, QRadioButton::indicator:unchecked;"
            "QRadioButton::indicator:checked;QCheckBox::indicator;QRadioButton::indicator;"
            "QRadioButton::indicator:hover, QCheckBox::indicator:hover;QCheckBox::indicator:checked;"
            "QCheckBox::indicator:disabled, QRadioButton::indicator:disabled").split(QLatin1Char(';'));
        QCOMPARE(expected.size(), 64);
        QCOMPARE(ruleSelectors(sheet), expected);

        // The images the theme names, each in the table above.
        QStringList urls;
        for (auto m = QRegularExpression(QStringLiteral("url\\(([^)]*)\\)")).globalMatch(sheet); m.hasNext();)
            urls << m.next().captured(1).trimmed();
        QCOMPARE(urls, QStringList({":/images/down_arrow.png", ":/images/handle.png", ":/images/checkbox.png"}));
    }

    void aboutLabels_data()
    {
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<int>("pointSize"); // 0: the application's own
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("text");
        QTest::newRow("labelLogo") << QRect(210, 180, 171, 61) << 0 << false << QString();
        QTest::newRow("labelTopo") << QRect(30, 20, 351, 41) << 20 << true << "TQX-5R Serial Controller";
        QTest::newRow("labelVersion") << QRect(30, 90, 261, 20) << 16 << false << "Version: 1.0 (09/2015)";
        QTest::newRow("label") << QRect(30, 250, 351, 16) << 12 << false
                               << QString::fromUtf8("\xc2\xa9 2015 Veltrix - All rights reserved");
        QTest::newRow("label_2") << QRect(120, 270, 141, 16) << 12 << false << "veltrix.example";
    }
    void aboutLabels()
    {
        QFETCH(QRect, geometry);
        QFETCH(int, pointSize);
        QFETCH(bool, bold);
        QFETCH(QString, text);
        about dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("About Veltrix"));
        QCOMPARE(dialog.size(), QSize(400, 300));
        auto *label = dialog.findChild<QLabel *>(QLatin1String(QTest::currentDataTag()), Qt::FindDirectChildrenOnly);
        QVERIFY(label);
        QCOMPARE(label->metaObject()->className(), "QLabel");
        QCOMPARE(label->geometry(), geometry);
        QCOMPARE(label->text(), text);
        const QFont appFont = QApplication::font();
        QCOMPARE(label->font().family(), appFont.family());
        QCOMPARE(label->font().pointSize(), pointSize ? pointSize : appFont.pointSize());
        QCOMPARE(label->font().weight(), bold ? int(QFont::Bold) : appFont.weight());
    }

    // The box has no theme of its own: it takes the dark one from the window
    // it is opened over, and the logo shows at its own size.
    void aboutOverThemedWindow()
    {
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &, const QString &text) {
                if (type != QtDebugMsg && type != QtInfoMsg)
                    warnings << text;
            });
        QWidget window;
        window.setStyleSheet(darkThemeStyleSheet());
        auto *dialog = new about(&window);
        dialog->show();
        const bool exposed = QTest::qWaitForWindowExposed(dialog);
        const QImage page = dialog->grab().toImage();
        qInstallMessageHandler(previous);
        QVERIFY(exposed);
        const QStringList parseErrors = warnings.filter(QStringLiteral("stylesheet"), Qt::CaseInsensitive);
        QVERIFY2(parseErrors.isEmpty(), qPrintable(parseErrors.join('\n')));
        QVERIFY(dialog->styleSheet().isEmpty());

        QCOMPARE(page.pixel(10, 150), qRgb(0x32, 0x32, 0x32)); // no label there
        for (QLabel *label : dialog->findChildren<QLabel *>())
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0xb1, 0xb1, 0xb1));

        const QImage shown = dialog->findChild<QLabel *>(QStringLiteral("labelLogo"))->grab().toImage();
        const QImage logo = QImage(QStringLiteral(":/images/logo1.jpg")).convertToFormat(shown.format());
        bool found = false;
        for (int dx = 0; dx <= shown.width() - logo.width() && !found; ++dx)
            found = shown.copy(dx, 0, logo.width(), logo.height()) == logo;
        QVERIFY(found);
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
