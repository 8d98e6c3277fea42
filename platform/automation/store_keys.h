// Key paths of the class store (see classes.h), shared by creation and registration.
#pragma once

#include <string>

#include "platform/automation/classes.h"

namespace plat::store {

// A ProgID names one key directly under HKEY_CLASSES_ROOT: no path separator, no
// control characters.
inline bool ValidProgId(const std::string& progId) {
    if (progId.empty()) return false;
    for (unsigned char c : progId)
        if (c == '\\' || c < 0x20 || c == 0x7F) return false;
    return true;
}

inline std::string ProgIdKey(const std::string& progId) {
    return "HKEY_CLASSES_ROOT\\" + progId;
}

inline std::string ClassKey(const CLSID& clsid) {
    return "HKEY_CLASSES_ROOT\\CLSID\\" + GuidToString(clsid);
}

inline std::string TypeLibKey(const GUID& libId) {
    return "HKEY_CLASSES_ROOT\\TypeLib\\" + GuidToString(libId);
}

}  // namespace plat::store
