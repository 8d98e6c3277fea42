// Template machinery of the dispatch maps (included at the end of automation.h): the
// conversion of each argument to a member function's parameter type, of its result to
// a Variant, and the DispatchMap builders that wrap member functions in entries.
#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

namespace plat::detail {

template <class>
inline constexpr bool kUnsupported = false;

// ArgConv<A>: `Held` is what the argument is read into, From() reads it (false: type
// mismatch) and Pass() hands it to the member as an A. Nothing is coerced beyond the
// mapping in automation.h; by-reference parameters need by-reference arguments.
template <class A>
struct ArgConv {
    static_assert(kUnsupported<A>,
                  "parameter type not supported by dispatch maps: use int32_t, bool, "
                  "std::string, const std::string&, int32_t*, std::string* or IDispatch*");
};

template <>
struct ArgConv<int32_t> {
    using Held = int32_t;
    static bool From(const Variant& v, Held* h) { return v.ToLong(h); }
    static int32_t Pass(Held& h) { return h; }
};

template <>
struct ArgConv<bool> {
    using Held = bool;
    static bool From(const Variant& v, Held* h) { return v.ToBool(h); }
    static bool Pass(Held& h) { return h; }
};

template <>
struct ArgConv<std::string> {
    using Held = std::string;
    static bool From(const Variant& v, Held* h) {
        const std::string* s = v.GetString();
        if (!s) return false;
        *h = *s;
        return true;
    }
    static std::string Pass(Held& h) { return std::move(h); }
};

// Refers to the argument's own text: print data is not copied on the way in.
template <>
struct ArgConv<const std::string&> {
    using Held = const std::string*;
    static bool From(const Variant& v, Held* h) {
        *h = v.GetString();
        return *h != nullptr;
    }
    static const std::string& Pass(Held& h) { return *h; }
};

// By-reference arguments: the member writes through the caller's pointer. A null
// pointer is a type mismatch, never handed on.
template <>
struct ArgConv<int32_t*> {
    using Held = int32_t*;
    static bool From(const Variant& v, Held* h) {
        *h = v.GetLongRef();
        return *h != nullptr;
    }
    static int32_t* Pass(Held& h) { return h; }
};

template <>
struct ArgConv<std::string*> {
    using Held = std::string*;
    static bool From(const Variant& v, Held* h) {
        *h = v.GetStringRef();
        return *h != nullptr;
    }
    static std::string* Pass(Held& h) { return h; }
};

// Borrowed for the call (the argument holds the reference); VT_EMPTY passes null.
template <>
struct ArgConv<IDispatch*> {
    using Held = IDispatch*;
    static bool From(const Variant& v, Held* h) {
        if (v.IsEmpty()) {
            *h = nullptr;
            return true;
        }
        if (v.vt() != VT_DISPATCH) return false;
        *h = v.GetDispatch();
        return true;
    }
    static IDispatch* Pass(Held& h) { return h; }
};

// ResultConv<R>::Store puts a member's result into *out (out may be null: discarded).
template <class R>
struct ResultConv {
    static_assert(kUnsupported<R>,
                  "result type not supported by dispatch maps: use void, int32_t, bool, "
                  "std::string, IDispatch* (new reference) or ComPtr<>");
};

template <>
struct ResultConv<int32_t> {
    static void Store(int32_t r, Variant* out) {
        if (out) *out = Variant(r);
    }
};

template <>
struct ResultConv<bool> {
    static void Store(bool r, Variant* out) {
        if (out) *out = Variant(r);
    }
};

template <>
struct ResultConv<std::string> {
    static void Store(std::string r, Variant* out) {
        if (out) *out = Variant(std::move(r));
    }
};

// A returned pointer carries a reference for the caller: the Variant takes it over.
template <class X>
requires std::is_base_of_v<IDispatch, X>
struct ResultConv<X*> {
    static void Store(X* r, Variant* out) {
        IDispatch* p = r;
        if (out) *out = Variant(p);
        if (p) p->Release();
    }
};

template <class X>
struct ResultConv<ComPtr<X>> {
    static void Store(const ComPtr<X>& r, Variant* out) {
        if (out) *out = Variant(static_cast<IDispatch*>(r.get()));
    }
};

// Traits of a pointer to member function.
template <class Fn>
struct MemberFn {
    static constexpr bool kIsMember = false;
};

template <class B, class R, class... A>
struct MemberFn<R (B::*)(A...)> {
    static constexpr bool kIsMember = true;
    using Class = B;
    using Result = R;
    using Args = std::tuple<A...>;
    static constexpr size_t kArity = sizeof...(A);
};

template <class B, class R, class... A>
struct MemberFn<R (B::*)(A...) const> : MemberFn<R (B::*)(A...)> {};

template <class B, class R, class... A>
struct MemberFn<R (B::*)(A...) noexcept> : MemberFn<R (B::*)(A...)> {};

template <class B, class R, class... A>
struct MemberFn<R (B::*)(A...) const noexcept> : MemberFn<R (B::*)(A...)> {};

template <class T, class Fn>
constexpr void CheckMember() {
    using Traits = MemberFn<Fn>;
    static_assert(Traits::kIsMember, "dispatch map entries take pointers to member functions");
    if constexpr (Traits::kIsMember) {
        static_assert(std::is_base_of_v<typename Traits::Class, T>,
                      "member function of a class that is not T or a base of T");
    }
}

template <class R, class Obj, class Fn, class... A>
void CallAndStore(Obj* obj, Fn fn, Variant* result, A&&... a) {
    if constexpr (std::is_void_v<R>) {
        (obj->*fn)(std::forward<A>(a)...);
    } else {
        ResultConv<std::remove_cvref_t<R>>::Store((obj->*fn)(std::forward<A>(a)...), result);
    }
}

// Converts every argument (stopping at the first that does not fit, reported in
// *argErr) and calls the member.
template <class T, class Fn, size_t... I>
HRESULT CallMember(T* obj, Fn fn, DispParams& args, Variant* result, uint32_t* argErr,
                   std::index_sequence<I...>) {
    using Traits = MemberFn<Fn>;
    using Args = typename Traits::Args;
    if (args.size() != sizeof...(I)) return DISP_E_BADPARAMCOUNT;
    [[maybe_unused]] std::tuple<typename ArgConv<std::tuple_element_t<I, Args>>::Held...> held;
    bool ok = true;
    uint32_t bad = 0;
    ((ok = ok && (ArgConv<std::tuple_element_t<I, Args>>::From(args[I], &std::get<I>(held)) ||
                  (bad = static_cast<uint32_t>(I), false))),
     ...);
    if (!ok) {
        if (argErr) *argErr = bad;
        return DISP_E_TYPEMISMATCH;
    }
    CallAndStore<typename Traits::Result>(
        obj, fn, result, ArgConv<std::tuple_element_t<I, Args>>::Pass(std::get<I>(held))...);
    return S_OK;
}

template <class T, class Fn>
void FillMethod(DispatchEntry* e, Fn fn) {
    CheckMember<T, Fn>();
    constexpr size_t n = MemberFn<Fn>::kArity;
    e->argCount = n;
    e->call = [fn](void* self, DispParams& args, Variant* result, uint32_t* argErr) {
        return CallMember(static_cast<T*>(self), fn, args, result, argErr,
                          std::make_index_sequence<n>{});
    };
}

template <class T, class Get>
void FillGetter(DispatchEntry* e, Get get) {
    CheckMember<T, Get>();
    static_assert(MemberFn<Get>::kArity == 0, "a property getter takes no arguments");
    static_assert(!std::is_void_v<typename MemberFn<Get>::Result>, "a getter returns a value");
    e->isProperty = true;
    e->get = [get](void* self, Variant* result) -> HRESULT {
        CallAndStore<typename MemberFn<Get>::Result>(static_cast<T*>(self), get, result);
        return S_OK;
    };
}

template <class T, class Put>
void FillPutter(DispatchEntry* e, Put put) {
    CheckMember<T, Put>();
    static_assert(MemberFn<Put>::kArity == 1, "a property setter takes one argument");
    using S = std::tuple_element_t<0, typename MemberFn<Put>::Args>;
    e->put = [put](void* self, const Variant& value) -> HRESULT {
        typename ArgConv<S>::Held h{};
        if (!ArgConv<S>::From(value, &h)) return DISP_E_TYPEMISMATCH;
        (static_cast<T*>(self)->*put)(ArgConv<S>::Pass(h));
        return S_OK;
    };
}

}  // namespace plat::detail

