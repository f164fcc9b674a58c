#pragma once

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace orvel::test {

// The program's settings in a folder of the test's own, gone after it.
class PortsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_settings.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    }
    void TearDown() override {
        for (const char *name : {"ORVEL_COM1", "ORVEL_COM2", "ORVEL_COM3", "ORVEL_COM4"})
            qunsetenv(name);
    }

private:
    QTemporaryDir m_settings;
};

}  // namespace orvel::test
