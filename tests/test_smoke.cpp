#include "support/sim_fixture.h"

namespace qvtest {
namespace {

class Smoke : public SimTest {};

TEST_F(Smoke, ConnectAndReadLuminance) {
    connect_first();
    int16_t v = 0;
    ASSERT_EQ(SetDisplayLuminance(100), RC_OK);
    ASSERT_EQ(GetDisplayLuminance(&v), RC_OK);
    EXPECT_EQ(v, 100);
}

}  // namespace
}  // namespace qvtest
