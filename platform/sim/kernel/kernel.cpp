#include "kernel.h"

namespace ce::sim {

Kernel& Kernel::Get() {
  static Kernel* kernel = new Kernel;
  return *kernel;
}

}  // namespace ce::sim
