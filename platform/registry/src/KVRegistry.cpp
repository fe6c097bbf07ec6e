#include "registry/KVRegistry.h"

#include "HiveText.h"

#include "foundation/KCStFile.h"
#include "foundation/KUUtils.h"

#include <expat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

KVHKEY const KV_HKEY_CURRENT_USER = reinterpret_cast<KVHKEY>(static_cast<uintptr_t>(0x80000001u));
KVHKEY const KV_HKEY_LOCAL_MACHINE = reinterpret_cast<KVHKEY>(static_cast<uintptr_t>(0x80000002u));

// An open key: its hive and the names from the hive's root.
struct KVRegKeyRecord {
    int hive;
    std::vector<std::string> path;
};

namespace {

enum { kCurrentUser = 0, kLocalMachine = 1 };

struct Value {
    std::string name;
    uint32_t type = KV_REG_NONE;
    std::string data; // raw bytes
};

struct Node {
    std::string name;
    std::vector<Node> children; // kept in name order
    std::vector<Value> values;  // in the order they were first set

    Node() = default;
    Node(Node&&) = default;
    Node& operator=(Node&&) = default;
    // Without recursion, so that a deeply nested hive cannot exhaust the
    // stack: the subtrees are taken apart level by level.
    ~Node() {
        std::vector<Node> pending = std::move(children);
        while (!pending.empty()) {
            Node last = std::move(pending.back());
            pending.pop_back();
            for (Node& child : last.children)
                pending.push_back(std::move(child));
            last.children.clear();
        }
    }
};

// Largest hive file that is read, and so written.
constexpr size_t kMaxHiveBytes = size_t(64) << 20;
// Keys deeper than this are written without further indentation, so that a
// deep hive does not grow by its depth squared.
constexpr size_t kMaxIndent = 32;

std::mutex gMutex;         // guards gHandles and serialises writers here
std::set<KVHKEY> gHandles; // keys opened and not yet closed

// ---- names ---------------------------------------------------------------

int CompareNoCase(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int ca = static_cast<unsigned char>(a[i]);
        int cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'A' && ca <= 'Z')
            ca += 32;
        if (cb >= 'A' && cb <= 'Z')
            cb += 32;
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Text that an XML file can hold exactly; anything else is stored encoded
// (values) or refused (names).
bool IsStorableText(const std::string& s) {
    return KUIsXMLText(s);
}

bool SplitPath(const char* subKey, std::vector<std::string>& out) {
    if (subKey == nullptr)
        return true;
    std::string cur;
    for (const char* p = subKey; *p != '\0'; ++p) {
        if (*p == '\\') {
            if (!cur.empty())
                out.push_back(std::move(cur));
            cur.clear();
        } else {
            cur.push_back(*p);
        }
    }
    if (!cur.empty())
        out.push_back(std::move(cur));
    for (const auto& name : out)
        if (name.size() > 255 || !IsStorableText(name))
            return false;
    return true;
}

Node* FindChild(Node& node, const std::string& name) {
    auto it = std::lower_bound(
        node.children.begin(), node.children.end(), name,
        [](const Node& c, const std::string& n) { return CompareNoCase(c.name, n) < 0; });
    return it != node.children.end() && CompareNoCase(it->name, name) == 0 ? &*it : nullptr;
}

Node* AddChild(Node& node, const std::string& name) {
    auto it = std::find_if(node.children.begin(), node.children.end(),
                           [&](const Node& c) { return CompareNoCase(c.name, name) > 0; });
    Node fresh;
    fresh.name = name;
    return &*node.children.insert(it, std::move(fresh));
}

Node* FindPath(Node& root, const std::vector<std::string>& path) {
    Node* node = &root;
    for (const auto& name : path) {
        node = FindChild(*node, name);
        if (node == nullptr)
            return nullptr;
    }
    return node;
}

Value* FindValue(Node& node, const std::string& name) {
    for (auto& v : node.values)
        if (CompareNoCase(v.name, name) == 0)
            return &v;
    return nullptr;
}

// ---- files ---------------------------------------------------------------

const char* HiveName(int hive) {
    return hive == kCurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

// Empty when there is no registry folder.
std::string HiveFile(int hive) {
    const std::string folder = KVRegistryFolder();
    return folder.empty() ? folder : folder + "/" + HiveName(hive) + ".xml";
}

bool MakeFolders(const std::string& folder) {
    if (folder.empty())
        return false;
    std::string partial;
    size_t i = 0;
    while (i <= folder.size()) {
        const size_t j = folder.find('/', i);
        const size_t end = j == std::string::npos ? folder.size() : j;
        partial = folder.substr(0, end);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (j == std::string::npos)
            break;
        i = j + 1;
    }
    struct stat st;
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ---- reading ---------------------------------------------------------------

struct Reader {
    bool sawRoot = false; // the document element "Registry" is the hive's root key
    std::vector<Node*> stack;
    Value* value = nullptr;
    bool hex = false;
    std::string text;
    bool bad = false;
    bool latin1 = false; // the file is read byte for byte (see ParseHive)
};

// What the parser hands out, as the bytes of the file: read as ISO-8859-1,
// each byte became one character below U+0100 and turns back into that
// byte; a character reference above it stays UTF-8.
std::string FileBytes(const Reader& r, const char* s, size_t n) {
    if (!r.latin1)
        return std::string(s, n);
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n;) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (len == 2 && i + 1 < n && c < 0xC4)
            out.push_back(static_cast<char>(((c & 0x1F) << 6) | (s[i + 1] & 0x3F)));
        else
            out.append(s + i, std::min(len, n - i));
        i += len;
    }
    return out;
}

const char* Attribute(const char** atts, const char* name) {
    for (int i = 0; atts[i] != nullptr; i += 2)
        if (std::strcmp(atts[i], name) == 0)
            return atts[i + 1];
    return nullptr;
}

void XMLCALL OnStart(void* data, const char* element, const char** atts) {
    auto& r = *static_cast<Reader*>(data);
    if (r.bad)
        return;
    if (!r.sawRoot) {
        r.sawRoot = true;
        r.bad = std::strcmp(element, "Registry") != 0;
        return;
    }
    if (r.stack.empty() || r.value != nullptr) {
        r.bad = true;
        return;
    }
    const char* name = Attribute(atts, "name");
    if (std::strcmp(element, "Key") == 0 && name != nullptr) {
        // Children are gathered as they come; MergeKeys puts them in order.
        Node& parent = *r.stack.back();
        parent.children.emplace_back();
        parent.children.back().name = FileBytes(r, name, std::strlen(name));
        r.stack.push_back(&parent.children.back());
    } else if (std::strcmp(element, "Value") == 0 && name != nullptr) {
        const char* type = Attribute(atts, "type");
        uint32_t t = 0;
        if (type == nullptr ||
            std::from_chars(type, type + std::strlen(type), t).ec != std::errc()) {
            r.bad = true;
            return;
        }
        Node& node = *r.stack.back();
        node.values.push_back(Value{FileBytes(r, name, std::strlen(name)), t, std::string()});
        r.value = &node.values.back();
        const char* hex = Attribute(atts, "hex");
        r.hex = hex != nullptr && std::strcmp(hex, "1") == 0;
        r.text.clear();
    } else {
        r.bad = true;
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool DecodeValue(Value& v, const std::string& text, bool hex) {
    if (hex) {
        if (text.size() % 2 != 0)
            return false;
        for (size_t i = 0; i < text.size(); i += 2) {
            const int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
            if (hi < 0 || lo < 0)
                return false;
            v.data.push_back(static_cast<char>(hi * 16 + lo));
        }
        return true;
    }
    if (v.type == KV_REG_DWORD) {
        uint32_t n = 0;
        const auto res = std::from_chars(text.data(), text.data() + text.size(), n);
        if (res.ec != std::errc() || res.ptr != text.data() + text.size())
            return false;
        char bytes[4] = {static_cast<char>(n), static_cast<char>(n >> 8),
                         static_cast<char>(n >> 16), static_cast<char>(n >> 24)};
        v.data.assign(bytes, 4);
        return true;
    }
    if (v.type == KV_REG_SZ) {
        v.data = text;
        v.data.push_back('\0');
        return true;
    }
    return false;
}

void XMLCALL OnEnd(void* data, const char* element) {
    auto& r = *static_cast<Reader*>(data);
    if (r.bad)
        return;
    if (r.value != nullptr) {
        if (!DecodeValue(*r.value, r.text, r.hex))
            r.bad = true;
        r.value = nullptr;
    } else if (std::strcmp(element, "Key") == 0) {
        r.stack.pop_back();
    }
}

void XMLCALL OnText(void* data, const char* s, int len) {
    auto& r = *static_cast<Reader*>(data);
    if (r.value != nullptr)
        r.text += FileBytes(r, s, static_cast<size_t>(len));
}

// Puts every key's subkeys in name order and merges subkeys that a file
// names twice (the first spelling stays; values keep their order). One pass
// from the root down, without recursion.
void MergeKeys(Node& root) {
    std::vector<Node*> pending{&root};
    while (!pending.empty()) {
        Node& node = *pending.back();
        pending.pop_back();
        auto& kids = node.children;
        std::stable_sort(kids.begin(), kids.end(), [](const Node& a, const Node& b) {
            return CompareNoCase(a.name, b.name) < 0;
        });
        size_t kept = 0;
        for (size_t i = 0; i < kids.size(); ++i) {
            if (kept > 0 && CompareNoCase(kids[kept - 1].name, kids[i].name) == 0) {
                Node& first = kids[kept - 1];
                for (Value& v : kids[i].values)
                    first.values.push_back(std::move(v));
                for (Node& c : kids[i].children)
                    first.children.push_back(std::move(c));
                kids[i].children.clear();
            } else if (kept++ != i) {
                kids[kept - 1] = std::move(kids[i]);
            }
        }
        kids.erase(kids.begin() + static_cast<long>(kept), kids.end());
        for (Node& child : kids)
            pending.push_back(&child);
    }
}

long ParseHiveAs(const std::string& bytes, Node& root, bool latin1, bool& malformed) {
    malformed = false;
    XML_Parser parser = XML_ParserCreate(latin1 ? "ISO-8859-1" : "UTF-8");
    if (parser == nullptr)
        return KV_REG_BADDB;
    Reader r;
    r.latin1 = latin1;
    r.stack.push_back(&root);
    r.stack.reserve(64);
    XML_SetUserData(parser, &r);
    XML_SetElementHandler(parser, OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser, OnText);
    const bool ok =
        XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    malformed = !ok;
    if (!ok || r.bad)
        return KV_REG_BADDB;
    MergeKeys(root);
    return KV_REG_SUCCESS;
}

// Reads the text of a hive file. Earlier versions of the store wrote some
// byte strings that XML cannot carry (overlong forms, surrogates, U+FFFE)
// as they were, and a UTF-8 parser refuses such a file as a whole. A file
// that does not parse as UTF-8 is therefore read again byte for byte
// (as ISO-8859-1, whatever its declaration says), so that every name and
// value comes back with the bytes it was stored with.
long ParseHive(const std::string& bytes, Node& root) {
    bool malformed = false;
    const long rc = ParseHiveAs(bytes, root, false, malformed);
    if (rc == KV_REG_SUCCESS || !malformed)
        return rc;
    root = Node();
    return ParseHiveAs(bytes, root, true, malformed);
}

// Reads a hive: a missing file is an empty hive; one that is there but
// cannot be read (or is no file) is reported, never taken as empty.
long LoadHive(int hive, Node& root) {
    root = Node();
    const std::string text = HiveFile(hive);
    if (text.empty())
        return KV_REG_SUCCESS; // no registry folder: nothing was ever stored
    const kvFM::KCStPathAbsoluteOrRelative path(text);
    if (!path.IsValid())
        return KV_REG_INVALID_PARAMETER;
    kvFM::KCStFileRead file(path);
    if (!file.IsValid())
        return file.GetError() == eFMFileNotFound || !path.IsExist() ? KV_REG_SUCCESS
                                                                     : KV_REG_ACCESS_DENIED;
    if (file.GetFileSize() > kMaxHiveBytes)
        return KV_REG_BADDB;
    std::string bytes;
    if (file.ReadToStdString(bytes) != eNoErr)
        return KV_REG_BADDB;
    return ParseHive(bytes, root);
}

// ---- writing ---------------------------------------------------------------

void AppendEscaped(std::string& out, const std::string& text) {
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out += c;
        }
    }
}

void AppendIndent(std::string& out, size_t depth) {
    out.append(std::min(depth, kMaxIndent), '\t');
}

void AppendValue(std::string& out, const Value& v, size_t depth) {
    AppendIndent(out, depth);
    out += "<Value name=\"";
    AppendEscaped(out, v.name);
    char type[16];
    std::snprintf(type, sizeof type, "%u", v.type);
    out += "\" type=\"";
    out += type;
    out += '"';
    const bool plainText = v.type == KV_REG_SZ && !v.data.empty() && v.data.back() == '\0' &&
                           v.data.find('\0') == v.data.size() - 1 &&
                           IsStorableText(v.data.substr(0, v.data.size() - 1));
    if (v.type == KV_REG_DWORD && v.data.size() == 4) {
        const auto* b = reinterpret_cast<const unsigned char*>(v.data.data());
        const uint32_t n = b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24);
        char digits[16];
        std::snprintf(digits, sizeof digits, "%u", n);
        out += ">";
        out += digits;
    } else if (plainText) {
        out += ">";
        AppendEscaped(out, v.data.substr(0, v.data.size() - 1));
    } else {
        static const char* const hex = "0123456789abcdef";
        out += " hex=\"1\">";
        for (unsigned char c : v.data) {
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    out += "</Value>\n";
}

void AppendKeyStart(std::string& out, const Node& key, size_t depth) {
    AppendIndent(out, depth);
    out += "<Key name=\"";
    AppendEscaped(out, key.name);
    out += "\">\n";
}

void AppendKeyEnd(std::string& out, size_t depth) {
    AppendIndent(out, depth);
    out += "</Key>\n";
}

// The values and subkeys of `root`, without recursion: each open key
// remembers which of its subkeys comes next.
void AppendNode(std::string& out, const Node& root, size_t depth) {
    struct Open {
        const Node* node;
        size_t next;
    };
    for (const auto& v : root.values)
        AppendValue(out, v, depth);
    std::vector<Open> open{{&root, 0}};
    while (!open.empty()) {
        Open& top = open.back();
        const size_t level = depth + open.size() - 1;
        if (top.next == top.node->children.size()) {
            open.pop_back();
            if (!open.empty())
                AppendKeyEnd(out, level - 1);
            continue;
        }
        const Node& child = top.node->children[top.next++];
        AppendKeyStart(out, child, level);
        for (const auto& v : child.values)
            AppendValue(out, v, level + 1);
        open.push_back({&child, 0});
    }
}

// The text of a hive file.
std::string HiveText(const Node& root) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Registry>\n";
    AppendNode(text, root, 1);
    text += "</Registry>\n";
    return text;
}

// Writes the hive to a new file beside the old one and renames it over.
long SaveHive(int hive, const Node& root) {
    const std::string folder = KVRegistryFolder();
    if (!MakeFolders(folder))
        return KV_REG_WRITE_FAULT;
    const std::string text = HiveText(root);
    if (text.size() > kMaxHiveBytes)
        return KV_REG_NO_SYSTEM_RESOURCES; // it could not be read back

    // A new file beside the old one, private to the user, renamed over it.
    const kvFM::KCStPathAbsoluteOrRelative path(HiveFile(hive));
    if (!path.IsValid())
        return KV_REG_WRITE_FAULT;
    const KTErr err =
        kvFM::WriteFileAtomically(path.GetPathRef(), text.data(), text.size(), 0600, false, false);
    return err == eNoErr ? KV_REG_SUCCESS : KV_REG_WRITE_FAULT;
}

// Holds the hive's lock file against other processes, for a bounded time.
class HiveLock {
public:
    explicit HiveLock(int hive) {
        const std::string folder = KVRegistryFolder();
        if (!MakeFolders(folder))
            return;
        const std::string file = folder + "/" + HiveName(hive) + ".lock";
        fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) ||
                std::chrono::steady_clock::now() > deadline) {
                ::close(fd);
                fd = -1;
                status = KV_REG_LOCK_VIOLATION;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        status = KV_REG_SUCCESS;
    }
    ~HiveLock() {
        if (fd >= 0)
            ::close(fd);
    }
    long status = KV_REG_WRITE_FAULT;

private:
    int fd = -1;
};

