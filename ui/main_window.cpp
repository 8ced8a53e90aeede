#include "ui/main_window.h"

#include "programming/open_failure.h"
#include "protocol/display.h"
#include "resources/message_numbers.h"
#include "ui/about_window.h"
#include "ui/clock_field.h"
#include "ui/message_boxes.h"
#include "ui/program.h"
#include "ui/screen_text_edit.h"
#include "ui/window_setup.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QSessionManager>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>

namespace {

const QString ParametersCaption = QStringLiteral("          Parametry programowalne");

// The long-beep button offers what a click does.
QString longBeepCaption(bool on)
{
    return on ? QStringLiteral("Wyłącz długi dźwięk") : QStringLiteral("Włącz długi dźwięk");
}
constexpr int TabStripTwips = 520;

// The tab control shares its width out between its tabs: the two tabs stand
// in one row and fill it, in a strip of the layout's height.
class SharedWidthTabBar : public QTabBar
{
public:
    using QTabBar::QTabBar;

protected:
    QSize tabSizeHint(int index) const override
    {
        QSize size = QTabBar::tabSizeHint(index);
        const int total = parentWidget() != nullptr ? parentWidget()->width() : width();
        if (count() > 0)
            size.setWidth(total * (index + 1) / count() - total * index / count());
        size.setHeight(twipsToPixels(TabStripTwips));
        return size;
    }
};

// The frames on the pages begin at 480 twips, 40 above the tab strip's lower
// edge: the pages start there, over the strip, so that the frames' captions
// are drawn whole rather than cut at the strip.
constexpr int PagesTopTwips = 480;

class PagesOverStripStyle : public QProxyStyle
{
public:
    QRect subElementRect(SubElement element, const QStyleOption *option,
                         const QWidget *widget) const override
    {
        QRect rect = QProxyStyle::subElementRect(element, option, widget);
        if (element == SE_TabWidgetTabContents)
            rect.setTop(twipsToPixels(PagesTopTwips));
        return rect;
    }
};

class TabControl : public QTabWidget
{
public:
    explicit TabControl(QWidget *parent) : QTabWidget(parent)
    {
        setTabBar(new SharedWidthTabBar(this));
        auto *style = new PagesOverStripStyle;
        style->setParent(this);
        setStyle(style);
        // The pages over the strip's lower edge, not under it.
        findChild<QStackedWidget *>()->raise();
    }
};

template <typename T> T *place(T *widget, const QString &name, QRect twips)
{
    widget->setObjectName(name);
    widget->setGeometry(twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
    return widget;
}

QString indexed(const char *name, int n)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(n);
}

QGroupBox *frame(QWidget *parent, const char *name, const QString &caption, QRect twips)
{
    return place(new QGroupBox(caption, parent), QString::fromLatin1(name), twips);
}

QLabel *label(QWidget *parent, const char *name, const QString &text, QRect twips)
{
    auto *l = place(new QLabel(text, parent), QString::fromLatin1(name), twips);
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

QCheckBox *checkBox(QWidget *parent, const QString &name, QRect twips, const QString &accessible)
{
    auto *box = place(new QCheckBox(parent), name, twips);
    box->setChecked(true);
    box->setAccessibleName(accessible);
    return box;
}

QComboBox *list(QWidget *parent, const char *name, QRect twips, const QString &accessible)
{
    auto *combo = place(new QComboBox(parent), QString::fromLatin1(name), twips);
    combo->setEditable(false);
    combo->setAccessibleName(accessible);
    return combo;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption, QRect twips,
                    bool enabled)
{
    auto *b = place(new QPushButton(caption, parent), QString::fromLatin1(name), twips);
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setEnabled(enabled);
    return b;
}

ScreenTextEdit *screenTextBox(QWidget *parent, const QString &name, QRect twips,
                              const QString &accessible, bool whiteBackground)
{
    auto *edit = place(new ScreenTextEdit(parent), name, twips);
    edit->setFont(program::screenTextFont());
    edit->setAccessibleName(accessible);
    if (whiteBackground) {
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, Qt::white);
        edit->setPalette(palette);
    }
    return edit;
}

void fill(QComboBox *combo, const QStringList &items, int selected)
{
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(selected);
}

} // namespace

