// Screen-set files in the main window, read and written by what screenprog-cli
// reads them with: a file opened and saved again is the same set, and the set
// saved gives screenprog-cli the frames of the window's own upload; a file the
// reader refuses changes nothing; the commands, their menu, a failed save.

#include "protocol/builders.h"
#include "protocol/screen_set.h"
#include "ui/main_window.h"
#include "ui/program.h"

#include <QTest>
#include <QtWidgets>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

using namespace protocol;

namespace {

// What an upload of the memory sends before its closing refresh: the
// window's, from what it shows, or screenprog-cli's, from a set.
QList<QByteArray> uploadFrames(const ProgrammingInputs &window, Memory memory)
{
    QList<QByteArray> frames;
    if (window.parametersChecked(memory))
        frames << parameterFrame(memory, window.parameters(memory));
    for (int n = 1; n <= screenCount(memory); ++n) {
        if (window.screenChecked(memory, n))
            frames << textFrame(memory, n, window.screenText(memory, n));
    }
    return frames;
}
QList<QByteArray> uploadFrames(const ScreenSet &set)
{
    QList<QByteArray> frames;
    if (set.parametersGiven)
        frames << parameterFrame(set.memory, set.parameters);
    for (int n = 1; n <= set.screens(); ++n) {
        if (set.texts[n])
            frames << textFrame(set.memory, n, *set.texts[n]);
    }
    return frames;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

void write(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
}

const Memory Memories[] = {Memory::Eeprom, Memory::Ram};

} // namespace

class Files : public QObject
{
    Q_OBJECT

    QStringList boxes; // "title: text\ndetail" of every message box, each closed with its OK
    QTimer boxCloser;
    QTemporaryDir dir;
    std::unique_ptr<fMain> window;

    template <typename T = QWidget> T *element(const QString &name) const
    {
        return window->findChild<T *>(name);
    }
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }

    // Every field of both pages but the clock, which follows the time.
    QStringList fields() const
    {
        QStringList values;
        const auto *tabs = element("Programowanie_SSTab");
        for (const QLineEdit *edit : tabs->findChildren<QLineEdit *>())
            if (edit->objectName() != "Godzina_MEB")
                values << edit->objectName() + "=" + edit->text();
        for (const QCheckBox *box : tabs->findChildren<QCheckBox *>())
            values << box->objectName() + "=" + QString::number(box->isChecked());
        for (const QComboBox *list : tabs->findChildren<QComboBox *>())
            values << list->objectName() + "=" + QString::number(list->currentIndex());
        return values;
    }

    // Fields unlike those of any file below: EEPROM row 1 "stays", its other
    // rows unticked with a text, its parameters unticked and a list moved;
    // RAM rows ticked with a text, a list moved.
    void prepareFields()
    {
        for (int n = 1; n <= EepromScreens; ++n) {
            element<QLineEdit>(QStringLiteral("TekstEEPROM_Text(%1)").arg(n))
                ->setText(n == 1 ? "stays" : "x");
            element<QCheckBox>(QStringLiteral("TekstEEPROM_Check(%1)").arg(n))->setChecked(n == 1);
        }
        element<QCheckBox>("ParametryEEPROM_Check")->setChecked(false);
        element<QComboBox>("JasnoscEEPROM_Combo")->setCurrentIndex(1);
        for (int n = 1; n <= RamScreens; ++n)
            element<QLineEdit>(QStringLiteral("TekstRAM_Text(%1)").arg(n))->setText("old");
        element<QComboBox>("PredkoscRAM_Combo")->setCurrentIndex(4);
    }

    // A file dragged from a file manager and dropped on the widget.
    void drop(const QString &file, QWidget *on)
    {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        data.setText(file);
        QDragEnterEvent enter({2, 2}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(on, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent dropped({2, 2}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(on, &dropped);
    }

    // The commands of the context menu over the widget, with their shortcuts.
    void menuOver(QWidget *widget, QStringList &items)
    {
        items.clear();
        QTimer::singleShot(0, this, [&items] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            for (QAction *action : menu->actions())
                if (!action->isSeparator())
                    items << action->text() + "\t" + action->shortcut().toString();
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, {5, 5}, widget->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(widget, &event);
        QTRY_VERIFY(!items.isEmpty());
        window->activateWindow(); // as the window manager does when a menu closes
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    // Keys pressed in a text box, and the file chosen in the dialog they open.
    void chooseFile(QKeyCombination keys, const QString &file)
    {
        QTest::keyClick(element("TekstRAM_Text(1)"), keys.key(), keys.keyboardModifiers());
        QFileDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())));
        dialog->selectFile(file);
        static_cast<QDialog *>(dialog)->accept(); // as its Save or Open button does
    }

private slots:
    void initTestCase()
    {
        program::setUp(*qApp);
        QVERIFY(dir.isValid());
        connect(&boxCloser, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible())
                return;
            boxes << box->windowTitle() + ": " + box->text() + "\n" +
                         QTextDocumentFragment::fromHtml(box->informativeText()).toPlainText();
            box->button(QMessageBox::Ok)->click();
        });
        boxCloser.start(10);
    }

