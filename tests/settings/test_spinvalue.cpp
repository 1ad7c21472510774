#include <gtest/gtest.h>
TEST(Placeholder, builds) {}
