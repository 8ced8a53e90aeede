// Each program against the display emulator: after a good handshake six
// device buttons work in screenprog and five in screenprog-noclock, which
// never has a clock field or button and never sends a clock frame. Also the
// identity each program gives itself. Built twice, EXPECT_CLOCK 1 and 0.

#include "programming/module1.h"
#include "programming/serial_devices.h"
#include "protocol/builders.h"
#include "protocol/frames.h"
#include "tools/display_emulator.h"
#include "ui/main_window.h"
#include "ui/program.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

constexpr bool withClock = EXPECT_CLOCK != 0;

QString &ptyPath()
{
    static QString path;
    return path;
}

QList<SerialDevice> emulatorOnly()
{
    return {{ptyPath(), QStringLiteral("display emulator")}};
}

QStringList deviceButtons()
{
    QStringList names{"PrzeslijEEPROM_Command", "PrzeslijRAM_Command", "KrotkiSygnalDzwiek_Command",
                      "DlugiDzwiek_Command", "CzyscEkran_Command"};
    if (withClock)
        names << "PrzeslijZegar_Command";
    return names;
}

// Closes every message box that shows, remembering its text.
class MessageCloser : public QObject
{
public:
    QStringList texts;
    MessageCloser()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->accept();
            }
        });
        m_timer.start(20);
    }

private:
    QTimer m_timer;
};

} // namespace

class BuildVariants : public QObject
{
    Q_OBJECT

    std::unique_ptr<emulator::DisplayEmulator> display;
    std::unique_ptr<fMain> window;

    QPushButton *button(const char *name) const
    {
        return window->findChild<QPushButton *>(QString::fromLatin1(name));
    }

    QList<QByteArray> frames() const
    {
        QList<QByteArray> bytes;
        for (const emulator::ReceivedFrame &frame : display->frames())
            bytes << frame.bytes;
        return bytes;
    }

    void connectToDisplay()
    {
        display = std::make_unique<emulator::DisplayEmulator>();
        QVERIFY(display->open());
        ptyPath() = display->slavePath();
        setSerialDeviceSource(&emulatorOnly);
        Module1::NumerPortu = 1;
        window = std::make_unique<fMain>();
        window->Form_Load();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

private slots:
    void initTestCase() { program::setUp(*qApp); }

    void cleanup()
    {
        window.reset();
        display.reset();
        setSerialDeviceSource(nullptr);
        Module1::NumerPortu = 0;
    }

    void identity()
    {
        QCOMPARE(program::withClock(), withClock);
        QCOMPARE(QCoreApplication::applicationName(),
                 withClock ? QStringLiteral("screenprog") : QStringLiteral("screenprog-noclock"));
        QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.00"));
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("a"));
        QCOMPARE(QGuiApplication::desktopFileName(),
                 QStringLiteral("pl.korvant.") + QCoreApplication::applicationName());
        // The icon, 16 x 16 and larger, for every window.
        const QIcon icon = QApplication::windowIcon();
        QVERIFY(!icon.isNull());
        QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
        QVERIFY(icon.availableSizes().contains(QSize(48, 48)));
        // Polish whatever the system's language, Qt's own texts included.
        QCOMPARE(QLocale().language(), QLocale::Polish);
        QCOMPARE(QCoreApplication::translate("QLineEdit", "&Paste"), QStringLiteral("&Wklej"));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Anuluj"));
    }

    void goodHandshake()
    {
        MessageCloser closer; // a failed handshake would wait on message 200
        connectToDisplay();
        QCOMPARE(closer.texts, QStringList());
        QTRY_COMPARE_WITH_TIMEOUT(frames().value(0), protocol::bytes(protocol::KomendaProg), 5000);
        int enabled = 0;
        for (QPushButton *b : window->findChildren<QPushButton *>())
            if (b->objectName() != QLatin1String("About_Command") && b->isEnabled())
                ++enabled;
        QCOMPARE(enabled, withClock ? 6 : 5);
        for (const QString &name : deviceButtons())
            QVERIFY2(button(qPrintable(name))->isEnabled(), qPrintable(name));
        QVERIFY(window->programmer().Odswiez_Timer().isActive());
        QVERIFY(window->isVisible());
        QCOMPARE(
            window->findChild<QTabWidget *>(QStringLiteral("Programowanie_SSTab"))->currentIndex(),
            withClock ? int(fMain::RamPage) : int(fMain::EepromPage));
    }

