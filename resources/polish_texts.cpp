#include "resources/polish_texts.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

void usePolishTexts(QCoreApplication &app)
{
    const QLocale polish(QLocale::Polish, QLocale::Poland);
    QLocale::setDefault(polish);
    auto *translator = new QTranslator(&app);
    if (translator->load(polish, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(translator);
}
