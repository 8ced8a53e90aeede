#pragma once

// The program's working window: the screen texts and the display parameters,
// once for the display's current set (RAM) and once for its stored set
// (EEPROM), and the buttons that send them. The device logic lives in
// DeviceProgrammer; this window holds the elements and their handlers, each
// of which calls a verb of the logic and says what its outcome means in a
// numbered message. The logic reads what the user typed and picked through
// ProgrammingInputs.
//
// Every element carries its name as its objectName. The indexed rows are named
// with their index in parentheses, counted from 1 like the display's screens:
// "TekstRAM_Text(1)" .. "TekstRAM_Text(8)", "TekstRAM_Check(1)" ..,
// "TekstEEPROM_Text(1)" .. "TekstEEPROM_Text(5)", "TekstEEPROM_Check(1)" ..
// Look elements up with findChild<T *>(name).

#include "programming/device_programmer.h"
#include "programming/programming_inputs.h"
#include "programming/refresh_timer.h"
#include "ui/screen_set_files.h"

#include <QWidget>

#include <array>
#include <memory>

class ClockField;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSessionManager;
class QTabWidget;
class ScreenTextEdit;

class fMain : public QWidget, public ProgrammingInputs, public ScreenSetPages
{
    Q_OBJECT

public:
    // The pages of Programowanie_SSTab.
    enum Page { EepromPage = 0, RamPage = 1 };

    explicit fMain(QWidget *parent = nullptr);
    ~fMain() override;

    // Start-up settings and, with a device (the port dialog's choice; empty
    // for none), the handshake with the display; then the window shows
    // itself, centred, on its first page. The window's elements exist from
    // its construction on, so it shows as soon as the display has answered.
    void Form_Load(const QString &device);

    // Does ahead all that the window's first showing needs but the showing
    // itself (polish, layout, the native window), while nothing waits for it.
    void prepareShowing();

    // Ends the program as closing the window does, without asking: the
    // closing frame when connected, drained, and the end of every event loop.
    void endProgram();

    DeviceProgrammer &programmer() { return *m_programmer; }

    // The screen-set files: open, save, the commands and drops.
    ScreenSetFiles &files() { return *m_files; }
    // A file for Form_Load to open before the window shows (the command line's).
    void setFileToOpen(const QString &path) { m_fileToOpen = path; }

    // The window's inputs filled and preselected, and (full program) the clock
    // field following the time.
    void UstawieniaPoczatkoweProgramowania();

    // ProgrammingInputs
    QString screenText(Memory memory, int n) const override;
    bool screenChecked(Memory memory, int n) const override;
    bool parametersChecked(Memory memory) const override;
    ParameterChoice parameters(Memory memory) const override;
    QString Godzina_MEB() const override;

    // ScreenSetPages
    protocol::ScreenSet screenSet(Memory memory) const override;
    void showScreenSet(const protocol::ScreenSet &set) override;

    // The refresh, every 28 s while the display is in programming mode.
    const QTimer &Odswiez_Timer() const { return *m_Odswiez_Timer; }
    void Odswiez_Timer_Timer();

    // The buttons' handlers.
    void PrzeslijRAM_Command_Click();
    void PrzeslijEEPROM_Command_Click();
    void CzyscEkran_Command_Click();
    void KrotkiSygnalDzwiek_Command_Click();
    void DlugiDzwiek_Command_Click();
    void PrzeslijZegar_Command_Click();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void About_Command_Click();
    void Form_QueryUnload();
    void Form_Unload();
    // The session is ending (logout, shutdown); its close follows.
    void sessionEnding(QSessionManager &manager);

    // The buttons to their handlers, the logic's state and progress to the
    // window.
    void connectHandlers();
    // The outcome of a verb as a numbered message: programmedMessage for an
    // upload that ended well, 200 for a display that did not answer or a port
    // that went away, 201 or 203 for a port that did not open.
    void report(const Outcome &outcome, int programmedMessage = 0);
    // The device buttons as the connection stands.
    void showConnection();
    void createRamPage();
    void createEepromPage();
    void chainTabOrder();
    void placePages();
    void uploadStarted(int frames, Memory memory);
    void uploadProgress(int sent, int frames);
    void uploadFinished();

    // The elements, each named as its objectName. Row arrays are indexed from
    // 1, like the display's screens; element 0 stays empty.
    struct Elements
    {
        QTabWidget *Programowanie_SSTab = nullptr;
        std::array<QWidget *, 2> page{};  // a page of the tab control
        std::array<QWidget *, 2> layer{}; // its elements, in tab-control coordinates

        QGroupBox *Frame1 = nullptr;
        QGroupBox *Frame2 = nullptr;
        std::array<ScreenTextEdit *, 9> TekstRAM_Text{};
        std::array<QCheckBox *, 9> TekstRAM_Check{};
        QCheckBox *ParametryRAM_Check = nullptr;
        QLabel *RodzajPrzesuwuRAM_Label = nullptr;
        QComboBox *PrzesuwRAM_Combo = nullptr;
        QLabel *PredkoscRAM_Label = nullptr;
        QComboBox *PredkoscRAM_Combo = nullptr;
        QLabel *JasnoscRAM_Label = nullptr;
        QComboBox *JasnoscRAM_Combo = nullptr;
        QLabel *IloscEkranow_Label = nullptr;
        QComboBox *IloscEkranowRAM_Combo = nullptr;
        QPushButton *KrotkiSygnalDzwiek_Command = nullptr;
        QPushButton *DlugiDzwiek_Command = nullptr;
        QPushButton *PrzeslijRAM_Command = nullptr;
        QPushButton *CzyscEkran_Command = nullptr;
        ClockField *Godzina_MEB = nullptr;            // full program only
        QPushButton *PrzeslijZegar_Command = nullptr; // full program only

        QGroupBox *Tekst_Frame = nullptr;
        QGroupBox *Parametry_Frame = nullptr;
        std::array<ScreenTextEdit *, 6> TekstEEPROM_Text{};
        std::array<QCheckBox *, 6> TekstEEPROM_Check{};
        QCheckBox *ParametryEEPROM_Check = nullptr;
        QLabel *RodzajPrzesuwu_Label = nullptr;
        QComboBox *PrzesuwEEPROM_Combo = nullptr;
        QLabel *PredkoscPrzesuwu_Label = nullptr;
        QComboBox *PredkoscEEPROM_Combo = nullptr;
        QLabel *Jasnosc_Label = nullptr;
        QComboBox *JasnoscEEPROM_Combo = nullptr;
        QPushButton *PrzeslijEEPROM_Command = nullptr;
        QPushButton *About_Command = nullptr;

        // Shown in the bottom margin only while an upload runs.
        QProgressBar *uploadProgress = nullptr;
    } ui;

    int m_uploads = 0; // uploads running, counting one started inside another's wait
    QString m_device;  // the port dialog's choice
    QString m_fileToOpen;
    ScreenSetFiles *m_files = nullptr;
    std::unique_ptr<DeviceProgrammer> m_programmer;
    std::unique_ptr<RefreshTimer> m_Odswiez_Timer;
};
