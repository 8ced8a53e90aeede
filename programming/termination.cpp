#include "programming/termination.h"

#include "programming/termination_p.h"

#include <QCoreApplication>
#include <QObject>

void onTermination(QObject *context, std::function<void(int signal)> end)
{
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, context,
                     [end] { end(termination::Quit); });
    watchTermination(context, end);
}
