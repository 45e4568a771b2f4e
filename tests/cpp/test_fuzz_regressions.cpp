// Replays the inputs that fuzzing found faults with (tests/data/<format>/regressions/) and the
// fuzzers' hand-written seeds (fuzz/corpus/<format>/) through their reader: no crash, a
// rejection is a parse error, an accepted tree keeps the round-trip properties of fuzz/.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "../../fuzz/round_trip.hpp"
#include "test_support.hpp"

namespace zel {
namespace {

namespace fs = std::filesystem;
using namespace test;

std::vector<fs::path> files_in(const fs::path& dir) {
    std::vector<fs::path> files;
    if (!fs::is_directory(dir)) return files;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// What the fuzz target of `f` checks for one input, as a list of faults.
std::string faults_of(Format f, const std::string& input) {
    const Result<Value> r = fuzz::parse(f, input);
    std::string fault;
    if (!r) {
        fault = fuzz::check_rejection(f, r.error());
    } else if (!is_valid_utf8(input)) {
        fault = "the reader accepted invalid UTF-8";
    } else {
        fault = fuzz::check_tree(f, r.value());
        if (fault.empty())
            fault = fuzz::check_all_round_trips(f, r.value());
    }
    if (fault.empty() && f == Format::Json)
        fault = fuzz::check_json_extras(input, fuzz::boundary_cut(input));
    if (fault.empty() && f == Format::Yaml) fault = fuzz::check_yaml_extras(input, r);
    return fault;
}

class fuzz_regressions : public ::testing::TestWithParam<Format> {};

TEST_P(fuzz_regressions, replayed_inputs_keep_the_properties) {
    const Format f = GetParam();
    const fs::path data = ZEL_TEST_DATA_DIR;
    std::vector<fs::path> files = files_in(data / fuzz::format_name(f) / "regressions");
    const std::vector<fs::path> seeds =
        files_in(data.parent_path().parent_path() / "fuzz" / "corpus" / fuzz::format_name(f));
    files.insert(files.end(), seeds.begin(), seeds.end());
    ASSERT_FALSE(seeds.empty()) << "the fuzz seeds were not found";
    for (const fs::path& file : files) {
        EXPECT_EQ(faults_of(f, file_contents(file)), "") << file;
    }
}

INSTANTIATE_TEST_SUITE_P(formats, fuzz_regressions,
                         ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& info) {
                             return fuzz::format_name(info.param);
                         });

}  // namespace
}  // namespace zel
