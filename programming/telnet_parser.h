#pragma once

// The Telnet side of a display behind a serial device server that speaks the
// COM port control option (RFC 2217): the bytes from the server split into
// the display's own and the Telnet commands among them, each command answered
// as RFC 854 asks, and the serial line set to the display's 1200 baud,
// 8 data bits, no parity, 2 stop bits, no flow control, DTR on and RTS off.
// Pure: bytes in, bytes out, no sockets. Whatever the server sends, it keeps
// a few bytes of state, so that endless negotiation or a broken
// sub-negotiation can neither make it grow nor stop it.

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>

class TelnetParser
{
public:
    // How far the serial line's settings have got.
    enum class Line {
        Asked,   // not all of baud rate, data bits, parity and stop bits confirmed yet
        Set,     // the server has confirmed all four as asked
        Refused, // the server refused the COM port option, or set another value
    };

    struct Output
    {
        QByteArray data;  // the display's bytes, 0xFF undoubled
        QByteArray reply; // what to send the server back, in this order
    };

    // What the client sends first: it offers and asks for binary
    // transmission and no go-ahead, and offers the COM port option.
    QByteArray start();
    // The next bytes from the server.
    Output feed(QByteArrayView bytes);
    Line line() const { return m_line; }

    // The display's bytes as they go to the server: every 0xFF doubled.
    static QByteArray escape(QByteArrayView data);

    // The longest sub-negotiation kept; the rest of a longer one is dropped.
    static constexpr int SubnegotiationLimit = 32;

private:
    // Where an option stands on one side (RFC 1143): off, on, or asked for
    // and waiting for the answer. The client never asks to turn one off.
    enum class Side : std::uint8_t { No, Yes, WantYes };
    enum class State : std::uint8_t {
        Data,
        Command,
        Option,
        Subnegotiation,
        SubnegotiationCommand
    };

    void command(std::uint8_t verb, std::uint8_t option, QByteArray &reply);
    void subnegotiation();
    // The COM port option is on: the line's settings go out.
    void askForLine(QByteArray &reply);

    State m_state = State::Data;
    std::uint8_t m_verb = 0;
    std::array<Side, 256> m_us{};  // options this side performs (WILL/WONT)
    std::array<Side, 256> m_him{}; // options the server performs (DO/DONT)
    std::array<char, SubnegotiationLimit> m_sub{};
    int m_subLength = 0;
    bool m_subTooLong = false;
    std::uint8_t m_confirmed = 0; // the line settings confirmed, one bit each
    Line m_line = Line::Asked;
};
