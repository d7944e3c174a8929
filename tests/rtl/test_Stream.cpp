#include "rtl/Stream.h"

#include <gtest/gtest.h>

using namespace rtl;

TEST(MemoryStream, ReadWriteSeek) {
    TMemoryStream ms;
    EXPECT_EQ(ms.Write("abcdef", 6), 6);
    EXPECT_EQ(ms.Size(), 6);
    EXPECT_EQ(ms.Position(), 6);
    ms.SetPosition(2);
    char buf[8] = {};
    EXPECT_EQ(ms.Read(buf, 8), 4);
    EXPECT_STREQ(buf, "cdef");
    EXPECT_EQ(ms.Read(buf, 8), 0);
    EXPECT_EQ(ms.Seek(-1, TSeekOrigin::soBeginning), -1);
    EXPECT_EQ(ms.Seek(-2, TSeekOrigin::soEnd), 4);
    EXPECT_EQ(ms.ReadToEnd(), (TBytes{'e', 'f'}));
}

TEST(MemoryStream, WritingPastTheEndFillsTheGapWithZeros) {
    TMemoryStream ms(TBytes{'x'});
    ms.Seek(3, TSeekOrigin::soBeginning);
    ms.Write("y", 1);
    EXPECT_EQ(ms.Bytes(), (TBytes{'x', 0, 0, 'y'}));
    ms.SetPosition(10);
    char c = 0;
    EXPECT_EQ(ms.Read(&c, 1), 0);
}
