#include "programming/network_link.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QUrl>

// shutdown(), the one call made past Qt: Qt closes a connection only whole.
#ifdef Q_OS_WIN
#include <winsock2.h>
using Descriptor = SOCKET;
#else
#include <sys/socket.h>
using Descriptor = int;
#endif

namespace {

// The display's bytes kept unread, at most; beyond, they wait with the socket
// and then with the system, whose TCP window slows the server down, so a
// chattering server cannot make the program grow.
constexpr qint64 ReadBufferLimit = 4096;
// Answers to the server's negotiation pile up no further than this while it
// reads nothing.
constexpr qint64 ReplyLimit = 4096;
// How long a server may take to take the connection and set the line.
constexpr std::chrono::milliseconds ConnectTimeout{5000};
// What a server sends as the connection is made (a banner) is let in and
// dropped: the link is open once nothing has come for this long.
constexpr std::chrono::milliseconds QuietTime{200};
// SHUT_WR, SD_SEND: the end of sending, the connection still open to read.
constexpr int NoMoreSending = 1;
// How long closing may wait for written bytes to reach the system and for the
// server to close its side, as the serial link waits for them to leave the
// port.
constexpr std::chrono::milliseconds CloseTimeout{800};

} // namespace

bool isNetworkPort(const QString &name)
{
    return name.startsWith(u"socket://", Qt::CaseInsensitive) ||
           name.startsWith(u"rfc2217://", Qt::CaseInsensitive);
}

std::optional<NetworkAddress> networkAddress(const QString &name)
{
    const QUrl url(name, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != u"socket" && scheme != u"rfc2217") || url.host().isEmpty() ||
        url.port() <= 0 || !url.userInfo().isEmpty() ||
        (!url.path().isEmpty() && url.path() != u"/") || url.hasQuery() || url.hasFragment())
        return std::nullopt;
    return NetworkAddress{scheme == u"rfc2217", url.host(), quint16(url.port())};
}

NetworkLink::NetworkLink(QObject *parent) : Link(parent)
{
    m_socket.setReadBufferSize(ReadBufferLimit);
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(QuietTime);
    connect(&m_quiet, &QTimer::timeout, this, &NetworkLink::endOpening);
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        // Each frame goes out as it is written, not held back to join the next.
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (m_telnet)
            m_socket.write(m_telnet->start());
        settle();
    });
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] { receive(true); });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_opening != nullptr) {
            m_error = m_socket.errorString();
            endOpening();
        }
        markLost();
    });
    connect(&m_socket, &QTcpSocket::disconnected, this, &NetworkLink::markLost);

    connect(&m_probe, &QTcpSocket::connected, this, [this] {
        m_serverAnswered = true;
        m_probe.abort();
    });
    connect(&m_probe, &QTcpSocket::errorOccurred, this, [this] {
        m_serverAnswered = false;
        m_probe.abort();
    });
}

NetworkLink::~NetworkLink()
{
    close();
}

Link::OpenResult NetworkLink::open(const QString &name)
{
    close();
    const std::optional<NetworkAddress> address = networkAddress(name);
    if (!address) {
        m_error = QStringLiteral("podaj %1").arg(NetworkPortForms);
        return OpenResult::OtherFailure;
    }
    m_error.clear();
    m_telnet.reset();
    if (address->rfc2217)
        m_telnet.emplace();
    m_socket.connectToHost(address->host, address->port);

    QEventLoop wait;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &wait, &QEventLoop::quit);
    timeout.start(ConnectTimeout);
    m_opening = &wait;
    wait.exec();
    m_opening = nullptr;

    const bool connected = m_socket.state() == QAbstractSocket::ConnectedState;
    if (connected && (!m_telnet || m_telnet->line() == TelnetParser::Line::Set)) {
        m_open = true;
        m_lost = false;
        ++m_generation;
        return OpenResult::Opened;
    }
    if (connected && m_telnet->line() == TelnetParser::Line::Refused)
        m_error = QStringLiteral("serwer nie ustawił linii 1200 8N2");
    else if (m_error.isEmpty())
        m_error =
            QStringLiteral("serwer nie odpowiedział w ciągu %1 s")
                .arg(std::chrono::duration_cast<std::chrono::seconds>(ConnectTimeout).count());
    m_socket.abort();
    return OpenResult::OtherFailure;
}

bool NetworkLink::PortOpen() const
{
    return m_open && !m_lost;
}

