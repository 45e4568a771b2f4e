// The YAML reader and writer, both driven through libyaml's event interfaces. The reader
// builds the Value tree straight from parser events, types scalars itself and resolves
// aliases with a bounded expansion; the writer walks the tree and emits block-style events.
#include "drivers/number_text.hpp"
#include "drivers/yaml_io.hpp"

#include <yaml.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "drivers/file_io.hpp"
#include "drivers/json_writer.hpp"

namespace zel {
namespace {

constexpr char kPrefix[] = "YAML parse error: ";

std::string_view text_of(const yaml_char_t* s, std::size_t length) {
    return std::string_view(reinterpret_cast<const char*>(s), length);
}
std::string_view text_of(const yaml_char_t* s) {
    return s == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(s));
}

// ---------------------------------------------------------------------------------------
// Scalar typing

// Which typing rule an explicit tag asks for. !!str makes any scalar a string; other tags
// (local tags such as !thing, the bare "!") are ignored: the scalar is typed by its style
// exactly as if it carried no tag.
enum class TagRule { None, Null, Bool, Int, Float, Str };

TagRule tag_rule(std::string_view tag) {
    constexpr std::string_view kCore = "tag:yaml.org,2002:";
    if (tag.substr(0, kCore.size()) != kCore) return TagRule::None;
    const std::string_view name = tag.substr(kCore.size());
    if (name == "null") return TagRule::Null;
    if (name == "bool") return TagRule::Bool;
    if (name == "int") return TagRule::Int;
    if (name == "float") return TagRule::Float;
    if (name == "str") return TagRule::Str;
    return TagRule::None;
}

const char* tag_short_name(TagRule rule) {
    switch (rule) {
        case TagRule::Null: return "!!null";
        case TagRule::Bool: return "!!bool";
        case TagRule::Int: return "!!int";
        case TagRule::Float: return "!!float";
        case TagRule::Str: return "!!str";
        default: return "";
    }
}

bool is_null_word(std::string_view t) {
    return t == "~" || t == "null" || t == "Null" || t == "NULL";
}

// 1 for a true form, 0 for a false form, -1 for anything else (yes, on, ... included).
int bool_word(std::string_view t) {
    if (t == "true" || t == "True" || t == "TRUE") return 1;
    if (t == "false" || t == "False" || t == "FALSE") return 0;
    return -1;
}

// An unsigned 128-bit magnitude in two halves; no native 128-bit type exists on every target.
struct U128 {
    std::uint64_t hi = 0;
    std::uint64_t lo = 0;

