// A small registry with the calling conventions of the Win32 registry,
// kept in files: one XML file per hive ("HKEY_CURRENT_USER.xml",
// "HKEY_LOCAL_MACHINE.xml") in $QUORL_REGISTRY_DIR, or else in
// "$XDG_CONFIG_HOME/Quorl Audio/Registry" (~/.config when XDG_CONFIG_HOME is
// not set). Every change is written at once to a new file that replaces
// the old one (mode 0600), so a hive file is always whole.
//
// Key paths are separated by '\'; key and value names compare without
// regard to ASCII case. Names are UTF-8 text that XML can carry (anything
// else gives KV_REG_INVALID_PARAMETER); values may hold any bytes, and what
// is stored reads back exactly. Functions return Win32 error numbers (0 success,
// 2 missing key or value, 234 buffer too small, ...), which
// ConvertErrorWIN turns into status codes.
#pragma once

#include <cstdint>
#include <string>

enum : long {
    KV_REG_SUCCESS = 0,
    KV_REG_FILE_NOT_FOUND = 2, // no such key or value
    KV_REG_ACCESS_DENIED = 5,  // e.g. deleting a key that has subkeys
    KV_REG_INVALID_HANDLE = 6,
    KV_REG_WRITE_FAULT = 29,    // the hive file could not be written
    KV_REG_LOCK_VIOLATION = 33, // another writer held the hive too long
    KV_REG_INVALID_PARAMETER = 87,
    KV_REG_MORE_DATA = 234, // the buffer is too small; the size is set
    KV_REG_NO_MORE_ITEMS = 259,
    KV_REG_BADDB = 1009,       // the hive file is damaged
    KV_REG_KEY_DELETED = 1018, // the key of an open handle is gone
    KV_REG_OUTOFMEMORY = 14,
    KV_REG_NO_SYSTEM_RESOURCES = 1450, // the hive would grow too large to read back
};

enum : uint32_t {
    KV_REG_NONE = 0,
    KV_REG_SZ = 1,
    KV_REG_BINARY = 3,
    KV_REG_DWORD = 4,
};

struct KVRegKeyRecord;
using KVHKEY = KVRegKeyRecord*;

// The two hives (always open; closing them does nothing).
extern KVHKEY const KV_HKEY_CURRENT_USER;
extern KVHKEY const KV_HKEY_LOCAL_MACHINE;

// Opens `subKey` below `parent`, creating every missing key on the way.
// `created` (optional) tells whether the last key was new.
long KVRegCreateKey(KVHKEY parent, const char* subKey, KVHKEY* out, bool* created = nullptr);
// Opens an existing key; a missing one gives KV_REG_FILE_NOT_FOUND.
long KVRegOpenKey(KVHKEY parent, const char* subKey, KVHKEY* out);
long KVRegCloseKey(KVHKEY key);

// As RegQueryValueEx: with null `data` only the size is returned; a
// buffer smaller than the value gives KV_REG_MORE_DATA and the size
// needed. A null or empty name is the key's default value.
long KVRegQueryValue(KVHKEY key, const char* name, uint32_t* type, void* data, uint32_t* size);
long KVRegSetValue(KVHKEY key, const char* name, uint32_t type, const void* data, uint32_t size);
long KVRegDeleteValue(KVHKEY key, const char* name);
// Deletes a key that has no subkeys (KV_REG_ACCESS_DENIED otherwise).
long KVRegDeleteKey(KVHKEY parent, const char* subKey);

// Subkeys in name order, values in the order they were first set.
// `nameSize`: in, the buffer's size with room for the NUL; out, the
// name's length without it.
long KVRegEnumKey(KVHKEY key, uint32_t index, char* name, uint32_t* nameSize);
long KVRegEnumValue(KVHKEY key, uint32_t index, char* name, uint32_t* nameSize, uint32_t* type,
                    void* data, uint32_t* dataSize);

// Typed helpers over KVRegQueryValue / KVRegSetValue. A value of another
// type (or size) gives KV_REG_INVALID_PARAMETER and leaves `out` alone.
long KVRegQueryDWORD(KVHKEY key, const char* name, uint32_t& out);
long KVRegQueryString(KVHKEY key, const char* name, std::string& out);
long KVRegSetDWORD(KVHKEY key, const char* name, uint32_t value);
// Stores the text with its terminating NUL.
long KVRegSetString(KVHKEY key, const char* name, const std::string& text);

// The folder of the hive files and one hive's file.
std::string KVRegistryFolder();
std::string KVRegistryHiveFile(KVHKEY hive);
