// The port dialog with real widgets: the list, the test-open with its busy and
// unavailable ports, the hand-over to the main window, the close box and the
// start without ports. Display emulators on ptys stand for the serial devices.

#include "ports/port_list.h"
#include "programming/device_programmer.h"
#include "programming/serial_link.h"
#include "protocol/frames.h"
#include "tests/programming_support/programming_rig.h"
#include "tools/display_emulator.h"
#include "ui/module1.h"
#include "ui/select_serial_device.h"

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
#include <optional>
#include <vector>

namespace {

QList<SerialDevice> testDevices;

// The ports the dialog offers for the test's devices, as on the machine.
QList<PortEntry> listTestPorts()
{
    return portsOfDevices(testDevices);
}

// Answers every modal message box that comes up while it lives: notes its
// text and presses OK.
class BoxAnswerer : public QObject
{
public:
    QStringList texts;

    BoxAnswerer()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible())
                return;
            texts.append(box->text());
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        m_timer.start(10);
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
        QTRY_COMPARE(QApplication::focusWidget(), dialog.Combo1);
        whileShown();
    });
}

// The entries of the list with their devices, and the chosen one.
QString entries(const QComboBox *list)
{
    QStringList shown;
    for (int i = 0; i < list->count(); ++i)
        shown.append(list->itemText(i) + ' ' + list->itemData(i, Qt::ToolTipRole).toString());
    return shown.join(", ") + " chosen: " + list->currentText();
}

enum Refusal { HeldByAnotherProgram, NeverThere, Unplugged };

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
        return orderedSerialDevices(testDevices);
    }

