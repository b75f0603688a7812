// Status codes shared by the store, the configuration manager, the primitives, the
// event log and the file functions. Signed 32-bit; 0 is success, failures are negative.
// Functions that report operating-system errors (the log rotor) return the positive
// Windows error code instead, as documented at each such function.
#pragma once

#include <cstdint>

enum : int32_t {
    VORN_STATUS_SUCCESS = 0,
    VORN_STATUS_FAILURE = -500,          // general failure
    VORN_STATUS_INVALID = -501,          // not found, wrong type or invalid argument
    VORN_STATUS_MISSING_ARGUMENT = -502, // a required pointer was null
    VORN_STATUS_NOT_STARTED = -503,      // not started, already started or shutting down
    VORN_STATUS_TIMEOUT = -504,          // time-out or busy
    VORN_STATUS_EMPTY = -506,            // empty result
    VORN_STATUS_NO_VALUE = -510,         // no value held
    VORN_STATUS_ALREADY_SET = -511,      // already set
};
