// ComModule: the classes of one server library, their factories and their entries in
// the class store.
#include <dlfcn.h>
#include <link.h>
#include <stdlib.h>

#include <stdexcept>

#include "platform/automation/classes.h"
#include "platform/automation/store_keys.h"
#include "platform/registry/registry.h"

namespace plat {

namespace {

class ModuleFactory final : public IClassFactory {
  public:
    explicit ModuleFactory(std::function<IDispatch*()> create) : create_(std::move(create)) {}
    ~ModuleFactory() override = default;

    HRESULT CreateInstance(IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!create_) return CLASS_E_CLASSNOTAVAILABLE;
        IDispatch* obj = create_();
        if (!obj) return E_OUTOFMEMORY;
        *out = obj;
        return S_OK;
    }

  private:
    std::function<IDispatch*()> create_;
};

// The absolute path of the file that holds `address` (a library, or the program).
bool FileOf(const void* address, std::string* path) {
    Dl_info info{};
    link_map* map = nullptr;
    if (!address || !dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP))
        return false;
    // The program's own entry has no name; dladdr then reports argv[0], which may be
    // relative to a folder we are no longer in.
    const char* file = (map && map->l_name && map->l_name[0]) ? map->l_name : "/proc/self/exe";
    char* real = realpath(file, nullptr);
    if (!real) return false;
    *path = real;
    free(real);
    return true;
}

bool Set(const std::string& key, const std::string& name, const std::string& value) {
    return reg::SetString(key, name, value) == ERROR_SUCCESS;
}

// A key without values (the "Control" marker).
bool CreateEmptyKey(const std::string& subKeyOfRoot) {
    HKEY h = 0;
    if (RegCreateKeyEx(HKEY_CLASSES_ROOT, subKeyOfRoot.c_str(), KEY_WRITE, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

bool Deleted(LONG rc) {
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

constexpr const char* kTypeLibVersion = "1.0";
constexpr const char* kControlMiscStatus = "132241";

}  // namespace

void ComModule::Add(ClassInfo info) {
    for (const ClassInfo& c : classes_) {
        if (c.clsid == info.clsid)
            throw std::logic_error("ComModule: CLSID " + GuidToString(info.clsid) + " added twice");
    }
    factories_.push_back(std::make_unique<ModuleFactory>(info.create));
    classes_.push_back(std::move(info));
}

HRESULT ComModule::GetClassObject(const CLSID& clsid, IClassFactory** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (size_t i = 0; i < classes_.size(); ++i) {
        if (classes_[i].clsid == clsid) {
            *out = factories_[i].get();
            return S_OK;
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ComModule::RegisterServer(const void* addressInLibrary) {
    std::string library;
    if (!FileOf(addressInLibrary, &library)) return SELFREG_E_CLASS;

    // Type libraries of the controls first, then the classes.
    for (const ClassInfo& c : classes_) {
        if (!c.isControl) continue;
        GUID lib;
        if (!GuidFromString(c.typeLib, &lib)) return SELFREG_E_TYPELIB;
        if (!Set(store::TypeLibKey(lib) + "\\" + kTypeLibVersion, "", c.description))
            return SELFREG_E_TYPELIB;
    }
    for (const ClassInfo& c : classes_) {
        if (!store::ValidProgId(c.progId)) return SELFREG_E_CLASS;
        const std::string clsid = GuidToString(c.clsid);
        const std::string progKey = store::ProgIdKey(c.progId);
        const std::string classKey = store::ClassKey(c.clsid);
        bool ok = Set(progKey, "", c.description) && Set(progKey + "\\CLSID", "", clsid) &&
                  Set(classKey, "", c.description) && Set(classKey + "\\ProgID", "", c.progId) &&
                  Set(classKey + "\\InprocServer32", "", library) &&
                  Set(classKey + "\\InprocServer32", "ThreadingModel", "Apartment");
        if (ok && c.isControl) {
            GUID lib;
            GuidFromString(c.typeLib, &lib);  // checked above
            ok = CreateEmptyKey("CLSID\\" + clsid + "\\Control") &&
                 Set(classKey + "\\MiscStatus", "", "0") &&
                 Set(classKey + "\\MiscStatus\\1", "", kControlMiscStatus) &&
                 Set(classKey + "\\TypeLib", "", GuidToString(lib)) &&
                 Set(classKey + "\\Version", "", kTypeLibVersion);
        }
        if (!ok) return SELFREG_E_CLASS;
    }
    return S_OK;
}

HRESULT ComModule::UnregisterServer() {
    HRESULT first = S_OK;
    auto fail = [&](HRESULT hr) {
        if (first == S_OK) first = hr;
    };
    for (const ClassInfo& c : classes_) {
        GUID lib;
        if (!c.isControl || !GuidFromString(c.typeLib, &lib)) continue;
        if (!Deleted(reg::DeleteKey(store::TypeLibKey(lib)))) fail(SELFREG_E_TYPELIB);
    }
    for (const ClassInfo& c : classes_) {
        // The ProgID goes only while it still names this class: another library may
        // have taken it over since.
        if (store::ValidProgId(c.progId)) {
            const std::string progKey = store::ProgIdKey(c.progId);
            std::string text;
            GUID current;
            LONG rc = reg::GetString(progKey + "\\CLSID", "", &text);
            if (rc == ERROR_SUCCESS && GuidFromString(text, &current) && current == c.clsid) {
                if (!Deleted(reg::DeleteKey(progKey))) fail(SELFREG_E_CLASS);
            } else if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
                fail(SELFREG_E_CLASS);
            }
        }
        if (!Deleted(reg::DeleteKey(store::ClassKey(c.clsid)))) fail(SELFREG_E_CLASS);
    }
    return first;
}

// Objects cannot tell their library when they die, so this asks whether any dispatch
// object of the process is alive (or the library counts some of its own in LiveCount).
// The answer is advice only: libraries are never unloaded.
HRESULT ComModule::CanUnloadNow() {
    return DispatchObject::LiveObjects() == 0 && live_ == 0 ? S_OK : S_FALSE;
}

}  // namespace plat
