// The windows as the user meets them, started as the program starts them: the
// port dialog hands over to the main window, which talks to the display
// emulator on a pty; the message boxes, the screen text and clock fields, the
// About window, closing during an upload. Built once per program: EXPECT_CLOCK
// 1 for screenprog, 0 for screenprog-noclock.

#include "programming/serial_link.h"
#include "protocol/display.h"
#include "protocol/builders.h"
#include "protocol/frames.h"
#include "protocol/windows1250.h"
#include "tools/display_emulator.h"
#include "ui/about_window.h"
#include "ui/clock_field.h"
#include "ui/main_window.h"
#include "ui/program.h"
#include "ui/select_serial_device.h"

#include <QTest>
#include <QtGui/private/qguiapplication_p.h>
#include <QtWidgets>

#include <cerrno>
#include <unistd.h>

#include <memory>

using emulator::Reply;
using Clock = DeviceProgrammer::Clock;
using namespace std::chrono_literals;
Q_DECLARE_METATYPE(Reply)

namespace {

constexpr bool withClock = EXPECT_CLOCK != 0;
const QString NoSuchDevice = QStringLiteral("/dev/screenprog-no-such-device");
const QByteArray Prog = protocol::bytes(protocol::KomendaProg);
const QByteArray Screen1 = protocol::RamkaTekstuRAM(1, u"x");
const QString Busy = QStringLiteral(
    "Ostrzeżenie: Port zajęty przez inne urządzenie !!! Wybierz inny port do komunikacji.");
const QString Unavailable = QStringLiteral("Ostrzeżenie: Wybrany port nie jest dostępny !!!");

// Types text as a keyboard or an input method delivers it: one key event a
// character, one outside the BMP included.
void type(QWidget *widget, const QString &text)
{
    for (QStringView c : protocol::characters(text)) {
        for (QEvent::Type t : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(t, Qt::Key_unknown, Qt::NoModifier, c.toString());
            QApplication::sendEvent(widget, &event);
        }
    }
}

// A table of typing: what a field holds first, what is typed, what it shows.
void typingColumns(const char *before, const char *typedText, const char *after)
{
    for (const char *column : {before, typedText, after})
        QTest::addColumn<QString>(column);
}
void typed(const char *row, const QString &before, const QString &keys, const QString &after)
{
    QTest::newRow(row) << before << keys << after;
}

} // namespace

class Windows : public QObject
{
    Q_OBJECT

    QStringList boxes; // "title: text" of every message box, each closed with its OK
    QTimer boxCloser;
    // The question on closing during an upload, answered a second after it shows.
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    Clock::time_point asked, answered;
    std::unique_ptr<emulator::DisplayEmulator> display;
    std::unique_ptr<fMain> window;
    QList<PortEntry> ports; // what the port dialog finds when it asks

    template <typename T = QWidget> T *element(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }

    // The program's start: the port dialog offering these devices ("missing"
    // stands for one that is not there, "later" for one plugged in after the
    // start, a path for itself, anything else for the display), and on its
    // hand-over the main window. The action runs once the dialog is up. True
    // when the main window was loaded.
    bool start(const QStringList &entries, const std::function<void(fSelectSerialDevice &)> &action)
    {
        ports.clear();
        for (const QString &entry : entries)
            if (entry != "later")
                ports.append({QStringLiteral("COM%1").arg(ports.size() + 1),
                              entry == "missing"      ? NoSuchDevice
                              : entry.startsWith('/') ? entry
                                                      : display->slavePath(),
                              {}});
        fSelectSerialDevice dialog(
            [this] { return ports; },
            [&](const QString &device) {
                QVERIFY(!dialog.isVisible());
                window = std::make_unique<fMain>();
                window->Form_Load(device);
                dialog.ZatwierdzWyborPortu(); // a late second confirmation loads nothing more
            });
        if (!entries.isEmpty()) {
            QTimer::singleShot(0, &dialog, [&] {
                QTRY_VERIFY(dialog.isVisible());
                QTest::keyClick(dialog.Combo1, Qt::Key_Escape); // does not close it
                QVERIFY(dialog.isVisible());
                action(dialog);
                if (dialog.isVisible())
                    dialog.windowHandle()->close(); // the close box
            });
        }
        return dialog.Form_Load();
    }