fMain::fMain(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("fMain"));
    setWindowTitle(QStringLiteral("Korvant - Programowanie systemu VELTA-ORSO"));
    setFont(program::dialogFont());
    setUpFixedWindow(this, 5895, 5175);
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);

    ui.Programowanie_SSTab =
        place(new TabControl(this), QStringLiteral("Programowanie_SSTab"), {120, 120, 5655, 4935});
    for (int i : {EepromPage, RamPage}) {
        ui.page[i] = new QWidget;
        ui.layer[i] = new QWidget(ui.page[i]);
    }
    ui.Programowanie_SSTab->addTab(ui.page[EepromPage],
                                   QStringLiteral("Konfiguracja pamięci EEPROM"));
    ui.Programowanie_SSTab->addTab(ui.page[RamPage], QStringLiteral("Programowanie bieżące"));
    createRamPage();
    createEepromPage();

    // Over the upload button while its upload runs, which is disabled then:
    // frames sent of frames due.
    ui.uploadProgress = new QProgressBar(ui.layer[RamPage]);
    ui.uploadProgress->setObjectName(QStringLiteral("uploadProgress"));
    ui.uploadProgress->setAlignment(Qt::AlignCenter);
    ui.uploadProgress->hide();

    chainTabOrder();

    m_files = new ScreenSetFiles(this, *this);
    m_programmer = std::make_unique<DeviceProgrammer>(*this);
    m_Odswiez_Timer = std::make_unique<RefreshTimer>(*m_programmer);
    connectHandlers();
    ui.Programowanie_SSTab->setCurrentIndex(program::withClock() ? RamPage : EepromPage);
}

fMain::~fMain() = default;

void fMain::connectHandlers()
{
    connect(ui.PrzeslijRAM_Command, &QPushButton::clicked, this, &fMain::PrzeslijRAM_Command_Click);
    connect(ui.PrzeslijEEPROM_Command, &QPushButton::clicked, this,
            &fMain::PrzeslijEEPROM_Command_Click);
    connect(ui.CzyscEkran_Command, &QPushButton::clicked, this, &fMain::CzyscEkran_Command_Click);
    connect(ui.KrotkiSygnalDzwiek_Command, &QPushButton::clicked, this,
            &fMain::KrotkiSygnalDzwiek_Command_Click);
    connect(ui.DlugiDzwiek_Command, &QPushButton::clicked, this, &fMain::DlugiDzwiek_Command_Click);
    if (ui.PrzeslijZegar_Command != nullptr)
        connect(ui.PrzeslijZegar_Command, &QPushButton::clicked, this,
                &fMain::PrzeslijZegar_Command_Click);
    connect(ui.About_Command, &QPushButton::clicked, this, &fMain::About_Command_Click);
    connect(m_Odswiez_Timer.get(), &QTimer::timeout, this, &fMain::Odswiez_Timer_Timer);
    connect(qApp, &QGuiApplication::commitDataRequest, this, &fMain::sessionEnding);
    DeviceProgrammer *p = m_programmer.get();
    connect(p, &DeviceProgrammer::stateChanged, this, &fMain::showConnection);
    connect(p, &DeviceProgrammer::connectionLost, this,
            [] { PokazOstrzezenie(messages::DisplayCommunicationError); });
    connect(p, &DeviceProgrammer::uploadStarted, this, &fMain::uploadStarted);
    connect(p, &DeviceProgrammer::uploadProgress, this, &fMain::uploadProgress);
    connect(p, &DeviceProgrammer::uploadFinished, this, &fMain::uploadFinished);
}

