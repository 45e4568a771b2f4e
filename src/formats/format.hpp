// The file formats in one table: each one's name, error prefix, nesting limit, how its parse
// errors count lines and columns, how loading hands it a file, and its reader and writer behind
// one signature each. Loading and saving, the fuzz targets and the tests that go through every
// format all dispatch through it; every parse error message is built here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "formats/limits.hpp"
#include "text/position.hpp"
#include "text/text_buffer.hpp"
#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

enum class Format : std::uint8_t { Json = 0, Json5 = 1, Toml = 2, Yaml = 3 };

inline constexpr Format kFormats[] = {Format::Json, Format::Json5, Format::Toml, Format::Yaml};

// How loading hands an open file to the reader.
enum class FileInput : std::uint8_t {
    // read_fd reads the file itself, block by block.
    Stream,
    // The whole file, which must be UTF-8 (otherwise an input/output error). A file with no
    // end (a device, a pipe) stops at the first byte that is not UTF-8.
    Utf8,
    // The same, a file with no end also stopping at the first NUL.
    Utf8WithoutNul,
    // The whole file as it is, for a reader that checks the bytes itself; a file with no end
    // stops at the first NUL or byte that is not UTF-8. A read failure is a parse error.
    Bytes,
};

struct FormatInfo {
    Format format;
    std::string_view name;          // lower case, also the driver's name: "json"
    std::string_view title;         // "JSON"
    std::string_view error_prefix;  // every parse error starts with it: "JSON parse error: "
    std::size_t max_depth;          // deepest nesting the reader loads (formats/limits.hpp)
    LineBreaks line_breaks;         // the lines and columns of its parse errors
    ColumnUnit columns;
    FileInput file_input;
    // Parses a whole document held in memory. Failures are ErrorKind::Parse.
    Result<Value> (*read)(std::string_view text);
    // Parses the document of an open file (FileInput::Stream only, else null), of `size`
    // bytes as opened, or kSizeUnknown.
    Result<Value> (*read_fd)(int fd, std::uint64_t size);
    // Appends the text of `document` to `out`. A document nested deeper than max_depth, or
    // one the format cannot express, is ErrorKind::Writer.
    Status (*write)(const Value& document, TextBuffer& out);
    // The writer only appends at its cursor and never looks back (TextBuffer::stream_to), so a
    // save may stream its text.
    bool writes_in_pieces;
    // `read` for a text the reader may change (a file's whole text, read for it alone), when
    // the reader rewrites the text before parsing it; else null.
    Result<Value> (*read_in_place)(char* text, std::size_t size) = nullptr;
};

const FormatInfo& format_info(Format format) noexcept;

// Every format, in the order of kFormats.
std::span<const FormatInfo> format_table() noexcept;

// Where byte `offset` of `text` is, by the format's line breaks and column unit.
TextPosition position_in(Format format, std::string_view text, std::size_t offset) noexcept;

// A parse error of `format`: ErrorKind::Parse, "{prefix}{description}", and with a position
// "{prefix}{description} at line L column C".
Error parse_error(Format format, std::string_view description);
Error parse_error(Format format, std::string_view description, TextPosition at);

}  // namespace zel