    // Only RAM screen 1 checked; the window is closed while its upload waits
    // for that screen's answer.
    void closeWhileScreen1Waits(QMessageBox::StandardButton reply)
    {
        answer = reply;
        asked = answered = {};
        element<QTabWidget>("Programowanie_SSTab")->setCurrentIndex(fMain::RamPage);
        for (QCheckBox *box : window->findChildren<QCheckBox *>())
            box->setChecked(box->objectName() == "TekstRAM_Check(1)");
        element<QLineEdit>("TekstRAM_Text(1)")->setText("x");
        connect(display.get(), &emulator::DisplayEmulator::frameReceived, window.get(),
                [this](const emulator::ReceivedFrame &frame) {
                    if (frame.bytes == Screen1)
                        QTimer::singleShot(100, window.get(), &QWidget::close);
                });
    }

    QStringList enabledButtons() const
    {
        QStringList names;
        for (QPushButton *b : window->findChildren<QPushButton *>())
            if (b->isEnabled())
                names.append(b->objectName());
        return names;
    }

private slots:
    void initTestCase()
    {
        program::setUp(*qApp);
        QCOMPARE(QCoreApplication::applicationName(),
                 withClock ? "screenprog" : "screenprog-noclock");
        connect(&boxCloser, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible())
                return;
            if (box->icon() == QMessageBox::Question && answer != QMessageBox::NoButton) {
                if (asked == Clock::time_point{})
                    asked = Clock::now();
                else if (Clock::now() - asked >= 1s && answered == Clock::time_point{}) {
                    answered = Clock::now();
                    box->button(answer)->click();
                }
                return;
            }
            const QString detail =
                QTextDocumentFragment::fromHtml(box->informativeText()).toPlainText();
            boxes.append(box->windowTitle() + ": " + box->text() +
                         (detail.isEmpty() ? QString() : "\n" + detail));
            QCOMPARE(box->icon(), box->windowTitle() == "Informacja" ? QMessageBox::Information
                                                                     : QMessageBox::Critical);
            QCOMPARE(box->buttons().size(), 1);
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        boxCloser.start(10);
    }

    void init()
    {
        display = std::make_unique<emulator::DisplayEmulator>();
        QVERIFY(display->open());
        boxes.clear();
    }
    void cleanup()
    {
        window.reset();
        display.reset();
    }

