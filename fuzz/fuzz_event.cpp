// The event file: the first event of a run, then the same bytes as a later one.
#include <array>

#include "fuzz_common.h"
#include "readers/event_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::enter_work_dir();
    fuzz::write_file("event/event.evt", data, size);
    fuzz::Session s;
    s.open_reports();
    s.rs.file_name(99) = "event/event.evt";
    float conv = 0.0f, scale = 0.0f;
    std::array<float, 16> smc{};
    int hours_rain = 0, hours_flow = 0;
    s.rs.event_number = 1;
    if (!fuzz::run([&] { nimbex::read_evt(s.rs, conv, scale, smc, hours_rain, hours_flow); })) return 0;
    fuzz::require(s.rs.event_count >= 1, "event count");
    s.rs.event_number = 2;
    fuzz::run([&] { nimbex::read_evt(s.rs, conv, scale, smc, hours_rain, hours_flow); });
    return 0;
}
