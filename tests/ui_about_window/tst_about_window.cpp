// The About window: its layout and fixed texts, the etched rule, the OK button
// that is both the default and the cancel button, and its modal showing from
// the main window.

#include "ui/about_window.h"
#include "ui/main_window.h"
#include "ui/program.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// The nearest pixel at 96 dpi, where 15 twips make a pixel.
int px(int twips)
{
    return (twips + 7) / 15;
}

QRect pixels(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

} // namespace

class AboutWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<fMain> mainWindow; // every opening from the same main window
    QStringList firstTexts;

private slots:
    void initTestCase()
    {
        program::setUp(*qApp);
        mainWindow = std::make_unique<fMain>();
        mainWindow->Form_Load(QString()); // no port
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow.get()));
    }
    void cleanupTestCase() { mainWindow.reset(); }

    // Each label where the window's table puts it, with its text and colour,
    // the text fitting its box in the window's font. The maker's and the
    // author's lines are ours to word; only their shape is fixed.
    void labels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("black");
        QTest::addColumn<bool>("wrapping");
        QTest::newRow("lblTitle") << "lblTitle" << pixels(120, 120, 3885, 240)
                                  << "Nazwa: screenprog-noclock" << true << false;
        QTest::newRow("lblVersion")
            << "lblVersion" << pixels(120, 480, 3885, 225) << "Wersja: 1\\.00" << false << false;
        QTest::newRow("lblDescription")
            << "lblDescription" << pixels(120, 840, 3885, 1170)
            << "Opis: Aplikacja służy do programowania wyświetlanych ekranów systemu VELTA-ORSO\\."
            << true << true;
        // The maker's address and telephone only when the build supplies them.
        QTest::newRow("lblCompany") << "lblCompany" << pixels(120, 2280, 2655, 465)
                                    << "Korvant(, [^[\\]]+)?" << true << true;
        QTest::newRow("lblDisclaimer") << "lblDisclaimer" << pixels(120, 3000, 2775, 225)
                                       << "Autor: [^[\\]]+" << true << false;
    }

    void labels()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, pattern);
        QFETCH(bool, black);
        QFETCH(bool, wrapping);
        frmAbout about;
        auto *label = about.findChild<QLabel *>(name);
        QVERIFY(label != nullptr);
        QCOMPARE(label->geometry(), geometry);
        const QRegularExpression text(QRegularExpression::anchoredPattern(pattern));
        QVERIFY2(text.match(label->text()).hasMatch(), qPrintable(label->text()));
        QCOMPARE(label->wordWrap(), wrapping);
        // Black set on the label itself; the version keeps the default colour.
        QCOMPARE(label->palette().isBrushSet(QPalette::Active, QPalette::WindowText) &&
                     label->palette().color(QPalette::WindowText) == QColor(0, 0, 0),
                 black);
        const QRect needed = label->fontMetrics().boundingRect(
            QRect(0, 0, label->width(), 10000),
            int(label->alignment()) | (wrapping ? Qt::TextWordWrap : 0), label->text());
        QVERIFY2(
            needed.width() <= label->width() && needed.height() <= label->height(),
            qPrintable(QStringLiteral("needs %1 x %2").arg(needed.width()).arg(needed.height())));
    }

    // A fixed window without minimise, maximise or help buttons; an etched
    // rule at 2160 across it, grey over white; OK, the default button.
    void windowRuleAndOk()
    {
        frmAbout about;
        QCOMPARE(about.windowTitle(), QStringLiteral("O programie"));
        QCOMPARE(about.size(), QSize(px(4485), px(3330)));
        QCOMPARE(about.minimumSize(), about.maximumSize());
        const Qt::WindowFlags buttons = Qt::WindowMinimizeButtonHint |
                                        Qt::WindowMaximizeButtonHint |
                                        Qt::WindowContextHelpButtonHint;
        QVERIFY(!(about.windowFlags() & buttons));
        QCOMPARE(about.findChild<QFrame *>(QStringLiteral("Line1(1)"))->geometry(),
                 QRect(px(90), px(2160), px(4080) - px(90), 1));
        QCOMPARE(about.findChild<QFrame *>(QStringLiteral("Line1(0)"))->geometry(),
                 QRect(px(105), px(2160), px(4080) - px(105), 2));
        QCOMPARE(about.cmdOK->text(), QStringLiteral("OK"));
        QCOMPARE(about.cmdOK->geometry(), pixels(3120, 2880, 1260, 345));
        QVERIFY(about.cmdOK->isDefault());
    }

    // "O programie" shows it modal and owner-less, OK with the focus, which
    // nothing else takes; a click on the main window goes nowhere meanwhile.
    // OK, Enter and Escape close it (Escape presses OK, the cancel button),
    // and every opening shows the same texts.
    void opensFromTheMainWindow_data()
    {
        QTest::addColumn<int>("key"); // 0: OK clicked
        QTest::newRow("OK clicked") << 0;
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
    }

    void opensFromTheMainWindow()
    {
        QFETCH(int, key);
        fMain &window = *mainWindow;
        window.findChild<QTabWidget *>(QStringLiteral("Programowanie_SSTab"))
            ->setCurrentIndex(fMain::EepromPage);
        auto *box = window.findChild<QCheckBox *>(QStringLiteral("TekstEEPROM_Check(1)"));
        const bool before = box->isChecked();
        // Through the window system, where modal blocking happens.
        const auto clickTheBox = [&window, box] {
            QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                              box->mapTo(&window, box->rect().center()));
        };
        // The click returns with the window open: a wait of a running upload,
        // which shares this event loop, goes on meanwhile.
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("About_Command")),
                          Qt::LeftButton);
        QPointer<frmAbout> about = qobject_cast<frmAbout *>(QApplication::activeModalWidget());
        QVERIFY(about);
        int result = -1;
        connect(about, &QDialog::finished, about, [&result](int r) { result = r; });
        QVERIFY(about->parentWidget() == nullptr);
        QCOMPARE(about->windowModality(), Qt::ApplicationModal);
        QTRY_COMPARE(QApplication::focusWidget(), about->cmdOK);
        QTest::keyClick(about, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), about->cmdOK);
        const QImage image = about->grab().toImage();
        const int middle = (px(105) + px(4080)) / 2;
        QCOMPARE(QColor(image.pixel(middle, px(2160))), QColor(128, 128, 128));
        QCOMPARE(QColor(image.pixel(middle, px(2160) + 1)), QColor(255, 255, 255));
        QStringList texts;
        for (QLabel *label : about->findChildren<QLabel *>())
            texts << label->objectName() + u'=' + label->text();
        clickTheBox();
        QCOMPARE(box->isChecked(), before);
        if (key == 0)
            QTest::mouseClick(about->cmdOK, Qt::LeftButton);
        else
            QTest::keyClick(about, Qt::Key(key));
        QCOMPARE(result, int(QDialog::Accepted));
        // Closed is destroyed: the next opening starts from the fixed texts.
        QTRY_VERIFY(about.isNull());
        QCOMPARE(texts.size(), 5);
        if (firstTexts.isEmpty())
            firstTexts = texts;
        QCOMPARE(texts, firstTexts);
        // Afterwards the main window takes input again.
        clickTheBox();
        QTRY_COMPARE(box->isChecked(), !before);
    }
};

QTEST_MAIN(AboutWindow)
#include "tst_about_window.moc"
