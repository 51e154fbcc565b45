// The encoder pipe: arguments reach the program exactly as given, whatever they hold; its
// exit status comes back; a program that stops reading fails our writes.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
// Through the POSIX shell.
TEST(OutputPipe, ProgramArgumentsArriveWholeAndTheInputIsWritten) {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "demo pipe test";
    std::filesystem::create_directories(dir);
    std::filesystem::path file = dir / "it's \"quoted\" $HOME.txt";
    platform::OutputPipe pipe;
    ASSERT_TRUE(pipe.openProgram("sh", {"-c", "cat > \"$0\"", file.string()}));
    ASSERT_TRUE(pipe.write("hello", 5));
    EXPECT_EQ(pipe.close(), 0);
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "hello");
    std::filesystem::remove_all(dir);
}

TEST(OutputPipe, AProgramThatFailsReportsItsStatus) {
    platform::OutputPipe pipe;
    ASSERT_TRUE(pipe.openProgram("sh", {"-c", "exit 3"}));
    EXPECT_EQ(pipe.close(), 3);
    EXPECT_EQ(pipe.close(), -1); // not open any more
}

#endif

// The same pipe with a program of our own that records what it gets (tests/platform/
// pipe_recorder.cpp, built beside this test), on every platform: on Windows no shell reads the
// arguments, so characters cmd would take (%, &, ^, quotes) must arrive untouched too.
class RecordedPipe : public ::testing::Test {
protected:
    void SetUp() override {
        // A folder of this test's own: CTest runs the cases of this fixture side by side, and
        // one case's clean-up must not take another's record away.
        dir = std::filesystem::temp_directory_path() /
              ("demo pipe recorder " +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + " " +
               std::to_string(processId()));
        std::filesystem::create_directories(dir);
        record = dir / "record.txt";
        std::filesystem::remove(record);
        recorder = std::filesystem::path(platform::executablePath()).parent_path() /
                   (std::string("pipe_recorder") + kExeSuffix);
        ASSERT_TRUE(std::filesystem::exists(recorder)) << recorder;
        setVariable("PIPE_RECORDER_OUT", record.string());
        setVariable("PIPE_RECORDER_STATUS", "0");
        setVariable("PIPE_RECORDER_READ", "1");
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    static long processId() {
#ifdef _WIN32
        return long(_getpid());
#else
        return long(getpid());
#endif
    }
    static void setVariable(const char* name, const std::string& value) {
#ifdef _WIN32
        _putenv_s(name, value.c_str());
#else
        setenv(name, value.c_str(), 1);
#endif
    }
    std::string recorded() const {
        std::ifstream in(record, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
#ifdef _WIN32
    static constexpr const char* kExeSuffix = ".exe";
#else
    static constexpr const char* kExeSuffix = "";
#endif
    std::filesystem::path dir, record, recorder;
};

TEST_F(RecordedPipe, ArgumentsAndBinaryInputArriveExactly) {
    const std::vector<std::string> arguments = {"plain",
                                                "two words",
                                                "it's \"quoted\"",
                                                "ends in a backslash\\",
                                                "C:\\a b\\\\",
                                                "",
                                                "100% & ^ | <in> >out $HOME %PATH% !x!"};
    platform::OutputPipe pipe;
    ASSERT_TRUE(pipe.openProgram(recorder.string(), arguments));
    const std::string input("frame\r\n\0\x1a\xff end", 16);
    ASSERT_TRUE(pipe.write(input.data(), input.size()));
    EXPECT_EQ(pipe.close(), 0);
    std::string expected;
    for (const std::string& a : arguments) {
        expected += a + "\n";
    }
    EXPECT_EQ(recorded(), expected + "--\n" + input);
}

TEST_F(RecordedPipe, ExitStatusAndMissingPrograms) {
    setVariable("PIPE_RECORDER_STATUS", "3");
    platform::OutputPipe pipe;
    ASSERT_TRUE(pipe.openProgram(recorder.string(), {"x"}));
    EXPECT_EQ(pipe.close(), 3);
    EXPECT_EQ(pipe.close(), -1); // not open any more
    EXPECT_FALSE(pipe.isOpen());
    // A program that is not there: refused at once (Windows) or a failing status (POSIX sh).
    platform::OutputPipe missing;
    if (missing.openProgram((dir / "no such program").string(), {})) {
        EXPECT_NE(missing.close(), 0);
    }
}

TEST_F(RecordedPipe, AProgramThatStopsReadingFailsTheWritesInsteadOfEndingUs) {
    setVariable("PIPE_RECORDER_READ", "0");
    platform::OutputPipe pipe;
    ASSERT_TRUE(pipe.openProgram(recorder.string(), {}));
    const std::string frame(1 << 20, 'x');
    bool failed = false;
    for (int i = 0; i < 64 && !failed; ++i) {
        failed = !pipe.write(frame.data(), frame.size());
    }
    EXPECT_TRUE(failed);
    pipe.close();
}

} // namespace
