#include "platform/processors.h"

#include <sched.h>

namespace zelvane::platform {

bool severalProcessors() {
    cpu_set_t set{};
    return sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 1;
}

} // namespace zelvane::platform
