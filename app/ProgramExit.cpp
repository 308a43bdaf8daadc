#include "ProgramExit.h"

#include <QCoreApplication>
#include <QDebug>

namespace {
int s_lastStatus = -1;
ProgramExit::Handler s_handler;
}

void ProgramExit::exit(int status)
{
    qDebug() << Q_FUNC_INFO << status;
    s_lastStatus = status;
    if (s_handler) {
        s_handler(status);
        return;
    }
    QCoreApplication::exit(status);
}

int ProgramExit::lastStatus()
{
    return s_lastStatus;
}

void ProgramExit::setHandler(Handler handler)
{
    s_handler = std::move(handler);
    s_lastStatus = -1;
}
