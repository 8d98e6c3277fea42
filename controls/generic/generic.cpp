// Generic controls for the POSPrinter, CashDrawer, MICR and LineDisplay classes. The
// standard controls of these classes come from outside the package; these are the least
// that drives a service object through its whole dispatch surface: the common members
// of the frame, every class property by its PIDX, and any other method forwarded by name
// to the service object.
#include <string>
#include <vector>

#include "controls/frame/control.h"
#include "include/opos.h"
#include "include/opos_cash.h"
#include "include/opos_disp.h"
#include "include/opos_micr.h"
#include "include/opos_ptr.h"
#include "platform/ascii.h"
#include "platform/automation/classes.h"
#include "posframe/reginfo.h"

namespace {

struct ClassProperty {
    const char* name;
    LONG pidx;
};
#include "controls/generic/class_props.inc"

struct ClassDef {
    const char* progId;
    const char* clsid;
    int classCode;
    const char* deviceClass;
    const ClassProperty* props;
    size_t propCount;
};

template <size_t N>
constexpr size_t CountOf(const ClassProperty (&)[N]) {
    return N;
}

const ClassDef kClasses[] = {
    {"OPOS.POSPrinter", "{6B1D3E01-5A7C-4E1B-9C30-2F4A00000001}", kClassPOSPrinter, "POSPrinter",
     kPtrProperties, CountOf(kPtrProperties)},
    {"OPOS.CashDrawer", "{6B1D3E01-5A7C-4E1B-9C30-2F4A00000002}", kClassCashDrawer, "CashDrawer",
     kCashProperties, CountOf(kCashProperties)},
    {"OPOS.MICR", "{6B1D3E01-5A7C-4E1B-9C30-2F4A00000003}", kClassMICR, "MICR", kMicrProperties,
     CountOf(kMicrProperties)},
    {"OPOS.LineDisplay", "{6B1D3E01-5A7C-4E1B-9C30-2F4A00000004}", kClassLineDisplay,
     "LineDisplay", kDispProperties, CountOf(kDispProperties)},
};

InstanceCounter g_instances;

ControlSpec SpecOf(const ClassDef& def) {
    ControlSpec spec;
    spec.classCode = def.classCode;
    spec.deviceClass = def.deviceClass;
    spec.captionFormat = std::string(def.deviceClass) + "%ld";
    spec.methods = {"DirectIO"};
    spec.description = std::string("Generic ") + def.deviceClass + " control";
    return spec;
}

// Ids above the frame's table: class properties, then forwarded methods.
constexpr DISPID kPropertyBase = 100000;
constexpr DISPID kForwardBase = 200000;

class CGenericCtrl : public CControlFrame {
public:
    explicit CGenericCtrl(const ClassDef& def) : CControlFrame(SpecOf(def), g_instances), def_(def) {}

    static void Describe(plat::DispatchMap<CGenericCtrl>& m) {
        DescribeCommonProperties(m);
        m.Property("DataEventEnabled", &CControlFrame::GetDataEventEnabled,
                   &CControlFrame::SetDataEventEnabled)
            .Property("DataCount", &CControlFrame::GetDataCount);
        DescribeCommonMethods(m);
    }

    HRESULT GetIDsOfNames(const std::string& name, DISPID* id) override {
        if (SUCCEEDED(CControlFrame::GetIDsOfNames(name, id))) return S_OK;
        if (!id || name.empty()) return DISP_E_UNKNOWNNAME;
        for (size_t i = 0; i < def_.propCount; ++i) {
            if (plat::EqualsNoCase(name, def_.props[i].name)) {
                *id = kPropertyBase + static_cast<DISPID>(i);
                return S_OK;
            }
        }
        for (size_t i = 0; i < forwarded_.size(); ++i) {
            if (plat::EqualsNoCase(name, forwarded_[i].c_str())) {
                *id = kForwardBase + static_cast<DISPID>(i);
                return S_OK;
            }
        }
        forwarded_.push_back(name);
        *id = kForwardBase + static_cast<DISPID>(forwarded_.size() - 1);
        return S_OK;
    }

    HRESULT Invoke(DISPID id, uint16_t flags, plat::DispParams& args, plat::Variant* result,
                   uint32_t* argErr) override {
        if (id >= kForwardBase) {
            size_t i = static_cast<size_t>(id - kForwardBase);
            if (i >= forwarded_.size() || !(flags & plat::DISPATCH_METHOD))
                return DISP_E_MEMBERNOTFOUND;
            LONG rc = ForwardByName(forwarded_[i], args);
            if (result) *result = plat::Variant(static_cast<int32_t>(rc));
            return S_OK;
        }
        if (id >= kPropertyBase) {
            size_t i = static_cast<size_t>(id - kPropertyBase);
            if (i >= def_.propCount) return DISP_E_MEMBERNOTFOUND;
            return InvokeProperty(def_.props[i].pidx, flags, args, result);
        }
        return CControlFrame::Invoke(id, flags, args, result, argErr);
    }

    KAVRO_DISPATCH_TABLE(CGenericCtrl)

    HRESULT InvokeProperty(LONG pidx, uint16_t flags, plat::DispParams& args,
                           plat::Variant* result) {
        const bool isString = pidx >= PIDX_STRING;
        if (flags & plat::DISPATCH_PROPERTYPUT) {
            if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
            if (isString) {
                const std::string* s = args[0].GetString();
                if (!s) return DISP_E_TYPEMISMATCH;
                ForwardString(pidx, *s);
            } else {
                int32_t n = 0;
                if (!args[0].ToLong(&n)) return DISP_E_TYPEMISMATCH;
                ForwardNumber(pidx, n);
            }
            return S_OK;
        }
        if (!args.empty()) return DISP_E_BADPARAMCOUNT;
        if (result) {
            if (isString)
                *result = plat::Variant(ServiceString(pidx));
            else
                *result = plat::Variant(static_cast<int32_t>(ServiceNumber(pidx)));
        }
        return S_OK;
    }

    const ClassDef& def_;
    std::vector<std::string> forwarded_;
};

plat::ComModule& Module() {
    static plat::ComModule module = [] {
        plat::ComModule m;
        for (const ClassDef& def : kClasses) {
            plat::ClassInfo info;
            info.progId = def.progId;
            plat::GuidFromString(def.clsid, &info.clsid);
            info.description = std::string("Generic ") + def.deviceClass + " control";
            info.create = [&def]() -> IDispatch* { return new CGenericCtrl(def); };
            info.isControl = true;
            info.typeLib = "{6B1D3E01-5A7C-4E1B-9C30-2F4A000000FF}";
            m.Add(std::move(info));
        }
        return m;
    }();
    return module;
}

}  // namespace

KAVRO_SERVER_EXPORTS(Module())