// Runs `change` on the hive under the lock and saves when it asks for it.
// A damaged hive file is kept aside as "<file>.bad" and the change starts
// from an empty hive.
template <typename Change>
long ModifyLoadedHive(int hive, Change change) {
    HiveLock lock(hive);
    if (lock.status != KV_REG_SUCCESS)
        return lock.status;
    Node root;
    const long loaded = LoadHive(hive, root);
    if (loaded == KV_REG_BADDB) {
        const std::string file = HiveFile(hive);
        if (::rename(file.c_str(), (file + ".bad").c_str()) != 0)
            return KV_REG_BADDB;
        root = Node();
    } else if (loaded != KV_REG_SUCCESS) {
        return loaded; // saving now would replace values that could not be read
    }
    bool save = false;
    const long rc = change(root, save);
    if (rc != KV_REG_SUCCESS || !save)
        return rc;
    return SaveHive(hive, root);
}

// Runs a step that builds hives in memory: running out of memory is a
// status, never an exception out of the store.
template <typename Step>
long Guarded(Step step) {
    try {
        return step();
    } catch (const std::bad_alloc&) {
        return KV_REG_OUTOFMEMORY;
    }
}

template <typename Change>
long ModifyHive(int hive, Change change) {
    return Guarded([&] { return ModifyLoadedHive(hive, change); });
}

