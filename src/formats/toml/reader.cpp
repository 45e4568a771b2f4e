// The TOML reader: one pass over the text that builds the Value tree directly. Tables are
// looked up and extended in place; a small index beside the tree remembers how each table
// came to be (a [header], a super-table of one, dotted keys, [[array of tables]]), which is
// what TOML's redefinition rules depend on. Depth is checked before each level is added, so
// nesting never exceeds kTomlMaxDepth and recursion stays bounded. Owns the TOML error
// descriptions; positions are worked out only when an error is reported.
#include "formats/toml/reader.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "formats/format.hpp"
#include "formats/toml/datetime.hpp"
#include "text/hex.hpp"
#include "text/keyed_hash.hpp"
#include "text/number_text.hpp"
#include "text/utf8.hpp"

namespace zel {
namespace {

constexpr const char* kRecursionLimit = "recursion limit exceeded";

// ---- characters ----------------------------------------------------------------------------

enum : std::uint8_t {
    kBareKey = 1,       // A-Z a-z 0-9 _ -
    kBasicPlain = 2,    // stands for itself in a basic string: tab, printable ASCII but " and \.
    kLiteralPlain = 4,  // stands for itself in a literal string: tab, printable ASCII but '
    kCommentPlain = 8,  // allowed in a comment without a closer look: tab, printable ASCII
    kValueChar = 16,    // may continue a number or date-time token
};

constexpr std::array<std::uint8_t, 256> make_classes() {
    std::array<std::uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        std::uint8_t k = 0;
        const bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool digit = c >= '0' && c <= '9';
        if (alpha || digit || c == '_' || c == '-') k |= kBareKey;
        const bool printable = c >= 0x20 && c < 0x7F;
        if ((printable || c == '\t') && c != '"' && c != '\\') k |= kBasicPlain;
        if ((printable || c == '\t') && c != '\'') k |= kLiteralPlain;
        if (printable || c == '\t') k |= kCommentPlain;
        if (alpha || digit || c == '_' || c == '-' || c == '+' || c == '.' || c == ':')
            k |= kValueChar;
        t[static_cast<std::size_t>(c)] = k;
    }
    return t;
}

constexpr std::array<std::uint8_t, 256> kClasses = make_classes();

inline bool has_class(char c, std::uint8_t k) noexcept {
    return (kClasses[static_cast<unsigned char>(c)] & k) != 0;
}
inline bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// ---- how tables came to be -------------------------------------------------------------------

// What TOML allows to happen to a table next depends on how it was made:
// - Implicit: a super-table of a [header]; a later [header] may define it, once, and dotted
//   keys may add to it (which makes it Dotted);
// - Defined: by its own [header], an element of an array of tables, or the root; no other
//   [header] may define it, no dotted key from another table may add to it;
// - Dotted: made by dotted keys; more dotted keys may add to it, [headers] of sub-tables may
//   go through it, but it cannot be defined by a [header];
// - ArrayOfTables: made by [[headers]], which append elements.
// Values written as values (inline tables, arrays, scalars) have no entry: nothing may add to
// them.
enum class Made : std::uint8_t { Implicit, Defined, Dotted, ArrayOfTables };

struct TableNode {
    Made made;
    std::uint32_t element;  // ArrayOfTables: the node of its last element
    std::uint32_t parent;   // kUnnamed for nodes found by other means than their name
    std::uint32_t length;
    const char* name;
};

constexpr std::uint32_t kUnnamed = 0xFFFFFFFF;

#ifdef ZEL_TEST_HOOKS
thread_local std::uint64_t t_index_probes = 0;
inline void count_probe() noexcept { ++t_index_probes; }
#else
inline void count_probe() noexcept {}
#endif

// Table nodes, found by (parent node, name) in an open-addressed hash table. Node 0 is the
// root. Most tables are never looked up (a file lists a table's sub-tables after it), so a
// node is hashed only when a lookup comes after it was added.
class TableIndex {
public:
    TableIndex() { nodes_.push_back(TableNode{Made::Defined, 0, kUnnamed, 0, nullptr}); }

    // A node named `name` in `parent` (which has no node of that name yet).
    std::uint32_t add(Made made, std::uint32_t parent, std::string_view name) {
        nodes_.push_back(
            TableNode{made, 0, parent, static_cast<std::uint32_t>(name.size()), keep(name)});
        return static_cast<std::uint32_t>(nodes_.size() - 1);
    }
    // A node that is never looked up by name.
    std::uint32_t add_unnamed(Made made) {
        nodes_.push_back(TableNode{made, 0, kUnnamed, 0, nullptr});
        return static_cast<std::uint32_t>(nodes_.size() - 1);
    }
    TableNode& node(std::uint32_t id) noexcept { return nodes_[id]; }

