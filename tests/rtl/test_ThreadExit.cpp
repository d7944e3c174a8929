#include "rtl/ThreadExit.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>

using namespace rtl;

// Each thread's clean-up runs as that thread ends, latest registration first, and touches no other
// thread's values.
TEST(ThreadExit, ReleasesRunWhenTheirThreadEndsLatestFirst) {
    std::string order;
    std::thread worker([&] {
        AtThreadExit([](void* text) { *static_cast<std::string*>(text) += "a"; }, &order);
        AtThreadExit([](void* text) { *static_cast<std::string*>(text) += "b"; }, &order);
        EXPECT_EQ(order, "");
    });
    worker.join();
    EXPECT_EQ(order, "ba");
    std::thread other([] {});
    other.join();
    EXPECT_EQ(order, "ba") << "a thread that registered nothing releases nothing";
}

TEST(ThreadExit, ARunningProgramIsNotEnding) {
    EXPECT_FALSE(ProcessIsEnding());
}
