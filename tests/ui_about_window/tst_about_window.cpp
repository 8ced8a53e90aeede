// The About window: its layout and fixed texts, the OK button that is both
// the default and the cancel button, and its modal showing from the main
// window.

#include "programming/module1.h"
#include "ui/about_window.h"
#include "ui/main_window.h"
#include "ui/program.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

int px(int twips)
{
    return (twips + 7) / 15;
}

QRect pixels(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

// Runs check once the About window is the active modal window, then closes
// it with the given key (or the OK button when key is 0).
void whileAboutIsOpen(std::function<void(frmAbout *)> check, int key)
{
    QTimer::singleShot(0, [check, key] {
        QTRY_VERIFY(qobject_cast<frmAbout *>(QApplication::activeModalWidget()) != nullptr);
        auto *about = qobject_cast<frmAbout *>(QApplication::activeModalWidget());
        check(about);
        if (key == 0)
            QTest::mouseClick(about->cmdOK, Qt::LeftButton);
        else
            QTest::keyClick(about, Qt::Key(key));
    });
}

} // namespace

class AboutWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { program::setUp(*qApp); }

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("black");
        QTest::addColumn<bool>("wrapping");
        QTest::newRow("lblTitle") << "lblTitle" << pixels(120, 120, 3885, 240)
                                  << "Nazwa: screenprog-noclock" << true << false;
        QTest::newRow("lblVersion")
            << "lblVersion" << pixels(120, 480, 3885, 225) << "Wersja: 1.00" << false << false;
        QTest::newRow("lblDescription")
            << "lblDescription" << pixels(120, 840, 3885, 1170)
            << "Opis: Aplikacja służy do programowania wyświetlanych ekranów systemu VELTA-ORSO."
            << true << true;
        QTest::newRow("lblCompany")
            << "lblCompany" << pixels(120, 2280, 2655, 465) << QString() << true << true;
        QTest::newRow("lblDisclaimer")
            << "lblDisclaimer" << pixels(120, 3000, 2775, 225) << QString() << true << false;
    }

    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(bool, black);
        QFETCH(bool, wrapping);
        frmAbout about;
        auto *label = about.findChild<QLabel *>(name);
        QVERIFY(label != nullptr);
        QCOMPARE(label->geometry(), geometry);
        if (!text.isEmpty())
            QCOMPARE(label->text(), text);
        QCOMPARE(label->wordWrap(), wrapping);
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        QCOMPARE(label->palette().isBrushSet(QPalette::Active, QPalette::WindowText), black);
        if (black)
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 0));
        // The text fits its box in the window's font, wrapped where it wraps.
        const QFontMetrics fm(label->font());
        const QRect needed = fm.boundingRect(
            QRect(0, 0, label->width(), 10000),
            int(label->alignment()) | (wrapping ? Qt::TextWordWrap : 0), label->text());
        QVERIFY2(
            needed.width() <= label->width() && needed.height() <= label->height(),
            qPrintable(QStringLiteral("needs %1 x %2").arg(needed.width()).arg(needed.height())));
    }

    void makerAndAuthor()
    {
        frmAbout about;
        // The maker's line starts with its name and carries an address and a
        // telephone; the author's line names the author.
        QVERIFY(about.lblCompany->text().startsWith(QStringLiteral("Korvant, ")));
        QVERIFY(about.lblCompany->text().contains(QStringLiteral(", tel. ")));
        QVERIFY(about.lblDisclaimer->text().startsWith(QStringLiteral("Autor: ")));
        QVERIFY(about.lblDisclaimer->text().size() > 7);
    }

    void windowAndRule()
    {
        frmAbout about;
        QCOMPARE(about.windowTitle(), QStringLiteral("O programie"));
        QCOMPARE(about.size(), QSize(px(4485), px(3330)));
        QCOMPARE(about.minimumSize(), about.maximumSize());
        QVERIFY(!about.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!about.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!about.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
        QVERIFY(about.parentWidget() == nullptr);

        // An etched rule at 2160: grey over white, across the window.
        auto *grey = about.findChild<QFrame *>(QStringLiteral("Line1(1)"));
        auto *white = about.findChild<QFrame *>(QStringLiteral("Line1(0)"));
        QVERIFY(grey != nullptr && white != nullptr);
        QCOMPARE(grey->geometry(), QRect(px(90), px(2160), px(4080) - px(90), 1));
        QCOMPARE(white->geometry(), QRect(px(105), px(2160), px(4080) - px(105), 2));
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        const QImage image = about.grab().toImage();
        const int middle = (px(105) + px(4080)) / 2;
        QCOMPARE(QColor(image.pixel(middle, px(2160))), QColor(128, 128, 128));
        QCOMPARE(QColor(image.pixel(middle, px(2160) + 1)), QColor(255, 255, 255));
        // The rule lies between the description and the maker's line.
        QVERIFY(about.lblDescription->geometry().bottom() < grey->geometry().top());
        QVERIFY(white->geometry().bottom() < about.lblCompany->geometry().top());
    }

    void okButton()
    {
        frmAbout about;
        QCOMPARE(about.cmdOK->text(), QStringLiteral("OK"));
        QCOMPARE(about.cmdOK->geometry(), pixels(3120, 2880, 1260, 345));
        QVERIFY(about.cmdOK->isDefault());
        about.show();
        QApplication::setActiveWindow(&about);
        QVERIFY(QTest::qWaitForWindowActive(&about));
        QCOMPARE(QApplication::focusWidget(), about.cmdOK);
        // Nothing else takes the focus: Tab stays on OK.
        QTest::keyClick(&about, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), about.cmdOK);
    }

    void closes_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("OK clicked") << 0;
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
    }

    void closes()
    {
        QFETCH(int, key);
        frmAbout about;
        bool checked = false;
        whileAboutIsOpen([&checked](frmAbout *) { checked = true; }, key);
        QTimer::singleShot(10000, &about, [&about] { about.done(42); }); // guard only
        // Escape presses OK, the cancel button, like Enter does.
        QCOMPARE(about.exec(), int(QDialog::Accepted));
        QVERIFY(checked);
        QVERIFY(!about.isVisible());
    }

    // From the main window: modal, owner-less, and the main window takes no
    // input until it is closed; opened again it shows the same texts.
    void fromMainWindow()
    {
        Module1::NumerPortu = 0;
        fMain window;
        window.Form_Load();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("Programowanie_SSTab"));
        tabs->setCurrentIndex(fMain::EepromPage);
        auto *aboutButton = window.findChild<QPushButton *>(QStringLiteral("About_Command"));
        auto *box = window.findChild<QCheckBox *>(QStringLiteral("TekstEEPROM_Check(1)"));

        QStringList firstTexts, secondTexts;
        int openings = 0;
        const auto collect = [&](QStringList &texts) {
            return [&texts, &openings, box, &window](frmAbout *about) {
                ++openings;
                QVERIFY(about->parentWidget() == nullptr);
                QCOMPARE(about->windowModality(), Qt::ApplicationModal);
                QVERIFY(about->isVisible());
                for (QLabel *label : about->findChildren<QLabel *>())
                    texts << label->objectName() + u'=' + label->text();
                // A click on the main window goes nowhere meanwhile; it goes
                // through the window system, where modal blocking happens.
                QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                                  box->mapTo(&window, box->rect().center()));
                QVERIFY(box->isChecked());
                QVERIFY(window.isVisible());
            };
        };
        whileAboutIsOpen(collect(firstTexts), Qt::Key_Escape);
        QTest::mouseClick(aboutButton, Qt::LeftButton);
        QCOMPARE(openings, 1);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(window.findChildren<frmAbout *>().isEmpty());

        whileAboutIsOpen(collect(secondTexts), 0);
        QTest::mouseClick(aboutButton, Qt::LeftButton);
        QCOMPARE(openings, 2);
        QCOMPARE(firstTexts.size(), 5);
        QCOMPARE(secondTexts, firstTexts);
        // Afterwards the main window is as it was, and takes input again.
        QVERIFY(box->isChecked());
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                          box->mapTo(&window, box->rect().center()));
        QTRY_VERIFY(!box->isChecked());
    }
};

QTEST_MAIN(AboutWindow)
#include "tst_about_window.moc"
