#include "core/shared_state.h"

#include "core/program_dir.h"

namespace qv {

void SystemSettings::SetFlowPoints(const std::array<int32_t, kFlowPoints>& q) {
  FluxOne = q[0];
  FluxTwo = q[1];
  FluxThree = q[2];
  FluxFour = q[3];
  FluxFive = q[4];
}

SharedState& State() {
  static SharedState* state = [] {
    auto* s = new SharedState;  // lives for the whole process, never destroyed
    s->ProgramDir = ExecutableDir();
    return s;
  }();
  return *state;
}

}  // namespace qv
