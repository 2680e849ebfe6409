// Prints the drive board's parameter table as JSON, for the check of the
// Python package's copy (test_parameter_table.py).
#include "drvb/drvb_parameter_table.h"

#include <cstdio>

int main() {
  std::printf("[");
  const char* separator = "";
  for (const tavik::drvb::ParameterInfo& p : tavik::drvb::kParameters) {
    std::printf("%s{\"label\": \"%s\", \"unit\": \"%s\", \"min\": %d, \"max\": %d}", separator, p.label,
                p.unit, p.min, p.max);
    separator = ", ";
  }
  std::printf("]\n");
}
