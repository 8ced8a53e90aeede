// Draws the windows into PNG files: both pages of the main window, and in the
// full program also an upload under way, the window's context menu, the
// message for a screen-set file it refuses, the About window and the port
// dialog. Usage:
//   ui_screenshots OUTPUT_DIR
// The port dialog lists two made-up devices, so no real port is touched.

#include "ports/port_list.h"
#include "ui/about_window.h"
#include "ui/main_window.h"
#include "ui/program.h"
#include "ui/select_serial_device.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

namespace {

QString outputDir;

void settle()
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

bool save(QWidget *window, const QString &name)
{
    settle();
    const QString path = QDir(outputDir).filePath(name + QStringLiteral(".png"));
    if (!window->grab().save(path)) {
        qCritical("cannot write %s", qPrintable(path));
        return false;
    }
    qInfo("%s", qPrintable(path));
    return true;
}

QList<PortEntry> madeUpPorts()
{
    return portsOfDevices({{QStringLiteral("/dev/ttyS0"), QString()},
                           {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART")}});
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    program::setUp(app);
    if (argc != 2) {
        qCritical("usage: %s OUTPUT_DIR", argv[0]);
        return 2;
    }
    outputDir = QString::fromLocal8Bit(argv[1]);
    bool ok = true;

    fMain window;
    window.Form_Load(QString()); // no port
    const char *samples[] = {"Witamy", "VELTA-ORSO", "Zażółć"};
    for (int n = 1; n <= 3; ++n) {
        window.findChild<QLineEdit *>(QStringLiteral("TekstRAM_Text(%1)").arg(n))
            ->setText(QString::fromUtf8(samples[n - 1]));
        window.findChild<QLineEdit *>(QStringLiteral("TekstEEPROM_Text(%1)").arg(n))
            ->setText(QString::fromUtf8(samples[3 - n]));
    }
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("Programowanie_SSTab"));
    const QString suffix = program::withClock() ? QString() : QStringLiteral("-noclock");
    tabs->setCurrentIndex(fMain::RamPage);
    ok = save(&window, QStringLiteral("main-window-ram") + suffix) && ok;
    tabs->setCurrentIndex(fMain::EepromPage);
    ok = save(&window, QStringLiteral("main-window-eeprom") + suffix) && ok;
    if (program::withClock()) {
        // A RAM upload of nine frames, three of them acknowledged.
        tabs->setCurrentIndex(fMain::RamPage);
        DeviceProgrammer &programmer = window.programmer();
        emit programmer.uploadStarted(9, Memory::Ram);
        emit programmer.uploadProgress(3, 9);
        ok = save(&window, QStringLiteral("main-window-upload")) && ok;
        emit programmer.uploadFinished();

        // The context menu over the parameters, with the window under it: the
        // screen's pixels, as the menu is a window of its own.
        QTimer::singleShot(0, &window, [&] {
            settle();
            QWidget *menu = QApplication::activePopupWidget();
            const QRect area = window.frameGeometry().united(menu->frameGeometry());
            const QString path = QDir(outputDir).filePath(QStringLiteral("main-window-menu.png"));
            ok = window.screen()
                     ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                     .save(path) &&
                 ok;
            qInfo("%s", qPrintable(path));
            menu->close();
        });
        QWidget *frame = window.findChild<QWidget *>(QStringLiteral("Frame2"));
        QContextMenuEvent click(QContextMenuEvent::Mouse, {150, 60},
                                frame->mapToGlobal(QPoint(150, 60)));
        QApplication::sendEvent(frame, &click);

        // A file with a text too long for a screen.
        const QString bad = QDir::temp().filePath(QStringLiteral("trasa-12.ekrany"));
        QFile file(bad);
        ok = file.open(QIODevice::WriteOnly) &&
             file.write("[EEPROM]\n1 = Witamy!\n\n[RAM]\n1 = Odj. 7:15\n2 = Zażółć gęślą\n") > 0 &&
             ok;
        file.close();
        QTimer::singleShot(0, &window, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ok = save(box, QStringLiteral("message-bad-file")) && ok;
            box->accept();
        });
        window.files().open(bad);
        QFile::remove(bad);
    }
    window.hide();
    if (!program::withClock())
        return ok ? 0 : 1;

    frmAbout about;
    about.show();
    ok = save(&about, QStringLiteral("about-window")) && ok;
    about.hide();

    fSelectSerialDevice dialog(&madeUpPorts, [](const QString &) {});
    QTimer::singleShot(0, &dialog, [&] {
        ok = save(&dialog, QStringLiteral("port-dialog")) && ok;
        dialog.reject();
    });
    dialog.Form_Load();
    return ok ? 0 : 1;
}
