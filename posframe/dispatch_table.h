// The dispatch table of a service object or control class.
#pragma once

#include "platform/automation/automation.h"

// Declares the dispatch table of a service object or control class `Cls` whose static
// Describe(plat::DispatchMap<Cls>&) lists its members.
#define KAVRO_DISPATCH_TABLE(Cls)                                      \
protected:                                                             \
    const ::plat::DispatchTable& Table() const override {              \
        static const ::plat::DispatchMap<Cls> table = [] {             \
            ::plat::DispatchMap<Cls> m;                                \
            Cls::Describe(m);                                          \
            return m;                                                  \
        }();                                                           \
        return table;                                                  \
    }                                                                  \
    void* Self() override { return static_cast<Cls*>(this); }          \
                                                                       \
private:
