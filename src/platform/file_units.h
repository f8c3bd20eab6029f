#pragma once
// The run's fixed file unit numbers and the entries of its file-name list.
// The numbers stay as they are: messages show them ("Closed unit 35",
// "error opening unit 99") and the event file's keywords fill the entries.
namespace nimbex {

namespace unit {
constexpr int watershed = 31;
constexpr int parameters = 32;
constexpr int pdl = 33;
constexpr int gauges = 35;
constexpr int event_grid = 40;   // the event's yyyymmdd_met.r2c
constexpr int cumm_report = 50;  // nimbex_cumm.txt
constexpr int info_report = 51;  // nimbex_info.txt, the echo of the inputs
constexpr int recl_report = 52;  // nimbex_recl.txt
constexpr int flag_report = 53;  // nimbex_flag.txt
constexpr int yrly_report = 54;  // nimbex_yrly.txt
constexpr int scratch = 99;      // event files, junk, station lists, ddsflg_override.txt
constexpr int static_grid = 499; // basin\elv_max.r2c
constexpr int run_totals = 599;  // nimbex_sum.r2c
}  // namespace unit

namespace entry {
constexpr int watershed = 1;
constexpr int parameters = 2;
constexpr int pdl = 3;
constexpr int gauges = 5;
constexpr int event_grid = 10;
constexpr int event_file = 99;   // the event file being read
constexpr int static_grid = 499; // basin\elv_max.r2c
constexpr int run_totals = 599;  // nimbex_sum.r2c
}  // namespace entry

}  // namespace nimbex
