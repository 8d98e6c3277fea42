// Automation in COM's shape: values, dispatch objects with reference counts, a
// dispatch-map builder, event sources, and dispatch drivers for callers.
//
// Strings are NUL-safe byte strings (std::string): print data, binary data and totals
// data pass through unchanged, 00 and 80..FF included. There is no UTF-16 anywhere.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "platform/wintypes.h"

namespace plat {

enum VARTYPE : uint16_t {
    VT_EMPTY = 0,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_BOOL = 11,
    VT_BYREF = 0x4000,
};

class IDispatch;

// An automation value: empty, 32-bit long, BOOL, string, by-reference long or string,
// or a dispatch pointer (holding a reference).
class Variant {
public:
    Variant() = default;
    Variant(int32_t v) : v_(v) {}  // NOLINT: implicit like VARIANT's constructors
    Variant(bool b) : v_(BoolBox{b}) {}
    Variant(std::string s) : v_(std::move(s)) {}
    Variant(const char* s) : v_(std::string(s)) {}
    Variant(int32_t* p) : v_(p) {}
    Variant(std::string* p) : v_(p) {}
    Variant(IDispatch* d);
    Variant(const Variant& o);
    Variant(Variant&& o) noexcept;
    Variant& operator=(const Variant& o);
    Variant& operator=(Variant&& o) noexcept;
    ~Variant();

    VARTYPE vt() const;
    bool IsEmpty() const { return v_.index() == 0; }

    // Typed reads; nullptr/false when the type differs (no conversion).
    const int32_t* GetLong() const { return std::get_if<int32_t>(&v_); }
    const std::string* GetString() const { return std::get_if<std::string>(&v_); }
    bool GetBool(bool* out) const;
    int32_t* GetLongRef() const;
    std::string* GetStringRef() const;
    IDispatch* GetDispatch() const;  // borrowed

    // Reads with the coercions automation applies between long and BOOL.
    bool ToLong(int32_t* out) const;
    bool ToBool(bool* out) const;

    // Readable form for logs and tests: 5, TRUE, "text" (C escapes), &5, &"x", <dispatch>.
    std::string ToString() const;

private:
    struct BoolBox {
        bool b;
    };
    struct DispBox {
        IDispatch* p;
    };
    std::variant<std::monostate, int32_t, BoolBox, std::string, int32_t*, std::string*, DispBox>
        v_;
};

using DispParams = std::vector<Variant>;  // arguments in declaration order

constexpr uint16_t DISPATCH_METHOD = 1;
constexpr uint16_t DISPATCH_PROPERTYGET = 2;
constexpr uint16_t DISPATCH_PROPERTYPUT = 4;
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_ABOUTBOX = -552;

// The dispatch interface. Invoke returns S_OK, DISP_E_MEMBERNOTFOUND (unknown id, or a
// property get/put on a member that has none), DISP_E_BADPARAMCOUNT, DISP_E_TYPEMISMATCH
// (with *argErr the 0-based argument index) or CTL_E_SETNOTSUPPORTED (read-only property).
class IDispatch {
public:
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;
    // Name lookup ignores ASCII case. DISP_E_UNKNOWNNAME when there is none.
    virtual HRESULT GetIDsOfNames(const std::string& name, DISPID* id) = 0;
    virtual HRESULT Invoke(DISPID id, uint16_t flags, DispParams& args, Variant* result,
                           uint32_t* argErr = nullptr) = 0;

protected:
    virtual ~IDispatch() = default;
};

// Smart reference to a dispatch object.
template <class T = IDispatch>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(T* p) : p_(p) {  // NOLINT: adds a reference
        if (p_) p_->AddRef();
    }
    static ComPtr Adopt(T* p) {  // takes over an existing reference
        ComPtr c;
        c.p_ = p;
        return c;
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { reset(); }
    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** put() {  // for out-parameters: releases the current reference first
        reset();
        return &p_;
    }
    T* detach() { return std::exchange(p_, nullptr); }

private:
    T* p_ = nullptr;
};

// ---------------------------------------------------------------------------------
// Dispatch maps. A DispatchMap<T> is a table of named members of class T; dispatch ids
// are the 1-based position in the table unless an entry is given its own id (AboutBox:
// DISPID_ABOUTBOX). One table serves every object of the class.
//
// Member function signatures map to automation types:
//   int32_t <- VT_I4 or VT_BOOL (TRUE = 1);  bool <- VT_BOOL or VT_I4 (nonzero);
//   std::string / const std::string& <- VT_BSTR;  int32_t* <- VT_BYREF|VT_I4;
//   std::string* <- VT_BYREF|VT_BSTR;  IDispatch* <- VT_DISPATCH (or VT_EMPTY = null).
// Results: void, int32_t, bool, std::string, IDispatch* (new reference given out).
class DispatchTable;

struct DispatchEntry {
    std::string name;
    DISPID id = 0;
    bool isProperty = false;
    // For methods: `call`; for properties: `get` and optional `put`.
    std::function<HRESULT(void* self, DispParams& args, Variant* result, uint32_t* argErr)> call;
    std::function<HRESULT(void* self, Variant* result)> get;
    std::function<HRESULT(void* self, const Variant& value)> put;
    size_t argCount = 0;
};

class DispatchTable {
public:
    HRESULT GetIDsOfNames(const std::string& name, DISPID* id) const;
    HRESULT Invoke(void* self, DISPID id, uint16_t flags, DispParams& args, Variant* result,
                   uint32_t* argErr) const;
    const std::vector<DispatchEntry>& entries() const { return entries_; }
    const DispatchEntry* Find(DISPID id) const;
    const DispatchEntry* FindName(const std::string& name) const;  // ASCII case ignored

protected:
    void Add(DispatchEntry e);
    std::vector<DispatchEntry> entries_;
};

namespace detail {
template <class A>
struct ArgConv;  // specialised in automation_detail.h
}

template <class T>
class DispatchMap : public DispatchTable {
public:
    // Gives the next entry this id instead of its position.
    DispatchMap& WithId(DISPID id) {
        nextId_ = id;
        return *this;
    }

