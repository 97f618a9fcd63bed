#include "survey_entry/statements.h"

namespace survey_entry {

bool CountedLoop::next_pass() {
  if (entered_) next_ += 1.0;
  entered_ = true;
  counter_ = static_cast<float>(next_);
  if (!(next_ <= limit_)) return false;  // past the limit: the loop ends, no check
  statement_end(statement_);
  return true;
}

}  // namespace survey_entry
