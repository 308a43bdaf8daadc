#pragma once

#include <QTcpServer>

// The line-based file server. The main window holds one and never sets it listening.
class ORBELIN_Server : public QTcpServer
{
    Q_OBJECT

public:
    explicit ORBELIN_Server(QObject *parent = nullptr);
    ~ORBELIN_Server() override;
};
