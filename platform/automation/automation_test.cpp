#include "platform/automation/automation.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace plat {
namespace {

// Members inherited from a base and const members are dispatchable too.
class TargetBase {
  public:
    int32_t Twice(int32_t v) { return 2 * v; }
};

class Target : public TargetBase, public Dispatchable<Target> {
  public:
    static void Describe(DispatchMap<Target>& m) {
        m.Method("Add", &Target::Add)
            .Method("Not", &Target::Not)
            .Method("Concat", &Target::Concat)
            .Method("Bump", &Target::Bump)
            .Method("Append", &Target::Append)
            .Method("Keep", &Target::Keep)
            .Method("Give", &Target::Give)
            .Method("RollBack", &Target::RollBack)
            .WithId(DISPID_ABOUTBOX)
            .Method("AboutBox", &Target::AboutBox)
            .Method("Twice", &Target::Twice)
            .Method("Throw", &Target::Throw)
            .Method("Reenter", &Target::Reenter)
            .Property("Value", &Target::GetValue, &Target::SetValue)
            .Property("Name", &Target::GetName)
            .Property("Flag", &Target::GetFlag, &Target::SetFlag);
    }
    static ComPtr<Target> Make() { return ComPtr<Target>::Adopt(new Target); }

    int32_t Add(int32_t a, int32_t b) { return a + b; }
    bool Not(bool b) { return !b; }
    std::string Concat(const std::string& a, std::string b) { return a + b; }
    void Bump(int32_t* p) { *p += 1; }
    void Append(std::string* s) { s->append(std::string("!\0\xFF", 3)); }
    int32_t Keep(IDispatch* d) {
        kept_ = ComPtr<>(d);
        return d ? 1 : 0;
    }
    IDispatch* Give() {  // a new reference for the caller
        if (kept_) kept_->AddRef();
        return kept_.get();
    }
    void RollBack() { ++rollbacks_; }
    void AboutBox() {}
    void Throw(int32_t kind) {
        if (kind == 1) throw std::bad_alloc();
        throw std::runtime_error("member failed");
    }
    // Calls back into this object through its dispatch interface while being invoked.
    int32_t Reenter(int32_t v) {
        DispatchDriver self(this);
        DispParams args{v, 1};
        Variant r;
        if (FAILED(self.Call("add", args, &r))) return -1;
        if (FAILED(self.PutProperty("Value", r))) return -1;
        Variant got;
        if (FAILED(self.GetProperty("value", &got))) return -1;
        return *got.GetLong();
    }
    int32_t GetValue() const { return value_; }
    void SetValue(int32_t v) { value_ = v; }
    std::string GetName() { return "target"; }
    bool GetFlag() { return flag_; }
    void SetFlag(bool f) { flag_ = f; }

    int rollbacks_ = 0;
    ComPtr<> kept_;