    void init()
    {
        window = std::make_unique<fMain>();
        window->Form_Load(QString());
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        boxes.clear();
    }
    void cleanup() { window.reset(); }

    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("saved"); // lines in a row of what Ctrl+S writes
        QFile example(EXAMPLE_FILE);
        QVERIFY(example.open(QIODevice::ReadOnly));
        QTest::newRow("the example")
            << example.readAll()
            << "[EEPROM]\nRodzaj przesuwu = Płynące\nPrękość przesuwu = 5\nJasność = 8\n"
               "1 = Witamy!\n2 = Zapraszamy\n3 = \"  Kasa 3  \"\n4 = Zażółć\n5 = gęślą jaźń\n\n"
               "[RAM]\nRodzaj przesuwu = Co znak\nPrękość przesuwu = 10\nJasność = 10\n"
               "Ilość ekranów = 3\n1 = Odj. 7:15\n2 = Peron 2\n3 = Opóźnienie\n";
        QTest::newRow("quoted blanks, quotes, comment marks")
            << QByteArray("[EEPROM]\n1 = \" a\"\n2 = \"\"q\"\n3 = \"#x \" \n4=\";y\"\n5 = a  b\n")
            << "[EEPROM]\n1 = \" a\"\n2 = \"\"q\"\n3 = \"#x \"\n4 = \";y\"\n5 = a  b\n\n[RAM]\n";
        QTest::newRow("Polish letters, an accent composed")
            << QByteArray("[RAM]\nJasność = 3\n1 = Zażółć\n2 = e\xcc\xa8 ŁÓDŹ €\n")
            << "[RAM]\nRodzaj przesuwu = Na przemian\nPrękość przesuwu = 10\nJasność = 3\n"
               "Ilość ekranów = 8\n1 = Zażółć\n2 = ę ŁÓDŹ €\n";
        QTest::newRow("an empty section, an empty text")
            << QByteArray("[EEPROM]\n[RAM]\n7 =\n8 = x\n") << "[EEPROM]\n\n[RAM]\n7 = \"\"\n8 = x\n";
        QTest::newRow("only [RAM]: the EEPROM page stays")
            << QByteArray("[RAM]\nIlość ekranów = 0\n")
            << "[EEPROM]\n1 = stays\n\n[RAM]\nRodzaj przesuwu = Na przemian\n"
               "Prękość przesuwu = 10\nJasność = 10\nIlość ekranów = 0\n";
    }

    // Opened, then saved again with Ctrl+S: each section's set on its page,
    // a page without one as it was; the file read back holds the same sets,
    // and the frames screenprog-cli sends for them are the window's own.
    void roundTrip()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, saved);
        prepareFields();
        QList<QByteArray> before[2];
        for (Memory memory : Memories)
            before[int(memory)] = uploadFrames(*window, memory);
        const QString name = path("set.ekrany");
        write(name, file);
        ScreenSetFile original, again;
        QCOMPARE(readScreenSetFile(name, original), QString());
        QVERIFY(window->files().open(name));
        for (Memory memory : Memories) {
            const std::optional<ScreenSet> &set = original.section(memory);
            QCOMPARE(uploadFrames(*window, memory), set ? uploadFrames(*set) : before[int(memory)]);
        }

        QTest::keyClick(element("TekstRAM_Text(1)"), Qt::Key_S, Qt::ControlModifier);
        QVERIFY2(contents(name).contains(saved.toUtf8()), contents(name).constData());
        QCOMPARE(readScreenSetFile(name, again), QString());
        for (Memory memory : Memories) {
            if (original.section(memory))
                QVERIFY(again.section(memory) == original.section(memory));
            QCOMPARE(uploadFrames(again.section(memory).value()), uploadFrames(*window, memory));
        }
        QCOMPARE(boxes, QStringList());
    }

    void badFiles_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: there is none
        QTest::addColumn<QString>("problem"); // the reader's, after the file's name
        QTest::newRow("unknown key")
            << QByteArray("[RAM]\n1 = a\nKolor = 3\n")
            << ":3: nieznany klucz „Kolor”; dozwolone: numer ekranu (od 1 do 8), Rodzaj przesuwu, "
               "Prękość przesuwu, Jasność, Ilość ekranów";
        QTest::newRow("eleven characters, after a good section")
            << QByteArray("[EEPROM]\n1 = ok\n[RAM]\n2 = Zażółć_gęśl\n")
            << ":4: ekran 2 (RAM): za długi tekst „Zażółć_gęśl” (liczba znaków: 11, najwyżej 10)";
        QTest::newRow("outside Windows-1250")
            << QByteArray("[RAM]\nJasność = 2\n1 = a→b\n")
            << ":3: ekran 1 (RAM): znaku „→” (U+2192) nie da się wysłać; wyświetlacz zna tylko "
               "znaki kodowania Windows-1250";
        QTest::newRow("cannot be read") << QByteArray() << ": nie można odczytać pliku: ";
    }

    // Dropped on a text box, which leaves files to the window: the reader's
    // message, and not a field changed.
    void badFiles()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, problem);
        prepareFields();
        const QStringList before = fields();
        const QString name = path("bad.ekrany");
        QFile::remove(name);
        if (!file.isEmpty())
            write(name, file);
        drop(name, element("TekstRAM_Text(1)"));
        QTRY_COMPARE(boxes.size(), 1);
        const QString shown = "Ostrzeżenie: Nie można otworzyć zestawu ekranów; okno pozostało "
                              "bez zmian.\n" + name + problem;
        QVERIFY2(boxes[0].startsWith(shown), qPrintable(boxes[0]));
        QCOMPARE(fields(), before);
        QCOMPARE(window->files().file(), QString());
    }

    // The command line's file opens before the window shows, after the
    // start-up choices of the lists.
    void fileOfTheCommandLine()
    {
        write(path("start.ekrany"), "[EEPROM]\nJasność = 4\n2 = Start\n");
        window = std::make_unique<fMain>();
        window->setFileToOpen(path("start.ekrany"));
        window->Form_Load(QString());
        QVERIFY(window->isVisible());
        QCOMPARE(uploadFrames(*window, Memory::Eeprom),
                 (QList<QByteArray>{RamkaParametrowEEPROM(0, 9, 3), RamkaTekstuEEPROM(2, u"Start")}));
    }

    // The context menu offers the commands with their shortcuts, and the text
    // boxes keep their own; Ctrl+Shift+S and Ctrl+O ask through the file
    // dialogs; then Ctrl+S saves where the file came from, and a save that
    // fails leaves that file as it was.
    void commands()
    {
        QStringList items;
        menuOver(element("Frame1"), items);
        QCOMPARE(items, (QStringList{"Otwórz zestaw ekranów…\tCtrl+O",
                                     "Zapisz zestaw ekranów\tCtrl+S",
                                     "Zapisz zestaw ekranów jako…\tCtrl+Shift+S"}));
        menuOver(element("TekstRAM_Text(1)"), items);
        QVERIFY(!items.join("").contains("zestaw"));

        chooseFile(Qt::CTRL | Qt::SHIFT | Qt::Key_S, path("trasa")); // the suffix added
        QTRY_COMPARE(window->files().file(), path("trasa.ekrany"));
        QCOMPARE(contents(path("trasa.ekrany")), screenSetFileContents(
            {window->screenSet(Memory::Eeprom), window->screenSet(Memory::Ram)}));

        const QByteArray other = "[RAM]\n1 = Inny\n";
        write(path("other.ekrany"), other);
        chooseFile(Qt::CTRL | Qt::Key_O, path("other.ekrany"));
        QTRY_COMPARE(window->screenText(Memory::Ram, 1), "Inny");
        menuOver(element("Frame1"), items);
        QCOMPARE(items[1], "Zapisz do „other.ekrany”\tCtrl+S");

        // A folder the user may not write to: the file in it may be written
        // over, but not replaced whole.
        QCOMPARE(::chmod(QFile::encodeName(path("other.ekrany")), 0666), 0);
        QCOMPARE(::chmod(QFile::encodeName(dir.path()), 0555), 0);
        const bool root = ::geteuid() == 0; // becomes nobody for the save
        QVERIFY(!root || ::setresuid(65534, 65534, 0) == 0);
        QTest::keyClick(element("TekstRAM_Text(1)"), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(!root || ::setresuid(0, 0, 0) == 0);
        QCOMPARE(::chmod(QFile::encodeName(dir.path()), 0700), 0);
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].startsWith("Ostrzeżenie: Nie można zapisać zestawu ekranów.\n" +
                                     path("other.ekrany") + ": nie można zapisać pliku: ") &&
                     boxes[0].endsWith("; plik pozostał bez zmian"),
                 qPrintable(boxes[0]));
        QCOMPARE(contents(path("other.ekrany")), other);
    }
};

QTEST_MAIN(Files)
#include "tst_screen_set_files.moc"
