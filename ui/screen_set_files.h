#pragma once

// The window's two pages as a screen-set file, the one that screenprog-cli
// reads: Ctrl+O opens one, Ctrl+S saves to the file last opened or saved,
// Ctrl+Shift+S saves under another name; the same commands stand in the
// window's context menu, and a file dropped on the window opens. Opening is
// all or nothing: a file the reader refuses is told in a message that names
// its line, and the window stays as it was.

#include "protocol/screen_set.h"

#include <QObject>
#include <QString>

class QAction;
class QWidget;

// The window's side: its pages read as sets (every ticked screen; the
// parameters when their box is ticked), and a set put on its page.
class ScreenSetPages
{
public:
    virtual ~ScreenSetPages() = default;
    virtual protocol::ScreenSet screenSet(protocol::Memory memory) const = 0;
    virtual void showScreenSet(const protocol::ScreenSet &set) = 0;
};

class ScreenSetFiles : public QObject
{
    Q_OBJECT

public:
    ScreenSetFiles(QWidget *window, ScreenSetPages &pages);

    // Every section of the file onto its page; a page the file has no section
    // for stays as it is. False, after the message, for a file refused.
    bool open(const QString &path);
    // Both pages into the file; false, after the message, when it could not
    // be written.
    bool save(const QString &path);

    // The commands: Ctrl+O and Ctrl+Shift+S ask for the file; Ctrl+S asks
    // only when no file has been opened or saved yet.
    void openCommand();
    void saveCommand();
    void saveAsCommand();

    // The file opened or saved last, for Ctrl+S; empty for none.
    QString file() const { return m_file; }

protected:
    // Files dragged onto the window.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void askForFile(bool saving);
    void setFile(const QString &path);

    QWidget *m_window;
    ScreenSetPages &m_pages;
    QAction *m_save; // its text names the file it saves to
    QString m_file;
};
