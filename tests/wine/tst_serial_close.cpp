// Handshake, upload and close, ten times in a row, as the program does them on
// Windows: every close returns after the closing frame, and none crashes. Run
// under Wine by run_wine_e2e, with COM1 on the display emulator.

#include "programming/device_programmer.h"
#include "programming/programming_window.h"

#include <QTest>

// Every row unchecked: an upload sends the parameters alone.
struct Window : ProgrammingWindow
{
    void UstawieniaPoczatkoweProgramowania() override {}
    QString screenText(Memory, int) const override { return {}; }
    bool screenChecked(Memory, int) const override { return false; }
    bool parametersChecked(Memory) const override { return true; }
    ParameterChoice parameters(Memory) const override { return {}; }
    QString Godzina_MEB() const override { return {}; }
    QString DlugiDzwiek_Caption() const override { return {}; }
    void setDlugiDzwiek_Caption(const QString &) override {}
    void setDeviceCommandsEnabled(bool) override {}
    void PokazInformacje(int number) override { shown.append(number); }
    void PokazOstrzezenie(int number) override { shown.append(number); }
    QList<int> shown;
};

class SerialClose : public QObject
{
    Q_OBJECT

private slots:
    void closeAfterEveryUpload()
    {
        for (int round = 0; round < 10; ++round) {
            Window window;
            DeviceProgrammer programmer(window, false);
            programmer.Form_Load(QStringLiteral("COM1"));
            programmer.PrzeslijRAM_Command_Click();
            QCOMPARE(window.shown, QList<int>{101});
            programmer.Form_QueryUnload();
        }
    }
};

QTEST_GUILESS_MAIN(SerialClose)
#include "tst_serial_close.moc"
