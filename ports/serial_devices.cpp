#include "ports/serial_devices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#ifdef Q_OS_LINUX
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <tuple>
#include <utility>

namespace {

// Where a device's kind puts it: legacy ports first, then USB adapters, then
// modems, then anything else.
int kindRank(const QString &name)
{
    static const QStringList kinds{QStringLiteral("ttyS"), QStringLiteral("ttyUSB"),
                                   QStringLiteral("ttyACM")};
    for (int i = 0; i < kinds.size(); ++i) {
        if (name.startsWith(kinds[i]) && name.size() > kinds[i].size() &&
            name.at(kinds[i].size()).isDigit())
            return i;
    }
    return int(kinds.size());
}

// A device name cut into its stem and the number it ends in, so that ttyS10
// comes after ttyS9; -1 when it ends in no number.
std::pair<QString, qint64> stemAndNumber(const QString &name)
{
    qsizetype digits = 0;
    while (digits < name.size() && name.at(name.size() - 1 - digits).isDigit())
        ++digits;
    if (digits == 0)
        return {name, -1};
    return {name.chopped(digits), name.right(digits).toLongLong()};
}

#ifdef Q_OS_LINUX
// Linux lists its terminals in sysfs. The serial ones are those backed by a
// device; the rest are virtual consoles and pseudo-terminals, mostly, of which
// a machine has dozens. This picks the same devices as QSerialPortInfo does
// through udev, but looks no further into the virtual ones than their link,
// and so lists in a fraction of the time; the list is made at every start and
// every time it is opened.
constexpr char TtyClass[] = "/sys/class/tty";

QByteArray readAttribute(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

// Ports of the legacy driver are listed whether or not a UART answers at their
// address; only the device itself can tell.
bool uartPresent(const QString &device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    serial_struct info{};
    const bool present = ::ioctl(fd, TIOCGSERIAL, &info) != -1 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return present;
}

// The product name of the USB device the port belongs to, if it is on USB.
QString usbProduct(QDir device)
{
    do {
        const QByteArray product = readAttribute(device.filePath(QStringLiteral("product")));
        if (!product.isEmpty())
            return QString::fromUtf8(product).simplified();
    } while (!device.isRoot() && device.cdUp() && device.path() != QLatin1String("/sys/devices"));
    return QString();
}

QList<SerialDevice> sysfsSerialDevices()
{
    QList<SerialDevice> devices;
    DIR *ttys = ::opendir(TtyClass);
    if (ttys == nullptr)
        return devices;
    // One look per entry at whether a device backs it: a machine has dozens.
    while (const dirent *tty = ::readdir(ttys)) {
        const QString name = QFile::decodeName(tty->d_name);
        bool numbered = false;
        const bool bluetooth = name.startsWith(QLatin1String("rfcomm")) &&
                               name.mid(6).toUInt(&numbered) <= 255 && numbered;
        const bool backed =
            ::faccessat(::dirfd(ttys), (QByteArray(tty->d_name) + "/device").constData(), F_OK,
                        0) == 0;
        if (!backed && !bluetooth)
            continue;
        const QString entry = QString::fromLatin1(TtyClass) + u'/' + name;
        QString node = QStringLiteral("/dev/") + name;
        for (const QByteArray &line :
             readAttribute(entry + QStringLiteral("/uevent")).split('\n')) {
            if (line.startsWith("DEVNAME="))
                node = QStringLiteral("/dev/") + QString::fromLocal8Bit(line.mid(8));
        }
        const QString driver =
            QFileInfo(entry + QStringLiteral("/device/driver")).symLinkTarget().section(u'/', -1);
        if (driver == QLatin1String("serial8250") && !uartPresent(node))
            continue;
        const QString device = QFileInfo(entry + QStringLiteral("/device")).canonicalFilePath();
        devices.append({node, backed ? usbProduct(QDir(device)) : QString()});
    }
    ::closedir(ttys);
    return devices;
}
#endif

} // namespace

QList<SerialDevice> orderedSerialDevices(const QList<SerialDevice> &devices)
{
    QList<SerialDevice> ordered = devices;
    const auto key = [](const SerialDevice &device) {
        const QString name = QFileInfo(device.systemLocation).fileName();
        const auto [stem, number] = stemAndNumber(name);
        return std::make_tuple(kindRank(name), stem, number, device.systemLocation);
    };
    std::stable_sort(ordered.begin(), ordered.end(),
                     [&](const SerialDevice &a, const SerialDevice &b) { return key(a) < key(b); });
    return ordered;
}

QList<SerialDevice> systemSerialDevices()
{
#ifdef Q_OS_LINUX
    if (QFileInfo(QString::fromLatin1(TtyClass)).isReadable())
        return sysfsSerialDevices();
#endif
    QList<SerialDevice> devices;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        devices.append({port.systemLocation(), port.description()});
    return devices;
}
