#include "utility/tlx_utility.h"

DataCorruptionCheck& DataCorruptionCheck::Instance() {
  static DataCorruptionCheck instance;
  return instance;
}
