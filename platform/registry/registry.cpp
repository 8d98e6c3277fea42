// The Win32-shaped functions: key handles over paths in the store.
#include "platform/registry/registry.h"

#include <cstring>
#include <iterator>
#include <mutex>
#include <unordered_map>

#include "platform/registry/regstore.h"
#include "platform/registry/regtree.h"

namespace {

using plat::reg::detail::Fail;
using plat::reg::detail::Key;
using plat::reg::detail::KeyPath;
using plat::reg::detail::Tree;

// An open key: the path it names (a key deleted later makes it stale) and its rights.
struct Handle {
    KeyPath path;
    DWORD access = KEY_ALL_ACCESS;
};

std::mutex g_handleMu;
std::unordered_map<HKEY, Handle> g_handles;
HKEY g_nextHandle = 0x1000;

LONG Resolve(HKEY key, Handle* out) {
    plat::reg::detail::Root root;
    if (plat::reg::detail::RootFromHkey(key, &root)) {
        *out = Handle{KeyPath{root, {}}, KEY_ALL_ACCESS};
        return ERROR_SUCCESS;
    }
    std::lock_guard<std::mutex> lock(g_handleMu);
    auto it = g_handles.find(key);
    if (it == g_handles.end()) return Fail(ERROR_INVALID_HANDLE, "invalid registry key handle");
    *out = it->second;
    return ERROR_SUCCESS;
}

HKEY NewHandle(Handle handle) {
    std::lock_guard<std::mutex> lock(g_handleMu);
    HKEY key = g_nextHandle;
    g_nextHandle += 4;
    if (g_nextHandle >= HKEY_CLASSES_ROOT && g_nextHandle <= HKEY_LOCAL_MACHINE + 4) {
        g_nextHandle = HKEY_LOCAL_MACHINE + 8;
    }
    g_handles.emplace(key, std::move(handle));
    return key;
}

std::string PathText(const KeyPath& path) {
    return plat::reg::detail::FormatKeyPath(path);
}

LONG KeyDeleted(const Handle& h) {
    return Fail(ERROR_KEY_DELETED, "registry key " + PathText(h.path) + " has been deleted");
}

LONG CheckWrite(const Handle& h) {
    if ((h.access & KEY_WRITE) == KEY_WRITE) return ERROR_SUCCESS;
    return Fail(ERROR_ACCESS_DENIED, "registry key " + PathText(h.path) + " is open for reading");
}

// The handle's path extended by `subKey` (null = none).
LONG Extend(const Handle& h, const char* subKey, KeyPath* out) {
    *out = h.path;
    std::string why;
    if (!plat::reg::detail::SplitSubKey(subKey ? subKey : "", &out->parts, &why)) {
        return Fail(ERROR_INVALID_PARAMETER, why + " in \"" + std::string(subKey) + "\"");
    }
    return ERROR_SUCCESS;
}

// Finds `full` below the handle's key, taking the stored case of each name.
LONG FindBelow(const Tree& tree, const Handle& h, const KeyPath& full, KeyPath* found) {
    const Key* key = tree.Find(h.path);
    if (!key) return KeyDeleted(h);
    *found = full;
    for (size_t i = h.path.parts.size(); i < full.parts.size(); ++i) {
        key = key->FindSubKey(full.parts[i]);
        if (!key)
            return Fail(ERROR_FILE_NOT_FOUND, "registry key " + PathText(full) + " not found");
        found->parts[i] = key->name;
    }
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyEx(HKEY parent, const char* subKey, DWORD options, DWORD access, HKEY* result) {
    if (!result) return Fail(ERROR_INVALID_PARAMETER, "RegOpenKeyEx without a result");
    *result = 0;
    Handle h;
    KeyPath full;
    if (LONG rc = Resolve(parent, &h); rc != ERROR_SUCCESS) return rc;
    if (LONG rc = Extend(h, subKey, &full); rc != ERROR_SUCCESS) return rc;
    KeyPath found = full;
    LONG rc = plat::reg::detail::ReadStore(
        [&](const Tree& tree) { return FindBelow(tree, h, full, &found); });
    if (rc == ERROR_SUCCESS) *result = NewHandle(Handle{std::move(found), access});
    return rc;
}

LONG RegCreateKeyEx(HKEY parent, const char* subKey, DWORD access, HKEY* result,
                    DWORD* disposition) {
    if (!result) return Fail(ERROR_INVALID_PARAMETER, "RegCreateKeyEx without a result");
    *result = 0;
    Handle h;
    KeyPath full;
    if (LONG rc = Resolve(parent, &h); rc != ERROR_SUCCESS) return rc;
    if (LONG rc = Extend(h, subKey, &full); rc != ERROR_SUCCESS) return rc;
    KeyPath found = full;
    LONG rc = plat::reg::detail::ReadStore(
        [&](const Tree& tree) { return FindBelow(tree, h, full, &found); });
    bool created = false;
    if (rc == ERROR_FILE_NOT_FOUND) {
        if ((rc = CheckWrite(h)) != ERROR_SUCCESS) return rc;
        rc = plat::reg::detail::WriteStore([&](Tree& tree, bool* changed) {
            if (!tree.Find(h.path)) return KeyDeleted(h);
            tree.Create(full, &created);
            *changed = created;
            return FindBelow(tree, h, full, &found);
        });
    }
    if (rc != ERROR_SUCCESS) return rc;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(Handle{std::move(found), access});
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    plat::reg::detail::Root root;
    if (plat::reg::detail::RootFromHkey(key, &root)) return ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(g_handleMu);
    if (g_handles.erase(key) == 0) return Fail(ERROR_INVALID_HANDLE, "invalid registry key handle");
    return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
    if (data && !size) return Fail(ERROR_INVALID_PARAMETER, "RegQueryValueEx without a size");
    Handle h;
    if (LONG rc = Resolve(key, &h); rc != ERROR_SUCCESS) return rc;
    std::string valueName = name ? name : "";
    return plat::reg::detail::ReadStore([&](const Tree& tree) {
        const Key* k = tree.Find(h.path);
        if (!k) return KeyDeleted(h);
        const auto* v = k->FindValue(valueName);
        if (!v) {
            return Fail(ERROR_FILE_NOT_FOUND,
                        "value \"" + valueName + "\" not found in " + PathText(h.path));
        }
        if (type) *type = v->type;
        // REG_SZ data go out with a terminating 00, counted in the size.
        size_t needed = v->data.size() + (v->type == REG_SZ ? 1 : 0);
        if (!size) return ERROR_SUCCESS;
        if (!data) {
            *size = static_cast<DWORD>(needed);
            return ERROR_SUCCESS;
        }
        if (*size < needed) {
            *size = static_cast<DWORD>(needed);
            return Fail(ERROR_MORE_DATA,
                        "value \"" + valueName + "\" needs " + std::to_string(needed) + " bytes");
        }
        if (!v->data.empty()) std::memcpy(data, v->data.data(), v->data.size());
        if (v->type == REG_SZ) data[v->data.size()] = 0;
        *size = static_cast<DWORD>(needed);
        return ERROR_SUCCESS;
    });
}

LONG RegSetValueEx(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) {
    if (!data && size) return Fail(ERROR_INVALID_PARAMETER, "RegSetValueEx without data");
    std::string valueName = name ? name : "";
    std::string why;
    if (!plat::reg::detail::CheckValueName(valueName, &why)) {
        return Fail(ERROR_INVALID_PARAMETER, why);
    }
    if (size > plat::reg::detail::kMaxValueSize) {
        return Fail(ERROR_INVALID_PARAMETER, "registry value larger than 1 MiB");
    }
    Handle h;
    if (LONG rc = Resolve(key, &h); rc != ERROR_SUCCESS) return rc;
    if (LONG rc = CheckWrite(h); rc != ERROR_SUCCESS) return rc;
    std::string bytes(reinterpret_cast<const char*>(data), data ? size : 0);
    if (type == REG_SZ && !bytes.empty() && bytes.back() == '\0') bytes.pop_back();
    return plat::reg::detail::WriteStore([&](Tree& tree, bool* changed) {
        Key* k = tree.Find(h.path);
        if (!k) return KeyDeleted(h);
        const auto* old = k->FindValue(valueName);
        *changed = !old || old->type != type || old->data != bytes;
        if (*changed) k->SetValue(valueName, type, std::move(bytes));
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValue(HKEY key, const char* name) {
    Handle h;
    if (LONG rc = Resolve(key, &h); rc != ERROR_SUCCESS) return rc;
    if (LONG rc = CheckWrite(h); rc != ERROR_SUCCESS) return rc;
    std::string valueName = name ? name : "";
    return plat::reg::detail::WriteStore([&](Tree& tree, bool* changed) {
        Key* k = tree.Find(h.path);
        if (!k) return KeyDeleted(h);
        if (!k->DeleteValue(valueName)) {
            return Fail(ERROR_FILE_NOT_FOUND,
                        "value \"" + valueName + "\" not found in " + PathText(h.path));
        }
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteKey(HKEY parent, const char* subKey) {
    if (!subKey || !*subKey) return Fail(ERROR_INVALID_PARAMETER, "RegDeleteKey without a key");
    Handle h;
    KeyPath full;
    if (LONG rc = Resolve(parent, &h); rc != ERROR_SUCCESS) return rc;
    if (LONG rc = CheckWrite(h); rc != ERROR_SUCCESS) return rc;
    if (LONG rc = Extend(h, subKey, &full); rc != ERROR_SUCCESS) return rc;
    return plat::reg::detail::WriteStore([&](Tree& tree, bool* changed) {
        if (!tree.Find(h.path)) return KeyDeleted(h);
        if (!tree.Remove(full)) {
            return Fail(ERROR_FILE_NOT_FOUND, "registry key " + PathText(full) + " not found");
        }
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyEx(HKEY key, DWORD index, std::string* name) {
    if (!name) return Fail(ERROR_INVALID_PARAMETER, "RegEnumKeyEx without a name");
    Handle h;
    if (LONG rc = Resolve(key, &h); rc != ERROR_SUCCESS) return rc;
    return plat::reg::detail::ReadStore([&](const Tree& tree) {
        const Key* k = tree.Find(h.path);
        if (!k) return KeyDeleted(h);
        if (index >= k->subkeys.size()) return Fail(ERROR_NO_MORE_ITEMS, "no more sub-keys");
        *name = std::next(k->subkeys.begin(), index)->second->name;
        return ERROR_SUCCESS;
    });
}

LONG RegEnumValue(HKEY key, DWORD index, std::string* name, DWORD* type) {
    if (!name) return Fail(ERROR_INVALID_PARAMETER, "RegEnumValue without a name");
    Handle h;
    if (LONG rc = Resolve(key, &h); rc != ERROR_SUCCESS) return rc;
    return plat::reg::detail::ReadStore([&](const Tree& tree) {
        const Key* k = tree.Find(h.path);
        if (!k) return KeyDeleted(h);
        if (index >= k->values.size()) return Fail(ERROR_NO_MORE_ITEMS, "no more values");
        const auto& v = std::next(k->values.begin(), index)->second;
        *name = v.name;
        if (type) *type = v.type;
        return ERROR_SUCCESS;
    });
}

const char* RegLastErrorText() {
    return plat::reg::detail::LastErrorText();
}
