#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/SetupContext.h"
#include "tests/sim/SimProgress.h"
#include "tests/sim/SimWindows.h"
#include "ui/ProgressWindow.h"

namespace orfa {
using sim::SimProgressPort;

namespace {

using Calls = std::vector<std::string>;

class ProgressWindowTest : public ::testing::Test {
 protected:
  // The window the thread made: the first top-level one.
  const SimProgressPort::Window* Main() const { return port.Find(0x100); }
  const SimProgressPort::Window* TextChild() const { return port.Find(0x101); }
  const SimProgressPort::Window* Bar() const { return port.Find(0x102); }

  SimProgressPort port;
};

TEST_F(ProgressWindowTest, HideBeforeAnyShowDoesNothing) {
  ProgressWindow window(port);
  window.Hide();
  EXPECT_TRUE(port.Calls().empty());
  EXPECT_EQ(port.ThreadsStarted(), 0u);
}

TEST_F(ProgressWindowTest, FirstShowStartsTheThreadWhichCreatesCentredTopmostWindow) {
  ProgressWindow window(port);
  window.Show("Title", "Copying");
  EXPECT_EQ(port.Calls(), Calls{"StartThread"});
  EXPECT_FALSE(window.Created());  // ShowProgress does not wait for the window

  port.ClearCalls();
  ASSERT_TRUE(port.RunNextThread());
  EXPECT_EQ(port.Calls(), (Calls{
                              "GetSystemMetrics 0",
                              "GetSystemMetrics 1",
                              "InitCommonControls",
                              "RegisterClass PlainWindow 0x203",
                              "CreateWindow PlainWindow \"Title\" 0x20009 0x400000 308,346 408x76",
                              "CreateChild STATIC \"Copying\" 0x50000000 2,2 399x20",
                              "CreateChild msctls_progress32 \"\" 0x50040000 2,24 400x20",
                              "ShowWindow 0x100 1",
                              "MessageLoop",
                          }));
  EXPECT_TRUE(window.Created());
  ASSERT_NE(Main(), nullptr);
  EXPECT_TRUE(Main()->visible);
  EXPECT_TRUE(Main()->topmost);
  EXPECT_EQ(Main()->text, "Title");
  EXPECT_EQ(TextChild()->parent, 0x100u);
  EXPECT_EQ(TextChild()->text, "Copying");
  EXPECT_EQ(Bar()->parent, 0x100u);
}

TEST_F(ProgressWindowTest, EmptyTextsGiveAnEmptyWindow) {
  ProgressWindow window(port);
  window.Show("", "");
  port.RunNextThread();
  ASSERT_NE(Main(), nullptr);
  EXPECT_TRUE(Main()->visible);
  EXPECT_TRUE(Main()->topmost);
  EXPECT_EQ(Main()->text, "");
  EXPECT_EQ(TextChild()->text, "");
}

TEST_F(ProgressWindowTest, CentresOnTheScreenAndStartsAtTheEdgeOfASmallerScreen) {
  struct Row {
    int width, height, left, top;
  };
  const Row rows[] = {
      {1024, 768, 308, 346},
      {1025, 769, 308, 346},  // the remainder is dropped
      {1920, 1080, 756, 502},
      {408, 76, 0, 0},
      {407, 600, 0, 262},  // narrower than the window
      {800, 75, 196, 0},   // lower than the window
      {200, 40, 0, 0},
  };
  for (const Row& row : rows) {
    SimProgressPort screen;
    screen.screenWidth = row.width;
    screen.screenHeight = row.height;
    ProgressWindow window(screen);
    window.Show("t", "x");
    screen.RunNextThread();
    SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
    EXPECT_EQ(window.Left(), row.left);
    EXPECT_EQ(window.Top(), row.top);
    const auto* main = screen.Find(0x100);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->x, row.left);
    EXPECT_EQ(main->y, row.top);
    EXPECT_EQ(main->width, 408);
    EXPECT_EQ(main->height, 76);
  }
}

TEST_F(ProgressWindowTest, ShowAndHideActOnTheExistingWindowInPlace) {
  ProgressWindow window(port);
  window.Show("One", "first");
  port.RunNextThread();
  port.ClearCalls();

  window.Hide();
  EXPECT_EQ(port.Calls(), Calls{"SetWindowPos 0x100 TOPMOST 308,346 408x76 0x80"});
  EXPECT_FALSE(Main()->visible);

  port.ClearCalls();
  window.Show("Two", "second");
  EXPECT_EQ(port.Calls(), (Calls{
                              "SetWindowText 0x100 \"Two\"",
                              "SetWindowText 0x101 \"second\"",
                              "SetWindowPos 0x100 TOPMOST 308,346 408x76 0x40",
                          }));
  EXPECT_TRUE(Main()->visible);
  EXPECT_EQ(Main()->text, "Two");
  EXPECT_EQ(TextChild()->text, "second");
  EXPECT_EQ(port.ThreadsStarted(), 1u);
}

TEST_F(ProgressWindowTest, SecondShowBeforeTheWindowExistsStartsNoSecondThread) {
  ProgressWindow window(port);
  window.Show("One", "first");
  window.Show("Two", "second");
  EXPECT_EQ(port.ThreadsStarted(), 1u);
  port.RunNextThread();
  EXPECT_EQ(port.Classes().size(), 1u);
  EXPECT_EQ(Main()->text, "Two");
  EXPECT_EQ(TextChild()->text, "second");
  EXPECT_TRUE(Main()->visible);
}

TEST_F(ProgressWindowTest, RequestsMadeWhileTheWindowIsBeingCreatedAreNotLost) {
  ProgressWindow window(port);
  window.Show("One", "first");
  port.duringCreation = [&] { window.Show("Two", "second"); };
  port.RunNextThread();
  EXPECT_EQ(port.ThreadsStarted(), 1u);
  EXPECT_EQ(Main()->text, "Two");
  EXPECT_EQ(TextChild()->text, "second");
  EXPECT_TRUE(Main()->visible);

  SimProgressPort other;
  ProgressWindow hidden(other);
  hidden.Show("One", "first");
  other.duringCreation = [&] { hidden.Hide(); };
  other.RunNextThread();
  EXPECT_FALSE(other.Find(0x100)->visible);
}

TEST_F(ProgressWindowTest, HideAfterShowButBeforeTheWindowExistsKeepsItHidden) {
  ProgressWindow window(port);
  window.Show("One", "first");
  window.Hide();
  port.RunNextThread();
  ASSERT_TRUE(window.Created());
  EXPECT_FALSE(Main()->visible);

  window.Show("Two", "second");
  EXPECT_TRUE(Main()->visible);
  EXPECT_EQ(Main()->text, "Two");
}

TEST_F(ProgressWindowTest, FailedClassRegistrationLeavesNoWindowAndALaterShowTriesAgain) {
  ProgressWindow first(port);
  first.Show("a", "b");
  port.RunNextThread();  // registers "PlainWindow"

  ProgressWindow second(port);
  second.Show("c", "d");
  port.RunNextThread();  // the class exists already: no window
  EXPECT_FALSE(second.Created());
  second.Hide();
  EXPECT_EQ(port.WaitingThreads(), 0u);

  second.Show("e", "f");
  EXPECT_EQ(port.ThreadsStarted(), 3u);
}

TEST_F(ProgressWindowTest, FailedThreadStartIsRetriedByTheNextShow) {
  port.failThreadStart = true;
  ProgressWindow window(port);
  window.Show("a", "b");
  EXPECT_EQ(port.WaitingThreads(), 0u);
  window.Hide();  // nothing is running: nothing to do
  port.failThreadStart = false;
  window.Show("c", "d");
  ASSERT_TRUE(port.RunNextThread());
  EXPECT_EQ(Main()->text, "c");
  EXPECT_TRUE(Main()->visible);
}

TEST_F(ProgressWindowTest, FailedWindowCreationCountsAsCreatedAndLaterCallsDoNothing) {
  port.failWindowCreation = true;
  ProgressWindow window(port);
  window.Show("a", "b");
  port.RunNextThread();
  EXPECT_TRUE(window.Created());
  port.ClearCalls();
  window.Hide();
  window.Show("c", "d");
  EXPECT_TRUE(port.Calls().empty());
  EXPECT_EQ(port.ThreadsStarted(), 1u);
}

TEST(ProgressThroughTheContext, WindowObjectExistsFromTheFirstShow) {
  SimWindows sim;
  SetupContext ctx(sim.Get());
  HideProgress(ctx);
  EXPECT_FALSE(ctx.ProgressWindow);
  EXPECT_TRUE(sim.progress.Calls().empty());

  ShowProgress(ctx, "Title", "Text");
  ASSERT_TRUE(ctx.ProgressWindow);
  ShowProgress(ctx, "Title", "Text 2");
  EXPECT_EQ(sim.progress.ThreadsStarted(), 1u);
  sim.progress.RunNextThread();
  EXPECT_TRUE(ctx.ProgressWindow->Created());
  EXPECT_EQ(sim.progress.Find(0x101)->text, "Text 2");

  HideProgress(ctx);
  EXPECT_FALSE(sim.progress.Find(0x100)->visible);
  ShowProgress(ctx, "Title 3", "Text 3");
  EXPECT_TRUE(sim.progress.Find(0x100)->visible);
  EXPECT_EQ(sim.progress.Find(0x100)->text, "Title 3");
}

}  // namespace
}  // namespace orfa
