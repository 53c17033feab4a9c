#include "clean/offline/hive_session.h"

#include <errno.h>
#include <hivex.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "quarantine/reg_text.h"

namespace {

// Memory hivex hands out, freed with free().
template <typename T>
struct Freed {
    explicit Freed(T* p) : ptr(p) {}
    ~Freed() { std::free(ptr); }
    Freed(const Freed&) = delete;
    Freed& operator=(const Freed&) = delete;
    T* ptr;
};

// Deeper than this no Windows key goes (its paths end at 255 levels); a
// hostile hive's loops end here too.
constexpr int kMaxDepth = 512;
// A key deleted with more than this below it, or whose backup text would be
// longer, is left: the .reg text is held in memory and merged back by hand.
constexpr std::size_t kMaxBackupKeys = 100000;
constexpr std::size_t kMaxBackupText = 64u << 20;
// Enough read errors to say where; a damaged hive could give one per key.
constexpr std::size_t kMaxReadErrors = 8;

std::string ErrnoText(int error) {
    return error == 0 ? std::string("damaged") : std::string(std::strerror(error));
}

}  // namespace

HiveSession::HiveSession(std::string rootName) : rootName_(std::move(rootName)) {}

HiveSession::~HiveSession() {
    if (hive_) hivex_close(hive_);
}

bool HiveSession::Open(int fd, std::string& error) {
    if (hive_) {
        hivex_close(hive_);
        hive_ = nullptr;
    }
    // hivex reads the file by name; this name is the descriptor itself, so
    // no path is looked up again. With the write flag the whole file is read
    // into memory, and only CommitTo writes.
    std::string name = "/proc/self/fd/" + std::to_string(fd);
    errno = 0;
    hive_ = hivex_open(name.c_str(), HIVEX_OPEN_WRITE);
    if (!hive_) {
        int e = errno;
        error = e == 0 ? std::string("not a registry hive")
                       : std::string("not a registry hive or damaged (") + std::strerror(e) + ")";
        return false;
    }
    if (hivex_root(hive_) == 0) {
        hivex_close(hive_);
        hive_ = nullptr;
        error = "the hive has no root key";
        return false;
    }
    return true;
}

void HiveSession::NoteReadError(Node node, const std::string& tail, int error) const {
    if (readErrors_.size() >= kMaxReadErrors) return;
    const std::string path = PathOf(node);
    const std::string where =
        path.empty() && !tail.empty() && tail[0] == '\\' ? tail.substr(1) : path + tail;
    readErrors_.push_back((where.empty() ? std::string("the root key") : where) +
                          ": cannot be read (" + ErrnoText(error) + ")");
}

HiveSession::Node HiveSession::Child(Node parent, const std::string& name) const {
    if (!hive_ || parent == 0 || name.empty()) return 0;
    // hivex answers 0 both for no such key and for a list it cannot read;
    // only errno tells them apart.
    errno = 0;
    Node child = hivex_node_get_child(hive_, parent, name.c_str());
    if (child == 0 && errno != 0) NoteReadError(parent, "\\" + name, errno);
    return child;
}

HiveSession::Node HiveSession::Find(const std::string& path) const {
    if (!hive_) return 0;
    Node node = hivex_root(hive_);
    std::size_t start = 0;
    while (node != 0 && start < path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) node = Child(node, path.substr(start, end - start));
        start = end + 1;
    }
    return node;
}

std::vector<HiveSession::Node> HiveSession::Children(Node parent) const {
    std::vector<Node> out;
    if (!hive_ || parent == 0) return out;
    errno = 0;
    Freed<hive_node_h> children(hivex_node_children(hive_, parent));
    if (!children.ptr) {
        NoteReadError(parent, " (its subkeys)", errno);
        return out;
    }
    for (hive_node_h* c = children.ptr; *c != 0; ++c) out.push_back(*c);
    return out;
}

std::string HiveSession::Name(Node node) const {
    if (!hive_ || node == 0) return {};
    Freed<char> name(hivex_node_name(hive_, node));
    return name.ptr ? std::string(name.ptr) : std::string();
}

