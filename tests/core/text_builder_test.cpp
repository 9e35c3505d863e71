#include "core/text_builder.h"

#include <gtest/gtest.h>

TEST(TextBuilder, KeepsEveryAppendInOrderAcrossGrowth) {
    TextBuilder builder;
    String expected;
    for (int i = 0; i < 5000; ++i) {
        const char* piece = (i % 3 == 0) ? "C:\\Program Files\\Tool\\file.txt\r\n" : "~D\r\n";
        builder.Append(piece);
        expected.Append(piece);
    }
    builder.Append('!');
    expected.Append('!');
    EXPECT_EQ(builder.Length(), expected.Length());
    String taken = builder.Take();
    EXPECT_TRUE(taken == expected);
    EXPECT_EQ(taken.Text()[taken.Length()], '\0');
    EXPECT_TRUE(builder.IsEmpty());
    EXPECT_TRUE(builder.Take().IsEmpty());
}

TEST(TextBuilder, IgnoresEmptyAndNullAppends) {
    TextBuilder builder;
    builder.Append(static_cast<const char*>(nullptr));
    builder.AppendBytes("x", 0);
    builder.Append(String());
    EXPECT_TRUE(builder.Take().IsEmpty());
    builder.AppendBytes("a\0b", 3);  // bytes, not text: the NUL stays
    EXPECT_EQ(builder.Take().Length(), 3);
}
