// Menu keys "4" and "5": side shots from stations, without and with
// reduction to the map projection plane. One body for both; every Statement
// number under key "5" is the one under key "4" plus 50, written at each
// call as n(key "4", key "5").
//
// Also the station block and the point block, which CLASSICO uses too.
#include "survey_entry/dialogues.h"
#include "survey_entry/forms.h"

namespace survey_entry {

// Steps 1 to 10 are the statements first to first + 9: 258 to 267 under
// key "4", 308 to 317 under key "5", 367 to 376 in CLASSICO.
void station_block(ProgramValues& v, StatementNumber first) {
  sub_heading(first + 0, {"Estacao n\xA7.", v.outer_counter});
  empty_line(first + 1);
  question(first + 2, "Nome da Estacao :", v.station_name);
  question(first + 3, "Me=", v.me_value);
  question(first + 4, "Pe=", v.pe_value);
  question(first + 5, "Ce=", v.ce_value);
  question(first + 6, "R0=", v.r0_value);
  question(first + 7, "Hi=", v.hi_value);
  question(first + 8, "N\xA7. de irradiadas=", v.sight_count);
  record_write(first + 9, {v.station_name, v.me_value, v.pe_value, v.ce_value, v.r0_value,
                           v.hi_value, v.sight_count});
}

// Steps 1 to 6 of a point screen, statements first to first + 5: 270 to 275
// under key "4", 320 to 325 under key "5", 380 to 385 and 394 to 399 in
// CLASSICO.
void point_block_head(ProgramValues& v, StatementNumber first) {
  sub_heading(first + 0, {"Estacao  ", v.station_name});
  empty_line(first + 1);
  numbered_label(first + 2, "Nome do", v.point_counter, ".\xA7  PONTO");
  question(first + 3, "", v.point_name);
  question(first + 4, "Az=", v.azimuth_value);
  question(first + 5, "Z =", v.zenith_value);
}

// Statements first to first + 9: 270 to 279 under key "4", 320 to 329 under
// key "5", 380 to 389 in CLASSICO's distance form.
void point_block(ProgramValues& v, StatementNumber first) {
  point_block_head(v, first);
  question(first + 6, "Di=", v.di_value);
  question(first + 7, "Hv=", v.hv_value);
  record_write(first + 8, {v.point_name, v.azimuth_value, v.zenith_value, v.di_value, v.hv_value});
  clear(first + 9);
}

void radiation_dialogue(ProgramValues& v, Reduction kind) {
  const auto n = [kind](StatementNumber key_4, StatementNumber key_5) {
    return kind == Reduction::with ? key_5 : key_4;
  };

  dialogue_prologue(v,
                    kind == Reduction::with
                        ? "            IRRADIACAO COM REDUCAO AO PLANO CARTOGRAFICO"
                        : "            IRRADIACAO SEM REDUCAO AO PLANO CARTOGRAFICO",
                    {.entry = n(243, 293),
                     .first_clear = n(245, 295),
                     .colours = n(246, 296),
                     .second_clear = n(247, 297),
                     .heading = n(249, 299),
                     .empty_row = n(250, 300),
                     .file_question = n(251, 301),
                     .open = n(252, 302)});
  question(n(253, 303), "Nome do Trabalho :", v.job_name);
  question(n(254, 304), "Numero de Estacoes :", v.main_count);
  record_write(n(255, 305), {v.job_name, v.main_count});
  clear(n(256, 306));

  for (CountedLoop stations(n(257, 307), v.outer_counter, 1, v.main_count); stations.next_pass();) {
    station_block(v, n(258, 308));  // to 267 / 317
    clear(n(268, 318));
    for (CountedLoop points(n(269, 319), v.point_counter, 1, v.sight_count); points.next_pass();) {
      point_block(v, n(270, 320));  // to 279 / 329
    }
  }

  dialogue_closing(v, {.clear = n(284, 334),
                       .surveyor_question = n(285, 335),
                       .calculator_question = n(286, 336),
                       .surveyor_record = n(287, 337),
                       .calculator_record = n(288, 338),
                       .close_all = n(290, 340)});
}

}  // namespace survey_entry