    template <class R, class... A>
    DispatchMap& Method(const std::string& name, R (T::*fn)(A...));

    template <class G>
    DispatchMap& Property(const std::string& name, G (T::*get)());
    template <class G, class S>
    DispatchMap& Property(const std::string& name, G (T::*get)(), void (T::*put)(S));

    // The same for const member functions and members of a base class of T (any pointer
    // to a member function of T or of a base of T; anything else does not compile).
    template <class Fn>
    DispatchMap& Method(const std::string& name, Fn fn);
    template <class Get>
    DispatchMap& Property(const std::string& name, Get get);
    template <class Get, class Put>
    DispatchMap& Property(const std::string& name, Get get, Put put);

private:
    DISPID TakeId() {
        DISPID id = nextId_ != 0 ? nextId_ : static_cast<DISPID>(entries_.size() + 1);
        nextId_ = 0;
        return id;
    }
    DISPID nextId_ = 0;
};

// Base of every dispatch object: the reference count and Invoke through a table.
// Objects start with one reference (the creator's).
class DispatchObject : public IDispatch {
public:
    uint32_t AddRef() override { return ++refs_; }
    uint32_t Release() override;
    HRESULT GetIDsOfNames(const std::string& name, DISPID* id) override;
    HRESULT Invoke(DISPID id, uint16_t flags, DispParams& args, Variant* result,
                   uint32_t* argErr = nullptr) override;
    uint32_t RefCount() const { return refs_.load(); }
    // Live DispatchObjects of the process (DllCanUnloadNow, leak checks in tests).
    static long LiveObjects();

protected:
    DispatchObject();
    ~DispatchObject() override;
    // The class's table; `this` is passed to its entries as `self`.
    virtual const DispatchTable& Table() const = 0;
    virtual void* Self() = 0;

private:
    std::atomic<uint32_t> refs_{1};
};

// Convenience for a class whose table is DispatchMap<Derived>:
//   class Foo : public Dispatchable<Foo> { static void Describe(DispatchMap<Foo>& m); };
template <class Derived>
class Dispatchable : public DispatchObject {
protected:
    const DispatchTable& Table() const override {
        static const DispatchMap<Derived> table = [] {
            DispatchMap<Derived> m;
            Derived::Describe(m);
            return m;
        }();
        return table;
    }
    void* Self() override { return static_cast<Derived*>(this); }
};

// ---------------------------------------------------------------------------------
// Callers: a dispatch driver holds a reference and caches dispatch ids by name.
class DispatchDriver {
public:
    DispatchDriver() = default;
    explicit DispatchDriver(IDispatch* p) : p_(p) {}
    void Attach(IDispatch* p) {
        p_ = ComPtr<>(p);
        ids_.clear();
    }
    void Release() {
        p_.reset();
        ids_.clear();
    }
    IDispatch* get() const { return p_.get(); }
    explicit operator bool() const { return static_cast<bool>(p_); }

    HRESULT GetId(const std::string& name, DISPID* id);  // cached lookup
    HRESULT Invoke(DISPID id, uint16_t flags, DispParams& args, Variant* result);
    HRESULT Call(const std::string& name, DispParams& args, Variant* result = nullptr);
    HRESULT GetProperty(const std::string& name, Variant* result);
    HRESULT PutProperty(const std::string& name, const Variant& value);

private:
    ComPtr<> p_;
    std::vector<std::pair<std::string, DISPID>> ids_;
};

// Events: a source fires to the sinks that advised it, synchronously on the caller's
// thread. By-reference arguments pass through, so a sink's changes reach the caller.
class EventSource {
public:
    uint32_t Advise(IDispatch* sink);  // cookie, never 0
    void Unadvise(uint32_t cookie);
    // Returns the first failing HRESULT of a sink (all sinks are called), else S_OK.
    HRESULT Fire(DISPID id, DispParams& args);
    bool HasSinks() const;

private:
    std::vector<std::pair<uint32_t, ComPtr<>>> sinks_;
    uint32_t next_ = 1;
    mutable std::mutex mu_;  // guards sinks_ and next_; never held while a sink runs
};

// A dispatch object built from a function, for containers and tests that receive events:
// every Invoke calls fn(id, args); GetIDsOfNames uses `names` (position = id from 1).
class LambdaDispatch : public DispatchObject {
public:
    using Fn = std::function<HRESULT(DISPID, uint16_t, DispParams&, Variant*)>;
    static ComPtr<> Create(Fn fn, std::vector<std::string> names = {});
    HRESULT GetIDsOfNames(const std::string& name, DISPID* id) override;
    HRESULT Invoke(DISPID id, uint16_t flags, DispParams& args, Variant* result,
                   uint32_t* argErr = nullptr) override;

protected:
    const DispatchTable& Table() const override;
    void* Self() override { return this; }

private:
    LambdaDispatch(Fn fn, std::vector<std::string> names);
    Fn fn_;
    std::vector<std::string> names_;
};

}  // namespace plat

#include "platform/automation/automation_detail.h"
