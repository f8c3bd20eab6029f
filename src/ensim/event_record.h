#pragma once
// One event file's record: its one-letter switches and the values, dates and
// file names its keywords set. The event file's keyword handler fills it and
// the event file reader keeps it; both see it from here.
#include <array>

#include "platform/text.h"

namespace nimbex {

constexpr int event_name_slots = 62;
constexpr int event_name_width = 60;

// The 29 one-letter switches. At program start each holds the zero character,
// which is neither a letter nor a blank.
struct EventFlags {
    char snwflg = '\0';
    char sedflg = '\0';
    char vapflg = '\0';
    char smrflg = '\0';
    char resinflg = '\0';
    char tbcflg = '\0';
    char resumflg = '\0';
    char contflg = '\0';
    char routeflg = '\0';
    char crseflg = '\0';
    char ensimflg = '\0';
    char kenueflg = '\0';
    char picflg = '\0';
    char wetflg = '\0';
    char modelflg = '\0';
    char shdflg = '\0';
    char trcflg = '\0';
    char hdrflg = '\0';
    char frcflg = '\0';
    char initflg = '\0';
    char grdflg = '\0';
    char ntrlflg = '\0';
    char nudgeflg = '\0';
    char resetflg = '\0';
    char divertflg = '\0';
    char pafflg = '\0';
    char fliflg = '\0';
    char lakeflg = '\0';
    char iceflg = '\0';
};

// One event file's content. The same record is refilled for every event of the
// chain: fields a file does not set keep the previous file's value, except
// those reset at every read (year, month, day, hour -> 0; deltat_report -> 1;
// spinupevents -> 0; fliflg, lakeflg, iceflg -> "n"; name slots 1..60 -> "dummy").
struct EventRecord : EventFlags {
    float intsoilmoisture = 0.0f;
    float rainconvfactor = 0.0f;
    float eventprecipscalefactor = 0.0f;
    float precipscalefactor = 0.0f;
    float eventsnowscalefactor = 0.0f;
    float eventtempscalefactor = 0.0f;
    float snowscalefactor = 0.0f;
    float hoursraindata = 0.0f;
    float hoursflowdata = 0.0f;
    float tempscalefactor = 0.0f;
    float disaggregate = 0.0f;
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int deltat_report = 0;
    int noeventstofollow = 0;
    int spinupevents = 0;
    // File-name slots 1..62 (element 0 unused); slots 1..60 and 62 go to the
    // run's file-name list at the end of every read.
    std::array<FText<event_name_width>, event_name_slots + 1> names{};
};

}  // namespace nimbex
