#pragma once

// "O programie": the program's name, version, purpose, maker and author, and
// an OK button that closes it. Every text is fixed and the same in both
// programs; a new window starts from them each time it is shown.
//
// Elements carry their names as objectName: lblTitle, lblVersion,
// lblDescription, lblCompany, lblDisclaimer, cmdOK, and the two lines of the
// rule "Line1(0)" (white) and "Line1(1)" (grey).

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);

    QLabel *lblTitle;
    QLabel *lblVersion;
    QLabel *lblDescription;
    QLabel *lblCompany;
    QLabel *lblDisclaimer;
    QFrame *Line1[2];
    QPushButton *cmdOK;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void cmdOK_Click();
};
