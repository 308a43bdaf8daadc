#pragma once

#include "MetaTypes.h"

#include <QFrame>
#include <string>

// The Review menu screen: saved counts, previous counts and file actions.
class ReviewFrame : public QFrame
{
    Q_OBJECT

public:
    explicit ReviewFrame(QWidget *parent = nullptr);
    ~ReviewFrame() override;

    void initialize();

public Q_SLOTS:
    void slotAppendCSVData(std::string line);
    void slotFilenameReplaced(const QString &name);
    void slotEnableScaleBarDisplay(bool enable);
    void slotEnableSecurityMode(bool enable);

Q_SIGNALS:
    void signalAnalysis(const QString &folder);
    void signalCSVRemoved();
};
