// The windows as the user meets them, started as the program starts them: the
// port dialog hands over to the main window, which talks to the display
// emulator on a pty; the message boxes, the screen text and clock fields, the
// About window, the screen-set files, closing during an upload. Built once per
// program: EXPECT_CLOCK 1 for screenprog, 0 for screenprog-noclock.

#include "programming/serial_link.h"
#include "protocol/builders.h"
#include "protocol/display.h"
#include "protocol/frames.h"
#include "protocol/screen_set.h"
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
#include <sys/stat.h>
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

// What the window's upload sends, as the set whose frames screenprog-cli
// sends: the ticked screens with their texts, the parameters when ticked.
protocol::ScreenSet uploadOf(const ProgrammingInputs &window, Memory memory)
{
    protocol::ScreenSet set(memory);
    for (int n = 1; n <= set.screens(); ++n)
        if (window.screenChecked(memory, n))
            set.texts[n] = window.screenText(memory, n);
    if ((set.parametersGiven = window.parametersChecked(memory)))
        set.parameters = window.parameters(memory);
    return set;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}
void write(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
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
    QTemporaryDir dir;

    template <typename T = QWidget> T *element(const char *name, int n = 0) const
    {
        const QString base = QString::fromLatin1(name);
        return window->findChild<T *>(n == 0 ? base : QStringLiteral("%1(%2)").arg(base).arg(n));
    }
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }

    // The main window without a port, active; on its EEPROM page one screen,
    // "stays", and no parameters, their lists moved.
    void startWithFields()
    {
        window = std::make_unique<fMain>();
        window->Form_Load(QString());
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        for (int n = 1; n <= protocol::EepromScreens; ++n) {
            element<QLineEdit>("TekstEEPROM_Text", n)->setText(n == 1 ? "stays" : "x");
            element<QCheckBox>("TekstEEPROM_Check", n)->setChecked(n == 1);
        }
        element<QCheckBox>("ParametryEEPROM_Check")->setChecked(false);
        element<QComboBox>("JasnoscEEPROM_Combo")->setCurrentIndex(1);
    }

    // Every field of both pages but the clock, which follows the time.
    QStringList fields() const
    {
        QStringList values;
        for (QWidget *w : element("Programowanie_SSTab")->findChildren<QWidget *>()) {
            if (auto *edit = qobject_cast<QLineEdit *>(w); edit && w != element("Godzina_MEB"))
                values << edit->text();
            if (auto *box = qobject_cast<QCheckBox *>(w))
                values << QString::number(box->isChecked());
            if (auto *list = qobject_cast<QComboBox *>(w))
                values << QString::number(list->currentIndex());
        }
        return values;
    }

    // The window's context menu: its commands with their keys.
    QStringList menu() const
    {
        QStringList items;
        for (const QAction *action : window->actions())
            items << action->text() + "\t" + action->shortcut().toString();
        return window->contextMenuPolicy() == Qt::ActionsContextMenu ? items : QStringList();
    }

    // Keys pressed in a text box, and the file chosen in the dialog they open.
    void chooseFile(QKeyCombination keys, const QString &file)
    {
        QTest::keyClick(element("TekstRAM_Text", 1), keys.key(), keys.keyboardModifiers());
        QFileDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())));
        dialog->selectFile(file);
        static_cast<QDialog *>(dialog)->accept(); // as its Save or Open button does
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

    void screenSetFiles_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("saved"); // lines in a row of what Ctrl+S writes
        QFile example(EXAMPLE_FILE);
        QVERIFY(example.open(QIODevice::ReadOnly));
        QTest::newRow("the example")
            << example.readAll()
            << "3 = \"  Kasa 3  \"\n4 = Zażółć\n5 = gęślą jaźń\n\n[RAM]\nRodzaj przesuwu = Co "
               "znak\nPrękość przesuwu = 10\nJasność = 10\nIlość ekranów = 3\n1 = Odj. 7:15\n";
        QTest::newRow("quoted blanks, quotes, comment marks")
            << QByteArray("[EEPROM]\n1 = \" a\"\n2 = \"\"q\"\n3 = \"#x \" \n4=\";y\"\n5 = a  b\n")
            << "[EEPROM]\n1 = \" a\"\n2 = \"\"q\"\n3 = \"#x \"\n4 = \";y\"\n5 = a  b\n\n[RAM]\n";
        QTest::newRow("Polish letters, an accent composed")
            << QByteArray("[RAM]\nJasność = 3\n1 = Zażółć\n2 = e\xcc\xa8 ŁÓDŹ €\n")
            << "[RAM]\nRodzaj przesuwu = Na przemian\nPrękość przesuwu = 10\nJasność = 3\n"
               "Ilość ekranów = 8\n1 = Zażółć\n2 = ę ŁÓDŹ €\n";
        QTest::newRow("an empty section, an empty text")
            << QByteArray("[EEPROM]\n[RAM]\n7 =\n8 = x\n")
            << "[EEPROM]\n\n[RAM]\n7 = \"\"\n8 = x\n";
        QTest::newRow("only [RAM]: the EEPROM page stays")
            << QByteArray("[RAM]\nIlość ekranów = 0\n")
            << "[EEPROM]\n1 = stays\n\n[RAM]\nRodzaj przesuwu = Na przemian\n";
    }

    // Opened, then saved with Ctrl+S: each section's set on its page, a page
    // without one as it was; read back, the same sets, for which screenprog-cli
    // sends the window's own frames.
    void screenSetFiles()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, saved);
        startWithFields();
        protocol::ScreenSetFile before{uploadOf(*window, Memory::Eeprom),
                                       uploadOf(*window, Memory::Ram)};
        const QString name = path("set.ekrany");
        write(name, file);
        protocol::ScreenSetFile original, again;
        QCOMPARE(protocol::readScreenSetFile(name, original), QString());
        QVERIFY(window->files().open(name));
        QTest::keyClick(element("TekstRAM_Text", 1), Qt::Key_S, Qt::ControlModifier);
        QVERIFY2(contents(name).contains(saved.toUtf8()), contents(name));
        QCOMPARE(protocol::readScreenSetFile(name, again), QString());
        for (Memory memory : {Memory::Eeprom, Memory::Ram}) {
            const auto shown = original.section(memory).value_or(*before.section(memory));
            QVERIFY(uploadOf(*window, memory) == shown);
            QVERIFY(again.section(memory) == shown);
            if (original.section(memory) && !shown.parametersGiven) // the lists as at start
                QVERIFY(window->parameters(memory) == protocol::startChoice(memory));
        }
    }

    void badScreenSetFiles_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: there is none
        QTest::addColumn<QString>("problem"); // the reader's, after the file's name
        QTest::newRow("unknown key") << QByteArray("[RAM]\n1 = a\nKolor = 3\n")
                                     << ":3: nieznany klucz „Kolor”; dozwolone: numer ekranu";
        QTest::newRow("eleven characters, after a good section")
            << QByteArray("[EEPROM]\n1 = ok\n[RAM]\n2 = Zażółć_gęśl\n")
            << ":4: ekran 2 (RAM): za długi tekst „Zażółć_gęśl” (liczba znaków: 11, najwyżej 10)";
        QTest::newRow("outside Windows-1250")
            << QByteArray("[RAM]\nJasność = 2\n1 = a→b\n")
            << ":3: ekran 1 (RAM): znaku „→” (U+2192) nie da się wysłać; wyświetlacz zna";
        QTest::newRow("cannot be read") << QByteArray() << ": nie można odczytać pliku: ";
    }

    // Dropped on a text box, which leaves files to the window: the reader's
    // message, and not a field changed.
    void badScreenSetFiles()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, problem);
        startWithFields();
        const QStringList before = fields();
        const QString name = path(QTest::currentDataTag());
        if (!file.isEmpty())
            write(name, file);
        QMimeData data; // as a file manager drags it
        data.setUrls({QUrl::fromLocalFile(name)});
        data.setText(name);
        QDragEnterEvent enter({2, 2}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(element("TekstRAM_Text", 1), &enter);
        QDropEvent drop({2, 2}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(element("TekstRAM_Text", 1), &drop);
        const QString shown = "Ostrzeżenie: Nie można otworzyć zestawu ekranów; okno pozostało bez "
                              "zmian.\n" +
                              name + problem;
        QTRY_VERIFY2(boxes.value(0).startsWith(shown), qPrintable(boxes.value(0)));
        QCOMPARE(fields(), before);
        QCOMPARE(window->files().file(), QString());
    }

    // The command line's file opens before the window shows, after the lists'
    // start-up choices.
    void fileOfTheCommandLine()
    {
        write(path("start.ekrany"), "[EEPROM]\nJasność = 4\n2 = Start\n");
        window = std::make_unique<fMain>();
        window->setFileToOpen(path("start.ekrany"));
        window->Form_Load(QString());
        QVERIFY(window->isVisible());
        protocol::ScreenSetFile start;
        QCOMPARE(protocol::readScreenSetFile(path("start.ekrany"), start), QString());
        QVERIFY(uploadOf(*window, Memory::Eeprom) == start.eeprom);
    }

    // The context menu offers the file commands with their keys; Ctrl+Shift+S
    // and Ctrl+O ask through the file dialogs; Ctrl+S then saves where the
    // file came from, and a failed save leaves that file as it was.
    void fileCommands()
    {
        startWithFields();
        QCOMPARE(menu(),
                 (QStringList{"Otwórz zestaw ekranów…\tCtrl+O", "Zapisz zestaw ekranów\tCtrl+S",
                              "Zapisz zestaw ekranów jako…\tCtrl+Shift+S"}));
        chooseFile(Qt::CTRL | Qt::SHIFT | Qt::Key_S, path("trasa")); // the suffix added
        QTRY_COMPARE(window->files().file(), path("trasa.ekrany"));
        QVERIFY(contents(path("trasa.ekrany")).contains("[EEPROM]\n1 = stays\n\n[RAM]\nRodzaj"));
        write(path("other.ekrany"), "[RAM]\n1 = Inny\n");
        chooseFile(Qt::CTRL | Qt::Key_O, path("other.ekrany"));
        QTRY_COMPARE(window->screenText(Memory::Ram, 1), "Inny");
        QCOMPARE(menu().value(1), "Zapisz do „other.ekrany”\tCtrl+S");

        // A folder the user (root: nobody) may not write to, a file he may.
        QVERIFY(::chmod(QFile::encodeName(path("other.ekrany")), 0666) == 0 &&
                ::chmod(QFile::encodeName(dir.path()), 0555) == 0);
        const bool root = ::geteuid() == 0;
        QVERIFY(!root || ::setresuid(65534, 65534, 0) == 0);
        QTest::keyClick(element("TekstRAM_Text", 1), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(!root || ::setresuid(0, 0, 0) == 0);
        QCOMPARE(::chmod(QFile::encodeName(dir.path()), 0700), 0);
        QVERIFY2(boxes.join("|").startsWith("Ostrzeżenie: Nie można zapisać zestawu ekranów.\n" +
                                            path("other.ekrany") + ": nie można zapisać pliku: ") &&
                     boxes.join("|").endsWith("; plik pozostał bez zmian"),
                 qPrintable(boxes.join("|")));
        QCOMPARE(contents(path("other.ekrany")), "[RAM]\n1 = Inny\n");
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
