// The posctl interpreter: the open devices (controls created by ProgID, with the event
// sink advised) and the commands run on them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/automation/automation.h"
#include "tools/posctl/events.h"
#include "tools/posctl/script.h"

namespace posctl {

// The control ProgID of a device class (ASCII case ignored): POSCTL_CONTROL_<CLASS>
// (class in upper case) when set, else the package's control. Empty when unknown.
std::string ControlProgId(const std::string& deviceClass);

// "0x80040154 (class not registered)".
std::string DescribeHresult(HRESULT hr);

class Session {
public:
    explicit Session(Output& out);  // `out` lives as long as the program
    ~Session();                     // releases every device still open
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs one command. False with *err on a script error (the script stops there).
    bool Run(const Command& c, std::string* err);
    // An expect or a wait failed (the script went on).
    bool Failed() const { return failed_; }

private:
    struct Device {
        std::string alias;
        plat::DispatchDriver ctrl;
        int32_t cookie = 0;
    };

    bool Open(const Command& c, std::string* err);
    bool Close(std::string* err);
    bool Get(const Command& c, std::string* err);
    bool Set(const Command& c, std::string* err);
    bool Call(const Command& c, std::string* err);
    bool Expect(const Command& c, std::string* err);
    bool Freeze(bool on, std::string* err);
    bool Wait(const Command& c);

    Device* Current(std::string* err);
    // Invokes a member by name; on failure *err = "WHAT: 0x... (meaning)".
    bool Invoke(Device& d, const std::string& member, uint16_t flags, plat::DispParams& args,
                plat::Variant* result, const std::string& what, std::string* err);
    // Calls a method and prints "WHAT: RC RCX".
    bool CallAndReport(const std::string& method, plat::DispParams args, const std::string& what,
                       std::string* err);
    // "RC RCX": `rc` when the call returned a number, else the ResultCode property, then
    // the ResultCodeExtended property.
    bool ResultCodes(Device& d, const plat::Variant& rc, const std::string& what, std::string* out,
                     std::string* err);
    void Unadvise(Device& d);

    Output& out_;
    std::shared_ptr<EventPrinter> events_;
    plat::ComPtr<> sink_;
    std::vector<std::unique_ptr<Device>> devices_;
    std::string current_;  // alias of the device lines act on
    bool failed_ = false;
};

}  // namespace posctl
