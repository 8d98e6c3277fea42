// Class identifiers, class factories, the class store in the registry, object creation
// by ProgID, and the exports of every in-process server library.
//
// Store layout (registry, HKEY_CLASSES_ROOT):
//   <ProgID>                         default = description
//   <ProgID>\CLSID                   default = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
//   CLSID\{...}                      default = description
//   CLSID\{...}\ProgID               default = ProgID
//   CLSID\{...}\InprocServer32       default = absolute library path, ThreadingModel
//   controls also: CLSID\{...}\Control, MiscStatus\1 = "132241", TypeLib, Version "1.0"
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/automation.h"
#include "platform/wintypes.h"

namespace plat {

struct GUID {
    uint32_t d1 = 0;
    uint16_t d2 = 0, d3 = 0;
    uint8_t d4[8] = {};
    bool operator==(const GUID&) const = default;
};
using CLSID = GUID;

// "{01234567-89AB-CDEF-0123-456789ABCDEF}" (upper-case hex).
std::string GuidToString(const GUID& g);
// Accepts the braced form, either case. False for anything else.
bool GuidFromString(const std::string& s, GUID* out);

// A factory creates objects of one class; factories live as long as their library.
class IClassFactory {
public:
    virtual HRESULT CreateInstance(IDispatch** out) = 0;  // one reference given out

protected:
    virtual ~IClassFactory() = default;
    friend struct std::default_delete<IClassFactory>;  // ComModule owns its factories
};

// Creates an object from its ProgID: store -> CLSID -> library path -> dlopen
// (RTLD_NOW | RTLD_LOCAL, cached, never unloaded) -> DllGetClassObject -> factory.
// Failures, each with its own code:
//   REGDB_E_CLASSNOTREG   no such ProgID, or its CLSID has no class entry
//   CO_E_CLASSSTRING      the ProgID's CLSID value is not a GUID
//   REGDB_E_READREGDB     the store cannot be read, or InprocServer32 is missing/empty
//   CO_E_DLLNOTFOUND      the library cannot be loaded (text: DlErrorText())
//   CO_E_ERRORINDLL       the library lacks DllGetClassObject
//   CLASS_E_CLASSNOTAVAILABLE the library does not serve that CLSID
//   otherwise the factory's own failure
HRESULT CreateObject(const std::string& progId, IDispatch** out);
HRESULT CreateObjectByClsid(const CLSID& clsid, IDispatch** out);
HRESULT ClsidFromProgId(const std::string& progId, CLSID* out);
std::string DlErrorText();  // the last dlopen failure of this thread (CreateObject, below)

// Loads a server library (RTLD_NOW | RTLD_LOCAL, never unloaded) and calls its
// DllRegisterServer, or DllUnregisterServer. CO_E_DLLNOTFOUND when it cannot be loaded
// (text: DlErrorText()), CO_E_ERRORINDLL when it lacks the entry point, else the entry
// point's result.
HRESULT RegisterServerLibrary(const std::string& path, bool unregister = false);

// The classes one server library offers, and its registration. A library defines one
// ComModule, adds its classes at load time and exports the four entry points with
// KAVRO_SERVER_EXPORTS(module).
struct ClassInfo {
    std::string progId;
    CLSID clsid;
    std::string description;
    std::function<IDispatch*()> create;  // returns a new object with one reference
    bool isControl = false;              // register the control keys too
    std::string typeLib;                 // controls: type library id "{...}"
};

class ComModule {
public:
    void Add(ClassInfo info);
    const std::vector<ClassInfo>& Classes() const { return classes_; }

    HRESULT GetClassObject(const CLSID& clsid, IClassFactory** out);
    // Writes every class's keys; `addressInLibrary` finds the library's path (dladdr).
    // Failure to write a control's type library entries: SELFREG_E_TYPELIB; any other
    // write failure: SELFREG_E_CLASS. Success: S_OK.
    HRESULT RegisterServer(const void* addressInLibrary);
    HRESULT UnregisterServer();
    // S_OK when no object of the library is alive, else S_FALSE (it is never unloaded).
    HRESULT CanUnloadNow();
    // Objects of this library alive now (created through its factories).
    long& LiveCount() { return live_; }

private:
    std::vector<ClassInfo> classes_;
    std::vector<std::unique_ptr<IClassFactory>> factories_;
    long live_ = 0;
};

// Entry point signatures looked up by CreateObject and posreg.
using DllGetClassObjectFn = HRESULT (*)(const CLSID* clsid, IClassFactory** out);
using DllRegisterServerFn = HRESULT (*)();
using DllCanUnloadNowFn = HRESULT (*)();

}  // namespace plat

#define KAVRO_SERVER_EXPORTS(moduleExpr)                                                      \
    extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(              \
        const ::plat::CLSID* clsid, ::plat::IClassFactory** out) {                            \
        if (!clsid || !out) return E_POINTER;                                                 \
        return (moduleExpr).GetClassObject(*clsid, out);                                      \
    }                                                                                         \
    extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {             \
        return (moduleExpr).CanUnloadNow();                                                   \
    }                                                                                         \
    extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {           \
        return (moduleExpr).RegisterServer(reinterpret_cast<const void*>(&DllRegisterServer)); \
    }                                                                                         \
    extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {         \
        return (moduleExpr).UnregisterServer();                                               \
    }