    void silentDisplay()
    {
        MessageCloser closer;
        display = std::make_unique<emulator::DisplayEmulator>();
        QVERIFY(display->open());
        emulator::Reply silent;
        silent.kind = emulator::Reply::Silent;
        display->setDefaultReply(silent);
        ptyPath() = display->slavePath();
        setSerialDeviceSource(&emulatorOnly);
        Module1::NumerPortu = 1;
        window = std::make_unique<fMain>();
        window->Form_Load();
        QCOMPARE(closer.texts,
                 QStringList{QStringLiteral("Błąd w komunikacji z wyświetlaczem !!!")});
        QVERIFY(window->isVisible());
        for (QPushButton *b : window->findChildren<QPushButton *>())
            QCOMPARE(b->isEnabled(), b->objectName() == QLatin1String("About_Command"));
        QVERIFY(!window->programmer().Odswiez_Timer().isActive());
    }

    // The buttons send their frames; the long-beep caption toggles with them.
    void immediateCommands()
    {
        MessageCloser closer;
        connectToDisplay();
        QCOMPARE(closer.texts, QStringList());
        display->clearLog();
        const QString on = QStringLiteral("Włącz długi dźwięk");
        const QString off = QStringLiteral("Wyłącz długi dźwięk");
        window->findChild<QTabWidget *>(QStringLiteral("Programowanie_SSTab"))
            ->setCurrentIndex(fMain::RamPage);
        QTest::mouseClick(button("KrotkiSygnalDzwiek_Command"), Qt::LeftButton);
        QTest::mouseClick(button("DlugiDzwiek_Command"), Qt::LeftButton);
        QCOMPARE(button("DlugiDzwiek_Command")->text(), off);
        QTest::mouseClick(button("DlugiDzwiek_Command"), Qt::LeftButton);
        QCOMPARE(button("DlugiDzwiek_Command")->text(), on);
        QTest::mouseClick(button("CzyscEkran_Command"), Qt::LeftButton);
        QList<QByteArray> expected{protocol::dataFrame(protocol::ShortBeep),
                                   protocol::dataFrame(protocol::LongBeepOn),
                                   protocol::dataFrame(protocol::LongBeepOff),
                                   protocol::dataFrame(protocol::ClearScreens)};
        if (withClock) {
            auto *clock = window->findChild<QLineEdit *>(QStringLiteral("Godzina_MEB"));
            clock->setText(QStringLiteral("09:30"));
            QTest::mouseClick(button("PrzeslijZegar_Command"), Qt::LeftButton);
            expected << protocol::RamkaZegara(u"09:30");
        }
        QTRY_COMPARE_WITH_TIMEOUT(frames().size(), expected.size(), 5000);
        QCOMPARE(frames(), expected);
        // No clock frame ever leaves screenprog-noclock.
        int clockFrames = 0;
        for (const QByteArray &frame : frames())
            clockFrames += frame.at(4) == char(protocol::Clock) ? 1 : 0;
        QCOMPARE(clockFrames, withClock ? 1 : 0);
    }

    void noClockElements()
    {
        Module1::NumerPortu = 0;
        window = std::make_unique<fMain>();
        window->Form_Load();
        for (int page : {fMain::EepromPage, fMain::RamPage}) {
            window->findChild<QTabWidget *>(QStringLiteral("Programowanie_SSTab"))
                ->setCurrentIndex(page);
            QCOMPARE(window->findChild<QLineEdit *>(QStringLiteral("Godzina_MEB")) != nullptr,
                     withClock);
            QCOMPARE(button("PrzeslijZegar_Command") != nullptr, withClock);
            int clockTexts = 0;
            for (QPushButton *b : window->findChildren<QPushButton *>())
                clockTexts += b->text().contains(QStringLiteral("zegar")) ? 1 : 0;
            QCOMPARE(clockTexts, withClock ? 1 : 0);
        }
    }
};

QTEST_MAIN(BuildVariants)
#include "tst_build_variants.moc"
