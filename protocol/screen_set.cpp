#include "protocol/screen_set.h"

#include "protocol/windows1250.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>

namespace protocol {

namespace {

// A screen-set file is a few dozen lines; anything much larger is not one
// (and /dev/zero must not keep the program reading).
constexpr qint64 MaxFileSize = 64 * 1024;

// A value as messages show it: between Polish quotes, shortened, and with
// control characters (which could steer a terminal) replaced.
QString quoted(const QString &value)
{
    QString shown = value.left(40);
    for (QChar &c : shown) {
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    }
    return QStringLiteral("„%1%2”").arg(shown, value.size() > 40 ? QStringLiteral("…") : QString());
}

// What a screen can carry, composed as the window's text boxes compose it.
QString checkText(Memory memory, int n, QString &text)
{
    text = composed(text);
    const QList<QStringView> textCharacters = characters(text);
    for (QStringView character : textCharacters) {
        if (isScreenCharacter(character))
            continue;
        const char32_t code = character.toUcs4().value(0);
        const bool control =
            character.size() == 1 && character[0].category() == QChar::Other_Control;
        const QString codeText =
            QStringLiteral("U+%1").arg(uint(code), 4, 16, QChar(u'0')).toUpper();
        return control
                   ? QStringLiteral("%1: znak sterujący %2 w tekście; wyświetlacz go nie pokaże")
                         .arg(screenName(memory, n), codeText)
                   : QStringLiteral("%1: znaku „%2” (%3) nie da się wysłać; wyświetlacz zna "
                                    "tylko znaki kodowania Windows-1250")
                         .arg(screenName(memory, n), character.toString(), codeText);
    }
    if (textCharacters.size() > MaxTextLength)
        return QStringLiteral("%1: za długi tekst %2 (liczba znaków: %3, najwyżej %4)")
            .arg(screenName(memory, n), quoted(text))
            .arg(textCharacters.size())
            .arg(MaxTextLength);
    return {};
}

QString setText(ScreenSet &set, const QString &number, QString text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,3}$"));
    const int n = digits.match(number).hasMatch() ? number.toInt() : 0;
    if (n < 1 || n > set.screens())
        return QStringLiteral("nie ma ekranu %1 w pamięci %2; numery ekranów: od 1 do %3")
            .arg(quoted(number), memoryName(set.memory))
            .arg(set.screens());
    if (set.texts[n])
        return QStringLiteral("%1 podany drugi raz").arg(screenName(set.memory, n));
    if (QString problem = checkText(set.memory, n, text); !problem.isEmpty())
        return problem;
    set.texts[n] = text;
    return {};
}

// The names of the parameters in a file: the labels of the window's lists,
// "Prękość" as the window spells it and "Prędkość" as people type it.
std::optional<Parameter> parameterByLabel(const QString &key)
{
    const std::pair<QString, Parameter> labels[] = {
        {scrollKindLabel(), Parameter::ScrollKind},
        {speedLabel(), Parameter::Speed},
        {QStringLiteral("Prędkość przesuwu"), Parameter::Speed},
        {brightnessLabel(), Parameter::Brightness},
        {screenCountLabel(), Parameter::ScreenCount},
    };
    const QString simplified = key.simplified();
    for (const auto &[label, parameter] : labels) {
        if (simplified.compare(label, Qt::CaseInsensitive) == 0)
            return parameter;
    }
    return std::nullopt;
}

// A list's entry by its text (any case); for the scroll kinds also by their
// place in the list, from 1. -1 when the value is on no list.
int position(const QStringList &items, const QString &value, bool byPlace)
{
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (items[i].compare(value, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    if (byPlace) {
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (value == QString::number(i + 1))
                return int(i);
        }
    }
    return -1;
}

// A value in double quotes keeps its blanks at both ends.
bool unquote(QString &value)
{
    if (!value.startsWith(u'"'))
        return true;
    if (value.size() < 2 || !value.endsWith(u'"'))
        return false;
    value = value.mid(1, value.size() - 2);
    return true;
}

} // namespace

ScreenSet::ScreenSet(Memory memory) : memory(memory), parameters(startChoice(memory)) {}

int ScreenSet::screens() const
{
    return screenCount(memory);
}

int ScreenSet::frames() const
{
    return (parametersGiven ? 2 : 1) +
           int(std::count_if(texts.begin(), texts.end(),
                             [](const std::optional<QString> &t) { return t.has_value(); }));
}

QString screenName(Memory memory, int n)
{
    return QStringLiteral("ekran %1 (%2)").arg(n).arg(memoryName(memory));
}

QString setParameter(ScreenSet &set, Parameter parameter, const QString &value)
{
    set.parametersGiven = true;
    switch (parameter) {
    case Parameter::ScrollKind:
        set.parameters.scrollKind = position(scrollKindItems(), value.simplified(), true);
        if (set.parameters.scrollKind < 0)
            return QStringLiteral("nieznany rodzaj przesuwu %1; dozwolone: %2 (albo 1, 2, 3)")
                .arg(quoted(value), scrollKindItems().join(QStringLiteral(", ")));
        return {};
    case Parameter::Speed:
        set.parameters.speed = position(stepItems(), value, false);
        if (set.parameters.speed < 0)
            return QStringLiteral("prędkość przesuwu %1 spoza listy; dozwolone: od 1 do %2")
                .arg(quoted(value))
                .arg(Steps);
        return {};
    case Parameter::Brightness:
        set.parameters.brightness = position(stepItems(), value, false);
        if (set.parameters.brightness < 0)
            return QStringLiteral("jasność %1 spoza listy; dozwolone: od 1 do %2")
                .arg(quoted(value))
                .arg(Steps);
        return {};
    case Parameter::ScreenCount:
        if (set.memory == Memory::Eeprom)
            return QStringLiteral("ilość ekranów podaje się tylko dla pamięci RAM; zestaw EEPROM "
                                  "ma zawsze %1 ekranów")
                .arg(EepromScreens);
        set.parameters.screenCount = position(screenCountItems(), value, false);
        if (set.parameters.screenCount < 0)
            return QStringLiteral("ilość ekranów %1 spoza listy; dozwolone: od 0 do %2")
                .arg(quoted(value))
                .arg(RamScreens);
        return {};
    }
    return {};
}

QString addScreenText(ScreenSet &set, const QString &argument)
{
    const qsizetype equals = argument.indexOf(u'=');
    QString problem = equals < 0 ? QStringLiteral("podaj numer ekranu i tekst, np. --text 1=Cześć")
                                 : setText(set, argument.left(equals), argument.mid(equals + 1));
    return problem.isEmpty() ? problem
                             : QStringLiteral("--text %1: %2").arg(quoted(argument), problem);
}

namespace {

// "[EEPROM]" or "[RAM]": the section that it opens, each once in a file.
QString openSection(const QString &line, ScreenSetFile &file, std::optional<ScreenSet> *&section)
{
    if (!line.endsWith(u']'))
        return QStringLiteral("brak nawiasu „]” zamykającego nazwę sekcji");
    const QString title = line.mid(1, line.size() - 2).trimmed();
    const bool ram = title.compare(memoryName(Memory::Ram), Qt::CaseInsensitive) == 0;
    if (!ram && title.compare(memoryName(Memory::Eeprom), Qt::CaseInsensitive) != 0)
        return QStringLiteral("nieznana sekcja [%1]; dozwolone: [EEPROM], [RAM]")
            .arg(quoted(title));
    section = ram ? &file.ram : &file.eeprom;
    if (*section)
        return QStringLiteral("sekcja [%1] drugi raz").arg(title.toUpper());
    section->emplace(ram ? Memory::Ram : Memory::Eeprom);
    return {};
}

// "key = value" in a section: a screen's text, or a parameter (each once;
// given holds those named so far).
QString readEntry(const QString &line, ScreenSet &set, QSet<int> &given)
{
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0)
        return QStringLiteral("brak znaku „=”; wiersz ma postać „numer ekranu = tekst”, "
                              "„parametr = wartość” albo [EEPROM], [RAM]");
    const QString key = line.left(equals).trimmed();
    QString value = line.mid(equals + 1).trimmed();
    if (!unquote(value))
        return QStringLiteral("brak cudzysłowu zamykającego wartość");
    if (const std::optional<Parameter> parameter = parameterByLabel(key)) {
        if (given.contains(int(*parameter)))
            return QStringLiteral("parametr %1 drugi raz").arg(quoted(key));
        given.insert(int(*parameter));
        return setParameter(set, *parameter, value);
    }
    if (!key.isEmpty() && key.front().isDigit())
        return setText(set, key, value);
    QStringList allowed{QStringLiteral("numer ekranu (od 1 do %1)").arg(set.screens()),
                        scrollKindLabel(), speedLabel(), brightnessLabel()};
    if (set.memory == Memory::Ram)
        allowed << screenCountLabel();
    return QStringLiteral("nieznany klucz %1; dozwolone: %2")
        .arg(quoted(key), allowed.join(QStringLiteral(", ")));
}

} // namespace

