#include "ui/screen_text_edit.h"

#include "protocol/display.h"
#include "protocol/windows1250.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QValidator>

namespace {

// Every change of the text passes here, whatever brought it (typing, an input
// method, a drop): characters the display cannot carry are taken out again.
class ScreenTextValidator : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString &input, int &pos) const override
    {
        QString kept;
        int keptPos = pos;
        qsizetype at = 0; // where the character starts in the input
        for (QStringView character : protocol::characters(input)) {
            if (protocol::screenCharacters(character.toString()) == character)
                kept += character;
            else if (at < pos)
                keptPos -= int(character.size());
            at += character.size();
        }
        input = kept;
        pos = keptPos;
        return Acceptable;
    }
};

} // namespace

ScreenTextEdit::ScreenTextEdit(QWidget *parent) : QLineEdit(parent)
{
    setMaxLength(protocol::MaxTextLength);
    setValidator(new ScreenTextValidator(this));
}

void ScreenTextEdit::pasteFrom(int clipboardMode)
{
    if (isReadOnly())
        return;
    const QString text =
        QGuiApplication::clipboard()->text(static_cast<QClipboard::Mode>(clipboardMode));
    // QLineEdit::insert replaces the selection and cuts at maxLength, after
    // the filter has had its say.
    insert(protocol::screenCharacters(text));
}

void ScreenTextEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste)) {
        const bool selection = event->key() == Qt::Key_Insert &&
                               event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier) &&
                               QGuiApplication::clipboard()->supportsSelection();
        pasteFrom(selection ? QClipboard::Selection : QClipboard::Clipboard);
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void ScreenTextEdit::mouseReleaseEvent(QMouseEvent *event)
{
    // X11 pastes the primary selection with the middle button.
    if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        deselect();
        pasteFrom(QClipboard::Selection);
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void ScreenTextEdit::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu();
    if (menu == nullptr)
        return;
    // The menu's Paste goes through the filter too. Qt names the action only
    // by its (translated) text, followed by a tab and the shortcut.
    const QString pasteText = QLineEdit::tr("&Paste");
    for (QAction *action : menu->actions()) {
        if (action->text().section(u'\t', 0, 0) != pasteText)
            continue;
        action->setObjectName(QStringLiteral("edit-paste"));
        disconnect(action, &QAction::triggered, nullptr, nullptr);
        connect(action, &QAction::triggered, this, [this] { pasteFrom(QClipboard::Clipboard); });
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void ScreenTextEdit::dragEnterEvent(QDragEnterEvent *event)
{
    // A file dragged over a text box is for the window to open, not its name
    // to type in.
    if (event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    QLineEdit::dragEnterEvent(event);
}
