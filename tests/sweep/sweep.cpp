#include "tests/sweep/sweep.h"

#include "tests/support/dispatch_calls.h"

namespace sweep {

Size& Totals() {
  static Size size;
  return size;
}

namespace {

long pending = 0;
bool happened = false;

void BeforeInvoke() {
  FailAllocation(pending);
  pending = 0;  // the next Invoke only
}
void AfterInvoke() { happened = FailAllocation(0) || happened; }

[[maybe_unused]] const bool hooked = [] {
  orvotest::SetAroundInvoke(&BeforeInvoke, &AfterInvoke);
  return true;
}();

// Prints the sweep's size once every test has run.
class SizeReport : public ::testing::Environment {
 public:
  void TearDown() override {
    std::printf("allocation-failure sweep: %ld calls, %ld runs (calls x N)\n", Totals().calls, Totals().runs);
  }
};

[[maybe_unused]] ::testing::Environment* const report = ::testing::AddGlobalTestEnvironment(new SizeReport);

}  // namespace

void PlantInNextInvoke(long n) {
  pending = n;
  happened = false;
}

bool Harvest() {
  const bool was = happened;
  pending = 0;
  happened = false;
  return was;
}

}  // namespace sweep
