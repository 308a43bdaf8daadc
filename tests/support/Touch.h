#pragma once

#include "PrivateProfile.h"
#include "SystemPaths.h"

#include <QAbstractButton>
#include <QtTest>

// Touches the named button of a window, as the operator does.
inline void click(QWidget *window, const QString &name)
{
    auto *button = window->findChild<QAbstractButton *>(name);
    QVERIFY2(button, qPrintable(name));
    QTest::mouseClick(button, Qt::LeftButton);
}

// A value of an INI file (the settings file unless named), "<missing>" when absent.
inline QString iniValue(const char *section, const char *key,
                        const QString &file = SystemPaths::settingsFile())
{
    std::string value;
    ReadPrivateProfileString(section, key, "<missing>", value, file.toStdString());
    return QString::fromStdString(value);
}
