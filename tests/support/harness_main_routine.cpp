// The run of the whole program routine. Kept apart so that tests which pass
// their own routine do not need the program's objects.
#include "harness.h"
#include "survey_entry/program.h"

namespace harness {

RoutineRun::RoutineRun() : RoutineRun([] { survey_entry::survey_entry_main(); }) {}

}  // namespace harness