void fMain::createRamPage()
{
    QWidget *page = ui.layer[RamPage];

    ui.Frame1 =
        frame(page, "Frame1", QStringLiteral("Programowane treści"), {120, 480, 2055, 4335});
    for (int n = 1; n <= protocol::RamScreens; ++n) {
        const int checkTop[] = {0, 400, 880, 1360, 1840, 2320, 2800, 3280, 3800};
        const int textTop = 360 + 480 * (n - 1);
        ui.TekstRAM_Check[n] =
            checkBox(ui.Frame1, indexed("TekstRAM_Check", n), {120, checkTop[n], 255, 255},
                     QStringLiteral("Zaznacz ekran %1 (RAM)").arg(n));
        ui.TekstRAM_Text[n] =
            screenTextBox(ui.Frame1, indexed("TekstRAM_Text", n), {480, textTop, 1335, 360},
                          QStringLiteral("Tekst ekranu %1 (RAM)").arg(n), true);
    }

    ui.Frame2 = frame(page, "Frame2", ParametersCaption, {2280, 480, 3255, 2175});
    ui.ParametryRAM_Check = checkBox(ui.Frame2, QStringLiteral("ParametryRAM_Check"),
                                     {200, 0, 255, 255}, QStringLiteral("Zaznacz parametry (RAM)"));
    ui.RodzajPrzesuwuRAM_Label = label(ui.Frame2, "RodzajPrzesuwuRAM_Label",
                                       protocol::scrollKindLabel(), {240, 400, 1215, 195});
    ui.PrzesuwRAM_Combo = list(ui.Frame2, "PrzesuwRAM_Combo", {1800, 350, 1335, 315},
                               QStringLiteral("Rodzaj przesuwu (RAM)"));
    ui.PredkoscRAM_Label =
        label(ui.Frame2, "PredkoscRAM_Label", protocol::speedLabel(), {240, 850, 1305, 195});
    ui.PredkoscRAM_Combo = list(ui.Frame2, "PredkoscRAM_Combo", {1800, 800, 615, 315},
                                QStringLiteral("Prędkość przesuwu (RAM)"));
    ui.JasnoscRAM_Label =
        label(ui.Frame2, "JasnoscRAM_Label", protocol::brightnessLabel(), {240, 1300, 585, 195});
    ui.JasnoscRAM_Combo = list(ui.Frame2, "JasnoscRAM_Combo", {1800, 1250, 615, 315},
                               QStringLiteral("Jasność (RAM)"));
    ui.IloscEkranow_Label =
        label(ui.Frame2, "IloscEkranow_Label", protocol::screenCountLabel(), {240, 1750, 990, 195});
    ui.IloscEkranowRAM_Combo = list(ui.Frame2, "IloscEkranowRAM_Combo", {1800, 1700, 615, 315},
                                    QStringLiteral("Ilość ekranów (RAM)"));
    // The check box stands on the frame's edge, over the caption's leading spaces.
    ui.ParametryRAM_Check->raise();

    ui.KrotkiSygnalDzwiek_Command =
        button(page, "KrotkiSygnalDzwiek_Command", QStringLiteral("Krótki dźwięk"),
               {2280, 2880, 1335, 375}, false);
    ui.DlugiDzwiek_Command =
        button(page, "DlugiDzwiek_Command", longBeepCaption(false), {3720, 2880, 1815, 375}, false);
    ui.PrzeslijRAM_Command =
        button(page, "PrzeslijRAM_Command", QStringLiteral("Prześlij nastawy i treść ekranów"),
               {2280, 3360, 3255, 375}, false);
    ui.CzyscEkran_Command = button(page, "CzyscEkran_Command", QStringLiteral("Wyczyść ekrany"),
                                   {2280, 3840, 3255, 375}, false);

    if (program::withClock()) {
        ui.Godzina_MEB =
            place(new ClockField(page), QStringLiteral("Godzina_MEB"), {2640, 4440, 945, 375});
        ui.Godzina_MEB->setFont(program::clockFont());
        ui.Godzina_MEB->setAccessibleName(QStringLiteral("Godzina zegara"));
        ui.PrzeslijZegar_Command =
            button(page, "PrzeslijZegar_Command", QStringLiteral("Prześlij zegar"),
                   {3720, 4440, 1815, 375}, false);
    }
}

