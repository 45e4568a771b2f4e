// The format table, with the adapters that give each reader and writer the table's signature.
#include "formats/format.hpp"

#include <iterator>
#include <string>
#include <utility>

#include "formats/json/json5_reader.hpp"
#include "formats/json/json5_writer.hpp"
#include "formats/json/reader.hpp"
#include "formats/json/writer.hpp"
#include "formats/limits.hpp"
#include "formats/toml/reader.hpp"
#include "formats/toml/writer.hpp"
#include "formats/yaml/reader.hpp"
#include "formats/yaml/writer.hpp"

namespace zel {
namespace {

// A file nested deeper than its reader accepts could never be opened again: saving refuses it.
Error too_deep(Format format) {
    const FormatInfo& info = format_info(format);
    return make_error(ErrorKind::Writer, "Cannot save as " + std::string(info.title) +
                                             ": the document is nested more than " +
                                             std::to_string(info.max_depth) +
                                             " levels deep, which loading would refuse");
}

Status check_depth(Format format, const Value& document) {
    const std::size_t limit = format_info(format).max_depth;
    if (nesting_depth(document, limit) <= limit) return success();
    return too_deep(format);
}

Result<Value> read_json_file(int fd, std::uint64_t size) {
    return read_json_fd(fd, kJsonReadBufferSize, size);
}

// The JSON-family writers check the depth as they go, and stop at the first level too deep.
template <Format F, bool (*Write)(const Value&, TextBuffer&, std::size_t)>
Status write_checking_depth(const Value& document, TextBuffer& out) {
    if (Write(document, out, format_info(F).max_depth)) return success();
    return too_deep(F);
}

// The others are handed only documents that loading would accept.
template <Format F, Status (*Write)(const Value&, TextBuffer&)>
Status write_after_depth_check(const Value& document, TextBuffer& out) {
    if (Status s = check_depth(F, document); !s) return s;
    return Write(document, out);
}

// name, title, error prefix, nesting limit, line breaks, column unit, file input, read,
// read_fd, write, writes in pieces, read in place
constexpr FormatInfo kTable[] = {
    {Format::Json, "json", "JSON", "JSON parse error: ", kJsonMaxDepth,
     LineBreaks::Lf, ColumnUnit::Bytes, FileInput::Stream,
     parse_json, read_json_file, write_checking_depth<Format::Json, write_json>, true},
    {Format::Json5, "json5", "JSON5", "JSON5 parse error: ", kJson5MaxDepth,
     LineBreaks::LfCrUnicode, ColumnUnit::CodePoints, FileInput::Utf8,
     parse_json5, nullptr, write_checking_depth<Format::Json5, write_json5>, true},
    {Format::Toml, "toml", "TOML", "TOML parse error: ", kTomlMaxDepth,
     LineBreaks::Lf, ColumnUnit::CodePoints, FileInput::Utf8WithoutNul,
     parse_toml, nullptr, write_after_depth_check<Format::Toml, write_toml>, false},
    {Format::Yaml, "yaml", "YAML", "YAML parse error: ", kYamlMaxDepth,
     LineBreaks::LfCr, ColumnUnit::CodePoints, FileInput::Bytes,
     parse_yaml, nullptr, write_after_depth_check<Format::Yaml, write_yaml>, false,
     parse_yaml_in_place},
};

static_assert(std::size(kTable) == std::size(kFormats) && [] {
    for (std::size_t i = 0; i < std::size(kTable); ++i)
        if (kTable[i].format != kFormats[i] || static_cast<std::size_t>(kFormats[i]) != i)
            return false;
    return true;
}());

}  // namespace

const FormatInfo& format_info(Format format) noexcept {
    return kTable[static_cast<std::size_t>(format)];
}

std::span<const FormatInfo> format_table() noexcept { return kTable; }

TextPosition position_in(Format format, std::string_view text, std::size_t offset) noexcept {
    const FormatInfo& info = format_info(format);
    return text_position(text, offset, info.line_breaks, info.columns);
}

Error parse_error(Format format, std::string_view description) {
    std::string message(format_info(format).error_prefix);
    message += description;
    return make_error(ErrorKind::Parse, std::move(message));
}

Error parse_error(Format format, std::string_view description, TextPosition at) {
    std::string message(format_info(format).error_prefix);
    message += description;
    message += " at line ";
    message += std::to_string(at.line);
    message += " column ";
    message += std::to_string(at.column);
    return make_error(ErrorKind::Parse, std::move(message));
}

}  // namespace zel
