// Variant: the automation value. A dispatch pointer inside holds one reference.
#include <cstdio>
#include <utility>

#include "platform/automation/automation.h"

namespace plat {

namespace {

void EscapeInto(const std::string& s, std::string* out) {
    out->push_back('"');
    for (unsigned char c : s) {
        switch (c) {
            case '"':
                *out += "\\\"";
                break;
            case '\\':
                *out += "\\\\";
                break;
            case '\n':
                *out += "\\n";
                break;
            case '\r':
                *out += "\\r";
                break;
            case '\t':
                *out += "\\t";
                break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\x%02X", c);
                    *out += buf;
                } else {
                    out->push_back(static_cast<char>(c));
                }
        }
    }
    out->push_back('"');
}

}  // namespace

Variant::Variant(IDispatch* d) : v_(DispBox{d}) {
    if (d) d->AddRef();
}

Variant::Variant(const Variant& o) : v_(o.v_) {
    if (IDispatch* d = GetDispatch()) d->AddRef();
}

Variant::Variant(Variant&& o) noexcept : v_(std::move(o.v_)) {
    o.v_ = std::monostate{};
}

Variant& Variant::operator=(const Variant& o) {
    if (this != &o) *this = Variant(o);
    return *this;
}

Variant& Variant::operator=(Variant&& o) noexcept {
    if (this == &o) return *this;
    // The old value is released last, so a destructor it triggers sees this Variant
    // already holding the new value.
    IDispatch* old = GetDispatch();
    v_ = std::move(o.v_);
    o.v_ = std::monostate{};
    if (old) old->Release();
    return *this;
}

Variant::~Variant() {
    if (IDispatch* d = GetDispatch()) d->Release();
}

VARTYPE Variant::vt() const {
    switch (v_.index()) {
        case 1:
            return VT_I4;
        case 2:
            return VT_BOOL;
        case 3:
            return VT_BSTR;
        case 4:
            return static_cast<VARTYPE>(VT_BYREF | VT_I4);
        case 5:
            return static_cast<VARTYPE>(VT_BYREF | VT_BSTR);
        case 6:
            return VT_DISPATCH;
        default:
            return VT_EMPTY;
    }
}

bool Variant::GetBool(bool* out) const {
    const BoolBox* b = std::get_if<BoolBox>(&v_);
    if (!b) return false;
    *out = b->b;
    return true;
}

int32_t* Variant::GetLongRef() const {
    const auto* p = std::get_if<int32_t*>(&v_);
    return p ? *p : nullptr;
}

std::string* Variant::GetStringRef() const {
    const auto* p = std::get_if<std::string*>(&v_);
    return p ? *p : nullptr;
}

IDispatch* Variant::GetDispatch() const {
    const DispBox* d = std::get_if<DispBox>(&v_);
    return d ? d->p : nullptr;
}

bool Variant::ToLong(int32_t* out) const {
    if (const int32_t* l = GetLong()) {
        *out = *l;
        return true;
    }
    if (const BoolBox* b = std::get_if<BoolBox>(&v_)) {
        *out = b->b ? TRUE : FALSE;
        return true;
    }
    return false;
}

bool Variant::ToBool(bool* out) const {
    if (GetBool(out)) return true;
    if (const int32_t* l = GetLong()) {
        *out = *l != 0;
        return true;
    }
    return false;
}

std::string Variant::ToString() const {
    std::string out;
    switch (v_.index()) {
        case 1:
            return std::to_string(std::get<int32_t>(v_));
        case 2:
            return std::get<BoolBox>(v_).b ? "TRUE" : "FALSE";
        case 3:
            EscapeInto(std::get<std::string>(v_), &out);
            return out;
        case 4: {
            const int32_t* p = std::get<int32_t*>(v_);
            return p ? "&" + std::to_string(*p) : "&<null>";
        }
        case 5: {
            const std::string* p = std::get<std::string*>(v_);
            if (!p) return "&<null>";
            out = "&";
            EscapeInto(*p, &out);
            return out;
        }
        case 6:
            return GetDispatch() ? "<dispatch>" : "<null dispatch>";
        default:
            return "<empty>";
    }
}

}  // namespace plat