    // The node named `name` in `parent`, or 0.
    std::uint32_t find(std::uint32_t parent, std::string_view name) {
        if (hashed_ < nodes_.size()) hash_new_nodes();
        if (slots_.empty()) return 0;
        const std::uint32_t h = hash(parent, name);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            count_probe();
            const Slot& s = slots_[i];
            if (s.node == 0) return 0;
            if (s.hash != h) continue;
            const TableNode& n = nodes_[s.node];
            if (n.parent == parent && n.length == name.size() &&
                std::memcmp(n.name, name.data(), name.size()) == 0)
                return s.node;
        }
    }

private:
    struct Slot {
        std::uint32_t node;  // 0: empty
        std::uint32_t hash;
    };

    // Keyed by a per-process random key: names chosen to collide in an unkeyed hash (and so to
    // make one long probe chain, and a quadratic load) cannot be written down in advance.
    static std::uint32_t hash(std::uint32_t parent, std::string_view name) noexcept {
        return static_cast<std::uint32_t>(keyed_hash(parent, name));
    }

    void hash_new_nodes() {
        std::size_t named = used_;
        for (std::size_t id = hashed_; id < nodes_.size(); ++id)
            named += nodes_[id].parent != kUnnamed;
        if (2 * named > slots_.size()) {
            std::size_t size = slots_.empty() ? 64 : slots_.size();
            while (2 * named > size) size *= 2;
            std::vector<Slot> old = std::move(slots_);
            slots_.assign(size, Slot{0, 0});
            for (const Slot& s : old)
                if (s.node != 0) place(s.node, s.hash);
        }
        for (; hashed_ < nodes_.size(); ++hashed_) {
            const TableNode& n = nodes_[hashed_];
            if (n.parent == kUnnamed) continue;
            place(static_cast<std::uint32_t>(hashed_),
                  hash(n.parent, name_of(static_cast<std::uint32_t>(hashed_))));
            ++used_;
        }
    }

    std::string_view name_of(std::uint32_t id) const noexcept {
        return std::string_view(nodes_[id].name, nodes_[id].length);
    }

    // A hash starts its search at the slot its low bits name, so a table that grows places its
    // nodes again from their stored hashes, without hashing a name again.
    void place(std::uint32_t node, std::uint32_t h) noexcept {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = h & mask;
        for (count_probe(); slots_[i].node != 0; count_probe()) i = (i + 1) & mask;
        slots_[i] = Slot{node, h};
    }

    // A copy of `name` that lives as long as the index.
    const char* keep(std::string_view name) {
        if (name.size() > kBlockSize / 4) {
            blocks_.push_back(std::make_unique_for_overwrite<char[]>(name.size()));
            std::memcpy(blocks_.back().get(), name.data(), name.size());
            return blocks_.back().get();
        }
        if (current_ == nullptr || block_used_ + name.size() > kBlockSize) {
            blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
            current_ = blocks_.back().get();
            block_used_ = 0;
        }
        char* out = current_ + block_used_;
        if (!name.empty()) std::memcpy(out, name.data(), name.size());
        block_used_ += name.size();
        return out;
    }

    static constexpr std::size_t kBlockSize = 64 * 1024;
    std::vector<TableNode> nodes_;
    std::size_t hashed_ = 1;  // nodes below this one are in slots_
    std::vector<Slot> slots_;
    std::size_t used_ = 0;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* current_ = nullptr;
    std::size_t block_used_ = 0;
};

// ---- the parser ------------------------------------------------------------------------------

const char* type_name(const Value& v) noexcept {
    switch (v.kind()) {
        case Kind::Null:
            return "float";  // only inf and nan load as null
        case Kind::Bool:
            return "boolean";
        case Kind::UInt:
        case Kind::Int:
            return "integer";
        case Kind::Float:
            return "float";
        case Kind::String:
            return "string";
        case Kind::Array:
            return "array";
        case Kind::Object:
            return v.find(kTomlDatetimeKey) && v.as_object().size() == 1 ? "date-time" : "table";
    }
    return "value";
}

class Parser {
public:
    explicit Parser(std::string_view text) noexcept
        : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}

    Result<Value> run() {
        root_ = Value::object();
        path_.push_back(Level{&root_, 0, 1, {}});
        // A byte-order mark, as some editors write, is not part of the document.
        if (end_ - p_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0) p_ += 3;
        for (;;) {
            while (p_ < end_ && (*p_ == ' ' || *p_ == '\t')) ++p_;
            if (p_ == end_) break;
            const char c = *p_;
            if (c == '\n') {
                ++p_;
            } else if (c == '#' || c == '\r') {
                if (!end_of_line()) return error();
            } else if (c == '[') {
                if (!table_header()) return error();
            } else if (!key_value_line()) {
                return error();
            }
        }
        return std::move(root_);
    }

