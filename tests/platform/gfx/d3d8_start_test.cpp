// The Direct3D 8 device's start-up failures: each one's line says which, and a device that
// d3d8.dll refuses is reported, not handed out. DEMO_NO_MESSAGE_BOX keeps the message box
// away while the tests provoke a refusal.
#include "gfx_test_util.h"

#include <cstdlib>

using namespace gfx;
using detail::StartFailure;

namespace {

bool says(const std::string& text, const char* what) {
    return text.find(what) != std::string::npos;
}

} // namespace

TEST(Direct3D8Start, EachFailureSaysWhich) {
    EXPECT_TRUE(says(detail::startFailureText(StartFailure::NoLibrary), "d3d8.dll"));
    EXPECT_TRUE(says(detail::startFailureText(StartFailure::NoDirect3D), "Direct3DCreate8"));
    EXPECT_TRUE(says(detail::startFailureText(StartFailure::NoDisplayMode), "display mode"));
    const std::string refused =
        detail::startFailureText(StartFailure::DeviceRefused, long(int32_t(0x8876086A)));
    EXPECT_TRUE(says(refused, "refused to create the device")) << refused;
    EXPECT_TRUE(says(refused, "D3DERR_NOTAVAILABLE")) << refused;
    // A code without a name is shown in hexadecimal.
    EXPECT_TRUE(
        says(detail::startFailureText(StartFailure::NoDeviceCaps, long(int32_t(0x8876FFFF))),
             "0x8876FFFF"));
}

TEST(Direct3D8Start, ARefusedDeviceIsReportedAndNothingHandedOut) {
    ASSERT_EQ(_putenv("DEMO_NO_MESSAGE_BOX=1"), 0);
    EXPECT_FALSE(detail::messageBoxWanted());
    std::unique_ptr<Direct3D> d3d = createDirect3D(D3D_SDK_VERSION, Backend::Direct3D8);
    ASSERT_TRUE(d3d) << lastError();
    PresentParameters p = gfxtest::presentParameters(64, 48, true);
    Device* device = reinterpret_cast<Device*>(uintptr_t(1));
    EXPECT_LT(d3d->createDevice(99, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                &p, &device),
              0); // there is no adapter 99
    EXPECT_EQ(device, nullptr);
    EXPECT_TRUE(says(lastError(), "refused to create the device")) << lastError();
    ASSERT_EQ(_putenv("DEMO_NO_MESSAGE_BOX="), 0);
    EXPECT_TRUE(detail::messageBoxWanted());
}