    // this = this * base + digit; false when the result needs more than 128 bits.
    bool mul_add(unsigned base, unsigned digit) {
        const std::uint64_t low_product = (lo & 0xFFFFFFFFu) * base;
        const std::uint64_t high_product = (lo >> 32) * base;
        const std::uint64_t carry = (high_product + (low_product >> 32)) >> 32;
        if (hi > (UINT64_MAX - carry) / base) return false;
        std::uint64_t new_hi = hi * base + carry;
        std::uint64_t new_lo = lo * base;
        new_lo += digit;
        if (new_lo < digit) {
            if (new_hi == UINT64_MAX) return false;
            ++new_hi;
        }
        hi = new_hi;
        lo = new_lo;
        return true;
    }
};

enum class IntText {
    NotInteger,   // not the integer syntax
    LeadingZero,  // decimal digits with a leading 0, such as 0123: a string, never a number
    Number,       // a Value number
    OutOfRange,   // an integer that fits 128 bits but not the Value ranges
    TooLong,      // an integer that needs more than 128 bits
};

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// [+-]? ( 0x hex+ | 0o oct+ | 0b bin+ | dec+ ), one sign at most, prefixes in lower case.
IntText parse_integer(std::string_view t, Value& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    unsigned base = 10;
    if (t.size() - i >= 2 && t[i] == '0') {
        if (t[i + 1] == 'x') base = 16;
        if (t[i + 1] == 'o') base = 8;
        if (t[i + 1] == 'b') base = 2;
        if (base != 10) i += 2;
    }
    if (i == t.size()) return IntText::NotInteger;
    const bool leading_zero = base == 10 && t[i] == '0' && t.size() - i >= 2;
    U128 magnitude;
    bool too_long = false;
    for (; i < t.size(); ++i) {
        const int d = digit_value(t[i]);
        if (d >= static_cast<int>(base)) return IntText::NotInteger;
        if (!too_long && !magnitude.mul_add(base, static_cast<unsigned>(d))) too_long = true;
    }
    if (leading_zero) return IntText::LeadingZero;
    if (too_long) return IntText::TooLong;
    constexpr std::uint64_t kTop = std::uint64_t{1} << 63;
    if (negative) {
        if (magnitude.hi == 0 && magnitude.lo <= kTop) {
            out = Value::integer(magnitude.lo == kTop ? INT64_MIN
                                                      : -static_cast<std::int64_t>(magnitude.lo));
            return IntText::Number;
        }
        // Down to -2^127 is a signed 128-bit integer.
        if (magnitude.hi < kTop || (magnitude.hi == kTop && magnitude.lo == 0))
            return IntText::OutOfRange;
        return IntText::TooLong;
    }
    if (magnitude.hi == 0) {
        out = Value::uinteger(magnitude.lo);
        return IntText::Number;
    }
    return IntText::OutOfRange;
}


// The decimal floating-point syntax: [+-]? (digits [. digits?] | . digits) ([eE] [+-]? digits)?
bool is_decimal_float_syntax(std::string_view t) {
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t start = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
        return i - start;
    };
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t mantissa = digits();
    if (i < t.size() && t[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == t.size();
}

// Float rule: the .inf/.nan forms (null, since a number is always finite) or a decimal text
// that reads as a finite double. A magnitude below the smallest double is zero of its sign;
// one above the largest reads as an infinity, which the rule does not accept.
bool parse_float(std::string_view t, Value& out) {
    std::string_view unsigned_part = t;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) unsigned_part = t.substr(1);
    if (unsigned_part == ".inf" || unsigned_part == ".Inf" || unsigned_part == ".INF" ||
        t == ".nan" || t == ".NaN" || t == ".NAN") {
        out = Value::null();
        return true;
    }
    if (!is_decimal_float_syntax(t)) return false;
    // A magnitude beyond the largest double would read as an infinity, which is not a number.
    return decimal_number(t, false, out) == NumberText::Ok;
}

enum class ScalarFailure { None, OutOfRange, TagMismatch };

// Types the text of a scalar that is a value (not a mapping key).
ScalarFailure type_scalar(std::string_view t, bool plain, TagRule tag, Value& out) {
    switch (tag) {
        case TagRule::Null:
            if (!is_null_word(t)) return ScalarFailure::TagMismatch;
            out = Value::null();
            return ScalarFailure::None;
        case TagRule::Bool: {
            const int b = bool_word(t);
            if (b < 0) return ScalarFailure::TagMismatch;
            out = Value::boolean(b == 1);
            return ScalarFailure::None;
        }
        case TagRule::Int:
            switch (parse_integer(t, out)) {
                case IntText::Number: return ScalarFailure::None;
                case IntText::OutOfRange:
                case IntText::TooLong: return ScalarFailure::OutOfRange;
                default: return ScalarFailure::TagMismatch;
            }
        case TagRule::Float:
            return parse_float(t, out) ? ScalarFailure::None : ScalarFailure::TagMismatch;
        case TagRule::Str:
            out = Value::string(t);
            return ScalarFailure::None;
        case TagRule::None:
            break;
    }
    if (plain) {
        if (t.empty() || is_null_word(t)) {
            out = Value::null();
            return ScalarFailure::None;
        }
        if (const int b = bool_word(t); b >= 0) {
            out = Value::boolean(b == 1);
            return ScalarFailure::None;
        }
        switch (parse_integer(t, out)) {
            case IntText::Number: return ScalarFailure::None;
            case IntText::OutOfRange: return ScalarFailure::OutOfRange;
            // An integer too long even for 128 bits keeps its exact text as a string.
            case IntText::LeadingZero:
            case IntText::TooLong: out = Value::string(t); return ScalarFailure::None;
            case IntText::NotInteger: break;
        }
        if (parse_float(t, out)) return ScalarFailure::None;
    }
    out = Value::string(t);
    return ScalarFailure::None;
}

// ---------------------------------------------------------------------------------------
// Reader

// Owns a libyaml parser. yaml_parser_initialize zeroes the struct and releases whatever it
// allocated when it fails, so the parser is deleted only after a successful initialisation.
class Parser {
public:
    Parser() noexcept { initialised_ = yaml_parser_initialize(&parser_) != 0; }
    ~Parser() {
        if (initialised_) yaml_parser_delete(&parser_);
    }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    bool initialised() const noexcept { return initialised_; }
    yaml_parser_t* get() noexcept { return &parser_; }

private:
    yaml_parser_t parser_{};
    bool initialised_ = false;
};

// Owns one parsed event. yaml_parser_parse zeroes the event before it fills it and leaves
// it empty on failure, and deleting an empty event does nothing, so every path ends here.
class Event {
public:
    Event() = default;
    ~Event() { yaml_event_delete(&event_); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    yaml_event_t* get() noexcept { return &event_; }
    const yaml_event_t& operator*() const noexcept { return event_; }

private:
    yaml_event_t event_{};
};

Error parse_error(std::string description) {
    return make_error(ErrorKind::Parse, kPrefix + std::move(description));
}

Error located(std::string description, std::size_t line, std::size_t column) {
    return parse_error(std::move(description) + " at line " + std::to_string(line) + " column " +
                       std::to_string(column));
}

// libyaml marks count from 0; ours from 1.
Error located(std::string description, const yaml_mark_t& mark) {
    return located(std::move(description), mark.line + 1, mark.column + 1);
}

// Line and column (both from 1, columns in characters) of a byte offset, with libyaml's
// line breaks: CR LF, CR, LF, NEL, LS and PS.
std::pair<std::size_t, std::size_t> position_of(std::string_view text, std::size_t offset) {
    std::size_t line = 1, column = 1;
    offset = std::min(offset, text.size());
    for (std::size_t i = 0; i < offset; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const auto next = [&](std::size_t k) {
            return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
        };
        if (c == '\r' && next(1) == '\n') continue;  // the LF ends the line
        if (c == '\n' || c == '\r' || (c == 0xC2 && next(1) == 0x85) ||
            (c == 0xE2 && next(1) == 0x80 && (next(2) == 0xA8 || next(2) == 0xA9))) {
            ++line;
            column = 1;
            i += c == 0xC2 ? 1 : c == 0xE2 ? 2 : 0;
        } else if ((c & 0xC0) != 0x80) {
            ++column;
        }
    }
    return {line, column};
}

Error libyaml_error(const yaml_parser_t& parser, std::string_view text) {
    const std::string problem =
        parser.problem != nullptr ? parser.problem : "unknown error";
    switch (parser.error) {
        case YAML_MEMORY_ERROR:
            return parse_error("out of memory");
        case YAML_READER_ERROR: {
            // The reader knows only the byte offset of the bad input.
            const auto [line, column] = position_of(text, parser.problem_offset);
            return located(problem, line, column);
        }
        case YAML_SCANNER_ERROR:
        case YAML_PARSER_ERROR:
            return located(problem, parser.problem_mark);
        default:
            return parse_error(problem);
    }
}

// What an anchor names. A scalar keeps its text and typing inputs, so that an alias is typed
// where it is used (a key takes the text, a value the typed scalar); a collection keeps a
// copy of the finished node with its size and height.
struct Anchor {
    bool scalar = false;
    std::string text;
    bool plain = false;
    TagRule tag = TagRule::None;
    Value node;
    std::uint64_t nodes = 1;   // nodes a copy adds, keys included
    std::size_t height = 0;    // levels of mappings and sequences in the node
    std::uint64_t order = 0;   // when the anchor was defined: the latest definition wins
};

// Builds the tree from parser events. Each open mapping or sequence is a frame; a finished
// node is moved into the frame below, and the last one out becomes the root.
class TreeBuilder {
public:
    // The alias bound grows with the input: a file that uses anchors for shared defaults
    // stays far below it, while aliases that multiply at every level pass it quickly.
    explicit TreeBuilder(std::size_t input_size)
        : alias_limit_(std::max<std::uint64_t>(
              kYamlAliasNodesFloor,
              std::uint64_t{kYamlAliasNodesPerByte} * static_cast<std::uint64_t>(input_size))) {}

