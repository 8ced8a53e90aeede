#pragma once

// The clock field Godzina_MEB: hours and minutes, "HH:MM", two digits each
// side of a fixed colon, a space in every place not typed yet. It follows the
// PC's clock minute by minute until the user types in it, and from then on
// keeps what was typed. Digits that would make an hour above 23 or a minute
// above 59 are refused as they are typed, but for a 2 typed over the first
// digit of an hour such as 19: the second digit is cleared then ("2 :45"), so
// an hour can be typed over the time shown. An untyped place counts as 0.

#include <QLineEdit>
#include <QTime>
#include <QTimer>

#include <functional>

class ClockField : public QLineEdit
{
    Q_OBJECT

public:
    // The time of day now; the PC's local clock unless a test gives its own.
    using TimeSource = std::function<QTime()>;

    explicit ClockField(QWidget *parent = nullptr, TimeSource now = &QTime::currentTime);

    // Shows the time now and follows the clock from here on, unless the user
    // has typed.
    void followClock();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showTimeNow();

    TimeSource m_now;
    QTimer m_nextMinute;
    bool m_typed = false;
};
