// The main window as the user meets it without a display: every element where
// the window's tables put it, with its text, tab order, limits and state at
// load. Built twice: EXPECT_CLOCK 1 against screenprog's window, 0 against
// screenprog-noclock's.

#include "ui/main_window.h"
#include "ui/program.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTime>
#include <QTimer>

#include <memory>

namespace {

constexpr bool withClock = EXPECT_CLOCK != 0;

// The nearest pixel at 96 dpi, where 15 twips make a pixel.
int px(int twips)
{
    return (twips + 7) / 15;
}

QString indexed(const char *name, int n)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(n);
}

// Types text the way a keyboard or an input method delivers it: one key
// event per character, a character outside the BMP as one event.
void type(QWidget *widget, const QString &text)
{
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, character);
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, character);
        QApplication::sendEvent(widget, &release);
        i += length;
    }
}

} // namespace

class MainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<fMain> window;
    QTime loadStarted, loadEnded;

    template <typename T = QWidget> T *element(const QString &name) const
    {
        return window->findChild<T *>(name);
    }
    QTabWidget *tabs() const { return element<QTabWidget>(QStringLiteral("Programowanie_SSTab")); }

private slots:
    // The programs set their identity, font and translations this way.
    void initTestCase() { program::setUp(*qApp); }

    void init()
    {
        loadStarted = QTime::currentTime();
        window = std::make_unique<fMain>();
        window->Form_Load(QString()); // no port: the window opens without a display
        loadEnded = QTime::currentTime();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() { window.reset(); }

    void windowFrame()
    {
        QCOMPARE(window->windowTitle(),
                 QStringLiteral("Korvant - Programowanie systemu VELTA-ORSO"));
        QCOMPARE(window->size(), QSize(px(5895), px(5175)));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        const QPoint centre = window->screen()->availableGeometry().center();
        QVERIFY2((window->frameGeometry().center() - centre).manhattanLength() <= 2,
                 "the window is not centred");
        QCOMPARE(tabs()->count(), 2);
        QCOMPARE(tabs()->tabText(fMain::EepromPage), QStringLiteral("Konfiguracja pamięci EEPROM"));
        QCOMPARE(tabs()->tabText(fMain::RamPage), QStringLiteral("Programowanie bieżące"));
        // Two tabs in one row share the control's width.
        const QTabBar *bar = tabs()->tabBar();
        QCOMPARE(bar->tabRect(0).width() + bar->tabRect(1).width(), tabs()->width());
    }

    // Every element in its container, in pixels at 96 dpi, with its text.
    void elements_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container"); // "ram" or "eeprom" for a page, a frame, "fMain"
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QString>("text"); // caption, title or text; boxes start empty
        const auto row = [](const QString &name, const char *container, QRect twips,
                            const QString &text = QString()) {
            QTest::newRow(qPrintable(name))
                << name << QString::fromLatin1(container) << twips << text;
        };
        const QString parameters = QStringLiteral("          Parametry programowalne");
        row("Programowanie_SSTab", "fMain", {120, 120, 5655, 4935});
        row("Frame1", "ram", {120, 480, 2055, 4335}, "Programowane treści");
        row("Frame2", "ram", {2280, 480, 3255, 2175}, parameters);
        row("KrotkiSygnalDzwiek_Command", "ram", {2280, 2880, 1335, 375}, "Krótki dźwięk");
        row("DlugiDzwiek_Command", "ram", {3720, 2880, 1815, 375}, "Włącz długi dźwięk");
        row("PrzeslijRAM_Command", "ram", {2280, 3360, 3255, 375},
            "Prześlij nastawy i treść ekranów");
        row("CzyscEkran_Command", "ram", {2280, 3840, 3255, 375}, "Wyczyść ekrany");
        if (withClock) {
            row("Godzina_MEB", "ram", {2640, 4440, 945, 375}); // its text: clockField
            row("PrzeslijZegar_Command", "ram", {3720, 4440, 1815, 375}, "Prześlij zegar");
        }
        // The EEPROM rows stand at the first five RAM rows' heights.
        const int checkTop[] = {400, 880, 1360, 1840, 2320, 2800, 3280, 3800};
        const int textTop[] = {360, 840, 1320, 1800, 2280, 2760, 3240, 3720};
        for (int n = 1; n <= 8; ++n) {
            row(indexed("TekstRAM_Check", n), "Frame1", {120, checkTop[n - 1], 255, 255});
            row(indexed("TekstRAM_Text", n), "Frame1", {480, textTop[n - 1], 1335, 360});
        }
        row("ParametryRAM_Check", "Frame2", {200, 0, 255, 255});
        row("RodzajPrzesuwuRAM_Label", "Frame2", {240, 400, 1215, 195}, "Rodzaj przesuwu");
        row("PrzesuwRAM_Combo", "Frame2", {1800, 350, 1335, 315});
        row("PredkoscRAM_Label", "Frame2", {240, 850, 1305, 195}, "Prękość przesuwu");
        row("PredkoscRAM_Combo", "Frame2", {1800, 800, 615, 315});
        row("JasnoscRAM_Label", "Frame2", {240, 1300, 585, 195}, "Jasność");
        row("JasnoscRAM_Combo", "Frame2", {1800, 1250, 615, 315});
        row("IloscEkranow_Label", "Frame2", {240, 1750, 990, 195}, "Ilość ekranów");
        row("IloscEkranowRAM_Combo", "Frame2", {1800, 1700, 615, 315});

        row("Tekst_Frame", "eeprom", {120, 480, 2055, 2895}, "Programowane ekrany");
        row("Parametry_Frame", "eeprom", {2280, 480, 3255, 2175}, parameters);
        row("PrzeslijEEPROM_Command", "eeprom", {2280, 2880, 3255, 495}, "Zaprogramuj EEPROM");
        row("About_Command", "eeprom", {4200, 4440, 1335, 375}, "O programie");
        for (int n = 1; n <= 5; ++n) {
            row(indexed("TekstEEPROM_Check", n), "Tekst_Frame", {120, checkTop[n - 1], 255, 255});
            row(indexed("TekstEEPROM_Text", n), "Tekst_Frame", {480, textTop[n - 1], 1335, 360});
        }
        const char *frame = "Parametry_Frame";
        row("ParametryEEPROM_Check", frame, {200, 0, 255, 255});
        row("RodzajPrzesuwu_Label", frame, {240, 500, 1215, 195}, "Rodzaj przesuwu");
        row("PrzesuwEEPROM_Combo", frame, {1800, 450, 1335, 315});
        row("PredkoscPrzesuwu_Label", frame, {240, 1100, 1305, 195}, "Prękość przesuwu");
        row("PredkoscEEPROM_Combo", frame, {1800, 1050, 615, 315});
        row("Jasnosc_Label", frame, {240, 1700, 585, 195}, "Jasność");
        row("JasnoscEEPROM_Combo", frame, {1800, 1650, 615, 315});
    }

    void elements()
    {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QRect, twips);
        QFETCH(QString, text);
        QWidget *w = element(name);
        QVERIFY(w != nullptr);
        QCOMPARE(w->size(), QSize(px(twips.width()), px(twips.height())));
        // A page counts from the tab control's corner, tab strip included.
        QWidget *area = w->parentWidget();
        QPoint position = w->pos();
        if (container == QLatin1String("ram") || container == QLatin1String("eeprom")) {
            area = tabs()->widget(container == QLatin1String("ram") ? fMain::RamPage
                                                                    : fMain::EepromPage);
            QVERIFY2(area->isAncestorOf(w), "on the wrong page");
            position = w->mapTo(tabs(), QPoint(0, 0));
        } else {
            QCOMPARE(area->objectName(), container);
        }
        QCOMPARE(position, QPoint(px(twips.x()), px(twips.y())));
        const QRect inArea(w->mapTo(area, QPoint(0, 0)), w->size());
        QVERIFY2(area->rect().contains(inArea), "cut off by its page, frame or window");
        const QVariant shown = w->property(qobject_cast<QGroupBox *>(w) ? "title" : "text");
        if (shown.isValid() && name != QLatin1String("Godzina_MEB"))
            QCOMPARE(shown.toString(), text);
        if (auto *b = qobject_cast<QPushButton *>(w))
            QVERIFY2(!b->isDefault() && !b->autoDefault(), "Enter would press it");
    }

    // Every text fits its box in the window's font: no label, caption, tab
    // title or list item is cut off, and ten of the widest characters fit a
    // screen text box.
    void noTextClipped()
    {
        QStringList clipped;
        const auto fit = [&clipped](const QFont &font, const QString &text, QSize room) {
            const QFontMetrics fm(font);
            if (fm.horizontalAdvance(text) > room.width() || fm.height() > room.height())
                clipped << text;
        };
        for (const QLabel *l : window->findChildren<QLabel *>())
            fit(l->font(), l->text(), l->size());
        for (const QPushButton *b : window->findChildren<QPushButton *>())
            fit(b->font(), b->text(), b->size() - QSize(8, 4));
        auto *longBeep = element<QPushButton>(QStringLiteral("DlugiDzwiek_Command"));
        fit(longBeep->font(), QStringLiteral("Wyłącz długi dźwięk"),
            longBeep->size() - QSize(8, 4));
        for (const QGroupBox *g : window->findChildren<QGroupBox *>()) {
            QFont bold = g->font();
            bold.setBold(true); // some styles draw frame captions bold
            fit(bold, g->title(), QSize(g->width() - 16, g->height()));
        }
        const QTabBar *bar = tabs()->tabBar();
        for (int i = 0; i < bar->count(); ++i)
            fit(bar->font(), bar->tabText(i), bar->tabRect(i).size() - QSize(8, 0));
        for (QComboBox *combo : window->findChildren<QComboBox *>()) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                               QStyle::SC_ComboBoxEditField, combo);
            for (int i = 0; i < combo->count(); ++i)
                fit(combo->font(), combo->itemText(i), QSize(field.width(), combo->height()));
        }
        for (QLineEdit *edit : window->findChildren<QLineEdit *>()) {
            const QRect inside = edit->contentsRect().marginsRemoved(edit->textMargins());
            if (edit->objectName().startsWith(QLatin1String("Tekst")))
                fit(edit->font(), QString(10, u'W'), inside.size() - QSize(2, 0));
        }
        QCOMPARE(clipped, QStringList());
    }

    // Qt's focus chain from the tab control round the window, in the window's
    // tab order; its labels and frames hold places in it but take no focus.
    void tabOrderChain()
    {
        QStringList expected{QStringLiteral("Programowanie_SSTab")};
        for (int n = 1; n <= 8; ++n)
            expected << indexed("TekstRAM_Text", n);
        expected += QStringList{
            "PrzesuwRAM_Combo",           "PredkoscRAM_Combo",      "JasnoscRAM_Combo",
            "KrotkiSygnalDzwiek_Command", "DlugiDzwiek_Command",    "CzyscEkran_Command",
            "PrzeslijRAM_Command",        "PrzeslijEEPROM_Command", "JasnoscEEPROM_Combo",
            "PredkoscEEPROM_Combo",       "PrzesuwEEPROM_Combo"};
        for (int n : {5, 4, 2, 3, 1})
            expected << indexed("TekstEEPROM_Text", n);
        for (int n = 5; n >= 1; --n)
            expected << indexed("TekstEEPROM_Check", n);
        for (int n = 8; n >= 1; --n)
            expected << indexed("TekstRAM_Check", n);
        expected += QStringList{"ParametryEEPROM_Check", "ParametryRAM_Check",
                                "IloscEkranowRAM_Combo", "About_Command"};
        if (withClock)
            expected += QStringList{"Godzina_MEB", "PrzeslijZegar_Command"};

        QStringList chain{QStringLiteral("Programowanie_SSTab")};
        QWidget *strip = tabs()->tabBar(); // the tab control's focus
        for (QWidget *w = strip->nextInFocusChain(); w != strip && chain.size() < 200;
             w = w->nextInFocusChain())
            if (w->window() == window.get() && (w->focusPolicy() & Qt::TabFocus) && w != tabs() &&
                !strip->isAncestorOf(w))
                chain << w->objectName();
        QCOMPARE(chain, expected);
    }

    // Without a display: on its program's first page, every check box checked,
    // the device buttons disabled, "O programie" enabled, the timer stopped.
    void stateAtLoad()
    {
        QCOMPARE(tabs()->currentIndex(), withClock ? int(fMain::RamPage) : int(fMain::EepromPage));
        QCOMPARE(window->findChild<QLineEdit *>(QStringLiteral("Godzina_MEB")) != nullptr,
                 withClock);
        const auto boxes = window->findChildren<QCheckBox *>();
        QCOMPARE(boxes.size(), 13 + 2);
        for (QCheckBox *box : boxes)
            QVERIFY2(box->isChecked(), qPrintable(box->objectName()));
        const auto buttons = window->findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), withClock ? 6 + 1 : 5 + 1);
        for (QPushButton *b : buttons)
            QVERIFY2(b->isEnabled() == (b->objectName() == QLatin1String("About_Command")),
                     qPrintable(b->objectName()));
        QVERIFY(!window->programmer().Odswiez_Timer().isActive());
        for (QWidget *w : window->findChildren<QWidget *>())
            QVERIFY2(w->toolTip().isEmpty(), qPrintable(w->objectName()));
    }

    // Filled at load, items in the order the display counts them; keys only
    // pick among the items, nothing can be typed in.
    void lists_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("selected");
        const QStringList scroll{"Na przemian", "Co znak", "Płynące"};
        const QStringList numbers{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
        const QStringList oneToTen = numbers.mid(1), zeroToEight = numbers.mid(0, 9);
        for (const char *name : {"PrzesuwRAM_Combo", "PrzesuwEEPROM_Combo"})
            QTest::newRow(name) << QString::fromLatin1(name) << scroll << 0;
        for (const char *name : {"PredkoscRAM_Combo", "JasnoscRAM_Combo", "PredkoscEEPROM_Combo",
                                 "JasnoscEEPROM_Combo"})
            QTest::newRow(name) << QString::fromLatin1(name) << oneToTen << 9;
        QTest::newRow("IloscEkranowRAM_Combo") << "IloscEkranowRAM_Combo" << zeroToEight << 8;
    }

    void lists()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, items);
        QFETCH(int, selected);
        auto *combo = element<QComboBox>(name);
        QVERIFY(combo != nullptr);
        QStringList shown;
        for (int i = 0; i < combo->count(); ++i)
            shown << combo->itemText(i);
        QCOMPARE(shown, items);
        QCOMPARE(combo->currentIndex(), selected);
        tabs()->setCurrentIndex(name.contains(QLatin1String("EEPROM")) ? fMain::EepromPage
                                                                       : fMain::RamPage);
        QTest::keyClicks(combo, QStringLiteral("x7!"));
        QCOMPARE(combo->count(), items.size());
        QVERIFY2(items.contains(combo->currentText()), qPrintable(combo->currentText()));
    }

    // Screen texts in Courier New (Liberation Mono where it is missing) 9.75 pt,
    // the clock in it 12 pt bold; a white background set on the RAM rows and
    // the first EEPROM row only. Every input has a name of its own, so a screen
    // reader tells them apart.
    void textBoxesAndNames()
    {
        for (QLineEdit *edit : window->findChildren<QLineEdit *>()) {
            const QString name = edit->objectName();
            const bool clock = name == QLatin1String("Godzina_MEB");
            const QString family = QFontInfo(edit->font()).family();
            QVERIFY2(family == QLatin1String("Courier New") ||
                         family == QLatin1String("Liberation Mono"),
                     qPrintable(family));
            QCOMPARE(edit->font().pointSizeF(), clock ? 12.0 : 9.75);
            QCOMPARE(edit->font().weight(), clock ? QFont::Bold : QFont::Normal);
            const bool white = name.startsWith(QLatin1String("TekstRAM_Text")) ||
                               name == QLatin1String("TekstEEPROM_Text(1)");
            QCOMPARE(edit->palette().isBrushSet(QPalette::Active, QPalette::Base), white);
            if (white)
                QCOMPARE(edit->palette().color(QPalette::Base), QColor(Qt::white));
        }
        QCOMPARE(element(QStringLiteral("TekstRAM_Text(3)"))->accessibleName(),
                 QStringLiteral("Tekst ekranu 3 (RAM)"));
        QStringList names;
        for (QWidget *w : window->findChildren<QWidget *>())
            if (qobject_cast<QLineEdit *>(w) || qobject_cast<QCheckBox *>(w) ||
                qobject_cast<QComboBox *>(w))
                names << w->accessibleName();
        QCOMPARE(names.size(), withClock ? 36 : 35);
        QVERIFY(!names.contains(QString()));
        QCOMPARE(names.removeDuplicates(), 0);
    }

    // A screen text box keeps at most ten characters, and only what the
    // display can show. A paste is filtered first and then cut at ten. The
    // input goes at the end of the start text, or over its part in brackets.
    void enteringText_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("typed");  // what typing the input leaves; null: not typed
        QTest::addColumn<QString>("pasted"); // what pasting it leaves
        const auto row = [](const char *name, const QString &start, const QString &input,
                            const QString &typed, const QString &pasted) {
            QTest::newRow(name) << start << input << typed << pasted;
        };
        row("eleventh refused", "", "ABCDEFGHIJK", "ABCDEFGHIJ", "ABCDEFGHIJ");
        row("cut at ten", "12345678", "ABC", "12345678AB", "12345678AB");
        row("Polish letters, euro sign and spaces kept", "", " Żółć 5€ ", " Żółć 5€ ", " Żółć 5€ ");
        row("CJK and n tilde left out", "x", "漢añ字b", "xab", "xab");
        row("emoji left out", "ab", "c😀d", "abcd", "abcd");
        row("filtered before the cut", "", "😀😀😀😀😀abcdefghijkl", "abcdefghij", "abcdefghij");
        row("line breaks and tabs left out", "", "a\nb\tc\r", "abc", "abc");
        row("combining ogonek composed", "", "e\u0328", QString(), "ę");
        row("over a selection", "01[234]56789", "漢ab😀cdef", "01abc56789", "01abc56789");
    }

    void enteringText()
    {
        QFETCH(QString, start);
        QFETCH(QString, input);
        QFETCH(QString, typed);
        QFETCH(QString, pasted);
        const auto prepare = [this, &start](fMain::Page page, const QString &name) {
            tabs()->setCurrentIndex(page);
            auto *edit = element<QLineEdit>(name);
            edit->setText(QString(start).remove(u'[').remove(u']'));
            edit->setFocus();
            if (start.contains(u'['))
                edit->setSelection(start.indexOf(u'['),
                                   start.indexOf(u']') - start.indexOf(u'[') - 1);
            else
                edit->end(false);
            return edit;
        };
        if (!typed.isNull()) {
            type(prepare(fMain::RamPage, QStringLiteral("TekstRAM_Text(4)")), input);
            QCOMPARE(window->screenText(Memory::Ram, 4), typed);
        }
        QGuiApplication::clipboard()->setText(input);
        QLineEdit *edit = prepare(fMain::EepromPage, QStringLiteral("TekstEEPROM_Text(2)"));
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(window->screenText(Memory::Eeprom, 2), pasted);

        // The same through the box's own menu.
        edit = prepare(fMain::EepromPage, QStringLiteral("TekstEEPROM_Text(2)"));
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5),
                                    edit->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(edit, &menuEvent);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu != nullptr);
        auto *paste = menu->findChild<QAction *>(QStringLiteral("edit-paste"));
        QVERIFY(paste != nullptr);
        paste->trigger();
        menu->close();
        QCOMPARE(window->screenText(Memory::Eeprom, 2), pasted);
    }

    // Set at load to the local time; typing over it takes ASCII digits only,
    // and the colon stays.
    void clockField()
    {
        if (!withClock)
            QSKIP("screenprog-noclock has no clock field");
        auto *clock = element<QLineEdit>(QStringLiteral("Godzina_MEB"));
        QVERIFY(clock->isEnabled());
        const QString shown = window->Godzina_MEB();
        QVERIFY2(shown == loadStarted.toString(QStringLiteral("HH:mm")) ||
                     shown == loadEnded.toString(QStringLiteral("HH:mm")),
                 qPrintable(shown));

        clock->setFocus();
        clock->clear();
        QCOMPARE(window->Godzina_MEB(), QStringLiteral("  :  "));
        clock->home(false);
        QTest::keyClicks(clock, QStringLiteral("1a4"));
        QCOMPARE(window->Godzina_MEB(), QStringLiteral("14:  "));
        QTest::keyClicks(clock, QStringLiteral("x599"));
        QCOMPARE(window->Godzina_MEB(), QStringLiteral("14:59"));
        // Digits of other scripts are digits to Qt's mask, but not to the display.
        clock->clear();
        clock->home(false);
        type(clock, QStringLiteral("٣²"));
        QCOMPARE(window->Godzina_MEB(), QStringLiteral("  :  "));
    }

    // Each input keeps its value whichever page is shown, and the device
    // logic reads each from its own element; unchecking a row keeps its text.
    void switchingTabsKeepsEveryValue()
    {
        const char *lists[] = {"PrzesuwRAM_Combo",    "PredkoscRAM_Combo",
                               "JasnoscRAM_Combo",    "IloscEkranowRAM_Combo",
                               "PrzesuwEEPROM_Combo", "PredkoscEEPROM_Combo",
                               "JasnoscEEPROM_Combo"};
        const QList<int> picked{2, 3, 4, 5, 1, 6, 7};
        tabs()->setCurrentIndex(fMain::RamPage);
        type(element(QStringLiteral("TekstRAM_Text(2)")), QStringLiteral("Drugi"));
        QTest::mouseClick(element(QStringLiteral("TekstRAM_Check(2)")), Qt::LeftButton);
        for (int i = 0; i < 7; ++i)
            element<QComboBox>(QString::fromLatin1(lists[i]))->setCurrentIndex(picked[i]);
        tabs()->setCurrentIndex(fMain::EepromPage);
        type(element(QStringLiteral("TekstEEPROM_Text(3)")), QStringLiteral("Trzeci"));
        QTest::mouseClick(element(QStringLiteral("TekstEEPROM_Check(3)")), Qt::LeftButton);
        QTest::mouseClick(element(QStringLiteral("ParametryEEPROM_Check")), Qt::LeftButton);

        for (int page : {fMain::RamPage, fMain::EepromPage, fMain::RamPage}) {
            QTest::mouseClick(tabs()->tabBar(), Qt::LeftButton, {},
                              tabs()->tabBar()->tabRect(page).center());
            QCOMPARE(tabs()->currentIndex(), page);
            for (int n = 1; n <= 8; ++n) {
                QCOMPARE(window->screenText(Memory::Ram, n),
                         n == 2 ? QStringLiteral("Drugi") : QString());
                QCOMPARE(window->screenChecked(Memory::Ram, n), n != 2);
            }
            for (int n = 1; n <= 5; ++n) {
                QCOMPARE(window->screenText(Memory::Eeprom, n),
                         n == 3 ? QStringLiteral("Trzeci") : QString());
                QCOMPARE(window->screenChecked(Memory::Eeprom, n), n != 3);
            }
            QVERIFY(window->parametersChecked(Memory::Ram));
            QVERIFY(!window->parametersChecked(Memory::Eeprom));
            const ParameterChoice ram = window->parameters(Memory::Ram);
            const ParameterChoice eeprom = window->parameters(Memory::Eeprom);
            const QList<int> read{ram.scrollKind,    ram.speed,    ram.brightness, ram.screenCount,
                                  eeprom.scrollKind, eeprom.speed, eeprom.brightness};
            QCOMPARE(read, picked);
        }
    }

    // A parameter check box stands on its frame's edge over the caption's ten
    // leading spaces, so that the caption's words follow it.
    void parameterBoxesOverCaption()
    {
        for (const char *frameName : {"Frame2", "Parametry_Frame"}) {
            auto *frame = element<QGroupBox>(QString::fromLatin1(frameName));
            const QRect box = frame->findChild<QCheckBox *>()->geometry();
            QStyleOptionGroupBox option;
            option.initFrom(frame);
            option.text = frame->title();
            option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            option.textAlignment = frame->alignment();
            const QRect label = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                               QStyle::SC_GroupBoxLabel, frame);
            const int words =
                label.left() + QFontMetrics(frame->font()).horizontalAdvance(QString(10, u' '));
            // The box starts inside the blank run and covers most of it; the
            // words start no further than a few pixels after it.
            QVERIFY2(box.left() >= label.left() - 2 && box.left() < words, frameName);
            QVERIFY2(box.right() - words < 6 && words - box.right() < 12, frameName);
        }
    }

    // While an upload runs, a bar over its button, disabled then, says how
    // far it is; at rest the window looks as laid out.
    void uploadProgressStrip()
    {
        auto *strip = element<QProgressBar>(QStringLiteral("uploadProgress"));
        QVERIFY(strip->isHidden());
        DeviceProgrammer &p = window->programmer();
        tabs()->setCurrentIndex(fMain::EepromPage);
        emit p.uploadStarted(4, Memory::Eeprom);
        emit p.uploadProgress(1, 4);
        QVERIFY(strip->isVisible());
        const QWidget *button = element(QStringLiteral("PrzeslijEEPROM_Command"));
        QCOMPARE(QRect(strip->mapTo(window.get(), QPoint()), strip->size()),
                 QRect(button->mapTo(window.get(), QPoint()), button->size()));
        QCOMPARE(strip->text(), QStringLiteral("Wysłano 1 z 4 ramek"));
        QCOMPARE(window->cursor().shape(), Qt::BusyCursor);
        QCOMPARE(strip->value(), 1);
        QCOMPARE(strip->maximum(), 4);
        // One started inside the other's wait keeps the strip until both end.
        emit p.uploadStarted(2, Memory::Eeprom);
        emit p.uploadFinished();
        emit p.uploadProgress(3, 3);
        QVERIFY(strip->isVisible());
        QCOMPARE(window->cursor().shape(), Qt::BusyCursor);
        QCOMPARE(strip->value(), 3);
        emit p.uploadFinished();
        emit p.uploadFinished(); // an extra end is not counted against the next upload
        QVERIFY(strip->isHidden());
        QCOMPARE(window->cursor().shape(), Qt::ArrowCursor);
        emit p.uploadStarted(1, Memory::Ram);
        QCOMPARE(window->cursor().shape(), Qt::BusyCursor);
    }

    // Closing the window ends the program: this must stay the last case, as
    // no event loop runs after the end.
    void closingEndsTheProgram()
    {
        window->close();
        QVERIFY(!window->isVisible());
        // Every event loop is told to end, also one that starts afterwards.
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, [&loop] { loop.exit(1); });
        QCOMPARE(loop.exec(), -1);
    }
};

QTEST_MAIN(MainWindow)
#include "tst_main_window.moc"
