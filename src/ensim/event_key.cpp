#include "ensim/event_key.h"

#include <string>

#include "ensim/keyword_line.h"
#include "platform/console.h"
#include "platform/fatal.h"

namespace nimbex {

namespace {

struct RealKey {
    std::string_view key;
    float EventRecord::*field;
};
struct IntKey {
    std::string_view key;
    int EventRecord::*field;
};
struct FlagKey {
    std::string_view key;
    char EventFlags::*field;
};
struct NameKey {
    std::string_view key;
    int slot;  // 0: a value is needed but nothing is stored
};

constexpr RealKey real_keys[] = {
    {":intsoilmoisture", &EventRecord::intsoilmoisture},
    {":rainconvfactor", &EventRecord::rainconvfactor},
    {":eventprecipscalefactor", &EventRecord::eventprecipscalefactor},
    {":precipscalefactor", &EventRecord::precipscalefactor},
    {":eventsnowscalefactor", &EventRecord::eventsnowscalefactor},
    {":eventtempscalefactor", &EventRecord::eventtempscalefactor},
    {":snowscalefactor", &EventRecord::snowscalefactor},
    {":hoursraindata", &EventRecord::hoursraindata},
    {":hoursflowdata", &EventRecord::hoursflowdata},
    {":tempscalefactor", &EventRecord::tempscalefactor},
    {":disaggregate", &EventRecord::disaggregate},
};

constexpr IntKey int_keys[] = {
    {":year", &EventRecord::year},
    {":month", &EventRecord::month},
    {":day", &EventRecord::day},
    {":hour", &EventRecord::hour},
    {":deltat_report", &EventRecord::deltat_report},
    {":noeventstofollow", &EventRecord::noeventstofollow},
    {":spinupevents", &EventRecord::spinupevents},
};

constexpr FlagKey flag_keys[] = {
    {":snwflg", &EventFlags::snwflg},       {":sedflg", &EventFlags::sedflg},
    {":vapflg", &EventFlags::vapflg},       {":smrflg", &EventFlags::smrflg},
    {":resinflg", &EventFlags::resinflg},   {":tbcflg", &EventFlags::tbcflg},
    {":resumflg", &EventFlags::resumflg},   {":contflg", &EventFlags::contflg},
    {":routeflg", &EventFlags::routeflg},   {":crseflg", &EventFlags::crseflg},
    {":ensimflg", &EventFlags::ensimflg},   {":kenueflg", &EventFlags::kenueflg},
    {":picflg", &EventFlags::picflg},       {":wetflg", &EventFlags::wetflg},
    {":modelflg", &EventFlags::modelflg},   {":shdflg", &EventFlags::shdflg},
    {":trcflg", &EventFlags::trcflg},       {":hdrflg", &EventFlags::hdrflg},
    {":frcflg", &EventFlags::frcflg},       {":initflg", &EventFlags::initflg},
    {":grdflg", &EventFlags::grdflg},       {":ntrlflg", &EventFlags::ntrlflg},
    {":nudgeflg", &EventFlags::nudgeflg},   {":resetflg", &EventFlags::resetflg},
    {":divertflg", &EventFlags::divertflg}, {":pafflg", &EventFlags::pafflg},
    {":fliflg", &EventFlags::fliflg},       {":lakeflg", &EventFlags::lakeflg},
    {":iceflg", &EventFlags::iceflg},
};

constexpr NameKey name_keys[] = {
    {":basinfilename", 1},
    {":parfilename", 2},
    {":pointdatalocations", 3},
    {":pointprecip", 5},
    {":streamflowdatafile", 6},
    {":reservoirreleasefile", 7},
    {":reservoirinflowfile", 8},
    {":radarfile", 9},
    {":griddedrainfile", 10},
    {":rawradarfile", 11},
    {":clutterfile", 12},
    {":snowcoverdepletioncurve", 13},
    {":pointtemps", 14},
    {":griddedtemperaturefile", 15},
    {":griddednetradiation", 19},
    {":pointnetradiation", 20},
    {":griddedhumidity", 21},
    {":griddedwind", 0},
    {":griddedlongwave", 23},
    {":griddedshortwave", 24},
    {":griddedatmpressure", 25},
    {":pointhumidity", 26},
    {":pointwind", 0},
    {":pointlongwave", 28},
    {":pointshortwave", 29},
    {":pointatmpressure", 30},
    {":griddedrunoff", 31},
    {":griddedrecharge", 32},
    {":griddedleakage", 33},
    {":griddedsnowfile", 34},
    {":snowcoursefile", 35},
    {":griddedinitsnowweq", 36},
    {":griddedinitsoilmoisture", 37},
    {":griddedinitlzs", 38},
    {":pointsoilmoisture", 39},
    {":waterqualitydatafile", 40},
    {":channelparfile", 41},
    {":pointsnow", 44},
    {":pointdrain", 45},
    {":pointdsnow", 46},
    {":griddedsnow", 47},
    {":griddeddrain", 48},
    {":griddeddsnow", 49},
    {":initlakelevel", 50},
    {":griddedevaporation", 51},
    {":diversionflowfile", 52},
    {":observedlakelevel", 53},
    {":flowinit", 55},
    {":pointwindspd", 56},
    {":pointwinddir", 57},
    {":griddedwindspd", 58},
    {":griddedwinddir", 59},
    {":climatenormalsdiff", 60},
    {":griddeddailydifference", 62},
};

[[noreturn]] void unknown_key(Console& con, std::string_view key) {
    con.blank();
    con.line(key);
    con.line("This key word is not recognized");
    con.line("Please update this program");
    con.line("to the latest version");
    con.blank();
    con.line("If this exec is an older version & you would");
    con.line("like to use it on a newer event file that has");
    con.line("keywords that have been added since this exec");
    con.line("was built, please edit the event files to");
    con.line("delete these unrecognized lines");
    con.line("!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!");
    con.blank();
    fatal_stop("Program aborted in EF_module @ 2763");
}

}  // namespace

KeyOutcome handle_event_key(Console& con, EventRecord& e, std::string_view key, std::string_view value) {
    key = trim_right(key);
    std::string word, rest;
    const bool has_word = next_word(value, word, rest);

    for (const RealKey& k : real_keys) {
        if (key != k.key) continue;
        if (!has_word) return key_bad_value;
        take_value(word, e.*k.field);
        return key_stored;
    }
    for (const IntKey& k : int_keys) {
        if (key != k.key) continue;
        if (!has_word) return key_bad_value;
        take_value(word, e.*k.field);
        return key_stored;
    }
    for (const FlagKey& k : flag_keys) {
        if (key != k.key) continue;
        if (!has_word) return key_bad_value;
        std::string letter;
        take_text(word, letter);
        if (!letter.empty()) {
            e.*k.field = letter[0];
            if (k.field == &EventFlags::kenueflg) e.ensimflg = letter[0];
        }
        return key_stored;
    }
    for (const NameKey& k : name_keys) {
        if (key != k.key) continue;
        if (!has_word) return key_bad_value;
        if (k.slot == 0) return key_stored;
        if (k.slot == 1 || k.slot == 2) file_part(word);
        std::string taken;
        take_text(word, taken);
        if (taken.size() > static_cast<std::size_t>(event_name_width)) throw LongName(key, taken);
        take_value(word, e.names[static_cast<std::size_t>(k.slot)]);
        return key_stored;
    }
    unknown_key(con, key);
}

}  // namespace nimbex
