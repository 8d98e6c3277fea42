// The posctl interpreter: devices, commands and their printed results.
#include "tools/posctl/session.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <deque>

#include "platform/automation/classes.h"
#include "platform/clock/clock.h"
#include "platform/window/window.h"
#include "tools/posctl/value.h"

namespace posctl {

namespace {

// The container members every control offers (fixed dispatch ids of the control frame).
constexpr DISPID kOleAdvise = -1000;
constexpr DISPID kOleUnadvise = -1001;
constexpr DISPID kOleFreezeEvents = -1002;

struct ClassEntry {
    const char* deviceClass;
    const char* progId;
};
constexpr ClassEntry kControls[] = {
    {"POSPrinter", "OPOS.POSPrinter"}, {"CashDrawer", "OPOS.CashDrawer"},
    {"MICR", "OPOS.MICR"},             {"LineDisplay", "OPOS.LineDisplay"},
    {"MSR", "OPOS.MSR"},               {"HardTotals", "OPOS.Totals"},
    {"Keylock", "OPOS.Keylock"},
};

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

struct HresultText {
    HRESULT hr;
    const char* text;
};
constexpr HresultText kHresults[] = {
    {S_OK, "success"},
    {S_FALSE, "false"},
    {E_NOTIMPL, "not implemented"},
    {E_NOINTERFACE, "no such interface"},
    {E_POINTER, "invalid pointer"},
    {E_FAIL, "unspecified failure"},
    {E_OUTOFMEMORY, "out of memory"},
    {E_INVALIDARG, "invalid argument"},
    {E_ACCESSDENIED, "access denied"},
    {DISP_E_MEMBERNOTFOUND, "member not found"},
    {DISP_E_PARAMNOTFOUND, "parameter not found"},
    {DISP_E_TYPEMISMATCH, "type mismatch"},
    {DISP_E_UNKNOWNNAME, "unknown name"},
    {DISP_E_BADPARAMCOUNT, "wrong number of arguments"},
    {CTL_E_SETNOTSUPPORTED, "property is read-only"},
    {CTL_E_GETNOTSUPPORTED, "property is write-only"},
    {CLASS_E_CLASSNOTAVAILABLE, "the library does not serve this class"},
    {REGDB_E_READREGDB, "the class store cannot be read or names no library"},
    {REGDB_E_WRITEREGDB, "the class store cannot be written"},
    {REGDB_E_CLASSNOTREG, "class not registered"},
    {CO_E_CLASSSTRING, "the registered class id is not valid"},
    {CO_E_DLLNOTFOUND, "the library cannot be loaded"},
    {CO_E_ERRORINDLL, "the library has no class factory"},
};

// A device name as printed: plain when it is one plain word, else quoted.
std::string DisplayName(const std::string& name) {
    bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return c > 0x20 && c < 0x7F && c != '"' && c != '#' && c != '\\';
    });
    return plain ? name : QuoteBytes(name);
}

plat::Variant ToVariant(const Value& v) {
    if (v.kind == Value::Kind::String) return plat::Variant(v.text);
    return plat::Variant(v.number);
}

}  // namespace

std::string ControlProgId(const std::string& deviceClass) {
    std::string upper = Upper(deviceClass);
    if (const char* o = std::getenv(("POSCTL_CONTROL_" + upper).c_str()); o && *o) return o;
    for (const ClassEntry& e : kControls) {
        if (Upper(e.deviceClass) == upper) return e.progId;
    }
    return {};
}

std::string DescribeHresult(HRESULT hr) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<uint32_t>(hr));
    for (const HresultText& t : kHresults) {
        if (t.hr == hr) return std::string(hex) + " (" + t.text + ")";
    }
    return std::string(hex) + " (unknown error)";
}

Session::Session(Output& out)
    : out_(out), events_(std::make_shared<EventPrinter>(out)), sink_(CreateSink(events_)) {}

Session::~Session() {
    for (auto& d : devices_) Unadvise(*d);
    devices_.clear();
}