// ---- handles ---------------------------------------------------------------

int PredefinedHive(KVHKEY key) {
    if (key == KV_HKEY_CURRENT_USER)
        return kCurrentUser;
    if (key == KV_HKEY_LOCAL_MACHINE)
        return kLocalMachine;
    return -1;
}

// The hive and path of a handle; false for a handle that is not open.
bool Resolve(KVHKEY key, int& hive, std::vector<std::string>& path) {
    hive = PredefinedHive(key);
    if (hive >= 0) {
        path.clear();
        return true;
    }
    std::lock_guard<std::mutex> guard(gMutex);
    if (key == nullptr || gHandles.count(key) == 0)
        return false;
    hive = key->hive;
    path = key->path;
    return true;
}

KVHKEY NewHandle(int hive, std::vector<std::string> path) {
    auto* key = new KVRegKeyRecord{hive, std::move(path)};
    std::lock_guard<std::mutex> guard(gMutex);
    gHandles.insert(key);
    return key;
}

std::string NameOf(const char* name) {
    return name ? name : "";
}

// Reads the hive of an open key and finds the key in it.
long ReadKey(KVHKEY key, Node& root, Node*& node) {
    int hive;
    std::vector<std::string> path;
    if (!Resolve(key, hive, path))
        return KV_REG_INVALID_HANDLE;
    if (long rc = Guarded([&] { return LoadHive(hive, root); }))
        return rc;
    node = FindPath(root, path);
    return node == nullptr ? KV_REG_KEY_DELETED : KV_REG_SUCCESS;
}

