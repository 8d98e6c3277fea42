#include "tools/posreg/posreg.h"


#include <cstdio>

#include "platform/automation/classes.h"
#include "platform/registry/regfile.h"
#include "platform/registry/registry.h"

namespace posreg {
namespace {

constexpr const char* kUsage =
    "usage: posreg import FILE.reg\n"
    "       posreg export [KEY]\n"
    "       posreg get KEY [VALUE]\n"
    "       posreg set KEY VALUE sz|dword|binary DATA\n"
    "       posreg delete KEY [VALUE]\n"
    "       posreg register LIBRARY.so\n"
    "       posreg unregister LIBRARY.so\n"
    "KEY: HKEY_LOCAL_MACHINE\\..., HKEY_CLASSES_ROOT\\..., HKEY_CURRENT_USER\\...\n"
    "     (or HKLM\\..., HKCR\\..., HKCU\\...). VALUE @ is the key's default value.\n"
    "dword DATA: decimal or 0x hex. binary DATA: hex bytes, \"01,02\" or \"0102\".\n"
    "The store is $KAVRO_REGISTRY, else $XDG_CONFIG_HOME/kavro-opos/registry.reg,\n"
    "else ~/.config/kavro-opos/registry.reg.\n";

int Usage(std::ostream& err, const std::string& problem) {
    if (!problem.empty()) err << "posreg: " << problem << "\n";
    err << kUsage;
    return 2;
}

int Failed(std::ostream& err, LONG rc) {
    err << "posreg: " << RegLastErrorText() << " (error " << rc << ")\n";
    return 1;
}

int Done(std::ostream& err, LONG rc) {
    return rc == ERROR_SUCCESS ? 0 : Failed(err, rc);
}

std::string ValueName(const std::string& arg) {
    return arg == "@" ? std::string() : arg;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decimal, or hex after 0x; at most 0xFFFFFFFF.
bool ParseDword(const std::string& s, DWORD* out) {
    bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    size_t start = hex ? 2 : 0;
    if (s.size() <= start) return false;
    uint64_t n = 0;
    for (size_t i = start; i < s.size(); ++i) {
        int d = hex ? HexDigit(s[i]) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
        if (d < 0) return false;
        n = n * (hex ? 16 : 10) + static_cast<uint64_t>(d);
        if (n > 0xFFFFFFFFu) return false;
    }
    *out = static_cast<DWORD>(n);
    return true;
}

// "01,02,ff" (one or two digits per byte) or "0102ff"; "" is no bytes.
bool ParseBinary(const std::string& s, std::string* out) {
    out->clear();
    if (s.find(',') != std::string::npos) {
        size_t start = 0;
        while (true) {
            size_t end = s.find(',', start);
            std::string item = s.substr(start, end == std::string::npos ? end : end - start);
            if (item.empty() || item.size() > 2) return false;
            int byte = 0;
            for (char c : item) {
                if (HexDigit(c) < 0) return false;
                byte = byte * 16 + HexDigit(c);
            }
            out->push_back(static_cast<char>(byte));
            if (end == std::string::npos) return true;
            start = end + 1;
        }
    }
    if (s.size() % 2 != 0) return false;
    for (size_t i = 0; i < s.size(); i += 2) {
        if (HexDigit(s[i]) < 0 || HexDigit(s[i + 1]) < 0) return false;
        out->push_back(static_cast<char>(HexDigit(s[i]) * 16 + HexDigit(s[i + 1])));
    }
    return true;
}

std::string HexBytes(const std::string& data) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < data.size(); ++i) {
        snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", static_cast<unsigned char>(data[i]));
        out += buf;
    }
    return out;
}

// A value's data as `set` takes it: text, decimal dword, hex bytes for the rest.
void ShowData(const plat::reg::Value& v, std::ostream& out) {
    if (v.type == REG_SZ) {
        out << v.data << "\n";
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        DWORD n = 0;
        for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.data[i]);
        out << n << "\n";
    } else {
        out << HexBytes(v.data) << "\n";
    }
}