void fMain::createEepromPage()
{
    QWidget *page = ui.layer[EepromPage];

    ui.Tekst_Frame =
        frame(page, "Tekst_Frame", QStringLiteral("Programowane ekrany"), {120, 480, 2055, 2895});
    for (int n = 1; n <= protocol::EepromScreens; ++n) {
        const int checkTop = 400 + 480 * (n - 1);
        const int textTop = 360 + 480 * (n - 1);
        ui.TekstEEPROM_Check[n] =
            checkBox(ui.Tekst_Frame, indexed("TekstEEPROM_Check", n), {120, checkTop, 255, 255},
                     QStringLiteral("Zaznacz ekran %1 (EEPROM)").arg(n));
        // Only the first EEPROM row has the white background set explicitly.
        ui.TekstEEPROM_Text[n] =
            screenTextBox(ui.Tekst_Frame, indexed("TekstEEPROM_Text", n), {480, textTop, 1335, 360},
                          QStringLiteral("Tekst ekranu %1 (EEPROM)").arg(n), n == 1);
    }

    ui.Parametry_Frame = frame(page, "Parametry_Frame", ParametersCaption, {2280, 480, 3255, 2175});
    ui.ParametryEEPROM_Check =
        checkBox(ui.Parametry_Frame, QStringLiteral("ParametryEEPROM_Check"), {200, 0, 255, 255},
                 QStringLiteral("Zaznacz parametry (EEPROM)"));
    ui.RodzajPrzesuwu_Label = label(ui.Parametry_Frame, "RodzajPrzesuwu_Label",
                                    protocol::scrollKindLabel(), {240, 500, 1215, 195});
    ui.PrzesuwEEPROM_Combo = list(ui.Parametry_Frame, "PrzesuwEEPROM_Combo", {1800, 450, 1335, 315},
                                  QStringLiteral("Rodzaj przesuwu (EEPROM)"));
    ui.PredkoscPrzesuwu_Label = label(ui.Parametry_Frame, "PredkoscPrzesuwu_Label",
                                      protocol::speedLabel(), {240, 1100, 1305, 195});
    ui.PredkoscEEPROM_Combo =
        list(ui.Parametry_Frame, "PredkoscEEPROM_Combo", {1800, 1050, 615, 315},
             QStringLiteral("Prędkość przesuwu (EEPROM)"));
    ui.Jasnosc_Label = label(ui.Parametry_Frame, "Jasnosc_Label", protocol::brightnessLabel(),
                             {240, 1700, 585, 195});
    ui.JasnoscEEPROM_Combo = list(ui.Parametry_Frame, "JasnoscEEPROM_Combo", {1800, 1650, 615, 315},
                                  QStringLiteral("Jasność (EEPROM)"));
    ui.ParametryEEPROM_Check->raise();

    ui.PrzeslijEEPROM_Command =
        button(page, "PrzeslijEEPROM_Command", QStringLiteral("Zaprogramuj EEPROM"),
               {2280, 2880, 3255, 495}, false);
    ui.About_Command =
        button(page, "About_Command", QStringLiteral("O programie"), {4200, 4440, 1335, 375}, true);
}

