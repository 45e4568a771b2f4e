// The storage driver of a store and the two operations that dispatch on it: load (once, at
// construction) and save (on every sync).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "formats/limits.hpp"
#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

struct FormatInfo;

enum class DriverKind : std::uint8_t { Json = 0, Json5 = 1, Toml = 2, Yaml = 3, Memory = 4, Custom = 5 };

// The data a custom driver hands to its write call, made from the document while it is
// locked, so that the write itself runs with no engine lock held.
class CustomSnapshot {
public:
    virtual ~CustomSnapshot() = default;
};

// A driver implemented outside the core (by the Python boundary). Errors it returns are
// passed on unchanged.
class CustomDriver {
public:
    virtual ~CustomDriver() = default;
    virtual Result<Value> read(const std::string& path) = 0;
    virtual Result<std::unique_ptr<CustomSnapshot>> snapshot(const Value& document) = 0;
    virtual Status write(const std::string& path, CustomSnapshot& snapshot) = 0;
};

struct Driver {
    DriverKind kind = DriverKind::Json;
    std::unique_ptr<CustomDriver> custom;  // set only for DriverKind::Custom
};

// Full Unicode lower-case mapping of a driver name.
std::string lowercase_name(std::string_view name);

// Maps an already lower-cased driver name to its kind; false when no driver has that name.
bool driver_kind_from_name(std::string_view lowered, DriverKind& out);

// Reads the whole document. A missing file gives an empty object; Memory gives an empty
// object without touching the path.
Result<Value> load(const Driver& driver, const std::string& path);

// Writes the whole document of a file driver (Memory: nothing). A custom driver is not saved
// here: Engine::sync hands it a snapshot of the document and calls its write with no lock held.
Status save(const Driver& driver, const std::string& path, const Value& document);

// Opens `path` and parses it with the reader of `kind` (Json, Json5, Toml, Yaml). A missing
// file (or missing parent directory) gives an empty object; see open_settings_file for the
// open failures.
Result<Value> load_file(DriverKind kind, const std::string& path);

// Parses the document of an open file with `format`'s reader, handing the file over as the
// format asks (FileInput). The descriptor is neither closed nor rewound. `size`: as for
// read_file_bytes.
Result<Value> read_document(const FormatInfo& format, int fd, std::uint64_t size = kSizeUnknown);

// Replaces the file with the text of `document` in the format of `kind` (see
// replace_file_contents), creating missing parent directories. A writer failure leaves the
// file as it was (and no temporary file of this save behind).
Status save_file(DriverKind kind, const std::string& path, const Value& document);

}  // namespace zel
