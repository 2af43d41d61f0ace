// Takes the single-instance key given as the first argument, reports "held"
// or "refused" on standard output and then waits until it is killed or its
// standard input closes.
#include "app/TSingleInstanceGuard.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    TSingleInstanceGuard guard(QString::fromLocal8Bit(argv[1]));
    const bool held = guard.acquire();
    std::printf("%s\n", held ? "held" : "refused");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return held ? 0 : 1;
}
