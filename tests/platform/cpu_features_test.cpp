// The CPUID reading of the features some compilers cannot name agrees with the compiler's own
// detection where the compiler can name them.
#include "platform/cpu_features.h"

#include <gtest/gtest.h>

namespace xkit::detail {
namespace {

#if defined(__x86_64__) && !defined(__clang__)
TEST(CpuFeatures, AgreeWithTheCompilersDetection) {
  __builtin_cpu_init();
  EXPECT_EQ(CpuHasAdx(), __builtin_cpu_supports("adx") != 0);
  EXPECT_EQ(CpuHasVaes(), __builtin_cpu_supports("vaes") != 0);
}
#endif

}  // namespace
}  // namespace xkit::detail