bool Session::Run(const Command& c, std::string* err) {
    switch (c.op) {
        case Op::Open: return Open(c, err);
        case Op::Close: return Close(err);
        case Op::Claim: return CallAndReport("Claim", {c.number}, "claim", err);
        case Op::Release: return CallAndReport("Release", {}, "release", err);
        case Op::Use:
            for (auto& d : devices_) {
                if (d->alias == c.name) {
                    current_ = c.name;
                    return true;
                }
            }
            *err = "no open device '" + c.name + "'";
            return false;
        case Op::Get: return Get(c, err);
        case Op::Set: return Set(c, err);
        case Op::Call: return Call(c, err);
        case Op::Pump: PumpUntil([] { return false; }, static_cast<DWORD>(c.number)); return true;
        case Op::Wait: return Wait(c);
        case Op::Respond: events_->SetResponse(c.number); return true;
        case Op::Expect: return Expect(c, err);
        case Op::Freeze: return Freeze(c.on, err);
        case Op::Sleep: ::Sleep(static_cast<DWORD>(c.number)); return true;
        case Op::Echo: out_.Line(c.text); return true;
    }
    return true;
}

bool Session::Open(const Command& c, std::string* err) {
    std::string progId = ControlProgId(c.name);
    if (progId.empty()) {
        *err = "unknown device class '" + c.name + "' (set POSCTL_CONTROL_" + Upper(c.name) +
               " to a ProgID)";
        return false;
    }
    for (auto& d : devices_) {
        if (d->alias == c.alias) {
            *err = "'" + c.alias + "' is open already (close it, or open with 'as ALIAS')";
            return false;
        }
    }
    std::string what = "open " + DisplayName(c.device);
    plat::IDispatch* raw = nullptr;
    HRESULT hr = plat::CreateObject(progId, &raw);
    if (FAILED(hr) || !raw) {
        *err = what + ": cannot create " + progId + ": " + DescribeHresult(hr);
        if (hr == CO_E_DLLNOTFOUND) *err += ": " + plat::DlErrorText();
        return false;
    }
    auto dev = std::make_unique<Device>();
    dev->alias = c.alias;
    dev->ctrl.Attach(plat::ComPtr<>::Adopt(raw).get());
    plat::DispParams advise{sink_.get()};
    plat::Variant cookie;
    hr = dev->ctrl.Invoke(kOleAdvise, plat::DISPATCH_METHOD, advise, &cookie);
    if (FAILED(hr)) {
        *err = what + ": OleAdvise: " + DescribeHresult(hr);
        return false;
    }
    cookie.ToLong(&dev->cookie);
    Device& d = *dev;
    devices_.push_back(std::move(dev));
    current_ = c.alias;  // stays chosen when Open fails, so its result codes can be read

    plat::DispParams args{c.device};
    plat::Variant rc;
    if (!Invoke(d, "Open", plat::DISPATCH_METHOD, args, &rc, what, err)) return false;
    out_.Line(what + ": " + FormatVariant(rc));
    return true;
}

bool Session::Close(std::string* err) {
    Device* d = Current(err);
    if (!d) return false;
    plat::DispParams none;
    plat::Variant rc;
    if (!Invoke(*d, "Close", plat::DISPATCH_METHOD, none, &rc, "close", err)) return false;
    out_.Line("close: " + FormatVariant(rc));
    Unadvise(*d);
    devices_.erase(std::find_if(devices_.begin(), devices_.end(),
                                [d](const auto& p) { return p.get() == d; }));
    current_.clear();
    return true;
}

bool Session::Get(const Command& c, std::string* err) {
    Device* d = Current(err);
    if (!d) return false;
    plat::DispParams none;
    plat::Variant v;
    if (!Invoke(*d, c.name, plat::DISPATCH_PROPERTYGET, none, &v, "get " + c.name, err))
        return false;
    out_.Line(c.name + " = " + FormatVariant(v));
    return true;
}

bool Session::Set(const Command& c, std::string* err) {
    Device* d = Current(err);
    if (!d) return false;
    std::string what = "set " + c.name;
    plat::DispParams one{ToVariant(c.values[0])};
    if (!Invoke(*d, c.name, plat::DISPATCH_PROPERTYPUT, one, nullptr, what, err)) return false;
    std::string codes;
    if (!ResultCodes(*d, plat::Variant(), what, &codes, err)) return false;
    out_.Line(c.name + " <- " + FormatValue(c.values[0]) + ": " + codes);
    return true;
}

bool Session::Call(const Command& c, std::string* err) {
    Device* d = Current(err);
    if (!d) return false;
    // By-reference arguments point into these; a deque never moves its elements.
    std::deque<int32_t> longs;
    std::deque<std::string> strings;
    plat::DispParams args;
    for (const Value& v : c.values) {
        if (!v.byRef) {
            args.push_back(ToVariant(v));
        } else if (v.kind == Value::Kind::Number) {
            args.emplace_back(&longs.emplace_back(v.number));
        } else {
            args.emplace_back(&strings.emplace_back(v.text));
        }
    }
    std::string what = "call " + c.name;
    plat::Variant rc;
    if (!Invoke(*d, c.name, plat::DISPATCH_METHOD, args, &rc, what, err)) return false;
    std::string codes;
    if (!ResultCodes(*d, rc, what, &codes, err)) return false;
    out_.Line(c.name + ": " + codes);
    for (size_t i = 0; i < c.values.size(); ++i) {
        if (c.values[i].byRef)
            out_.Line("  ARG" + std::to_string(i + 1) + " = " + FormatVariant(args[i]));
    }
    return true;
}

