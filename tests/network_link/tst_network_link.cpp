// A display behind a serial device server: the Telnet side of RFC 2217 byte
// by byte, as RFC 854 and RFC 2217 have it; then the network link under the
// device logic against a server the test plays on a loopback port: the
// failures of connecting, the end cutting a connection attempt short, and a
// lost connection coming back. The real server, ser2net, is in the
// end-to-end test.

#include "programming/device_programmer.h"
#include "programming/network_link.h"
#include "programming/telnet_parser.h"
#include "protocol/frames.h"

#include <QtNetwork>
#include <QtTest>

namespace {

const QByteArray Prog = protocol::bytes(protocol::KomendaProg);
const QByteArray Ack = protocol::bytes(protocol::OdpowiedzOK);

// The line's settings as the client sends them once the server has taken the
// COM port option: 1200 baud, 8 data bits, no parity, 2 stop bits, no flow
// control, DTR on, RTS off; and the server's confirmations of the first four.
const char *const Settings = "fffa2c01000004b0fff0 fffa2c0208fff0 fffa2c0301fff0 fffa2c0402fff0 "
                             "fffa2c0501fff0 fffa2c0508fff0 fffa2c050cfff0";
const char *const Confirmed = "fffa2c65000004b0fff0 fffa2c6608fff0 fffa2c6701fff0 fffa2c6802fff0";

struct NoInputs : ProgrammingInputs
{
    QString screenText(Memory, int) const override { return {}; }
    bool screenChecked(Memory, int) const override { return false; }
    bool parametersChecked(Memory) const override { return false; }
    ParameterChoice parameters(Memory m) const override { return protocol::startChoice(m); }
    QString Godzina_MEB() const override { return {}; }
};

// A serial device server on a loopback port, with the display behind it: it
// keeps what it receives and answers each programming request, unless silent.
struct Server
{
    QTcpServer listener;
    QTcpSocket *client = nullptr; // the last connection taken
    QByteArray received;
    const bool silent;

    explicit Server(bool silence = false) : silent(silence)
    {
        listener.listen(QHostAddress::LocalHost);
        QObject::connect(&listener, &QTcpServer::newConnection, &listener, [this] {
            QTcpSocket *c = client = listener.nextPendingConnection();
            QObject::connect(c, &QTcpSocket::readyRead, c, [this, c] {
                const QByteArray bytes = c->readAll();
                received += bytes;
                if (!silent && bytes.contains(Prog))
                    c->write(Ack);
            });
        });
    }
    QString url(const QString &scheme) const
    {
        return QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(listener.serverPort());
    }
};

} // namespace

class NetworkLinkTest : public QObject
{
    Q_OBJECT

private slots:
    void telnet_data()
    {
        QTest::addColumn<QByteArray>("server"); // in hex, as all three
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("line");
        using enum TelnetParser::Line;
        const auto row = [](const char *name, const QByteArray &server, const char *data,
                            const QByteArray &reply, TelnetParser::Line line) {
            QTest::newRow(name) << server << QByteArray(data) << reply << int(line);
        };
        const QByteArray settings(Settings);
        row("the display's bytes", "4f4b", "4f4b", "", Asked);
        row("IAC IAC is one 0xFF", "ffff41ffff", "ff41ff", "", Asked);
        row("ser2net's opening: ECHO refused, the line asked for",
            "fffb03 fffd03 fffb01 fffe01 fffd00 fffb00 fffd2c", "", "fffe01" + settings, Asked);
        row("the line confirmed, not the modem lines", QByteArray("fffd2c") + Confirmed + "41",
            "41", settings, Set);
        row("another speed set", "fffd2c fffa2c6500002580fff0", "", settings, Refused);
        row("COM port option refused", "fffe2c", "", "", Refused);
        row("unknown options refused, their end not answered", "fffb18 fffd18 fffb18 fffc18 fffe18",
            "", "fffe18 fffc18 fffe18", Asked);
        row("an option on, then off: the off acknowledged", "fffb00 fffc00 fffc00", "", "fffe00",
            Asked);
        row("NOP, GA, AYT, DM, BRK and a stray SE dropped", "41fff142fff9fff6fff2fff343fff0",
            "414243", "", Asked);
        row("a notice with IAC IAC inside, data after it", "fffa2c6bfffffff041", "41", "", Asked);
        row("a sub-negotiation too long to keep is dropped",
            "fffd2c fffa2c65000004b0" + QByteArray(64, 'a') + "fff041", "41", settings, Asked);
        row("a sub-negotiation cut by a command: the command counts", "fffa2c6500fffd1841", "41",
            "fffc18", Asked);
    }

