// The TOML writer: lays a Value tree out in the output buffer as key = value lines, [tables]
// and [[arrays of tables]], checking on the way that TOML can express it. When it cannot, the
// text is dropped and a separate walk names the first place that TOML cannot express, in the
// tree's own order.
#include "formats/toml/writer.hpp"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/limits.hpp"
#include "formats/toml/datetime.hpp"
#include "text/escape.hpp"
#include "text/hex.hpp"
#include "text/number_text.hpp"
#include "text/text_buffer.hpp"
#include "text/utf8.hpp"

namespace zel {
namespace {

// ---- what TOML cannot express ------------------------------------------------------------------

// One step of the path to a value, for error messages: a member name or an array index.
struct PathStep {
    const Value* key;  // nullptr for an array element
    std::size_t index;
};

std::string path_text(const std::vector<PathStep>& path) {
    std::string text;
    for (const PathStep& step : path) {
        if (step.key != nullptr) {
            if (!text.empty()) text += '/';
            text += step.key->as_string();
        } else {
            text += '[' + std::to_string(step.index) + ']';
        }
    }
    return text;
}

// Finds the first of null, an unsigned integer beyond the signed 64-bit range, text that is
// not UTF-8, or nesting deeper than loading accepts (a date-time's marker object counts as a
// level, as on loading), in the order of the tree.
class ExpressibilityCheck {
public:
    std::optional<Error> check(const Value& v, std::size_t depth) {
        switch (v.kind()) {
            case Kind::Null:
                return fail("TOML cannot express null");
            case Kind::UInt:
                if (v.as_uint() >
                    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                    return fail("integer " + std::to_string(v.as_uint()) +
                                " is out of TOML's range");
                return std::nullopt;
            case Kind::String:
                if (!is_valid_utf8(v.as_string())) return fail("TOML strings must be valid UTF-8");
                return std::nullopt;
            case Kind::Array: {
                if (depth > kTomlMaxDepth) return too_deep();
                std::size_t index = 0;
                for (const Value& item : v.as_array()) {
                    path_.push_back(PathStep{nullptr, index++});
                    if (std::optional<Error> e = check(item, depth + 1)) return e;
                    path_.pop_back();
                }
                return std::nullopt;
            }
            case Kind::Object: {
                if (depth > kTomlMaxDepth) return too_deep();
                for (const Member& entry : v.as_object()) {
                    path_.push_back(PathStep{&entry.key, 0});
                    if (!is_valid_utf8(entry.name())) return fail("TOML keys must be valid UTF-8");
                    if (std::optional<Error> e = check(entry.value, depth + 1)) return e;
                    path_.pop_back();
                }
                return std::nullopt;
            }
            default:
                return std::nullopt;
        }
    }

private:
    Error fail(std::string description) const {
        return make_error(ErrorKind::Writer,
                          std::move(description) + " (at key " + path_text(path_) + ")");
    }
    Error too_deep() const {
        return fail("TOML document is nested more than " + std::to_string(kTomlMaxDepth) +
                    " levels deep");
    }

    std::vector<PathStep> path_;
};

// ---- text ------------------------------------------------------------------------------------

enum : std::uint8_t {
    kBare = 1,        // may appear in a bare key
    kNotLiteral = 2,  // rules out a literal string: an apostrophe or a control character
    kEscaped = 4,     // escaped in a basic string: " \ and control characters
};

constexpr std::array<std::uint8_t, 256> make_classes() {
    std::array<std::uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        std::uint8_t k = 0;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '_' || c == '-')
            k |= kBare;
        const bool control = c < 0x20 || c == 0x7F;
        if (control || c == '\'') k |= kNotLiteral;
        if (control || c == '"' || c == '\\') k |= kEscaped;
        t[static_cast<std::size_t>(c)] = k;
    }
    return t;
}

constexpr std::array<std::uint8_t, 256> kClasses = make_classes();

inline std::uint8_t class_of(char c) noexcept { return kClasses[static_cast<unsigned char>(c)]; }

// The text of a date-time marker object (one member kTomlDatetimeKey holding a string) whose
// string is a TOML date, time or date-time in any spelling the reader accepts; any other
// marker-like object is an ordinary table.
std::optional<std::string_view> datetime_marker(const Value& v) {
    if (!v.is_object() || v.as_object().size() != 1) return std::nullopt;
    const Member& entry = *v.as_object().begin();
    if (entry.name() != kTomlDatetimeKey || !entry.value.is_string()) return std::nullopt;
    const std::string_view text = entry.value.as_string();
    if (!is_toml_datetime(text)) return std::nullopt;
    return text;
}

bool is_table(const Value& v) { return v.is_object() && !datetime_marker(v); }

bool is_array_of_tables(const Value& v) {
    if (!v.is_array() || v.as_array().empty()) return false;
    for (const Value& element : v.as_array())
        if (!is_table(element)) return false;
    return true;
}

bool holds_only_sections(const Object& members) {
    if (members.empty()) return false;
    for (const Member& m : members)
        if (!is_table(m.value) && !is_array_of_tables(m.value)) return false;
    return true;
}

// Arrays of key = value lines wrap, one element per line, beyond this width.
constexpr std::size_t kLineWidth = 120;

class TomlWriter {
public:
    explicit TomlWriter(TextBuffer& out) : out_(out), start_(out.size()) {}

