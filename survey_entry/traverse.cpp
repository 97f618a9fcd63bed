// Menu keys "2" and "3": the traverse without and with reduction to the map
// projection plane. One body for both; the kind picks the heading and the
// Statement numbers, written at each call as n(key "2", key "3").
//
// The job name, the vertex count, the start and end vertices, the first
// vertex with its forward sight, each intermediate vertex with its backward
// and forward sights, the last vertex with its backward sight.
#include "survey_entry/dialogues.h"
#include "survey_entry/forms.h"

namespace survey_entry {

void traverse_dialogue(ProgramValues& v, Reduction kind) {
  const auto n = [kind](StatementNumber key_2, StatementNumber key_3) {
    return kind == Reduction::with ? key_3 : key_2;
  };

  dialogue_prologue(v,
                    kind == Reduction::with
                        ? "            POLIGONAL COM REDUCAO AO PLANO CARTOGRAFICO"
                        : "            POLIGONAL SEM REDUCAO AO PLANO CARTOGRAFICO",
                    {.entry = n(87, 165),
                     .first_clear = n(89, 167),
                     .colours = n(90, 168),
                     .second_clear = n(91, 169),
                     .heading = n(95, 171),
                     .empty_row = n(96, 172),
                     .file_question = n(97, 173),
                     .open = n(98, 174)});

  // The job block: the count is written before the job name.
  question(n(99, 175), "Nome do Trabalho :", v.job_name);
  question(n(100, 176), "Numero de vertices(incluindo os extremos) :", v.main_count);
  record_write(n(101, 177), {v.main_count, v.job_name});

  // The start vertex and the end vertex, on one screen.
  clear(n(102, 178));
  sub_heading(n(103, 179), {"Vertice Inicial"});
  empty_line(n(104, 180));
  question(n(105, 181), "Me=", v.me_value);
  question(n(106, 182), "Pe=", v.pe_value);
  question(n(107, 183), "Ce=", v.ce_value);
  question(n(108, 184), "R0=", v.r0_value);
  record_write(n(109, 185), {v.me_value, v.pe_value, v.ce_value, v.r0_value});
  sub_heading(n(110, 186), {"Vertice Final"});
  empty_line(n(111, 187));
  question(n(112, 188), "Me=", v.me_value);
  question(n(113, 189), "Pe=", v.pe_value);
  question(n(114, 190), "Ce=", v.ce_value);
  question(n(115, 191), "R0=", v.r0_value);
  record_write(n(116, 192), {v.me_value, v.pe_value, v.ce_value, v.r0_value});

  // The first vertex: its forward sight.
  clear(n(118, 194));
  sub_heading(n(119, 195), {"1.\xA7 Vertice "});
  question(n(120, 196), "Nome :", v.job_name);
  question(n(121, 197), "Azimutal p/frente :", v.azimuth_value);
  question(n(122, 198), "Zenital  p/frente :", v.zenith_value);
  question(n(123, 199), "Distancia incl. p/frente( 0-caso nao exista ) :", v.slope_distance);
  question(n(124, 200), "Altura do instrumento :", v.instrument_height);
  question(n(125, 201), "Altura visada p/frente :", v.target_height);
  record_write(n(126, 202), {v.job_name, v.azimuth_value, v.zenith_value, v.slope_distance,
                             v.instrument_height, v.target_height});

  // The intermediate vertices 2 to the count less 1: backward, then forward.
  const double last_intermediate = static_cast<double>(v.main_count) - 1.0;
  for (CountedLoop vertices(n(128, 204), v.outer_counter, 2, last_intermediate);
       vertices.next_pass();) {
    clear(n(129, 205));
    vertex_heading(n(130, 206), v.outer_counter);
    question(n(131, 207), "Nome :", v.job_name);
    question(n(132, 208), "Azimutal p/tras :", v.azimuth_value);
    question(n(133, 209), "Zenital  p/tras :", v.zenith_value);
    question(n(134, 210), "Distancia incl. p/tras( 0-caso nao exista ) :", v.slope_distance);
    question(n(135, 211), "Altura do instrumento :", v.instrument_height);
    question(n(136, 212), "Altura visada p/tras :", v.target_height);
    record_write(n(137, 213), {v.job_name, v.azimuth_value, v.zenith_value, v.slope_distance,
                               v.instrument_height, v.target_height});
    question(n(138, 214), "Azimutal p/frente :", v.azimuth_value);
    question(n(139, 215), "Zenital  p/frente :", v.zenith_value);
    question(n(140, 216), "Distancia incl. p/frente( 0-caso nao exista ) :", v.slope_distance);
    question(n(141, 217), "Altura do instrumento :", v.instrument_height);
    question(n(142, 218), "Altura visada p/frente :", v.target_height);
    record_write(n(143, 219), {v.azimuth_value, v.zenith_value, v.slope_distance,
                               v.instrument_height, v.target_height});
  }

  // The last vertex: its backward sight, headed by the count itself.
  clear(n(146, 222));
  vertex_heading(n(147, 223), v.main_count);
  question(n(148, 224), "Nome :", v.job_name);
  question(n(149, 225), "Azimutal p/tras :", v.azimuth_value);
  question(n(150, 226), "Zenital  p/tras :", v.zenith_value);
  question(n(151, 227), "Distancia incl. p/tras( 0-caso nao exista ) :", v.slope_distance);
  question(n(152, 228), "Altura do instrumento :", v.instrument_height);
  question(n(153, 229), "Altura visada p/tras :", v.target_height);
  record_write(n(154, 230), {v.job_name, v.azimuth_value, v.zenith_value, v.slope_distance,
                             v.instrument_height, v.target_height});

  dialogue_closing(v, {.clear = n(156, 232),
                       .surveyor_question = n(157, 233),
                       .calculator_question = n(158, 234),
                       .surveyor_record = n(159, 235),
                       .calculator_record = n(160, 236),
                       .close_all = n(162, 239)});
}

}  // namespace survey_entry
