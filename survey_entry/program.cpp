#include "survey_entry/program.h"

#include <atomic>

#include "survey_entry/console/keyboard.h"
#include "survey_entry/console/output_file.h"
#include "survey_entry/console/run_control.h"
#include "survey_entry/console/text_screen.h"
#include "survey_entry/dialogues.h"
#include "survey_entry/forms.h"
#include "survey_entry/statements.h"
#include "survey_entry/strings.h"

namespace survey_entry {

void draw_menu(ProgramValues& v) {
  clear(1);                    // in the start colours 7 on 0
  set_colours(2, 1, 2, 1, 7);  // blue on green; the border has no effect in text mode
  clear(3);
  empty_line(6);
  empty_line(7);
  empty_line(8);
  printed_line(9, {"          *************************************************************"});
  printed_line(10, {"          *                                                           *"});
  printed_line(11, {"          *                PROGRAMAS DE TOPOGRAFIA                    *"});
  printed_line(12, {"          *            Producao de Ficheiros de Entrada               *"});
  printed_line(13, {"          *                                                           *"});
  printed_line(14, {"          *    1.  ORIENTACAO DE GIRO                  ( Prima 1 )    *"});
  printed_line(15, {"          *    2.  POLIGONAL S/RED.PLANO CARTOGRAFICO  ( Prima 2 )    *"});
  printed_line(16, {"          *    3.  POLIGONAL C/RED.PLANO CARTOGRAFICO  ( Prima 3 )    *"});
  printed_line(17, {"          *    4.  IRRADIACAO S/RED.PLANO CARTOGRAFICO ( Prima 4 )    *"});
  printed_line(18, {"          *    5.  IRRADIACAO C/RED.PLANO CARTOGRAFICO ( Prima 5 )    *"});
  printed_line(19, {"          *    6.  CLASSICO                            ( Prima 6 )    *"});
  printed_line(20, {"          *                                                           *"});
  printed_line(21, {"          *************************************************************"});
  for (CountedLoop loop(22, v.inner_counter, 1, 5); loop.next_pass();) {
    empty_line(23);
  }
  select_screen_mode_0(25);
  set_colours(26, 4, 0, 0, 1);  // red, background unchanged
  printed_line(27, {"                                  *************************************"});
  printed_line(28, {"                                  *       SAIR        ( Prima 0)      *"});
  printed_line(29, {"                                  *************************************"});
  set_colours(30, 0, 0, 0, 1);  // black, background unchanged
  printed_line(31, {" CONSULTE      PROG.TXT PARA SABER OS FORMATOS DOS FICHEIROS DE ENTRADA"});
}

void end_program() {
  console::close_files();
  console::set_text_window(25, 25);
  console::line_end();  // the one-row window scrolls onto itself: row 25 blank
  console::print_text("Press any key to continue", 0);
  while (!console::take_key().empty()) {
  }
  for (;;) {
    console::wait_for_key_or_stop();
    if (console::stop_flag.load(std::memory_order_acquire)) console::halt_program();
    if (!console::take_key().empty()) break;
  }
  console::close_request.store(true, std::memory_order_release);
  console::halt_program();
}

void survey_entry_main() {
  ProgramValues v;  // the 32 program values, created once: texts empty, numbers 0

  draw_menu(v);

  // The key loop: every key but "1" to "6" and "0" is read and ignored.
  for (;;) {
    jump_target(33);
    v.menu_key = console::read_keys(1, 0, 0);
    statement_end(33);
    if (jump_test(34, strings_equal(v.menu_key, "1"))) {
      orientation_dialogue(v);
      break;
    }
    if (jump_test(35, strings_equal(v.menu_key, "2"))) {
      traverse_dialogue(v, Reduction::without);
      break;
    }
    if (jump_test(36, strings_equal(v.menu_key, "3"))) {
      traverse_dialogue(v, Reduction::with);
      break;
    }
    if (jump_test(37, strings_equal(v.menu_key, "4"))) {
      radiation_dialogue(v, Reduction::without);
      break;
    }
    if (jump_test(38, strings_equal(v.menu_key, "5"))) {
      radiation_dialogue(v, Reduction::with);
      break;
    }
    if (jump_test(39, strings_equal(v.menu_key, "6"))) {
      classico_dialogue(v);
      break;
    }
    if (jump_test(40, strings_equal(v.menu_key, "0"))) break;
  }

  jump_target(417);
  clear(417);  // in the colours in force: black on green after "0", blue on cyan after a dialogue
  end_program();  // 418
}

}  // namespace survey_entry
