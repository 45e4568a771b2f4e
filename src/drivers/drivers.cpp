// Driver selection by name and the load/save dispatch on the driver kind: Memory touches
// nothing, Custom goes through the boundary's CustomDriver, and each file kind pairs its
// reader and writer with file_io's files.
#include "drivers/drivers.hpp"

#include <string>
#include <string_view>
#include <utility>

#include "drivers/file_io.hpp"
#include "formats/json/json5_reader.hpp"
#include "formats/json/json5_writer.hpp"
#include "formats/json/reader.hpp"
#include "formats/json/writer.hpp"
#include "formats/toml/reader.hpp"
#include "formats/toml/writer.hpp"
#include "formats/yaml/reader.hpp"
#include "formats/yaml/writer.hpp"

namespace zel {
namespace {

Result<Value> read_by_format(DriverKind kind, int fd) {
    switch (kind) {
        case DriverKind::Json:
            return read_json_fd(fd);
        case DriverKind::Json5:
        case DriverKind::Toml: {
            // These readers take the whole text, which must be UTF-8; failing to get it is an
            // input/output error rather than a parse error.
            // A stream with no end (a device) stops at the first byte the format forbids.
            Result<std::string> text = read_whole_file(
                fd, kind == DriverKind::Toml ? TextStop::NulOrInvalidUtf8 : TextStop::InvalidUtf8);
            if (!text) return std::move(text).error();
            return kind == DriverKind::Json5 ? parse_json5(text.value()) : parse_toml(text.value());
        }
        case DriverKind::Yaml: {
            // As above; read failures are reported as the parser's own input errors.
            Result<std::string> text = read_file_bytes(fd, TextStop::NulOrInvalidUtf8);
            if (!text) return make_error(ErrorKind::Parse, "YAML parse error: " + text.error().message);
            return parse_yaml(text.value());
        }
        default:
            return make_error(ErrorKind::Internal, "load_file called for a non-file driver");
    }
}

// A file nested deeper than its reader accepts could never be opened again: refuse to
// write it, leaving the old file as it is.
Status check_loadable_depth(const Value& document, std::size_t limit, const char* format) {
    if (nesting_depth(document, limit) <= limit) return success();
    return make_error(ErrorKind::Writer, std::string("Cannot save as ") + format +
                                             ": the document is nested more than " +
                                             std::to_string(limit) +
                                             " levels deep, which loading would refuse");
}

// Moves a writer's text into `string` and views it.
Result<std::string_view> assign(std::string& string, Result<std::string> text) {
    if (!text) return std::move(text).error();
    string = std::move(text).value();
    return std::string_view(string);
}

// The text of `document` in the format of `kind`: the JSON-family writers fill `block`, the
// others `string`; the result views whichever was filled.
Result<std::string_view> serialise(DriverKind kind, const Value& document, TextBuffer& block,
                                   std::string& string) {
    switch (kind) {
        // These writers check the depth as they go, and stop at the first level too deep.
        case DriverKind::Json:
            if (write_json(document, block, kJsonMaxDepth)) return block.view();
            return check_loadable_depth(document, kJsonMaxDepth, "JSON").error();
        case DriverKind::Json5:
            if (write_json5(document, block, kJson5MaxDepth)) return block.view();
            return check_loadable_depth(document, kJson5MaxDepth, "JSON5").error();
        case DriverKind::Toml:
            if (Status s = check_loadable_depth(document, kTomlMaxDepth, "TOML"); !s)
                return std::move(s).error();
            return assign(string, write_toml(document));
        case DriverKind::Yaml:
            if (Status s = check_loadable_depth(document, kYamlMaxDepth, "YAML"); !s)
                return std::move(s).error();
            return assign(string, write_yaml(document));
        default:
            return make_error(ErrorKind::Internal, "save_file called for a non-file driver");
    }
}

}  // namespace


bool driver_kind_from_name(std::string_view lowered, DriverKind& out) {
    struct Name {
        std::string_view name;
        DriverKind kind;
    };
    static constexpr Name kNames[] = {
        {"json", DriverKind::Json},   {"json5", DriverKind::Json5},   {"toml", DriverKind::Toml},
        {"yaml", DriverKind::Yaml},   {"memory", DriverKind::Memory},
    };
    for (const Name& entry : kNames) {
        if (entry.name == lowered) {
            out = entry.kind;
            return true;
        }
    }
    return false;
}

Result<Value> load(const Driver& driver, const std::string& path) {
    switch (driver.kind) {
        case DriverKind::Memory:
            return Value::object();
        case DriverKind::Custom:
            if (!driver.custom) return make_error(ErrorKind::Internal, "custom driver without an object");
            return driver.custom->read(path);
        default:
            return load_file(driver.kind, path);
    }
}

Status save(const Driver& driver, const std::string& path, const Value& document) {
    switch (driver.kind) {
        case DriverKind::Memory:
            return success();
        case DriverKind::Custom:
            return make_error(ErrorKind::Internal, "a custom driver is saved by Engine::sync");
        default:
            return save_file(driver.kind, path, document);
    }
}

Result<Value> load_file(DriverKind kind, const std::string& path) {
    Result<FileDescriptor> fd = open_settings_file(path);
    if (!fd) return std::move(fd).error();
    if (fd.value().get() < 0) return Value::object();
    return read_by_format(kind, fd.value().get());
}

Status save_file(DriverKind kind, const std::string& path, const Value& document) {
    // Directories first: they stay made even when the writer then fails. The whole text
    // exists before the file itself is touched.
    if (Status made = create_directories(parent_directory(path)); !made) return made;
    TextBuffer block;
    std::string string;
    Result<std::string_view> text = serialise(kind, document, block, string);
    if (!text) return std::move(text).error();
    return replace_file_contents(path, text.value());
}

}  // namespace zel
