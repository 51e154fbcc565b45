// DemoHost, the one start-up path: what it brings up, in which order the client's hooks run,
// and that tear-down undoes exactly what came up, also after a failed step.
#include "render/demo_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> calls;
int initializeResult = 0;
int startResult = 0;

ClientHooks recordingClient() {
    ClientHooks hooks;
    hooks.initialize = [] {
        calls.push_back("initialize");
        return initializeResult;
    };
    hooks.start = [] {
        calls.push_back("start");
        return startResult;
    };
    hooks.stop = [] {
        calls.push_back("stop");
        return 0;
    };
    hooks.cleanup = [] { calls.push_back("cleanup"); };
    return hooks;
}

HostOptions nullDeviceOptions() {
    HostOptions options;
    options.launch.headless = true;
    options.launch.backend = gfx::Backend::Null;
    options.client = recordingClient();
    options.fonts = false;
    return options;
}

class Host : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        initializeResult = 0;
        startResult = 0;
    }
};

TEST_F(Host, BringsTheProgramUpAndTakesItDownInReverse) {
    DemoHost host;
    ASSERT_EQ(host.start(nullDeviceOptions()), DemoHost::Step::Ready);
    ASSERT_TRUE(host.ok());
    EXPECT_EQ(gApp, host.app());
    EXPECT_EQ(gDriver, host.driver());
    EXPECT_EQ(host.app()->firstDriver(), host.driver());
    EXPECT_NE(host.app()->device, nullptr);
    EXPECT_EQ(calls, (std::vector<std::string>{"initialize", "start"}));

    host.stop();
    EXPECT_EQ(calls, (std::vector<std::string>{"initialize", "start", "stop", "cleanup"}));
    EXPECT_EQ(gApp, nullptr);
    EXPECT_EQ(gDriver, nullptr);
    EXPECT_EQ(host.app(), nullptr);
    EXPECT_EQ(host.driver(), nullptr);
    host.stop(); // nothing is left to take down twice
    EXPECT_EQ(calls.size(), 4u);
}

TEST_F(Host, WithoutStartTheClientIsConfiguredAndCleanedUpOnly) {
    HostOptions options = nullDeviceOptions();
    options.start = false;
    options.driver = false;
    {
        DemoHost host(options);
        ASSERT_TRUE(host.ok());
        EXPECT_EQ(host.driver(), nullptr);
        EXPECT_EQ(host.app()->firstDriver(), nullptr);
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"initialize", "cleanup"}));
    EXPECT_EQ(gApp, nullptr);
}

TEST_F(Host, AFailedStartIsCleanedUpButNotStopped) {
    startResult = 1;
    {
        DemoHost host(nullDeviceOptions());
        EXPECT_FALSE(host.ok());
        EXPECT_EQ(host.failedAt(), DemoHost::Step::Start);
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"initialize", "start", "cleanup"}));
    EXPECT_EQ(gApp, nullptr);
    EXPECT_EQ(gDriver, nullptr);
}

TEST_F(Host, ARefusedInitializeStopsBeforeTheDriver) {
    initializeResult = 1;
    {
        DemoHost host(nullDeviceOptions());
        EXPECT_EQ(host.failedAt(), DemoHost::Step::Initialize);
        EXPECT_EQ(host.driver(), nullptr);
        EXPECT_EQ(gDriver, nullptr);
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"initialize", "cleanup"}));
    EXPECT_EQ(gApp, nullptr);
}

} // namespace
