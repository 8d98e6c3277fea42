#include "posframe/reginfo.h"

#include <map>
#include <mutex>

#include "platform/ascii.h"
#include "platform/registry/registry.h"
#include "posframe/svcbase.h"

namespace {

struct ClassRow {
    int code;
    const char* name;
};
constexpr ClassRow kClasses[] = {
    {kClassCashDrawer, "CashDrawer"}, {kClassHardTotals, "HardTotals"},
    {kClassKeylock, "Keylock"},       {kClassLineDisplay, "LineDisplay"},
    {kClassMICR, "MICR"},             {kClassMSR, "MSR"},
    {kClassPOSPrinter, "POSPrinter"},
};

// Device names are not path syntax: a backslash would reach another key.
bool ValidName(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos &&
           name.find('\0') == std::string::npos && name.size() <= 255;
}

}  // namespace

std::string ClassNameOf(int classCode) {
    for (const auto& row : kClasses)
        if (row.code == classCode) return row.name;
    return {};
}

int ClassCodeOf(const std::string& className) {
    for (const auto& row : kClasses)
        if (plat::EqualsNoCase(row.name, className)) return row.code;
    return 0;
}

CRegistryInfo::CRegistryInfo(const std::string& deviceName, int, BOOL writable)
    : deviceName_(deviceName), writable_(writable) {}

CRegistryInfo::CRegistryInfo(int classCode, int) : classCode_(classCode) {}

std::string CRegistryInfo::ConvKey(const std::string& deviceClass) {
    return std::string(kServiceOposKey) + "\\" + deviceClass;
}

BOOL CRegistryInfo::GetDeviceInfo(const std::string& name, const std::string& classKey) {
    if (!ValidName(name)) return FALSE;
    std::string key = classKey + "\\" + name;
    if (!plat::reg::KeyExists(key)) return FALSE;
    entryKey_ = key;
    deviceName_ = name;
    serviceName_ = name;
    progId_.clear();
    plat::reg::GetString(key, "", &progId_);
    return TRUE;
}

BOOL CRegistryInfo::GetDeviceInfo(const std::string& name, int classCode) {
    std::string cls = ClassNameOf(classCode);
    if (cls.empty()) return FALSE;
    classCode_ = classCode;
    return GetDeviceInfo(name, ConvKey(cls));
}

std::string CRegistryInfo::KeyFor(int selector) const {
    return selector == kOpenedKey ? openedKey_ : entryKey_;
}

BOOL CRegistryInfo::GetDWORD(const std::string& value, DWORD* out, int selector) {
    std::string key = KeyFor(selector);
    if (key.empty() || !out) return FALSE;
    plat::reg::Value v;
    if (plat::reg::GetValue(key, value, &v) != ERROR_SUCCESS) return FALSE;
    if (v.type != REG_DWORD || v.data.size() != 4) return FALSE;
    DWORD d = 0;
    for (int i = 3; i >= 0; --i) d = (d << 8) | static_cast<BYTE>(v.data[static_cast<size_t>(i)]);
    *out = d;
    return TRUE;
}

BOOL CRegistryInfo::SetDWORD(const std::string& value, DWORD data, int selector) {
    std::string key = KeyFor(selector);
    if (key.empty()) return FALSE;
    return plat::reg::SetDword(key, value, data) == ERROR_SUCCESS;
}

BOOL CRegistryInfo::GetString(const std::string& value, std::string* out, int selector) {
    std::string key = KeyFor(selector);
    if (key.empty() || !out) return FALSE;
    plat::reg::Value v;
    if (plat::reg::GetValue(key, value, &v) != ERROR_SUCCESS || v.type != REG_SZ) return FALSE;
    *out = v.data;
    return TRUE;
}

BOOL CRegistryInfo::SetString(const std::string& value, const std::string& data, int selector) {
    std::string key = KeyFor(selector);
    if (key.empty()) return FALSE;
    return plat::reg::SetString(key, value, data) == ERROR_SUCCESS;
}

BOOL CRegistryInfo::GetDWORD(const std::string& subKey, const std::string& value, DWORD* out) {
    if (entryKey_.empty() || !ValidName(subKey)) return FALSE;
    std::string saved = openedKey_;
    openedKey_ = entryKey_ + "\\" + subKey;
    BOOL ok = GetDWORD(value, out, kOpenedKey);
    openedKey_ = saved;
    return ok;
}

DWORD CRegistryInfo::ReadValue(const std::string& value, DWORD* size, int selector) {
    std::string key = KeyFor(selector);
    plat::reg::Value v;
    if (key.empty() || plat::reg::GetValue(key, value, &v) != ERROR_SUCCESS) return REG_NONE;
    if (size) *size = static_cast<DWORD>(v.data.size());
    return v.type;
}

BOOL CRegistryInfo::Open(const std::string& path, int, BOOL create) {
    std::string full = path.rfind("HKEY_", 0) == 0 ? path : "HKEY_LOCAL_MACHINE\\" + path;
    if (!plat::reg::KeyExists(full)) {
        if (!create) return FALSE;
        HKEY k = 0;
        if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, full.substr(sizeof("HKEY_LOCAL_MACHINE")).c_str(),
                           KEY_ALL_ACCESS, &k) != ERROR_SUCCESS)
            return FALSE;
        RegCloseKey(k);
    }
    openedKey_ = full;
    return TRUE;
}

BOOL CRegistryInfo::GetString(int selector, const std::string& value, std::string* out) {
    return GetString(value, out, selector);
}

void CRegistryInfo::Close(BOOL) { openedKey_.clear(); }

std::string CRegistryInfo::PrimaryConfig() {
    std::string config;
    if (plat::reg::GetString(kProductKey, "PrimaryConfig", &config) != ERROR_SUCCESS ||
        config.empty())
        config = "KAVRO1.6";
    return config;
}

LONG AssignPortIndex(const std::string& entryKey) {
    DWORD fixed = 0;
    plat::reg::Value v;
    if (plat::reg::GetValue(entryKey, "PortIndex", &v) == ERROR_SUCCESS && v.type == REG_DWORD &&
        v.data.size() == 4) {
        for (int i = 3; i >= 0; --i)
            fixed = (fixed << 8) | static_cast<BYTE>(v.data[static_cast<size_t>(i)]);
        if (fixed >= 1 && fixed <= 1000) return static_cast<LONG>(fixed);
    }
    std::string port;
    if (plat::reg::GetString(entryKey, "Port", &port) != ERROR_SUCCESS || port.empty())
        port = "device:" + entryKey;
    static std::mutex lock;
    static std::map<std::string, LONG> given;
    std::lock_guard<std::mutex> g(lock);
    auto [it, added] = given.emplace(plat::AsciiLower(port), static_cast<LONG>(given.size() + 1));
    return it->second;
}
