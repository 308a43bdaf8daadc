#pragma once

#include <QFrame>

// The Protocol menu screen.
class ProtocolFrame : public QFrame
{
    Q_OBJECT

public:
    explicit ProtocolFrame(QWidget *parent = nullptr);
    ~ProtocolFrame() override;

public Q_SLOTS:
    void slotEnableSecurityMode(bool enable);

Q_SIGNALS:
    void signalSetCurrentProtocol(const QString &name);
};
