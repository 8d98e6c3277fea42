#include "platform/registry/registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/registry/regtest_fixture.h"
#include "platform/registry/regtree.h"

namespace {

using Registry = TempStore;

const std::string kHeader = "Windows Registry Editor Version 5.00\n";

std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s.push_back(static_cast<char>(b));
    return s;
}

HKEY Create(const char* path, DWORD access = KEY_ALL_ACCESS) {
    HKEY key = 0;
    EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, path, access, &key), ERROR_SUCCESS)
        << RegLastErrorText();
    return key;
}

// Reads a value whole with the two-call protocol (size first).
LONG Query(HKEY key, const char* name, DWORD* type, std::string* data) {
    DWORD size = 0;
    LONG rc = RegQueryValueEx(key, name, type, nullptr, &size);
    if (rc != ERROR_SUCCESS) return rc;
    data->assign(size, '\x55');
    rc = RegQueryValueEx(key, name, type, reinterpret_cast<BYTE*>(data->data()), &size);
    data->resize(size);
    return rc;
}

TEST_F(Registry, ValuesKeepTypeAndSizeInMemoryAndOnDisk) {
    struct Case {
        const char* name;
        DWORD type;
        std::string given;
        std::string read;  // what RegQueryValueEx returns
    } cases[] = {
        {"empty string", REG_SZ, "", std::string(1, '\0')},
        {"terminated", REG_SZ, std::string("abc\0", 4), std::string("abc\0", 4)},
        {"unterminated", REG_SZ, "abc", std::string("abc\0", 4)},
        {"only 00", REG_SZ, std::string(1, '\0'), std::string(1, '\0')},
        {"two 00", REG_SZ, std::string("ab\0\0", 4), std::string("ab\0\0", 4)},
        {"inner 00, high bytes", REG_SZ, Bytes({'a', 0, 0x80, 0xFF, 0}),
         Bytes({'a', 0, 0x80, 0xFF, 0})},
        {"dword 0", REG_DWORD, Bytes({0, 0, 0, 0}), Bytes({0, 0, 0, 0})},
        {"dword max", REG_DWORD, Bytes({0xFF, 0xFF, 0xFF, 0xFF}), Bytes({0xFF, 0xFF, 0xFF, 0xFF})},
        {"binary 0", REG_BINARY, "", ""},
        {"binary 1", REG_BINARY, Bytes({0}), Bytes({0})},
        {"binary 1000", REG_BINARY, std::string(1000, '\xA5'), std::string(1000, '\xA5')},
        {"multi-string", 7, std::string("a\0b\0\0", 5), std::string("a\0b\0\0", 5)},
    };
    HKEY key = Create("SOFTWARE\\Types");
    for (const auto& c : cases) {
        ASSERT_EQ(RegSetValueEx(key, c.name, c.type, reinterpret_cast<const BYTE*>(c.given.data()),
                                static_cast<DWORD>(c.given.size())),
                  ERROR_SUCCESS)
            << RegLastErrorText();
    }
    RegCloseKey(key);
    // Once from the cache, once from a copy of the file loaded afresh.
    std::string copy = dir_ + "/copy.reg";
    std::filesystem::copy_file(file_, copy);
    for (const std::string& store : {file_, copy}) {
        plat::reg::SetStorePath(store);
        HKEY k = 0;
        ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Types", 0, KEY_READ, &k),
                  ERROR_SUCCESS);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " from " + store);
            DWORD type = 0;
            std::string data;
            ASSERT_EQ(Query(k, c.name, &type, &data), ERROR_SUCCESS);
            EXPECT_EQ(type, c.type);
            EXPECT_EQ(data, c.read);
        }
        RegCloseKey(k);
    }
}

