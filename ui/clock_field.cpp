#include "ui/clock_field.h"

#include <QKeyEvent>
#include <QRegularExpressionValidator>

ClockField::ClockField(QWidget *parent, TimeSource now) : QLineEdit(parent), m_now(std::move(now))
{
    // Two digits, a fixed colon, two digits; a space stands in untyped places.
    setInputMask(QStringLiteral("00:00; "));
    // The validator sees all five places, spaces included. ASCII digits only:
    // the mask alone would let any Unicode digit in.
    QRegularExpression valid(QStringLiteral("([ 01][ 0-9]|2[ 0-3]):[ 0-5][ 0-9]"));
    // Compiled now, while the window is built, not when the time is first set.
    valid.optimize();
    setValidator(new QRegularExpressionValidator(valid, this));
    m_nextMinute.setSingleShot(true);
    connect(&m_nextMinute, &QTimer::timeout, this, &ClockField::showTimeNow);
    connect(this, &QLineEdit::textEdited, this, [this] {
        m_typed = true;
        m_nextMinute.stop();
    });
}

void ClockField::followClock()
{
    if (!m_typed)
        showTimeNow();
}

void ClockField::showTimeNow()
{
    const QTime now = m_now();
    setText(now.toString(QStringLiteral("HH:mm")));
    // Wakes just after the next minute begins; a clock set forward or back
    // shows at the next change of minute.
    const int msIntoMinute = now.second() * 1000 + now.msec();
    m_nextMinute.start(60000 - msIntoMinute + 50);
}

void ClockField::keyPressEvent(QKeyEvent *event)
{
    // The digit typed lands on the hour's first place, and the second place
    // keeps its digit: a 2 there would make 24 to 29, which the validator
    // refuses whole. The second digit goes first, so the 2 is taken.
    const bool onFirstPlaceOnly =
        hasSelectedText() ? selectionStart() == 0 && selectionLength() == 1 : cursorPosition() == 0;
    QString shown = displayText();
    if (event->text() == u"2" && onFirstPlaceOnly && shown.size() == 5 && shown[1] >= u'4' &&
        shown[1] <= u'9') {
        shown[1] = u' ';
        setText(shown);
        setCursorPosition(0);
    }
    QLineEdit::keyPressEvent(event);
}
