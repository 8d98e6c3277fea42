#include "platform/automation/classes.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/registry/registry.h"

namespace plat {
namespace {

constexpr const char* kEchoClsid = "{6A1D3C20-5B7E-4F10-9C2A-00000000E001}";
constexpr const char* kHkcr = "HKEY_CLASSES_ROOT\\";

std::string RealPath(const char* p) {
    char* r = realpath(p, nullptr);
    std::string s = r ? r : "";
    free(r);
    return s;
}

// The test server, loaded the way posreg loads a library to register it.
void* Server() {
    static void* h = dlopen(AUTOTEST_SERVER_PATH, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(h, nullptr) << dlerror();
    return h;
}

HRESULT CallExport(const char* name) {
    auto fn = reinterpret_cast<HRESULT (*)()>(dlsym(Server(), name));
    EXPECT_NE(fn, nullptr) << name;
    return fn ? fn() : E_FAIL;
}

std::string Get(const std::string& key, const std::string& name = "") {
    std::string v;
    LONG rc = reg::GetString(key, name, &v);
    return rc == ERROR_SUCCESS ? v : "<error " + std::to_string(rc) + ">";
}

// Every test gets a store of its own in a fresh folder.
class ClassStore : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kavro-classes-XXXXXX");
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        reg::SetStorePath(dir_ + "/registry.reg");
    }
    void TearDown() override {
        reg::SetStorePath("");
        chmod(dir_.c_str(), 0700);
        std::filesystem::remove_all(dir_);
    }
    void Write(const std::string& key, const std::string& name, const std::string& value) {
        ASSERT_EQ(reg::SetString(key, name, value), ERROR_SUCCESS) << key;
    }
    std::string dir_;
};

TEST_F(ClassStore, RegisterWritesEveryKeyAndCreatesByProgId) {
    ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
    const std::string cls = std::string(kHkcr) + "CLSID\\" + kEchoClsid;
    const std::array<std::array<std::string, 3>, 6> expected = {{
        {std::string(kHkcr) + "KavroTest.Echo", "", "Echo test class"},
        {std::string(kHkcr) + "KavroTest.Echo\\CLSID", "", kEchoClsid},
        {cls, "", "Echo test class"},
        {cls + "\\ProgID", "", "KavroTest.Echo"},
        {cls + "\\InprocServer32", "", RealPath(AUTOTEST_SERVER_PATH)},
        {cls + "\\InprocServer32", "ThreadingModel", "Apartment"},
    }};
    for (const auto& [key, name, value] : expected) EXPECT_EQ(Get(key, name), value) << key;
    EXPECT_FALSE(reg::KeyExists(cls + "\\Control"));

    const long baseline = DispatchObject::LiveObjects();
    ComPtr<> obj;
    ASSERT_EQ(CreateObject("kavrotest.ECHO", obj.put()), S_OK);  // ProgIDs ignore case
    EXPECT_EQ(DispatchObject::LiveObjects(), baseline + 1);
    EXPECT_EQ(CallExport("DllCanUnloadNow"), S_FALSE);

    DispatchDriver d(obj.get());
    const std::string data("\x1B@\0\xFF", 4);
    DispParams args{data};
    Variant r;
    ASSERT_EQ(d.Call("echo", args, &r), S_OK);
    ASSERT_NE(r.GetString(), nullptr);
    EXPECT_EQ(*r.GetString(), data);
    ASSERT_EQ(d.GetProperty("Calls", &r), S_OK);
    EXPECT_EQ(r.ToString(), "1");

    d.Release();
    obj.reset();
    EXPECT_EQ(DispatchObject::LiveObjects(), baseline);
    if (baseline == 0) {
        EXPECT_EQ(CallExport("DllCanUnloadNow"), S_OK);
    }
}

TEST_F(ClassStore, EachCreateFailureHasItsOwnCode) {
    ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
    const std::string clsKey = std::string(kHkcr) + "CLSID\\";
    const std::string textFile = dir_ + "/not-a-library.so";
    std::ofstream(textFile) << "plain text\n";
    // Each case registers a ProgID "Case.N" pointing at CLSID {...00N}, with `server` as
    // the class's InprocServer32 (nullptr: no InprocServer32 key).
    struct Case {
        const char* what;
        const char* progId;
        const char* clsid;   // value of <ProgID>\CLSID; nullptr: none written
        bool classKey;       // write CLSID\{...} itself
        const char* server;  // InprocServer32 default; nullptr: none
        HRESULT hr;
        const char* errorText;  // expected in DlErrorText(), or nullptr
    };
    const std::string missing = dir_ + "/missing.so";
    const Case cases[] = {
        {"unknown ProgID", "Case.None", nullptr, false, nullptr, REGDB_E_CLASSNOTREG, nullptr},
        {"empty ProgID", "", nullptr, false, nullptr, REGDB_E_CLASSNOTREG, nullptr},
        {"ProgID with a path separator", "Outer\\Inner", kEchoClsid, false, nullptr,
         REGDB_E_CLASSNOTREG, nullptr},
        {"CLSID not a GUID", "Case.Bad1", "6A1D3C20-5B7E-4F10-9C2A-00000000E001", false, nullptr,
         CO_E_CLASSSTRING, nullptr},
        {"CLSID one digit short", "Case.Bad2", "{6A1D3C20-5B7E-4F10-9C2A-00000000E00}", false,
         nullptr, CO_E_CLASSSTRING, nullptr},
        {"CLSID with no class entry", "Case.1", "{00000000-0000-0000-0000-000000000001}", false,
         nullptr, REGDB_E_CLASSNOTREG, nullptr},
        {"missing InprocServer32", "Case.2", "{00000000-0000-0000-0000-000000000002}", true,
         nullptr, REGDB_E_READREGDB, nullptr},
        {"empty InprocServer32", "Case.3", "{00000000-0000-0000-0000-000000000003}", true, "",
         REGDB_E_READREGDB, nullptr},
        {"library does not exist", "Case.4", "{00000000-0000-0000-0000-000000000004}", true,
         missing.c_str(), CO_E_DLLNOTFOUND, "missing.so"},
        {"relative library path", "Case.5", "{00000000-0000-0000-0000-000000000005}", true,
         "libautotest_server.so", CO_E_DLLNOTFOUND, "not absolute"},
        {"file is not a library", "Case.6", "{00000000-0000-0000-0000-000000000006}", true,
         textFile.c_str(), CO_E_DLLNOTFOUND, "not-a-library.so"},
        {"library without DllGetClassObject", "Case.7", "{00000000-0000-0000-0000-000000000007}",
         true, POSPLAT_PATH, CO_E_ERRORINDLL, nullptr},
        {"class the library does not serve", "Case.8", "{00000000-0000-0000-0000-000000000008}",
         true, AUTOTEST_SERVER_PATH, CLASS_E_CLASSNOTAVAILABLE, nullptr},
    };
    for (const Case& c : cases) {
        if (c.clsid) Write(kHkcr + std::string(c.progId) + "\\CLSID", "", c.clsid);
        if (c.classKey) Write(clsKey + c.clsid, "", c.what);
        if (c.server) Write(clsKey + c.clsid + "\\InprocServer32", "", c.server);
        IDispatch* out = reinterpret_cast<IDispatch*>(1);
        EXPECT_EQ(CreateObject(c.progId, &out), c.hr) << c.what;
        EXPECT_EQ(out, nullptr) << c.what;
        if (c.errorText) {
            EXPECT_NE(DlErrorText().find(c.errorText), std::string::npos)
                << c.what << ": " << DlErrorText();
        }
    }
}

TEST_F(ClassStore, UnreadableStoreIsAReadError) {
    ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
    std::ofstream(reg::StorePath(), std::ios::trunc) << "this is not a registry file\n";
    ComPtr<> obj;
    EXPECT_EQ(CreateObject("KavroTest.Echo", obj.put()), REGDB_E_READREGDB);
    EXPECT_EQ(CreateObjectByClsid(CLSID{}, obj.put()), REGDB_E_READREGDB);
}

TEST_F(ClassStore, UnregisterRemovesOnlyItsOwnKeys) {
    ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
    Write(std::string(kHkcr) + "Other.Class\\CLSID", "", "{00000000-0000-0000-0000-0000000000F1}");
    ASSERT_EQ(CallExport("DllUnregisterServer"), S_OK);
    EXPECT_FALSE(reg::KeyExists(std::string(kHkcr) + "KavroTest.Echo"));
    EXPECT_FALSE(reg::KeyExists(std::string(kHkcr) + "CLSID\\" + kEchoClsid));
    EXPECT_TRUE(reg::KeyExists(std::string(kHkcr) + "Other.Class"));
    ComPtr<> obj;
    EXPECT_EQ(CreateObject("KavroTest.Echo", obj.put()), REGDB_E_CLASSNOTREG);

    // A ProgID another library has taken over since stays; unregistering twice is fine.
    ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
    Write(std::string(kHkcr) + "KavroTest.Echo\\CLSID", "",
          "{00000000-0000-0000-0000-0000000000F2}");
    ASSERT_EQ(CallExport("DllUnregisterServer"), S_OK);
    EXPECT_EQ(Get(std::string(kHkcr) + "KavroTest.Echo\\CLSID"),
              "{00000000-0000-0000-0000-0000000000F2}");
    EXPECT_EQ(CallExport("DllUnregisterServer"), S_OK);
}

IDispatch* NoObject() {
    return nullptr;
}

ComModule ControlModule(const std::string& typeLib) {
    ComModule m;
    CLSID clsid;
    GuidFromString("{6A1D3C20-5B7E-4F10-9C2A-00000000C001}", &clsid);
    m.Add({"KavroTest.Control", clsid, "Test control", &NoObject, true, typeLib});
    return m;
}

TEST_F(ClassStore, ControlsGetTypeLibAndControlKeys) {
    const std::string lib = "{6a1d3c20-5b7e-4f10-9c2a-0000000071b1}";  // either case
    ComModule m = ControlModule(lib);
    ASSERT_EQ(m.RegisterServer(reinterpret_cast<const void*>(&NoObject)), S_OK);
    const std::string cls = std::string(kHkcr) + "CLSID\\{6A1D3C20-5B7E-4F10-9C2A-00000000C001}";
    const std::string libUpper = "{6A1D3C20-5B7E-4F10-9C2A-0000000071B1}";
    EXPECT_EQ(Get(std::string(kHkcr) + "TypeLib\\" + libUpper + "\\1.0"), "Test control");
    EXPECT_EQ(Get(cls + "\\InprocServer32"), RealPath("/proc/self/exe"));  // this program
    EXPECT_EQ(Get(cls + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_TRUE(reg::KeyExists(cls + "\\Control"));
    EXPECT_EQ(Get(cls + "\\MiscStatus\\1"), "132241");
    EXPECT_EQ(Get(cls + "\\TypeLib"), libUpper);
    EXPECT_EQ(Get(cls + "\\Version"), "1.0");

    ASSERT_EQ(m.UnregisterServer(), S_OK);
    EXPECT_FALSE(reg::KeyExists(std::string(kHkcr) + "TypeLib\\" + libUpper));
    EXPECT_FALSE(reg::KeyExists(cls));

    ComModule bad = ControlModule("not a guid");
    EXPECT_EQ(bad.RegisterServer(reinterpret_cast<const void*>(&NoObject)), SELFREG_E_TYPELIB);
    EXPECT_FALSE(reg::KeyExists(cls));
}

TEST_F(ClassStore, StoreThatCannotBeWrittenFailsRegistration) {
    std::ofstream(dir_ + "/file") << "x";
    std::vector<std::string> stores = {dir_ + "/file/x/registry.reg"};  // folder cannot exist
    if (geteuid() != 0) {  // root writes into a 0500 folder regardless
        ASSERT_EQ(mkdir((dir_ + "/ro").c_str(), 0500), 0);
        stores.push_back(dir_ + "/ro/registry.reg");
    }
    for (const std::string& store : stores) {
        reg::SetStorePath(store);
        EXPECT_EQ(CallExport("DllRegisterServer"), SELFREG_E_CLASS) << store;
        ComModule control = ControlModule("{6A1D3C20-5B7E-4F10-9C2A-0000000071B1}");
        EXPECT_EQ(control.RegisterServer(reinterpret_cast<const void*>(&NoObject)),
                  SELFREG_E_TYPELIB)
            << store;
    }
    chmod((dir_ + "/ro").c_str(), 0700);
}

TEST_F(ClassStore, ModuleServesOnlyItsClasses) {
    ComModule m = ControlModule("{6A1D3C20-5B7E-4F10-9C2A-0000000071B1}");
    IClassFactory* f = nullptr;
    EXPECT_EQ(m.GetClassObject(CLSID{}, &f), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(f, nullptr);
    ASSERT_EQ(m.GetClassObject(m.Classes()[0].clsid, &f), S_OK);
    IDispatch* out = nullptr;
    EXPECT_EQ(f->CreateInstance(&out), E_OUTOFMEMORY);  // create() returned nothing
    EXPECT_EQ(f->CreateInstance(nullptr), E_POINTER);
    EXPECT_THROW(m.Add(m.Classes()[0]), std::logic_error);
}

TEST_F(ClassStore, CreatesFromSeveralThreads) {
    ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
    const long baseline = DispatchObject::LiveObjects();
    auto create = [] {
        for (int i = 0; i < 20; ++i) {
            ComPtr<> obj;
            EXPECT_EQ(CreateObject("KavroTest.Echo", obj.put()), S_OK);
        }
    };
    std::thread a(create), b(create);
    a.join();
    b.join();
    EXPECT_EQ(DispatchObject::LiveObjects(), baseline);
}

TEST(Guid, ParsesTheBracedFormOnly) {
    GUID g;
    ASSERT_TRUE(GuidFromString("{0123abcd-89AB-cdef-0123-456789abcdef}", &g));
    EXPECT_EQ(GuidToString(g), "{0123ABCD-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(g.d1, 0x0123ABCDu);
    EXPECT_EQ(g.d4[7], 0xEF);
    for (const char* bad :
         {"", "{}", "0123ABCD-89AB-CDEF-0123-456789ABCDEF", "{0123ABCD-89AB-CDEF-0123-456789ABCDEF",
          "{0123ABCD-89AB-CDEF-0123-456789ABCDEG}", "{0123ABCD-89AB-CDEF-0123-456789ABCDEF}x",
          "{0123ABCD+89AB-CDEF-0123-456789ABCDEF}", "{0123ABC-D89AB-CDEF-0123-456789ABCDEF}",
          "{ 123ABCD-89AB-CDEF-0123-456789ABCDEF}"})
        EXPECT_FALSE(GuidFromString(bad, &g)) << bad;
}

}  // namespace
}  // namespace plat
