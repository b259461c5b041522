// How much of the machine this process may use.
#pragma once

namespace zelvane::platform {

// Whether the process may run on more than one processor (taskset may pin it to one), so
// that work handed to a second thread runs beside this one rather than in turns with it.
bool severalProcessors();

} // namespace zelvane::platform