    // The same whether the bytes come at once or one by one.
    void telnet()
    {
        QFETCH(QByteArray, server);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, reply);
        QFETCH(int, line);
        for (const bool oneByOne : {false, true}) {
            TelnetParser parser;
            QCOMPARE(parser.start().toHex(), QByteArray("fffb00fffd00fffb03fffd03fffb2c"));
            TelnetParser::Output out;
            const QByteArray bytes = QByteArray::fromHex(server);
            for (qsizetype i = 0; i < bytes.size(); i += oneByOne ? 1 : bytes.size()) {
                const TelnetParser::Output part =
                    parser.feed(bytes.sliced(i, oneByOne ? 1 : bytes.size()));
                out.data += part.data;
                out.reply += part.reply;
            }
            QCOMPARE(out.data.toHex(), QByteArray::fromHex(data).toHex());
            QCOMPARE(out.reply.toHex(), QByteArray::fromHex(reply).toHex());
            QCOMPARE(int(parser.line()), line);
        }
        QCOMPARE(TelnetParser::escape(QByteArray::fromHex("ff41ff")).toHex(), "ffff41ffff");
    }

    void openFailures_data()
    {
        QTest::addColumn<QString>("port"); // SILENT: a server that never negotiates
        QTest::addColumn<QString>("error");
        QTest::newRow("refused") << "socket://127.0.0.1:CLOSED"
                                 << "refused";
        QTest::newRow("no answer") << "rfc2217://127.0.0.1:SILENT"
                                   << "serwer nie odpowiedział w ciągu 5 s";
        QTest::newRow("no port number") << "socket://[::1]"
                                        << "podaj socket://HOST:PORT albo rfc2217://HOST:PORT";
    }

    // Bounded, with the event loop running meanwhile (the window keeps
    // drawing), and said in the system's words.
    void openFailures()
    {
        QFETCH(QString, port);
        QFETCH(QString, error);
        Server silent(true);
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        port.replace(QStringLiteral("SILENT"), QString::number(silent.listener.serverPort()))
            .replace(QStringLiteral("CLOSED"), QString::number(closed.serverPort()));
        closed.close();
        QTimer tick;
        QSignalSpy ticks(&tick, &QTimer::timeout);
        tick.start(100);
        QElapsedTimer took;
        took.start();
        NetworkLink link;
        QCOMPARE(link.open(port), Link::OpenResult::OtherFailure);
        QVERIFY2(link.errorString().contains(error), qPrintable(link.errorString()));
        QVERIFY(took.elapsed() < 5500);
        QCOMPARE(ticks.size() >= took.elapsed() / 200, true);
        QVERIFY(!link.PortOpen());
    }

    // The end (the window closed, a signal) while the server is still being
    // asked: at once, and with nothing to report.
    void endCutsConnectingShort()
    {
        Server server(true);
        NoInputs inputs;
        DeviceProgrammer programmer(inputs);
        QTimer::singleShot(200, &programmer, [&] { programmer.end(); });
        QElapsedTimer took;
        took.start();
        QCOMPARE(programmer.connectTo(server.url(QStringLiteral("rfc2217"))).kind, Outcome::Ended);
        QVERIFY(took.elapsed() < 1000);
    }

    // A connection lost while idle is reported once, and made again, with
    // the programming request, once the server takes connections.
    void lostAndBack()
    {
        Server server;
        NoInputs inputs;
        DeviceProgrammer programmer(inputs);
        QSignalSpy lost(&programmer, &DeviceProgrammer::connectionLost);
        QVERIFY(programmer.connectTo(server.url(QStringLiteral("socket"))).succeeded());
        server.client->abort();
        QVERIFY(lost.wait());
        QVERIFY(!programmer.isConnected());
        QTRY_VERIFY_WITH_TIMEOUT(programmer.isConnected(), 5000);
        QCOMPARE(server.received, Prog + Prog);
        QCOMPARE(lost.size(), 1);
    }
};

QTEST_GUILESS_MAIN(NetworkLinkTest)
#include "tst_network_link.moc"
