#include "ui/about_window.h"

#include "ui/about_texts.h"
#include "ui/program.h"
#include "ui/window_setup.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace {

QLabel *label(QWidget *parent, const char *name, const QString &text, QRect twips, bool black,
              bool wrapping)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setWordWrap(wrapping);
    l->setGeometry(twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
    if (black) {
        QPalette palette = l->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        l->setPalette(palette);
    }
    return l;
}

QFrame *line(QWidget *parent, const char *name, QColor colour, int x1, int x2, int y, int width)
{
    auto *f = new QFrame(parent);
    f->setObjectName(QString::fromLatin1(name));
    f->setFrameShape(QFrame::NoFrame);
    f->setAutoFillBackground(true);
    QPalette palette = f->palette();
    palette.setColor(QPalette::Window, colour);
    f->setPalette(palette);
    const QRect r = twipsRect(x1, y, x2 - x1, 0);
    f->setGeometry(r.x(), r.y(), r.width(), width);
    return f;
}

} // namespace

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("O programie"));
    setFont(program::dialogFont());
    setUpFixedWindow(this, 4485, 3330);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    lblTitle = label(this, "lblTitle", about::title(), {120, 120, 3885, 240}, true, false);
    lblVersion = label(this, "lblVersion", about::version(), {120, 480, 3885, 225}, false, false);
    lblDescription =
        label(this, "lblDescription", about::description(), {120, 840, 3885, 1170}, true, true);
    lblCompany = label(this, "lblCompany", about::company(), {120, 2280, 2655, 465}, true, true);
    lblDisclaimer =
        label(this, "lblDisclaimer", about::author(), {120, 3000, 2775, 225}, true, false);

    // An etched rule: the white line two pixels wide, the grey one drawn over
    // its top pixel.
    Line1[0] = line(this, "Line1(0)", Qt::white, 105, 4080, 2160, 2);
    Line1[1] = line(this, "Line1(1)", QColor(128, 128, 128), 90, 4080, 2160, 1);
    Line1[1]->raise();

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipsRect(3120, 2880, 1260, 345));
    cmdOK->setDefault(true);
    cmdOK->setFocus();
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

void frmAbout::cmdOK_Click()
{
    accept();
}

void frmAbout::keyPressEvent(QKeyEvent *event)
{
    // OK is the cancel button too: Escape presses it.
    if (event->matches(QKeySequence::Cancel)) {
        cmdOK->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
