// The settings catalogue: the compiled-in, read-only table of every agent setting the
// configuration store knows. A row gives a setting's name, value type, whether an outside
// source may set it, its legal range, how a change takes effect and its default text.
// The row index is the setting's slot number in the environment store.
//
// Every operation is a plain function over the constant table; none locks and all are
// safe from any thread.
#pragma once

#include <cstdint>

// Value type codes (value_type).
enum : uint32_t {
    ENV_VALUE_DEPRECATED = 0,  // the end row
    ENV_VALUE_UNDEFINED = 1,   // the placeholder row 0, and unknown names
    ENV_VALUE_UINT8 = 2,
    ENV_VALUE_UINT16 = 3,
    ENV_VALUE_UINT32 = 4,
    ENV_VALUE_STRING = 5,  // at most 511 bytes of text
    ENV_VALUE_ENUM = 6,    // 32 bits
    ENV_VALUE_MAC_ADDR = 7,
};

// How a change takes effect (a bit set; all ones is carried by some rows and is
// treated like ENV_MOD_STARTUP_ONLY by reloads, without notifying).
enum eENV_MODIFICATION : uint32_t {
    ENV_MOD_NONE = 0,
    ENV_MOD_STARTUP_ONLY = 1,
    ENV_MOD_NOTIFY = 8,
    ENV_MOD_ALL_ONES = 0xFFFFFFFFu,
};

// configurable: whether an outside source may set the value (0 in the placeholder and end rows).
inline constexpr uint32_t ENV_CONFIGURABLE = 2;
inline constexpr uint32_t ENV_NOT_CONFIGURABLE = 1;
// value_class: how a source's raw value is read.
inline constexpr uint32_t ENV_CLASS_NONE = 0;
inline constexpr uint32_t ENV_CLASS_NUMBER = 1;
inline constexpr uint32_t ENV_CLASS_TEXT = 2;
// range_checked: 2 clamps incoming numbers to min_value..max_value (0 in the placeholder and end rows).
inline constexpr uint32_t ENV_RANGE_CHECKED = 2;
inline constexpr uint32_t ENV_RANGE_NOT_CHECKED = 1;

inline constexpr uint32_t ENV_INDEX_NOT_FOUND = 0xFFFFFFFFu;

// One catalogue row, fields in table order.
struct sVORN_ENV_LOOKUP_ENTRY {
    const char* name;
    uint32_t value_type;
    uint32_t category;  // 0, 1 or 2; all ones on the rows whose modification is all ones
    eENV_MODIFICATION modification;
    uint32_t configurable;
    uint32_t value_class;
    uint32_t range_checked;
    uint32_t min_value;
    uint32_t max_value;
    const char* default_value;
};

// The row index of name (exact, case-sensitive); ENV_INDEX_NOT_FOUND when no row carries
// it. The placeholder "???" is found as row 0; the end row's name is never found.
uint32_t get_entry_index(const char* name);
// The same, with the row's value type (ENV_VALUE_UNDEFINED when the name is unknown): one
// lookup for the store's typed reads.
uint32_t get_entry_index(const char* name, uint32_t* value_type);
// The value type of the named row; ENV_VALUE_UNDEFINED when the name is unknown.
uint32_t get_entry_type(const char* name);
// A copy of row index. The caller passes a valid index (0 .. get_num_entries()).
sVORN_ENV_LOOKUP_ENTRY get_entry(uint32_t index);
eENV_MODIFICATION get_entry_modification(uint32_t index);
// The number of settings: the end row's index minus one (224).
uint32_t get_num_entries();
