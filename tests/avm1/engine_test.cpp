#include <gtest/gtest.h>
TEST(Avm1, Placeholder) {}
