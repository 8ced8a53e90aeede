#pragma once

// A display behind a serial device server (ser2net, an RS-232-to-Ethernet
// converter), as a link: a TCP connection to the server, which puts the
// bytes on the display's serial line. Two kinds of server, named as scripts
// already name them:
//   socket://HOST:PORT    raw TCP; the server's line is set to 1200 8N2 already;
//   rfc2217://HOST:PORT   Telnet with the COM port option: the link sets the
//                         line itself (TelnetParser).
// HOST is a name, an IPv4 address or an IPv6 address in brackets ([::1]).

#include "programming/link.h"
#include "programming/telnet_parser.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

struct NetworkAddress
{
    bool rfc2217 = false;
    QString host;
    quint16 port = 0;
};

// What a server's port name looks like, for the messages that ask for one.
inline const QString NetworkPortForms =
    QStringLiteral("socket://HOST:PORT albo rfc2217://HOST:PORT");

// True for a name of either kind, well formed or not.
bool isNetworkPort(const QString &name);
// The server a port name names; nothing when it is not one of the two forms.
std::optional<NetworkAddress> networkAddress(const QString &name);

class QEventLoop;

class NetworkLink : public Link
{
    Q_OBJECT

public:
    explicit NetworkLink(QObject *parent = nullptr);
    ~NetworkLink() override;

    // Connects, and over RFC 2217 sets the line, letting the event loop run
    // meanwhile: 5 s at most, cut short by close(). A refused connection, an
    // unknown host, no answer or a line the server would not set is
    // OtherFailure, with the system's words.
    OpenResult open(const QString &name) override;
    bool PortOpen() const override;
    QString errorString() const override;
    bool Output(const QByteArray &bytes) override;
    int InBufferCount() override;
    int Input() override;
    void discardInput() override;
    bool close() override;
    // The server took a connection when last asked. Asking runs in the event
    // loop, one question at a time, and never blocks: the answer comes with
    // the next call (the return watch asks every second).
    bool deviceExists(const QString &name) const override;

private:
    // Reads what the socket holds: the display's bytes are kept, up to a
    // limit, while open; dropped before that, or with keep false.
    void receive(bool keep);
    // Ends the running open's wait once the connection is made (and the
    // line set) and the server has been quiet a moment, or the line refused.
    void settle();
    void endOpening();
    void markLost();

    QTcpSocket m_socket;
    std::optional<TelnetParser> m_telnet; // over RFC 2217 only
    QByteArray m_received;                // the display's bytes, waiting
    QEventLoop *m_opening = nullptr;      // the running open's wait
    QTimer m_quiet;                       // the server quiet since it connected
    bool m_open = false;
    bool m_lost = false;
    QString m_error;
    // Changes at every opening and closing, so a loss reported late is dropped
    // when the link has been closed or opened again since.
    int m_generation = 0;

    // The question deviceExists() asks the server, and its last answer.
    mutable QTcpSocket m_probe;
    mutable QElapsedTimer m_probeAsked;
    mutable bool m_serverAnswered = false;
};
