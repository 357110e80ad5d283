#include "detection/core/flow_arithmetic.h"

#include <cmath>

#include "core/number_format.h"
#include "detection/core/degree_table.h"

namespace qv {

// clang-format off
const std::array<float, 150> DensityTable = {
    1000.2f, 1000.2f, 1000.2f, 1000.2f, 1000.2f, 1000.2f, 1000.1f, 1000.1f, 1000.0f, 999.94f,
    999.84f, 999.74f, 999.61f, 999.48f, 999.34f, 999.18f, 999.01f, 998.83f, 998.64f, 998.44f,
    998.22f, 998.0f,  997.77f, 997.52f, 997.27f, 997.01f, 996.74f, 996.46f, 996.17f, 995.87f,
    995.56f, 995.25f, 994.93f, 994.59f, 994.25f, 993.91f, 993.55f, 993.19f, 992.81f, 992.44f,
    992.05f, 991.65f, 991.25f, 990.85f, 990.43f, 990.01f, 989.58f, 989.14f, 988.7f,  988.25f,
    987.8f,  987.33f, 986.87f, 986.39f, 985.91f, 985.42f, 984.93f, 984.43f, 983.93f, 983.41f,
    982.9f,  982.37f, 981.84f, 981.31f, 980.77f, 980.22f, 979.67f, 979.12f, 978.55f, 977.98f,
    977.41f, 976.83f, 976.25f, 975.66f, 975.06f, 974.46f, 973.86f, 973.25f, 972.63f, 972.01f,
    971.39f, 970.76f, 970.12f, 969.48f, 968.84f, 968.19f, 967.53f, 966.87f, 966.21f, 965.54f,
    964.86f, 964.18f, 963.5f,  962.81f, 962.12f, 961.42f, 960.72f, 960.01f, 959.3f,  958.58f,
    957.86f, 957.14f, 956.41f, 955.67f, 954.93f, 954.19f, 953.44f, 952.69f, 951.93f, 951.17f,
    950.4f,  949.63f, 948.86f, 948.08f, 947.29f, 946.51f, 945.71f, 944.92f, 944.11f, 943.31f,
    942.5f,  941.68f, 940.86f, 940.04f, 939.21f, 938.38f, 937.54f, 936.7f,  935.86f, 935.01f,
    934.15f, 933.29f, 932.43f, 931.56f, 930.69f, 929.81f, 928.93f, 928.05f, 927.16f, 926.26f,
    925.37f, 924.46f, 923.56f, 922.64f, 921.73f, 920.81f, 919.88f, 918.95f, 918.02f, 917.08f,
};
// clang-format on

double FlowErrorLimitFormula(int32_t level, int32_t reference, int32_t q) {
  if (q == 0) return 0;
  const double ratio = static_cast<double>(reference) / q;
  switch (level) {
    case 0:
      return 1 + 0.01 * ratio;
    case 1:
      return 2 + 0.02 * ratio;
    case 2:
      return 3 + 0.05 * ratio;
    default:
      return 0;
  }
}

std::string ErrorLimitLabel(double limit) {
  return " Err(" + FormatFixed(limit, 2) + ")";
}

double WaterDensity(double t) {
  if (t <= 1.00001) return -1.0;
  if (t > 150.00001) return -2.0;
  return InterpolateByDegree(DensityTable, t);
}

double VolumeFromMass(double t, double mass) {
  if (t < 0) return 0;
  return mass / WaterDensity(t) * 1000;
}

int64_t CompensatedCoefficient(int64_t old_coefficient, double error_percent) {
  return static_cast<int64_t>(std::trunc((1 - error_percent / 100) * old_coefficient));
}

}  // namespace qv