namespace plat {

template <class T>
template <class Fn>
DispatchMap<T>& DispatchMap<T>::Method(const std::string& name, Fn fn) {
    DispatchEntry e;
    e.name = name;
    detail::FillMethod<T>(&e, fn);
    e.id = TakeId();
    Add(std::move(e));
    return *this;
}

template <class T>
template <class R, class... A>
DispatchMap<T>& DispatchMap<T>::Method(const std::string& name, R (T::*fn)(A...)) {
    return Method<decltype(fn)>(name, fn);
}

template <class T>
template <class Get>
DispatchMap<T>& DispatchMap<T>::Property(const std::string& name, Get get) {
    DispatchEntry e;
    e.name = name;
    detail::FillGetter<T>(&e, get);
    e.id = TakeId();
    Add(std::move(e));
    return *this;
}

template <class T>
template <class Get, class Put>
DispatchMap<T>& DispatchMap<T>::Property(const std::string& name, Get get, Put put) {
    DispatchEntry e;
    e.name = name;
    detail::FillGetter<T>(&e, get);
    detail::FillPutter<T>(&e, put);
    e.id = TakeId();
    Add(std::move(e));
    return *this;
}

template <class T>
template <class G>
DispatchMap<T>& DispatchMap<T>::Property(const std::string& name, G (T::*get)()) {
    return Property<decltype(get)>(name, get);
}

template <class T>
template <class G, class S>
DispatchMap<T>& DispatchMap<T>::Property(const std::string& name, G (T::*get)(),
                                         void (T::*put)(S)) {
    return Property<decltype(get), decltype(put)>(name, get, put);
}

}  // namespace plat
