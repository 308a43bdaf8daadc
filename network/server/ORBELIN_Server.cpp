#include "ORBELIN_Server.h"

ORBELIN_Server::ORBELIN_Server(QObject *parent)
    : QTcpServer(parent)
{
}

ORBELIN_Server::~ORBELIN_Server() = default;