    void portDialog_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("shown"); // the message; none when handed over
        QTest::newRow("handed over") << QStringList{"missing", "display"} << "";
        QTest::newRow("plugged in later") << QStringList{"missing", "later"} << "";
        QTest::newRow("busy") << QStringList{"busy"} << Busy;
        QTest::newRow("not there") << QStringList{"missing"} << Unavailable;
        QTest::newRow("no serial device")
            << QStringList{"/dev/null"} << Unavailable + "\n/dev/null: " + qt_error_string(ENOTTY);
        QTest::newRow("not this user's")
            << QStringList{"refused"}
            << Unavailable + "\nBrak uprawnień do urządzenia DEVICE.\n"
                             "Porty szeregowe są dostępne dla członków grupy dialout.";
    }

    // A confirmed port is test-opened and handed over once; a refused one
    // keeps the dialog up with its message until its close box ends the program.
    void portDialog()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, shown);
        const bool refused = entries.contains("refused");
        if (refused && ::geteuid() != 0)
            QSKIP("needs root, to become a user outside the device's groups for a moment");
        shown.replace("DEVICE", display->slavePath());
        const QStringList boxesShown = shown.isEmpty() ? QStringList() : QStringList{shown};
        SerialLink holder; // another program's
        if (entries.contains("busy"))
            holder.open(display->slavePath());
        const bool handedOver = start(entries, [&](fSelectSerialDevice &dialog) {
            if (entries.contains("later")) { // listed when the list opens
                ports.append({QStringLiteral("COM2"), display->slavePath(), {}});
                dialog.Combo1->showPopup();
                dialog.Combo1->hidePopup();
            }
            dialog.Combo1->setCurrentIndex(dialog.Combo1->count() - 1);
            if (refused)
                QCOMPARE(::setresuid(65534, 65534, 0), 0);
            QTest::mouseClick(dialog.Command1, Qt::LeftButton);
            if (refused)
                QCOMPARE(::setresuid(0, 0, 0), 0);
            QCOMPARE(boxes, boxesShown);
        });
        QCOMPARE(boxes, boxesShown);
        QCOMPARE(handedOver, shown.isEmpty());
        QCOMPARE(window && window->programmer().isConnected(), shown.isEmpty());
        QCOMPARE(display->received(), shown.isEmpty() ? Prog : "");
    }

    // Without ports: the message, then the main window without a port, on
    // the program's first page, every box checked, the lists at their start
    // values, only "O programie" of the buttons enabled, the clock at the time
    // of the load.
    void mainWindowAtLoad()
    {
        const QString loading = QTime::currentTime().toString("HH:mm");
        QVERIFY(start({}, {}));
        QCOMPARE(boxes, QStringList{"Ostrzeżenie: W systemie brak jest portów szeregowych !!!"});
        QCOMPARE(element<QTabWidget>("Programowanie_SSTab")->currentIndex(),
                 withClock ? fMain::RamPage : fMain::EepromPage);
        for (QCheckBox *box : window->findChildren<QCheckBox *>())
            QVERIFY2(box->isChecked(), qPrintable(box->objectName()));
        const ParameterChoice r = window->parameters(Memory::Ram);
        const ParameterChoice e = window->parameters(Memory::Eeprom);
        QCOMPARE((QList<int>{r.scrollKind, r.screenCount, r.speed, r.brightness, e.scrollKind,
                             e.speed, e.brightness}),
                 (QList<int>{0, 8, 9, 9, 0, 9, 9}));
        QCOMPARE(enabledButtons(), QStringList{"About_Command"});
        QCOMPARE(element("Godzina_MEB") != nullptr, withClock);
        if (withClock)
            QVERIFY(window->Godzina_MEB() == loading ||
                    window->Godzina_MEB() == QTime::currentTime().toString("HH:mm"));
    }

    void clockField_data()
    {
        // typed over from the first place; "" cleared first
        typingColumns("before", "keys", "shown");
        typed("ASCII digits only", "", "1a٣4x599", "14:59");
        typed("an hour above 23 refused", "", "2934", "23:4 ");
        typed("a minute above 59 refused", "", "1260", "12:0 ");
        typed("tens of hours above 2 refused", "", "35", "  :  ");
        typed("2 over 19:45 clears the 9", "19:45", "2", "2 :45");
        typed("then 3: 23:45", "19:45", "23", "23:45");
        typed("3 over 19:45 refused", "19:45", "3", "19:45");
    }

    // It follows the clock until the user types; then keeps what was typed.
    void clockField()
    {
        QFETCH(QString, before);
        QFETCH(QString, keys);
        QFETCH(QString, shown);
        QTime now(8, 0, 59, 900);
        ClockField field(nullptr, [&now] { return now; });
        field.followClock();
        QCOMPARE(field.displayText(), QStringLiteral("08:00"));
        now = QTime(8, 1, 59, 950); // the next minute comes, and the one after it soon
        QTRY_COMPARE(field.displayText(), QStringLiteral("08:01"));
        if (before.isEmpty()) {
            field.selectAll();
            QTest::keyClick(&field, Qt::Key_Delete);
        } else {
            now = QTime::fromString(before, "HH:mm");
            field.followClock();
            field.setCursorPosition(0);
        }
        type(&field, keys);
        QCOMPARE(field.displayText(), shown);
        now = QTime(9, 0);
        QTest::qWait(300); // past the minute the field would have shown
        QCOMPARE(field.displayText(), shown);
    }

    // "O programie" is modal and owner-less: the main window takes no click
    // until OK closes it.
    void about()
    {
        QVERIFY(start({}, {}));
        element<QTabWidget>("Programowanie_SSTab")->setCurrentIndex(fMain::EepromPage);
        auto *box = element<QCheckBox>("TekstEEPROM_Check(1)");
        QTest::mouseClick(element("About_Command"), Qt::LeftButton);
        QPointer<frmAbout> about = qobject_cast<frmAbout *>(QApplication::activeModalWidget());
        QVERIFY(about && about->parentWidget() == nullptr);
        QTRY_COMPARE(QApplication::focusWidget(), about->cmdOK);
        const QPoint onTheBox = box->mapTo(window.get(), box->rect().center());
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, onTheBox);
        QVERIFY(box->isChecked());
        QTest::mouseClick(about->cmdOK, Qt::LeftButton);
        QTRY_VERIFY(about.isNull());
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, onTheBox);
        QVERIFY(!box->isChecked());
    }

    void handshake_data()
    {
        QTest::addColumn<QString>("device");    // "display", "busy", "missing" or a path
        QTest::addColumn<QByteArray>("before"); // already waiting when the window loads
        QTest::addColumn<Reply>("reply");       // how the display answers
        QTest::addColumn<QString>("shown");
        const QByteArray none, ack = protocol::bytes(protocol::OdpowiedzOK);
        const Reply answer{Reply::Acknowledge, 0, {}}, silent{Reply::Silent, 0, {}};
        const QString error = "Ostrzeżenie: Błąd w komunikacji z wyświetlaczem !!!";
        QTest::newRow("answered") << "display" << none << answer << "";
        QTest::newRow("silent") << "display" << none << silent << error;
        QTest::newRow("complete after the wait")
            << "display" << none << Reply{Reply::Acknowledge, 900, {}} << error;
        QTest::newRow("an old acknowledgement, silent") << "display" << ack << silent << error;
        // Taken or gone after the port dialog tried it.
        QTest::newRow("busy") << "busy" << none << answer << Busy;
        QTest::newRow("gone") << "missing" << none << answer << Unavailable;
        // No serial port at all: the system's own words say why.
        QTest::newRow("no serial device")
            << "/dev/null" << none << answer
            << Unavailable + "\n/dev/null: " + qt_error_string(ENOTTY);
    }

    // Only the display's acknowledgement of this request enables the device
    // buttons and starts the refresh every 28 s; anything else is a message.
    void handshake()
    {
        QFETCH(QString, device);
        QFETCH(QByteArray, before);
        QFETCH(Reply, reply);
        QFETCH(QString, shown);
        SerialLink holder; // another program's
        if (device == "busy")
            holder.open(display->slavePath());
        display->setDefaultReply(reply);
        display->send(before);
        window = std::make_unique<fMain>();
        window->Form_Load(device == "missing"      ? NoSuchDevice
                          : device.startsWith('/') ? device
                                                   : display->slavePath());
        const bool connected = shown.isEmpty();
        QCOMPARE(boxes, connected ? QStringList() : QStringList{shown});
        QCOMPARE(enabledButtons().size(), connected ? (withClock ? 7 : 6) : 1);
        QCOMPARE(window->Odswiez_Timer().isActive(), connected);
        QCOMPARE(window->Odswiez_Timer().interval(), 28000);
        window->Odswiez_Timer_Timer();
        QTRY_COMPARE(display->received(), device != "display" ? QByteArray()
                                          : connected
                                              ? Prog + protocol::bytes(protocol::KomendaOdswiez)
                                              : Prog);
    }

    // The buttons send their frames, the long beep's caption toggling; an
    // upload shows its progress, then its message.
    void withTheDisplay()
    {
        QVERIFY(start({"display"}, [](fSelectSerialDevice &d) { d.Command1->click(); }));
        element<QTabWidget>("Programowanie_SSTab")->setCurrentIndex(fMain::RamPage);
        auto *longBeep = element<QPushButton>("DlugiDzwiek_Command");
        QTest::mouseClick(element("KrotkiSygnalDzwiek_Command"), Qt::LeftButton);
        QTest::mouseClick(longBeep, Qt::LeftButton);
        QCOMPARE(longBeep->text(), QStringLiteral("Wyłącz długi dźwięk"));
        QTest::mouseClick(longBeep, Qt::LeftButton);
        QCOMPARE(longBeep->text(), QStringLiteral("Włącz długi dźwięk"));
        QTest::mouseClick(element("CzyscEkran_Command"), Qt::LeftButton);
        QByteArray sent = Prog;
        for (auto code : {protocol::ShortBeep, protocol::LongBeepOn, protocol::LongBeepOff,
                          protocol::ClearScreens})
            sent += protocol::dataFrame(code);
        if (withClock) {
            element<QLineEdit>("Godzina_MEB")->setText("09:30");
            QTest::mouseClick(element("PrzeslijZegar_Command"), Qt::LeftButton);
            sent += protocol::dataFrame(protocol::Clock, "\x09\x30");
        }
        QTRY_COMPARE(display->received(), sent);

        // Nothing checked: the upload is its closing refresh alone.
        for (QCheckBox *box : window->findChildren<QCheckBox *>())
            box->setChecked(false);
        auto *strip = element<QProgressBar>("uploadProgress");
        bool stripShown = false;
        QTimer::singleShot(300, this, [&] { stripShown = strip->isVisible(); });
        element<QTabWidget>("Programowanie_SSTab")->setCurrentIndex(fMain::EepromPage);
        QTest::mouseClick(element("PrzeslijEEPROM_Command"), Qt::LeftButton);
        QVERIFY(stripShown && strip->isHidden());
        QCOMPARE(boxes, QStringList{"Informacja: Programowanie EEPROMu zakończone."});
        QCOMPARE(display->received(), sent + protocol::bytes(protocol::KomendaOdswiez));
    }

    // At most ten characters a screen, only those the display can show,
    // typed or pasted (a paste filtered before the cut), at the end or over a
    // selection (in brackets).
    void screenText_data()
    {
        typingColumns("start", "input", "result");
        typed("eleventh refused", "", "ABCDEFGHIJK", "ABCDEFGHIJ");
        typed("Polish, euro, spaces", "", " Żółć 5€ ", " Żółć 5€ ");
        typed("filtered, then cut", "x", "漢😀añ\tbcdefghijkl", "xabcdefghi");
        typed("over a selection", "01[234]56789", "漢ab😀cdef", "01abc56789");
    }

    void screenText()
    {
        QFETCH(QString, start);
        QFETCH(QString, input);
        QFETCH(QString, result);
        QVERIFY(this->start({}, {}));
        QGuiApplication::clipboard()->setText(input);
        for (bool pasted : {false, true}) {
            auto *edit = element<QLineEdit>("TekstRAM_Text(4)");
            element<QTabWidget>("Programowanie_SSTab")->setCurrentIndex(fMain::RamPage);
            edit->setText(QString(start).remove(u'[').remove(u']'));
            edit->setFocus();
            const int from = int(start.indexOf(u'['));
            from < 0 ? edit->end(false)
                     : edit->setSelection(from, int(start.indexOf(u']')) - from - 1);
            pasted ? QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier) : type(edit, input);
            QCOMPARE(window->screenText(Memory::Ram, 4), result);
        }
    }

    // Closing during an upload asks first, also after a logout that another
    // program cancelled; No lets the upload go on, its wait ending only after
    // the answer. The strip counts the frames sent of those due.
    void closeDuringAnUpload()
    {
        QVERIFY(start({"display"}, [](fSelectSerialDevice &d) { d.Command1->click(); }));
        emit qApp->commitDataRequest(*QGuiApplicationPrivate::instance()->session_manager);
        closeWhileScreen1Waits(QMessageBox::No);
        auto *strip = element<QProgressBar>("uploadProgress");
        QStringList counts;
        const auto count = [&] { counts << strip->text(); };
        connect(&window->programmer(), &DeviceProgrammer::uploadStarted, strip, count);
        connect(&window->programmer(), &DeviceProgrammer::uploadProgress, strip, count);
        QTest::mouseClick(element("PrzeslijRAM_Command"), Qt::LeftButton);
        QVERIFY2(answered != Clock::time_point{}, "no question was answered");
        QCOMPARE(counts, (QStringList{"Wysłano 0 z 2 ramek", "Wysłano 1 z 2 ramek",
                                      "Wysłano 2 z 2 ramek"}));
        QCOMPARE(boxes, QStringList{"Informacja: Programowanie bieżące zakończone."});
        const QList<emulator::ReceivedFrame> frames = display->frames();
        QCOMPARE(display->received(), Prog + Screen1 + protocol::bytes(protocol::KomendaOdswiez));
        QVERIFY(frames.last().at - answered >= 700ms);
        QVERIFY(window->isVisible());
    }

    // Last: closing the window, once the user says Yes to the question during
    // an upload, sends the closing frame and ends the program with status 0.
    void closingEndsTheProgram()
    {
        QVERIFY(start({"display"}, [](fSelectSerialDevice &d) { d.Command1->click(); }));
        closeWhileScreen1Waits(QMessageBox::Yes);
        QTimer::singleShot(0, window.get(),
                           [this] { element<QPushButton>("PrzeslijRAM_Command")->click(); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(answered != Clock::time_point{} && boxes.isEmpty());
        QTRY_COMPARE(display->received(),
                     Prog + Screen1 + protocol::bytes(protocol::KomendaKoniec));
    }
};

QTEST_MAIN(Windows)
#include "tst_windows.moc"