// Runs `change` on the key of an open handle under the hive's lock (see
// ModifyHive).
template <typename Change>
long ChangeKey(KVHKEY key, Change change) {
    int hive;
    std::vector<std::string> path;
    if (!Resolve(key, hive, path))
        return KV_REG_INVALID_HANDLE;
    return ModifyHive(hive, [&](Node& root, bool& save) {
        Node* node = FindPath(root, path);
        return node == nullptr ? KV_REG_KEY_DELETED : change(node, save);
    });
}

// Hands out a value as RegQueryValueEx does: with null `data` only the
// size; a buffer that is too small gives KV_REG_MORE_DATA and the size.
long CopyValue(const Value& v, uint32_t* type, void* data, uint32_t* size) {
    if (type != nullptr)
        *type = v.type;
    const auto needed = static_cast<uint32_t>(v.data.size());
    if (data != nullptr && *size < needed) {
        *size = needed;
        return KV_REG_MORE_DATA;
    }
    if (data != nullptr)
        std::memcpy(data, v.data.data(), needed);
    if (size != nullptr)
        *size = needed;
    return KV_REG_SUCCESS;
}

} // namespace

int KVRegHiveRoundTrip(const std::string& bytes) {
    const long result = Guarded([&]() -> long {
        Node root;
        if (bytes.size() > kMaxHiveBytes || ParseHive(bytes, root) != KV_REG_SUCCESS)
            return 0;
        const std::string written = HiveText(root);
        Node again;
        if (ParseHive(written, again) != KV_REG_SUCCESS)
            return -1;
        return HiveText(again) == written ? 1 : -1;
    });
    return result == 1 || result == -1 ? static_cast<int>(result) : 0;
}