    // Handles one event; an error stops the parse.
    Result<Unit> handle(const yaml_event_t& e) {
        switch (e.type) {
            case YAML_DOCUMENT_START_EVENT:
                if (++documents_ > 1)
                    return parse_error(
                        "deserializing from YAML containing more than one document is not "
                        "supported");
                return Unit{};
            case YAML_SCALAR_EVENT:
                return scalar(e);
            case YAML_ALIAS_EVENT:
                return alias(e);
            case YAML_SEQUENCE_START_EVENT:
                return open(e, Value::array(), e.data.sequence_start.anchor);
            case YAML_MAPPING_START_EVENT:
                return open(e, Value::object(), e.data.mapping_start.anchor);
            case YAML_SEQUENCE_END_EVENT:
            case YAML_MAPPING_END_EVENT:
                return close();
            default:  // stream start and end, document end
                return Unit{};
        }
    }

    Value take_root() { return std::move(root_); }

private:
    struct Frame {
        Value node;
        std::string anchor;         // empty when the collection has none
        std::uint64_t anchor_order = 0;
        std::string key;            // mappings: the key whose value comes next
        bool expecting_key = true;  // mappings: the next node is a key
        std::uint64_t nodes = 1;
        std::size_t height = 1;
    };

    bool at_key() const { return !frames_.empty() && frames_.back().node.is_object() &&
                                 frames_.back().expecting_key; }

