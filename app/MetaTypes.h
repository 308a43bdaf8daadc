#pragma once

#include <QMetaType>
#include <string>

// std::string travels in some cross-screen signals (results-log rows).
Q_DECLARE_METATYPE(std::string)