    // False when the tree holds something TOML cannot express; the text is then unusable.
    bool document(const Object& root) {
        table_body(root, 1);
        return ok_;
    }

private:
    // The members of a table at level `depth`, in three groups as TOML requires: key = value
    // lines first, then sub-tables as [a.b] sections, then arrays of tables as [[a.b]]
    // sections.
    void table_body(const Object& members, std::size_t depth) {
        for (const Member& entry : members) {
            const Value& member = entry.value;
            if (is_table(member) || is_array_of_tables(member)) continue;
            const std::size_t line_start = out_.size();
            key(entry.name());
            out_.append(" = ");
            if (member.is_array() && !member.as_array().empty()) {
                const std::size_t value_start = out_.size();
                inline_value(member, depth + 1);
                if (out_.size() - line_start > kLineWidth) {
                    out_.truncate(value_start);
                    wrapped_array(member.as_array(), depth + 1);
                }
            } else {
                inline_value(member, depth + 1);
            }
            out_.append('\n');
        }
        for (const Member& entry : members) {
            const Value& member = entry.value;
            if (!is_table(member)) continue;
            if (depth + 1 > kTomlMaxDepth) {
                ok_ = false;
                continue;
            }
            const std::size_t path_size = enter(entry.name());
            // A table holding only sections needs no header of its own: theirs create it.
            if (!holds_only_sections(member.as_object())) header("[", "]");
            table_body(member.as_object(), depth + 1);
            path_.resize(path_size);
        }
        for (const Member& entry : members) {
            const Value& member = entry.value;
            if (!is_array_of_tables(member)) continue;
            if (depth + 2 > kTomlMaxDepth) {
                ok_ = false;
                continue;
            }
            const std::size_t path_size = enter(entry.name());
            for (const Value& element : member.as_array()) {
                header("[[", "]]");
                table_body(element.as_object(), depth + 2);
            }
            path_.resize(path_size);
        }
    }

    // Appends a key to the header path; returns the path's length before.
    std::size_t enter(std::string_view name) {
        const std::size_t before = path_.size();
        if (before > 0) path_ += '.';
        const std::size_t at = out_.size();
        key(name);  // rendered in the output, then moved to the path
        path_.append(out_.data() + at, out_.size() - at);
        out_.truncate(at);
        return before;
    }

    void header(std::string_view open, std::string_view close) {
        if (out_.size() != start_) out_.append('\n');
        out_.append(open);
        out_.append(path_);
        out_.append(close);
        out_.append('\n');
    }

    void wrapped_array(const Array& items, std::size_t depth) {
        out_.append('[');
        for (std::size_t i = 0; i < items.size(); ++i) {
            out_.append(i == 0 ? "\n    " : ",\n    ");
            inline_value(items[i], depth + 1);
        }
        out_.append("\n]");
    }

