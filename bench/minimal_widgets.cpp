// The yardstick bench/run holds screenprog's start-up and memory against: the
// least Qt Widgets program that starts the same way, a dialog with a list and
// a button, and after Enter a second window.

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Minimal dialog"));
    auto *list = new QComboBox(&dialog);
    list->addItem(QStringLiteral("COM1"));
    auto *ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setDefault(true);
    auto *layout = new QHBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addWidget(ok);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    if (dialog.exec() != QDialog::Accepted)
        return 0;

    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal main window"));
    window.resize(393, 345);
    window.show();
    return QApplication::exec();
}
