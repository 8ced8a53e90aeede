// The main window as the user meets it without a display: every element where
// the window's tables put it, with its text, tab order, limits and state at
// load. Built twice: EXPECT_CLOCK 1 against screenprog's window, 0 against
// screenprog-noclock's.

#include "programming/module1.h"
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

int px(int twips)
{
    return (twips + 7) / 15;
}

QString indexed(const char *name, int n)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(n);
}

const QString LongBeepOn = QStringLiteral("Włącz długi dźwięk");

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

// The window's tab order, 0 to 54, labels and frames included.
QStringList fullTabOrder()
{
    QStringList order{QStringLiteral("Programowanie_SSTab")};
    for (int n = 1; n <= 8; ++n)
        order << indexed("TekstRAM_Text", n);
    order << "PrzesuwRAM_Combo"
          << "PredkoscRAM_Combo"
          << "JasnoscRAM_Combo"
          << "KrotkiSygnalDzwiek_Command"
          << "DlugiDzwiek_Command"
          << "CzyscEkran_Command"
          << "PrzeslijRAM_Command"
          << "PrzeslijEEPROM_Command"
          << "Parametry_Frame"
          << "JasnoscEEPROM_Combo"
          << "PredkoscEEPROM_Combo"
          << "PrzesuwEEPROM_Combo"
          << "Jasnosc_Label"
          << "PredkoscPrzesuwu_Label"
          << "RodzajPrzesuwu_Label"
          << "Tekst_Frame";
    for (int n : {5, 4, 2, 3, 1})
        order << indexed("TekstEEPROM_Text", n);
    for (int n = 5; n >= 1; --n)
        order << indexed("TekstEEPROM_Check", n);
    order << "Frame2"
          << "RodzajPrzesuwuRAM_Label"
          << "PredkoscRAM_Label"
          << "JasnoscRAM_Label"
          << "Frame1";
    for (int n = 8; n >= 1; --n)
        order << indexed("TekstRAM_Check", n);
    order << "ParametryEEPROM_Check"
          << "ParametryRAM_Check"
          << "IloscEkranowRAM_Combo"
          << "IloscEkranow_Label"
          << "About_Command";
    if (withClock)
        order << "Godzina_MEB"
              << "PrzeslijZegar_Command";
    return order;
}

bool takesFocus(const QString &name)
{
    return !name.endsWith(QLatin1String("_Label")) && !name.endsWith(QLatin1String("_Frame")) &&
           name != QLatin1String("Frame1") && name != QLatin1String("Frame2");
}

QStringList deviceButtons()
{
    QStringList names{"PrzeslijEEPROM_Command", "PrzeslijRAM_Command", "KrotkiSygnalDzwiek_Command",
                      "DlugiDzwiek_Command", "CzyscEkran_Command"};
    if (withClock)
        names << "PrzeslijZegar_Command";
    return names;
}

QStringList eepromPageElements()
{
    QStringList names{"Tekst_Frame", "Parametry_Frame", "PrzeslijEEPROM_Command", "About_Command"};
    return names;
}

} // namespace

class MainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<fMain> window;

    template <typename T = QWidget> T *element(const QString &name) const
    {
        T *found = window->findChild<T *>(name);
        if (found == nullptr)
            qWarning("no element %s", qPrintable(name));
        return found;
    }
    QTabWidget *tabs() const { return element<QTabWidget>(QStringLiteral("Programowanie_SSTab")); }

    void load()
    {
        Module1::NumerPortu = 0;
        window = std::make_unique<fMain>();
        window->Form_Load();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

private slots:
    void initTestCase()
    {
        // The programs set their identity, font and translations this way.
        program::setUp(*qApp);
    }

    void init() { load(); }
    void cleanup() { window.reset(); }

    void windowFrame()
    {
        QCOMPARE(window->windowTitle(),
                 QStringLiteral("Korvant - Programowanie systemu VELTA-ORSO"));
        QCOMPARE(window->size(), QSize(px(5895), px(5175)));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        const Qt::WindowFlags flags = window->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(window->isVisible());
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

    void geometry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container"); // a frame, "page" or "window"
        QTest::addColumn<int>("page");          // -1 for the window itself
        QTest::addColumn<QRect>("twips");
        auto row = [](const QString &name, const char *container, int page, QRect twips) {
            QTest::newRow(qPrintable(name))
                << name << QString::fromLatin1(container) << page << twips;
        };
        const int ram = fMain::RamPage, eeprom = fMain::EepromPage;
        row("Programowanie_SSTab", "window", -1, {120, 120, 5655, 4935});
        row("Frame1", "page", ram, {120, 480, 2055, 4335});
        row("Frame2", "page", ram, {2280, 480, 3255, 2175});
        row("KrotkiSygnalDzwiek_Command", "page", ram, {2280, 2880, 1335, 375});
        row("DlugiDzwiek_Command", "page", ram, {3720, 2880, 1815, 375});
        row("PrzeslijRAM_Command", "page", ram, {2280, 3360, 3255, 375});
        row("CzyscEkran_Command", "page", ram, {2280, 3840, 3255, 375});
        if (withClock) {
            row("Godzina_MEB", "page", ram, {2640, 4440, 945, 375});
            row("PrzeslijZegar_Command", "page", ram, {3720, 4440, 1815, 375});
        }
        const int ramCheckTop[] = {400, 880, 1360, 1840, 2320, 2800, 3280, 3800};
        const int ramTextTop[] = {360, 840, 1320, 1800, 2280, 2760, 3240, 3720};
        for (int n = 1; n <= 8; ++n) {
            row(indexed("TekstRAM_Check", n), "Frame1", ram, {120, ramCheckTop[n - 1], 255, 255});
            row(indexed("TekstRAM_Text", n), "Frame1", ram, {480, ramTextTop[n - 1], 1335, 360});
        }
        row("ParametryRAM_Check", "Frame2", ram, {200, 0, 255, 255});
        row("RodzajPrzesuwuRAM_Label", "Frame2", ram, {240, 400, 1215, 195});
        row("PrzesuwRAM_Combo", "Frame2", ram, {1800, 350, 1335, 315});
        row("PredkoscRAM_Label", "Frame2", ram, {240, 850, 1305, 195});
        row("PredkoscRAM_Combo", "Frame2", ram, {1800, 800, 615, 315});
        row("JasnoscRAM_Label", "Frame2", ram, {240, 1300, 585, 195});
        row("JasnoscRAM_Combo", "Frame2", ram, {1800, 1250, 615, 315});
        row("IloscEkranow_Label", "Frame2", ram, {240, 1750, 990, 195});
        row("IloscEkranowRAM_Combo", "Frame2", ram, {1800, 1700, 615, 315});

        row("Tekst_Frame", "page", eeprom, {120, 480, 2055, 2895});
        row("Parametry_Frame", "page", eeprom, {2280, 480, 3255, 2175});
        row("PrzeslijEEPROM_Command", "page", eeprom, {2280, 2880, 3255, 495});
        row("About_Command", "page", eeprom, {4200, 4440, 1335, 375});
        const int eepromCheckTop[] = {400, 880, 1360, 1840, 2320};
        const int eepromTextTop[] = {360, 840, 1320, 1800, 2280};
        for (int n = 1; n <= 5; ++n) {
            row(indexed("TekstEEPROM_Check", n), "Tekst_Frame", eeprom,
                {120, eepromCheckTop[n - 1], 255, 255});
            row(indexed("TekstEEPROM_Text", n), "Tekst_Frame", eeprom,
                {480, eepromTextTop[n - 1], 1335, 360});
        }
        row("ParametryEEPROM_Check", "Parametry_Frame", eeprom, {200, 0, 255, 255});
        row("RodzajPrzesuwu_Label", "Parametry_Frame", eeprom, {240, 500, 1215, 195});
        row("PrzesuwEEPROM_Combo", "Parametry_Frame", eeprom, {1800, 450, 1335, 315});
        row("PredkoscPrzesuwu_Label", "Parametry_Frame", eeprom, {240, 1100, 1305, 195});
        row("PredkoscEEPROM_Combo", "Parametry_Frame", eeprom, {1800, 1050, 615, 315});
        row("Jasnosc_Label", "Parametry_Frame", eeprom, {240, 1700, 585, 195});
        row("JasnoscEEPROM_Combo", "Parametry_Frame", eeprom, {1800, 1650, 615, 315});
    }

    void geometry()
    {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(int, page);
        QFETCH(QRect, twips);
        QWidget *w = element(name);
        QVERIFY(w != nullptr);
        const QSize size(px(twips.width()), px(twips.height()));
        QCOMPARE(w->size(), size);
        QPoint position;
        if (container == QLatin1String("window")) {
            QCOMPARE(w->parentWidget(), window.get());
            position = w->pos();
        } else if (container == QLatin1String("page")) {
            // Counted from the tab control's corner, tab strip included.
            position = w->mapTo(tabs(), QPoint(0, 0));
        } else {
            QCOMPARE(w->parentWidget()->objectName(), container);
            position = w->pos();
        }
        QCOMPARE(position, QPoint(px(twips.x()), px(twips.y())));
        if (page >= 0) {
            QVERIFY2(tabs()->widget(page)->isAncestorOf(w), "on the wrong page");
            // Nothing of a page lies outside what the page shows.
            const QRect onPage(w->mapTo(tabs()->widget(page), QPoint(0, 0)), w->size());
            QVERIFY2(tabs()->widget(page)->rect().contains(onPage), "cut off by its page");
        }
    }

    void texts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        auto row = [](const char *name, const QString &text) {
            QTest::newRow(name) << QString::fromLatin1(name) << text;
        };
        row("Frame1", QStringLiteral("Programowane treści"));
        row("Frame2", QStringLiteral("          Parametry programowalne"));
        row("KrotkiSygnalDzwiek_Command", QStringLiteral("Krótki dźwięk"));
        row("DlugiDzwiek_Command", QStringLiteral("Włącz długi dźwięk"));
        row("PrzeslijRAM_Command", QStringLiteral("Prześlij nastawy i treść ekranów"));
        row("CzyscEkran_Command", QStringLiteral("Wyczyść ekrany"));
        if (withClock)
            row("PrzeslijZegar_Command", QStringLiteral("Prześlij zegar"));
        row("RodzajPrzesuwuRAM_Label", QStringLiteral("Rodzaj przesuwu"));
        row("PredkoscRAM_Label", QStringLiteral("Prękość przesuwu"));
        row("JasnoscRAM_Label", QStringLiteral("Jasność"));
        row("IloscEkranow_Label", QStringLiteral("Ilość ekranów"));
        row("Tekst_Frame", QStringLiteral("Programowane ekrany"));
        row("Parametry_Frame", QStringLiteral("          Parametry programowalne"));
        row("PrzeslijEEPROM_Command", QStringLiteral("Zaprogramuj EEPROM"));
        row("About_Command", QStringLiteral("O programie"));
        row("RodzajPrzesuwu_Label", QStringLiteral("Rodzaj przesuwu"));
        row("PredkoscPrzesuwu_Label", QStringLiteral("Prękość przesuwu"));
        row("Jasnosc_Label", QStringLiteral("Jasność"));
    }

    void texts()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QWidget *w = element(name);
        QVERIFY(w != nullptr);
        QString shown;
        if (auto *b = qobject_cast<QPushButton *>(w)) {
            shown = b->text();
            QVERIFY2(!b->isDefault() && !b->autoDefault(), "Enter would press it");
        } else if (auto *l = qobject_cast<QLabel *>(w)) {
            shown = l->text();
            QCOMPARE(l->textFormat(), Qt::PlainText);
        } else if (auto *g = qobject_cast<QGroupBox *>(w)) {
            shown = g->title();
        }
        QCOMPARE(shown, text);
        QVERIFY(w->toolTip().isEmpty());
    }

    // Every text fits its box in the window's font: no label, caption, tab
    // title or list item is cut off.
    void textsFit()
    {
        const auto labels = window->findChildren<QLabel *>();
        QVERIFY(labels.size() >= 7);
        for (const QLabel *l : labels) {
            const QFontMetrics fm(l->font());
            QVERIFY2(fm.horizontalAdvance(l->text()) <= l->width() && fm.height() <= l->height(),
                     qPrintable(l->objectName()));
        }
        for (const QPushButton *b : window->findChildren<QPushButton *>()) {
            const QFontMetrics fm(b->font());
            for (const QString &caption : {b->text(), QStringLiteral("Wyłącz długi dźwięk")}) {
                if (b->objectName() != QLatin1String("DlugiDzwiek_Command") && caption != b->text())
                    continue;
                QVERIFY2(fm.horizontalAdvance(caption) + 8 <= b->width(), qPrintable(caption));
            }
            QVERIFY2(fm.height() + 4 <= b->height(), qPrintable(b->objectName()));
        }
        for (const QGroupBox *g : window->findChildren<QGroupBox *>()) {
            QFont bold = g->font();
            bold.setBold(true); // some styles draw frame captions bold
            QVERIFY2(QFontMetrics(bold).horizontalAdvance(g->title()) + 16 <= g->width(),
                     qPrintable(g->objectName()));
        }
        const QTabBar *bar = tabs()->tabBar();
        for (int i = 0; i < bar->count(); ++i)
            QVERIFY2(bar->fontMetrics().horizontalAdvance(bar->tabText(i)) + 8 <=
                         bar->tabRect(i).width(),
                     qPrintable(bar->tabText(i)));
        for (QComboBox *combo : window->findChildren<QComboBox *>()) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            option.editable = false;
            const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                               QStyle::SC_ComboBoxEditField, combo);
            for (int i = 0; i < combo->count(); ++i)
                QVERIFY2(combo->fontMetrics().horizontalAdvance(combo->itemText(i)) <=
                             field.width(),
                         qPrintable(combo->objectName() + ": " + combo->itemText(i)));
        }
        // Ten of the widest characters fit a screen text box.
        for (QLineEdit *edit : window->findChildren<QLineEdit *>()) {
            if (!edit->objectName().startsWith(QLatin1String("Tekst")))
                continue;
            const QRect inside = edit->contentsRect().marginsRemoved(edit->textMargins());
            QVERIFY2(edit->fontMetrics().horizontalAdvance(QString(10, u'W')) <= inside.width() - 2,
                     qPrintable(edit->objectName()));
        }
    }

    void tabOrderChain()
    {
        QStringList expected;
        for (const QString &name : fullTabOrder())
            if (takesFocus(name))
                expected << name;

        // Qt's focus chain, from the tab control round the window.
        QStringList chain;
        QWidget *start = tabs()->tabBar();
        QWidget *w = start;
        do {
            if (w == start)
                chain << QStringLiteral("Programowanie_SSTab");
            else if (w->window() == window.get() && (w->focusPolicy() & Qt::TabFocus) &&
                     w != tabs() && !start->isAncestorOf(w)) // the tab strip is its focus
                chain << w->objectName();
            w = w->nextInFocusChain();
        } while (w != start && chain.size() < 200);
        for (qsizetype i = 0; i < qMax(chain.size(), expected.size()); ++i)
            QVERIFY2(chain.value(i) == expected.value(i),
                     qPrintable(QStringLiteral("place %1: %2 instead of %3")
                                    .arg(i)
                                    .arg(chain.value(i), expected.value(i))));
    }

    // Tab walks the shown page only, and over enabled elements only.
    void tabKeyWalk_data()
    {
        QTest::addColumn<int>("page");
        QTest::newRow("Programowanie bieżące") << int(fMain::RamPage);
        QTest::newRow("Konfiguracja pamięci EEPROM") << int(fMain::EepromPage);
    }

    void tabKeyWalk()
    {
        QFETCH(int, page);
        tabs()->setCurrentIndex(page);
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));

        QStringList expected;
        for (const QString &name : fullTabOrder()) {
            if (!takesFocus(name) || deviceButtons().contains(name))
                continue;
            const bool onEeprom =
                name.contains(QLatin1String("EEPROM")) || eepromPageElements().contains(name);
            if (name != QLatin1String("Programowanie_SSTab") &&
                onEeprom != (page == fMain::EepromPage))
                continue;
            expected << name;
        }
        tabs()->tabBar()->setFocus();
        QStringList walked{QStringLiteral("Programowanie_SSTab")};
        for (int i = 1; i <= expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *focus = QApplication::focusWidget();
            QVERIFY(focus != nullptr);
            walked << (focus == tabs()->tabBar() ? QStringLiteral("Programowanie_SSTab")
                                                 : focus->objectName());
        }
        QCOMPARE(walked.takeLast(), QStringLiteral("Programowanie_SSTab")); // round again
        QCOMPARE(walked, expected);
    }

    void stateAtLoad()
    {
        QCOMPARE(tabs()->currentIndex(), withClock ? int(fMain::RamPage) : int(fMain::EepromPage));
        QCOMPARE(window->findChild<QLineEdit *>(QStringLiteral("Godzina_MEB")) != nullptr,
                 withClock);
        QCOMPARE(window->findChild<QPushButton *>(QStringLiteral("PrzeslijZegar_Command")) !=
                     nullptr,
                 withClock);

        int checked = 0;
        for (QCheckBox *box : window->findChildren<QCheckBox *>()) {
            QVERIFY2(box->isChecked(), qPrintable(box->objectName()));
            QVERIFY(box->text().isEmpty());
            ++checked;
        }
        QCOMPARE(checked, 15);
        for (const QString &name : deviceButtons())
            QVERIFY2(!element(name)->isEnabled(), qPrintable(name));
        QCOMPARE(window->findChildren<QPushButton *>().size(), deviceButtons().size() + 1);
        QVERIFY(element(QStringLiteral("About_Command"))->isEnabled());
        QVERIFY(!window->programmer().Odswiez_Timer().isActive());
        QCOMPARE(window->programmer().Odswiez_Timer().interval(), 28000);
        QCOMPARE(window->DlugiDzwiek_Caption(), LongBeepOn);
        for (int n = 1; n <= 8; ++n)
            QVERIFY(window->TekstRAM_Text(n).isEmpty());
        for (int n = 1; n <= 5; ++n)
            QVERIFY(window->TekstEEPROM_Text(n).isEmpty());
        QVERIFY(element<QProgressBar>(QStringLiteral("uploadProgress"))->isHidden());
        for (QWidget *w : window->findChildren<QWidget *>())
            QVERIFY2(w->toolTip().isEmpty(), qPrintable(w->objectName()));
    }

    void lists_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("position"); // what the device logic reads
        const QStringList scroll{"Na przemian", "Co znak", "Płynące"};
        QStringList oneToTen, zeroToEight;
        for (int i = 1; i <= 10; ++i)
            oneToTen << QString::number(i);
        for (int i = 0; i <= 8; ++i)
            zeroToEight << QString::number(i);
        QTest::newRow("PrzesuwRAM_Combo") << "PrzesuwRAM_Combo" << scroll << 0 << 0;
        QTest::newRow("PredkoscRAM_Combo") << "PredkoscRAM_Combo" << oneToTen << 9 << 1;
        QTest::newRow("JasnoscRAM_Combo") << "JasnoscRAM_Combo" << oneToTen << 9 << 2;
        QTest::newRow("IloscEkranowRAM_Combo") << "IloscEkranowRAM_Combo" << zeroToEight << 8 << 3;
        QTest::newRow("PrzesuwEEPROM_Combo") << "PrzesuwEEPROM_Combo" << scroll << 0 << 4;
        QTest::newRow("PredkoscEEPROM_Combo") << "PredkoscEEPROM_Combo" << oneToTen << 9 << 5;
        QTest::newRow("JasnoscEEPROM_Combo") << "JasnoscEEPROM_Combo" << oneToTen << 9 << 6;
    }

    void lists()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, items);
        QFETCH(int, selected);
        QFETCH(int, position);
        auto *combo = element<QComboBox>(name);
        QVERIFY(combo != nullptr);
        QStringList shown;
        for (int i = 0; i < combo->count(); ++i)
            shown << combo->itemText(i);
        QCOMPARE(shown, items);
        QCOMPARE(combo->currentIndex(), selected);

        // What the device logic reads follows the user's pick.
        const auto read = [&] {
            int (fMain::*const readers[])()
                const = {&fMain::PrzesuwRAM_Combo,    &fMain::PredkoscRAM_Combo,
                         &fMain::JasnoscRAM_Combo,    &fMain::IloscEkranowRAM_Combo,
                         &fMain::PrzesuwEEPROM_Combo, &fMain::PredkoscEEPROM_Combo,
                         &fMain::JasnoscEEPROM_Combo};
            return (window.get()->*readers[position])();
        };
        QCOMPARE(read(), selected);
        combo->setCurrentIndex(1);
        QCOMPARE(read(), 1);

        // No typing: the list has no edit field, and keys only pick items.
        QVERIFY(!combo->isEditable());
        QVERIFY(combo->lineEdit() == nullptr);
        tabs()->setCurrentIndex(name.contains(QLatin1String("EEPROM")) ? fMain::EepromPage
                                                                       : fMain::RamPage);
        QTest::keyClicks(combo, QStringLiteral("x7!"));
        QCOMPARE(combo->count(), items.size());
        QVERIFY(items.contains(combo->currentText()));
    }

    void screenTextBoxes()
    {
        for (QLineEdit *edit : window->findChildren<QLineEdit *>()) {
            const QString name = edit->objectName();
            if (name == QLatin1String("Godzina_MEB"))
                continue;
            QCOMPARE(edit->maxLength(), 10);
            const QFontInfo info(edit->font());
            QVERIFY2(info.family() == QLatin1String("Courier New") ||
                         info.family() == QLatin1String("Liberation Mono"),
                     qPrintable(info.family()));
            QCOMPARE(edit->font().pointSizeF(), 9.75);
            QCOMPARE(edit->font().weight(), QFont::Normal);
            QVERIFY(info.fixedPitch());
            // White set explicitly on the RAM rows and the first EEPROM row
            // only; the others keep the default background.
            const bool white = name.startsWith(QLatin1String("TekstRAM_Text")) ||
                               name == QLatin1String("TekstEEPROM_Text(1)");
            QCOMPARE(edit->palette().isBrushSet(QPalette::Active, QPalette::Base), white);
            if (white)
                QCOMPARE(edit->palette().color(QPalette::Base), QColor(Qt::white));
            QVERIFY2(!edit->accessibleName().isEmpty(), qPrintable(name));
        }
        QCOMPARE(element(QStringLiteral("TekstRAM_Text(3)"))->accessibleName(),
                 QStringLiteral("Tekst ekranu 3 (RAM)"));
        QCOMPARE(element(QStringLiteral("TekstRAM_Check(3)"))->accessibleName(),
                 QStringLiteral("Zaznacz ekran 3 (RAM)"));
        QCOMPARE(element(QStringLiteral("TekstEEPROM_Text(2)"))->accessibleName(),
                 QStringLiteral("Tekst ekranu 2 (EEPROM)"));
        // Every input has a name of its own, so a screen reader tells them apart.
        QStringList names;
        for (QWidget *w : window->findChildren<QWidget *>()) {
            if (qobject_cast<QLineEdit *>(w) || qobject_cast<QCheckBox *>(w) ||
                qobject_cast<QComboBox *>(w)) {
                if (w->parentWidget() != nullptr && qobject_cast<QComboBox *>(w->parentWidget()))
                    continue;
                QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
                QVERIFY2(!names.contains(w->accessibleName()), qPrintable(w->accessibleName()));
                names << w->accessibleName();
            }
        }
    }

    // Typing: up to ten characters, and only what the display can show.
    void typing_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("eleventh refused") << ""
                                          << "ABCDEFGHIJK"
                                          << "ABCDEFGHIJ";
        QTest::newRow("full box") << "0123456789"
                                  << "x"
                                  << "0123456789";
        QTest::newRow("Polish letters") << ""
                                        << "Zażółć gęś"
                                        << "Zażółć gęś";
        QTest::newRow("euro sign") << ""
                                   << "5€"
                                   << "5€";
        QTest::newRow("n tilde is not in the code page") << "ab"
                                                         << "ñ"
                                                         << "ab";
        QTest::newRow("CJK") << "ab"
                             << "漢字"
                             << "ab";
        QTest::newRow("emoji") << "ab"
                               << "😀"
                               << "ab";
        QTest::newRow("spaces kept") << ""
                                     << "  a  "
                                     << "  a  ";
    }

    void typing()
    {
        QFETCH(QString, start);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        tabs()->setCurrentIndex(fMain::RamPage);
        auto *edit = element<QLineEdit>(QStringLiteral("TekstRAM_Text(4)"));
        edit->setText(start);
        edit->setFocus();
        edit->end(false);
        type(edit, typed);
        QCOMPARE(edit->text(), expected);
        QCOMPARE(window->TekstRAM_Text(4), expected); // read as it stands
    }

    // Pasting: filtered first, then cut at ten, so a paste keeps what it can.
    void pasting_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("expected");
        QTest::newRow("twelve cut to ten") << ""
                                           << "ABCDEFGHIJKL"
                                           << "ABCDEFGHIJ";
        QTest::newRow("onto eight") << "12345678"
                                    << "ABC"
                                    << "12345678AB";
        QTest::newRow("into a full box") << "0123456789"
                                         << "A"
                                         << "0123456789";
        QTest::newRow("emoji left out") << ""
                                        << "ab😀cd"
                                        << "abcd";
        QTest::newRow("CJK left out") << "x"
                                      << "漢a字b"
                                      << "xab";
        QTest::newRow("only emoji") << "ok"
                                    << "😀😀"
                                    << "ok";
        QTest::newRow("filtered before the cut") << ""
                                                 << "😀😀😀😀😀abcdefghijkl"
                                                 << "abcdefghij";
        QTest::newRow("line breaks and tabs left out") << ""
                                                       << "a\nb\tc\r"
                                                       << "abc";
        QTest::newRow("combining ogonek composed") << ""
                                                   << "e\u0328"
                                                   << "ę";
        QTest::newRow("Polish kept") << ""
                                     << "Źdźbło"
                                     << "Źdźbło";
    }

    void pasting()
    {
        QFETCH(QString, start);
        QFETCH(QString, clipboard);
        QFETCH(QString, expected);
        tabs()->setCurrentIndex(fMain::EepromPage);
        auto *edit = element<QLineEdit>(QStringLiteral("TekstEEPROM_Text(2)"));
        edit->setText(start);
        edit->setFocus();
        edit->end(false);
        QGuiApplication::clipboard()->setText(clipboard);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), expected);
        QCOMPARE(window->TekstEEPROM_Text(2), expected);

        // The same through the box's menu.
        edit->setText(start);
        edit->end(false);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5),
                                    edit->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(edit, &menuEvent);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu != nullptr);
        auto *paste = menu->findChild<QAction *>(QStringLiteral("edit-paste"));
        QVERIFY(paste != nullptr);
        paste->trigger();
        menu->close();
        QCOMPARE(edit->text(), expected);
    }

    void pasteOverSelection()
    {
        auto *edit = element<QLineEdit>(QStringLiteral("TekstRAM_Text(1)"));
        tabs()->setCurrentIndex(fMain::RamPage);
        edit->setText(QStringLiteral("0123456789"));
        edit->setFocus();
        edit->setSelection(2, 3);
        QGuiApplication::clipboard()->setText(QStringLiteral("漢ab😀cdef"));
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), QStringLiteral("01abc56789"));
    }

    void clockField()
    {
        if (!withClock) {
            QVERIFY(window->findChild<QWidget *>(QStringLiteral("Godzina_MEB")) == nullptr);
            QVERIFY(window->Godzina_MEB().isEmpty());
            return;
        }
        auto *clock = element<QLineEdit>(QStringLiteral("Godzina_MEB"));
        QVERIFY(clock->isEnabled());
        QCOMPARE(clock->font().pointSizeF(), 12.0);
        QCOMPARE(clock->font().weight(), QFont::Bold);
        QVERIFY(QFontInfo(clock->font()).fixedPitch());

        // Set at load to the local time, hours and minutes.
        const QTime before = QTime::currentTime();
        window.reset();
        load();
        const QTime after = QTime::currentTime();
        clock = element<QLineEdit>(QStringLiteral("Godzina_MEB"));
        const QString shown = window->Godzina_MEB();
        QVERIFY2(shown == before.toString(QStringLiteral("HH:mm")) ||
                     shown == after.toString(QStringLiteral("HH:mm")),
                 qPrintable(shown));

        // Typing over it: digits only, the colon stays, five characters.
        clock->setFocus();
        clock->clear();
        QCOMPARE(window->Godzina_MEB(), QStringLiteral("  :  "));
        clock->home(false);
        QTest::keyClicks(clock, QStringLiteral("1a4"));
        QCOMPARE(window->Godzina_MEB(), QStringLiteral("14:  "));
        QTest::keyClicks(clock, QStringLiteral("x5"));
        QCOMPARE(window->Godzina_MEB(), QStringLiteral("14:5 "));
        QTest::keyClicks(clock, QStringLiteral("99"));
        QCOMPARE(window->Godzina_MEB(), QStringLiteral("14:59"));
        // Digits of other scripts are digits to Qt's mask, but not to the display.
        clock->clear();
        clock->home(false);
        type(clock, QStringLiteral("٣²"));
        QCOMPARE(window->Godzina_MEB(), QStringLiteral("  :  "));
    }

    void switchingTabsKeepsValues()
    {
        auto *ramText = element<QLineEdit>(QStringLiteral("TekstRAM_Text(8)"));
        auto *eepromText = element<QLineEdit>(QStringLiteral("TekstEEPROM_Text(5)"));
        auto *ramCheck = element<QCheckBox>(QStringLiteral("TekstRAM_Check(2)"));
        auto *eepromParameters = element<QCheckBox>(QStringLiteral("ParametryEEPROM_Check"));
        auto *screens = element<QComboBox>(QStringLiteral("IloscEkranowRAM_Combo"));
        auto *eepromScroll = element<QComboBox>(QStringLiteral("PrzesuwEEPROM_Combo"));
        tabs()->setCurrentIndex(fMain::RamPage);
        type(ramText, QStringLiteral("Ósmy"));
        QTest::mouseClick(ramCheck, Qt::LeftButton);
        screens->setCurrentIndex(3);
        tabs()->setCurrentIndex(fMain::EepromPage);
        type(eepromText, QStringLiteral("Piąty"));
        QTest::mouseClick(eepromParameters, Qt::LeftButton);
        eepromScroll->setCurrentIndex(2);
        for (int round = 0; round < 3; ++round) {
            QTest::mouseClick(tabs()->tabBar(), Qt::LeftButton, {},
                              tabs()->tabBar()->tabRect(round % 2 ? 0 : 1).center());
            QCOMPARE(tabs()->currentIndex(), round % 2 ? 0 : 1);
            QCOMPARE(window->TekstRAM_Text(8), QStringLiteral("Ósmy"));
            QCOMPARE(window->TekstEEPROM_Text(5), QStringLiteral("Piąty"));
            QVERIFY(!window->TekstRAM_Check(2));
            QVERIFY(window->TekstRAM_Check(1));
            QVERIFY(!window->ParametryEEPROM_Check());
            QVERIFY(window->ParametryRAM_Check());
            QCOMPARE(window->IloscEkranowRAM_Combo(), 3);
            QCOMPARE(window->PrzesuwEEPROM_Combo(), 2);
            QCOMPARE(window->PrzesuwRAM_Combo(), 0);
        }
    }

    void checkBoxesAreRead()
    {
        tabs()->setCurrentIndex(fMain::EepromPage);
        auto *box = element<QCheckBox>(QStringLiteral("TekstEEPROM_Check(3)"));
        auto *text = element<QLineEdit>(QStringLiteral("TekstEEPROM_Text(3)"));
        QTest::keyClicks(text, QStringLiteral("trzeci"));
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(!window->TekstEEPROM_Check(3));
        QVERIFY(window->TekstEEPROM_Check(2));
        QCOMPARE(window->TekstEEPROM_Text(3), QStringLiteral("trzeci")); // unchecking keeps it
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(window->TekstEEPROM_Check(3));
    }

    // A check box on a frame's edge stands over the caption's leading spaces.
    void parameterBoxesOverCaption()
    {
        for (const char *frameName : {"Frame2", "Parametry_Frame"}) {
            auto *frame = element<QGroupBox>(QString::fromLatin1(frameName));
            QCheckBox *box = nullptr;
            for (QCheckBox *child : frame->findChildren<QCheckBox *>())
                box = child;
            QVERIFY(box != nullptr);
            QStyleOptionGroupBox option;
            option.initFrom(frame);
            option.text = frame->title();
            option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            option.textAlignment = frame->alignment();
            const QRect label = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                               QStyle::SC_GroupBoxLabel, frame);
            const int spaces = QFontMetrics(frame->font()).horizontalAdvance(QString(10, u' '));
            const int words = label.left() + spaces;
            // The box starts inside the blank run and covers most of it; the
            // words start no further than a few pixels after it.
            QVERIFY2(box->geometry().left() >= label.left() - 2, frameName);
            QVERIFY2(box->geometry().left() < words, frameName);
            QVERIFY2(box->geometry().right() - words < 6 && words - box->geometry().right() < 12,
                     frameName);
            // Drawn over the caption, not under it.
            QCOMPARE(frame->children().constLast(), box);
        }
    }

    // While an upload runs a slim strip under the tab control shows how far
    // it is; at rest the window looks as laid out.
    void uploadProgressStrip()
    {
        auto *strip = element<QProgressBar>(QStringLiteral("uploadProgress"));
        const QRect tabControl = tabs()->geometry();
        QVERIFY(strip->geometry().top() >= tabControl.bottom() + 1);
        QVERIFY(strip->geometry().bottom() < window->height());
        QVERIFY(strip->isHidden());
        DeviceProgrammer &p = window->programmer();
        emit p.uploadStarted(4);
        QVERIFY(strip->isVisible());
        QCOMPARE(window->cursor().shape(), Qt::BusyCursor);
        emit p.uploadProgress(1, 4);
        QCOMPARE(strip->value(), 1);
        QCOMPARE(strip->maximum(), 4);
        // One started inside the other's wait keeps the strip until both end.
        emit p.uploadStarted(2);
        emit p.uploadFinished();
        QVERIFY(strip->isVisible());
        QCOMPARE(window->cursor().shape(), Qt::BusyCursor);
        emit p.uploadProgress(3, 3);
        QCOMPARE(strip->value(), 3);
        emit p.uploadFinished();
        QVERIFY(strip->isHidden());
        QCOMPARE(window->cursor().shape(), Qt::ArrowCursor);
        emit p.uploadFinished(); // an extra end changes nothing
        QVERIFY(strip->isHidden());
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