    void set_key(std::string key) {
        frames_.back().key = std::move(key);
        frames_.back().expecting_key = false;
        frames_.back().nodes += 1;
    }

    Result<Unit> scalar(const yaml_event_t& e) {
        const auto& s = e.data.scalar;
        const std::string_view text = text_of(s.value, s.length);
        const bool plain = s.style == YAML_PLAIN_SCALAR_STYLE;
        const TagRule tag = tag_rule(text_of(s.tag));
        if (s.anchor != nullptr) {
            Anchor a;
            a.scalar = true;
            a.text = std::string(text);
            a.plain = plain;
            a.tag = tag;
            a.order = ++anchor_order_;
            anchors_.insert_or_assign(std::string(text_of(s.anchor)), std::move(a));
        }
        if (at_key()) {
            set_key(std::string(text));
            return Unit{};
        }
        return typed(text, plain, tag, e.start_mark);
    }

    Result<Unit> typed(std::string_view text, bool plain, TagRule tag, const yaml_mark_t& mark) {
        Value v;
        switch (type_scalar(text, plain, tag, v)) {
            case ScalarFailure::OutOfRange:
                return located("JSON number out of range", mark);
            case ScalarFailure::TagMismatch:
                return located(std::string("invalid value for tag ") + tag_short_name(tag), mark);
            case ScalarFailure::None:
                break;
        }
        add(std::move(v), 1, 0);
        return Unit{};
    }

