// Calls on an object from a second single-threaded apartment of this process.
#ifndef BRISVEL_TESTS_PROXY_OTHER_APARTMENT_H_
#define BRISVEL_TESTS_PROXY_OTHER_APARTMENT_H_

#include <functional>

#include "idl/brisvel.h"

// Runs `call` in a new single-threaded apartment on `object` marshaled there,
// while the calling apartment serves the calls that come back to it.
void CallFromOtherApartment(IAgent* object, const std::function<void(IAgent*)>& call);

#endif  // BRISVEL_TESTS_PROXY_OTHER_APARTMENT_H_
