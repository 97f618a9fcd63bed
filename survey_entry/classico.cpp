// Menu key "6": CLASSICO. Side shots from stations as in the radiation
// dialogues, after three letter questions (the type and the position of the
// vertical circle, the measurement type), each asked again until its whole
// answer is one of its letters. Measurement type M or m takes the stadia
// readings "Fio Maior=" and "Fio Menor=" in place of "Di=" and "Hv=".
#include <initializer_list>
#include <string_view>

#include "survey_entry/dialogues.h"
#include "survey_entry/forms.h"
#include "survey_entry/strings.h"

namespace survey_entry {
namespace {

// The letter test's condition: the answer differs from every listed letter
// (every comparison is made), so it is refused.
bool differs_from_all(const console::Text& answer,
                      std::initializer_list<std::string_view> letters) {
  bool differs = true;
  for (std::string_view letter : letters) {
    differs = strings_differ(answer, console::Text(letter)) && differs;
  }
  return differs;
}

// The stadia point block, statements 394 to 403: the point block with
// "Fio Maior=" and "Fio Menor=" in its steps 7 and 8 and their record.
void stadia_point_block(ProgramValues& v) {
  point_block_head(v, 394);  // 394 to 399
  question(400, "Fio Maior=", v.upper_stadia);
  question(401, "Fio Menor=", v.hv_value);
  record_write(402, {v.point_name, v.azimuth_value, v.zenith_value, v.upper_stadia, v.hv_value});
  clear(403);
}

}  // namespace

void classico_dialogue(ProgramValues& v) {
  dialogue_prologue(v, "                         CLASSICO                     ",
                    {.entry = 345,
                     .first_clear = 347,
                     .colours = 348,
                     .second_clear = 349,
                     .heading = 351,
                     .empty_row = 352,
                     .file_question = 353,
                     .open = 354});

  do {
    jump_target(355);
    question(355, "Tipo de Limbo Vertical (Z,V,N) :", v.circle_type);
  } while (jump_test(356, differs_from_all(v.circle_type, {"Z", "z", "V", "v", "N", "n"})));
  do {
    jump_target(357);
    question(357, "Posicao do Limbo Vertical (D,I) :", v.point_name);
  } while (jump_test(358, differs_from_all(v.point_name, {"D", "d", "I", "i"})));
  do {
    jump_target(359);
    question(359, "Tipo de Medicao (M,D) :", v.measurement_type);
  } while (jump_test(360, differs_from_all(v.measurement_type, {"M", "m", "D", "d"})));
  record_write(361, {v.circle_type, v.point_name, v.measurement_type});

  question(362, "Nome do Trabalho :", v.job_name);
  question(363, "Numero de Estacoes :", v.main_count);
  record_write(364, {v.job_name, v.main_count});
  clear(365);

  for (CountedLoop stations(366, v.outer_counter, 1, v.main_count); stations.next_pass();) {
    station_block(v, 367);  // to 376
    const bool upper_m = strings_equal(v.measurement_type, "M");
    const bool lower_m = strings_equal(v.measurement_type, "m");
    if (jump_test(377, upper_m || lower_m)) {
      jump_target(392);
      clear(392);  // the stadia form
      for (CountedLoop points(393, v.point_counter, 1, v.sight_count); points.next_pass();) {
        stadia_point_block(v);  // 394 to 403
      }
    } else {
      clear(378);  // the distance form
      for (CountedLoop points(379, v.point_counter, 1, v.sight_count); points.next_pass();) {
        point_block(v, 380);  // to 389
      }
    }
    jump_target(407);  // end of the station
  }

  dialogue_closing(v, {.clear = 409,
                       .surveyor_question = 410,
                       .calculator_question = 411,
                       .surveyor_record = 412,
                       .calculator_record = 413,
                       .close_all = 415});
}

}  // namespace survey_entry
