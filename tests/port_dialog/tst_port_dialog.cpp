// The port dialog with real widgets: the list, the test-open with its busy and
// unavailable ports, the hand-over to the main window, the close box and the
// start without ports. Display emulators on ptys stand for the serial devices.

#include "ports/select_serial_device.h"
#include "ports/window_setup.h"
#include "programming/device_programmer.h"
#include "programming/module1.h"
#include "programming/serial_devices.h"
#include "programming/serial_link.h"
#include "protocol/frames.h"
#include "tests/programming_support/programming_rig.h"
#include "tools/display_emulator.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSerialPort>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <memory>
#include <vector>

namespace {

QList<SerialDevice> testDevices;

QList<SerialDevice> listTestDevices()
{
    return testDevices;
}

struct SeenBox
{
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers every modal message box that comes up while it lives: notes it and
// presses OK.
class BoxAnswerer : public QObject
{
public:
    QList<SeenBox> boxes;
    std::function<void()> whileShown; // runs once a box is up, before OK

    BoxAnswerer()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible())
                return;
            boxes.append({true, box->windowTitle(), box->text(), box->icon()});
            if (whileShown)
                whileShown();
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        m_timer.start(10);
    }

    QStringList texts() const
    {
        QStringList list;
        for (const SeenBox &box : boxes)
            list.append(box.text);
        return list;
    }

private:
    QTimer m_timer;
};

const QString Busy =
    QStringLiteral("Port zajęty przez inne urządzenie !!! Wybierz inny port do komunikacji.");
const QString Unavailable = QStringLiteral("Wybrany port nie jest dostępny !!!");
const QString NoPorts = QStringLiteral("W systemie brak jest portów szeregowych !!!");

// Runs `whileShown` once the dialog is up in its modal loop; whatever happens
// there, the dialog does not stay open to hang the test.
void whenShown(fSelectSerialDevice &dialog, std::function<void()> whileShown)
{
    QTimer::singleShot(0, &dialog, [&dialog, whileShown] {
        const auto closeIfLeftOpen = qScopeGuard([&dialog] {
            if (dialog.isVisible())
                dialog.reject();
        });
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isVisible(), 5000);
        whileShown();
    });
}

void pressKey(QWidget *widget, Qt::Key key)
{
    QTest::keyClick(widget, key);
}

} // namespace

class PortDialog : public QObject
{
    Q_OBJECT

    std::vector<std::unique_ptr<emulator::DisplayEmulator>> m_displays;

    // Opens `count` emulated displays and lists them as the machine's serial
    // devices, followed by the extra paths; returns the devices as numbered.
    QList<SerialDevice> offerDisplays(int count, const QStringList &extra = {})
    {
        testDevices.clear();
        for (int i = 0; i < count; ++i) {
            m_displays.push_back(std::make_unique<emulator::DisplayEmulator>());
            if (!m_displays.back()->open())
                qFatal("no pty: %s", qPrintable(m_displays.back()->errorString()));
            testDevices.append(
                {m_displays.back()->slavePath(), QStringLiteral("emulated display %1").arg(i + 1)});
        }
        for (const QString &path : extra)
            testDevices.append({path, QString()});
        setSerialDeviceSource(listTestDevices);
        return serialDevices();
    }

    emulator::DisplayEmulator *displayAt(const QString &path)
    {
        for (auto &display : m_displays) {
            if (display->slavePath() == path)
                return display.get();
        }
        return nullptr;
    }

private slots:
    void init() { Module1::NumerPortu = 0; }

    void cleanup()
    {
        setSerialDeviceSource(nullptr);
        testDevices.clear();
        m_displays.clear();
        Module1::NumerPortu = 0;
    }