std::string KVRegistryFolder() {
    const char* dir = std::getenv("QUORL_REGISTRY_DIR");
    if (dir != nullptr && dir[0] != '\0')
        return dir;
    // The maker's folder in the user's application-data folder, as the
    // file manager names it; empty when the user has no such folder.
    const kvFM::KCStPath folder(kvFM::KCStPath(kvFM::eUserDomain, kvFM::eQuorlAppDataFolder),
                                "Registry");
    return folder.IsValid() ? folder.GetPathString() : std::string();
}

std::string KVRegistryHiveFile(KVHKEY hive) {
    const int h = PredefinedHive(hive);
    return h < 0 ? std::string() : HiveFile(h);
}

long KVRegCreateKey(KVHKEY parent, const char* subKey, KVHKEY* out, bool* created) {
    if (out == nullptr)
        return KV_REG_INVALID_PARAMETER;
    *out = nullptr;
    if (created)
        *created = false;
    int hive;
    std::vector<std::string> path;
    if (!Resolve(parent, hive, path))
        return KV_REG_INVALID_HANDLE;
    std::vector<std::string> rest;
    if (!SplitPath(subKey, rest))
        return KV_REG_INVALID_PARAMETER;
    const size_t parentDepth = path.size();
    path.insert(path.end(), rest.begin(), rest.end());
    bool made = false;
    const long rc = ModifyHive(hive, [&](Node& root, bool& save) {
        Node* node =
            FindPath(root, std::vector<std::string>(path.begin(), path.begin() + parentDepth));
        if (node == nullptr)
            return KV_REG_KEY_DELETED;
        for (size_t i = parentDepth; i < path.size(); ++i) {
            Node* child = FindChild(*node, path[i]);
            made = child == nullptr;
            node = child ? child : AddChild(*node, path[i]);
            path[i] = node->name; // the stored spelling
        }
        save = made;
        return KV_REG_SUCCESS;
    });
    if (rc != KV_REG_SUCCESS)
        return rc;
    if (created)
        *created = made;
    *out = NewHandle(hive, std::move(path));
    return KV_REG_SUCCESS;
}