QString parseScreenSetFile(QByteArrayView contents, const QString &name, ScreenSetFile &file)
{
    if (contents.startsWith("\xEF\xBB\xBF")) // the mark some editors put first
        contents = contents.sliced(3);
    std::optional<ScreenSet> *section = nullptr;
    QSet<int> given; // the parameters the section has named
    for (int lineNumber = 1; !contents.isEmpty(); ++lineNumber) {
        qsizetype end = contents.indexOf('\n');
        if (end < 0)
            end = contents.size();
        const QByteArrayView bytes = contents.first(end);
        contents = contents.sliced(qMin(end + 1, contents.size()));

        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString line = QString(utf8(bytes)).trimmed();
        QString problem;
        if (utf8.hasError()) {
            problem = QStringLiteral("to nie jest tekst w kodowaniu UTF-8");
        } else if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';')) {
            continue;
        } else if (line.startsWith(u'[')) {
            problem = openSection(line, file, section);
            given.clear();
        } else if (section == nullptr) {
            problem =
                QStringLiteral("wiersz przed pierwszą sekcją; zacznij od [EEPROM] albo [RAM]");
        } else {
            problem = readEntry(line, **section, given);
        }
        if (!problem.isEmpty())
            return QStringLiteral("%1:%2: %3").arg(name).arg(lineNumber).arg(problem);
    }
    return {};
}