    Result<Unit> alias(const yaml_event_t& e) {
        const std::string_view name = text_of(e.data.alias.anchor);
        // An alias names the latest node defined with that anchor. When that is a collection
        // still open, the tree would contain itself.
        std::uint64_t open_order = 0;
        for (const Frame& f : frames_)
            if (f.anchor == name) open_order = std::max(open_order, f.anchor_order);
        const auto it = anchors_.find(std::string(name));
        if (open_order != 0 && (it == anchors_.end() || it->second.order < open_order))
            return located("alias \"" + std::string(name) + "\" refers to a node that contains it",
                           e.start_mark);
        if (it == anchors_.end())
            return located("unknown anchor \"" + std::string(name) + "\"", e.start_mark);
        const Anchor& a = it->second;
        if (at_key()) {
            if (!a.scalar)
                return located("a mapping or sequence cannot be a mapping key", e.start_mark);
            set_key(a.text);
            return Unit{};
        }
        expanded_ += a.nodes;
        if (expanded_ > alias_limit_)
            return located("alias expansion exceeds " + std::to_string(alias_limit_) +
                               " nodes (possible alias bomb)",
                           e.start_mark);
        if (a.scalar) return typed(a.text, a.plain, a.tag, e.start_mark);
        if (frames_.size() + a.height > kYamlMaxDepth)
            return located("recursion limit exceeded", e.start_mark);
        add(a.node.deep_copy(), a.nodes, a.height);
        return Unit{};
    }

    Result<Unit> open(const yaml_event_t& e, Value container, const yaml_char_t* anchor) {
        if (at_key()) return located("a mapping or sequence cannot be a mapping key", e.start_mark);
        if (frames_.size() >= kYamlMaxDepth)
            return located("recursion limit exceeded", e.start_mark);
        Frame f;
        f.node = std::move(container);
        f.anchor = std::string(text_of(anchor));
        if (!f.anchor.empty()) f.anchor_order = ++anchor_order_;
        frames_.push_back(std::move(f));
        return Unit{};
    }

    Result<Unit> close() {
        Frame done = std::move(frames_.back());
        frames_.pop_back();
        if (!done.anchor.empty()) {
            // A node inside may have redefined the anchor since; then that one stays.
            const auto it = anchors_.find(done.anchor);
            if (it == anchors_.end() || it->second.order < done.anchor_order) {
                Anchor a;
                a.node = done.node.deep_copy();
                a.nodes = done.nodes;
                a.height = done.height;
                a.order = done.anchor_order;
                anchors_.insert_or_assign(std::move(done.anchor), std::move(a));
            }
        }
        add(std::move(done.node), done.nodes, done.height);
        return Unit{};
    }

    void add(Value v, std::uint64_t nodes, std::size_t height) {
        if (frames_.empty()) {
            root_ = std::move(v);
            return;
        }
        Frame& top = frames_.back();
        top.nodes += nodes;
        top.height = std::max(top.height, height + 1);
        if (top.node.is_array()) {
            top.node.as_array().push_back(std::move(v));
            return;
        }
        // A repeated key replaces the earlier value.
        top.node.as_object().set(top.key, std::move(v));
        top.key.clear();
        top.expecting_key = true;
    }

    std::vector<Frame> frames_;
    std::unordered_map<std::string, Anchor> anchors_;
    Value root_;
    int documents_ = 0;
    std::uint64_t anchor_order_ = 0;
    std::uint64_t expanded_ = 0;
    const std::uint64_t alias_limit_;
};

// ---------------------------------------------------------------------------------------
// Writer

// Owns a libyaml emitter; deleted only after a successful initialisation (as Parser).
class Emitter {
public:
    Emitter() noexcept { initialised_ = yaml_emitter_initialize(&emitter_) != 0; }
    ~Emitter() {
        if (initialised_) yaml_emitter_delete(&emitter_);
    }
    Emitter(const Emitter&) = delete;
    Emitter& operator=(const Emitter&) = delete;

    bool initialised() const noexcept { return initialised_; }
    yaml_emitter_t* get() noexcept { return &emitter_; }

private:
    yaml_emitter_t emitter_{};
    bool initialised_ = false;
};

// libyaml's output handler: appends to the std::string passed as `data`. It must not throw
// through C code, so a failed allocation is reported as a write error.
int append_output(void* data, unsigned char* buffer, std::size_t size) {
    try {
        static_cast<std::string*>(data)->append(reinterpret_cast<const char*>(buffer), size);
        return 1;
    } catch (...) {
        return 0;
    }
}

Error writer_error(std::string description) {
    return make_error(ErrorKind::Writer, "YAML emitter error: " + std::move(description));
}

// Sends events to the emitter. Each event is built zero-initialised; a failed initialise
// function frees what it allocated, and yaml_emitter_emit takes the event over whether it
// succeeds or fails, so no path here deletes an event itself.
class EventWriter {
public:
    explicit EventWriter(yaml_emitter_t* emitter) : emitter_(emitter) {}

