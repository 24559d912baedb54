// Interrupts in a child process: the status it ends with and which files it
// leaves behind.
#include "cli/interrupts.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <atomic>
#include <csignal>
#include <fstream>
#include <functional>
#include <thread>
#include <thread>

namespace sowfield::cli {
namespace {

namespace fs = std::filesystem;

class Interrupts : public ::testing::Test {
protected:
    Interrupts()
        : dir(fs::temp_directory_path() / ("sowfield_interrupts_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        fs::create_directories(dir);
    }
    ~Interrupts() override { fs::remove_all(dir); }

    // Runs `body` in a child with the handlers installed; returns its exit
    // status, or -1 when it did not exit normally.
    static int in_child(const std::function<void()> &body) {
        const pid_t child = ::fork();
        if (child == 0) {
            install_interrupt_handlers();
            body();
            ::_exit(0);  // not interrupted
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static void touch(const fs::path &path) { std::ofstream(path) << "partial"; }

    fs::path dir;
};

TEST_F(Interrupts, RemoveTheRegisteredFileAndExit130) {
    const fs::path partial = dir / "out.tmp";
    EXPECT_EQ(in_child([&] {
                  touch(partial);
                  PartialFile guard(partial);
                  std::raise(SIGINT);
              }),
              130);
    EXPECT_FALSE(fs::exists(partial));

    EXPECT_EQ(in_child([&] {
                  touch(partial);
                  PartialFile guard(partial);
                  std::raise(SIGTERM);
              }),
              130);
    EXPECT_FALSE(fs::exists(partial));
}

TEST_F(Interrupts, KeepAReleasedFile) {
    const fs::path complete = dir / "out.obj";
    EXPECT_EQ(in_child([&] {
                  touch(complete);
                  PartialFile guard(complete);
                  guard.release();
                  std::raise(SIGINT);
              }),
              130);
    EXPECT_TRUE(fs::exists(complete));

    const fs::path other = dir / "other.obj";
    EXPECT_EQ(in_child([&] {
                  touch(other);
                  { PartialFile guard(other); }  // out of scope: no longer registered
                  std::raise(SIGINT);
              }),
              130);
    EXPECT_TRUE(fs::exists(other));
}

TEST_F(Interrupts, HeldUntilTheWriteEnds) {
    const fs::path output = dir / "out.glb";
    const fs::path reached = dir / "reached";
    EXPECT_EQ(in_child([&] {
                  InterruptsHeld held;
                  std::raise(SIGINT);  // waits
                  touch(output);
                  touch(reached);
                  PartialFile written(output);
                  held.release();  // delivered now: the finished output goes
                  touch(dir / "not reached");
              }),
              130);
    EXPECT_TRUE(fs::exists(reached));
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(fs::exists(dir / "not reached"));

    // A process-wide signal reaches a thread that does not block it, such as
    // a library's helper; the hold still keeps the write whole.
    const fs::path late = dir / "late.glb";
    EXPECT_EQ(in_child([&] {
                  std::atomic<bool> stop{false};
                  std::thread helper([&] {
                      while (!stop) ::usleep(1000);
                  });
                  InterruptsHeld held;
                  ::kill(::getpid(), SIGTERM);
                  ::usleep(50 * 1000);  // the helper takes it meanwhile
                  touch(late);
                  touch(dir / "late reached");
                  PartialFile written(late);
                  stop = true;
                  helper.join();
                  held.release();
                  touch(dir / "late not reached");
              }),
              130);
    EXPECT_TRUE(fs::exists(dir / "late reached"));
    EXPECT_FALSE(fs::exists(late));
    EXPECT_FALSE(fs::exists(dir / "late not reached"));

    // Without an interrupt, nothing happens when the hold ends.
    EXPECT_EQ(in_child([&] {
                  InterruptsHeld held;
                  touch(output);
                  PartialFile written(output);
                  held.release();
                  written.release();
              }),
              0);
    EXPECT_TRUE(fs::exists(output));
}

// A signal sent to the process goes to a thread that does not block it: a
// helper thread (as a library may start) takes it while the writing thread
// holds interrupts back. The hold must still win.
TEST_F(Interrupts, HeldEvenWhenAnotherThreadTakesTheSignal) {
    const fs::path output = dir / "out.glb";
    const fs::path reached = dir / "reached";
    EXPECT_EQ(in_child([&] {
                  std::atomic<bool> stop{false};
                  std::thread helper([&] {
                      while (!stop) ::usleep(1000);
                  });
                  {
                      InterruptsHeld held;
                      ::kill(::getpid(), SIGTERM);  // only the helper can take it now
                      ::usleep(200 * 1000);
                      touch(output);
                      touch(reached);
                      PartialFile written(output);
                      stop = true;
                      helper.join();
                      held.release();
                  }
                  touch(dir / "not reached");
              }),
              130);
    EXPECT_TRUE(fs::exists(reached)) << "the interrupt cut the held write short";
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(fs::exists(dir / "not reached"));
}

}  // namespace
}  // namespace sowfield::cli
