// Driver selection by name and the load/save dispatch on the driver kind: Memory touches
// nothing, Custom goes through the boundary's CustomDriver, and each file kind pairs its
// format's reader and writer (formats/format.hpp) with file_io's files.
#include "drivers/drivers.hpp"

#include <string>
#include <string_view>
#include <utility>

#include "drivers/file_io.hpp"
#include "formats/format.hpp"

namespace zel {
namespace {

static_assert(static_cast<int>(DriverKind::Json) == static_cast<int>(Format::Json) &&
              static_cast<int>(DriverKind::Json5) == static_cast<int>(Format::Json5) &&
              static_cast<int>(DriverKind::Toml) == static_cast<int>(Format::Toml) &&
              static_cast<int>(DriverKind::Yaml) == static_cast<int>(Format::Yaml));

// The format of a file driver; null for the others.
const FormatInfo* format_of(DriverKind kind) noexcept {
    if (kind > DriverKind::Yaml) return nullptr;
    return &format_info(static_cast<Format>(kind));
}

// A file's whole text, read for the reader alone: a reader that rewrites its text before
// parsing may do so where it is.
Result<Value> read_text(const FormatInfo& format, FileText& text) {
    return format.read_in_place ? format.read_in_place(text.data(), text.size())
                                : format.read(text.view());
}

}  // namespace

Result<Value> read_document(const FormatInfo& format, int fd, std::uint64_t size) {
    switch (format.file_input) {
        case FileInput::Stream:
            return format.read_fd(fd, size);
        case FileInput::Utf8:
        case FileInput::Utf8WithoutNul: {
            // These readers take the whole text, which must be UTF-8; failing to get it is an
            // input/output error rather than a parse error.
            // A stream with no end (a device) stops at the first byte the format forbids.
            Result<FileText> text = read_whole_file(
                fd,
                format.file_input == FileInput::Utf8WithoutNul ? TextStop::NulOrInvalidUtf8
                                                               : TextStop::InvalidUtf8,
                size);
            if (!text) return std::move(text).error();
            return read_text(format, text.value());
        }
        case FileInput::Bytes: {
            // As above; read failures are reported as the parser's own input errors.
            Result<FileText> text = read_file_bytes(fd, TextStop::NulOrInvalidUtf8, size);
            if (!text) return parse_error(format.format, text.error().message);
            return read_text(format, text.value());
        }
    }
    return make_error(ErrorKind::Internal, "unknown file input");
}

bool driver_kind_from_name(std::string_view lowered, DriverKind& out) {
    for (const FormatInfo& format : format_table()) {
        if (format.name == lowered) {
            out = static_cast<DriverKind>(format.format);
            return true;
        }
    }
    if (lowered == "memory") {
        out = DriverKind::Memory;
        return true;
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
    const FormatInfo* format = format_of(kind);
    if (format == nullptr)
        return make_error(ErrorKind::Internal, "load_file called for a non-file driver");
    std::uint64_t size = kSizeUnknown;
    Result<FileDescriptor> fd = open_settings_file(path, &size);
    if (!fd) return std::move(fd).error();
    if (fd.value().get() < 0) return Value::object();
    return read_document(*format, fd.value().get(), size);
}

Status save_file(DriverKind kind, const std::string& path, const Value& document) {
    const FormatInfo* format = format_of(kind);
    // Directories first: they stay made even when the writer then fails.
    if (Status made = create_directories(parent_directory(path)); !made) return made;
    if (format == nullptr)
        return make_error(ErrorKind::Internal, "save_file called for a non-file driver");
    struct Job {
        const FormatInfo* format;
        const Value* document;
    } job{format, &document};
    const TextSource source{
        [](const void* context, TextBuffer& out) {
            const Job& j = *static_cast<const Job*>(context);
            return j.format->write(*j.document, out);
        },
        &job, format->writes_in_pieces};
    return replace_file_contents(path, source);
}

}  // namespace zel
