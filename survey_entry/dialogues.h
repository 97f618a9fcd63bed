// The six dialogues of the menu and the two blocks that the radiation and
// CLASSICO dialogues share. Each dialogue runs from its entry statement to
// its close-all; the routine then goes on to the end of the run.
#pragma once

#include "survey_entry/program_values.h"
#include "survey_entry/statements.h"

namespace survey_entry {

// Keys "2"/"4" are the kinds without reduction to the map projection plane,
// "3"/"5" those with it; they differ only in heading and Statement numbers.
enum class Reduction { without, with };

void orientation_dialogue(ProgramValues& v);                // key "1", 43 to 84
void traverse_dialogue(ProgramValues& v, Reduction kind);   // keys "2" and "3"
void radiation_dialogue(ProgramValues& v, Reduction kind);  // keys "4" and "5"
void classico_dialogue(ProgramValues& v);                   // key "6", 345 to 415

// The station block: ten statements, first to first + 9. Needs a cleared
// screen and outer_counter set; writes the station record.
void station_block(ProgramValues& v, StatementNumber first);

// Steps 1 to 6 of the point block, statements first to first + 5: the
// sub-heading with the station name, an empty row, the point's Numbered
// label and name, "Az=" and "Z =". Needs a cleared screen, point_counter set.
void point_block_head(ProgramValues& v, StatementNumber first);

// The point block: ten statements, first to first + 9; writes the point
// record and ends with the screen cleared.
void point_block(ProgramValues& v, StatementNumber first);

}  // namespace survey_entry
