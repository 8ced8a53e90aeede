// screenprog and screenprog-noclock: the port dialog first, then the main
// window; the program ends when the user closes either.

#include "ports/port_list.h"
#include "ui/main_window.h"
#include "ui/program.h"
#include "ui/select_serial_device.h"

#include <QApplication>

#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    program::setUp(app);

    std::unique_ptr<fMain> mainWindow;
    fSelectSerialDevice portDialog(&listSerialPorts, [&mainWindow](const QString &device) {
        mainWindow = std::make_unique<fMain>();
        mainWindow->Form_Load(device);
    });
    if (!portDialog.Form_Load())
        return 0;
    return QApplication::exec();
}
