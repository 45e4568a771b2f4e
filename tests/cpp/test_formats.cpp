// The format table and the positions of parse errors: each line-break rule and column unit,
// and for every format, the deepest document that saves and loads back and the first one
// that is refused.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "drivers/drivers.hpp"
#include "formats/format.hpp"
#include "test_support.hpp"
#include "text/position.hpp"
#include "value/value.hpp"

namespace zel {
namespace {

struct PositionCase : test::NamedCase<PositionCase> {
    std::string_view text;
    std::size_t offset;
    LineBreaks breaks;
    ColumnUnit unit;
    std::size_t line;
    std::size_t column;
};

class text_positions : public ::testing::TestWithParam<PositionCase> {};

TEST_P(text_positions, count_lines_and_columns_by_the_rule) {
    const PositionCase& c = GetParam();
    const TextPosition at = text_position(c.text, c.offset, c.breaks, c.unit);
    EXPECT_EQ(at.line, c.line);
    EXPECT_EQ(at.column, c.column);
}

using enum LineBreaks;
using enum ColumnUnit;

INSTANTIATE_TEST_SUITE_P(
    rules, text_positions,
    ::testing::Values(
        PositionCase{"start", "abc", 0, Lf, Bytes, 1, 1},
        PositionCase{"past_the_end_counts_to_the_end", "ab\ncd", 99, Lf, Bytes, 2, 3},
        PositionCase{"lf_after_the_break", "ab\ncd", 4, Lf, CodePoints, 2, 2},
        // A CR alone is a character under Lf, a break under the other rules.
        PositionCase{"lone_cr_lf", "a\rb", 2, Lf, Bytes, 1, 3},
        PositionCase{"lone_cr_lfcr", "a\rb", 2, LfCr, Bytes, 2, 1},
        PositionCase{"cr_at_the_end_lfcr", "a\r", 2, LfCr, Bytes, 2, 1},
        // CR LF is one break under every rule; the CR before an LF at the offset is a
        // character of its line.
        PositionCase{"crlf_lf", "a\r\nb", 3, Lf, Bytes, 2, 1},
        PositionCase{"crlf_lfcr", "a\r\nb", 3, LfCr, Bytes, 2, 1},
        PositionCase{"crlf_unicode", "a\r\n\r\nb", 5, LfCrUnicode, Bytes, 3, 1},
        PositionCase{"cr_before_lf_at_offset", "a\r\nb", 2, LfCr, Bytes, 1, 3},
        // U+2028 and U+2029 end lines only under LfCrUnicode, and only when wholly before
        // the offset.
        PositionCase{"line_separator", "a\xE2\x80\xA8" "b", 4, LfCrUnicode, CodePoints, 2, 1},
        PositionCase{"paragraph_separator", "a\xE2\x80\xA9" "b", 4, LfCrUnicode, Bytes, 2, 1},
        PositionCase{"separator_without_the_rule", "a\xE2\x80\xA8" "b", 4, LfCr, CodePoints, 1, 3},
        PositionCase{"offset_inside_a_separator", "a\xE2\x80\xA8" "b", 2, LfCrUnicode, Bytes, 1, 3},
        // Columns in bytes or in code points.
        PositionCase{"bytes", "x\n\xC3\xA9\xE2\x82\xAC!", 7, Lf, Bytes, 2, 6},
        PositionCase{"code_points", "x\n\xC3\xA9\xE2\x82\xAC!", 7, Lf, CodePoints, 2, 3},
        PositionCase{"four_byte_sequence", "\xF0\x9F\x98\x80z", 4, LfCr, CodePoints, 1, 2}),
    test::CaseName());

class format_table_entries : public ::testing::TestWithParam<Format> {};

// A chain of `depth` objects ending in an integer.
Value nested(std::size_t depth) {
    Value leaf = Value::integer(1);
    for (std::size_t i = 0; i < depth; ++i) {
        Value object = Value::object();
        object.set("k", std::move(leaf));
        leaf = std::move(object);
    }
    return leaf;
}

TEST_P(format_table_entries, entry_matches_its_driver_and_reader) {
    const FormatInfo& info = format_info(GetParam());
    EXPECT_EQ(info.format, GetParam());
    DriverKind kind = DriverKind::Custom;
    ASSERT_TRUE(driver_kind_from_name(info.name, kind)) << info.name;
    EXPECT_EQ(static_cast<int>(kind), static_cast<int>(info.format));
    EXPECT_EQ(info.file_input == FileInput::Stream, info.read_fd != nullptr);
    // A rejection carries the prefix and the position by the entry's own rule.
    const Result<Value> bad = info.read("\xC3\xA9\n\x01");
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().kind, ErrorKind::Parse);
    EXPECT_EQ(bad.error().message.rfind(info.error_prefix, 0), 0u) << bad.error().message;
}

TEST_P(format_table_entries, deepest_loadable_document_saves_and_one_more_level_is_refused) {
    const FormatInfo& info = format_info(GetParam());
    TextBuffer text;
    const Value deepest = nested(info.max_depth);
    const Status written = info.write(deepest, text);
    ASSERT_TRUE(written.ok()) << written.error().message;
    const Result<Value> back = info.read(text.view());
    ASSERT_TRUE(back.ok()) << back.error().message;
    EXPECT_EQ(back.value(), deepest);

    TextBuffer refused_text;
    const Status refused = info.write(nested(info.max_depth + 1), refused_text);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().kind, ErrorKind::Writer);
    EXPECT_EQ(refused.error().message,
              "Cannot save as " + std::string(info.title) + ": the document is nested more than " +
                  std::to_string(info.max_depth) + " levels deep, which loading would refuse");
}

INSTANTIATE_TEST_SUITE_P(formats, format_table_entries, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& info) {
                             return std::string(format_info(info.param).name);
                         });

}  // namespace
}  // namespace zel
