#include "ui/message_boxes.h"

#include "resources/message_text.h"

#include <QMessageBox>

namespace {

void showMessage(const QString &text, QMessageBox::Icon icon, const QString &title,
                 const QString &detail = QString())
{
    QMessageBox box(icon, title, text, QMessageBox::Ok);
    // Line by line as written: the box would otherwise wrap the detail to the
    // width of the short message above it, a device path included.
    if (!detail.isEmpty())
        box.setInformativeText(
            QStringLiteral("<p style=\"white-space:pre\">%1</p>").arg(detail.toHtmlEscaped()));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace

void PokazInformacje(int NumerKomunikatu)
{
    showMessage(messageText(NumerKomunikatu), QMessageBox::Information,
                QStringLiteral("Informacja"));
}

void PokazOstrzezenie(int NumerKomunikatu, const QString &detail)
{
    // The stop icon, not the exclamation mark: these are failures.
    showMessage(messageText(NumerKomunikatu), QMessageBox::Critical, QStringLiteral("Ostrzeżenie"),
                detail);
}

void showFileProblem(const QString &text, const QString &detail)
{
    showMessage(text, QMessageBox::Critical, QStringLiteral("Ostrzeżenie"), detail);
}

bool askToCloseDuringUpload(QWidget *window)
{
    const QMessageBox::StandardButton answer = QMessageBox::question(
        window, QStringLiteral("Pytanie"),
        QStringLiteral("Trwa przesyłanie do wyświetlacza. Zamknięcie programu przerwie je, "
                       "a wyświetlacz zostanie zaprogramowany tylko częściowo.\n\n"
                       "Czy zamknąć program?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}
