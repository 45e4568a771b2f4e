// The YAML writer, driven through libyaml's event interface: walks the tree and emits
// block-style events; scalar styles follow how the reader would type each string. libyaml
// rather than libfyaml (which reads): libfyaml's emitter does not keep this layout.
#include "formats/yaml/writer.hpp"

#include <yaml.h>

#include <charconv>
#include <climits>
#include <cstring>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/number_text.hpp"
#include "text/text_buffer.hpp"
#include "text/utf8.hpp"
#include "formats/yaml/scalars.hpp"

namespace zel {
namespace {

// Owns a libyaml emitter. yaml_emitter_initialize zeroes the struct and releases whatever it
// allocated when it fails, so the emitter is deleted only after a successful initialisation.
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

// libyaml's output handler: appends to the TextBuffer passed as `data`. It must not throw
// through C code, so a failed allocation is reported as a write error.
int append_output(void* data, unsigned char* buffer, std::size_t size) {
    try {
        static_cast<TextBuffer*>(data)->append(
            std::string_view(reinterpret_cast<const char*>(buffer), size));
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
    // quoted), and double quotes escape what YAML cannot hold raw. libyaml takes U+2028 and
    // U+2029 for line breaks, as YAML 1.1 did, and indents after them in every other style;
    // in YAML 1.2 they are ordinary characters, so those strings ask for double quotes, where
    // libyaml escapes them (\L, \P).
    static yaml_scalar_style_t string_style(std::string_view text) {
        if (text.find("\xE2\x80\xA8") != std::string_view::npos ||
            text.find("\xE2\x80\xA9") != std::string_view::npos)
            return YAML_DOUBLE_QUOTED_SCALAR_STYLE;
        if (text.find('\n') != std::string_view::npos) return YAML_LITERAL_SCALAR_STYLE;
        return yaml_plain_text_is_string(text) ? YAML_PLAIN_SCALAR_STYLE
                                               : YAML_SINGLE_QUOTED_SCALAR_STYLE;
    }

    Status leaf(const Value& v) {
        char text[kJsonFloatRoom];
        char* end = text;
        switch (v.kind()) {
            case Kind::Null: end = put(text, "null"); break;
            case Kind::Bool: end = put(text, v.as_bool() ? "true" : "false"); break;
            case Kind::UInt: end = std::to_chars(text, text + sizeof text, v.as_uint()).ptr; break;
            case Kind::Int: end = std::to_chars(text, text + sizeof text, v.as_int()).ptr; break;
            // Always with a fraction or an exponent, so it reads back as a float.
            case Kind::Float: end = put_json_float(v.as_float(), text); break;
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
        return scalar(std::string_view(text, static_cast<std::size_t>(end - text)),
                      YAML_PLAIN_SCALAR_STYLE);
    }

private:
    static char* put(char* out, std::string_view word) {
        std::memcpy(out, word.data(), word.size());
        return out + word.size();
    }

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

    // A root string of line breaks only would be a literal block of empty lines with an
    // indentation indicator, closed by "..."; libfyaml rejects that, so it is double-quoted.
    if (root.is_string() && !root.as_string().empty() &&
        root.as_string().find_first_not_of('\n') == std::string_view::npos)
        return out.scalar(root.as_string(), YAML_DOUBLE_QUOTED_SCALAR_STYLE);

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

// ---------------------------------------------------------------------------------------
// The same text without libyaml, for the common documents: a non-empty mapping or sequence
// root, keys of at most 100 bytes, and strings that libyaml writes exactly as they are, plain
// where asked for, in single quotes otherwise (see plain_as_is and append_simple_string).
// Sequences in mappings go at the key's column, collections in sequences start on the
// entry's line. Any other document goes to libyaml whole.

constexpr std::size_t kPlainKeyBytes = 100;  // the emitter writes keys over 128 bytes as "? key"

// Whether libyaml writes `t` as it is when asked for a plain scalar in block context: no
// blank at either end, no indicator (nor . or +) first, no ": ", " #" or final ':', and
// only characters it takes as printable: ASCII from space to '~', and the 2- and 3-byte
// UTF-8 characters other than NEL, LS, PS, the byte order mark, U+FFFE and U+FFFF (it
// escapes 4-byte ones).
bool plain_as_is(std::string_view t) {
    if (t.empty() || t.front() == ' ' || t.back() == ' ') return false;
    const unsigned char first = static_cast<unsigned char>(t.front());
    if (std::strchr("-?:,[]{}#&*!|>'\"%@`.+", first) != nullptr) return false;
    bool checked_utf8 = false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const auto c = static_cast<unsigned char>(t[i]);
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F) return false;
            if (c == ':' && (i + 1 == t.size() || t[i + 1] == ' ')) return false;
            if (c == '#' && t[i - 1] == ' ') return false;  // i > 0: '#' cannot be first
            continue;
        }
        if (!checked_utf8) {
            if (!is_valid_utf8(t)) return false;
            checked_utf8 = true;
        }
        const auto c1 = static_cast<unsigned char>(t[i + 1]);
        if (c < 0xE0) {
            if (c == 0xC2 && c1 < 0xA0) return false;  // C1 controls, NEL
            i += 1;
        } else if (c < 0xF0) {
            const auto c2 = static_cast<unsigned char>(t[i + 2]);
            if (c == 0xE2 && c1 == 0x80 && (c2 == 0xA8 || c2 == 0xA9)) return false;
            if (c == 0xEF && ((c1 == 0xBB && c2 == 0xBF) || (c1 == 0xBF && c2 >= 0xBE)))
                return false;
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

// Appends the scalar for the string `text` as libyaml writes it in block context; false when
// this text is not one of those handled here.
bool append_simple_string(std::string_view text, TextBuffer& out) {
    if (yaml_plain_text_is_string(text)) {
        if (!plain_as_is(text)) return false;
        out.append(text);
        return true;
    }
    // Reads as another kind of value: single quotes, as asked; such texts are short ASCII.
    for (const char c : text)
        if (c < 0x20 || c > 0x7E || c == '\'') return false;
    char* at = out.room(text.size() + 2);
    *at++ = '\'';
    std::memcpy(at, text.data(), text.size());
    at += text.size();
    *at++ = '\'';
    out.set_end(at);
    return true;
}

// A scalar, an empty collection, or false for anything else.
bool append_simple_leaf(const Value& v, TextBuffer& out) {
    switch (v.kind()) {
        case Kind::Null: out.append("null"); return true;
        case Kind::Bool: out.append(v.as_bool() ? "true" : "false"); return true;
        case Kind::UInt: {
            char* at = out.room(20);
            out.set_end(std::to_chars(at, at + 20, v.as_uint()).ptr);
            return true;
        }
        case Kind::Int: {
            char* at = out.room(20);
            out.set_end(std::to_chars(at, at + 20, v.as_int()).ptr);
            return true;
        }
        case Kind::Float: {
            char* const at = out.room(kJsonFloatRoom);
            char* const end = put_json_float(v.as_float(), at);
            out.set_end(end);
            // Finite floats only: their text is digits, '.', 'e', '+' and '-'.
            return std::string_view(at, static_cast<std::size_t>(end - at))
                       .find_first_not_of("0123456789.e+-") == std::string_view::npos;
        }
        case Kind::String: return append_simple_string(v.as_string(), out);
        case Kind::Array: out.append("[]"); return v.as_array().empty();
        case Kind::Object: out.append("{}"); return v.as_object().empty();
    }
    return false;
}

class SimpleWriter {
public:
    explicit SimpleWriter(TextBuffer& out) : out_(out) {}

    // `inline_first`: the first entry goes on the line already started ("- ").
    bool mapping(const Object& o, std::size_t indent, bool inline_first) {
        bool first = true;
        for (const Member& m : o) {
            if (!first || !inline_first) out_.append(indent, ' ');
            first = false;
            if (m.name().size() > kPlainKeyBytes || !append_simple_string(m.name(), out_))
                return false;
            const Value& v = m.value;
            if (is_nonempty_container(v)) {
                out_.append(":\n");
                if (v.is_object() ? !mapping(v.as_object(), indent + 2, false)
                                  : !sequence(v.as_array(), indent, false))
                    return false;
            } else {
                out_.append(": ");
                if (!append_simple_leaf(v, out_)) return false;
                out_.append('\n');
            }
        }
        return true;
    }

    bool sequence(const Array& a, std::size_t indent, bool inline_first) {
        bool first = true;
        for (const Value& v : a) {
            if (!first || !inline_first) out_.append(indent, ' ');
            first = false;
            out_.append("- ");
            if (is_nonempty_container(v)) {
                if (v.is_object() ? !mapping(v.as_object(), indent + 2, true)
                                  : !sequence(v.as_array(), indent + 2, true))
                    return false;
            } else {
                if (!append_simple_leaf(v, out_)) return false;
                out_.append('\n');
            }
        }
        return true;
    }

private:
    TextBuffer& out_;
};

// The whole event stream of `document` through libyaml's emitter, appended to `out`.
Status emit_document(const Value& document, TextBuffer& out) {
    Emitter emitter;
    if (!emitter.initialised()) return writer_error("out of memory");
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
        return s;
    if (Status s = events.emit([](yaml_event_t* e) {
            return yaml_document_start_event_initialize(e, nullptr, nullptr, nullptr, 1);
        });
        !s)
        return s;
    if (Status s = emit_tree(events, document); !s) return s;
    if (Status s = events.emit([](yaml_event_t* e) {
            return yaml_document_end_event_initialize(e, 1);
        });
        !s)
        return s;
    if (Status s = events.emit([](yaml_event_t* e) { return yaml_stream_end_event_initialize(e); });
        !s)
        return s;
    return success();
}

}  // namespace

bool write_yaml_without_libyaml(const Value& document, TextBuffer& out) {
    if (!is_nonempty_container(document)) return false;
    SimpleWriter w(out);
    return document.is_object() ? w.mapping(document.as_object(), 0, false)
                                : w.sequence(document.as_array(), 0, false);
}

Status write_yaml(const Value& document, TextBuffer& out) {
    const std::size_t start = out.size();
    if (write_yaml_without_libyaml(document, out)) return success();
    out.truncate(start);
    return write_yaml_with_libyaml(document, out);
}

Status write_yaml_with_libyaml(const Value& document, TextBuffer& out) {
    const std::size_t start = out.size();
    Status written = emit_document(document, out);
    if (!written) out.truncate(start);
    return written;
}

Result<std::string> write_yaml(const Value& document) {
    TextBuffer text;
    if (Status s = write_yaml(document, text); !s) return std::move(s).error();
    return std::string(text.view());
}

Result<std::string> write_yaml_with_libyaml(const Value& document) {
    TextBuffer text;
    if (Status s = write_yaml_with_libyaml(document, text); !s) return std::move(s).error();
    return std::string(text.view());
}

bool write_yaml_without_libyaml(const Value& document, std::string& out) {
    TextBuffer text;
    const bool written = write_yaml_without_libyaml(document, text);
    out.append(text.view());
    return written;
}

}  // namespace zel