QString NetworkLink::errorString() const
{
    return m_error;
}

bool NetworkLink::Output(const QByteArray &bytes)
{
    if (!PortOpen())
        return false;
    const QByteArray wire = m_telnet ? TelnetParser::escape(bytes) : bytes;
    if (m_socket.write(wire) != wire.size()) {
        markLost();
        return false;
    }
    // Hands the bytes to the system at once; the reply is never waited for here.
    m_socket.flush();
    return PortOpen();
}

int NetworkLink::InBufferCount()
{
    if (!PortOpen())
        return 0;
    receive(true);
    return int(m_received.size());
}

int NetworkLink::Input()
{
    if (!PortOpen())
        return -1;
    receive(true);
    if (m_received.isEmpty())
        return -1;
    const int byte = static_cast<unsigned char>(m_received.front());
    m_received.remove(0, 1);
    return byte;
}

void NetworkLink::discardInput()
{
    if (!PortOpen())
        return;
    m_received.clear();
    receive(false);
}

bool NetworkLink::close()
{
    // An open still waiting for the server ends there, unopened.
    endOpening();
    bool drained = !m_open;
    if (PortOpen()) {
        m_open = false;
        m_telnet.reset(); // nothing more is answered
        const QDeadlineTimer until(CloseTimeout);
        while (m_socket.bytesToWrite() > 0 && !until.hasExpired() &&
               m_socket.waitForBytesWritten(int(until.remainingTime()))) {
        }
        drained = m_socket.bytesToWrite() == 0;
        // The end of sending, then what the server still sends read and
        // dropped until it closes too: a connection closed with bytes unread
        // is reset, and a server may drop the last frame before passing it on.
        if (drained)
            ::shutdown(Descriptor(m_socket.socketDescriptor()), NoMoreSending);
        while (m_socket.state() == QAbstractSocket::ConnectedState && !until.hasExpired() &&
               m_socket.waitForReadyRead(int(until.remainingTime())))
            m_socket.readAll();
    }
    m_open = false;
    m_socket.abort();
    m_received.clear();
    // A loss not yet reported is moot once the link is closed on purpose.
    ++m_generation;
    return drained;
}

bool NetworkLink::deviceExists(const QString &name) const
{
    const std::optional<NetworkAddress> address = networkAddress(name);
    if (!address)
        return false;
    // A question without an answer in time counts as none.
    if (m_probe.state() != QAbstractSocket::UnconnectedState &&
        m_probeAsked.hasExpired(ConnectTimeout.count())) {
        m_probe.abort();
        m_serverAnswered = false;
    }
    if (m_probe.state() == QAbstractSocket::UnconnectedState) {
        m_probeAsked.start();
        m_probe.connectToHost(address->host, address->port);
    }
    return m_serverAnswered;
}

void NetworkLink::receive(bool keep)
{
    keep = keep && m_open;
    while (m_socket.bytesAvailable() > 0 && (!keep || m_received.size() < ReadBufferLimit)) {
        const QByteArray bytes =
            m_socket.read(keep ? ReadBufferLimit - m_received.size() : ReadBufferLimit);
        if (!m_telnet) {
            if (keep)
                m_received.append(bytes);
            continue;
        }
        const TelnetParser::Output out = m_telnet->feed(bytes);
        if (keep)
            m_received.append(out.data);
        if (!out.reply.isEmpty() && m_socket.bytesToWrite() < ReplyLimit)
            m_socket.write(out.reply);
    }
    settle();
}

void NetworkLink::settle()
{
    if (m_opening == nullptr || m_socket.state() != QAbstractSocket::ConnectedState)
        return;
    if (m_telnet && m_telnet->line() == TelnetParser::Line::Refused)
        endOpening();
    else if (!m_telnet || m_telnet->line() == TelnetParser::Line::Set)
        m_quiet.start(); // again at each arrival
}

void NetworkLink::endOpening()
{
    m_quiet.stop();
    if (m_opening != nullptr)
        m_opening->quit();
    m_opening = nullptr;
}

void NetworkLink::markLost()
{
    if (!m_open || m_lost)
        return;
    m_lost = true;
    // Closed and reported from the event loop, never inside the socket's own
    // notification nor inside the handler that is writing.
    const int generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation != m_generation)
                return;
            m_open = false;
            m_socket.abort();
            emit portLost();
        },
        Qt::QueuedConnection);
}