bool Session::Expect(const Command& c, std::string* err) {
    Device* d = Current(err);
    if (!d) return false;
    plat::DispParams none;
    plat::Variant v;
    if (!Invoke(*d, c.name, plat::DISPATCH_PROPERTYGET, none, &v, "expect " + c.name, err))
        return false;
    const Value& want = c.values[0];
    bool same = false;
    if (want.kind == Value::Kind::Number) {
        int32_t n = 0;
        same = v.ToLong(&n) && n == want.number;
    } else {
        const std::string* s = v.GetString();
        same = s && *s == want.text;
    }
    if (!same) {
        out_.Line("expect " + c.name + ": got " + FormatVariant(v) + ", expected " +
                  FormatValue(want));
        failed_ = true;
    }
    return true;
}

bool Session::Freeze(bool on, std::string* err) {
    Device* d = Current(err);
    if (!d) return false;
    plat::DispParams a{plat::Variant(on)};
    HRESULT hr = d->ctrl.Invoke(kOleFreezeEvents, plat::DISPATCH_METHOD, a, nullptr);
    if (FAILED(hr)) {
        *err = std::string("freeze: ") + DescribeHresult(hr);
        return false;
    }
    return true;
}

bool Session::Wait(const Command& c) {
    DISPID id = 0;
    for (DISPID i = 1; i <= 5; ++i) {
        if (c.name == kEventNames[i - 1]) id = i;
    }
    bool got = false;
    PumpUntil(
        [&] {
            if (!got) got = events_->Take(id);
            return got;
        },
        static_cast<DWORD>(c.number));
    if (!got) {
        out_.Line("wait " + c.name + ": timed out");
        failed_ = true;
    }
    return true;
}

Session::Device* Session::Current(std::string* err) {
    for (auto& d : devices_) {
        if (d->alias == current_) return d.get();
    }
    *err = "no device chosen (open one, or choose one with 'use ALIAS')";
    return nullptr;
}

bool Session::Invoke(Device& d, const std::string& member, uint16_t flags,
                     plat::DispParams& args, plat::Variant* result, const std::string& what,
                     std::string* err) {
    DISPID id = 0;
    HRESULT hr = d.ctrl.GetId(member, &id);
    uint32_t argErr = 0;
    if (SUCCEEDED(hr)) hr = d.ctrl.get()->Invoke(id, flags, args, result, &argErr);
    if (SUCCEEDED(hr)) return true;
    *err = what + ": " + DescribeHresult(hr);
    if (hr == DISP_E_TYPEMISMATCH && argErr < args.size())
        *err += " in argument " + std::to_string(argErr + 1);
    return false;
}

bool Session::CallAndReport(const std::string& method, plat::DispParams args,
                            const std::string& what, std::string* err) {
    Device* d = Current(err);
    if (!d) return false;
    plat::Variant rc;
    if (!Invoke(*d, method, plat::DISPATCH_METHOD, args, &rc, what, err)) return false;
    std::string codes;
    if (!ResultCodes(*d, rc, what, &codes, err)) return false;
    out_.Line(what + ": " + codes);
    return true;
}

bool Session::ResultCodes(Device& d, const plat::Variant& rc, const std::string& what,
                          std::string* out, std::string* err) {
    plat::DispParams none;
    plat::Variant code = rc;
    if (code.IsEmpty() &&
        !Invoke(d, "ResultCode", plat::DISPATCH_PROPERTYGET, none, &code, what + ": ResultCode",
                err))
        return false;
    plat::Variant extended;
    if (!Invoke(d, "ResultCodeExtended", plat::DISPATCH_PROPERTYGET, none, &extended,
                what + ": ResultCodeExtended", err))
        return false;
    *out = FormatVariant(code) + " " + FormatVariant(extended);
    return true;
}

void Session::Unadvise(Device& d) {
    plat::DispParams a{d.cookie};
    d.ctrl.Invoke(kOleUnadvise, plat::DISPATCH_METHOD, a, nullptr);
}

}  // namespace posctl
