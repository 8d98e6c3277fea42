// Class identifiers and object creation through the class store:
// ProgID -> CLSID -> InprocServer32 path -> library (loaded once, never unloaded)
// -> DllGetClassObject -> factory -> object.
#include "platform/automation/classes.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/automation/store_keys.h"
#include "platform/registry/registry.h"

namespace plat {

namespace {

thread_local std::string t_dlError;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads `digits` hex digits at s[pos]; false on any other character.
bool ReadHex(const std::string& s, size_t pos, int digits, uint32_t* out) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) {
        int d = HexDigit(s[pos + static_cast<size_t>(i)]);
        if (d < 0) return false;
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    *out = v;
    return true;
}

// Libraries loaded by CreateObject, by real path. Handles are kept for the life of the
// process (never dlclose'd: objects and factories of a library outlive any caller).
std::mutex g_libMu;
std::map<std::string, void*>& Libraries() {
    static auto* libs = new std::map<std::string, void*>;
    return *libs;
}

HRESULT LoadServerLibrary(const std::string& path, void** handle) {
    // Only an absolute path: a relative one would load whatever the working folder or
    // the search path happens to hold.
    if (path.empty() || path[0] != '/') {
        t_dlError = path + ": library path is not absolute";
        return CO_E_DLLNOTFOUND;
    }
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) {
        t_dlError = path + ": " + std::strerror(errno);
        return CO_E_DLLNOTFOUND;
    }
    std::string real(resolved);
    free(resolved);
    {
        std::lock_guard<std::mutex> lock(g_libMu);
        auto it = Libraries().find(real);
        if (it != Libraries().end()) {
            *handle = it->second;
            return S_OK;
        }
    }
    // Loading runs the library's initialisers, which may create objects themselves:
    // not under the lock. dlopen returns the same handle for a library loaded twice.
    void* h = dlopen(real.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* err = dlerror();
        t_dlError = err ? err : real + ": cannot be loaded";
        return CO_E_DLLNOTFOUND;
    }
    std::lock_guard<std::mutex> lock(g_libMu);
    *handle = Libraries().emplace(real, h).first->second;
    return S_OK;
}

}  // namespace

std::string GuidToString(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.d1, g.d2,
                  g.d3, g.d4[0], g.d4[1], g.d4[2], g.d4[3], g.d4[4], g.d4[5], g.d4[6], g.d4[7]);
    return buf;
}

bool GuidFromString(const std::string& s, GUID* out) {
    // {01234567-89AB-CDEF-0123-456789ABCDEF}
    if (s.size() != 38 || s[0] != '{' || s[37] != '}' || s[9] != '-' || s[14] != '-' ||
        s[19] != '-' || s[24] != '-')
        return false;
    GUID g;
    uint32_t v = 0;
    if (!ReadHex(s, 1, 8, &g.d1)) return false;
    if (!ReadHex(s, 10, 4, &v)) return false;
    g.d2 = static_cast<uint16_t>(v);
    if (!ReadHex(s, 15, 4, &v)) return false;
    g.d3 = static_cast<uint16_t>(v);
    static constexpr size_t kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (size_t i = 0; i < 8; ++i) {
        if (!ReadHex(s, kBytePos[i], 2, &v)) return false;
        g.d4[i] = static_cast<uint8_t>(v);
    }
    if (out) *out = g;
    return true;
}

HRESULT RegisterServerLibrary(const std::string& path, bool unregister) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);  // never unloaded
    if (!handle) {
        const char* e = dlerror();
        t_dlError = e ? e : "cannot load " + path;
        return CO_E_DLLNOTFOUND;
    }
    auto fn = reinterpret_cast<DllRegisterServerFn>(
        dlsym(handle, unregister ? "DllUnregisterServer" : "DllRegisterServer"));
    return fn ? fn() : CO_E_ERRORINDLL;
}

std::string DlErrorText() {
    return t_dlError;
}

HRESULT ClsidFromProgId(const std::string& progId, CLSID* out) {
    if (!out) return E_POINTER;
    if (!store::ValidProgId(progId)) return REGDB_E_CLASSNOTREG;
    std::string text;
    LONG rc = reg::GetString(store::ProgIdKey(progId) + "\\CLSID", "", &text);
    if (rc == ERROR_FILE_NOT_FOUND) return REGDB_E_CLASSNOTREG;
    if (rc != ERROR_SUCCESS) return REGDB_E_READREGDB;
    return GuidFromString(text, out) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT CreateObject(const std::string& progId, IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CLSID clsid;
    HRESULT hr = ClsidFromProgId(progId, &clsid);
    if (FAILED(hr)) return hr;
    return CreateObjectByClsid(clsid, out);
}

HRESULT CreateObjectByClsid(const CLSID& clsid, IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const std::string classKey = store::ClassKey(clsid);
    std::string path;
    LONG rc = reg::GetString(classKey + "\\InprocServer32", "", &path);
    if (rc == ERROR_FILE_NOT_FOUND)
        return reg::KeyExists(classKey) ? REGDB_E_READREGDB : REGDB_E_CLASSNOTREG;
    if (rc != ERROR_SUCCESS || path.empty()) return REGDB_E_READREGDB;

    void* lib = nullptr;
    HRESULT hr = LoadServerLibrary(path, &lib);
    if (FAILED(hr)) return hr;
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(lib, "DllGetClassObject"));
    if (!getClassObject) return CO_E_ERRORINDLL;

    IClassFactory* factory = nullptr;
    hr = getClassObject(&clsid, &factory);
    if (FAILED(hr)) return hr;
    if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
    hr = factory->CreateInstance(out);
    if (SUCCEEDED(hr) && !*out) return E_FAIL;
    return hr;
}

}  // namespace plat
