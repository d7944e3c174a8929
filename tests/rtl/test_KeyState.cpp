#include "rtl/KeyState.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
TEST(KeyState, KeysAreUpUntilAProviderAnswers) {
    EXPECT_EQ(rtl::GetAsyncKeyState(rtl::VK_SHIFT), 0);
    rtl::SetKeyStateProvider([](int key) -> std::int16_t { return key == rtl::VK_SHIFT ? -0x8000 : 0; });
    EXPECT_NE(rtl::GetAsyncKeyState(rtl::VK_SHIFT) & 0xFF00, 0);
    EXPECT_EQ(rtl::GetAsyncKeyState(rtl::VK_CONTROL), 0);
    rtl::SetKeyStateProvider(nullptr);
    EXPECT_EQ(rtl::GetAsyncKeyState(rtl::VK_SHIFT), 0);
}
#endif
