// A server library for the posreg tests: registration writes one key, unregistration
// removes it, and POSREG_TEST_FAIL makes registration fail.
#include <cstdlib>

#include "platform/registry/registry.h"

namespace {
constexpr const char* kKey = "HKEY_CLASSES_ROOT\\Posreg.Test";
}

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {
    if (std::getenv("POSREG_TEST_FAIL")) return SELFREG_E_CLASS;
    return plat::reg::SetString(kKey, "", "posreg test server") == ERROR_SUCCESS ? S_OK
                                                                                 : SELFREG_E_CLASS;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
    return plat::reg::DeleteKey(kKey) == ERROR_SUCCESS ? S_OK : S_FALSE;
}
