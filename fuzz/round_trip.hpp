// The properties every reader and writer pair must keep, shared by the fuzz targets and the
// regression test: what an accepted tree may hold, and that written, read back and written
// again it gives the same tree and text. Each check returns its first fault, or "".
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/format.hpp"
#include "formats/json/json5_reader.hpp"
#include "formats/json/reader.hpp"
#include "formats/json/writer.hpp"
#include "formats/toml/datetime.hpp"
#include "formats/yaml/reader.hpp"
#include "formats/yaml/writer.hpp"
#include "text/utf8.hpp"
#include "value/error.hpp"
#include "value/value.hpp"

namespace zel::fuzz {

using ::zel::Format;
using ::zel::kFormats;

// The format's name, for reports.
inline std::string format_name(Format f) { return std::string(format_info(f).name); }

inline Result<Value> parse(Format f, std::string_view text) { return format_info(f).read(text); }

// The format's writer as saving calls it, its text copied out.
inline Result<std::string> write(Format f, const Value& tree) {
    ::zel::TextBuffer out;
    if (::zel::Status written = format_info(f).write(tree, out); !written)
        return std::move(written).error();
    return std::string(out.view());
}

// Calls visit(node, key) for every node (key, a string node, is null for the root and array
// elements).
template <class Visit>
void for_each_node(const Value& root, Visit visit) {
    std::vector<std::pair<const Value*, const Value*>> work{{&root, nullptr}};
    while (!work.empty()) {
        const auto [node, key] = work.back();
        work.pop_back();
        visit(*node, key);
        if (node->is_array()) {
            for (const Value& child : node->as_array()) work.emplace_back(&child, nullptr);
        } else if (node->is_object()) {
            for (const Member& m : node->as_object()) work.emplace_back(&m.value, &m.key);
        }
    }
}

inline std::size_t node_count(const Value& root) {
    std::size_t n = 0;
    for_each_node(root, [&n](const Value&, const Value*) { ++n; });
    return n;
}

// TOML has no null, its root is a table and its integers are signed 64-bit; its reader
// loads kTomlMaxDepth levels.
inline bool toml_expressible(const Value& tree) {
    if (!tree.is_object() || nesting_depth(tree, kTomlMaxDepth) > kTomlMaxDepth) return false;
    bool ok = true;
    for_each_node(tree, [&ok](const Value& v, const Value*) {
        if (v.is_null() || (v.kind() == Kind::UInt && v.as_uint() > INT64_MAX)) ok = false;
    });
    return ok;
}

// What the JSON5 reader gives back for a written tree: an integral float in [-2^63, 2^64)
// is written without a fraction and so loads as the integer of that value (-0.0 as 0).
inline Value json5_normalised(const Value& tree) {
    Value out = tree.deep_copy();
    std::vector<Value*> work{&out};
    while (!work.empty()) {
        Value* v = work.back();
        work.pop_back();
        if (v->is_array()) {
            for (Value& child : v->as_array()) work.push_back(&child);
        } else if (v->is_object()) {
            for (auto& member : v->as_object()) work.push_back(&member.value);
        } else if (v->kind() == Kind::Float) {
            const double d = v->as_float();
            if (std::floor(d) != d) continue;
            if (d >= 0 && d < 18446744073709551616.0)
                *v = Value::uinteger(static_cast<std::uint64_t>(d));
            else if (d < 0 && d >= -9223372036854775808.0)
                *v = Value::integer(static_cast<std::int64_t>(d));
        }
    }
    return out;
}

// What the TOML reader gives back for a written tree: a date-time marker object whose text is
// any TOML spelling of a date-time is written as that date-time and loads in the reader's own
// spelling ("1979-05-27 07:32:00+00:00" as "1979-05-27T07:32:00Z").
inline Value toml_normalised(const Value& tree) {
    Value out = tree.deep_copy();
    std::vector<Value*> work{&out};
    std::string loaded;
    while (!work.empty()) {
        Value* v = work.back();
        work.pop_back();
        if (v->is_array()) {
            for (Value& child : v->as_array()) work.push_back(&child);
        } else if (v->is_object()) {
            Value* text = v->find(kTomlDatetimeKey);
            if (v->as_object().size() == 1 && text != nullptr && text->is_string() &&
                is_toml_datetime(text->as_string(), &loaded)) {
                *text = Value::string(loaded);
                continue;
            }
            for (auto& member : v->as_object()) work.push_back(&member.value);
        }
    }
    return out;
}

// Shows bytes in a failure report: printable ASCII as is, everything else as \xHH, cut
// after `limit` bytes.
inline std::string escaped(std::string_view bytes, std::size_t limit = 3000) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\n') {
            out += "\\n\n";
        } else if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    if (bytes.size() > limit) out += "... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

