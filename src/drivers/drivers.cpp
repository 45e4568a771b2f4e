// Driver selection by name and the load/save dispatch on the driver kind: Memory touches
// nothing, Custom goes through the boundary's CustomDriver, file kinds go to file_io.
#include "drivers/drivers.hpp"

#include <string_view>

#include "drivers/file_io.hpp"

namespace zel {

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
            if (!driver.custom) return make_error(ErrorKind::Internal, "custom driver without an object");
        {
            auto snapshot = driver.custom->snapshot(document);
            if (!snapshot) return std::move(snapshot).error();
            return driver.custom->write(path, *snapshot.value());
        }
        default:
            return save_file(driver.kind, path, document);
    }
}

}  // namespace zel
