#pragma once

// A stand-in for the VELTA-ORSO display on a pseudo-terminal: it holds the
// master side, cuts what the PC writes into frames, logs each with a monotonic
// time stamp and answers with the acknowledgement, or with a fault a test has
// scripted. The PC side opens slavePath() like any serial device.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

namespace emulator {

// What the display answers to one frame.
struct Reply
{
    enum Kind {
        Acknowledge, // the eight bytes "OKfNEXT" 0xC1
        Silent,      // nothing
        WrongByte,   // the acknowledgement with its checksum byte changed
        WrongCase,   // "OKFNEXT" 0xC1
        Partial,     // the first seven bytes only
    };
    Kind kind = Acknowledge;
    int delayMs = 0;  // sent this long after the frame's last byte arrived
    QByteArray extra; // sent right after the answer (garbage, noise)
};

struct ReceivedFrame
{
    QByteArray bytes; // the 5-byte request or a 16-byte data frame, as received
    std::chrono::steady_clock::time_point at; // when its last byte was read
    bool checksumOk = false;
    QString description; // one readable line: kind, code, screen, text, values, checksum
    Reply reply;         // what the display answered (Silent when it said nothing)
};

// The bytes a reply puts on the line: the answer, then the extra bytes.
QByteArray replyBytes(const Reply &reply);
// One short readable phrase for a reply, e.g. "acknowledged 250 ms late, then 3 extra bytes".
QString describeReply(const Reply &reply);
// The bytes of a flood, from its offset on: a fixed pattern, so the PC side can
// tell lost or reordered bytes from a complete flood.
QByteArray floodBytes(qint64 offset, qint64 count);

// Cuts a byte stream into frames by their fixed lengths: "PROG" requests of 5
// bytes, "DATA" frames of 16. Bytes that cannot start a frame are skipped and
// reported; nothing grows without bound. Pure, no I/O.
class FrameParser
{
public:
    struct Output
    {
        QList<QByteArray> frames;
        QByteArray skipped;
    };
    Output feed(QByteArrayView bytes);

private:
    QByteArray m_pending; // never longer than one frame
};

// The readable line for one frame.
QString describeFrame(QByteArrayView frame);

class DisplayEmulator : public QObject
{
    Q_OBJECT

public:
    explicit DisplayEmulator(QObject *parent = nullptr);
    ~DisplayEmulator() override;

    // Opens the pseudo-terminal pair; false when the system refuses.
    bool open();
    QString slavePath() const;
    // Closes the master side: to the PC the device has gone away.
    void closePort();
    QString errorString() const; // why open() failed

    // Scripting, by the frame's index in the order frames arrive (0 first).
    void setDefaultReply(const Reply &reply);
    void setReply(int frameIndex, const Reply &reply);
    void answerOnlyFirst(int count); // frames from index count on get no answer

    // Bytes to the PC that nothing asked for.
    void send(const QByteArray &bytes);
    void flood(qint64 byteCount);

    QList<ReceivedFrame> frames() const;
    QByteArray received() const; // every byte read from the PC, in order

    qint64 bytesWritten() const; // bytes handed to the PC side so far
    qint64 bytesPending() const; // bytes (flood included) still waiting for room in the pty
    qint64 bytesDropped() const; // bytes given up because too much was already waiting

signals:
    void frameReceived(const emulator::ReceivedFrame &frame);
    void bytesSkipped(const QByteArray &bytes);

private:
    struct Private;
    Private *d;
};

} // namespace emulator
