#include "ui/message_boxes.h"

#include "resources/message_text.h"

#include <QMessageBox>

namespace {

void showMessage(int number, QMessageBox::Icon icon, const QString &title)
{
    QMessageBox box(icon, title, messageText(number), QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace

void PokazInformacje(int NumerKomunikatu)
{
    showMessage(NumerKomunikatu, QMessageBox::Information, QStringLiteral("Informacja"));
}

void PokazOstrzezenie(int NumerKomunikatu)
{
    // The stop icon, not the exclamation mark: these are failures.
    showMessage(NumerKomunikatu, QMessageBox::Critical, QStringLiteral("Ostrzeżenie"));
}
