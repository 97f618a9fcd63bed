// Menu key "1": ORIENTACAO DE GIRO. For each station its name, "Me=", "Pe="
// and the number of sighted vertices; for each sighted vertex its name,
// "Mv=", "Pv=" and "Lv=". One record per job, station and sighted vertex.
#include "survey_entry/dialogues.h"
#include "survey_entry/forms.h"

namespace survey_entry {

void orientation_dialogue(ProgramValues& v) {
  dialogue_prologue(v, "            ORIENTACAO DE GIRO",
                    {.entry = 43,
                     .first_clear = 45,
                     .colours = 46,
                     .second_clear = 47,
                     .heading = 51,
                     .empty_row = 52,
                     .file_question = 53,
                     .open = 54});
  question(55, "Nome do Trabalho :", v.job_name);
  question(56, "Numero de orientacoes :", v.main_count);
  record_write(57, {v.job_name, v.main_count});

  for (CountedLoop stations(58, v.outer_counter, 1, v.main_count); stations.next_pass();) {
    clear(59);
    numbered_label(60, "Nome da", v.outer_counter, ".\xA6  ESTACAO :");
    question(61, "", v.oriented_station_name);
    question(62, "Me=", v.me_value);
    question(63, "Pe=", v.pe_value);
    question(64, "N.\xA7 de Vertices Visados :", v.sight_count);
    record_write(65, {v.oriented_station_name, v.me_value, v.pe_value, v.sight_count});
    clear(66);
    sub_heading(67, {"Estacao :", v.oriented_station_name});

    for (CountedLoop vertices(68, v.inner_counter, 1, v.sight_count); vertices.next_pass();) {
      numbered_label(69, "Nome do", v.inner_counter, ".\xA7  VERTICE :");
      question(70, "", v.sighted_vertex_name);
      question(71, "Mv=", v.mv_value);
      question(72, "Pv=", v.pv_value);
      question(73, "Lv=", v.lv_value);
      record_write(74, {v.sighted_vertex_name, v.mv_value, v.pv_value, v.lv_value});
    }
  }

  dialogue_closing(v, {.clear = 78,
                       .surveyor_question = 79,
                       .calculator_question = 80,
                       .surveyor_record = 81,
                       .calculator_record = 82,
                       .close_all = 84});
}

}  // namespace survey_entry
