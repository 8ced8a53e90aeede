// What bench/run holds screenprog-cli's start against: a Qt Core program that
// prints the monotonic clock, in seconds, once its event loop runs, and ends.

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <ctime>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTimer::singleShot(0, &app, [] {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::printf("%.6f\n", double(now.tv_sec) + double(now.tv_nsec) / 1e9);
        QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}
