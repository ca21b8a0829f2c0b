// Ending a run early: between files, and never in the middle of a save.
#include "batch/RunControl.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

using namespace tabulory;

TEST(RunControlTest, AStopIsSeenOnceAsked) {
  RunControl control;
  EXPECT_FALSE(control.StopRequested());
  control.RequestStop();
  EXPECT_TRUE(control.StopRequested());
  EXPECT_FALSE(control.Abandoned());
}

TEST(RunControlTest, AbandoningWaitsForTheSaveUnderWayAndRefusesTheNext) {
  RunControl control;
  std::atomic<bool> started = false;
  std::atomic<bool> finished = false;
  std::thread worker([&] {
    control.Save([&] {
      started = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      finished = true;
    });
  });
  while (!started) std::this_thread::yield();
  control.Abandon();
  EXPECT_TRUE(finished);  // Abandon returned only after the save ended
  worker.join();

  bool ran = false;
  EXPECT_THROW(control.Save([&] { ran = true; }), std::runtime_error);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(control.StopRequested());
}

TEST(RunControlTest, AFailedSaveDoesNotHoldUpAbandoning) {
  RunControl control;
  EXPECT_THROW(control.Save([] { throw std::runtime_error("disk full"); }), std::runtime_error);
  control.Abandon();  // would wait for ever if the failed save still counted
  EXPECT_TRUE(control.Abandoned());
}
