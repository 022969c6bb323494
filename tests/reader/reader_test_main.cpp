// The reader's widget tests run offscreen with the real browser engine.
#include <gtest/gtest.h>

#include <QApplication>

#include "web/web_browser.h"

namespace {
void setDefault(const char* name, const char* value)
{
    if (!qEnvironmentVariableIsSet(name))
        qputenv(name, value);
}
}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // The same settings as the test properties, so that listing the tests works anywhere.
    setDefault("QT_QPA_PLATFORM", "offscreen");
    setDefault("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    setDefault("QT_QUICK_BACKEND", "software");
    setDefault("QTWEBENGINE_DISABLE_SANDBOX", "1");
    web::registerSchemes();
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
