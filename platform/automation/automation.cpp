// Dispatch tables, dispatch objects, drivers, event sources and function-built objects.
//
// No lock is held while a member, a sink or a caller's function runs: members may call
// back into the same object on the same thread.
#include "platform/automation/automation.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <stdexcept>

namespace plat {

namespace {

std::atomic<long> g_liveObjects{0};

bool EqualsNoCase(const std::string& a, const std::string& b) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](unsigned char x, unsigned char y) { return lower(x) == lower(y); });
}

// DispatchDriver id caches: short critical sections, never held during a call.
std::mutex g_driverCacheMu;

template <class F>
HRESULT GuardedCall(F&& fn) {
    // A member's exception must not unwind into a caller that expects an HRESULT.
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

}  // namespace

// ---- DispatchTable --------------------------------------------------------------

void DispatchTable::Add(DispatchEntry e) {
    if (e.name.empty()) throw std::logic_error("dispatch table: entry without a name");
    for (const DispatchEntry& o : entries_) {
        if (EqualsNoCase(o.name, e.name))
            throw std::logic_error("dispatch table: duplicate name \"" + e.name + "\"");
        if (o.id == e.id)
            throw std::logic_error("dispatch table: duplicate id " + std::to_string(e.id) + " (\"" +
                                   o.name + "\" and \"" + e.name + "\")");
    }
    entries_.push_back(std::move(e));
}

const DispatchEntry* DispatchTable::Find(DISPID id) const {
    for (const DispatchEntry& e : entries_)
        if (e.id == id) return &e;
    return nullptr;
}

const DispatchEntry* DispatchTable::FindName(const std::string& name) const {
    for (const DispatchEntry& e : entries_)
        if (EqualsNoCase(e.name, name)) return &e;
    return nullptr;
}