  private:
    int32_t value_ = 7;
    bool flag_ = false;
};

DISPID IdOf(IDispatch* d, const std::string& name) {
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(d->GetIDsOfNames(name, &id), S_OK) << name;
    return id;
}

constexpr uint16_t kGet = DISPATCH_PROPERTYGET;
constexpr uint16_t kPut = DISPATCH_PROPERTYPUT;
constexpr uint16_t kCall = DISPATCH_METHOD;
constexpr uint32_t kNoArgErr = 0xFFFFFFFFu;

// Every conversion of the mapping and every error path of Invoke.
TEST(DispatchInvoke, ConvertsArgumentsAndReportsEachError) {
    int32_t n = 3;
    std::string s = "x";
    struct Case {
        const char* member;  // nullptr: unknown id 999
        uint16_t flags;
        DispParams args;
        HRESULT hr;
        uint32_t argErr;  // kNoArgErr: left untouched
        std::string result;
    };
    const Case cases[] = {
        {"Add", kCall, {2, 3}, S_OK, kNoArgErr, "5"},
        {"Add", kCall, {true, 4}, S_OK, kNoArgErr, "5"},  // TRUE is 1
        {"Add", kCall | kGet, {2, 3}, S_OK, kNoArgErr, "5"},
        {"Add", kCall, {"2", 1}, DISP_E_TYPEMISMATCH, 0, "<empty>"},
        {"Add", kCall, {1, "2"}, DISP_E_TYPEMISMATCH, 1, "<empty>"},
        {"Add", kCall, {1, &n}, DISP_E_TYPEMISMATCH, 1, "<empty>"},  // by-ref is not by-value
        {"Add", kCall, {1, Variant()}, DISP_E_TYPEMISMATCH, 1, "<empty>"},
        {"Add", kCall, {1}, DISP_E_BADPARAMCOUNT, kNoArgErr, "<empty>"},
        {"Add", kCall, {1, 2, 3}, DISP_E_BADPARAMCOUNT, kNoArgErr, "<empty>"},
        {"Add", kGet, {1, 2}, DISP_E_MEMBERNOTFOUND, kNoArgErr, "<empty>"},
        {"Add", kPut, {1}, DISP_E_MEMBERNOTFOUND, kNoArgErr, "<empty>"},
        {"Not", kCall, {5}, S_OK, kNoArgErr, "FALSE"},  // nonzero is true
        {"Not", kCall, {0}, S_OK, kNoArgErr, "TRUE"},
        {"Not", kCall, {false}, S_OK, kNoArgErr, "TRUE"},
        {"Not", kCall, {""}, DISP_E_TYPEMISMATCH, 0, "<empty>"},
        {"Concat", kCall, {"a", "b"}, S_OK, kNoArgErr, "\"ab\""},
        {"Concat", kCall, {1, "b"}, DISP_E_TYPEMISMATCH, 0, "<empty>"},
        {"Concat", kCall, {"a", &s}, DISP_E_TYPEMISMATCH, 1, "<empty>"},
        {"Bump", kCall, {5}, DISP_E_TYPEMISMATCH, 0, "<empty>"},
        {"Bump", kCall, {&s}, DISP_E_TYPEMISMATCH, 0, "<empty>"},
        {"Bump", kCall, {static_cast<int32_t*>(nullptr)}, DISP_E_TYPEMISMATCH, 0, "<empty>"},
        {"Append", kCall, {"x"}, DISP_E_TYPEMISMATCH, 0, "<empty>"},
        {"Append", kCall, {static_cast<std::string*>(nullptr)}, DISP_E_TYPEMISMATCH, 0, "<empty>"},
        {"Keep", kCall, {Variant()}, S_OK, kNoArgErr, "0"},  // VT_EMPTY is a null pointer
        {"Keep", kCall, {5}, DISP_E_TYPEMISMATCH, 0, "<empty>"},
        {"Twice", kCall, {21}, S_OK, kNoArgErr, "42"},
        {"Throw", kCall, {1}, E_OUTOFMEMORY, kNoArgErr, "<empty>"},
        {"Throw", kCall, {2}, E_FAIL, kNoArgErr, "<empty>"},
        {"Value", kGet, {}, S_OK, kNoArgErr, "7"},
        {"Value", kCall | kGet, {}, S_OK, kNoArgErr, "7"},
        {"Value", kCall, {}, DISP_E_MEMBERNOTFOUND, kNoArgErr, "<empty>"},
        {"Value", kGet, {1}, DISP_E_BADPARAMCOUNT, kNoArgErr, "<empty>"},
        {"Value", kPut, {9}, S_OK, kNoArgErr, "<empty>"},
        {"Value", kPut, {true}, S_OK, kNoArgErr, "<empty>"},
        {"Value", kPut, {1, 2}, DISP_E_BADPARAMCOUNT, kNoArgErr, "<empty>"},
        {"Value", kPut, {}, DISP_E_BADPARAMCOUNT, kNoArgErr, "<empty>"},
        {"Value", kPut, {"9"}, DISP_E_TYPEMISMATCH, 0, "<empty>"},
        {"Flag", kPut, {3}, S_OK, kNoArgErr, "<empty>"},
        {"Name", kGet, {}, S_OK, kNoArgErr, "\"target\""},
        {"Name", kPut, {"other"}, CTL_E_SETNOTSUPPORTED, kNoArgErr, "<empty>"},
        {nullptr, kCall, {}, DISP_E_MEMBERNOTFOUND, kNoArgErr, "<empty>"},
    };
    for (const Case& c : cases) {
        auto t = Target::Make();
        DISPID id = c.member ? IdOf(t.get(), c.member) : 999;
        DispParams args = c.args;
        Variant result("stale");
        uint32_t argErr = kNoArgErr;
        std::string what = std::string(c.member ? c.member : "<999>") + " flags " +
                           std::to_string(c.flags) + " args " + std::to_string(args.size());
        EXPECT_EQ(t->Invoke(id, c.flags, args, &result, &argErr), c.hr) << what;
        EXPECT_EQ(argErr, c.argErr) << what;
        EXPECT_EQ(result.ToString(), c.result) << what;
    }
}

TEST(DispatchInvoke, PutsReachTheObjectAndNullResultIsAllowed) {
    auto t = Target::Make();
    DispatchDriver d(t.get());
    EXPECT_EQ(d.PutProperty("Value", 12), S_OK);
    EXPECT_EQ(d.PutProperty("flag", 3), S_OK);
    EXPECT_EQ(t->GetValue(), 12);
    EXPECT_TRUE(t->GetFlag());
    DispParams args{1, 2};
    EXPECT_EQ(d.Call("Add", args), S_OK);  // result discarded
}

TEST(DispatchNames, CaseInsensitiveAsciiOnlyAndIdsByPosition) {
    auto t = Target::Make();
    DISPID id = 0;
    for (const char* name : {"RollBack", "rollback", "ROLLBACK", "rOLLbACK"}) {
        ASSERT_EQ(t->GetIDsOfNames(name, &id), S_OK) << name;
        EXPECT_EQ(id, 8) << name;
    }
    EXPECT_EQ(t->GetIDsOfNames("RollBac", &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    EXPECT_EQ(t->GetIDsOfNames("", &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(IdOf(t.get(), "Add"), 1);
    EXPECT_EQ(IdOf(t.get(), "AboutBox"), DISPID_ABOUTBOX);
    EXPECT_EQ(IdOf(t.get(), "Twice"), 10);  // positions go on after an entry with its own id

    DispParams none;
    EXPECT_EQ(t->Invoke(DISPID_ABOUTBOX, kCall, none, nullptr), S_OK);
    EXPECT_EQ(t->Invoke(IdOf(t.get(), "rollback"), kCall, none, nullptr), S_OK);
    EXPECT_EQ(t->rollbacks_, 1);

    // Only ASCII letters fold: bytes 80..FF are compared as they are.
    struct Latin : Dispatchable<Latin> {
        static void Describe(DispatchMap<Latin>& m) { m.Method("\xC4pfel", &Latin::Run); }
        void Run() {}
    };
    DispatchMap<Latin> m;
    Latin::Describe(m);
    EXPECT_NE(m.FindName("\xC4PFEL"), nullptr);
    EXPECT_EQ(m.FindName("\xE4pfel"), nullptr);
}

struct Dup : Dispatchable<Dup> {
    static void Describe(DispatchMap<Dup>& m) {
        m.Method("Open", &Dup::Run).Method("OPEN", &Dup::Run);
    }
    void Run() {}
};

TEST(DispatchNames, DuplicateNamesOrIdsAreCaughtAtBuild) {
    DispatchMap<Dup> byName;
    EXPECT_THROW(Dup::Describe(byName), std::logic_error);

    DispatchMap<Dup> byId;
    byId.Method("A", &Dup::Run);
    EXPECT_THROW(byId.WithId(1).Method("B", &Dup::Run), std::logic_error);

    // An object whose table is wrong fails loudly at first use, not with a wrong member.
    auto* dup = new Dup;
    DispParams none;
    EXPECT_THROW(dup->Invoke(1, kCall, none, nullptr), std::logic_error);
    dup->Release();
}

TEST(DispatchArgs, ByReferenceArgumentsAreWrittenByTheCallee) {
    auto t = Target::Make();
    DispatchDriver d(t.get());
    int32_t n = 41;
    std::string s("a\0b", 3);
    DispParams bump{&n};
    DispParams append{&s};
    ASSERT_EQ(d.Call("Bump", bump), S_OK);
    ASSERT_EQ(d.Call("Append", append), S_OK);
    EXPECT_EQ(n, 42);
    EXPECT_EQ(s, std::string("a\0b!\0\xFF", 6));
    EXPECT_EQ(bump[0].ToString(), "&42");
}

TEST(DispatchArgs, StringsAreNulSafeForEveryByte) {
    std::string all;
    for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
    all += std::string("\0\0\x80\xFF", 4);
    auto t = Target::Make();
    DispatchDriver d(t.get());
    DispParams args{all, std::string("\0", 1)};
    Variant r;
    ASSERT_EQ(d.Call("Concat", args, &r), S_OK);
    ASSERT_NE(r.GetString(), nullptr);
    EXPECT_EQ(*r.GetString(), all + std::string("\0", 1));

    EXPECT_EQ(Variant(std::string("a\0\x80\"\\\n", 6)).ToString(), "\"a\\x00\\x80\\\"\\\\\\n\"");
}

TEST(DispatchArgs, DispatchPointersKeepReferenceCountsRight) {
    const long baseline = DispatchObject::LiveObjects();
    {
        auto t = Target::Make();
        ComPtr<> sink =
            LambdaDispatch::Create([](DISPID, uint16_t, DispParams&, Variant*) { return S_OK; });
        auto* obj = static_cast<DispatchObject*>(sink.get());
        EXPECT_EQ(obj->RefCount(), 1u);
        {
            DispParams args{sink.get()};  // the argument holds one
            EXPECT_EQ(obj->RefCount(), 2u);
            Variant r;
            ASSERT_EQ(t->Invoke(IdOf(t.get(), "Keep"), kCall, args, &r), S_OK);
            EXPECT_EQ(r.ToString(), "1");
            EXPECT_EQ(obj->RefCount(), 3u);  // the target keeps one
        }
        EXPECT_EQ(obj->RefCount(), 2u);
        {
            Variant r;
            DispParams none;
            ASSERT_EQ(t->Invoke(IdOf(t.get(), "Give"), kCall, none, &r), S_OK);
            EXPECT_EQ(r.GetDispatch(), sink.get());
            EXPECT_EQ(obj->RefCount(), 3u);  // the result holds the reference given out
            Variant copy = r;
            EXPECT_EQ(obj->RefCount(), 4u);
            Variant moved = std::move(copy);
            EXPECT_EQ(obj->RefCount(), 4u);
            moved = Variant(5);
            EXPECT_EQ(obj->RefCount(), 3u);
        }
        EXPECT_EQ(obj->RefCount(), 2u);
        t->kept_.reset();
        EXPECT_EQ(obj->RefCount(), 1u);
        EXPECT_EQ(DispatchObject::LiveObjects(), baseline + 2);
    }
    EXPECT_EQ(DispatchObject::LiveObjects(), baseline);
}

TEST(DispatchObject, LiveObjectsIsProcessWide) {
    const long baseline = DispatchObject::LiveObjects();
    auto churn = [] {
        for (int i = 0; i < 2000; ++i) Target::Make();
    };
    std::thread a(churn), b(churn);
    a.join();
    b.join();
    EXPECT_EQ(DispatchObject::LiveObjects(), baseline);
}

TEST(DispatchObject, MemberMayCallBackIntoTheSameObject) {
    auto t = Target::Make();
    DispatchDriver d(t.get());
    DispParams args{4};
    Variant r;
    ASSERT_EQ(d.Call("Reenter", args, &r), S_OK);
    EXPECT_EQ(r.ToString(), "5");
    EXPECT_EQ(t->GetValue(), 5);
}

// Counts name lookups, to show the driver asks once per name.
class Counting : public Dispatchable<Counting> {
  public:
    static void Describe(DispatchMap<Counting>& m) { m.Method("Add", &Counting::Add); }
    HRESULT GetIDsOfNames(const std::string& name, DISPID* id) override {
        ++lookups;
        return DispatchObject::GetIDsOfNames(name, id);
    }
    int32_t Add(int32_t a, int32_t b) { return a + b; }
    int lookups = 0;
};

TEST(DispatchDriver, CachesIdsByNameIgnoringCase) {
    auto c = ComPtr<Counting>::Adopt(new Counting);
    DispatchDriver d(c.get());
    DispParams args{1, 2};
    Variant r;
    for (const char* name : {"Add", "add", "ADD"}) ASSERT_EQ(d.Call(name, args, &r), S_OK);
    EXPECT_EQ(r.ToString(), "3");
    EXPECT_EQ(c->lookups, 1);

    EXPECT_EQ(d.Call("Sub", args, &r), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(d.Call("Sub", args, &r), DISP_E_UNKNOWNNAME);  // failures are not cached
    EXPECT_EQ(c->lookups, 3);

    d.Attach(c.get());  // a new object: the cache starts over
    ASSERT_EQ(d.Call("Add", args, &r), S_OK);
    EXPECT_EQ(c->lookups, 4);

    d.Release();
    EXPECT_EQ(d.Call("Add", args, &r), E_POINTER);
    EXPECT_EQ(c->RefCount(), 1u);
}

TEST(EventSource, SinksChangeByRefArgumentsForTheFirer) {
    std::vector<std::string> seen;
    auto first = LambdaDispatch::Create([&](DISPID id, uint16_t flags, DispParams& a, Variant*) {
        seen.push_back("first " + std::to_string(id) + " " + a[0].ToString());
        EXPECT_EQ(flags, DISPATCH_METHOD);
        *a[0].GetLongRef() = 11;
        *a[1].GetStringRef() += "+1";
        return S_OK;
    });
    auto second = LambdaDispatch::Create([&](DISPID, uint16_t, DispParams& a, Variant*) {
        seen.push_back("second " + a[0].ToString() + " " + a[1].ToString());
        *a[0].GetLongRef() += 1;
        return DISP_E_TYPEMISMATCH;
    });
    auto third = LambdaDispatch::Create([&](DISPID, uint16_t, DispParams&, Variant*) {
        seen.push_back("third");
        return E_FAIL;
    });
    EventSource src;
    EXPECT_FALSE(src.HasSinks());
    EXPECT_EQ(src.Advise(nullptr), 0u);
    uint32_t c1 = src.Advise(first.get());
    uint32_t c2 = src.Advise(second.get());
    uint32_t c3 = src.Advise(third.get());
    EXPECT_NE(c1, 0u);
    EXPECT_NE(c1, c2);
    EXPECT_TRUE(src.HasSinks());

    int32_t response = 0;
    std::string text = "data";
    DispParams args{&response, &text};
    EXPECT_EQ(src.Fire(3, args), DISP_E_TYPEMISMATCH);  // the first failure, all called
    EXPECT_EQ(response, 12);
    EXPECT_EQ(text, "data+1");
    EXPECT_EQ(seen, (std::vector<std::string>{"first 3 &0", "second &11 &\"data+1\"", "third"}));

    src.Unadvise(c2);
    src.Unadvise(c3);
    src.Unadvise(c3);  // unknown cookie: ignored
    seen.clear();
    EXPECT_EQ(src.Fire(4, args), S_OK);
    EXPECT_EQ(seen, std::vector<std::string>{"first 4 &12"});
    src.Unadvise(c1);
    EXPECT_FALSE(src.HasSinks());
    EXPECT_EQ(static_cast<DispatchObject*>(first.get())->RefCount(), 1u);
}

TEST(EventSource, SinkUnadvisedDuringFireGetsNoMoreEvents) {
    EventSource src;
    uint32_t victim = 0;
    int victimCalls = 0;
    auto closer = LambdaDispatch::Create([&](DISPID, uint16_t, DispParams&, Variant*) {
        src.Unadvise(victim);  // re-enters the source from inside Fire
        return S_OK;
    });
    auto other = LambdaDispatch::Create([&](DISPID, uint16_t, DispParams&, Variant*) {
        ++victimCalls;
        return S_OK;
    });
    src.Advise(closer.get());
    victim = src.Advise(other.get());
    DispParams none;
    EXPECT_EQ(src.Fire(1, none), S_OK);
    EXPECT_EQ(victimCalls, 0);
}

TEST(LambdaDispatch, NamesGiveIdsFromOne) {
    DISPID got = 0;
    auto d = LambdaDispatch::Create(
        [&](DISPID id, uint16_t, DispParams&, Variant* r) {
            got = id;
            *r = Variant(id * 10);
            return S_OK;
        },
        {"DataEvent", "ErrorEvent"});
    DispatchDriver drv(d.get());
    DispParams none;
    Variant r;
    ASSERT_EQ(drv.Call("errorevent", none, &r), S_OK);
    EXPECT_EQ(got, 2);
    EXPECT_EQ(r.ToString(), "20");
    EXPECT_EQ(drv.Call("Other", none, &r), DISP_E_UNKNOWNNAME);
}

}  // namespace
}  // namespace plat