// A tree as JSON text for a report (integers and floats stay apart: 1 and 1.0).
inline std::string shown(const Value& tree) {
    std::string out;
    write_json(tree, out);
    return escaped(out);
}

// What any accepted tree must satisfy: valid UTF-8 in every string and key, finite floats,
// nesting within the reader's limit.
inline std::string check_tree(Format f, const Value& tree) {
    std::string fault;
    for_each_node(tree, [&fault](const Value& v, const Value* key) {
        if (!fault.empty()) return;
        if (key != nullptr && !is_valid_utf8(key->as_string()))
            fault = "a key is not valid UTF-8: " + escaped(key->as_string());
        else if (v.is_string() && !is_valid_utf8(v.as_string()))
            fault = "a string is not valid UTF-8: " + escaped(v.as_string());
        else if (v.kind() == Kind::Float && !std::isfinite(v.as_float()))
            fault = "a float is not finite";
    });
    if (!fault.empty()) return fault;
    const std::size_t limit = format_info(f).max_depth;
    if (nesting_depth(tree, limit) > limit)
        return "the tree nests deeper than the reader's limit of " + std::to_string(limit);
    return {};
}

// A rejected input must be a parse error with the format's prefix.
inline std::string check_rejection(Format f, const Error& e) {
    const std::string_view prefix = format_info(f).error_prefix;
    if (e.kind != ErrorKind::Parse)
        return std::string("the reader failed with an error that is not a parse error: ") +
               e.message;
    if (std::string_view(e.message).substr(0, prefix.size()) != prefix)
        return "the parse error lacks the prefix \"" + std::string(prefix) + "\": " + e.message;
    return {};
}

// Writes `tree` as `f`, reads the text back and compares; writes the tree read back and
// compares the texts. TOML only when it can express the tree (else its writer must refuse).
inline std::string check_round_trip(Format f, const Value& tree) {
    const std::string name = format_name(f);
    if (f == Format::Toml && !toml_expressible(tree)) {
        const Result<std::string> refused = write(f, tree);
        if (refused) return "the toml writer accepted a tree TOML cannot express: " + shown(tree);
        if (refused.error().kind != ErrorKind::Writer)
            return "the toml writer refused with a kind other than Writer: " +
                   refused.error().message;
        return {};
    }
    const Result<std::string> first = write(f, tree);
    if (!first) return "the " + name + " writer refused a tree: " + first.error().message +
                       "\ntree: " + shown(tree);
    const Result<Value> back = parse(f, first.value());
    if (!back)
        return "the " + name + " reader rejects the " + name + " writer's text: " +
               back.error().message + "\ntext:\n" + escaped(first.value()) +
               "\ntree: " + shown(tree);
    const Value expected = f == Format::Json5   ? json5_normalised(tree)
                           : f == Format::Toml ? toml_normalised(tree)
                                               : tree.deep_copy();
    if (!(back.value() == expected))
        return "the " + name + " round trip changed the tree\nwritten:\n" +
               escaped(first.value()) + "\nexpected: " + shown(expected) +
               "\nread back: " + shown(back.value());
    const Result<std::string> second = write(f, back.value());
    if (!second) return "the " + name + " writer refused the tree it wrote itself";
    // Normalised JSON5 floats and TOML date-times change the text once ("-0" becomes "0");
    // it is then fixed.
    if (second.value() != first.value() && expected == tree)
        return "the " + name + " writer is not idempotent\nfirst:\n" + escaped(first.value()) +
               "\nsecond:\n" + escaped(second.value());
    return {};
}

// Round trips through every writer whose reader loads trees this deep; `primary` first.
// Large trees (alias expansions) go through the primary format only.
inline std::string check_all_round_trips(Format primary, const Value& tree) {
    if (std::string fault = check_round_trip(primary, tree); !fault.empty()) return fault;
    if (node_count(tree) > 20000) return {};
    const std::size_t depth = nesting_depth(tree, kYamlMaxDepth);
    for (const Format f : kFormats) {
        if (f == primary || depth > format_info(f).max_depth)
            continue;
        if (std::string fault = check_round_trip(f, tree); !fault.empty())
            return std::string("(through ") + format_name(f) + ") " + fault;
    }
    return {};
}

// The block size the streamed reads use: small, so that inputs are padded cheaply, and block
// boundaries fall inside them often.
inline constexpr std::size_t kStreamBlock = 8192;

