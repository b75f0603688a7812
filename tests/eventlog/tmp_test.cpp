#include <gtest/gtest.h>
#include "eventlog/event_log.h"
TEST(Tmp, Refused) { EXPECT_EQ(vorn_event_log(VORN_EVENT_CAT_COMMON, 2, 0, "x"), -503); }