std::string HiveSession::PathOf(Node node) const {
    if (!hive_ || node == 0) return {};
    const Node root = hivex_root(hive_);
    std::string path;
    for (int depth = 0; node != root && node != 0 && depth < kMaxDepth; ++depth) {
        path = path.empty() ? Name(node) : Name(node) + "\\" + path;
        node = hivex_node_parent(hive_, node);
    }
    return path;
}

std::string HiveSession::RegName(Node node) const {
    std::string path = PathOf(node);
    return path.empty() ? rootName_ : rootName_ + "\\" + path;
}

namespace {

// False with errno set when hivex cannot read the value whole.
bool ReadOne(hive_h* hive, hive_value_h handle, HiveSession::Value& value) {
    errno = 0;
    Freed<char> key(hivex_value_key(hive, handle));
    if (!key.ptr) return false;
    hive_type type = hive_t_none;
    std::size_t length = 0;
    errno = 0;
    Freed<char> data(hivex_value_value(hive, handle, &type, &length));
    if (!data.ptr && (length != 0 || errno != 0)) return false;
    value.name = key.ptr;
    value.type = static_cast<std::uint32_t>(type);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.ptr);
    value.data.assign(bytes, bytes + (data.ptr ? length : 0));
    return true;
}

}  // namespace

std::vector<HiveSession::Value> HiveSession::Values(Node node) const {
    std::vector<Value> out;
    if (!hive_ || node == 0) return out;
    errno = 0;
    Freed<hive_value_h> values(hivex_node_values(hive_, node));
    if (!values.ptr) {
        NoteReadError(node, " (its values)", errno);
        return out;
    }
    for (hive_value_h* v = values.ptr; *v != 0; ++v) {
        Value value;
        if (!ReadOne(hive_, *v, value)) {
            NoteReadError(node, " (a value)", errno);
            out.clear();
            return out;
        }
        out.push_back(std::move(value));
    }
    return out;
}

bool HiveSession::ReadValue(Node node, const std::string& name, Value& value) const {
    if (!hive_ || node == 0) return false;
    errno = 0;
    hive_value_h handle = hivex_node_get_value(hive_, node, name.c_str());
    if (handle == 0) {
        if (errno != 0) NoteReadError(node, "\\\"" + name + "\"", errno);
        return false;
    }
    if (ReadOne(hive_, handle, value)) return true;
    NoteReadError(node, "\\\"" + name + "\"", errno);
    return false;
}

bool HiveSession::DeleteValue(Node node, const std::string& name) {
    if (!hive_ || node == 0) return false;
    Freed<hive_value_h> handles(hivex_node_values(hive_, node));
    if (!handles.ptr) return false;
    for (hive_value_h* v = handles.ptr; *v != 0; ++v) {
        errno = 0;
        Freed<char> key(hivex_value_key(hive_, *v));
        if (key.ptr && strcasecmp(key.ptr, name.c_str()) == 0) {
            return DeleteValuesAt(node, {static_cast<std::size_t>(v - handles.ptr)});
        }
    }
    return false;
}

