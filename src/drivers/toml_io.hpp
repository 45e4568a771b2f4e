// The TOML format as the file driver uses it: the reader (toml_reader.hpp) and the writer
// (toml_writer.hpp).
#pragma once

#include "drivers/toml_reader.hpp"
#include "drivers/toml_writer.hpp"
