// Headless contexts on both EGL platforms: Mesa's surfaceless one by default, the device
// platform (what other vendors' drivers offer without a window system) when asked for or when
// surfaceless is missing. Both must give a working 3.3 core context.
#include "platform/gfx/gl_context.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>

namespace {

struct PlatformChoice {
    const char* variable; // DEMO_EGL_PLATFORM, or null for the default
    const char* expected;
};

// Names the case in test lists (otherwise its bytes, pointers included, which change per run).
void PrintTo(const PlatformChoice& c, std::ostream* os) {
    *os << (c.variable != nullptr ? c.variable : "default");
}

class EglPlatform : public ::testing::TestWithParam<PlatformChoice> {
protected:
    void TearDown() override { unsetenv("DEMO_EGL_PLATFORM"); }
};

TEST_P(EglPlatform, GivesA33CoreContext) {
    const PlatformChoice choice = GetParam();
    if (choice.variable != nullptr) {
        setenv("DEMO_EGL_PLATFORM", choice.variable, 1);
    }
    std::string error;
    auto context = gfx::detail::GlContext::createHeadless(&error);
    if (!context && choice.variable != nullptr) {
        GTEST_SKIP() << "no headless context: " << error;
    }
    ASSERT_TRUE(context) << error;
    if (choice.variable != nullptr && std::string(context->eglPlatform()) == "surfaceless") {
        GTEST_SKIP() << "no EGL device platform here; fell back to surfaceless";
    }
    EXPECT_STREQ(context->eglPlatform(), choice.expected);
    EXPECT_GE(context->maxTextureSize(), 2048);
}

INSTANTIATE_TEST_SUITE_P(Headless, EglPlatform,
                         ::testing::Values(PlatformChoice{nullptr, "surfaceless"},
                                           PlatformChoice{"device", "device"}));

} // namespace