void fMain::chainTabOrder()
{
    // The window's tab order with the labels and frames left out, which never
    // take the focus. Qt skips the hidden page and disabled elements itself.
    QList<QWidget *> chain{ui.Programowanie_SSTab};
    for (int n = 1; n <= protocol::RamScreens; ++n)
        chain << ui.TekstRAM_Text[n];
    chain << ui.PrzesuwRAM_Combo << ui.PredkoscRAM_Combo << ui.JasnoscRAM_Combo
          << ui.KrotkiSygnalDzwiek_Command << ui.DlugiDzwiek_Command << ui.CzyscEkran_Command
          << ui.PrzeslijRAM_Command << ui.PrzeslijEEPROM_Command << ui.JasnoscEEPROM_Combo
          << ui.PredkoscEEPROM_Combo << ui.PrzesuwEEPROM_Combo;
    for (int n : {5, 4, 2, 3, 1})
        chain << ui.TekstEEPROM_Text[n];
    for (int n = protocol::EepromScreens; n >= 1; --n)
        chain << ui.TekstEEPROM_Check[n];
    for (int n = protocol::RamScreens; n >= 1; --n)
        chain << ui.TekstRAM_Check[n];
    chain << ui.ParametryEEPROM_Check << ui.ParametryRAM_Check << ui.IloscEkranowRAM_Combo
          << ui.About_Command;
    if (ui.Godzina_MEB != nullptr)
        chain << ui.Godzina_MEB << ui.PrzeslijZegar_Command;
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void fMain::placePages()
{
    // The elements of a page are laid out from the tab control's own top-left
    // corner, tab strip included: each page's layer is moved back by the
    // page's offset inside the tab control.
    for (int i : {EepromPage, RamPage}) {
        const QPoint offset = ui.page[i]->mapTo(ui.Programowanie_SSTab, QPoint(0, 0));
        ui.layer[i]->setGeometry(QRect(-offset, ui.Programowanie_SSTab->size()));
    }
}

void fMain::Form_Load(const QString &device)
{
    UstawieniaPoczatkoweProgramowania();
    if (!device.isEmpty()) {
        m_device = device;
        const Outcome outcome = m_programmer->connectTo(device);
        // No answer, the port gone meanwhile or not opened: the message,
        // and the port is let go after it.
        report(outcome);
        if (!outcome.succeeded())
            m_programmer->release();
    }
    if (!m_fileToOpen.isEmpty() && !m_programmer->isClosing())
        m_files->open(m_fileToOpen);
    // Ended while the display was being asked or a message was up (a
    // terminating signal).
    if (m_programmer->isClosing())
        return;
    centreOnScreen(this);
    show();
    centreOnScreen(this);
}

void fMain::prepareShowing()
{
    setAttribute(Qt::WA_DontShowOnScreen);
    show();
    hide();
    setAttribute(Qt::WA_DontShowOnScreen, false);
}

void fMain::endProgram()
{
    Form_QueryUnload();
    Form_Unload();
}

void fMain::showEvent(QShowEvent *event)
{
    // The tab control has laid its pages out by now.
    placePages();
    QWidget::showEvent(event);
}

void fMain::closeEvent(QCloseEvent *event)
{
    // The user closing the window mid-upload is asked first; the upload goes
    // on meanwhile, its waits only growing. When the session ends, the
    // question has been asked already, if at all.
    if (!qApp->isSavingSession() && m_programmer->isUploading() && !askToCloseDuringUpload(this) &&
        !m_programmer->isClosing()) {
        event->ignore();
        return;
    }
    event->accept();
    endProgram();
}

void fMain::sessionEnding(QSessionManager &manager)
{
    // Asked while the session manager waits, when it lets us ask; No keeps
    // the session going. The session manager closes the window afterwards,
    // unless another program cancels the end.
    if (m_programmer->isUploading() && manager.allowsInteraction()) {
        const bool close = askToCloseDuringUpload(this);
        manager.release();
        if (!close)
            manager.cancel();
    }
}

void fMain::Form_QueryUnload()
{
    m_programmer->end();
}

void fMain::Form_Unload()
{
    // Ends every event loop, also the wait of an upload still running; and
    // the application's own loop, should it start only afterwards.
    QCoreApplication::exit(0);
    QMetaObject::invokeMethod(
        qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void fMain::About_Command_Click()
{
    // Modal and without an owner: the main window takes no input meanwhile.
    // Shown rather than run in an event loop of its own, so that an upload
    // waiting between two frames is not held up until the window closes.
    auto *about = new frmAbout;
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->setWindowModality(Qt::ApplicationModal);
    connect(this, &QObject::destroyed, about, [about] { delete about; });
    about->show();
}

void fMain::UstawieniaPoczatkoweProgramowania()
{
    using namespace protocol;
    for (QComboBox *combo : {ui.PredkoscRAM_Combo, ui.JasnoscRAM_Combo, ui.PredkoscEEPROM_Combo,
                             ui.JasnoscEEPROM_Combo}) {
        combo->clear();
        combo->addItems(stepItems());
    }
    ui.IloscEkranowRAM_Combo->clear();
    ui.IloscEkranowRAM_Combo->addItems(screenCountItems());
    const ParameterChoice ram = startChoice(Memory::Ram), eeprom = startChoice(Memory::Eeprom);
    fill(ui.PrzesuwRAM_Combo, scrollKindItems(), ram.scrollKind);
    fill(ui.PrzesuwEEPROM_Combo, scrollKindItems(), eeprom.scrollKind);
    ui.IloscEkranowRAM_Combo->setCurrentIndex(ram.screenCount);
    ui.PredkoscRAM_Combo->setCurrentIndex(ram.speed);
    ui.JasnoscRAM_Combo->setCurrentIndex(ram.brightness);
    ui.PredkoscEEPROM_Combo->setCurrentIndex(eeprom.speed);
    ui.JasnoscEEPROM_Combo->setCurrentIndex(eeprom.brightness);
    if (ui.Godzina_MEB != nullptr)
        ui.Godzina_MEB->followClock();
}

QString fMain::screenText(Memory memory, int n) const
{
    return (memory == Memory::Ram ? ui.TekstRAM_Text.at(n) : ui.TekstEEPROM_Text.at(n))->text();
}

bool fMain::screenChecked(Memory memory, int n) const
{
    return (memory == Memory::Ram ? ui.TekstRAM_Check.at(n) : ui.TekstEEPROM_Check.at(n))
        ->isChecked();
}

bool fMain::parametersChecked(Memory memory) const
{
    return (memory == Memory::Ram ? ui.ParametryRAM_Check : ui.ParametryEEPROM_Check)->isChecked();
}

ParameterChoice fMain::parameters(Memory memory) const
{
    if (memory == Memory::Ram)
        return {ui.PrzesuwRAM_Combo->currentIndex(), ui.IloscEkranowRAM_Combo->currentIndex(),
                ui.PredkoscRAM_Combo->currentIndex(), ui.JasnoscRAM_Combo->currentIndex()};
    return {ui.PrzesuwEEPROM_Combo->currentIndex(), protocol::EepromScreens,
            ui.PredkoscEEPROM_Combo->currentIndex(), ui.JasnoscEEPROM_Combo->currentIndex()};
}

protocol::ScreenSet fMain::screenSet(Memory memory) const
{
    protocol::ScreenSet set(memory);
    for (int n = 1; n <= set.screens(); ++n) {
        if (screenChecked(memory, n))
            set.texts[n] = screenText(memory, n);
    }
    set.parametersGiven = parametersChecked(memory);
    if (set.parametersGiven)
        set.parameters = parameters(memory);
    return set;
}

void fMain::showScreenSet(const protocol::ScreenSet &set)
{
    const bool ram = set.memory == Memory::Ram;
    for (int n = 1; n <= set.screens(); ++n) {
        (ram ? ui.TekstRAM_Check[n] : ui.TekstEEPROM_Check[n])
            ->setChecked(set.texts[n].has_value());
        (ram ? ui.TekstRAM_Text[n] : ui.TekstEEPROM_Text[n])
            ->setText(set.texts[n].value_or(QString()));
    }
    // A set without parameters holds the lists' start-up choices.
    (ram ? ui.ParametryRAM_Check : ui.ParametryEEPROM_Check)->setChecked(set.parametersGiven);
    (ram ? ui.PrzesuwRAM_Combo : ui.PrzesuwEEPROM_Combo)
        ->setCurrentIndex(set.parameters.scrollKind);
    (ram ? ui.PredkoscRAM_Combo : ui.PredkoscEEPROM_Combo)->setCurrentIndex(set.parameters.speed);
    (ram ? ui.JasnoscRAM_Combo : ui.JasnoscEEPROM_Combo)
        ->setCurrentIndex(set.parameters.brightness);
    if (ram)
        ui.IloscEkranowRAM_Combo->setCurrentIndex(set.parameters.screenCount);
}

QString fMain::Godzina_MEB() const
{
    // displayText keeps the spaces of untyped places, so every digit stays at
    // its position; text() would drop them.
    return ui.Godzina_MEB != nullptr ? ui.Godzina_MEB->displayText() : QString();
}

void fMain::Odswiez_Timer_Timer()
{
    m_programmer->refresh();
}

void fMain::PrzeslijRAM_Command_Click()
{
    report(m_programmer->upload(Memory::Ram), messages::CurrentProgrammed);
}

void fMain::PrzeslijEEPROM_Command_Click()
{
    report(m_programmer->upload(Memory::Eeprom), messages::EepromProgrammed);
}

void fMain::CzyscEkran_Command_Click()
{
    m_programmer->clear();
}

void fMain::KrotkiSygnalDzwiek_Command_Click()
{
    m_programmer->beep();
}

void fMain::DlugiDzwiek_Command_Click()
{
    // The caption is the one record of the long beep: it offers what a click
    // does, and changes whether or not the frame can go out.
    const bool on = ui.DlugiDzwiek_Command->text() == longBeepCaption(false);
    ui.DlugiDzwiek_Command->setText(longBeepCaption(on));
    m_programmer->setLongBeep(on);
}

void fMain::PrzeslijZegar_Command_Click()
{
    m_programmer->sendClock();
}

void fMain::report(const Outcome &outcome, int programmedMessage)
{
    switch (outcome.kind) {
    case Outcome::Done:
        if (programmedMessage != 0)
            PokazInformacje(programmedMessage);
        return;
    case Outcome::Unanswered:
    case Outcome::Lost:
        PokazOstrzezenie(messages::DisplayCommunicationError);
        return;
    case Outcome::OpenFailed: {
        const OpenFailureReport failure =
            reportOpenFailure(outcome.openResult, m_device, outcome.systemError);
        PokazOstrzezenie(failure.message, failure.detail);
        return;
    }
    case Outcome::Ended:
        return;
    }
}

void fMain::showConnection()
{
    for (QPushButton *b :
         {ui.PrzeslijEEPROM_Command, ui.PrzeslijRAM_Command, ui.KrotkiSygnalDzwiek_Command,
          ui.DlugiDzwiek_Command, ui.CzyscEkran_Command, ui.PrzeslijZegar_Command})
        if (b != nullptr)
            b->setEnabled(m_programmer->isIdle());
}

void fMain::uploadStarted(int frames, Memory memory)
{
    if (m_uploads++ == 0)
        setCursor(Qt::BusyCursor);
    const QPushButton *button =
        memory == Memory::Ram ? ui.PrzeslijRAM_Command : ui.PrzeslijEEPROM_Command;
    ui.uploadProgress->setParent(button->parentWidget());
    ui.uploadProgress->setGeometry(button->geometry());
    uploadProgress(0, frames);
    ui.uploadProgress->show();
}

void fMain::uploadProgress(int sent, int frames)
{
    ui.uploadProgress->setRange(0, qMax(frames, 1));
    ui.uploadProgress->setValue(sent);
    ui.uploadProgress->setFormat(
        QStringLiteral("Wysłano %1 z %2 %3")
            .arg(sent)
            .arg(frames)
            .arg(frames == 1 ? QStringLiteral("ramki") : QStringLiteral("ramek")));
}

void fMain::uploadFinished()
{
    if (m_uploads > 0 && --m_uploads == 0) {
        ui.uploadProgress->hide();
        unsetCursor();
    }
}