// Reads `text` through read_json_fd in kStreamBlock blocks, from a memory file, told the
// file's size (as loading a settings file is) or not.
inline Result<Value> read_json_streamed(std::string_view text, std::uint64_t size = kSizeUnknown) {
    const int fd = ::memfd_create("zel_fuzz_json", 0);
    if (fd < 0) return make_error(ErrorKind::Internal, "memfd_create failed");
    const bool written =
        ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
        ::lseek(fd, 0, SEEK_SET) == 0;
    Result<Value> r = written ? read_json_fd(fd, kStreamBlock, size)
                              : Result<Value>(make_error(ErrorKind::Internal, "write failed"));
    ::close(fd);
    return r;
}

inline std::string outcome(const Result<Value>& r) {
    return r ? "accepted " + shown(r.value()) : "rejected: " + r.error().message;
}

// Where a JSON input's last byte puts the buffer boundary (check_json_extras).
inline std::size_t boundary_cut(std::string_view input) {
    if (input.empty()) return 0;
    return (static_cast<unsigned char>(input.back()) * 131u) % (input.size() + 1);
}

// JSON only: streaming from a file with the block boundary at byte `cut` of the
// input (blanks in front move it there) reads what parsing from memory reads, blanks do not
// change the outcome, and the JSON5 reader, whose grammar contains JSON's, reads the same tree.
inline std::string check_json_extras(std::string_view input, std::size_t cut) {
    if (cut > input.size() || cut > kStreamBlock) cut = 0;
    std::string padded(kStreamBlock - cut, ' ');
    padded.append(input);
    const Result<Value> direct = parse_json(input);
    const Result<Value> in_memory = parse_json(padded);
    // Told the file's size, the reader ends at the short read that reaches it.
    for (const std::uint64_t size : {kSizeUnknown, std::uint64_t{padded.size()}}) {
        const Result<Value> streamed = read_json_streamed(padded, size);
        const bool same = in_memory.ok() == streamed.ok() &&
                          (in_memory ? in_memory.value() == streamed.value()
                                     : in_memory.error().message == streamed.error().message);
        if (!same)
            return "streaming (buffer boundary at input byte " + std::to_string(cut) +
                   (size == kSizeUnknown ? ", size unknown" : ", size known") +
                   ") differs from memory\nmemory: " + outcome(in_memory) +
                   "\nstream: " + outcome(streamed);
    }
    if (in_memory.ok() != direct.ok() || (direct && !(direct.value() == in_memory.value())))
        return "leading blanks changed the outcome\nwithout: " + outcome(direct) +
               "\nwith: " + outcome(in_memory);
    if (direct) {
        const Result<Value> as_json5 = parse_json5(input);
        if (!as_json5 || !(as_json5.value() == direct.value()))
            return "the JSON5 reader reads this JSON differently\njson: " + outcome(direct) +
                   "\njson5: " + outcome(as_json5);
    }
    return {};
}

// YAML only: a stream without CR of its own reads the same with every LF made a CR LF, given
// how the LF stream read (`as_read`). YAML takes both for one line break. Rejections by the
// alias bounds, which grow with the size of the file, are left out, and so are large trees
// (alias expansions), whose second reading would only cost time.
inline std::string check_yaml_extras(std::string_view input, const Result<Value>& as_read) {
    // The fast reader may only answer where libfyaml reads the same tree.
    const Result<Value> general = parse_yaml_general(input);
    if (as_read.ok() != general.ok() || (as_read && !(as_read.value() == general.value())) ||
        (!as_read && as_read.error().message != general.error().message))
        return "the fast reader and libfyaml read differently\nread: " + outcome(as_read) +
               "\nlibfyaml: " + outcome(general);
    if (as_read) {
        // The writer's text without libyaml must be libyaml's text.
        const Result<std::string> text = write_yaml(as_read.value());
        const Result<std::string> emitted = write_yaml_with_libyaml(as_read.value());
        if (text.ok() != emitted.ok() || (text && text.value() != emitted.value()))
            return "the YAML writer's text differs from libyaml's\nwritten:\n" +
                   (text ? text.value() : text.error().message) + "\nlibyaml:\n" +
                   (emitted ? emitted.value() : emitted.error().message);
    }
    if (input.find('\r') != std::string_view::npos) return {};
    if (as_read && node_count(as_read.value()) > 20000) return {};
    std::string crlf;
    crlf.reserve(input.size() + 64);
    for (const char c : input) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    // Read as a file's text is: its breaks made LFs where it is.
    const Result<Value> other = parse_yaml_in_place(crlf.data(), crlf.size());
    const auto bounded = [](const Result<Value>& r) {
        return !r && r.error().message.find("(possible alias bomb)") != std::string::npos;
    };
    if (bounded(as_read) || bounded(other)) return {};
    if (as_read.ok() != other.ok() || (as_read && !(as_read.value() == other.value())))
        return "CR LF line breaks read differently from LF\nLF: " + outcome(as_read) +
               "\nCR LF: " + outcome(other);
    return {};
}

}  // namespace zel::fuzz
