// The encoder pipe: arguments reach the program exactly as given, whatever they hold.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

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

} // namespace
