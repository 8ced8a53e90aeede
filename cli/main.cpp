// screenprog-cli: the display programmed from a script or a scheduled job,
// without a window. The options are checked before anything is opened; a run
// then does what screenprog's window would, in a fixed order, on each port
// given, and its exit code says how it ended.

#include "cli/console.h"
#include "cli/fleet.h"
#include "cli/programming_run.h"
#include "ports/port_list.h"
#include "programming/network_link.h"
#include "protocol/screen_set.h"
#include "resources/message_numbers.h"
#include "resources/message_text.h"
#include "resources/polish_texts.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <csignal>

using namespace protocol;

namespace {

// The help's text; the display's facts go in through description().
const QString DescriptionText = QStringLiteral(
    "\nProgramuje wyświetlacz systemu VELTA-ORSO przez port szeregowy, bez okna: łączy się z nim\n"
    "jak screenprog i po kolei czyści ekrany (--clear), wysyła zestaw EEPROM, zestaw bieżący\n"
    "(RAM), zegar i dźwięki, a na końcu ramkę kończącą programowanie.\n"
    "\n"
    "Plik zestawu ekranów (UTF-8) ma sekcje [EEPROM] i [RAM]. W sekcji wiersz „numer = tekst”\n"
    "dla każdego wysyłanego ekranu (najwyżej %1 znaków; tekst w cudzysłowie zachowuje spacje\n"
    "na brzegach) i parametry: Rodzaj przesuwu (%2), Prękość\n"
    "przesuwu (od 1 do %3), Jasność (od 1 do %3), Ilość ekranów (od 0 do %4, tylko RAM).\n"
    "Ekranu, którego nie ma w sekcji, program nie wysyła. Ramkę parametrów wysyła tylko wtedy,\n"
    "gdy zestaw podaje choć jeden parametr; pozostałe mają wtedy wartości startowe okna:\n"
    "%5. Wiersze od # albo ; to komentarze.\n"
    "\n"
    "Kilka --port: wszystkie wyświetlacze programowane są jednocześnie, każdy osobno. Na stdout\n"
    "trafia wtedy (i z --repeat) wiersz na wyświetlacz, w kolejności portów: port, wynik (ok,\n"
    "unanswered, busy, missing, forbidden, lost, interrupted) i opis, oddzielone tabulatorem;\n"
    "z --quiet tylko wiersze wyświetlaczy niezaprogramowanych. Przebieg z --repeat kończy\n"
    "wiersz podsumowania; Ctrl+C między wyświetlaczami kończy go z kodem 0 albo 8.\n"
    "\n"
    "Kody wyjścia:\n"
    "  0    gotowe\n"
    "  2    błędne dane; nic nie zostało otwarte ani wysłane\n"
    "  3    port nie jest dostępny (komunikat 203)\n"
    "  4    port zajęty przez inny program (komunikat 201)\n"
    "  5    brak uprawnień do portu (komunikat 203; Linux: grupa dialout)\n"
    "  6    wyświetlacz nie potwierdził ramki (komunikat 200)\n"
    "  7    nie udało się wysłać ramki kończącej programowanie\n"
    "  8    nie każdy wyświetlacz został zaprogramowany (kilka --port albo --repeat)\n"
    "  129  przerwane przez SIGHUP (Windows: zamknięcie konsoli)\n"
    "  130  przerwane przez SIGINT (Ctrl+C)\n"
    "  143  przerwane przez SIGTERM");

QString description()
{
    const ParameterChoice start = startChoice(Memory::Ram);
    return DescriptionText.arg(MaxTextLength)
        .arg(scrollKindItems().join(QStringLiteral(", ")))
        .arg(Steps)
        .arg(RamScreens)
        .arg(QStringList{scrollKindItems().at(start.scrollKind), stepItems().at(start.speed),
                         stepItems().at(start.brightness), screenCountItems().at(start.screenCount)}
                 .join(QStringLiteral(", ")));
}

struct Options
{
    QCommandLineOption list{QStringLiteral("list"),
                            QStringLiteral("Wypisuje porty, które oferuje okno wyboru portu, po "
                                           "jednym w wierszu: nazwę, urządzenie i opis, "
                                           "oddzielone tabulatorem.")};
    QCommandLineOption json{QStringLiteral("json"),
                            QStringLiteral("Z --list: porty jako tablica JSON, z polami name, "
                                           "device, description i id (nazwa stała urządzenia "
                                           "albo null).")};
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("Port: nazwa z listy (COM1), urządzenie "
                                           "(/dev/ttyUSB0, /dev/pts/7, COM12) albo serwer portu "
                                           "szeregowego w sieci: socket://HOST:PORT (TCP, linia "
                                           "serwera ustawiona na 1200 8N2) lub "
                                           "rfc2217://HOST:PORT (RFC 2217). Można podać wiele "
                                           "razy: wyświetlacze są programowane jednocześnie."),
                            QStringLiteral("port")};
    QCommandLineOption wait{QStringLiteral("wait"),
                            QStringLiteral("Czeka na port, którego nie ma (urządzenie, nazwa z "
                                           "listy), zamiast kończyć z kodem 3.")};
    QCommandLineOption repeat{QStringLiteral("repeat"),
                              QStringLiteral("Po każdym wyświetlaczu czeka na następny i "
                                             "programuje go tak samo: po Enter, a z --wait gdy "
                                             "port zniknie i pojawi się znowu. Kończy Ctrl+C "
                                             "albo koniec wejścia, a na końcu wypisuje, ile "
                                             "wyświetlaczy zaprogramowano, a ilu nie.")};
    QCommandLineOption log{QStringLiteral("log"),
                           QStringLiteral("Dopisuje do pliku obiekt JSON o każdym wyświetlaczu, "
                                          "w wierszu, gdy ten się skończy (JSON Lines)."),
                           QStringLiteral("plik")};
    QCommandLineOption dryRun{QStringLiteral("dry-run"),
                              QStringLiteral("Wypisuje ramki, które wysłałoby żądanie, po kolei, "
                                             "szesnastkowo, z nazwą ramki po tabulatorze; "
                                             "niczego nie otwiera.")};
    QCommandLineOption eeprom{QStringLiteral("eeprom"),
                              QStringLiteral("Wysyła stały zestaw ekranów (EEPROM) z sekcji "
                                             "[EEPROM] pliku."),
                              QStringLiteral("plik")};
    QCommandLineOption ram{QStringLiteral("ram"),
                           QStringLiteral("Wysyła bieżący zestaw ekranów (RAM) z sekcji [RAM] "
                                          "pliku."),
                           QStringLiteral("plik")};
    QCommandLineOption text{QStringLiteral("text"),
                            QStringLiteral("Wysyła ekran N z tym tekstem (najwyżej %1 znaków); "
                                           "można podać wiele razy. Razem z parametrami poniżej "
                                           "to zestaw pamięci --memory.")
                                .arg(MaxTextLength),
                            QStringLiteral("N=tekst")};
    QCommandLineOption memory{QStringLiteral("memory"),
                              QStringLiteral("Pamięć dla --text i parametrów: ram (domyślnie) "
                                             "albo eeprom."),
                              QStringLiteral("ram|eeprom")};
    QCommandLineOption scroll{QStringLiteral("scroll"),
                              QStringLiteral("Rodzaj przesuwu: %1 (albo 1, 2, 3).")
                                  .arg(scrollKindItems().join(QStringLiteral(", "))),
                              QStringLiteral("rodzaj")};
    QCommandLineOption speed{QStringLiteral("speed"),
                             QStringLiteral("Prędkość przesuwu, od 1 do %1.").arg(Steps),
                             QStringLiteral("1-%1").arg(Steps)};
    QCommandLineOption brightness{QStringLiteral("brightness"),
                                  QStringLiteral("Jasność, od 1 do %1.").arg(Steps),
                                  QStringLiteral("1-%1").arg(Steps)};
    QCommandLineOption screens{QStringLiteral("screens"),
                               QStringLiteral("Ilość ekranów, które pokazuje pamięć RAM, od 0 "
                                              "do %1.")
                                   .arg(RamScreens),
                               QStringLiteral("0-%1").arg(RamScreens)};
    QCommandLineOption clock{QStringLiteral("clock"),
                             QStringLiteral("Ustawia zegar wyświetlacza: now (czas komputera w "
                                            "chwili wysłania) albo podana godzina."),
                             QStringLiteral("now|GG:MM")};
    QCommandLineOption beep{QStringLiteral("beep"), QStringLiteral("Krótki dźwięk.")};
    QCommandLineOption longBeep{QStringLiteral("long-beep"),
                                QStringLiteral("Włącza (on) albo wyłącza (off) długi dźwięk."),
                                QStringLiteral("on|off")};
    QCommandLineOption clear{QStringLiteral("clear"), QStringLiteral("Czyści ekrany.")};
    QCommandLineOption quiet{QStringLiteral("quiet"), QStringLiteral("Wypisuje tylko błędy.")};
    // Qt's own help option would also offer --help-all, for Qt's options.
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Wyświetla tę pomoc.")};
};

