#pragma once
// The event record, the run's switches and first-event copies, the event chain.
namespace nimbex {

struct EventState {
};

}  // namespace nimbex