    template <class Init>
    Status emit(Init init) {
        yaml_event_t event{};
        if (!init(&event))
            return writer_error("cannot build an event (out of memory or invalid UTF-8)");
        if (!yaml_emitter_emit(emitter_, &event))
            return writer_error(emitter_->problem != nullptr ? emitter_->problem
                                                             : "write failed (out of memory)");
        return success();
    }

    Status scalar(std::string_view text, yaml_scalar_style_t style) {
        if (text.size() > static_cast<std::size_t>(INT_MAX))
            return writer_error("a string is too long to write");
        return emit([&](yaml_event_t* e) {
            return yaml_scalar_event_initialize(
                e, nullptr, nullptr,
                reinterpret_cast<yaml_char_t*>(const_cast<char*>(text.data())),
                static_cast<int>(text.size()), 1, 1, style);
        });
    }

    Status string(std::string_view text) { return scalar(text, string_style(text)); }

    // A multi-line string asks for a literal block; a string that would read back as another
    // kind of value is single-quoted; the rest asks for plain. The emitter's own analysis
    // overrides a request it cannot honour (a literal block in a key or with special
    // characters becomes double-quoted, a plain string with indicators or edge blanks
    // quoted), and double quotes escape what YAML cannot hold raw.
    static yaml_scalar_style_t string_style(std::string_view text) {
        if (text.find('\n') != std::string_view::npos) return YAML_LITERAL_SCALAR_STYLE;
        Value typed;
        if (type_scalar(text, true, TagRule::None, typed) != ScalarFailure::None ||
            !typed.is_string())
            return YAML_SINGLE_QUOTED_SCALAR_STYLE;
        return YAML_PLAIN_SCALAR_STYLE;
    }

