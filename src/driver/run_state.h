#pragma once
// The shared run state, owned by the driver and passed by reference to the
// routines that need it. Arrays are created when their sizes are known and
// only grow. Indices that the file layouts number from 1 are kept 1-based
// where noted (element 0 unused) so that the code reads like the layouts.
#include <string>
#include <vector>

#include "driver/dist_state.h"
#include "driver/grid_description.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/text.h"
#include "readers/event_state.h"
#include "readers/gauge_set.h"
#include "readers/par_result.h"
#include "readers/shed_state.h"
#include "weighting/weight_state.h"
#include "writers/output_grid_header.h"

namespace nimbex {

constexpr int file_name_entries = 601;
constexpr int file_name_width = 256;

struct RunState {
    explicit RunState(Console& console) : con(console), file_names(file_name_entries + 1) {}

    Console& con;        // console lines and pauses
    FileTable files;     // open files by unit number
    FileLock lock;       // the working directory's lock, held for the run

    // The run's file-name list, entries 1..601 (element 0 unused).
    std::vector<FText<file_name_width>> file_names;
    FText<file_name_width>& file_name(int entry) { return file_names.at(entry); }

    std::string argument;      // command-line argument 1 as given
    int event_number = 1;      // event being processed, 1 for event/event.evt
    int event_count = 1;       // events of the run
    int idw_power = 2;         // inverse-distance power
    int iopt = 1;              // debug level (parameter file may change it)

    float rlapse = 0.0f;       // precipitation lapse rate, per metre
    float radiusinflce = 1.0e6f;  // radius of influence: km as read, cells after conversion
    float smoothdist = 0.0f;      // smoothing distance: km as read, cells after conversion
    float a12 = 0.0f;          // disaggregation threshold in force for the event, mm
    float event1_conversion = 0.0f;  // rain conversion factor of the first event file

    GridDescription grid;      // the grid description in force
    int nx_pdl = 0, ny_pdl = 0;  // precipitation grid size (pdl header)

    std::vector<float> elev_grid;  // ycount x xcount of the watershed grid, row-major from row 1
    bool elv_max_used = false;
    bool lapse_active = false;
    bool narr_input = false;
    int frame_count = 0;
    int calendar_year = 0;     // start year of the event, for the frame calendar

    EventState evt;            // event record, switches, chain
    ShedState shed;            // watershed cells, pdl and static grids
    ParResult par_result;      // what the run uses of the parameter file
    GaugeSet gauges;           // gauge data of the event
    StationWeights wts;        // the weighting's own state
    OutputGridHeader out_hdr;  // header of the r2c file being written
    DistState dist;            // work grids of the distribution
};

}  // namespace nimbex