private slots:
    void init() { Module1::NumerPortu = 0; }

    void cleanup()
    {
        testDevices.clear();
        m_displays.clear();
    }

    // The dialog as the user meets it; its close box ends the program: no main
    // window, no port opened, no message.
    void layoutKeysAndCloseBox()
    {
        offerDisplays(2);
        int loads = 0;
        fSelectSerialDevice dialog(&listTestPorts, [&](const QString &) { ++loads; });
        BoxAnswerer boxes;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Wybór portu szeregowego"));
        QCOMPARE((QStringList{dialog.Label1->text(), dialog.Command1->text()}),
                 (QStringList{"Port:", "OK"}));
        QCOMPARE((QStringList{dialog.Label1->objectName(), dialog.Combo1->objectName(),
                              dialog.Command1->objectName(), dialog.MSComm1->objectName()}),
                 (QStringList{"Label1", "Combo1", "Command1", "MSComm1"}));

        // Twips at 15 to the pixel; the label is at least wide enough for its text.
        QCOMPARE(dialog.minimumSize(), QSize(197, 70));
        QCOMPARE(dialog.maximumSize(), QSize(197, 70));
        QCOMPARE(dialog.Label1->pos(), QPoint(16, 13));
        QCOMPARE(dialog.Label1->height(), 13);
        QVERIFY(dialog.Label1->width() >= qMax(23, dialog.Label1->sizeHint().width()));
        QVERIFY(dialog.Label1->geometry().right() < dialog.Combo1->x());
        QCOMPARE(dialog.Combo1->geometry(), QRect(56, 8, 137, 21));
        QCOMPARE(dialog.Command1->geometry(), QRect(128, 40, 65, 25));
        const Qt::WindowFlags buttons =
            Qt::WindowCloseButtonHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint |
            Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint;
        QCOMPARE(dialog.windowFlags() & buttons, Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
        QVERIFY(!dialog.Combo1->isEditable());
        QVERIFY(!dialog.Command1->isDefault() && !dialog.Command1->autoDefault());

        whenShown(dialog, [&] {
            QCOMPARE(QApplication::activeModalWidget(), &dialog);
            const QPoint offCentre =
                dialog.frameGeometry().center() - dialog.screen()->availableGeometry().center();
            QVERIFY2(qAbs(offCentre.x()) <= 1 && qAbs(offCentre.y()) <= 1, "centred");
            // Tab order: the list, then the button; the label takes no focus.
            QTest::keyClick(dialog.Combo1, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), dialog.Command1);
            QTest::keyClick(dialog.Command1, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), dialog.Combo1);
            // The arrow keys choose; Escape does not close the dialog.
            QTest::keyClick(dialog.Combo1, Qt::Key_Down);
            QCOMPARE(dialog.Combo1->currentText(), QStringLiteral("COM2"));
            QTest::keyClick(dialog.Combo1, Qt::Key_Escape);
            QVERIFY(dialog.isVisible());
            dialog.windowHandle()->close();
        });
        QVERIFY(!dialog.Form_Load());
        QCOMPARE(loads, 0);
        QCOMPARE(Module1::NumerPortu, quint8(0));
        QVERIFY(!dialog.MSComm1->PortOpen() && !dialog.isVisible());
        QCOMPARE(boxes.texts, QStringList());
        for (auto &display : m_displays)
            QCOMPARE(display->received(), QByteArray());
    }

    void handsOver_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("key"); // 0: a click on OK
        QTest::newRow("OK on COM1") << 0 << 0;
        QTest::newRow("Enter in the list on COM3") << 2 << int(Qt::Key_Return);
        QTest::newRow("keypad Enter in the list on COM2") << 1 << int(Qt::Key_Enter);
    }

    // The first port is chosen. Confirming one test-opens it, closes it again,
    // hides the dialog and then loads the main window, once; the main window
    // opens the device behind the confirmed port and finds the display there.
    void handsOver()
    {
        QFETCH(int, index);
        QFETCH(int, key);
        const QList<SerialDevice> devices = offerDisplays(3);
        FakeWindow window;
        std::unique_ptr<DeviceProgrammer> mainWindow;
        int loads = 0;
        QString stateAtLoad;
        fSelectSerialDevice *self = nullptr;
        fSelectSerialDevice dialog(&listTestPorts, [&](const QString &device) {
            ++loads;
            stateAtLoad = QStringLiteral("COM%1 visible %2 test port open %3")
                              .arg(Module1::NumerPortu)
                              .arg(self->isVisible())
                              .arg(self->MSComm1->PortOpen());
            mainWindow = std::make_unique<DeviceProgrammer>(window, true);
            mainWindow->Form_Load(device);
            // A confirmation that arrives late must not load a second window.
            self->ZatwierdzWyborPortu();
        });
        self = &dialog;
        BoxAnswerer boxes;
        whenShown(dialog, [&] {
            QCOMPARE(entries(dialog.Combo1),
                     QStringLiteral("COM1 %1 — %2, COM2 %3 — %4, COM3 %5 — %6 chosen: COM1")
                         .arg(devices[0].systemLocation, devices[0].description,
                              devices[1].systemLocation, devices[1].description,
                              devices[2].systemLocation, devices[2].description));
            dialog.Combo1->setCurrentIndex(index);
            if (key == 0)
                QTest::mouseClick(dialog.Command1, Qt::LeftButton);
            else
                QTest::keyClick(dialog.Combo1, Qt::Key(key));
        });
        QVERIFY(dialog.Form_Load());
        QCOMPARE(loads, 1);
        QCOMPARE(stateAtLoad, QStringLiteral("COM%1 visible 0 test port open 0").arg(index + 1));
        QVERIFY(mainWindow->isConnected());
        QCOMPARE(window.messages, QList<FakeWindow::Message>());
        QCOMPARE(boxes.texts, QStringList());
        for (auto &display : m_displays) {
            QCOMPARE(display->received(), display->slavePath() == devices[index].systemLocation
                                              ? protocol::bytes(protocol::KomendaProg)
                                              : QByteArray());
        }
        mainWindow->Form_QueryUnload();
    }

    // COMn stays the device the user was offered, though an adapter plugged in
    // before the confirmation would take its number, until the ports are
    // listed again (openingTheListProbesAgain).
    void handsOverTheDeviceOffered()
    {
        const QString offered = offerDisplays(1).at(0).systemLocation;
        QStringList handedOver;
        fSelectSerialDevice dialog(&listTestPorts,
                                   [&](const QString &device) { handedOver.append(device); });
        BoxAnswerer boxes;
        whenShown(dialog, [&] {
            testDevices.prepend({QStringLiteral("/dev/ttyS99"), QString()});
            QCOMPARE(orderedSerialDevices(testDevices).at(0).systemLocation,
                     QStringLiteral("/dev/ttyS99"));
            QTest::mouseClick(dialog.Command1, Qt::LeftButton);
        });
        QVERIFY(dialog.Form_Load());
        QCOMPARE(handedOver, QStringList{offered});
        QCOMPARE(Module1::NumerPortu, quint8(1));
        QCOMPARE(boxes.texts, QStringList());
    }

    void refusedPortKeepsTheDialog_data()
    {
        QTest::addColumn<int>("refusal");
        QTest::addColumn<QString>("message");
        QTest::newRow("held by another program") << int(HeldByAnotherProgram) << Busy;
        QTest::newRow("listed but never there") << int(NeverThere) << Unavailable;
        QTest::newRow("unplugged after listing") << int(Unplugged) << Unavailable;
    }

    // The refused port stays chosen, the dialog stays up, and another port
    // still hands over.
    void refusedPortKeepsTheDialog()
    {
        QFETCH(int, refusal);
        QFETCH(QString, message);
        const QString missing = QStringLiteral("/dev/screenprog-no-such-device");
        const QList<SerialDevice> devices =
            refusal == NeverThere ? offerDisplays(1, {missing}) : offerDisplays(2);
        const QString refused = refusal == NeverThere ? missing : m_displays[1]->slavePath();
        const int index = devices[0].systemLocation == refused ? 0 : 1;
        std::optional<QSerialPort> holder;
        if (refusal == HeldByAnotherProgram) {
            holder.emplace(refused);
            QVERIFY2(holder->open(QIODevice::ReadWrite), qPrintable(holder->errorString()));
        }

        QList<quint8> loadedNumbers;
        fSelectSerialDevice dialog(
            &listTestPorts, [&](const QString &) { loadedNumbers.append(Module1::NumerPortu); });
        BoxAnswerer boxes;
        whenShown(dialog, [&] {
            dialog.Combo1->setCurrentIndex(index);
            if (refusal == Unplugged)
                m_displays[1]->closePort();
            QTest::mouseClick(dialog.Command1, Qt::LeftButton);
            QCOMPARE(boxes.texts, QStringList{message});
            QVERIFY(dialog.isVisible());
            QCOMPARE(dialog.Combo1->currentIndex(), index);
            QCOMPARE(Module1::NumerPortu, quint8(index + 1));
            QVERIFY(!dialog.MSComm1->PortOpen());
            QCOMPARE(loadedNumbers, QList<quint8>());

            dialog.Combo1->setCurrentIndex(1 - index);
            QTest::mouseClick(dialog.Command1, Qt::LeftButton);
        });
        QVERIFY(dialog.Form_Load());
        QCOMPARE(loadedNumbers, QList<quint8>{quint8(2 - index)});
        QCOMPARE(boxes.texts, QStringList{message});
    }

    // Without ports the dialog is never shown: message 202, then the main
    // window loads without a port.
    void noPortsLoadsTheMainWindowWithoutPort()
    {
        offerDisplays(0);
        BoxAnswerer boxes;
        QStringList boxesAtLoad;
        QStringList devicesAtLoad;
        fSelectSerialDevice dialog(&listTestPorts, [&](const QString &device) {
            boxesAtLoad.append(boxes.texts.join('|'));
            devicesAtLoad.append(device);
        });

        QVERIFY(dialog.Form_Load());
        QCOMPARE(boxesAtLoad, QStringList{NoPorts}); // loaded once, after the message
        QCOMPARE(devicesAtLoad, QStringList{QString()});
        QCOMPARE(boxes.texts, QStringList{NoPorts});
        QCOMPARE(Module1::NumerPortu, quint8(0));
        QCOMPARE(dialog.windowHandle(), nullptr); // never shown
        QCOMPARE(dialog.Combo1->currentIndex(), -1);
    }

    // Opening the list asks for the ports again: an adapter plugged in later
    // shows up, and the chosen device stays chosen while it is there.
    void openingTheListProbesAgain()
    {
        testDevices = {{"/dev/ttyUSB1", "FT232R USB UART"}};
        fSelectSerialDevice dialog(&listTestPorts, [](const QString &) {});
        BoxAnswerer boxes;
        whenShown(dialog, [&] {
            const auto reopen = [list = dialog.Combo1] {
                list->showPopup();
                list->hidePopup();
                return entries(list);
            };
            // An adapter that numbers before the chosen one.
            testDevices.append(SerialDevice{"/dev/ttyUSB0", "CP2102"});
            QCOMPARE(reopen(), "COM1 /dev/ttyUSB0 — CP2102, COM2 /dev/ttyUSB1 — FT232R USB UART "
                               "chosen: COM2");
            // The chosen one unplugged: the first entry is chosen.
            testDevices = {{"/dev/ttyUSB0", "CP2102"}, {"/dev/ttyS0", ""}};
            QCOMPARE(reopen(), "COM1 /dev/ttyS0, COM2 /dev/ttyUSB0 — CP2102 chosen: COM1");

            // Everything unplugged: confirming shows nothing and hands nothing over.
            testDevices.clear();
            QCOMPARE(reopen(), " chosen: ");
            QTest::mouseClick(dialog.Command1, Qt::LeftButton);
            QTest::keyClick(dialog.Combo1, Qt::Key_Return);
            QCOMPARE(boxes.texts, QStringList());
            QVERIFY(dialog.isVisible());
            QCOMPARE(Module1::NumerPortu, quint8(0));
            dialog.close();
        });
        QVERIFY(!dialog.Form_Load());
    }
};

QTEST_MAIN(PortDialog)
#include "tst_port_dialog.moc"