HRESULT DispatchTable::GetIDsOfNames(const std::string& name, DISPID* id) const {
    if (!id) return E_POINTER;
    const DispatchEntry* e = FindName(name);
    *id = e ? e->id : DISPID_UNKNOWN;
    return e ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT DispatchTable::Invoke(void* self, DISPID id, uint16_t flags, DispParams& args,
                              Variant* result, uint32_t* argErr) const {
    if (result) *result = Variant();
    const DispatchEntry* e = Find(id);
    if (!e) return DISP_E_MEMBERNOTFOUND;
    if (!e->isProperty) {
        if (!(flags & DISPATCH_METHOD) || !e->call) return DISP_E_MEMBERNOTFOUND;
        if (args.size() != e->argCount) return DISP_E_BADPARAMCOUNT;
        return GuardedCall([&] { return e->call(self, args, result, argErr); });
    }
    if (flags & DISPATCH_PROPERTYPUT) {
        if (!e->put) return CTL_E_SETNOTSUPPORTED;
        if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
        HRESULT hr = GuardedCall([&] { return e->put(self, args[0]); });
        if (hr == DISP_E_TYPEMISMATCH && argErr) *argErr = 0;
        return hr;
    }
    // A get may come as PROPERTYGET or METHOD|PROPERTYGET (how callers read a value).
    if (!(flags & DISPATCH_PROPERTYGET) || !e->get) return DISP_E_MEMBERNOTFOUND;
    if (!args.empty()) return DISP_E_BADPARAMCOUNT;
    return GuardedCall([&] { return e->get(self, result); });
}

// ---- DispatchObject -------------------------------------------------------------

DispatchObject::DispatchObject() {
    g_liveObjects.fetch_add(1, std::memory_order_relaxed);
}

DispatchObject::~DispatchObject() {
    g_liveObjects.fetch_sub(1, std::memory_order_relaxed);
}

long DispatchObject::LiveObjects() {
    return g_liveObjects.load();
}

uint32_t DispatchObject::Release() {
    uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

HRESULT DispatchObject::GetIDsOfNames(const std::string& name, DISPID* id) {
    return Table().GetIDsOfNames(name, id);
}

HRESULT DispatchObject::Invoke(DISPID id, uint16_t flags, DispParams& args, Variant* result,
                               uint32_t* argErr) {
    return Table().Invoke(Self(), id, flags, args, result, argErr);
}

// ---- DispatchDriver -------------------------------------------------------------

HRESULT DispatchDriver::GetId(const std::string& name, DISPID* id) {
    if (!id) return E_POINTER;
    if (!p_) return E_POINTER;
    {
        std::lock_guard<std::mutex> lock(g_driverCacheMu);
        for (const auto& [n, cached] : ids_) {
            if (EqualsNoCase(n, name)) {
                *id = cached;
                return S_OK;
            }
        }
    }
    DISPID found = DISPID_UNKNOWN;
    HRESULT hr = p_->GetIDsOfNames(name, &found);
    if (FAILED(hr)) return hr;
    {
        std::lock_guard<std::mutex> lock(g_driverCacheMu);
        ids_.emplace_back(name, found);
    }
    *id = found;
    return S_OK;
}

HRESULT DispatchDriver::Invoke(DISPID id, uint16_t flags, DispParams& args, Variant* result) {
    if (!p_) return E_POINTER;
    return p_->Invoke(id, flags, args, result, nullptr);
}

HRESULT DispatchDriver::Call(const std::string& name, DispParams& args, Variant* result) {
    DISPID id = 0;
    HRESULT hr = GetId(name, &id);
    if (FAILED(hr)) return hr;
    return Invoke(id, DISPATCH_METHOD, args, result);
}

HRESULT DispatchDriver::GetProperty(const std::string& name, Variant* result) {
    DISPID id = 0;
    HRESULT hr = GetId(name, &id);
    if (FAILED(hr)) return hr;
    DispParams none;
    return Invoke(id, DISPATCH_PROPERTYGET, none, result);
}

HRESULT DispatchDriver::PutProperty(const std::string& name, const Variant& value) {
    DISPID id = 0;
    HRESULT hr = GetId(name, &id);
    if (FAILED(hr)) return hr;
    DispParams one{value};
    return Invoke(id, DISPATCH_PROPERTYPUT, one, nullptr);
}

// ---- EventSource ----------------------------------------------------------------

uint32_t EventSource::Advise(IDispatch* sink) {
    if (!sink) return 0;
    std::lock_guard<std::mutex> lock(mu_);
    uint32_t cookie = next_++;
    if (next_ == 0) next_ = 1;
    sinks_.emplace_back(cookie, ComPtr<>(sink));
    return cookie;
}

void EventSource::Unadvise(uint32_t cookie) {
    ComPtr<> dropped;  // released after the lock is let go: its destructor may call back
    std::lock_guard<std::mutex> lock(mu_);
    auto it = std::find_if(sinks_.begin(), sinks_.end(),
                           [&](const auto& s) { return s.first == cookie; });
    if (it == sinks_.end()) return;
    dropped = std::move(it->second);
    sinks_.erase(it);
}

HRESULT EventSource::Fire(DISPID id, DispParams& args) {
    std::vector<std::pair<uint32_t, ComPtr<>>> snapshot;
    {
        std::lock_guard<std::mutex> lock(mu_);
        snapshot = sinks_;
    }
    HRESULT first = S_OK;
    for (auto& [cookieOf, sink] : snapshot) {
        const uint32_t cookie = cookieOf;
        // A sink unadvised by an earlier one during this Fire gets no more events.
        bool still = false;
        {
            std::lock_guard<std::mutex> lock(mu_);
            still = std::any_of(sinks_.begin(), sinks_.end(),
                                [&](const auto& s) { return s.first == cookie; });
        }
        if (!still) continue;
        Variant ignored;
        HRESULT hr = sink->Invoke(id, DISPATCH_METHOD, args, &ignored, nullptr);
        if (FAILED(hr) && SUCCEEDED(first)) first = hr;
    }
    return first;
}

bool EventSource::HasSinks() const {
    std::lock_guard<std::mutex> lock(mu_);
    return !sinks_.empty();
}

// ---- LambdaDispatch -------------------------------------------------------------

LambdaDispatch::LambdaDispatch(Fn fn, std::vector<std::string> names)
    : fn_(std::move(fn)), names_(std::move(names)) {}

ComPtr<> LambdaDispatch::Create(Fn fn, std::vector<std::string> names) {
    return ComPtr<>::Adopt(new LambdaDispatch(std::move(fn), std::move(names)));
}

HRESULT LambdaDispatch::GetIDsOfNames(const std::string& name, DISPID* id) {
    if (!id) return E_POINTER;
    for (size_t i = 0; i < names_.size(); ++i) {
        if (EqualsNoCase(names_[i], name)) {
            *id = static_cast<DISPID>(i + 1);
            return S_OK;
        }
    }
    *id = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT LambdaDispatch::Invoke(DISPID id, uint16_t flags, DispParams& args, Variant* result,
                               uint32_t* /*argErr*/) {
    if (result) *result = Variant();
    if (!fn_) return DISP_E_MEMBERNOTFOUND;
    return GuardedCall([&] { return fn_(id, flags, args, result); });
}

const DispatchTable& LambdaDispatch::Table() const {
    static const DispatchTable empty;
    return empty;
}

}  // namespace plat