long KVRegOpenKey(KVHKEY parent, const char* subKey, KVHKEY* out) {
    if (out == nullptr)
        return KV_REG_INVALID_PARAMETER;
    *out = nullptr;
    int hive;
    std::vector<std::string> path;
    if (!Resolve(parent, hive, path))
        return KV_REG_INVALID_HANDLE;
    std::vector<std::string> rest;
    if (!SplitPath(subKey, rest))
        return KV_REG_FILE_NOT_FOUND;
    const size_t parentDepth = path.size();
    path.insert(path.end(), rest.begin(), rest.end());
    Node root;
    if (long rc = Guarded([&] { return LoadHive(hive, root); }))
        return rc;
    if (FindPath(root, std::vector<std::string>(path.begin(), path.begin() + parentDepth)) ==
        nullptr)
        return KV_REG_KEY_DELETED;
    if (FindPath(root, path) == nullptr)
        return KV_REG_FILE_NOT_FOUND;
    *out = NewHandle(hive, std::move(path));
    return KV_REG_SUCCESS;
}

long KVRegCloseKey(KVHKEY key) {
    if (PredefinedHive(key) >= 0)
        return KV_REG_SUCCESS;
    {
        std::lock_guard<std::mutex> guard(gMutex);
        if (key == nullptr || gHandles.erase(key) == 0)
            return KV_REG_INVALID_HANDLE;
    }
    delete key;
    return KV_REG_SUCCESS;
}

