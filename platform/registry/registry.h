// The registry store: a hierarchy of keys with typed values (string, DWORD, binary),
// kept in one .reg text file ("Windows Registry Editor Version 5.00").
//
// Names of keys and values ignore ASCII case and keep the case they were created with.
// Values keep their exact type and size. The file is KAVRO_REGISTRY, else
// $XDG_CONFIG_HOME/kavro-opos/registry.reg (~/.config/... without XDG_CONFIG_HOME).
// Every write takes an exclusive lock on "<file>.lock", re-reads the file, applies the
// change, writes a temporary file, fsyncs it, renames it over the file and fsyncs the
// folder: readers never see a torn file and concurrent writers lose nothing.
// A malformed file is an error (ERROR_BADDB) whose text names the file and the line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wintypes.h"

using HKEY = uintptr_t;  // open key handle; the roots are predefined
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;

// Value types (Windows numbers).
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

// Access rights (accepted; the store checks only that a write has KEY_WRITE).
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;

// Store-specific results: the file could not be read or written (I/O error, disk full).
constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;

// All functions return ERROR_SUCCESS or a Win32 error code; after a failure,
// RegLastErrorText() gives a sentence for people (file and line for ERROR_BADDB).
LONG RegOpenKeyEx(HKEY parent, const char* subKey, DWORD options, DWORD access, HKEY* result);
LONG RegCreateKeyEx(HKEY parent, const char* subKey, DWORD access, HKEY* result,
                    DWORD* disposition = nullptr);  // REG_CREATED_NEW_KEY / REG_OPENED_EXISTING_KEY
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;
LONG RegCloseKey(HKEY key);

// Reads value `name` (null or "" = the key's default value). `data` may be null to ask
// the size. REG_SZ data are returned with a terminating 00 counted in *size, as Windows
// does; ERROR_MORE_DATA when *size is too small (it then holds the size needed).
LONG RegQueryValueEx(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size);
LONG RegSetValueEx(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size);
LONG RegDeleteValue(HKEY key, const char* name);
LONG RegDeleteKey(HKEY parent, const char* subKey);  // with everything below it
LONG RegEnumKeyEx(HKEY key, DWORD index, std::string* name);    // ERROR_NO_MORE_ITEMS at the end
LONG RegEnumValue(HKEY key, DWORD index, std::string* name, DWORD* type = nullptr);

const char* RegLastErrorText();

namespace plat::reg {

// Convenience layer on the functions above, for code that reads configuration.
// Paths are "HKEY_LOCAL_MACHINE\\SOFTWARE\\..." (root names as in .reg files; HKLM,
// HKCR, HKCU accepted).
struct Value {
    DWORD type = REG_NONE;
    std::string data;  // exact bytes (REG_SZ without the terminating 00)
};
LONG GetValue(const std::string& keyPath, const std::string& name, Value* out);
LONG GetString(const std::string& keyPath, const std::string& name, std::string* out);
LONG GetDword(const std::string& keyPath, const std::string& name, DWORD* out);
LONG SetString(const std::string& keyPath, const std::string& name, const std::string& value);
LONG SetDword(const std::string& keyPath, const std::string& name, DWORD value);
LONG SetBinary(const std::string& keyPath, const std::string& name, const std::string& bytes);
LONG DeleteKey(const std::string& keyPath);
LONG DeleteValue(const std::string& keyPath, const std::string& name);
bool KeyExists(const std::string& keyPath);
std::vector<std::string> SubKeys(const std::string& keyPath);

// The file of the store in use and a way for tests to point elsewhere (nullptr/""
// returns to the environment's choice).
std::string StorePath();
void SetStorePath(const std::string& path);

// .reg text: import merges a file into the store in one locked write; export writes
// the subtree at keyPath (all roots when empty). Both return ERROR_SUCCESS or a code,
// with RegLastErrorText() naming file and line for a malformed import.
LONG ImportFile(const std::string& regFile);
LONG ExportText(const std::string& keyPath, std::string* text);

}  // namespace plat::reg
