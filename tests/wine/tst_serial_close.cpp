// The serial port on Windows opened, used and closed many times in a row, as
// the program does at start and at exit: every close returns, after the
// closing frame has gone out, and none crashes. Run by run_wine_e2e under
// Wine, with COM1 on the display emulator.

#include "programming/serial_link.h"
#include "protocol/frames.h"

#include <QTest>

using namespace protocol;

class SerialClose : public QObject
{
    Q_OBJECT

private slots:
    void closeAfterEveryExchange()
    {
        for (int round = 0; round < 20; ++round) {
            SerialLink link;
            link.setCommPort(1);
            QCOMPARE(link.open(), SerialLink::OpenResult::Opened);
            QVERIFY(link.Output(bytes(KomendaProg)));
            // The event loop runs meanwhile, as in the program's pacing wait.
            QTRY_VERIFY_WITH_TIMEOUT(link.InBufferCount() >= AcknowledgementSize, 5000);
            QByteArray reply;
            for (int i = 0; i < AcknowledgementSize; ++i)
                reply.append(char(link.Input()));
            QVERIFY2(isAcknowledgement(reply), reply.toHex(' ').constData());
            QVERIFY(link.Output(bytes(KomendaKoniec)));
            link.close();
            QVERIFY(!link.PortOpen());
        }
    }
};

QTEST_GUILESS_MAIN(SerialClose)
#include "tst_serial_close.moc"
