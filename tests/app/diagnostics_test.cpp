#include "app/diagnostics.h"
#include "platform/debugout.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string nameOf(int32_t code) {
    char buffer[128];
    errorName(code, buffer, sizeof buffer);
    return buffer;
}

TEST(ErrorName, KnownAndUnknownCodes) {
    EXPECT_EQ(nameOf(int32_t(0x8876086Cu)), "D3DERR_INVALIDCALL");
    EXPECT_EQ(nameOf(0), "S_OK");
    EXPECT_EQ(nameOf(int32_t(0x8007000Eu)), "E_OUTOFMEMORY");
    EXPECT_EQ(nameOf(int32_t(0x8876017Cu)), "D3DERR_OUTOFVIDEOMEMORY");
    EXPECT_EQ(nameOf(int32_t(0x88760B5Au)), "D3DXERR_LOADEDMESHASNODATA");
    EXPECT_EQ(nameOf(int32_t(0x88760868u)), "D3DERR_DEVICELOST");
    EXPECT_EQ(nameOf(int32_t(0x12AB)), "Unrecognized error: 0x000012ab");
    EXPECT_EQ(nameOf(int32_t(0xDEADBEEFu)), "Unrecognized error: 0xdeadbeef");
}

TEST(ErrorName, CutToTheBufferSize) {
    char buffer[8];
    errorName(int32_t(0x8876086Cu), buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "D3DERR_");
}

TEST(CheckResult, SilentForSuccessCodes) {
    platform::DebugCapture capture;
    EXPECT_EQ(checkResult("x.cpp", 1, 0), 0);
    EXPECT_EQ(checkResult("x.cpp", 2, 5), 0);
    EXPECT_EQ(capture.text(), "");
}

TEST(CheckResult, ReportsFileLineAndName) {
    platform::DebugCapture capture;
    EXPECT_EQ(checkResult("driver.cpp", 42, int32_t(0x8876086Cu)), 1);
    EXPECT_EQ(capture.text(), "(driver.cpp:42):D3DERR_INVALIDCALL\n");
}

TEST(FormatReport, CutsTheFormatTo255Characters) {
    platform::DebugCapture capture;
    std::string format(300, 'x');
    formatReport(1, "%s", format.c_str()); // arguments are not cut
    EXPECT_EQ(capture.text().size(), 300u);
    capture.clear();
    formatReport(1, format.c_str(), 0);
    EXPECT_EQ(capture.text(), std::string(255, 'x'));
    capture.clear();
    formatReport(0, "hidden");
    EXPECT_EQ(capture.text(), "");
}

TEST(FormatReport, ResultIsAtMost1023Characters) {
    platform::DebugCapture capture;
    std::string big(5000, 'y');
    formatReport(1, "%s", big.c_str());
    EXPECT_EQ(capture.text().size(), 1023u);
}

} // namespace
