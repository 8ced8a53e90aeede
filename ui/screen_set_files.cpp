#include "ui/screen_set_files.h"

#include "ui/message_boxes.h"

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QWidget>

using namespace protocol;

namespace {

QAction *command(QWidget *window, const char *name, const QString &text, QKeySequence keys)
{
    auto *action = new QAction(text, window);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    window->addAction(action);
    return action;
}

// The one local file that a drag carries, or empty.
QString droppedFile(const QMimeData *data)
{
    const QList<QUrl> urls = data->urls();
    return urls.size() == 1 && urls[0].isLocalFile() ? urls[0].toLocalFile() : QString();
}

} // namespace

ScreenSetFiles::ScreenSetFiles(QWidget *window, ScreenSetPages &pages)
    : QObject(window), m_window(window), m_pages(pages)
{
    // Shortcuts of the whole window, shown beside the commands in its menu.
    QAction *openAction = command(window, "open", QStringLiteral("Otwórz zestaw ekranów…"),
                                  QKeySequence(Qt::CTRL | Qt::Key_O));
    m_save = command(window, "save", QString(), QKeySequence(Qt::CTRL | Qt::Key_S));
    QAction *saveAsAction = command(window, "saveAs", QStringLiteral("Zapisz zestaw ekranów jako…"),
                                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    setFile(QString());
    connect(openAction, &QAction::triggered, this, &ScreenSetFiles::openCommand);
    connect(m_save, &QAction::triggered, this, &ScreenSetFiles::saveCommand);
    connect(saveAsAction, &QAction::triggered, this, &ScreenSetFiles::saveAsCommand);
    // The text boxes and the clock field keep their own menus.
    window->setContextMenuPolicy(Qt::ActionsContextMenu);
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

bool ScreenSetFiles::open(const QString &path)
{
    ScreenSetFile file;
    if (QString problem = readScreenSetFile(QDir::toNativeSeparators(path), file);
        !problem.isEmpty()) {
        showFileProblem(QStringLiteral("Nie można otworzyć zestawu ekranów; okno pozostało bez "
                                       "zmian."),
                        problem);
        return false;
    }
    for (const std::optional<ScreenSet> &set : {file.eeprom, file.ram}) {
        if (set)
            m_pages.showScreenSet(*set);
    }
    setFile(path);
    return true;
}

bool ScreenSetFiles::save(const QString &path)
{
    const ScreenSetFile file{m_pages.screenSet(Memory::Eeprom), m_pages.screenSet(Memory::Ram)};
    if (QString problem = writeScreenSetFile(QDir::toNativeSeparators(path), file);
        !problem.isEmpty()) {
        showFileProblem(QStringLiteral("Nie można zapisać zestawu ekranów."), problem);
        return false;
    }
    setFile(path);
    return true;
}

void ScreenSetFiles::openCommand()
{
    askForFile(false);
}

void ScreenSetFiles::saveCommand()
{
    if (m_file.isEmpty())
        askForFile(true);
    else
        save(m_file);
}

void ScreenSetFiles::saveAsCommand()
{
    askForFile(true);
}

void ScreenSetFiles::askForFile(bool saving)
{
    // Window-modal and not run in a loop of its own: an upload waiting
    // between two frames goes on meanwhile. Qt's dialog, or the system's own
    // where it has one (Windows).
    auto *dialog = new QFileDialog(
        m_window,
        saving ? QStringLiteral("Zapisz zestaw ekranów") : QStringLiteral("Otwórz zestaw ekranów"),
        m_file,
        QStringLiteral("Zestawy ekranów (*.%1 *.ini);;Wszystkie pliki (*)")
            .arg(QLatin1String(ScreenSetSuffix)));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog->setDefaultSuffix(QLatin1String(ScreenSetSuffix));
    connect(dialog, &QFileDialog::fileSelected, this, [this, saving](const QString &path) {
        if (saving)
            save(path);
        else
            open(path);
    });
    dialog->open();
}

void ScreenSetFiles::setFile(const QString &path)
{
    // Kept whole, so that Ctrl+S still finds it should the working folder change.
    m_file = path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
    // The window's title stays the program's: the menu says where Ctrl+S saves.
    m_save->setText(m_file.isEmpty() ? QStringLiteral("Zapisz zestaw ekranów")
                                     : QStringLiteral("Zapisz do „%1”")
                                           .arg(QFileInfo(m_file).fileName().replace(
                                               u'&', QStringLiteral("&&"))));
}

bool ScreenSetFiles::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::Drop) {
        auto *drop = static_cast<QDropEvent *>(event);
        const QString path = droppedFile(drop->mimeData());
        if (path.isEmpty())
            return false;
        drop->acceptProposedAction();
        // Opened once the drop is over: the dragging program waits for its end.
        if (event->type() == QEvent::Drop)
            QMetaObject::invokeMethod(
                this, [this, path] { open(path); }, Qt::QueuedConnection);
        return true;
    }
    return QObject::eventFilter(watched, event);
}
