// Registry access for service objects and controls: device entries under ServiceOPOS,
// their values, and other keys such as the product key.
//
// A device entry is HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\<class>\<name>;
// its default value is the ProgID of the device's service object.
#pragma once

#include <string>

#include "platform/wintypes.h"

inline constexpr const char* kServiceOposKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS";
inline constexpr const char* kProductKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceInfo\\KAVRO OPOS KIT";

// Device class codes used by controls (and the class name each stands for).
constexpr int kClassCashDrawer = 3;
constexpr int kClassHardTotals = 4;
constexpr int kClassKeylock = 5;
constexpr int kClassLineDisplay = 6;
constexpr int kClassMICR = 7;
constexpr int kClassMSR = 8;
constexpr int kClassPOSPrinter = 10;
// "HardTotals" for 4 ...; empty for an unknown code.
std::string ClassNameOf(int classCode);
int ClassCodeOf(const std::string& className);  // 0 when unknown

class CRegistryInfo {
public:
    // Selectors of the value functions.
    static constexpr int kDeviceEntry = 1024;  // the entry found by GetDeviceInfo
    static constexpr int kOpenedKey = 32768;   // the key opened with Open

    // Service objects: CRegistryInfo(deviceName, 0, writable).
    // Controls: CRegistryInfo(classCode, 0) and GetDeviceInfo(name, classCode).
    CRegistryInfo(const std::string& deviceName, int unused, BOOL writable);
    CRegistryInfo(int classCode, int unused);

    // The class key of a device class name: "...\\ServiceOPOS\\POSPrinter".
    static std::string ConvKey(const std::string& deviceClass);

    // Service objects: TRUE when the entry `name` exists under `classKey` (from ConvKey).
    BOOL GetDeviceInfo(const std::string& name, const std::string& classKey);
    // Controls: TRUE when the entry exists under the class of `classCode`; it then holds
    // the ProgID (empty when none), the name to pass to OpenService and the entry key.
    BOOL GetDeviceInfo(const std::string& name, int classCode);
    const std::string& ProgId() const { return progId_; }
    const std::string& ServiceName() const { return serviceName_; }
    const std::string& EntryKey() const { return entryKey_; }

    // Values of the device entry (kDeviceEntry) or of the opened key (kOpenedKey).
    // Get*: FALSE when missing or of another type or size (a DWORD must be 4 bytes).
    BOOL GetDWORD(const std::string& value, DWORD* out, int selector = kDeviceEntry);
    BOOL SetDWORD(const std::string& value, DWORD data, int selector = kDeviceEntry);
    BOOL GetString(const std::string& value, std::string* out, int selector = kDeviceEntry);
    BOOL SetString(const std::string& value, const std::string& data, int selector = kDeviceEntry);
    // A DWORD of a sub-key of the device entry.
    BOOL GetDWORD(const std::string& subKey, const std::string& value, DWORD* out);
    // Registry type of a value of the entry (REG_DWORD, REG_SZ, ...), REG_NONE if absent;
    // `size` gets its size in bytes.
    DWORD ReadValue(const std::string& value, DWORD* size = nullptr, int selector = kDeviceEntry);

    // Other keys: Open(path relative to HKEY_LOCAL_MACHINE, or a full path, kOpenedKey,
    // create) then GetString(kOpenedKey, ...), Close(TRUE).
    BOOL Open(const std::string& path, int selector = kOpenedKey, BOOL create = FALSE);
    BOOL GetString(int selector, const std::string& value, std::string* out);
    void Close(BOOL all = TRUE);

    // The configuration sub-key named by the product key's "PrimaryConfig"
    // (default "KAVRO1.6").
    static std::string PrimaryConfig();

private:
    std::string KeyFor(int selector) const;

    std::string deviceName_;
    int classCode_ = 0;
    BOOL writable_ = FALSE;
    std::string progId_, serviceName_, entryKey_;
    std::string openedKey_;
};
