// The program values: the routine's whole state, 32 named values (11 Text
// values, 10 Single numbers, 11 Double numbers) that every dialogue shares.
// survey_entry_main creates them once, before statement 1: each text empty,
// each number 0. A question overwrites its value; nothing resets them.
#pragma once

#include "survey_entry/console/text.h"

namespace survey_entry {

struct ProgramValues {
  float inner_counter = 0;  // menu's empty lines; orientation: sighted-vertex loop
  console::Text menu_key;
  console::Text file_name;
  console::Text job_name;  // traverse: also each vertex name ("Nome :")
  float main_count = 0;
  float outer_counter = 0;  // station loop; traverse: intermediate-vertex loop
  console::Text oriented_station_name;
  double me_value = 0;
  double pe_value = 0;
  float sight_count = 0;
  console::Text sighted_vertex_name;
  double mv_value = 0;
  double pv_value = 0;
  double lv_value = 0;
  console::Text surveyor_name;
  console::Text calculator_name;
  double ce_value = 0;
  double r0_value = 0;
  double azimuth_value = 0;
  double zenith_value = 0;
  double slope_distance = 0;
  float instrument_height = 0;
  float target_height = 0;
  console::Text station_name;
  float hi_value = 0;
  float point_counter = 0;
  console::Text point_name;  // CLASSICO: first the circle position letter
  double di_value = 0;
  float hv_value = 0;  // also "Fio Menor="
  console::Text circle_type;
  console::Text measurement_type;
  float upper_stadia = 0;
};

}  // namespace survey_entry