    // A value on one line, at level `depth`: scalars, date-times, [ arrays ] and
    // { inline tables }.
    void inline_value(const Value& v, std::size_t depth) {
        switch (v.kind()) {
            case Kind::Bool:
                out_.append(v.as_bool() ? std::string_view("true") : std::string_view("false"));
                return;
            case Kind::UInt: {
                if (v.as_uint() >
                    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                    ok_ = false;
                char* at = out_.room(24);
                out_.set_end(std::to_chars(at, at + 24, v.as_uint()).ptr);
                return;
            }
            case Kind::Int: {
                char* at = out_.room(24);
                out_.set_end(std::to_chars(at, at + 24, v.as_int()).ptr);
                return;
            }
            case Kind::Float:
                floating(v.as_float());
                return;
            case Kind::String:
                string(v.as_string());
                return;
            case Kind::Array: {
                if (depth > kTomlMaxDepth) {
                    ok_ = false;
                    return;
                }
                const Array& items = v.as_array();
                if (items.empty()) {
                    out_.append("[]");
                    return;
                }
                out_.append("[ ");
                for (std::size_t i = 0; i < items.size(); ++i) {
                    if (i > 0) out_.append(", ");
                    inline_value(items[i], depth + 1);
                }
                out_.append(" ]");
                return;
            }
            case Kind::Object: {
                if (depth > kTomlMaxDepth) {
                    ok_ = false;
                    return;
                }
                if (const std::optional<std::string_view> datetime = datetime_marker(v)) {
                    out_.append(*datetime);
                    return;
                }
                const Object& members = v.as_object();
                if (members.empty()) {
                    out_.append("{}");
                    return;
                }
                out_.append("{ ");
                bool first = true;
                for (const Member& entry : members) {
                    if (!first) out_.append(", ");
                    first = false;
                    key(entry.name());
                    out_.append(" = ");
                    inline_value(entry.value, depth + 1);
                }
                out_.append(" }");
                return;
            }
            case Kind::Null:
                ok_ = false;
                return;
        }
    }

    void key(std::string_view name) {
        bool bare = !name.empty();
        for (const char c : name) {
            if (!(class_of(c) & kBare)) {
                bare = false;
                break;
            }
        }
        if (bare)
            out_.append(name);
        else
            string(name);
    }

    // In single quotes when that needs no escape (no apostrophe, no control character), else
    // in double quotes with escapes (\" \\ \b \t \n \f \r, \u00XX for other controls).
    // Non-ASCII text is written as it is.
    void string(std::string_view text) {
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        const auto* end = p + text.size();
        bool literal = true;
        while (p < end) {
            if (*p < 0x80) {
                if (class_of(static_cast<char>(*p)) & kNotLiteral) literal = false;
                ++p;
                continue;
            }
            const int length = utf8_length(p, end);
            if (length == 0) {
                ok_ = false;
                return;
            }
            p += length;
        }
        if (literal) {
            char* at = out_.room(text.size() + 2);
            *at++ = '\'';
            std::memcpy(at, text.data(), text.size());
            at += text.size();
            *at++ = '\'';
            out_.set_end(at);
            return;
        }
        out_.append('"');
        const char* run = text.data();
        const char* const stop = text.data() + text.size();
        for (const char* q = run; q < stop; ++q) {
            if (!(class_of(*q) & kEscaped)) continue;
            out_.append(std::string_view(run, static_cast<std::size_t>(q - run)));
            run = q + 1;
            char* at = out_.room(kMaxByteEscape);
            out_.set_end(put_escape(static_cast<unsigned char>(*q), kHexUpper, at));
        }
        out_.append(std::string_view(run, static_cast<std::size_t>(stop - run)));
        out_.append('"');
    }

    void floating(double d) {
        char* at = out_.room(kTomlFloatRoom);
        out_.set_end(put_toml_float(d, at));
    }

    TextBuffer& out_;
    const std::size_t start_;  // where the document's text begins in out_
    std::string path_;  // the current section's header: its keys, rendered, joined by '.'
    bool ok_ = true;
};

}  // namespace

Status write_toml(const Value& document, TextBuffer& out) {
    if (!document.is_object())
        return make_error(ErrorKind::Writer, "TOML document root must be a table");
    const std::size_t start = out.size();
    if (TomlWriter(out).document(document.as_object())) return success();
    out.truncate(start);
    if (std::optional<Error> e = ExpressibilityCheck().check(document, 1)) return std::move(*e);
    return make_error(ErrorKind::Internal, "the TOML writer refused a tree the check accepts");
}

Result<std::string> write_toml(const Value& document) {
    TextBuffer text;
    if (Status s = write_toml(document, text); !s) return std::move(s).error();
    return std::string(text.view());
}

}  // namespace zel
