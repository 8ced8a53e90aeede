// Each program against the display emulator: after a good handshake six
// device buttons work in screenprog and five in screenprog-noclock, which
// never sends a clock frame. Also the identity each program gives itself.
// Built twice, EXPECT_CLOCK 1 and 0.

#include "protocol/builders.h"
#include "protocol/frames.h"
#include "tools/display_emulator.h"
#include "ui/main_window.h"
#include "ui/program.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

constexpr bool withClock = EXPECT_CLOCK != 0;

} // namespace

class BuildVariants : public QObject
{
    Q_OBJECT

    std::unique_ptr<emulator::DisplayEmulator> display;
    std::unique_ptr<fMain> window;
    QTimer messageCloser;
    QStringList messages; // the texts of the message boxes it closed

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

    // The emulator as the only serial device, chosen; the window loads and
    // shows, whatever the handshake brings.
    void connectToDisplay(emulator::Reply::Kind reply)
    {
        display = std::make_unique<emulator::DisplayEmulator>();
        QVERIFY(display->open());
        emulator::Reply answer;
        answer.kind = reply;
        display->setDefaultReply(answer);
        window = std::make_unique<fMain>();
        window->Form_Load(display->slavePath());
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

private slots:
    void initTestCase()
    {
        program::setUp(*qApp);
        // Every message box is closed, so a failed handshake fails the test
        // instead of waiting on the box.
        connect(&messageCloser, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                messages << box->text();
                box->accept();
            }
        });
        messageCloser.start(20);
    }

    void cleanup()
    {
        window.reset();
        display.reset();
        messages.clear();
    }

    void identity()
    {
        QCOMPARE(program::withClock(), withClock);
        QCOMPARE(QCoreApplication::applicationName(),
                 withClock ? QStringLiteral("screenprog") : QStringLiteral("screenprog-noclock"));
        QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.00"));
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("a"));
        // The packaged desktop entry is the one the program names, and it
        // names the program's window class (the application name on X11),
        // so a dock shows the running window under that entry.
        QFile entry(
            QStringLiteral(PACKAGING_DIR "/%1.desktop").arg(QGuiApplication::desktopFileName()));
        QVERIFY2(entry.open(QIODevice::ReadOnly), qPrintable(entry.fileName()));
        QVERIFY(
            QString::fromUtf8(entry.readAll())
                .split(u'\n')
                .contains(QStringLiteral("StartupWMClass=") + QCoreApplication::applicationName()));
        // The icon, 16 x 16 and larger, for every window.
        const QList<QSize> iconSizes = QApplication::windowIcon().availableSizes();
        QVERIFY(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(48, 48)));
        // Polish whatever the system's language, Qt's own texts included.
        QCOMPARE(QLocale().language(), QLocale::Polish);
        QCOMPARE(QCoreApplication::translate("QLineEdit", "&Paste"), QStringLiteral("&Wklej"));
    }

    // A good handshake enables every device button and starts the refresh
    // timer; a silent display leaves only "O programie" working.
    void handshake_data()
    {
        QTest::addColumn<int>("reply");
        QTest::addColumn<QStringList>("shown"); // message boxes
        QTest::newRow("answered") << int(emulator::Reply::Acknowledge) << QStringList();
        QTest::newRow("silent") << int(emulator::Reply::Silent)
                                << QStringList{"Błąd w komunikacji z wyświetlaczem !!!"};
    }

    void handshake()
    {
        QFETCH(int, reply);
        QFETCH(QStringList, shown);
        connectToDisplay(emulator::Reply::Kind(reply));
        QCOMPARE(messages, shown);
        QTRY_COMPARE_WITH_TIMEOUT(frames().value(0), protocol::bytes(protocol::KomendaProg), 5000);
        const bool good = shown.isEmpty();
        const auto buttons = window->findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), withClock ? 6 + 1 : 5 + 1);
        for (QPushButton *b : buttons)
            QVERIFY2(b->isEnabled() == (good || b->objectName() == QLatin1String("About_Command")),
                     qPrintable(b->objectName()));
        QCOMPARE(window->programmer().Odswiez_Timer().isActive(), good);
    }

    // The buttons send their frames; the long-beep caption toggles with them.
    // No clock frame ever leaves screenprog-noclock.
    void immediateCommands()
    {
        connectToDisplay(emulator::Reply::Acknowledge);
        display->clearLog();
        window->findChild<QTabWidget *>(QStringLiteral("Programowanie_SSTab"))
            ->setCurrentIndex(fMain::RamPage);
        QTest::mouseClick(button("KrotkiSygnalDzwiek_Command"), Qt::LeftButton);
        QTest::mouseClick(button("DlugiDzwiek_Command"), Qt::LeftButton);
        QCOMPARE(button("DlugiDzwiek_Command")->text(), QStringLiteral("Wyłącz długi dźwięk"));
        QTest::mouseClick(button("DlugiDzwiek_Command"), Qt::LeftButton);
        QCOMPARE(button("DlugiDzwiek_Command")->text(), QStringLiteral("Włącz długi dźwięk"));
        QTest::mouseClick(button("CzyscEkran_Command"), Qt::LeftButton);
        QList<QByteArray> expected{protocol::dataFrame(protocol::ShortBeep),
                                   protocol::dataFrame(protocol::LongBeepOn),
                                   protocol::dataFrame(protocol::LongBeepOff),
                                   protocol::dataFrame(protocol::ClearScreens)};
        if (withClock) {
            window->findChild<QLineEdit *>(QStringLiteral("Godzina_MEB"))
                ->setText(QStringLiteral("09:30"));
            QTest::mouseClick(button("PrzeslijZegar_Command"), Qt::LeftButton);
            expected << protocol::RamkaZegara(u"09:30");
        }
        QTRY_COMPARE_WITH_TIMEOUT(frames(), expected, 5000);
    }
};

QTEST_MAIN(BuildVariants)
#include "tst_build_variants.moc"
