#pragma once

// A screen text box: at most ten characters, and only characters that the
// display's code page (Windows-1250) can carry. A paste is filtered before the
// ten-character limit cuts it, so it keeps every character it can, up to ten;
// a typed character the display cannot show never gets in. The text is read
// as it stands.

#include <QLineEdit>
#include <QString>

class ScreenTextEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit ScreenTextEdit(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;

private:
    void pasteFrom(int clipboardMode);
};
