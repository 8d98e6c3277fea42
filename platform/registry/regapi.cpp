// plat::reg: path-based access to the store, .reg import and export.
#include <utility>

#include "platform/registry/regfile.h"
#include "platform/registry/registry.h"
#include "platform/registry/regstore.h"

namespace plat::reg {
namespace {

using detail::Fail;
using detail::Key;
using detail::KeyPath;
using detail::Tree;

LONG ParsePath(const std::string& text, KeyPath* path) {
    std::string why;
    if (!detail::ParseKeyPath(text, path, &why)) {
        return Fail(ERROR_INVALID_PARAMETER, "bad registry key \"" + text + "\": " + why);
    }
    return ERROR_SUCCESS;
}

LONG KeyNotFound(const std::string& keyPath) {
    return Fail(ERROR_FILE_NOT_FOUND, "registry key " + keyPath + " not found");
}

LONG ValueNotFound(const std::string& keyPath, const std::string& name) {
    return Fail(ERROR_FILE_NOT_FOUND, "value \"" + name + "\" not found in " + keyPath);
}

LONG SetTyped(const std::string& keyPath, const std::string& name, DWORD type, std::string data) {
    KeyPath path;
    if (LONG rc = ParsePath(keyPath, &path); rc != ERROR_SUCCESS) return rc;
    std::string why;
    if (!detail::CheckValueName(name, &why)) return Fail(ERROR_INVALID_PARAMETER, why);
    if (data.size() > detail::kMaxValueSize) {
        return Fail(ERROR_INVALID_PARAMETER, "registry value larger than 1 MiB");
    }
    return detail::WriteStore([&](Tree& tree, bool* changed) {
        bool created = false;
        Key* key = tree.Create(path, &created);
        const auto* old = key->FindValue(name);
        *changed = created || !old || old->type != type || old->data != data;
        if (*changed) key->SetValue(name, type, std::move(data));
        return ERROR_SUCCESS;
    });
}

}  // namespace

LONG GetValue(const std::string& keyPath, const std::string& name, Value* out) {
    KeyPath path;
    if (LONG rc = ParsePath(keyPath, &path); rc != ERROR_SUCCESS) return rc;
    return detail::ReadStore([&](const Tree& tree) {
        const Key* key = tree.Find(path);
        if (!key) return KeyNotFound(keyPath);
        const auto* v = key->FindValue(name);
        if (!v) return ValueNotFound(keyPath, name);
        out->type = v->type;
        out->data = v->data;
        return ERROR_SUCCESS;
    });
}

LONG GetString(const std::string& keyPath, const std::string& name, std::string* out) {
    Value v;
    if (LONG rc = GetValue(keyPath, name, &v); rc != ERROR_SUCCESS) return rc;
    if (v.type != REG_SZ) {
        return Fail(ERROR_INVALID_DATA, "value \"" + name + "\" in " + keyPath + " is no string");
    }
    *out = std::move(v.data);
    return ERROR_SUCCESS;
}

LONG GetDword(const std::string& keyPath, const std::string& name, DWORD* out) {
    Value v;
    if (LONG rc = GetValue(keyPath, name, &v); rc != ERROR_SUCCESS) return rc;
    if (v.type != REG_DWORD || v.data.size() != 4) {
        return Fail(ERROR_INVALID_DATA, "value \"" + name + "\" in " + keyPath + " is no dword");
    }
    DWORD n = 0;
    for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.data[i]);
    *out = n;
    return ERROR_SUCCESS;
}

LONG SetString(const std::string& keyPath, const std::string& name, const std::string& value) {
    return SetTyped(keyPath, name, REG_SZ, value);
}

LONG SetDword(const std::string& keyPath, const std::string& name, DWORD value) {
    std::string data;
    for (int i = 0; i < 4; ++i) data += static_cast<char>((value >> (8 * i)) & 0xFF);
    return SetTyped(keyPath, name, REG_DWORD, std::move(data));
}

LONG SetBinary(const std::string& keyPath, const std::string& name, const std::string& bytes) {
    return SetTyped(keyPath, name, REG_BINARY, bytes);
}

LONG DeleteKey(const std::string& keyPath) {
    KeyPath path;
    if (LONG rc = ParsePath(keyPath, &path); rc != ERROR_SUCCESS) return rc;
    if (path.parts.empty()) return Fail(ERROR_ACCESS_DENIED, "a root key cannot be deleted");
    return detail::WriteStore([&](Tree& tree, bool* changed) {
        if (!tree.Remove(path)) return KeyNotFound(keyPath);
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LONG DeleteValue(const std::string& keyPath, const std::string& name) {
    KeyPath path;
    if (LONG rc = ParsePath(keyPath, &path); rc != ERROR_SUCCESS) return rc;
    return detail::WriteStore([&](Tree& tree, bool* changed) {
        Key* key = tree.Find(path);
        if (!key) return KeyNotFound(keyPath);
        if (!key->DeleteValue(name)) return ValueNotFound(keyPath, name);
        *changed = true;
        return ERROR_SUCCESS;
    });
}

bool KeyExists(const std::string& keyPath) {
    KeyPath path;
    if (ParsePath(keyPath, &path) != ERROR_SUCCESS) return false;
    return detail::ReadStore([&](const Tree& tree) {
               return tree.Find(path) ? ERROR_SUCCESS : KeyNotFound(keyPath);
           }) == ERROR_SUCCESS;
}

std::vector<std::string> SubKeys(const std::string& keyPath) {
    std::vector<std::string> names;
    KeyPath path;
    if (ParsePath(keyPath, &path) != ERROR_SUCCESS) return names;
    detail::ReadStore([&](const Tree& tree) {
        const Key* key = tree.Find(path);
        if (!key) return KeyNotFound(keyPath);
        for (const auto& [folded, sub] : key->subkeys) names.push_back(sub->name);
        return ERROR_SUCCESS;
    });
    return names;
}

LONG ImportFile(const std::string& regFile) {
    detail::Document doc;
    if (LONG rc = detail::ReadRegFile(regFile, &doc); rc != ERROR_SUCCESS) return rc;
    return detail::WriteStore([&](Tree& tree, bool* changed) {
        detail::ApplyDocument(doc, &tree);
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LONG ExportText(const std::string& keyPath, std::string* text) {
    if (keyPath.empty()) {
        return detail::ReadStore([&](const Tree& tree) {
            *text = detail::WriteRegText(tree);
            return ERROR_SUCCESS;
        });
    }
    KeyPath path;
    if (LONG rc = ParsePath(keyPath, &path); rc != ERROR_SUCCESS) return rc;
    return detail::ReadStore([&](const Tree& tree) {
        if (!tree.Find(path)) return KeyNotFound(keyPath);
        *text = detail::WriteRegText(tree, path);
        return ERROR_SUCCESS;
    });
}

}  // namespace plat::reg