    Status leaf(const Value& v) {
        std::string text;
        switch (v.kind()) {
            case Kind::Null: text = "null"; break;
            case Kind::Bool: text = v.as_bool() ? "true" : "false"; break;
            case Kind::UInt: text = std::to_string(v.as_uint()); break;
            case Kind::Int: text = std::to_string(v.as_int()); break;
            // Always with a fraction or an exponent, so it reads back as a float.
            case Kind::Float: append_json_float(v.as_float(), text); break;
            case Kind::String: return string(v.as_string());
            case Kind::Array:
                if (Status s = emit([](yaml_event_t* e) {
                        return yaml_sequence_start_event_initialize(e, nullptr, nullptr, 1,
                                                                    YAML_FLOW_SEQUENCE_STYLE);
                    });
                    !s)
                    return s;
                return emit([](yaml_event_t* e) { return yaml_sequence_end_event_initialize(e); });
            case Kind::Object:
                if (Status s = emit([](yaml_event_t* e) {
                        return yaml_mapping_start_event_initialize(e, nullptr, nullptr, 1,
                                                                   YAML_FLOW_MAPPING_STYLE);
                    });
                    !s)
                    return s;
                return emit([](yaml_event_t* e) { return yaml_mapping_end_event_initialize(e); });
        }
        return scalar(text, YAML_PLAIN_SCALAR_STYLE);
    }

private:
    yaml_emitter_t* emitter_;
};

bool is_nonempty_container(const Value& v) {
    return (v.is_array() && !v.as_array().empty()) || (v.is_object() && !v.as_object().empty());
}

// Walks the tree with an explicit stack: start events for non-empty collections (block
// style), leaves and empty collections (flow style) as single events.
Status emit_tree(EventWriter& out, const Value& root) {
    struct Frame {
        const Value* node;
        std::size_t index;
        Object::const_iterator next;
    };
    std::vector<Frame> stack;
    auto value = [&](const Value& v) -> Status {
        if (!is_nonempty_container(v)) return out.leaf(v);
        if (v.is_array()) {
            stack.push_back(Frame{&v, 0, {}});
            return out.emit([](yaml_event_t* e) {
                return yaml_sequence_start_event_initialize(e, nullptr, nullptr, 1,
                                                            YAML_BLOCK_SEQUENCE_STYLE);
            });
        }
        stack.push_back(Frame{&v, 0, v.as_object().begin()});
        return out.emit([](yaml_event_t* e) {
            return yaml_mapping_start_event_initialize(e, nullptr, nullptr, 1,
                                                       YAML_BLOCK_MAPPING_STYLE);
        });
    };

    if (Status s = value(root); !s) return s;
    while (!stack.empty()) {
        Frame& top = stack.back();
        const Value* child = nullptr;
        if (top.node->is_array()) {
            if (top.index < top.node->as_array().size()) child = &top.node->as_array()[top.index++];
        } else if (top.next != top.node->as_object().end()) {
            if (Status s = out.string(top.next->name()); !s) return s;
            child = &top.next->value;
            ++top.next;
        }
        if (child != nullptr) {
            if (Status s = value(*child); !s) return s;  // may reallocate: `top` is dead
            continue;
        }
        const bool is_array = top.node->is_array();
        stack.pop_back();
        if (Status s = out.emit([is_array](yaml_event_t* e) {
                return is_array ? yaml_sequence_end_event_initialize(e)
                                : yaml_mapping_end_event_initialize(e);
            });
            !s)
            return s;
    }
    return success();
}

}  // namespace

Result<Value> parse_yaml(std::string_view text) {
    Parser parser;
    if (!parser.initialised()) return parse_error("out of memory");
    static const unsigned char kEmpty[1] = {0};
    const auto* input = text.empty() ? kEmpty : reinterpret_cast<const unsigned char*>(text.data());
    // The parser reads `text` in place; it outlives the parser.
    yaml_parser_set_input_string(parser.get(), input, text.size());
    yaml_parser_set_encoding(parser.get(), YAML_UTF8_ENCODING);

    TreeBuilder builder(text.size());
    for (;;) {
        Event event;
        if (!yaml_parser_parse(parser.get(), event.get()))
            return libyaml_error(*parser.get(), text);
        if (Result<Unit> r = builder.handle(*event); !r) return std::move(r).error();
        if ((*event).type == YAML_STREAM_END_EVENT) break;
    }
    return builder.take_root();
}

Result<Value> read_yaml_fd(int fd) {
    // Read failures are reported as the parser's own input errors.
    Result<std::string> text = read_file_bytes(fd);
    if (!text) return parse_error(text.error().message);
    return parse_yaml(text.value());
}

Result<std::string> write_yaml(const Value& document) {
    Emitter emitter;
    if (!emitter.initialised()) return writer_error("out of memory");
    std::string out;
    yaml_emitter_set_output(emitter.get(), append_output, &out);
    yaml_emitter_set_unicode(emitter.get(), 1);
    yaml_emitter_set_width(emitter.get(), -1);  // never fold long lines
    yaml_emitter_set_indent(emitter.get(), 2);
    yaml_emitter_set_break(emitter.get(), YAML_LN_BREAK);

    EventWriter events(emitter.get());
    if (Status s = events.emit([](yaml_event_t* e) {
            return yaml_stream_start_event_initialize(e, YAML_UTF8_ENCODING);
        });
        !s)
        return std::move(s).error();
    if (Status s = events.emit([](yaml_event_t* e) {
            return yaml_document_start_event_initialize(e, nullptr, nullptr, nullptr, 1);
        });
        !s)
        return std::move(s).error();
    if (Status s = emit_tree(events, document); !s) return std::move(s).error();
    if (Status s = events.emit([](yaml_event_t* e) {
            return yaml_document_end_event_initialize(e, 1);
        });
        !s)
        return std::move(s).error();
    if (Status s = events.emit([](yaml_event_t* e) { return yaml_stream_end_event_initialize(e); });
        !s)
        return std::move(s).error();
    return out;
}

}  // namespace zel
