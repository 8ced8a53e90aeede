// The numbered message table and the two message boxes that show it.

#include "ports/messages.h"
#include "resources/message_text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace {

// What a message box showed before the test pressed its OK button.
struct SeenBox
{
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    int buttonCount = 0;
    Qt::WindowModality modality = Qt::NonModal;
};

// Watches for the next modal message box, notes what it shows and presses OK.
void answerNextBox(SeenBox &seen)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, &seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        seen.seen = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        seen.buttonCount = int(box->buttons().size());
        seen.modality = box->windowModality();
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            QTest::mouseClick(ok, Qt::LeftButton);
        else
            box->reject();
    });
    timer->start(10);
}

} // namespace

class Messages : public QObject
{
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("text");
        QTest::newRow("100") << 100 << QStringLiteral("Programowanie EEPROMu zakończone.");
        QTest::newRow("101") << 101 << QStringLiteral("Programowanie bieżące zakończone.");
        QTest::newRow("200") << 200 << QStringLiteral("Błąd w komunikacji z wyświetlaczem !!!");
        QTest::newRow("201") << 201
                             << QStringLiteral("Port zajęty przez inne urządzenie !!! Wybierz inny "
                                               "port do komunikacji.");
        QTest::newRow("202") << 202
                             << QStringLiteral("W systemie brak jest portów szeregowych !!!");
        QTest::newRow("203") << 203 << QStringLiteral("Wybrany port nie jest dostępny !!!");
        for (int missing : {0, -1, 1, 99, 102, 199, 204, 300, 1045})
            QTest::addRow("no message %d", missing) << missing << QString();
    }

    void texts()
    {
        QFETCH(int, number);
        QFETCH(QString, text);
        QCOMPARE(messageText(number), text);
        QCOMPARE(messageText(number).isNull(), text.isNull());
    }

    void numbers() { QCOMPARE(messageNumbers(), (QList<int>{100, 101, 200, 201, 202, 203})); }

    // The Polish letters arrive as the letters themselves, whatever the
    // encoding of this file.
    void polishLetters()
    {
        QCOMPARE(messageText(100).at(26), QChar(0x0144)); // ń
        QCOMPARE(messageText(101).at(17), QChar(0x017C)); // ż
        QCOMPARE(messageText(101).at(18), QChar(0x0105)); // ą
        QCOMPARE(messageText(200).at(1), QChar(0x0142));  // ł
        QCOMPARE(messageText(200).at(23), QChar(0x015B)); // ś
        QCOMPARE(messageText(201).at(8), QChar(0x0119));  // ę
        QCOMPARE(messageText(202).at(25), QChar(0x00F3)); // ó
        const QList<int> lengths{33, 33, 38, 71, 43, 34};
        for (int i = 0; i < lengths.size(); ++i)
            QCOMPARE(messageText(messageNumbers().at(i)).length(), lengths.at(i));
    }

    void boxes_data()
    {
        QTest::addColumn<bool>("warning");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("icon");
        const QString information = QStringLiteral("Informacja");
        const QString warning = QStringLiteral("Ostrzeżenie");
        QTest::newRow("information 100")
            << false << 100 << information << int(QMessageBox::Information);
        QTest::newRow("information 101")
            << false << 101 << information << int(QMessageBox::Information);
        for (int number : {200, 201, 202, 203})
            QTest::addRow("warning %d", number)
                << true << number << warning << int(QMessageBox::Critical);
    }

    void boxes()
    {
        QFETCH(bool, warning);
        QFETCH(int, number);
        QFETCH(QString, title);
        QFETCH(int, icon);

        SeenBox seen;
        answerNextBox(seen);
        if (warning)
            PokazOstrzezenie(number);
        else
            PokazInformacje(number);

        // The procedure returned only after the box had been answered.
        QVERIFY(seen.seen);
        QCOMPARE(seen.title, title);
        QCOMPARE(seen.text, messageText(number));
        QVERIFY(!seen.text.isEmpty());
        QCOMPARE(int(seen.icon), icon);
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(seen.buttonCount, 1);
        QCOMPARE(seen.modality, Qt::ApplicationModal);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }
};

QTEST_MAIN(Messages)
#include "tst_messages.moc"
