#include "programming/telnet_parser.h"

namespace {

// Telnet's commands (RFC 854) and the options the client takes part in.
constexpr std::uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr std::uint8_t Binary = 0, SuppressGoAhead = 3, ComPortOption = 44;

// The COM port option's commands that set the display's line (RFC 2217),
// each the command's number and its value: 1200 baud in network byte order,
// 8 data bits, no parity (1), two stop bits (2); then the control lines: no
// flow control (1), DTR on (8), RTS off (12).
constexpr char BaudRate[] = {1, 0, 0, 4, char(0xB0)};
constexpr char DataSize[] = {2, 8};
constexpr char Parity[] = {3, 1};
constexpr char StopSize[] = {4, 2};
constexpr char FlowControl[] = {5, 1};
constexpr char Dtr[] = {5, 8};
constexpr char Rts[] = {5, 12};
constexpr QByteArrayView Settings[] = {{BaudRate, sizeof BaudRate},
                                       {DataSize, sizeof DataSize},
                                       {Parity, sizeof Parity},
                                       {StopSize, sizeof StopSize},
                                       {FlowControl, sizeof FlowControl},
                                       {Dtr, sizeof Dtr},
                                       {Rts, sizeof Rts}};
// The server answers the first four with the value it has set, as the
// command's number + 100. It need not answer the control lines (a device
// without them never does), and is never waited for.
constexpr int ConfirmedSettings = 4;
constexpr std::uint8_t AllConfirmed = (1 << ConfirmedSettings) - 1;
constexpr std::uint8_t ServerCommand = 100;

void put(QByteArray &out, std::uint8_t verb, std::uint8_t option)
{
    out.append(char(IAC)).append(char(verb)).append(char(option));
}

} // namespace

QByteArray TelnetParser::start()
{
    QByteArray out;
    for (const std::uint8_t option : {Binary, SuppressGoAhead}) {
        put(out, WILL, option);
        put(out, DO, option);
        m_us[option] = m_him[option] = Side::WantYes;
    }
    put(out, WILL, ComPortOption);
    m_us[ComPortOption] = Side::WantYes;
    return out;
}

TelnetParser::Output TelnetParser::feed(QByteArrayView bytes)
{
    Output out;
    out.data.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = std::uint8_t(c);
        switch (m_state) {
        case State::Data:
            if (b == IAC)
                m_state = State::Command;
            else
                out.data.append(c);
            continue;
        case State::Option:
            command(m_verb, b, out.reply);
            m_state = State::Data;
            continue;
        case State::Subnegotiation:
            if (b == IAC) {
                m_state = State::SubnegotiationCommand;
                continue;
            }
            break;
        case State::SubnegotiationCommand:
            if (b == SE) {
                subnegotiation();
                m_state = State::Data;
                continue;
            }
            if (b == IAC) {
                m_state = State::Subnegotiation;
                break;
            }
            // Any other command ends a broken sub-negotiation, which is
            // dropped; the command counts as such.
            m_state = State::Command;
            [[fallthrough]];
        case State::Command:
            if (b == IAC) {
                out.data.append(c);
                m_state = State::Data;
            } else if (b >= WILL) {
                m_verb = b;
                m_state = State::Option;
            } else if (b == SB) {
                m_subLength = 0;
                m_subTooLong = false;
                m_state = State::Subnegotiation;
            } else {
                // No operation, a break, an interrupt, "are you there", a
                // go-ahead...: nothing for a display to hear.
                m_state = State::Data;
            }
            continue;
        }
        // A byte of a sub-negotiation.
        if (m_subLength < SubnegotiationLimit)
            m_sub[m_subLength++] = c;
        else
            m_subTooLong = true;
    }
    return out;
}

QByteArray TelnetParser::escape(QByteArrayView data)
{
    QByteArray out;
    out.reserve(data.size());
    for (const char c : data) {
        out.append(c);
        if (std::uint8_t(c) == IAC)
            out.append(c);
    }
    return out;
}

void TelnetParser::command(std::uint8_t verb, std::uint8_t option, QByteArray &reply)
{
    // WILL and WONT are about what the server does, DO and DONT about what
    // the client does. A request to enter the state an option is in already
    // is not answered (RFC 854), so no answer starts a loop.
    const bool his = verb == WILL || verb == WONT;
    const bool on = verb == WILL || verb == DO;
    Side &side = his ? m_him[option] : m_us[option];
    const bool wanted =
        option == Binary || option == SuppressGoAhead || (!his && option == ComPortOption);
    if (!on) {
        if (side == Side::Yes)
            put(reply, his ? DONT : WONT, option);
        side = Side::No;
        if (!his && option == ComPortOption)
            m_line = Line::Refused;
        return;
    }
    switch (side) {
    case Side::Yes:
        return;
    case Side::WantYes: // the answer to the client's own request
        break;
    case Side::No:
        put(reply, wanted ? (his ? DO : WILL) : (his ? DONT : WONT), option);
        if (!wanted)
            return;
        break;
    }
    side = Side::Yes;
    if (!his && option == ComPortOption)
        askForLine(reply);
}

void TelnetParser::askForLine(QByteArray &reply)
{
    m_confirmed = 0;
    m_line = Line::Asked;
    for (const QByteArrayView setting : Settings) {
        reply.append(char(IAC)).append(char(SB)).append(char(ComPortOption));
        reply.append(escape(setting));
        reply.append(char(IAC)).append(char(SE));
    }
}

void TelnetParser::subnegotiation()
{
    if (m_subTooLong || m_subLength < 2 || std::uint8_t(m_sub[0]) != ComPortOption ||
        m_us[ComPortOption] != Side::Yes || m_line == Line::Refused)
        return;
    const QByteArrayView answer(m_sub.data() + 1, m_subLength - 1);
    const int index = std::uint8_t(answer[0]) - ServerCommand - 1;
    if (index < 0 || index >= ConfirmedSettings)
        return; // the server's notices of the line and the modem lines
    if (answer.sliced(1) != Settings[index].sliced(1)) {
        m_line = Line::Refused;
        return;
    }
    m_confirmed |= std::uint8_t(1 << index);
    if (m_confirmed == AllConfirmed)
        m_line = Line::Set;
}
