// screenprog and screenprog-noclock: the port dialog first, then the main
// window, with the screen-set file named on the command line opened, or the
// main window at once on the port given with --port; the
// program ends when the user closes either.

#include "ports/port_list.h"
#include "programming/termination.h"
#include "protocol/screen_set.h"
#include "ui/main_window.h"
#include "ui/program.h"
#include "ui/select_serial_device.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#ifdef Q_OS_WIN
#include <QMessageBox>
#endif

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

// The program takes --help, --version, --port and a screen-set file to open.
// Qt answers the first two, and refuses any other option, in Polish (its
// catalogue is installed by then): on the terminal, or in a message box when a
// Windows program has no console to write to. It ends the program after
// answering. Returns what the program is to do.
struct CommandLine
{
    QString port; // the port to open the main window on, without the port dialog; or empty
    QString file; // a screen-set file to open before the window shows, or empty
};

CommandLine answerCommandLine(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "Programowanie wyświetlacza systemu VELTA-ORSO przez port szeregowy.\n"
            "Port wybiera się w pierwszym oknie programu albo podaje opcją --port.\n"
            "\n"
            "Obie strony okna (teksty ekranów i parametry) zapisuje się w pliku zestawu\n"
            "ekranów (rozszerzenie .%1), tym samym, który czyta screenprog-cli: Ctrl+O\n"
            "otwiera plik, Ctrl+S zapisuje, Ctrl+Shift+S zapisuje pod inną nazwą; te same\n"
            "polecenia są w menu pod prawym przyciskiem myszy. Plik otwiera się też,\n"
            "upuszczając go na okno albo podając jego nazwę w wierszu poleceń.")
            .arg(QLatin1String(protocol::ScreenSetSuffix)));
    // Qt's own help option would also offer --help-all, for Qt's options.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Wyświetla tę pomoc."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Otwiera okno programu od razu na tym porcie, bez okna wyboru portu: "
                       "nazwa z listy (COM1), urządzenie (/dev/ttyUSB0, COM12) albo serwer portu "
                       "szeregowego w sieci, socket://HOST:PORT lub rfc2217://HOST:PORT."),
        QStringLiteral("port"));
    parser.addOption(help);
    parser.addOption(port);
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("plik"),
        QStringLiteral("Plik zestawu ekranów, który okno otwiera, zanim się pokaże."),
        QStringLiteral("[plik]"));
    parser.process(app);
    if (parser.isSet(help))
        parser.showHelp(EXIT_SUCCESS);
    const QStringList files = parser.positionalArguments();
    if (files.size() <= 1)
        return {parser.value(port), files.value(0)};
    const QString refusal = QStringLiteral("%1: Nieoczekiwany argument \"%2\".")
                                .arg(QCoreApplication::applicationName(), files.at(1));
#ifdef Q_OS_WIN
    QMessageBox::critical(nullptr, QCoreApplication::applicationName(), refusal);
#else
    std::fprintf(stderr, "%s\n", qPrintable(refusal));
#endif
    std::exit(EXIT_FAILURE);
}

// Help and the version need no window system: they are answered before the
// program connects to one, and so also where there is none.
bool asksForHelpOrVersion(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-h" || argument == "--help" || argument == "-v" || argument == "--version")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (asksForHelpOrVersion(argc, argv)) {
        QCoreApplication app(argc, argv);
        program::setUpTexts(app);
        answerCommandLine(app);
    }

    QApplication app(argc, argv);
    program::setUp(app);
    const CommandLine commandLine = answerCommandLine(app);

    // The main window is built while the user looks at the port dialog, so
    // that it shows as soon as the display has answered; or, should the user
    // be quicker, when the port is confirmed.
    std::unique_ptr<fMain> mainWindow;
    const auto buildMainWindow = [&mainWindow, &commandLine] {
        if (mainWindow)
            return;
        mainWindow = std::make_unique<fMain>();
        mainWindow->setFileToOpen(commandLine.file);
        mainWindow->prepareShowing();
        fMain *window = mainWindow.get();
        onTermination(window, [window](int) { window->endProgram(); });
    };
    if (!commandLine.port.isEmpty()) {
        // A port named on the command line (a desktop shortcut for one
        // display): the main window on it at once. A name not listed is
        // opened as it stands, and says so if it does not open.
        buildMainWindow();
        const QString device = deviceOf(commandLine.port);
        mainWindow->Form_Load(device.isEmpty() ? commandLine.port : device);
        return QApplication::exec();
    }
    fSelectSerialDevice portDialog(&listSerialPorts, [&](const QString &device) {
        buildMainWindow();
        mainWindow->Form_Load(device);
    });
    QTimer::singleShot(0, buildMainWindow);
    if (!portDialog.Form_Load())
        return 0;
    return QApplication::exec();
}
