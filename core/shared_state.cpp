#include "core/shared_state.h"

namespace qv {

void SystemSettings::SetFlowPoints(const std::array<int32_t, kFlowPoints>& q) {
  FluxOne = q[0];
  FluxTwo = q[1];
  FluxThree = q[2];
  FluxFour = q[3];
  FluxFive = q[4];
}

}  // namespace qv
