// The numbered messages and the two message boxes that show them.

#include "resources/message_text.h"
#include "ui/message_boxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

class Messages : public QObject
{
    Q_OBJECT

private slots:
    void boxes_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<bool>("warning");
        QTest::addColumn<QString>("text");
        QTest::newRow("100") << 100 << false << "Programowanie EEPROMu zakończone.";
        QTest::newRow("101") << 101 << false << "Programowanie bieżące zakończone.";
        QTest::newRow("200") << 200 << true << "Błąd w komunikacji z wyświetlaczem !!!";
        QTest::newRow("201")
            << 201 << true
            << "Port zajęty przez inne urządzenie !!! Wybierz inny port do komunikacji.";
        QTest::newRow("202") << 202 << true << "W systemie brak jest portów szeregowych !!!";
        QTest::newRow("203") << 203 << true << "Wybrany port nie jest dostępny !!!";
    }

    // Each box shows its text under its title with its icon and a single OK
    // button, application-modal; the call returns once the user has closed it.
    void boxes()
    {
        QFETCH(int, number);
        QFETCH(bool, warning);
        QFETCH(QString, text);

        QStringList seen;
        QTimer answerer;
        connect(&answerer, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible())
                return;
            answerer.stop();
            seen << box->windowTitle() << box->text() << QString::number(box->icon())
                 << QString::number(box->standardButtons())
                 << QString::number(box->buttons().size())
                 << QString::number(box->windowModality());
            if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                QTest::mouseClick(ok, Qt::LeftButton);
            else
                box->reject();
        });
        answerer.start(10);
        if (warning)
            PokazOstrzezenie(number);
        else
            PokazInformacje(number);

        const QStringList expected{
            warning ? "Ostrzeżenie" : "Informacja",
            text,
            QString::number(warning ? QMessageBox::Critical : QMessageBox::Information),
            QString::number(QMessageBox::Ok),
            "1",
            QString::number(Qt::ApplicationModal)};
        QCOMPARE(seen, expected);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

    void onlyTheseNumbers()
    {
        QCOMPARE(messageNumbers(), (QList<int>{100, 101, 200, 201, 202, 203}));
        for (int missing : {0, -1, 99, 102, 199, 204})
            QVERIFY2(messageText(missing).isNull(), qPrintable(QString::number(missing)));
    }
};

QTEST_MAIN(Messages)
#include "tst_messages.moc"