long KVRegQueryValue(KVHKEY key, const char* name, uint32_t* type, void* data, uint32_t* size) {
    if (data != nullptr && size == nullptr)
        return KV_REG_INVALID_PARAMETER;
    Node root;
    Node* node = nullptr;
    if (long rc = ReadKey(key, root, node))
        return rc;
    const Value* v = FindValue(*node, NameOf(name));
    if (v == nullptr)
        return KV_REG_FILE_NOT_FOUND;
    return CopyValue(*v, type, data, size);
}

long KVRegSetValue(KVHKEY key, const char* name, uint32_t type, const void* data, uint32_t size) {
    if (data == nullptr && size > 0)
        return KV_REG_INVALID_PARAMETER;
    const std::string valueName = NameOf(name);
    if (valueName.size() > 16383 || !IsStorableText(valueName))
        return KV_REG_INVALID_PARAMETER;
    if (size > kMaxHiveBytes / 2) // stored as hexadecimal text, it would not fit
        return KV_REG_NO_SYSTEM_RESOURCES;
    const std::string bytes(static_cast<const char*>(data), size);
    return ChangeKey(key, [&](Node* node, bool& save) {
        Value* v = FindValue(*node, valueName);
        if (v == nullptr) {
            node->values.push_back(Value{valueName, type, bytes});
        } else {
            v->type = type;
            v->data = bytes;
        }
        save = true;
        return KV_REG_SUCCESS;
    });
}

long KVRegDeleteValue(KVHKEY key, const char* name) {
    const std::string valueName = NameOf(name);
    return ChangeKey(key, [&](Node* node, bool& save) {
        auto it = std::find_if(node->values.begin(), node->values.end(), [&](const Value& v) {
            return CompareNoCase(v.name, valueName) == 0;
        });
        if (it == node->values.end())
            return KV_REG_FILE_NOT_FOUND;
        node->values.erase(it);
        save = true;
        return KV_REG_SUCCESS;
    });
}