// Name and version, the Polish locale and Qt's own Polish texts (the help's
// headings, the parser's complaints), which travel inside the program.
void setUpTexts(QCoreApplication &app)
{
    QCoreApplication::setApplicationName(QStringLiteral("screenprog-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SCREENPROG_VERSION));
    usePolishTexts(app);
}

// The option's value and its name, as a message about it starts.
QString optionText(const QCommandLineParser &parser, const QCommandLineOption &option)
{
    return QStringLiteral("--%1 %2").arg(option.names().constLast(), parser.value(option));
}

// The set the command line gives for one memory: --text and the parameters.
QString readCommandLineSet(const QCommandLineParser &parser, const Options &o, Request &request)
{
    const QList<std::pair<const QCommandLineOption *, Parameter>> parameters = {
        {&o.scroll, Parameter::ScrollKind},
        {&o.speed, Parameter::Speed},
        {&o.brightness, Parameter::Brightness},
        {&o.screens, Parameter::ScreenCount},
    };
    const bool given =
        parser.isSet(o.text) || std::any_of(parameters.begin(), parameters.end(),
                                            [&](const auto &p) { return parser.isSet(*p.first); });
    const QString memoryOption = parser.value(o.memory).toLower();
    if (!given)
        return parser.isSet(o.memory) ? QStringLiteral("--memory dotyczy --text i parametrów, "
                                                       "a nie podano żadnego z nich")
                                      : QString();
    if (parser.isSet(o.memory) && memoryOption != u"ram" && memoryOption != u"eeprom")
        return QStringLiteral("%1: podaj ram albo eeprom").arg(optionText(parser, o.memory));
    const Memory memory = memoryOption == u"eeprom" ? Memory::Eeprom : Memory::Ram;
    std::optional<ScreenSet> &set = memory == Memory::Ram ? request.ram : request.eeprom;
    if (set)
        return QStringLiteral("pamięć %1 podana dwa razy: w pliku (--%2) i w --text albo "
                              "parametrach")
            .arg(memoryName(memory), memoryName(memory).toLower());
    set.emplace(memory);
    for (const auto &[option, parameter] : parameters) {
        if (!parser.isSet(*option))
            continue;
        if (QString problem = setParameter(*set, parameter, parser.value(*option));
            !problem.isEmpty())
            return QStringLiteral("%1: %2").arg(optionText(parser, *option), problem);
    }
    for (const QString &argument : parser.values(o.text)) {
        if (QString problem = addScreenText(*set, argument); !problem.isEmpty())
            return problem;
    }
    return {};
}

// Everything but the port checked, nothing opened yet.
QString readRequest(const QCommandLineParser &parser, const Options &o, Request &request)
{
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("nieoczekiwany argument „%1”").arg(parser.positionalArguments()[0]);
    for (const QCommandLineOption *single :
         {&o.log, &o.eeprom, &o.ram, &o.memory, &o.scroll, &o.speed, &o.brightness, &o.screens,
          &o.clock, &o.longBeep}) {
        if (parser.values(*single).size() > 1)
            return QStringLiteral("--%1 podana więcej niż raz").arg(single->names().constLast());
    }
    for (const auto &[option, memory] :
         {std::pair{&o.eeprom, Memory::Eeprom}, std::pair{&o.ram, Memory::Ram}}) {
        if (!parser.isSet(*option))
            continue;
        std::optional<ScreenSet> &set = memory == Memory::Ram ? request.ram : request.eeprom;
        set.emplace(memory);
        if (QString problem = readScreenSet(parser.value(*option), *set); !problem.isEmpty())
            return problem;
    }
    if (QString problem = readCommandLineSet(parser, o, request); !problem.isEmpty())
        return problem;

    if (parser.isSet(o.clock)) {
        static const QRegularExpression time(QStringLiteral("^([0-9]{1,2}):([0-9]{2})$"));
        const QString value = parser.value(o.clock);
        const QRegularExpressionMatch match = time.match(value);
        if (value.compare(u"now", Qt::CaseInsensitive) == 0)
            request.clock = QString();
        else if (match.hasMatch() && match.captured(1).toInt() < 24 &&
                 match.captured(2).toInt() < 60)
            request.clock = QStringLiteral("%1:%2")
                                .arg(match.captured(1).toInt(), 2, 10, QChar(u'0'))
                                .arg(match.captured(2));
        else
            return QStringLiteral("%1: nie ma takiej godziny; podaj now albo GG:MM, od 00:00 "
                                  "do 23:59")
                .arg(optionText(parser, o.clock));
    }
    if (parser.isSet(o.longBeep)) {
        const QString value = parser.value(o.longBeep).toLower();
        if (value != u"on" && value != u"off")
            return QStringLiteral("%1: podaj on albo off").arg(optionText(parser, o.longBeep));
        request.longBeep = value == u"on";
    }
    request.beep = parser.isSet(o.beep);
    request.clear = parser.isSet(o.clear);
    request.quiet = parser.isSet(o.quiet);
    request.ports = parser.values(o.port);
    if (parser.isSet(o.dryRun)) {
        for (const QCommandLineOption *opened : {&o.wait, &o.repeat, &o.log}) {
            if (parser.isSet(*opened))
                return QStringLiteral("--dry-run niczego nie otwiera; nie łączy się z --%1")
                    .arg(opened->names().constLast());
        }
        return {};
    }
    if (request.ports.isEmpty())
        return QStringLiteral("podaj port: --port NAZWA (porty wypisuje --list)");
    for (qsizetype i = 0; i < request.ports.size(); ++i) {
        const QString &port = request.ports[i];
        if (port.isEmpty())
            return QStringLiteral("--port: pusta nazwa portu");
        if (request.ports.indexOf(port) != i)
            return QStringLiteral("--port %1 podany dwa razy").arg(port);
        if (isNetworkPort(port) && !networkAddress(port))
            return QStringLiteral("--port %1: podaj %2").arg(port, NetworkPortForms);
    }
    return {};
}

int listPorts(bool quiet, bool json)
{
    const QList<PortEntry> ports = listSerialPorts();
    if (ports.isEmpty() && !quiet)
        console::err(messageText(messages::NoSerialPorts));
    if (json) {
        QJsonArray array;
        for (const PortEntry &entry : ports) {
            const QString id = stableIdOf(entry.name, entry.device);
            array.append(QJsonObject{
                {QStringLiteral("name"), entry.name},
                {QStringLiteral("device"), entry.device},
                {QStringLiteral("description"), entry.description},
                {QStringLiteral("id"), id.isEmpty() ? QJsonValue() : QJsonValue(id)},
            });
        }
        console::out(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)));
        return Done;
    }
    for (const PortEntry &entry : ports) {
        console::out(
            entry.description.isEmpty()
                ? QStringLiteral("%1\t%2").arg(entry.name, entry.device)
                : QStringLiteral("%1\t%2\t%3").arg(entry.name, entry.device, entry.description));
    }
    return Done;
}