// Every value of a key, one .reg line each.
int ShowKey(const std::string& keyPath, std::ostream& out, std::ostream& err) {
    plat::reg::detail::KeyPath path;
    std::string why;
    if (!plat::reg::detail::ParseKeyPath(keyPath, &path, &why)) {
        err << "posreg: bad registry key \"" << keyPath << "\": " << why << "\n";
        return 1;
    }
    HKEY root = path.root == plat::reg::detail::Root::kClassesRoot   ? HKEY_CLASSES_ROOT
                : path.root == plat::reg::detail::Root::kCurrentUser ? HKEY_CURRENT_USER
                                                                     : HKEY_LOCAL_MACHINE;
    std::string sub;
    for (const auto& part : path.parts) sub += (sub.empty() ? "" : "\\") + part;
    HKEY key = 0;
    if (LONG rc = RegOpenKeyEx(root, sub.c_str(), 0, KEY_READ, &key); rc != ERROR_SUCCESS) {
        return Failed(err, rc);
    }
    std::string lines;
    LONG rc = ERROR_SUCCESS;
    std::string name;
    for (DWORD i = 0; (rc = RegEnumValue(key, i, &name)) == ERROR_SUCCESS; ++i) {
        plat::reg::Value v;
        if ((rc = plat::reg::GetValue(keyPath, name, &v)) != ERROR_SUCCESS) break;
        lines += plat::reg::detail::FormatValueLine({name, v.type, v.data}) + "\n";
    }
    RegCloseKey(key);
    if (rc != ERROR_NO_MORE_ITEMS) return Failed(err, rc);
    out << lines;
    return 0;
}

int Register(const std::string& library, bool unregister, std::ostream& out, std::ostream& err) {
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    // A bare name means the file in the current folder, not a library search.
    std::string path = library.find('/') == std::string::npos ? "./" + library : library;
    HRESULT hr = plat::RegisterServerLibrary(path, unregister);
    if (hr == CO_E_DLLNOTFOUND) {
        err << "posreg: cannot load " << library << ": " << plat::DlErrorText() << "\n";
        return 1;
    }
    if (hr == CO_E_ERRORINDLL) {
        err << "posreg: " << library << " has no " << entry << "\n";
        return 1;
    }
    char code[16];
    snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    if (FAILED(hr)) {
        err << "posreg: " << entry << " in " << library << " failed: " << code << "\n";
        return 1;
    }
    out << entry << " in " << library << " succeeded.\n";
    return 0;
}

int Set(const std::vector<std::string>& a, std::ostream& err) {
    const std::string &key = a[1], name = ValueName(a[2]), &type = a[3], &data = a[4];
    if (type == "sz") return Done(err, plat::reg::SetString(key, name, data));
    if (type == "dword") {
        DWORD n = 0;
        if (!ParseDword(data, &n)) return Usage(err, "bad dword \"" + data + "\"");
        return Done(err, plat::reg::SetDword(key, name, n));
    }
    if (type == "binary") {
        std::string bytes;
        if (!ParseBinary(data, &bytes)) return Usage(err, "bad hex bytes \"" + data + "\"");
        return Done(err, plat::reg::SetBinary(key, name, bytes));
    }
    return Usage(err, "unknown type \"" + type + "\"");
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return Usage(err, "");
    const std::string& cmd = args[0];
    size_t n = args.size() - 1;
    if (cmd == "-h" || cmd == "--help" || cmd == "help") {
        out << kUsage;
        return 0;
    }
    if (cmd == "import" && n == 1) return Done(err, plat::reg::ImportFile(args[1]));
    if (cmd == "export" && n <= 1) {
        std::string text;
        LONG rc = plat::reg::ExportText(n ? args[1] : std::string(), &text);
        if (rc != ERROR_SUCCESS) return Failed(err, rc);
        out << text;
        return 0;
    }
    if (cmd == "get" && n == 1) return ShowKey(args[1], out, err);
    if (cmd == "get" && n == 2) {
        plat::reg::Value v;
        LONG rc = plat::reg::GetValue(args[1], ValueName(args[2]), &v);
        if (rc != ERROR_SUCCESS) return Failed(err, rc);
        ShowData(v, out);
        return 0;
    }
    if (cmd == "set" && n == 4) return Set(args, err);
    if (cmd == "delete" && n == 1) return Done(err, plat::reg::DeleteKey(args[1]));
    if (cmd == "delete" && n == 2) {
        return Done(err, plat::reg::DeleteValue(args[1], ValueName(args[2])));
    }
    if ((cmd == "register" || cmd == "unregister") && n == 1) {
        return Register(args[1], cmd == "unregister", out, err);
    }
    bool known = cmd == "import" || cmd == "export" || cmd == "get" || cmd == "set" ||
                 cmd == "delete" || cmd == "register" || cmd == "unregister";
    return Usage(
        err, known ? "wrong number of arguments for " + cmd : "unknown command \"" + cmd + "\"");
}

}  // namespace posreg