long KVRegDeleteKey(KVHKEY parent, const char* subKey) {
    int hive;
    std::vector<std::string> path;
    if (!Resolve(parent, hive, path))
        return KV_REG_INVALID_HANDLE;
    std::vector<std::string> rest;
    if (!SplitPath(subKey, rest) || rest.empty())
        return KV_REG_INVALID_PARAMETER; // a hive or the parent itself
    path.insert(path.end(), rest.begin(), rest.end());
    return ModifyHive(hive, [&](Node& root, bool& save) {
        Node* owner = FindPath(root, std::vector<std::string>(path.begin(), path.end() - 1));
        Node* node = owner ? FindChild(*owner, path.back()) : nullptr;
        if (node == nullptr)
            return KV_REG_FILE_NOT_FOUND;
        if (!node->children.empty())
            return KV_REG_ACCESS_DENIED;
        owner->children.erase(owner->children.begin() + (node - owner->children.data()));
        save = true;
        return KV_REG_SUCCESS;
    });
}

namespace {

long CopyName(const std::string& name, char* out, uint32_t* size) {
    if (out == nullptr || size == nullptr)
        return KV_REG_INVALID_PARAMETER;
    if (*size < name.size() + 1) {
        *size = static_cast<uint32_t>(name.size());
        return KV_REG_MORE_DATA;
    }
    std::memcpy(out, name.c_str(), name.size() + 1);
    *size = static_cast<uint32_t>(name.size());
    return KV_REG_SUCCESS;
}

} // namespace

long KVRegEnumKey(KVHKEY key, uint32_t index, char* name, uint32_t* nameSize) {
    Node root;
    Node* node = nullptr;
    if (long rc = ReadKey(key, root, node))
        return rc;
    if (index >= node->children.size())
        return KV_REG_NO_MORE_ITEMS;
    return CopyName(node->children[index].name, name, nameSize);
}

long KVRegEnumValue(KVHKEY key, uint32_t index, char* name, uint32_t* nameSize, uint32_t* type,
                    void* data, uint32_t* dataSize) {
    if (data != nullptr && dataSize == nullptr)
        return KV_REG_INVALID_PARAMETER;
    Node root;
    Node* node = nullptr;
    if (long rc = ReadKey(key, root, node))
        return rc;
    if (index >= node->values.size())
        return KV_REG_NO_MORE_ITEMS;
    const Value& v = node->values[index];
    if (long rc = CopyName(v.name, name, nameSize))
        return rc;
    return CopyValue(v, type, data, dataSize);
}

long KVRegQueryDWORD(KVHKEY key, const char* name, uint32_t& out) {
    uint32_t type = 0, value = 0, size = sizeof value;
    const long rc = KVRegQueryValue(key, name, &type, &value, &size);
    if (rc == KV_REG_MORE_DATA)
        return KV_REG_INVALID_PARAMETER;
    if (rc != KV_REG_SUCCESS)
        return rc;
    if (type != KV_REG_DWORD || size != sizeof value)
        return KV_REG_INVALID_PARAMETER;
    out = value; // little-endian, as the hive stores it
    return KV_REG_SUCCESS;
}

long KVRegQueryString(KVHKEY key, const char* name, std::string& out) {
    uint32_t type = 0, size = 0;
    long rc = KVRegQueryValue(key, name, &type, nullptr, &size);
    if (rc != KV_REG_SUCCESS)
        return rc;
    if (type != KV_REG_SZ)
        return KV_REG_INVALID_PARAMETER;
    std::string buffer(size, '\0');
    rc = KVRegQueryValue(key, name, &type, buffer.data(), &size);
    if (rc != KV_REG_SUCCESS)
        return rc;
    buffer.resize(std::min<size_t>(size, std::strlen(buffer.c_str())));
    out = std::move(buffer);
    return KV_REG_SUCCESS;
}

long KVRegSetDWORD(KVHKEY key, const char* name, uint32_t value) {
    return KVRegSetValue(key, name, KV_REG_DWORD, &value, sizeof value);
}

long KVRegSetString(KVHKEY key, const char* name, const std::string& text) {
    return KVRegSetValue(key, name, KV_REG_SZ, text.c_str(),
                         static_cast<uint32_t>(text.size() + 1));
}