bool HiveSession::DeleteValuesAt(Node node, const std::vector<std::size_t>& places) {
    if (!hive_ || node == 0 || places.empty()) return false;
    // hivex sets a key's values as a whole: all of them but these.
    Freed<hive_value_h> handles(hivex_node_values(hive_, node));
    if (!handles.ptr) return false;
    std::vector<Value> keep;
    std::vector<Value> gone;
    std::vector<bool> goes;
    for (std::size_t place : places) {
        if (place >= goes.size()) goes.resize(place + 1, false);
        goes[place] = true;
    }
    bool unreadable = false;
    std::string unreadableName;
    std::size_t place = 0;
    for (hive_value_h* v = handles.ptr; *v != 0; ++v, ++place) {
        Value value;
        // A value that cannot be read whole would be lost by the rewrite.
        if (!ReadOne(hive_, *v, value)) {
            unreadable = true;
            continue;
        }
        if (place < goes.size() && goes[place]) {
            gone.push_back(std::move(value));
        } else {
            keep.push_back(std::move(value));
        }
    }
    if (unreadable) {
        for (const Value& value : gone) {
            refusals_.push_back(PathOf(node) + "\\\"" + value.name +
                                "\": left in place: a value beside it cannot be read");
        }
        return false;
    }
    if (gone.size() != places.size()) return false;
    std::string lines;
    bool written = AppendRegKeyLine(lines, RegName(node));
    for (const Value& value : gone) written = written && AppendRegValueLine(lines, value);
    if (!written) {
        refusals_.push_back(PathOf(node) +
                            ": left in place: a name cannot be written to the backup");
        return false;
    }
    if (!simulateWrites_) {
        std::vector<hive_set_value> set(keep.size());
        for (std::size_t i = 0; i < keep.size(); ++i) {
            set[i].key = const_cast<char*>(keep[i].name.c_str());
            set[i].t = static_cast<hive_type>(keep[i].type);
            set[i].len = keep[i].data.size();
            set[i].value = reinterpret_cast<char*>(keep[i].data.data());
        }
        if (hivex_node_set_values(hive_, node, set.size(), set.data(), 0) != 0) return false;
    }
    backup_ += lines;
    changed_ = true;
    return true;
}

bool HiveSession::BackUpKey(Node node, std::string& text) const {
    // Iterative, parents before children (a .reg merge makes a key only
    // under an existing parent), so a deep hostile hive cannot exhaust the
    // stack; each key once, so subkey lists that name one key many times
    // (a hostile hive's) cannot make the walk grow without end.
    std::vector<std::pair<Node, int>> stack{{node, 0}};
    std::set<Node> visited;
    while (!stack.empty()) {
        auto [current, depth] = stack.back();
        stack.pop_back();
        if (!visited.insert(current).second) return false;
        if (visited.size() > kMaxBackupKeys || text.size() > kMaxBackupText) return false;
        if (!AppendRegKeyLine(text, RegName(current))) return false;
        Freed<hive_value_h> values(hivex_node_values(hive_, current));
        if (!values.ptr) return false;
        for (hive_value_h* v = values.ptr; *v != 0; ++v) {
            Value value;
            if (!ReadOne(hive_, *v, value)) return false;
            if (!AppendRegValueLine(text, value)) return false;
        }
        if (depth >= kMaxDepth) return false;
        Freed<hive_node_h> children(hivex_node_children(hive_, current));
        if (!children.ptr) return false;
        std::vector<Node> list;
        for (hive_node_h* c = children.ptr; *c != 0; ++c) list.push_back(*c);
        for (auto c = list.rbegin(); c != list.rend(); ++c) stack.push_back({*c, depth + 1});
    }
    return true;
}

bool HiveSession::DeleteKey(Node node) {
    if (!hive_ || node == 0 || node == hivex_root(hive_)) return false;
    std::string text;
    if (!BackUpKey(node, text)) {
        refusals_.push_back(PathOf(node) + ": left in place: a key or value in it cannot be read");
        return false;
    }
    if (!simulateWrites_ && hivex_node_delete_child(hive_, node) != 0) return false;
    backup_ += text;
    changed_ = true;
    return true;
}

bool HiveSession::CommitTo(const std::string& path, std::string& error) {
    if (!hive_) {
        error = "no hive open";
        return false;
    }
    errno = 0;
    if (hivex_commit(hive_, path.c_str(), 0) != 0) {
        error = std::string("hivex could not write the hive: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool AppendRegKeyLine(std::string& out, const std::string& keyName) {
    std::u16string name;
    if (!Utf16FromUtf8(keyName, name)) return false;
    out += Reg5FileBytes(Reg5KeyLine(name), false);
    return true;
}

bool AppendRegValueLine(std::string& out, const HiveSession::Value& value) {
    std::u16string name;
    if (!Utf16FromUtf8(value.name, name)) return false;
    out +=
        Reg5FileBytes(Reg5ValueLine(name, value.type, value.data.data(), value.data.size()), false);
    return true;
}