int refuse(const QString &problem)
{
    console::err(QStringLiteral("%1: %2").arg(QCoreApplication::applicationName(), problem));
    return BadInput;
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef SIGPIPE
    // A reader of the messages that has gone (a closed pipe) must not end the
    // run before its closing frame: such writes fail quietly instead.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    setUpTexts(app);

    const Options o;
    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    parser.addOption(o.help);
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({o.list,    o.json,  o.port, o.wait,     o.repeat, o.log,   o.dryRun,
                       o.eeprom,  o.ram,   o.text, o.memory,   o.scroll, o.speed, o.brightness,
                       o.screens, o.clock, o.beep, o.longBeep, o.clear,  o.quiet});
    // Answered here rather than by the parser, which on Windows would write
    // in a code page the console does not show.
    if (!parser.parse(QCoreApplication::arguments()))
        return refuse(parser.errorText() + QStringLiteral(" Pomoc: --help."));
    if (parser.isSet(o.help)) {
        console::out(parser.helpText().trimmed());
        return Done;
    }
    if (parser.isSet(version)) {
        console::out(QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(),
                                                 QCoreApplication::applicationVersion()));
        return Done;
    }
    if (parser.isSet(o.list)) {
        const QStringList names = parser.optionNames();
        if (std::any_of(names.begin(), names.end(), [](const QString &name) {
                return name != u"list" && name != u"quiet" && name != u"json";
            }))
            return refuse(
                QStringLiteral("--list nie łączy się z innymi opcjami poza --json i --quiet"));
        return listPorts(parser.isSet(o.quiet), parser.isSet(o.json));
    }
    if (parser.isSet(o.json))
        return refuse(QStringLiteral("--json dotyczy tylko --list"));

    Request request;
    if (QString problem = readRequest(parser, o, request); !problem.isEmpty())
        return refuse(problem);
    if (parser.isSet(o.dryRun)) {
        for (const PlannedFrame &frame :
             ProgrammingRun(request, QString(), QString()).plannedFrames())
            console::out(
                QStringLiteral("%1\t%2").arg(QString::fromLatin1(frame.bytes.toHex()), frame.name));
        return Done;
    }
    // Appended to, never rewritten: the record of every earlier run stays.
    QFile log(parser.value(o.log));
    if (parser.isSet(o.log) && !log.open(QIODevice::WriteOnly | QIODevice::Append))
        return refuse(QStringLiteral("%1: nie można otworzyć pliku do dopisywania (%2)")
                          .arg(optionText(parser, o.log), log.errorString()));
    return Fleet(request, {parser.isSet(o.wait), parser.isSet(o.repeat),
                           parser.isSet(o.log) ? &log : nullptr})
        .exec();
}
