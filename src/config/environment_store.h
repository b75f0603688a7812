// The environment store: the current value of every catalogue setting for this process,
// read and written by setting name with type checks. Start-up fills every setting with
// its catalogue default and then applies the configured values of the registry-backed
// configuration manager. Writes of settings marked ENV_MOD_NOTIFY are announced to the
// store's worker, which passes them on to listeners.
//
// Every operation returns a status (0, -501 unknown name / wrong type / bad index, -503
// not started or started twice, -510 no value held) and logs its own failures under
// VORN_EVENT_CAT_MGMT_ENV. Any thread may read and write once the store is started; one
// semaphore serialises all access to the values.
#pragma once

#include <cstdint>
#include <string>

#include "config/settings_catalogue.h"
#include "eventlog/status.h"

// The 32-bit value of an enumerated setting. For orvix.language the codes are languages.
enum eVORN_MGMT_ENV_ENUM : int32_t {
    VORN_MGMT_ENV_LANGUAGE_ENGLISH = 0,
    VORN_MGMT_ENV_LANGUAGE_FRENCH = 1,
    VORN_MGMT_ENV_LANGUAGE_GERMAN = 2,
    VORN_MGMT_ENV_LANGUAGE_SPANISH = 3,
    VORN_MGMT_ENV_LANGUAGE_ITALIAN = 4,
    VORN_MGMT_ENV_LANGUAGE_PORTUGUESE = 5,
    VORN_MGMT_ENV_LANGUAGE_KOREAN = 6,
    VORN_MGMT_ENV_LANGUAGE_JAPANESE = 7,
    VORN_MGMT_ENV_LANGUAGE_CHINESE_TRAD = 8,
    VORN_MGMT_ENV_LANGUAGE_CHINESE_SIMP = 9,
    VORN_MGMT_ENV_LANGUAGE_GREEK = 10,
};

// Start-up. flag is kept and not otherwise used (tools pass 0). Returns 0, -503 when the
// store is started already, or the failing status of the internal start-up.
int32_t vorn_mgmt_env_init(uint8_t flag);

// Typed reads. -503 before start-up, -501 for an unknown name or another value type,
// -510 (with a zero or empty result) when the slot holds no value.
int32_t vorn_mgmt_env_get_uint8(const char* name, uint8_t* value);
int32_t vorn_mgmt_env_get_uint16(const char* name, uint16_t* value);
int32_t vorn_mgmt_env_get_uint32(const char* name, uint32_t* value);
int32_t vorn_mgmt_env_get_enum(const char* name, eVORN_MGMT_ENV_ENUM* value);
// Copies at most size - 1 bytes (size counted up to 512) and a terminating zero.
int32_t vorn_mgmt_env_get_string(const char* name, char* buffer, uint32_t size);

// Typed writes; the same refusals as the reads. A text is cut to 511 bytes.
int32_t vorn_mgmt_env_set_uint8(const char* name, uint8_t value);
int32_t vorn_mgmt_env_set_uint16(const char* name, uint16_t value);
int32_t vorn_mgmt_env_set_uint32(const char* name, uint32_t value);
int32_t vorn_mgmt_env_set_enum(const char* name, eVORN_MGMT_ENV_ENUM value);
int32_t vorn_mgmt_env_set_string(const char* name, const char* value);

// Writes the catalogue default of one setting as its current value.
int32_t vorn_mgmt_env_init_default(const char* name);

// A u8, u16, u32 or text setting as text (enum and MAC-address settings are refused
// with -501; an unknown name gives -510). result is assigned only on success.
int32_t vorn_mgmt_env_get_string_value(const std::string& name, std::string& result);

// True once start-up has completed, configured values included.
bool vorn_mgmt_env_is_available();
