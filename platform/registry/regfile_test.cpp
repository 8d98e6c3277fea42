#include "platform/registry/regfile.h"

#include <gtest/gtest.h>

#include <sstream>

namespace plat::reg::detail {
namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\n";

std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s.push_back(static_cast<char>(b));
    return s;
}

Tree ParseOk(const std::string& text) {
    Document doc;
    ParseError error;
    EXPECT_TRUE(ParseRegText(text, &doc, &error)) << error.Text("t.reg") << "\n" << text;
    Tree tree;
    ApplyDocument(doc, &tree);
    return tree;
}

KeyPath Path(const std::string& text) {
    KeyPath path;
    std::string why;
    EXPECT_TRUE(ParseKeyPath(text, &path, &why)) << why;
    return path;
}

TEST(RegFile, EveryTypeAndSizeRoundTripsExactly) {
    struct Case {
        DWORD type;
        std::string data;
        std::string line;  // expected rendering, "" = not checked
    } cases[] = {
        {REG_SZ, "", "\"v\"=\"\""},
        {REG_SZ, "plain text", "\"v\"=\"plain text\""},
        {REG_SZ, "a \"quote\" and C:\\path", "\"v\"=\"a \\\"quote\\\" and C:\\\\path\""},
        {REG_SZ, "tab\there", "\"v\"=\"tab\there\""},
        {REG_SZ, "Caf\xC3\xA9", "\"v\"=\"Caf\xC3\xA9\""},
        {REG_SZ, std::string("a\0b", 3), "\"v\"=hex(1):61,00,62"},
        {REG_SZ, Bytes({0x80, 0xFF, 0xC3}), "\"v\"=hex(1):80,ff,c3"},
        {REG_SZ, "line\r\nbreak", ""},
        {REG_SZ, std::string(100000, 'x'), ""},  // too long for one quoted line
        {REG_DWORD, Bytes({0, 0, 0, 0}), "\"v\"=dword:00000000"},
        {REG_DWORD, Bytes({0xFF, 0xFF, 0xFF, 0xFF}), "\"v\"=dword:ffffffff"},
        {REG_DWORD, Bytes({0x0A, 0, 0, 0}), "\"v\"=dword:0000000a"},
        {REG_DWORD, Bytes({1, 2}), "\"v\"=hex(4):01,02"},  // wrong size kept as is
        {REG_BINARY, "", "\"v\"=hex:"},
        {REG_BINARY, Bytes({0x5A}), "\"v\"=hex:5a"},
        {REG_BINARY, std::string(1000, '\x01'), ""},
        {REG_NONE, "", "\"v\"=hex(0):"},
        {7, std::string("a\0\0", 3), "\"v\"=hex(7):61,00,00"},
        {0xFFFFFFFF, Bytes({1}), "\"v\"=hex(ffffffff):01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type) + " size " + std::to_string(c.data.size()));
        Value v{"v", c.type, c.data};
        std::string line = FormatValueLine(v);
        if (!c.line.empty()) {
            EXPECT_EQ(line, c.line);
        }
        Tree tree;
        tree.Create(Path("HKLM\\K"))->SetValue("v", c.type, c.data);
        std::string text = WriteRegText(tree);
        std::istringstream lines(text);
        for (std::string l; std::getline(lines, l);) EXPECT_LE(l.size(), 80u) << l.substr(0, 90);
        Tree back = ParseOk(text);
        const Value* got =
            back.Find(Path("HKLM\\K")) ? back.Find(Path("HKLM\\K"))->FindValue("v") : nullptr;
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(got->type, c.type);
        EXPECT_EQ(got->data, c.data);
    }
}

TEST(RegFile, WritesSortedSectionsForEveryKey) {
    Tree tree;
    Key* k = tree.Create(Path("HKLM\\SOFTWARE\\Kavro"));
    k->SetValue("Port", REG_SZ, "COM1");
    k->SetValue("", REG_SZ, "default");
    k->SetValue("baud", REG_DWORD, Bytes({0x80, 0x25, 0, 0}));
    tree.Create(Path("HKLM\\SOFTWARE\\Empty"));
    tree.RootKey(Root::kCurrentUser).SetValue("RootValue", REG_DWORD, Bytes({1, 0, 0, 0}));
    EXPECT_EQ(WriteRegText(tree), kHeader +
                                      "\n[HKEY_CURRENT_USER]\n"
                                      "\"RootValue\"=dword:00000001\n"
                                      "\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
                                      "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Empty]\n"
                                      "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavro]\n"
                                      "@=\"default\"\n"
                                      "\"baud\"=dword:00002580\n"
                                      "\"Port\"=\"COM1\"\n");
    // A subtree takes the stored case, whatever case the caller used.
    EXPECT_EQ(WriteRegText(tree, Path("hklm\\software\\KAVRO")),
              kHeader +
                  "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavro]\n@=\"default\"\n"
                  "\"baud\"=dword:00002580\n\"Port\"=\"COM1\"\n");
}

TEST(RegFile, AcceptsTheUsualForms) {
    struct Case {
        const char* what;
        std::string text;
        const char* key;
        const char* name;
        DWORD type;
        std::string data;
    } cases[] = {
        {"REGEDIT4 header", "REGEDIT4\n[HKLM\\A]\n\"v\"=\"x\"\n", "HKLM\\A", "v", REG_SZ, "x"},
        {"CRLF and BOM",
         "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n[HKCU\\A]\r\n"
         "\"v\"=dword:0000000A\r\n",
         "HKCU\\A", "v", REG_DWORD, Bytes({10, 0, 0, 0})},
        {"long root name, any case", kHeader + "[hkey_classes_root\\A]\n@=\"d\"\n", "HKCR\\A", "",
         REG_SZ, "d"},
        {"escapes", kHeader + "[HKLM\\A]\n\"a\\\"b\\\\\"=\"\\\\\\\"\"\n", "HKLM\\A", "a\"b\\",
         REG_SZ, "\\\""},
        {"blanks around =", kHeader + "[HKLM\\A]\n  \"v\" =  dword:1  \n", "HKLM\\A", "v",
         REG_DWORD, Bytes({1, 0, 0, 0})},
        {"comments and blank lines", kHeader + "; note\n\n[HKLM\\A]\n  ; more\n\"v\"=hex:01\n",
         "HKLM\\A", "v", REG_BINARY, Bytes({1})},
        {"continued hex", kHeader + "[HKLM\\A]\n\"v\"=hex(2):41,\\\n  42 , 43,\\\n\t44\n",
         "HKLM\\A", "v", 2, "ABCD"},
        {"trailing comma, one-digit bytes", kHeader + "[HKLM\\A]\n\"v\"=hex:1,a,\n", "HKLM\\A", "v",
         REG_BINARY, Bytes({1, 10})},
        {"raw high bytes in a string", kHeader + "[HKLM\\A]\n\"v\"=\"\xE9\xFF\"\n", "HKLM\\A", "v",
         REG_SZ, "\xE9\xFF"},
        {"key name with ] and spaces", kHeader + "[HKLM\\a ]b ]\n\"v\"=\"x\"\n", "HKLM\\a ]b ", "v",
         REG_SZ, "x"},
        {"concatenated files", kHeader + "[HKLM\\A]\n" + kHeader + "\"v\"=\"x\"\n", "HKLM\\A", "v",
         REG_SZ, "x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Tree tree = ParseOk(c.text);
        const Key* key = tree.Find(Path(c.key));
        ASSERT_NE(key, nullptr);
        const Value* v = key->FindValue(c.name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, c.type);
        EXPECT_EQ(v->data, c.data);
    }
}

TEST(RegFile, DeletionsApplyInOrder) {
    Tree tree = ParseOk(kHeader +
                        "[HKLM\\A\\B\\C]\n\"v\"=\"1\"\n"
                        "[HKLM\\A\\Keep]\n\"x\"=\"1\"\n\"y\"=\"2\"\n"
                        "[-HKLM\\A\\B]\n"
                        "[HKLM\\A\\Keep]\n\"x\"=-\n\"missing\"=-\n"
                        "[-HKLM\\Never\\There]\n");
    EXPECT_EQ(tree.Find(Path("HKLM\\A\\B")), nullptr);
    const Key* keep = tree.Find(Path("HKLM\\A\\Keep"));
    ASSERT_NE(keep, nullptr);
    EXPECT_EQ(keep->FindValue("x"), nullptr);
    ASSERT_NE(keep->FindValue("y"), nullptr);
}

TEST(RegFile, NamesIgnoreCaseAndKeepTheFirstCase) {
    Tree tree = ParseOk(kHeader +
                        "[HKLM\\Software\\Kavro]\n\"Port\"=\"1\"\n"
                        "[hklm\\SOFTWARE\\KAVRO]\n\"PORT\"=\"2\"\n");
    const Key* key = tree.Find(Path("HKLM\\software\\kavro"));
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->name, "Kavro");
    ASSERT_EQ(key->values.size(), 1u);
    EXPECT_EQ(key->values.begin()->second.name, "Port");
    EXPECT_EQ(key->values.begin()->second.data, "2");
    EXPECT_EQ(tree.RootKey(Root::kLocalMachine).subkeys.begin()->second->name, "Software");
}

TEST(RegFile, MalformedInputNamesTheLine) {
    const std::string big(kMaxPhysicalLine + 1, 'a');
    std::string deep = "[HKLM";
    for (size_t i = 0; i <= kMaxDepth; ++i) deep += "\\k";
    std::string hugeHex = "\"v\"=hex:";
    for (size_t i = 0; i <= kMaxValueSize; ++i) hugeHex += (i % 20 == 19) ? "00,\\\n" : "00,";
    std::string longLogical = "\"v\"=hex:";
    for (int i = 0; i < 130000; ++i) longLogical += "00,00,00,00,00,00,00,00,00,00,00,00,\\\n";
    struct Case {
        std::string text;
        int line;
        const char* message;
    } cases[] = {
        {"", 1, "expected the header line"},
        {"REGEDIT5\n[HKLM\\A]\n", 1, "expected the header line"},
        {kHeader + "[HKLM\\A]\n\"a\"\"b\"\n", 3, "expected '=' after value name"},
        {kHeader + "[HKLM\\A]\n\"a\" x\n", 3, "expected '=' after value name"},
        {kHeader + "[HKEY_USERS\\A]\n", 2, "unknown root key 'HKEY_USERS'"},
        {kHeader + "[HKLM\\A\n", 2, "expected ']'"},
        {kHeader + "[HKLM\\A\\\\B]\n", 2, "empty key name"},
        {kHeader + "[HKLM\\]\n", 2, "empty key name"},
        {kHeader + "[HKLM\\A\x01]\n", 2, "control character"},
        {kHeader + "[HKLM\\" + std::string(256, 'k') + "]\n", 2, "longer than 255"},
        {kHeader + deep + "]\n", 2, "deeper than 512"},
        {kHeader + "[-HKLM]\n", 2, "root key cannot be deleted"},
        {kHeader + "\"a\"=\"b\"\n", 2, "value before the first [KEY]"},
        {kHeader + "[-HKLM\\A]\n\"a\"=\"b\"\n", 3, "deleted [-KEY]"},
        {kHeader + "[HKLM\\A]\nplain\n", 3, "expected a [KEY] line"},
        {kHeader + "[HKLM\\A]\n\"a\"=\"b\n", 3, "missing closing '\"'"},
        {kHeader + "[HKLM\\A]\n\"a\n", 3, "missing closing '\"'"},
        {kHeader + "[HKLM\\A]\n\"a\"=\"C:\\Temp\"\n", 3, "unknown escape '\\T'"},
        {kHeader + "[HKLM\\A]\n\"a\"=dword:123456789\n", 3, "1 to 8 hex digits"},
        {kHeader + "[HKLM\\A]\n\"a\"=dword:\n", 3, "1 to 8 hex digits"},
        {kHeader + "[HKLM\\A]\n\"a\"=dword:12x\n", 3, "unexpected text after the value"},
        {kHeader + "[HKLM\\A]\n\"a\"=hex:0g\n", 3, "expected ',' between hex bytes"},
        {kHeader + "[HKLM\\A]\n\"a\"=hex:123\n", 3, "expected ',' between hex bytes"},
        {kHeader + "[HKLM\\A]\n\"a\"=hex:01,,02\n", 3, "expected a hex byte"},
        {kHeader + "[HKLM\\A]\n\"a\"=hex(1)01\n", 3, "expected hex(N):"},
        {kHeader + "[HKLM\\A]\n\"a\"=hex():01\n", 3, "expected hex(N):"},
        {kHeader + "[HKLM\\A]\n\"a\"=text\n", 3, "expected \"text\", dword:"},
        {kHeader + "[HKLM\\A]\n\"a\"=\"b\" x\n", 3, "unexpected text after the value"},
        {kHeader + "[HKLM\\A]\n\"a\"=-x\n", 3, "unexpected text after the value"},
        {kHeader + "[HKLM\\A]\n\"a\x7F\"=\"b\"\n", 3, "value name with a control character"},
        {kHeader + "[HKLM\\A]\n\"a\"=hex:01,\\\n", 3, "continues past the end"},
        {kHeader + "[HKLM\\A]\n\"a\"=hex:01,\\\n  02,\\\n  zz\n", 5, "expected a hex byte"},
        {kHeader + "[HKLM\\A]\n" + big + "\n", 3, "longer than 1 MiB"},
        {kHeader + "[HKLM\\A]\n" + hugeHex + "\n", 3, "larger than 1 MiB"},
        {kHeader + "[HKLM\\A]\n" + longLogical + "\n", 0, "longer than 4 MiB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 120));
        Document doc;
        ParseError error;
        ASSERT_FALSE(ParseRegText(c.text, &doc, &error));
        if (c.line > 0) {
            EXPECT_EQ(error.line, c.line);
        }
        EXPECT_NE(error.message.find(c.message), std::string::npos) << error.message;
    }
    Document doc;
    ParseError error;
    ASSERT_FALSE(ParseRegText(kHeader + "[HKLM\\A]\n\"a\"\"b\"\n", &doc, &error));
    EXPECT_EQ(error.Text("/tmp/x.reg"), "/tmp/x.reg:3: expected '=' after value name");
}

}  // namespace
}  // namespace plat::reg::detail