private:
    // One table of the current [header]'s path: the root, then one per key segment (for an
    // array of tables, its last element).
    struct Level {
        Value* table;
        std::uint32_t node;
        std::uint32_t depth;  // level in the tree; the root is 1
        std::string name;
    };

    // ---- failures ----

    [[gnu::noinline]] bool fail(std::string description, const char* at) {
        description_ = std::move(description);
        error_at_ = at;
        return false;
    }
    [[gnu::noinline]] bool fail(const char* description, const char* at) {
        description_ = description;
        error_at_ = at;
        return false;
    }

    // A key/value pair whose key names `old`, which exists already.
    [[gnu::noinline]] bool fail_redefined(const Value& old, std::string_view name, const char* at) {
        return fail("cannot redefine existing " + std::string(type_name(old)) + " '" +
                        std::string(name) + "'",
                    at);
    }

    static std::string shown(const char* at, const char* end) {
        const auto c = static_cast<unsigned char>(*at);
        if (c >= 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
        if (c < 0x80) {
            return std::string("U+00") + kHexUpper[c >> 4] + kHexUpper[c & 0xF];
        }
        const int length = utf8_length(at, end);
        return "'" + std::string(at, static_cast<std::size_t>(length)) + "'";
    }

    // The character at `at` is not what the grammar allows there: "expected {what}, saw ...".
    [[gnu::noinline]] bool fail_unexpected(const char* what, const char* at) {
        if (at >= end_)
            return fail(std::string("expected ") + what + ", reached end-of-file", end_);
        if (static_cast<unsigned char>(*at) >= 0x80 && utf8_length(at, end_) == 0)
            return fail_utf8(at);
        return fail(std::string("expected ") + what + ", saw " + shown(at, end_), at);
    }

    // Bytes at `at` that are not UTF-8. Reported one column before them, at the last
    // character that decoded.
    bool fail_utf8(const char* at) {
        utf8_shift_ = true;
        // Cut short: a good first byte, and every byte after it, to the end, continues it.
        const Utf8Char u = decode_utf8(at, end_);
        const bool cut_short = u.status != Utf8::BadLead && u.status != Utf8::BadContinuation &&
                               end_ - at < u.length;
        return fail(cut_short ? "incomplete utf-8" : "invalid utf-8", at);
    }

    // The message for the failure recorded by fail(). The end of the text is reported one
    // column after its last character.
    Error error() const {
        const std::string_view text(begin_, static_cast<std::size_t>(end_ - begin_));
        TextPosition at{1, 1};
        if (error_at_ >= end_ && !text.empty()) {
            at = position_in(Format::Toml, text, text.size() - 1);
            ++at.column;
        } else {
            at = position_in(Format::Toml, text, static_cast<std::size_t>(error_at_ - begin_));
            if (utf8_shift_ && at.column > 1) --at.column;
        }
        return parse_error(Format::Toml, description_, at);
    }

    // ---- lines ----

    void skip_blanks() noexcept {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t')) ++p_;
    }

    // From '#' to the end of the line (not included).
    [[gnu::noinline]] bool comment() {
        ++p_;
        for (;;) {
            while (p_ < end_ && has_class(*p_, kCommentPlain)) ++p_;
            if (p_ == end_ || *p_ == '\n' || (*p_ == '\r' && p_ + 1 < end_ && p_[1] == '\n'))
                return true;
            if (static_cast<unsigned char>(*p_) >= 0x80) {
                const int length = utf8_length(p_, end_);
                if (length == 0) return fail_utf8(p_);
                p_ += length;
                continue;
            }
            return fail("control characters other than tab are not allowed in comments", p_);
        }
    }

    // Blanks, an optional comment and the line break (or the end of the text).
    bool end_of_line() {
        skip_blanks();
        if (p_ < end_ && *p_ == '#' && !comment()) return false;
        if (p_ == end_) return true;
        if (*p_ == '\n') {
            ++p_;
            return true;
        }
        if (*p_ == '\r' && p_ + 1 < end_ && p_[1] == '\n') {
            p_ += 2;
            return true;
        }
        return fail_unexpected("the end of the line", p_);
    }

    // Blanks, comments and line breaks, as arrays allow between their elements.
    [[gnu::noinline]] bool skip_space_in_array() {
        for (;;) {
            skip_blanks();
            if (p_ == end_) return true;
            if (*p_ == '\n') {
                ++p_;
            } else if (*p_ == '\r' && p_ + 1 < end_ && p_[1] == '\n') {
                p_ += 2;
            } else if (*p_ == '#') {
                if (!comment()) return false;
            } else {
                return true;
            }
        }
    }

    // ---- keys ----

    std::string_view segment(std::size_t i) const noexcept {
        const std::size_t from = i == 0 ? 0 : key_ends_[i - 1];
        return std::string_view(keys_).substr(from, key_ends_[i] - from);
    }

    // A dotted key of at most `max_segments` segments into keys_ and key_ends_; more fail
    // with the recursion limit at `limit_at`.
    [[gnu::noinline]] bool key_path(std::size_t max_segments, const char* limit_at) {
        keys_.clear();
        key_ends_.clear();
        for (;;) {
            if (key_ends_.size() == max_segments) return fail(kRecursionLimit, limit_at);
            if (p_ < end_ && has_class(*p_, kBareKey)) {
                const char* start = p_;
                while (p_ < end_ && has_class(*p_, kBareKey)) ++p_;
                keys_.append(start, p_);
            } else if (p_ < end_ && (*p_ == '"' || *p_ == '\'')) {
                std::string_view text;
                if (!(*p_ == '"' ? basic_string(text) : literal_string(text))) return false;
                keys_.append(text);
            } else {
                return fail_unexpected("a key", p_);
            }
            key_ends_.push_back(static_cast<std::uint32_t>(keys_.size()));
            skip_blanks();
            if (p_ == end_ || *p_ != '.') return true;
            ++p_;
            skip_blanks();
        }
    }

    // Goes down the dotted key's tables below `table` (node `node`, at level `depth`), making
    // those that are missing, for all segments but the last. `key_at` is where errors point.
    [[gnu::noinline]] bool descend_dotted(Value*& table, std::uint32_t& node, const char* key_at) {
        for (std::size_t i = 0; i + 1 < key_ends_.size(); ++i) {
            const std::string_view name = segment(i);
            Value* member = table->find(name);
            if (member == nullptr) {
                const std::uint32_t id = index_.add(Made::Dotted, node, name);
                table = &table->as_object().set(name, Value::object());
                node = id;
                continue;
            }
            const std::uint32_t id = index_.find(node, name);
            if (id == 0)
                return fail("cannot add keys to existing " + std::string(type_name(*member)) +
                                " '" + std::string(name) + "'",
                            key_at);
            TableNode& n = index_.node(id);
            if (n.made == Made::Implicit) n.made = Made::Dotted;
            if (n.made != Made::Dotted)
                return fail(
                    std::string(n.made == Made::ArrayOfTables ? "array of tables '" : "table '") +
                        std::string(name) + "' is already defined; dotted keys cannot add to it",
                    key_at);
            table = member;
            node = id;
        }
        return true;
    }

    // "key = value" and the rest of its line, into the current table.
    bool key_value_line() {
        const Level& level = path_.back();
        Value* table = level.table;
        std::uint32_t node = level.node;
        const char* key_at = p_;
        std::string_view name;
        std::size_t segments = 1;
        // The common case, one bare key, is read in place.
        if (has_class(*p_, kBareKey)) {
            while (p_ < end_ && has_class(*p_, kBareKey)) ++p_;
            name = std::string_view(key_at, static_cast<std::size_t>(p_ - key_at));
            skip_blanks();
        }
        if (name.empty() || (p_ < end_ && *p_ == '.')) {
            p_ = key_at;
            // Tables of a dotted key sit at level + 1 ... level + segments - 1.
            if (!key_path(kTomlMaxDepth + 1 - level.depth, key_at)) return false;
            if (!descend_dotted(table, node, key_at)) return false;
            segments = key_ends_.size();
            name = segment(segments - 1);
        }
        if (p_ == end_ || *p_ != '=') return fail_unexpected("'=' after a key", p_);
        ++p_;
        skip_blanks();
        bool added;
        Value& slot = table->as_object().emplace(name, added);
        if (!added) return fail_redefined(slot, name, p_);
        return value(slot, level.depth + segments) && end_of_line();
    }

    // [a.b.c] or [[a.b.c]] and the rest of its line; makes its table the current one.
    bool table_header() {
        const char* header_at = p_;
        const bool array = p_ + 1 < end_ && p_[1] == '[';
        p_ += array ? 2 : 1;
        skip_blanks();
        // The table sits at level 1 + segments at least (one more for an array element).
        if (!key_path(kTomlMaxDepth - 1 - (array ? 1 : 0), header_at)) return false;
        if (p_ == end_ || *p_ != ']') return fail_unexpected("']' after a table name", p_);
        ++p_;
        if (array) {
            if (p_ == end_ || *p_ != ']')
                return fail_unexpected("']]' after an array of tables' name", p_);
            ++p_;
        }
        if (!end_of_line()) return false;

        // The levels shared with the previous header are still valid: since then, only the
        // deepest table and tables below it were added to. The last segment is looked at
        // again in any case.
        const std::size_t segments = key_ends_.size();
        std::size_t kept = 0;
        while (kept + 1 < segments && kept + 1 < path_.size() &&
               path_[kept + 1].name == segment(kept))
            ++kept;
        path_.resize(kept + 1);
        for (std::size_t i = kept; i < segments; ++i)
            if (!header_step(segment(i), i + 1 == segments, array, header_at)) return false;
        return true;
    }

    // One segment of a header below the deepest level of path_, which it extends.
    bool header_step(std::string_view name, bool last, bool array, const char* header_at) {
        const Level& parent = path_.back();
        Value* table = parent.table;
        const std::uint32_t parent_node = parent.node;
        const std::uint32_t depth = parent.depth;
        Value* member = table->find(name);
        if (member == nullptr) {
            if (depth + (last && array ? 2 : 1) > kTomlMaxDepth)
                return fail(kRecursionLimit, header_at);
            if (last && array) {
                const std::uint32_t id = index_.add(Made::ArrayOfTables, parent_node, name);
                const std::uint32_t element = index_.add_unnamed(Made::Defined);
                index_.node(id).element = element;
                Array& items = table->as_object().set(name, Value::array()).as_array();
                items.push_back(Value::object());
                path_.push_back(Level{&items.back(), element, depth + 2, std::string(name)});
            } else {
                const std::uint32_t id =
                    index_.add(last ? Made::Defined : Made::Implicit, parent_node, name);
                Value& made = table->as_object().set(name, Value::object());
                path_.push_back(Level{&made, id, depth + 1, std::string(name)});
            }
            return true;
        }
        const std::uint32_t id = index_.find(parent_node, name);
        if (id == 0)
            return fail("cannot define a table over existing " + std::string(type_name(*member)) +
                            " '" + std::string(name) + "'",
                        header_at);
        TableNode& n = index_.node(id);
        if (n.made == Made::ArrayOfTables) {
            if (depth + 2 > kTomlMaxDepth) return fail(kRecursionLimit, header_at);
            Array& items = member->as_array();
            if (last && array) {
                const std::uint32_t element = index_.add_unnamed(Made::Defined);
                index_.node(id).element = element;
                items.push_back(Value::object());
                path_.push_back(Level{&items.back(), element, depth + 2, std::string(name)});
                return true;
            }
            if (last)
                return fail(
                    "cannot define table '" + std::string(name) + "': it is an array of tables",
                    header_at);
            path_.push_back(Level{&items.back(), n.element, depth + 2, std::string(name)});
            return true;
        }
        if (last && array)
            return fail("cannot define array of tables '" + std::string(name) +
                            "': a table of that name exists",
                        header_at);
        if (last) {
            if (n.made != Made::Implicit)
                return fail("table '" + std::string(name) + "' is already defined", header_at);
            n.made = Made::Defined;
        }
        if (depth + 1 > kTomlMaxDepth) return fail(kRecursionLimit, header_at);
        path_.push_back(Level{member, id, depth + 1, std::string(name)});
        return true;
    }

    // ---- values ----

    // A value at `p_`, which would sit at level `depth` were it a container. Arrays and
    // inline tables recurse through here: their frames stay small, since scalars and error
    // messages are made in functions of their own.
    bool value(Value& out, std::size_t depth) {
        if (p_ < end_ && (*p_ == '[' || *p_ == '{')) {
            if (depth > kTomlMaxDepth) return fail(kRecursionLimit, p_);
            return *p_ == '[' ? array(out, depth) : inline_table(out, depth);
        }
        return scalar(out, depth);
    }

    [[gnu::noinline]] bool scalar(Value& out, std::size_t depth) {
        if (p_ == end_) return fail_unexpected("a value", p_);
        switch (*p_) {
            case '"': {
                std::string_view text;
                const bool multi_line = end_ - p_ >= 3 && p_[1] == '"' && p_[2] == '"';
                if (!(multi_line ? multi_line_string('"', text) : basic_string(text))) return false;
                out = Value::string(text);
                return true;
            }
            case '\'': {
                std::string_view text;
                const bool multi_line = end_ - p_ >= 3 && p_[1] == '\'' && p_[2] == '\'';
                if (!(multi_line ? multi_line_string('\'', text) : literal_string(text)))
                    return false;
                out = Value::string(text);
                return true;
            }
            case 't':
                out = Value::boolean(true);
                return word("true");
            case 'f':
                out = Value::boolean(false);
                return word("false");
            case 'i':
            case 'n':
                out = Value::null();  // inf and nan: a number is always finite
                return word(*p_ == 'i' ? "inf" : "nan");
            case '+':
            case '-':
                if (p_ + 1 < end_ && (p_[1] == 'i' || p_[1] == 'n')) {
                    ++p_;
                    out = Value::null();
                    return word(*p_ == 'i' ? "inf" : "nan");
                }
                return number(out);
            default:
                if (!is_digit(*p_)) return fail_unexpected("a value", p_);
                if ((end_ - p_ >= 5 && is_digit(p_[1]) && is_digit(p_[2]) && is_digit(p_[3]) &&
                     p_[4] == '-') ||
                    (end_ - p_ >= 3 && is_digit(p_[1]) && p_[2] == ':'))
                    return datetime(out, depth);
                return number(out);
        }
    }

    bool word(std::string_view w) {
        for (const char c : w) {
            if (p_ == end_ || *p_ != c) return fail_unexpected("a value", p_);
            ++p_;
        }
        return true;
    }

    bool datetime(Value& out, std::size_t depth) {
        if (depth > kTomlMaxDepth) return fail(kRecursionLimit, p_);
        DatetimeFailure failure;
        const char* after = scan_toml_datetime(p_, end_, scratch_, failure);
        if (after == nullptr)
            return fail(std::string(failure.error) +
                            (failure.cut_short ? ", reached end-of-file" : ""),
                        failure.at);
        p_ = after;
        out = Value::object();
        out.as_object().set(kTomlDatetimeKey, Value::string(scratch_));
        return true;
    }

    // Digits in base `base` with single underscores between them, at p_; their value in
    // `magnitude` (saturated), `overflow` when it does not fit 64 bits.
    bool digit_run(int base, std::uint64_t& magnitude, bool& overflow, bool& underscores) {
        const char* start = p_;
        for (;;) {
            const int d = base == 16 ? hex_value(*p_) : (is_digit(*p_) ? *p_ - '0' : -1);
            if (d < 0 || d >= base) {
                if (p_ == start || p_[-1] == '_') return fail_unexpected("a digit", p_);
                return true;
            }
            if (magnitude > (std::numeric_limits<std::uint64_t>::max() - static_cast<unsigned>(d)) /
                                static_cast<unsigned>(base))
                overflow = true;
            else
                magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(d);
            if (++p_ == end_) return true;
            if (*p_ == '_') {
                underscores = true;
                if (++p_ == end_) return fail_unexpected("a digit after '_'", p_);
            }
        }
    }

    bool number(Value& out) {
        const char* start = p_;
        bool negative = false;
        if (*p_ == '+' || *p_ == '-') {
            negative = *p_ == '-';
            ++p_;
            if (p_ == end_) return fail_unexpected("a digit", p_);
        }
        std::uint64_t magnitude = 0;
        bool overflow = false, underscores = false;
        if (p_ == start && *p_ == '0' && end_ - p_ >= 2 &&
            (p_[1] == 'x' || p_[1] == 'o' || p_[1] == 'b')) {
            const int base = p_[1] == 'x' ? 16 : p_[1] == 'o' ? 8 : 2;
            p_ += 2;
            if (p_ == end_) return fail_unexpected("a digit", p_);
            if (!digit_run(base, magnitude, overflow, underscores)) return false;
            if (overflow ||
                magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                return fail("integer is not representable in 64 bits", p_);
            out = Value::uinteger(magnitude);
            return true;
        }
        const char* digits = p_;
        if (!digit_run(10, magnitude, overflow, underscores)) return false;
        if (*digits == '0' && p_ - digits > 1) return fail("leading zero in a number", p_);
        if (p_ == end_ || (*p_ != '.' && *p_ != 'e' && *p_ != 'E')) {
            constexpr std::uint64_t kMinMagnitude = std::uint64_t{1} << 63;
            if (overflow || magnitude > (negative ? kMinMagnitude : kMinMagnitude - 1))
                return fail("integer is not representable in 64 bits", p_);
            out = negative ? Value::integer(static_cast<std::int64_t>(~magnitude + 1))
                           : Value::uinteger(magnitude);
            return true;
        }
        if (*p_ == '.') {
            ++p_;
            if (p_ == end_ || !is_digit(*p_))
                return fail_unexpected("a digit after the decimal point", p_);
            if (!digit_run(10, magnitude, overflow, underscores)) return false;
        }
        if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
            if (p_ == end_ || !is_digit(*p_)) return fail_unexpected("a digit in the exponent", p_);
            if (!digit_run(10, magnitude, overflow, underscores)) return false;
        }
        return float_value(start, underscores, out);
    }

    // The float spelt by [start, p_) (checked against the grammar), correctly rounded.
    bool float_value(const char* start, bool underscores, Value& out) {
        std::string_view text(start, static_cast<std::size_t>(p_ - start));
        if (underscores) {
            scratch_.clear();
            for (const char c : text)
                if (c != '_') scratch_ += c;
            text = scratch_;
        }
        switch (decimal_number(text, /*integers=*/false, out)) {
            case NumberText::Ok:
                return true;
            case NumberText::OutOfRange:
                return fail("float could not be interpreted: it is too large for a double", p_);
            case NumberText::Invalid:
                break;
        }
        return fail("float could not be interpreted", p_);
    }

    [[gnu::noinline]] bool array(Value& out, std::size_t depth) {
        ++p_;  // '['
        const std::size_t base = items_.size();
        for (;;) {
            if (!skip_space_in_array()) return false;
            if (p_ == end_) return fail_unexpected("a value or ']'", p_);
            if (*p_ == ']') break;
            Value item;
            if (!value(item, depth + 1)) return false;
            items_.push_back(std::move(item));
            if (!skip_space_in_array()) return false;
            if (p_ < end_ && *p_ == ',') {
                ++p_;
                continue;
            }
            if (p_ < end_ && *p_ == ']') break;
            return fail_unexpected("',' or ']' after an array element", p_);
        }
        ++p_;  // ']'
        out = Value::array(Array::from_values(items_.data() + base, items_.size() - base));
        items_.resize(base);
        return true;
    }

    [[gnu::noinline]] bool inline_table(Value& out, std::size_t depth) {
        ++p_;  // '{'
        out = Value::object();
        std::uint32_t own_node = 0;  // given once a dotted key needs it
        skip_blanks();
        if (p_ < end_ && *p_ == '}') {
            ++p_;
            return true;
        }
        for (;;) {
            const char* key_at = p_;
            if (!key_path(kTomlMaxDepth + 1 - depth, key_at)) return false;
            Value* table = &out;
            const std::size_t segments = key_ends_.size();
            if (segments > 1) {
                if (own_node == 0) own_node = index_.add_unnamed(Made::Defined);
                std::uint32_t node = own_node;
                if (!descend_dotted(table, node, key_at)) return false;
            }
            if (p_ == end_ || *p_ != '=') return fail_unexpected("'=' after a key", p_);
            ++p_;
            skip_blanks();
            const std::string_view name = segment(segments - 1);
            bool added;
            Value& slot = table->as_object().emplace(name, added);
            if (!added) return fail_redefined(slot, name, p_);
            if (!value(slot, depth + segments)) return false;
            skip_blanks();
            if (p_ < end_ && *p_ == ',') {
                ++p_;
                skip_blanks();
                continue;
            }
            if (p_ < end_ && *p_ == '}') break;
            return fail_unexpected("',' or '}' after an inline table member", p_);
        }
        ++p_;  // '}'
        return true;
    }

    // ---- strings ----

    // A non-ASCII character in a string at p_: checks it and moves past it.
    bool utf8_in_string() {
        const int length = utf8_length(p_, end_);
        if (length == 0) return fail_utf8(p_);
        p_ += length;
        return true;
    }

    // "..." at p_; `text` views the source when it holds no escape, else scratch_.
    bool basic_string(std::string_view& text) {
        const char* start = ++p_;
        for (;;) {
            while (p_ < end_ && has_class(*p_, kBasicPlain)) ++p_;
            if (p_ < end_ && static_cast<unsigned char>(*p_) >= 0x80) {
                if (!utf8_in_string()) return false;
                continue;
            }
            break;
        }
        if (p_ < end_ && *p_ == '"') {
            text = std::string_view(start, static_cast<std::size_t>(p_ - start));
            ++p_;
            return true;
        }
        scratch_.assign(start, p_);
        for (;;) {
            if (p_ == end_) return fail("unterminated string: reached end-of-file", end_);
            const char c = *p_;
            if (has_class(c, kBasicPlain)) {
                scratch_ += c;
                ++p_;
            } else if (c == '"') {
                ++p_;
                text = scratch_;
                return true;
            } else if (c == '\\') {
                if (!escape(scratch_)) return false;
            } else if (static_cast<unsigned char>(c) >= 0x80) {
                const char* at = p_;
                if (!utf8_in_string()) return false;
                scratch_.append(at, p_);
            } else if (c == '\n' || c == '\r') {
                return fail("line break in a single-line string", p_);
            } else {
                return fail("control characters other than tab must be escaped in strings", p_);
            }
        }
    }

    // An escape sequence at p_ (the backslash), decoded into `out`.
    bool escape(std::string& out) {
        ++p_;
        if (p_ == end_) return fail("unterminated string: reached end-of-file", end_);
        const char c = *p_++;
        switch (c) {
            case 'b':
                out += '\b';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'n':
                out += '\n';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'r':
                out += '\r';
                return true;
            case '"':
                out += '"';
                return true;
            case '\\':
                out += '\\';
                return true;
            case 'u':
            case 'U': {
                char32_t cp = 0;
                for (int i = 0, n = c == 'u' ? 4 : 8; i < n; ++i, ++p_) {
                    if (p_ == end_) return fail("unterminated escape: reached end-of-file", end_);
                    const int digit = hex_value(*p_);
                    if (digit < 0)
                        return fail_unexpected("a hexadecimal digit of a \\u escape", p_);
                    cp = (cp << 4) | static_cast<char32_t>(digit);
                }
                if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
                    return fail("escape of a code point that is not a Unicode scalar value", p_);
                append_utf8(cp, out);
                return true;
            }
            default:
                break;
        }
        const char* at = p_ - 1;
        if (static_cast<unsigned char>(c) >= 0x80 && utf8_length(at, end_) == 0)
            return fail_utf8(at);
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return fail("unknown escape sequence (a backslash before " + shown(at, end_) + ")", at);
        const std::size_t length = static_cast<unsigned char>(c) < 0x80
                                       ? 1
                                       : static_cast<std::size_t>(utf8_length(at, end_));
        return fail("unknown escape sequence '\\" + std::string(at, length) + "'", at);
    }

    // '...' at p_; `text` views the source.
    bool literal_string(std::string_view& text) {
        const char* start = ++p_;
        for (;;) {
            while (p_ < end_ && has_class(*p_, kLiteralPlain)) ++p_;
            if (p_ == end_) return fail("unterminated string: reached end-of-file", end_);
            const char c = *p_;
            if (c == '\'') break;
            if (static_cast<unsigned char>(c) >= 0x80) {
                if (!utf8_in_string()) return false;
                continue;
            }
            if (c == '\n' || c == '\r') return fail("line break in a single-line string", p_);
            return fail("control characters other than tab are not allowed in literal strings", p_);
        }
        text = std::string_view(start, static_cast<std::size_t>(p_ - start));
        ++p_;
        return true;
    }

    // """...""" or '''...''' at p_, decoded into scratch_: a line break right after the
    // opening quotes is left out, CRLF reads as LF, and in the basic form a backslash at the
    // end of a line removes it and the blanks and line breaks that follow.
    bool multi_line_string(char quote, std::string_view& text) {
        const bool basic = quote == '"';
        p_ += 3;
        if (p_ < end_ && *p_ == '\n') {
            ++p_;
        } else if (end_ - p_ >= 2 && p_[0] == '\r' && p_[1] == '\n') {
            p_ += 2;
        }
        scratch_.clear();
        const std::uint8_t plain = basic ? kBasicPlain : kLiteralPlain;
        for (;;) {
            const char* run = p_;
            while (p_ < end_ && has_class(*p_, plain)) ++p_;
            scratch_.append(run, p_);
            if (p_ == end_) return fail("unterminated string: reached end-of-file", end_);
            const char c = *p_;
            if (c == quote) {
                std::size_t quotes = 1;
                while (quotes < 5 && p_ + quotes < end_ && p_[quotes] == quote) ++quotes;
                if (quotes >= 3) {
                    // Up to two quotes of the content may touch the closing ones.
                    scratch_.append(quotes - 3, quote);
                    p_ += quotes;
                    text = scratch_;
                    return true;
                }
                scratch_.append(quotes, quote);
                p_ += quotes;
            } else if (c == '\n') {
                scratch_ += '\n';
                ++p_;
            } else if (c == '\r' && p_ + 1 < end_ && p_[1] == '\n') {
                scratch_ += '\n';
                p_ += 2;
            } else if (basic && c == '\\') {
                if (!multi_line_escape()) return false;
            } else if (static_cast<unsigned char>(c) >= 0x80) {
                const char* at = p_;
                if (!utf8_in_string()) return false;
                scratch_.append(at, p_);
            } else {
                return fail("control characters other than tab are not allowed in strings", p_);
            }
        }
    }

    // A backslash in a multi-line basic string: an escape, or the end of a line.
    bool multi_line_escape() {
        const char* q = p_ + 1;
        while (q < end_ && (*q == ' ' || *q == '\t')) ++q;
        const bool line_end =
            q < end_ && (*q == '\n' || (*q == '\r' && q + 1 < end_ && q[1] == '\n'));
        if (!line_end) {
            if (q != p_ + 1) return fail("a backslash followed by blanks must end the line", p_);
            return escape(scratch_);
        }
        p_ = q;
        while (p_ < end_) {
            if (*p_ == ' ' || *p_ == '\t' || *p_ == '\n') {
                ++p_;
            } else if (*p_ == '\r' && p_ + 1 < end_ && p_[1] == '\n') {
                p_ += 2;
            } else {
                break;
            }
        }
        return true;
    }

    const char* begin_;
    const char* p_;
    const char* end_;
    Value root_;
    std::vector<Level> path_;
    TableIndex index_;
    std::string keys_;  // segments of the last key read, one after the other
    std::vector<std::uint32_t> key_ends_;
    std::string scratch_;       // decoded string text, date-time text
    std::vector<Value> items_;  // elements of the arrays being read
    std::string description_;
    const char* error_at_ = nullptr;
    bool utf8_shift_ = false;
};

}  // namespace

#ifdef ZEL_TEST_HOOKS
std::uint64_t toml_index_probes() noexcept { return t_index_probes; }
#endif

Result<Value> parse_toml(std::string_view text) { return Parser(text).run(); }

}  // namespace zel
