// The whole console layer in one include, and the reset to its start state.
#pragma once

#include "survey_entry/console/error_code.h"
#include "survey_entry/console/keyboard.h"
#include "survey_entry/console/line_input.h"
#include "survey_entry/console/number_answer.h"
#include "survey_entry/console/number_text.h"
#include "survey_entry/console/output_file.h"
#include "survey_entry/console/run_control.h"
#include "survey_entry/console/stop_sequence.h"
#include "survey_entry/console/stop_signals.h"
#include "survey_entry/console/text_screen.h"
