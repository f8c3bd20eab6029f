#pragma once
// What the event file reader keeps across the chain: the event record just
// read, the run's switches and first-event copies, the event chain.
//
// What the driver reads after read_evt:
//   - start of the event:   year, month, day, hour (and day_of_year), the run clock below;
//   - date text:            date_text ("yyyy/mm/dd", blank-filled);
//   - smrflg in force:      sw.smrflg (an "a" in the first event file makes it "y" for all events);
//   - disaggregate:         event.disaggregate (the event file's value; 0 when no file set it);
//   - the chain:            event_fln, entries 2..event_count (1-based, element 0 and 1 unused);
//                           rs.event_count is N+1 after the first event file announced N events.
#include <array>
#include <vector>

#include "ensim/event_record.h"
#include "platform/text.h"

namespace nimbex {

constexpr int event_chain_name_width = 256;

struct EventState {
    EventRecord event;   // the event file just read

    // The run's switches in force for the current event (after the first-event
    // copies, the "a" markers and letter-case folding have been applied).
    EventFlags sw;

    // Copies from the first event; later events cannot change these.
    char snwflg1 = '\0', sedflg1 = '\0', resinflg1 = '\0', routeflg1 = '\0', wetflg1 = '\0';
    char trcflg1 = '\0', frcflg1 = '\0', modelflg1 = '\0', divertflg1 = '\0', pafflg1 = '\0';
    char lakeflg1 = '\0', iceflg1 = '\0';
    int deltat_report1 = 0;
    float precipscalefactor1 = 0.0f;  // first event's, a negative value taken as 0
    float snowscalefactor1 = 0.0f;    // first event's

    // "a" in the first event file: the switch is "y" for all events.
    bool ensimflg_all = false;
    bool grdflg_all = false;
    bool ntrlflg_all = false;
    bool smrflg_all = false;

    // The run clock: start of the current event and its day of the year
    // (0 when the month is not 1..12).
    int year = 0, month = 0, day = 0, hour = 0, day_of_year = 0;
    FText<10> date_text;   // "yyyy/mm/dd", one-digit numbers blank-filled

    // Start of the run (the first event's date and hour).
    int year1 = 0, month1 = 0, day1 = 0, hour1 = 0;

    // The event chain: entries 2..N+1 name the following event files (1-based).
    std::vector<FText<event_chain_name_width>> event_fln;

    // Entries 2 and 3 of the file-name list as the first event gave them.
    FText<256> par_file_name;
    FText<256> pdl_file_name;

    // True when the first event's ":climatenormalsdiff" file exists.
    bool daily_differences = false;

    // Run settings fixed by the first event file: resetflg and hdrflg "y".
    bool reset_run = false;
    bool header_run = false;

    // Factors in force for the current event.
    float precip_scale = 0.0f;   // handed back by read_evt
    float snow_scale = 0.0f;
    float temp_scale = 0.0f;     // the run's, from the first event
};

}  // namespace nimbex