TEST_F(Registry, QuerySizeProtocol) {
    HKEY key = Create("SOFTWARE\\Q");
    ASSERT_EQ(RegSetValueEx(key, "s", REG_SZ, reinterpret_cast<const BYTE*>("hello"), 5),
              ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueEx(key, "s", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, REG_SZ);
    BYTE buf[8];
    std::memset(buf, 0x55, sizeof buf);
    size = 5;
    EXPECT_EQ(RegQueryValueEx(key, "s", &type, buf, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(buf[0], 0x55);  // nothing copied
    EXPECT_EQ(RegQueryValueEx(key, "s", nullptr, buf, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueEx(key, "s", nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueEx(key, "none", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueEx(key, nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegSetValueEx(key, nullptr, REG_SZ, reinterpret_cast<const BYTE*>("d"), 2),
              ERROR_SUCCESS);
    std::string data;
    EXPECT_EQ(Query(key, "", &type, &data), ERROR_SUCCESS);  // "" and null: default value
    EXPECT_EQ(data, std::string("d\0", 2));
    RegCloseKey(key);
}

TEST_F(Registry, NamesIgnoreCaseAndKeepTheirFirstCase) {
    HKEY key = Create("Software\\Kavro");
    ASSERT_EQ(RegSetValueEx(key, "Port", REG_SZ, reinterpret_cast<const BYTE*>("1"), 1), 0);
    ASSERT_EQ(RegSetValueEx(key, "PORT", REG_SZ, reinterpret_cast<const BYTE*>("2"), 1), 0);
    RegCloseKey(key);
    DWORD disposition = 0;
    HKEY again = 0;
    ASSERT_EQ(
        RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\KAVRO", KEY_ALL_ACCESS, &again, &disposition),
        ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    std::string name;
    DWORD type = 0;
    EXPECT_EQ(RegEnumValue(again, 0, &name, &type), ERROR_SUCCESS);
    EXPECT_EQ(name, "Port");
    EXPECT_EQ(RegEnumValue(again, 1, &name, &type), ERROR_NO_MORE_ITEMS);
    std::string data;
    EXPECT_EQ(Query(again, "port", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, std::string("2\0", 2));
    RegCloseKey(again);
    for (const char* sub : {"b", "A", "c"})
        RegCloseKey(Create((std::string("SOFTWARE\\") + sub).c_str()));
    EXPECT_EQ(plat::reg::SubKeys("hklm\\software"),
              (std::vector<std::string>{"A", "b", "c", "Kavro"}));
    EXPECT_NE(ReadFile(file_).find("[HKEY_LOCAL_MACHINE\\Software\\Kavro]"), std::string::npos);
}

TEST_F(Registry, EnumeratesKeysAndValuesInNameOrder) {
    HKEY key = Create("SOFTWARE\\Enum");
    for (const char* v : {"zeta", "Alpha", ""}) {
        ASSERT_EQ(RegSetValueEx(key, v, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    }
    for (const char* s : {"two", "One"}) {
        HKEY sub = 0;
        ASSERT_EQ(RegCreateKeyEx(key, s, KEY_ALL_ACCESS, &sub), ERROR_SUCCESS);
        RegCloseKey(sub);
    }
    std::vector<std::string> values, keys;
    std::string name;
    for (DWORD i = 0; RegEnumValue(key, i, &name) == ERROR_SUCCESS; ++i) values.push_back(name);
    for (DWORD i = 0; RegEnumKeyEx(key, i, &name) == ERROR_SUCCESS; ++i) keys.push_back(name);
    EXPECT_EQ(values, (std::vector<std::string>{"", "Alpha", "zeta"}));
    EXPECT_EQ(keys, (std::vector<std::string>{"One", "two"}));
    EXPECT_EQ(RegEnumKeyEx(key, 2, &name), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST_F(Registry, DeletionAndStaleHandles) {
    HKEY top = Create("SOFTWARE\\Del");
    HKEY child = Create("SOFTWARE\\Del\\Child\\Leaf");
    ASSERT_EQ(RegSetValueEx(top, "v", REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4), 0);
    EXPECT_EQ(RegDeleteValue(top, "V"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(top, "v"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(top, "missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(top, ""), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, "software\\del\\CHILD"), ERROR_SUCCESS);
    EXPECT_FALSE(plat::reg::KeyExists("HKLM\\SOFTWARE\\Del\\Child"));

    DWORD size = 4;
    std::string name;
    HKEY sub = 0;
    EXPECT_EQ(RegQueryValueEx(child, "v", nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetValueEx(child, "v", REG_BINARY, nullptr, 0), ERROR_KEY_DELETED);
    EXPECT_NE(std::string(RegLastErrorText()).find("Leaf"), std::string::npos);
    EXPECT_EQ(RegEnumValue(child, 0, &name), ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumKeyEx(child, 0, &name), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCreateKeyEx(child, "x", KEY_ALL_ACCESS, &sub), ERROR_KEY_DELETED);
    EXPECT_EQ(RegOpenKeyEx(child, "", 0, KEY_READ, &sub), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteValue(child, "v"), ERROR_KEY_DELETED);
    EXPECT_FALSE(plat::reg::KeyExists("HKLM\\SOFTWARE\\Del\\Child\\Leaf"));  // not re-created
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(top), ERROR_SUCCESS);

    EXPECT_EQ(plat::reg::DeleteKey("HKLM"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(plat::reg::DeleteKey("HKLM\\SOFTWARE\\Del"), ERROR_SUCCESS);
    EXPECT_EQ(plat::reg::DeleteKey("HKLM\\SOFTWARE\\Del"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(plat::reg::DeleteValue("HKLM\\SOFTWARE", "none"), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, HandlesAndRights) {
    HKEY rw = Create("SOFTWARE\\H");
    HKEY ro = 0;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\H", 0, KEY_READ, &ro), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(ro, "v", REG_BINARY, nullptr, 0), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(ro, "x"), ERROR_ACCESS_DENIED);
    HKEY sub = 0;
    EXPECT_EQ(RegCreateKeyEx(ro, "new", KEY_ALL_ACCESS, &sub), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetValueEx(rw, "v", REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\None", 0, KEY_READ, &sub),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(sub, 0u);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\\\H", 0, KEY_READ, &sub),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(rw, "bad\nname", REG_BINARY, nullptr, 0), ERROR_INVALID_PARAMETER);
    std::string big(plat::reg::detail::kMaxValueSize + 1, 'x');
    EXPECT_EQ(RegSetValueEx(rw, "big", REG_BINARY, reinterpret_cast<const BYTE*>(big.data()),
                            static_cast<DWORD>(big.size())),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(ro), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(ro), ERROR_INVALID_HANDLE);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueEx(ro, "v", nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    RegCloseKey(rw);
}

TEST_F(Registry, CreateReportsDispositionAndWritesOnlyWhenNeeded) {
    DWORD disposition = 0;
    HKEY key = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "A\\B", KEY_ALL_ACCESS, &key, &disposition), 0);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    RegCloseKey(key);
    struct stat before, after;
    ASSERT_EQ(stat(file_.c_str(), &before), 0);
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "a\\b", KEY_ALL_ACCESS, &key, &disposition), 0);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(key);
    ASSERT_EQ(stat(file_.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

// The cache knows a file by (inode, size, mtime): each write must move mtime forward,
// even past a file whose mtime lies ahead of the clock, or an inode number reused within
// one tick could leave another process with a stale tree.
TEST_F(Registry, EachWriteMovesTheMtimeForward) {
    ASSERT_EQ(plat::reg::SetDword("HKLM\\M", "n", 1), ERROR_SUCCESS);
    struct stat st;
    ASSERT_EQ(stat(file_.c_str(), &st), 0);
    timespec ahead[2] = {{0, UTIME_OMIT}, {st.st_mtim.tv_sec + 3600, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file_.c_str(), ahead, 0), 0);
    for (DWORD n = 2; n < 5; ++n) {
        ASSERT_EQ(plat::reg::SetDword("HKLM\\M", "n", n), ERROR_SUCCESS);
        struct stat now;
        ASSERT_EQ(stat(file_.c_str(), &now), 0);
        EXPECT_TRUE(
            now.st_mtim.tv_sec > ahead[1].tv_sec ||
            (now.st_mtim.tv_sec == ahead[1].tv_sec && now.st_mtim.tv_nsec > ahead[1].tv_nsec));
        ahead[1] = now.st_mtim;
    }
}

TEST_F(Registry, MissingFileIsAnEmptyStoreAndReadsCreateNothing) {
    plat::reg::Value v;
    EXPECT_EQ(plat::reg::GetValue("HKLM\\SOFTWARE", "x", &v), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(plat::reg::KeyExists("HKLM\\SOFTWARE"));
    EXPECT_TRUE(plat::reg::KeyExists("HKLM"));
    std::string text;
    EXPECT_EQ(plat::reg::ExportText("", &text), ERROR_SUCCESS);
    EXPECT_EQ(text, kHeader);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(file_).parent_path()));
}

TEST_F(Registry, MalformedFileIsAnErrorForReadsAndWrites) {
    const std::string bad = kHeader + "[HKLM\\A]\n\"ok\"=\"1\"\n\"broken\" \"x\"\n";
    WriteFile(file_, bad);
    plat::reg::Value v;
    EXPECT_EQ(plat::reg::GetValue("HKLM\\A", "ok", &v), ERROR_BADDB);
    EXPECT_EQ(std::string(RegLastErrorText()), file_ + ":4: expected '=' after value name");
    EXPECT_EQ(plat::reg::GetValue("HKLM\\A", "ok", &v), ERROR_BADDB);  // cached, same text
    EXPECT_EQ(std::string(RegLastErrorText()), file_ + ":4: expected '=' after value name");
    HKEY key = 0;
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &key), ERROR_BADDB);
    EXPECT_EQ(plat::reg::SetDword("HKLM\\A", "x", 1), ERROR_BADDB);
    EXPECT_EQ(ReadFile(file_), bad);  // never replaced by an empty store

    WriteFile(file_, kHeader + "[HKLM\\A]\n\"ok\"=\"fixed\"\n");
    std::string s;
    EXPECT_EQ(plat::reg::GetString("HKLM\\A", "ok", &s), ERROR_SUCCESS);
    EXPECT_EQ(s, "fixed");
}

TEST_F(Registry, SeesChangesMadeByOthersToTheFile) {
    ASSERT_EQ(plat::reg::SetString("HKLM\\A", "v", "one"), ERROR_SUCCESS);
    std::string s;
    ASSERT_EQ(plat::reg::GetString("HKLM\\A", "v", &s), ERROR_SUCCESS);
    // Same size, new file renamed into place.
    std::string tmp = dir_ + "/other.reg";
    WriteFile(tmp, kHeader + "\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"two\"\n");
    std::filesystem::rename(tmp, file_);
    ASSERT_EQ(plat::reg::GetString("HKLM\\A", "v", &s), ERROR_SUCCESS);
    EXPECT_EQ(s, "two");
    std::filesystem::remove(file_);
    EXPECT_EQ(plat::reg::GetString("HKLM\\A", "v", &s), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, TypedAccessors) {
    ASSERT_EQ(plat::reg::SetDword("HKLM\\T", "n", 0xFFFFFFFFu), ERROR_SUCCESS);
    ASSERT_EQ(plat::reg::SetString("HKLM\\T", "s", std::string("a\0b", 3)), ERROR_SUCCESS);
    ASSERT_EQ(plat::reg::SetBinary("HKLM\\T", "b", Bytes({1, 2, 3})), ERROR_SUCCESS);
    DWORD n = 0;
    std::string s;
    EXPECT_EQ(plat::reg::GetDword("HKLM\\T", "n", &n), ERROR_SUCCESS);
    EXPECT_EQ(n, 0xFFFFFFFFu);
    EXPECT_EQ(plat::reg::GetString("HKLM\\T", "s", &s), ERROR_SUCCESS);
    EXPECT_EQ(s, std::string("a\0b", 3));
    EXPECT_EQ(plat::reg::GetDword("HKLM\\T", "s", &n), ERROR_INVALID_DATA);
    EXPECT_EQ(plat::reg::GetDword("HKLM\\T", "b", &n), ERROR_INVALID_DATA);
    EXPECT_EQ(plat::reg::GetString("HKLM\\T", "n", &s), ERROR_INVALID_DATA);
    EXPECT_EQ(plat::reg::GetString("HKLM\\T", "none", &s), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(plat::reg::GetString("HKEY_USERS\\T", "s", &s), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(plat::reg::SetString("HKLM\\T\\", "s", "x"), ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, ImportMergesInOneWriteAndRejectsBadFiles) {
    ASSERT_EQ(plat::reg::SetString("HKLM\\SOFTWARE\\Old\\Sub", "v", "x"), ERROR_SUCCESS);
    ASSERT_EQ(plat::reg::SetString("HKLM\\SOFTWARE\\Keep", "gone", "x"), ERROR_SUCCESS);
    ASSERT_EQ(plat::reg::SetString("HKLM\\SOFTWARE\\Keep", "stay", "x"), ERROR_SUCCESS);
    std::string good = dir_ + "/good.reg";
    WriteFile(good, kHeader +
                        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\n"
                        "[HKLM\\SOFTWARE\\Keep]\n\"gone\"=-\n\"new\"=dword:00000007\n");
    ASSERT_EQ(plat::reg::ImportFile(good), ERROR_SUCCESS) << RegLastErrorText();
    EXPECT_FALSE(plat::reg::KeyExists("HKLM\\SOFTWARE\\Old"));
    std::string text;
    ASSERT_EQ(plat::reg::ExportText("HKLM\\SOFTWARE\\Keep", &text), ERROR_SUCCESS);
    EXPECT_EQ(text, kHeader +
                        "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep]\n"
                        "\"new\"=dword:00000007\n\"stay\"=\"x\"\n");

    std::string before = ReadFile(file_);
    std::string bad = dir_ + "/bad.reg";
    WriteFile(bad, kHeader + "[HKLM\\SOFTWARE\\Half]\n\"a\"=\"1\"\n\"b\"=dword:xyz\n");
    EXPECT_EQ(plat::reg::ImportFile(bad), ERROR_BADDB);
    EXPECT_EQ(std::string(RegLastErrorText()), bad + ":4: dword: needs 1 to 8 hex digits");
    EXPECT_EQ(ReadFile(file_), before);  // nothing of the bad file applied
    EXPECT_EQ(plat::reg::ImportFile(dir_ + "/none.reg"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(plat::reg::ExportText("HKLM\\SOFTWARE\\None", &text), ERROR_FILE_NOT_FOUND);

    // An export imported into an empty store gives the same store.
    std::string all, again;
    ASSERT_EQ(plat::reg::ExportText("", &all), ERROR_SUCCESS);
    std::string exported = dir_ + "/all.reg";
    WriteFile(exported, all);
    plat::reg::SetStorePath(dir_ + "/fresh.reg");
    ASSERT_EQ(plat::reg::ImportFile(exported), ERROR_SUCCESS);
    ASSERT_EQ(plat::reg::ExportText("", &again), ERROR_SUCCESS);
    EXPECT_EQ(again, all);
}

TEST_F(Registry, StorePathFollowsTheEnvironment) {
    plat::reg::SetStorePath("");
    struct Saved {
        const char* name;
        std::string value;
        bool set;
    } saved[] = {
        {"KAVRO_REGISTRY", {}, false}, {"XDG_CONFIG_HOME", {}, false}, {"HOME", {}, false}};
    for (auto& s : saved) {
        if (const char* v = getenv(s.name)) s.value = v, s.set = true;
    }
    struct Case {
        const char* kavro;
        const char* xdg;
        const char* home;
        const char* expected;
    } cases[] = {
        {"/x/r.reg", "/cfg", "/home/u", "/x/r.reg"},
        {"", "/cfg", "/home/u", "/cfg/kavro-opos/registry.reg"},
        {nullptr, "relative", "/home/u", "/home/u/.config/kavro-opos/registry.reg"},
        {nullptr, nullptr, "/home/u", "/home/u/.config/kavro-opos/registry.reg"},
    };
    for (const auto& c : cases) {
        const char* values[] = {c.kavro, c.xdg, c.home};
        for (int i = 0; i < 3; ++i) {
            if (values[i]) {
                setenv(saved[i].name, values[i], 1);
            } else {
                unsetenv(saved[i].name);
            }
        }
        EXPECT_EQ(plat::reg::StorePath(), c.expected);
    }
    plat::reg::SetStorePath("/explicit.reg");
    EXPECT_EQ(plat::reg::StorePath(), "/explicit.reg");
    for (auto& s : saved) {
        if (s.set) {
            setenv(s.name, s.value.c_str(), 1);
        } else {
            unsetenv(s.name);
        }
    }
}

TEST_F(Registry, ThreadsWritingAndReadingLoseNothing) {
    constexpr int kThreads = 4, kWrites = 25;
    std::atomic<bool> done{false};
    std::atomic<int> readErrors{0};
    std::thread reader([&] {
        while (!done) {
            std::string text;
            if (plat::reg::ExportText("", &text) != ERROR_SUCCESS) ++readErrors;
            plat::reg::SubKeys("HKCU\\Threads");
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kWrites; ++i) {
                HKEY key = 0;
                std::string path = "Threads\\T" + std::to_string(t);
                ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, path.c_str(), KEY_ALL_ACCESS, &key),
                          ERROR_SUCCESS);
                DWORD v = static_cast<DWORD>(i);
                ASSERT_EQ(RegSetValueEx(key, ("v" + std::to_string(i)).c_str(), REG_DWORD,
                                        reinterpret_cast<const BYTE*>(&v), 4),
                          ERROR_SUCCESS);
                RegCloseKey(key);
            }
        });
    }
    for (auto& w : writers) w.join();
    done = true;
    reader.join();
    EXPECT_EQ(readErrors, 0);
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kWrites; ++i) {
            DWORD v = 99;
            EXPECT_EQ(plat::reg::GetDword("HKCU\\Threads\\T" + std::to_string(t),
                                          "v" + std::to_string(i), &v),
                      ERROR_SUCCESS);
            EXPECT_EQ(v, static_cast<DWORD>(i));
        }
    }
}

}  // namespace
