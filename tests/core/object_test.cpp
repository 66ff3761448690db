#include <gtest/gtest.h>

#include "exceptions.h"

TEST(Object, ClassNamesAndInheritanceByName) {
  EConvertError e("bad");
  EXPECT_STREQ(e.ClassName(), "EConvertError");
  EXPECT_TRUE(e.InheritsFrom("Exception"));
  EXPECT_TRUE(e.InheritsFrom("exception"));
  EXPECT_TRUE(e.InheritsFrom("TObject"));
  EXPECT_FALSE(e.InheritsFrom("EAbort"));
  EXPECT_EQ(e.Message(), "bad");
}