    void layout()
    {
        offerDisplays(1);
        fSelectSerialDevice dialog([] {});
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Wybór portu szeregowego"));
        QCOMPARE(dialog.Label1->text(), QStringLiteral("Port:"));
        QCOMPARE(dialog.Command1->text(), QStringLiteral("OK"));
        QCOMPARE(dialog.Label1->objectName(), QStringLiteral("Label1"));
        QCOMPARE(dialog.Combo1->objectName(), QStringLiteral("Combo1"));
        QCOMPARE(dialog.Command1->objectName(), QStringLiteral("Command1"));
        QCOMPARE(dialog.MSComm1->objectName(), QStringLiteral("MSComm1"));

        // Twips at 15 to the pixel.
        QCOMPARE(dialog.size(), QSize(197, 70));
        QCOMPARE(dialog.minimumSize(), QSize(197, 70));
        QCOMPARE(dialog.maximumSize(), QSize(197, 70));
        QCOMPARE(dialog.Label1->pos(), QPoint(16, 13));
        QCOMPARE(dialog.Label1->height(), 13);
        // At least its own width, and wide enough for the whole text.
        QVERIFY(dialog.Label1->width() >= 23);
        QVERIFY(dialog.Label1->width() >= dialog.Label1->sizeHint().width());
        QVERIFY(dialog.Label1->geometry().right() < dialog.Combo1->x());
        QCOMPARE(dialog.Combo1->geometry(), QRect(56, 8, 137, 21));
        QCOMPARE(dialog.Command1->geometry(), QRect(128, 40, 65, 25));

        const Qt::WindowFlags flags = dialog.windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));

        QVERIFY(!dialog.Combo1->isEditable());
        QVERIFY(!dialog.Command1->isDefault());
        QVERIFY(!dialog.Command1->autoDefault());

        bool checked = false;
        whenShown(dialog, [&] {
            QVERIFY(dialog.isModal());
            QCOMPARE(QApplication::activeModalWidget(), &dialog);
            const QRect screen = dialog.screen()->availableGeometry();
            QVERIFY2(qAbs(dialog.frameGeometry().center().x() - screen.center().x()) <= 1 &&
                         qAbs(dialog.frameGeometry().center().y() - screen.center().y()) <= 1,
                     "the dialog is centred");
            // Tab order: the list, then the button; the label takes no focus.
            QTRY_COMPARE(QApplication::focusWidget(), dialog.Combo1);
            pressKey(dialog.Combo1, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), dialog.Command1);
            pressKey(dialog.Command1, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), dialog.Combo1);
            checked = true;
            dialog.close();
        });
        dialog.Form_Load();
        QVERIFY(checked);
    }

    void listsThePortsWithTheirDevices()
    {
        const QList<SerialDevice> devices = offerDisplays(2);
        fSelectSerialDevice dialog([] {});
        whenShown(dialog, [&] {
            QCOMPARE(dialog.Combo1->count(), 2);
            QCOMPARE(dialog.Combo1->currentIndex(), 0);
            for (int i = 0; i < 2; ++i) {
                QCOMPARE(dialog.Combo1->itemText(i), QStringLiteral("COM%1").arg(i + 1));
                QCOMPARE(dialog.Combo1->itemData(i, fSelectSerialDevice::DeviceRole).toString(),
                         devices[i].systemLocation);
                QCOMPARE(dialog.Combo1->itemData(i, Qt::ToolTipRole).toString(),
                         devices[i].systemLocation + QStringLiteral(" — ") +
                             devices[i].description);
            }
            dialog.close();
        });
        QVERIFY(!dialog.Form_Load());
    }

    void handsOver_data()
    {
        QTest::addColumn<int>("key"); // 0: a click on OK
        QTest::newRow("OK") << 0;
        QTest::newRow("Enter in the list") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter in the list") << int(Qt::Key_Enter);
    }

    void handsOver()
    {
        QFETCH(int, key);
        const QList<SerialDevice> devices = offerDisplays(1);

        int loads = 0;
        bool hiddenAtLoad = false;
        bool testPortClosedAtLoad = false;
        bool portFreeAtLoad = false;
        quint8 numberAtLoad = 0;
        fSelectSerialDevice *self = nullptr;
        fSelectSerialDevice dialog([&] {
            ++loads;
            hiddenAtLoad = !self->isVisible();
            testPortClosedAtLoad = !self->MSComm1->PortOpen();
            numberAtLoad = Module1::NumerPortu;
            SerialLink mainPort;
            mainPort.setCommPort(Module1::NumerPortu);
            portFreeAtLoad = mainPort.open() == SerialLink::OpenResult::Opened;
            // A confirmation that arrives late must not load a second window.
            self->ZatwierdzWyborPortu();
        });
        self = &dialog;
        BoxAnswerer boxes;
        whenShown(dialog, [&] {
            QTRY_COMPARE(QApplication::focusWidget(), dialog.Combo1);
            if (key == 0)
                QTest::mouseClick(dialog.Command1, Qt::LeftButton);
            else
                pressKey(dialog.Combo1, Qt::Key(key));
        });
        const bool loaded = dialog.Form_Load();
        QCOMPARE(boxes.texts(), QStringList());
        QVERIFY(loaded);
        QCOMPARE(loads, 1);
        QCOMPARE(numberAtLoad, quint8(1));
        QVERIFY(hiddenAtLoad);
        QVERIFY(testPortClosedAtLoad);
        QVERIFY(portFreeAtLoad);
        QVERIFY(!dialog.isVisible());
    }

    void otherKeysLeaveTheListToItself()
    {
        offerDisplays(3);
        int loads = 0;
        fSelectSerialDevice dialog([&] { ++loads; });
        whenShown(dialog, [&] {
            QTRY_COMPARE(QApplication::focusWidget(), dialog.Combo1);
            pressKey(dialog.Combo1, Qt::Key_Down);
            QCOMPARE(dialog.Combo1->currentText(), QStringLiteral("COM2"));
            pressKey(dialog.Combo1, Qt::Key_End);
            QCOMPARE(dialog.Combo1->currentText(), QStringLiteral("COM3"));
            // Escape does not close the dialog; Enter on the button does nothing
            // either, since it is not the default button.
            pressKey(dialog.Combo1, Qt::Key_Escape);
            QVERIFY(dialog.isVisible());
            QCOMPARE(loads, 0);
            QCOMPARE(Module1::NumerPortu, quint8(0));
            dialog.close();
        });
        QVERIFY(!dialog.Form_Load());
        QCOMPARE(loads, 0);
    }

    void busyPortKeepsTheDialog()
    {
        const QList<SerialDevice> devices = offerDisplays(2);
        // Another program holds COM2.
        QSerialPort holder(devices[1].systemLocation);
        QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));

        int loads = 0;
        quint8 loadedNumber = 0;
        fSelectSerialDevice dialog([&] {
            ++loads;
            loadedNumber = Module1::NumerPortu;
        });
        BoxAnswerer boxes;
        bool stillUp = false;
        boxes.whileShown = [&] { stillUp = dialog.isVisible(); };
        whenShown(dialog, [&] {
            dialog.Combo1->setCurrentIndex(1);
            QTest::mouseClick(dialog.Command1, Qt::LeftButton);
            QCOMPARE(boxes.texts(), QStringList{Busy});
            QCOMPARE(boxes.boxes.first().title, QStringLiteral("Ostrzeżenie"));
            QCOMPARE(boxes.boxes.first().icon, QMessageBox::Critical);
            QVERIFY(stillUp);
            QVERIFY(dialog.isVisible());
            QCOMPARE(dialog.Combo1->currentIndex(), 1);
            QCOMPARE(dialog.Combo1->currentText(), QStringLiteral("COM2"));
            QCOMPARE(loads, 0);
            QVERIFY(!dialog.MSComm1->PortOpen());

            // Enter in the list tries again, with the same answer.
            pressKey(dialog.Combo1, Qt::Key_Return);
            QCOMPARE(boxes.texts(), (QStringList{Busy, Busy}));

            // Another port still works.
            dialog.Combo1->setCurrentIndex(0);
            QTest::mouseClick(dialog.Command1, Qt::LeftButton);
        });
        QVERIFY(dialog.Form_Load());
        QCOMPARE(loads, 1);
        QCOMPARE(loadedNumber, quint8(1));
        QCOMPARE(boxes.boxes.size(), 2);
    }

    void unavailablePortKeepsTheDialog_data()
    {
        QTest::addColumn<bool>("unplugged"); // else: never there at all
        QTest::newRow("listed but never there") << false;
        QTest::newRow("unplugged after listing") << true;
    }

    void unavailablePortKeepsTheDialog()
    {
        QFETCH(bool, unplugged);
        const QString missing = QStringLiteral("/dev/screenprog-no-such-device");
        const QList<SerialDevice> devices =
            unplugged ? offerDisplays(2) : offerDisplays(1, {missing});
        // The device that is gone: the second display, or the listed path.
        int gone = 1;
        if (!unplugged) {
            gone = devices[0].systemLocation == missing ? 0 : 1;
            QCOMPARE(devices[gone].systemLocation, missing);
        }
        int loads = 0;
        fSelectSerialDevice dialog([&] { ++loads; });
        BoxAnswerer boxes;
        whenShown(dialog, [&] {
            QCOMPARE(dialog.Combo1->count(), 2);
            dialog.Combo1->setCurrentIndex(gone);
            if (unplugged) {
                emulator::DisplayEmulator *display = displayAt(devices[gone].systemLocation);
                QVERIFY(display != nullptr);
                display->closePort();
            }
            QTest::mouseClick(dialog.Command1, Qt::LeftButton);
            QCOMPARE(boxes.texts(), QStringList{Unavailable});
            QVERIFY(dialog.isVisible());
            QCOMPARE(dialog.Combo1->currentIndex(), gone);
            QCOMPARE(Module1::NumerPortu, quint8(gone + 1));
            dialog.close();
        });
        QVERIFY(!dialog.Form_Load());
        QCOMPARE(loads, 0);
    }

    void closeBoxEndsTheProgram_data()
    {
        QTest::addColumn<bool>("throughTheWindow");
        QTest::newRow("widget close") << false;
        QTest::newRow("window close") << true;
    }

    void closeBoxEndsTheProgram()
    {
        QFETCH(bool, throughTheWindow);
        const QList<SerialDevice> devices = offerDisplays(1);
        int loads = 0;
        fSelectSerialDevice dialog([&] { ++loads; });
        BoxAnswerer boxes;
        whenShown(dialog, [&] {
            if (throughTheWindow)
                dialog.windowHandle()->close();
            else
                dialog.close();
        });
        QVERIFY(!dialog.Form_Load());
        QCOMPARE(loads, 0);
        QCOMPARE(Module1::NumerPortu, quint8(0));
        QVERIFY(!dialog.MSComm1->PortOpen());
        QVERIFY(!dialog.isVisible());
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(m_displays.front()->received(), QByteArray());
    }

    void noPortsLoadsTheMainWindowWithoutPort()
    {
        offerDisplays(0);
        int shows = 0;
        QList<int> boxesAtLoad;
        BoxAnswerer boxes;
        fSelectSerialDevice dialog([&] { boxesAtLoad.append(int(boxes.boxes.size())); });
        // The dialog itself is never shown on this path.
        class ShowCounter : public QObject
        {
        public:
            int &count;
            explicit ShowCounter(int &c) : count(c) {}
            bool eventFilter(QObject *, QEvent *event) override
            {
                if (event->type() == QEvent::Show)
                    ++count;
                return false;
            }
        } counter(shows);
        dialog.installEventFilter(&counter);

        QVERIFY(dialog.Form_Load());
        QCOMPARE(boxesAtLoad, QList<int>{1}); // loaded once, after message 202
        QCOMPARE(boxes.texts(), QStringList{NoPorts});
        QCOMPARE(boxes.boxes.first().title, QStringLiteral("Ostrzeżenie"));
        QCOMPARE(boxes.boxes.first().icon, QMessageBox::Critical);
        QCOMPARE(Module1::NumerPortu, quint8(0));
        QCOMPARE(shows, 0);
        QCOMPARE(dialog.Combo1->count(), 0);
        QCOMPARE(dialog.Combo1->currentIndex(), -1);
    }

    // The main window loaded by the hand-over opens the device behind the
    // confirmed port and finds the display there.
    void confirmingCom3OpensTheDeviceBehindCom3()
    {
        const QList<SerialDevice> devices = offerDisplays(3);
        FakeWindow window;
        std::unique_ptr<DeviceProgrammer> mainWindow;
        quint8 numberAtLoad = 0;
        fSelectSerialDevice dialog([&] {
            numberAtLoad = Module1::NumerPortu;
            mainWindow = std::make_unique<DeviceProgrammer>(window, true);
            mainWindow->Form_Load();
        });
        BoxAnswerer boxes;
        whenShown(dialog, [&] {
            dialog.Combo1->setCurrentIndex(2);
            QCOMPARE(dialog.Combo1->currentText(), QStringLiteral("COM3"));
            pressKey(dialog.Combo1, Qt::Key_Return);
        });
        QVERIFY(dialog.Form_Load());
        QCOMPARE(numberAtLoad, quint8(3));
        QCOMPARE(Module1::NumerPortu, quint8(3));
        QVERIFY(mainWindow != nullptr);
        QVERIFY(mainWindow->isConnected());
        QCOMPARE(window.messages, QList<FakeWindow::Message>());
        QCOMPARE(boxes.texts(), QStringList());

        const QByteArray prog = protocol::bytes(protocol::KomendaProg);
        QCOMPARE(displayAt(devices[2].systemLocation)->received(), prog);
        QCOMPARE(displayAt(devices[0].systemLocation)->received(), QByteArray());
        QCOMPARE(displayAt(devices[1].systemLocation)->received(), QByteArray());
        mainWindow->Form_QueryUnload();
    }

    // Opening the list asks for the ports again: an adapter plugged in later
    // shows up, and the chosen device stays chosen while it is there.
    void openingTheListProbesAgain()
    {
        testDevices = {{QStringLiteral("/dev/ttyUSB1"), QStringLiteral("FT232R USB UART")}};
        setSerialDeviceSource(listTestDevices);
        int loads = 0;
        fSelectSerialDevice dialog([&] { ++loads; });
        BoxAnswerer boxes;
        whenShown(dialog, [&] {
            QComboBox *list = dialog.Combo1;
            QCOMPARE(list->count(), 1);

            // An adapter that numbers before the chosen one.
            testDevices.append({QStringLiteral("/dev/ttyUSB0"), QStringLiteral("CP2102")});
            list->showPopup();
            QCOMPARE(list->count(), 2);
            QCOMPARE(list->itemData(0, Qt::ToolTipRole).toString(),
                     QStringLiteral("/dev/ttyUSB0 — CP2102"));
            QCOMPARE(list->currentText(), QStringLiteral("COM2"));
            QCOMPARE(list->currentData(fSelectSerialDevice::DeviceRole).toString(),
                     QStringLiteral("/dev/ttyUSB1"));
            list->hidePopup();

            // The chosen one unplugged: the first entry is chosen.
            testDevices.removeFirst();
            testDevices.append({QStringLiteral("/dev/ttyS0"), QString()});
            list->showPopup();
            QCOMPARE(list->count(), 2);
            QCOMPARE(list->currentIndex(), 0);
            QCOMPARE(list->currentData(fSelectSerialDevice::DeviceRole).toString(),
                     QStringLiteral("/dev/ttyS0"));
            QCOMPARE(list->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyS0"));
            list->hidePopup();

            // Everything unplugged: confirming shows nothing and hands nothing over.
            testDevices.clear();
            list->showPopup();
            QCOMPARE(list->count(), 0);
            list->hidePopup();
            QTest::mouseClick(dialog.Command1, Qt::LeftButton);
            pressKey(dialog.Combo1, Qt::Key_Return);
            QCOMPARE(boxes.texts(), QStringList());
            QVERIFY(dialog.isVisible());
            QCOMPARE(Module1::NumerPortu, quint8(0));
            dialog.close();
        });
        QVERIFY(!dialog.Form_Load());
        QCOMPARE(loads, 0);
    }
};

QTEST_MAIN(PortDialog)
#include "tst_port_dialog.moc"
