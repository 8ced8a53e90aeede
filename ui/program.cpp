#include "ui/program.h"

#include "resources/polish_texts.h"

#include <QApplication>
#include <QIcon>

#ifndef SCREENPROG_WITH_CLOCK
#error "SCREENPROG_WITH_CLOCK must be 1 (screenprog) or 0 (screenprog-noclock)"
#endif

namespace program {

bool withClock()
{
    return SCREENPROG_WITH_CLOCK != 0;
}

QString name()
{
    return withClock() ? QStringLiteral("screenprog") : QStringLiteral("screenprog-noclock");
}

void setUpTexts(QCoreApplication &app)
{
    QCoreApplication::setApplicationName(name());
    QCoreApplication::setApplicationVersion(QString::fromLatin1(version));
    QCoreApplication::setOrganizationName(QString::fromLatin1(company));

    usePolishTexts(app);
}

void setUp(QApplication &app)
{
    setUpTexts(app);
    QGuiApplication::setDesktopFileName(desktopId());
    QApplication::setFont(dialogFont());
    QApplication::setWindowIcon(icon());
}

QString desktopId()
{
    // A hyphen is not welcome in a desktop or AppStream id.
    return QStringLiteral("pl.korvant.") + name().replace(u'-', u'_');
}

QIcon icon()
{
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(name()).arg(size), QSize(size, size));
    return icon;
}

QFont dialogFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(7.5);
    return font;
}

QFont screenTextFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
    font.setStyleHint(QFont::Monospace);
    font.setPointSizeF(9.75);
    font.setWeight(QFont::Normal);
    return font;
}

QFont clockFont()
{
    QFont font = screenTextFont();
    font.setPointSizeF(12);
    font.setWeight(QFont::Bold);
    return font;
}

} // namespace program
