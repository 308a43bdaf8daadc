#pragma once

#include <QString>

// The six values of a counting protocol as a count uses them.
struct protocol_param_t
{
    QString name = QStringLiteral("DEFAULT");
    int dilutionFactor = 2;
    float minCellSize = 0.3f;   // um
    float maxCellSize = 50.0f;  // um
    int roundness = 30;         // percent
    int declusteringLevel = 7;  // 0 (off) to 10
    int detectionSensitivity = 4; // 0 to 9
};
