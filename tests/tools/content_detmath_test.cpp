// The content generator's own sine, cosine and exponential: the same bits everywhere, and close to
// the C library's values (which may differ in the last bits between releases, never by more).
#include <gtest/gtest.h>

#include <cmath>

#include "../../tools/korvana-content/detmath.h"

namespace korvana::content {
namespace {

TEST(ContentMath, SineCosineAndExponentialFollowTheLibrary) {
    for (int i = -4000; i <= 4000; ++i) {
        const double x = i * 0.00731;  // about -29 .. 29, many periods and both reductions
        ASSERT_NEAR(detSin(x), std::sin(x), 1e-13) << "x = " << x;
        ASSERT_NEAR(detCos(x), std::cos(x), 1e-13) << "x = " << x;
    }
    // The worst place for a truncated series: the ends of the reduced range.
    EXPECT_NEAR(detSin(kPi / 2), 1.0, 1e-15);
    EXPECT_NEAR(detSin(-kPi / 2), -1.0, 1e-15);
    for (int i = -200; i <= 200; ++i) {
        const double x = i * 0.173;
        ASSERT_NEAR(detExp(x) / std::exp(x), 1.0, 1e-13) << "x = " << x;
    }
    EXPECT_EQ(detExp(-800.0), 0.0);
}

}  // namespace
}  // namespace korvana::content