QString readScreenSetFile(const QString &path, ScreenSetFile &file)
{
    QFile input(path);
    if (!input.open(QIODevice::ReadOnly))
        return QStringLiteral("%1: nie można odczytać pliku: %2").arg(path, input.errorString());
    const QByteArray contents = input.read(MaxFileSize + 1);
    if (contents.size() > MaxFileSize)
        return QStringLiteral("%1: to nie jest plik zestawu ekranów (ponad %2 KiB)")
            .arg(path)
            .arg(MaxFileSize / 1024);
    if (input.error() != QFileDevice::NoError)
        return QStringLiteral("%1: nie można odczytać pliku: %2").arg(path, input.errorString());
    ScreenSetFile sections;
    if (QString problem = parseScreenSetFile(contents, path, sections); !problem.isEmpty())
        return problem;
    file = sections;
    return {};
}

QString readScreenSet(const QString &path, ScreenSet &set)
{
    ScreenSetFile file;
    if (QString problem = readScreenSetFile(path, file); !problem.isEmpty())
        return problem;
    if (!file.section(set.memory))
        return QStringLiteral("%1: brak sekcji [%2]").arg(path, memoryName(set.memory));
    set = *file.section(set.memory);
    return {};
}

namespace {

// A text as the reader takes it back: in double quotes when the line's
// trimming would lose its blanks at the ends, or its first character would
// read as an opening quote (or, to other readers of INI files, a comment).
QString fileValue(const QString &text)
{
    const bool quote = text.isEmpty() || text.front().isSpace() || text.back().isSpace() ||
                       QStringView(u"\"#;").contains(text.front());
    return quote ? u'"' + text + u'"' : text;
}

} // namespace

QByteArray screenSetFileContents(const ScreenSetFile &file)
{
    QString contents = QStringLiteral("# Zestaw ekranów wyświetlacza VELTA-ORSO\n");
    for (const std::optional<ScreenSet> &set : {file.eeprom, file.ram}) {
        if (!set)
            continue;
        contents += QStringLiteral("\n[%1]\n").arg(memoryName(set->memory));
        const auto line = [&contents](const QString &key, const QString &value) {
            contents += QStringLiteral("%1 = %2\n").arg(key, value);
        };
        if (set->parametersGiven) {
            const ParameterChoice &p = set->parameters;
            line(scrollKindLabel(), scrollKindItems().value(p.scrollKind));
            line(speedLabel(), stepItems().value(p.speed));
            line(brightnessLabel(), stepItems().value(p.brightness));
            if (set->memory == Memory::Ram)
                line(screenCountLabel(), screenCountItems().value(p.screenCount));
        }
        for (int n = 1; n <= set->screens(); ++n) {
            if (set->texts[n])
                line(QString::number(n), fileValue(*set->texts[n]));
        }
    }
    return contents.toUtf8();
}

QString writeScreenSetFile(const QString &path, const ScreenSetFile &file)
{
    // Written beside the file and put in its place only when whole.
    QSaveFile output(path);
    if (output.open(QIODevice::WriteOnly) && output.write(screenSetFileContents(file)) >= 0 &&
        output.commit())
        return {};
    return QStringLiteral("%1: nie można zapisać pliku: %2%3")
        .arg(path, output.errorString(),
             QFileInfo::exists(path) ? QStringLiteral("; plik pozostał bez zmian") : QString());
}

} // namespace protocol
