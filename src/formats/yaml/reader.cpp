// The YAML reader: drives libfyaml's YAML 1.2 parser event by event and builds the Value tree
// directly. Owns what the parser leaves to the loader: the UTF-8 and printable-character
// checks, scalar typing (scalars.hpp) and the core tags, one document at most, the nesting
// limit, and aliases resolved by copying, their expansion bounded in nodes and in bytes.
#include "formats/yaml/reader.hpp"

#include <libfyaml.h>

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define ZEL_LEAK_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEL_LEAK_SANITIZER 1
#endif
#endif
#if ZEL_LEAK_SANITIZER
#include <sanitizer/lsan_interface.h>
#endif

#include "text/utf8.hpp"
#include "formats/format.hpp"
#include "formats/yaml/block_reader.hpp"
#include "formats/yaml/scalars.hpp"

namespace zel {
namespace {

// ---------------------------------------------------------------------------------------
// Input checks

// Line and column of a byte offset by YAML's rule (formats/format.hpp). A byte order mark at
// the start takes no column, as in the parser's own positions.
TextPosition position_of(std::string_view text, std::size_t offset) {
    if (offset >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF")
        return position_in(Format::Yaml, text.substr(3), offset - 3);
    return position_in(Format::Yaml, text, offset);
}

constexpr char kControl[] = "control characters are not allowed";

// The first byte of `text` that is not valid UTF-8 or starts a character outside YAML's
// printable set (tab, LF, CR, U+0020-U+007E, U+0085, U+00A0-U+D7FF, U+E000-U+FFFD,
// U+10000-U+10FFFF), with what is wrong there; nullptr when the text is clean. libfyaml
// checks neither: it would end a scalar at a NUL byte and pass other bytes through.
const char* first_unreadable(std::string_view text, std::size_t& offset) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
#if defined(__SSE2__)
        // Sixteen bytes at a time while they are printable ASCII, line breaks or tabs.
        const __m128i space_less_one = _mm_set1_epi8(0x1F);
        const __m128i del = _mm_set1_epi8(0x7F);
        const __m128i line_feed = _mm_set1_epi8('\n');
        const __m128i carriage_return = _mm_set1_epi8('\r');
        const __m128i tab = _mm_set1_epi8('\t');
        // The loop only ever adds 16, so that the next load never waits for this one's
        // compare (clang merged the two ways of moving on into a conditional move).
        int ok = 0xFFFF;
        while (n - i >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            // Signed compare: bytes from 0x80 up are negative and fail it.
            const __m128i printable =
                _mm_andnot_si128(_mm_cmpeq_epi8(v, del), _mm_cmpgt_epi8(v, space_less_one));
            const __m128i space = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(v, line_feed), _mm_cmpeq_epi8(v, carriage_return)),
                _mm_cmpeq_epi8(v, tab));
            ok = _mm_movemask_epi8(_mm_or_si128(printable, space));
            if (ok != 0xFFFF) break;
            i += 16;
        }
        if (ok != 0xFFFF) i += static_cast<std::size_t>(__builtin_ctz(~ok));
        if (i == n) break;
#endif
        const unsigned char c = p[i];
        if (c < 0x80) {
            if (c >= 0x20 ? c == 0x7F : (c != '\n' && c != '\t' && c != '\r')) {
                offset = i;
                return kControl;
            }
            ++i;
            continue;
        }
        const Utf8Char u = decode_utf8(reinterpret_cast<const char*>(p + i),
                                       reinterpret_cast<const char*>(p + n));
        if (u.status != Utf8::Valid) {
            offset = i;
            if (u.status == Utf8::BadLead) return "invalid leading UTF-8 octet";
            // A sequence the end cuts short is incomplete whatever its bytes.
            if (n - i < u.length) return "incomplete UTF-8 octet sequence";
            if (u.status == Utf8::BadContinuation) return "invalid trailing UTF-8 octet";
            if (u.status == Utf8::Overlong) return "invalid length of a UTF-8 octet sequence";
            return "invalid Unicode character";
        }
        const char32_t code = u.cp;
        if ((code < 0xA0 && code != 0x85) || code == 0xFFFE || code == 0xFFFF) {
            offset = i;
            return kControl;
        }
        i += u.length;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// libfyaml

void discard_output(fy_diag*, void*, const char*, std::size_t) {}

// Collects libfyaml's diagnostics instead of letting it print them.
class Diagnostics {
public:
    Diagnostics() noexcept {
        fy_diag_cfg cfg;
        fy_diag_cfg_default(&cfg);
        cfg.fp = nullptr;
        cfg.output_fn = discard_output;
        cfg.level = FYET_ERROR;
        cfg.colorize = false;
        diag_ = fy_diag_create(&cfg);
        if (diag_ != nullptr) fy_diag_set_collect_errors(diag_, true);
    }
    ~Diagnostics() {
        if (diag_ != nullptr) fy_diag_destroy(diag_);
    }
    Diagnostics(const Diagnostics&) = delete;
    Diagnostics& operator=(const Diagnostics&) = delete;

    fy_diag* get() const noexcept { return diag_; }

    // The description of the first error the parser reported ("" when there is none).
    std::string_view first_message() const {
        const fy_diag_error* e = first();
        return e != nullptr && e->msg != nullptr ? e->msg : "";
    }

    // The first error the parser reported, with its position (libfyaml's are from 1).
    Error first_error() const {
        const fy_diag_error* e = first();
        const std::string what = e != nullptr && e->msg != nullptr ? e->msg : "invalid YAML";
        if (e == nullptr || e->line <= 0 || e->column <= 0) return parse_error(Format::Yaml, what);
        return parse_error(Format::Yaml, what,
                           TextPosition{static_cast<std::size_t>(e->line),
                                        static_cast<std::size_t>(e->column)});
    }

private:
    const fy_diag_error* first() const {
        void* iter = nullptr;
        while (const fy_diag_error* e = fy_diag_errors_iterate(diag_, &iter))
            if (e->type == FYET_ERROR) return e;
        return nullptr;
    }

    fy_diag* diag_ = nullptr;
};

// The error libfyaml before 0.8 reports when a tab before an indicator ends the value of a
// complex key ("? k:\t|"): on that path it puts a simple key back on its free list twice,
// and destroying the parser afterwards writes to freed memory.
constexpr std::string_view kKeyFreedTwice = "cannot use tab for indentation of block entry";

bool frees_key_twice() {
    static const bool old = [] {
        const char* version = fy_library_version();
        unsigned major = 0, minor = 0;
        return version != nullptr && std::sscanf(version, "%u.%u", &major, &minor) == 2 &&
               major == 0 && minor < 8;
    }();
    return old;
}

// Owns a parser reading `text` in place (the text outlives it). The parser holds a reference
// to the diagnostics, so it is destroyed first.
class Parser {
public:
    Parser(const Diagnostics& diagnostics, std::string_view text) noexcept {
        fy_parse_cfg cfg{};
        cfg.flags = static_cast<fy_parse_cfg_flags>(FYPCF_QUIET | FYPCF_DEFAULT_VERSION_1_2 |
                                                    FYPCF_JSON_NONE);
        cfg.diag = diagnostics.get();
        parser_ = fy_parser_create(&cfg);
        if (parser_ != nullptr && fy_parser_set_string(parser_, text.data(), text.size()) != 0) {
            fy_parser_destroy(parser_);
            parser_ = nullptr;
        }
    }
    ~Parser() {
        if (parser_ != nullptr) fy_parser_destroy(parser_);
    }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    fy_parser* get() const noexcept { return parser_; }

    // Leaves a parser that cannot be destroyed safely allocated (a few kilobytes; see
    // kKeyFreedTwice), and tells LeakSanitizer so.
    void abandon() noexcept {
#if ZEL_LEAK_SANITIZER
        __lsan_ignore_object(parser_);
#endif
        parser_ = nullptr;
    }

private:
    fy_parser* parser_ = nullptr;
};

// One parsed event, returned to its parser on every path.
class Event {
public:
    Event(fy_parser* parser, fy_event* event) noexcept : parser_(parser), event_(event) {}
    ~Event() { fy_parser_event_free(parser_, event_); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    fy_event& operator*() const noexcept { return *event_; }

private:
    fy_parser* parser_;
    fy_event* event_;
};

// A place in the input: byte offset, and line and column from 1.
struct Mark {
    std::size_t offset = SIZE_MAX;
    std::size_t line = 0;
    std::size_t column = 0;
};

// The start of a token; `indicator` counts the bytes of an indicator that the parser leaves
// out of the token (the '&' of an anchor, the '*' of an alias).
Mark start_of(fy_token* token, std::size_t indicator = 0) {
    const fy_mark* m = token != nullptr ? fy_token_start_mark(token) : nullptr;
    if (m == nullptr || m->line < 0 || m->column < 0) return Mark{};
    const std::size_t column = static_cast<std::size_t>(m->column) + 1;
    return Mark{m->input_pos - std::min(indicator, m->input_pos),
                static_cast<std::size_t>(m->line) + 1,
                column - std::min(indicator, column - 1)};
}

// Where a node begins: at its anchor or tag when they come first; an alias at its '*'. An
// empty scalar is where its anchor or tag is, when it has one (libfyaml 0.8 places the empty
// content itself elsewhere).
Mark node_start(fy_event& e) {
    fy_token* token = fy_event_get_token(&e);
    Mark first = start_of(token, e.type == FYET_ALIAS ? 1 : 0);
    const fy_mark* end = token != nullptr ? fy_token_end_mark(token) : nullptr;
    if (e.type == FYET_SCALAR && end != nullptr && end->input_pos == first.offset) first = Mark{};
    for (const Mark m : {start_of(fy_event_get_anchor_token(&e), 1),
                         start_of(fy_event_get_tag_token(&e))})
        if (m.line != 0 && (first.line == 0 || m.offset < first.offset)) first = m;
    if (first.line == 0) first = start_of(token);
    return first;
}

bool is_white(char c) { return c == ' ' || c == '\t'; }

// Length of the line break at `at` (CR LF, CR or LF), 0 when there is none.
std::size_t break_length(std::string_view s, std::size_t at) {
    if (at >= s.size() || (s[at] != '\n' && s[at] != '\r')) return 0;
    return s[at] == '\r' && at + 1 < s.size() && s[at + 1] == '\n' ? 2 : 1;
}

// The value of a plain, single-quoted or double-quoted scalar from its bytes in the input
// (between the quotes), which the parser has checked; false for a double-quoted escape that
// is not one. Lines fold as YAML 1.2 folds flow scalars: the white space around a line break
// goes, and the break becomes a space, or one line feed per empty line after it. In double
// quotes, escapes are decoded and an escaped line break goes with the white space after it,
// keeping the white space before it; white space written as an escape always stays.
bool flow_scalar_text(std::string_view raw, fy_scalar_style style, std::string& out) {
    out.clear();
    std::size_t kept = 0;  // out beyond this is white space that a line break drops
    auto skip_white = [&raw](std::size_t at) {
        while (at < raw.size() && is_white(raw[at])) ++at;
        return at;
    };
    for (std::size_t i = 0; i < raw.size();) {
        const char c = raw[i];
        if (std::size_t length = break_length(raw, i); length != 0) {
            out.resize(kept);
            i = skip_white(i + length);
            std::size_t empty_lines = 0;
            while ((length = break_length(raw, i)) != 0) {
                ++empty_lines;
                i = skip_white(i + length);
            }
            if (empty_lines == 0) out += ' ';
            out.append(empty_lines, '\n');
            kept = out.size();
        } else if (is_white(c)) {
            out += c;
            ++i;
        } else if (style == FYSS_SINGLE_QUOTED && c == '\'') {
            out += '\'';  // the first of two
            i += 2;
            kept = out.size();
        } else if (style == FYSS_DOUBLE_QUOTED && c == '\\' &&
                   (length = break_length(raw, i + 1)) != 0) {
            i = skip_white(i + 1 + length);
            while ((length = break_length(raw, i)) != 0) {
                out += '\n';
                i = skip_white(i + length);
            }
            kept = out.size();
        } else if (style == FYSS_DOUBLE_QUOTED && c == '\\') {
            const std::size_t length = append_yaml_escape(raw, i, out);
            if (length == 0) return false;
            i += length;
            kept = out.size();
        } else {
            out += c;
            ++i;
            kept = out.size();
        }
    }
    return true;
}

std::string_view text_of(fy_token* token) {
    std::size_t length = 0;
    const char* s = token != nullptr ? fy_token_get_text(token, &length) : nullptr;
    return s != nullptr ? std::string_view(s, length) : std::string_view();
}

// A block scalar's header: where its '|' or '>' is, its indentation indicator (0 when it has
// none) and its chomping.
enum class Chomping { Strip, Clip, Keep };
struct BlockHeader {
    std::size_t at = 0;
    std::size_t line_start = 0;  // where the header's line starts
    bool on_previous_line = true;  // the header's line ends at a break before the content
    bool folded = false;
    std::size_t indent = 0;
    Chomping chomping = Chomping::Clip;
};

// Finds the header of a block scalar whose first line starts at `content` (libfyaml's start
// of the token; the end of the input when the header ends it). The header is on the line
// before, the first '|' or '>' from `from`, which is past every token before it on that line
// (a key, a tag, an anchor), so that only indicators and blanks lie between.
bool find_block_header(std::string_view s, std::size_t from, std::size_t content, BlockHeader& h) {
    std::size_t line_end = std::min(content, s.size());
    if (line_end > 0 && s[line_end - 1] == '\n') --line_end;
    const std::size_t nl = line_end == 0 ? std::string_view::npos : s.rfind('\n', line_end - 1);
    const std::size_t line_start = nl == std::string_view::npos ? 0 : nl + 1;
    const std::size_t at = s.substr(0, line_end).find_first_of("|>", std::max(from, line_start));
    if (at == std::string_view::npos) return false;
    h = BlockHeader{};
    h.at = at;
    h.line_start = line_start;
    h.on_previous_line = line_end < std::min(content, s.size());
    h.folded = s[at] == '>';
    for (std::size_t i = at + 1; i < line_end && i <= at + 2; ++i) {
        const char c = s[i];
        if (c >= '1' && c <= '9' && h.indent == 0) {
            h.indent = static_cast<std::size_t>(c - '0');
        } else if ((c == '-' || c == '+') && h.chomping == Chomping::Clip) {
            h.chomping = c == '-' ? Chomping::Strip : Chomping::Keep;
        } else {
            break;
        }
    }
    return true;
}

// The value of a block scalar from its lines in the input (`body`: from the line after the
// header to where the parser ended the scalar; line breaks are LF), with `parent` the column
// of the block collection that holds it (-1 for none). Content lines are indented by the
// indicator's count beyond the parent (beyond column 0 at the top), or as the first line with
// more than spaces is, which must be beyond the parent. A line of spaces only is empty unless
// it reaches past the indentation: then its spaces beyond it are content. Returns npos with
// the value in `out`, or the offset in `body` of text that is neither in the scalar nor blank
// or a comment (a line indented too little that the parser took in).
std::size_t block_scalar_value(std::string_view body, const BlockHeader& h, long parent,
                               std::string& out) {
    struct Line {
        std::size_t begin, end, spaces;
        bool has_break;
    };
    std::vector<Line> lines;
    for (std::size_t i = 0; i < body.size();) {
        const std::size_t nl = body.find('\n', i);
        const std::size_t end = nl == std::string_view::npos ? body.size() : nl;
        std::size_t sp = i;
        while (sp < end && body[sp] == ' ') ++sp;
        lines.push_back(Line{i, end, sp - i, nl != std::string_view::npos});
        i = nl == std::string_view::npos ? body.size() : nl + 1;
    }
    const std::size_t least = static_cast<std::size_t>(parent + 1);  // parent >= -1
    std::size_t indent = 0;
    if (h.indent != 0) {
        indent = static_cast<std::size_t>(std::max(parent, 0L)) + h.indent;
    } else {
        std::size_t longest_empty = 0;
        bool found = false;
        for (const Line& l : lines) {
            if (l.begin + l.spaces == l.end) {
                longest_empty = std::max(longest_empty, l.spaces);
                continue;
            }
            indent = std::max(l.spaces, least);
            found = true;
            break;
        }
        if (!found) indent = std::max(longest_empty, least);
    }
    out.clear();
    std::size_t empty_lines = 0;  // since the last content line
    bool any_content = false, last_spaced = false, last_break = false;
    std::size_t k = 0;
    for (; k < lines.size(); ++k) {
        const Line& l = lines[k];
        const bool blank = l.begin + l.spaces == l.end;
        if (blank && l.spaces <= indent) {
            if (l.has_break) ++empty_lines;
            continue;
        }
        if (l.spaces < indent) break;  // the scalar ends before this line
        const std::string_view text = body.substr(l.begin + indent, l.end - l.begin - indent);
        const bool spaced = text[0] == ' ' || text[0] == '\t';
        if (!any_content) {
            out.append(empty_lines, '\n');
        } else if (h.folded && !last_spaced && !spaced) {
            if (empty_lines == 0) out += ' ';
            out.append(empty_lines, '\n');
        } else {
            out.append(empty_lines + 1, '\n');
        }
        out += text;
        empty_lines = 0;
        any_content = true;
        last_spaced = spaced;
        last_break = l.has_break;
    }
    // What follows the scalar may only be blank lines and comments.
    for (; k < lines.size(); ++k) {
        const Line& l = lines[k];
        std::size_t i = l.begin;
        while (i < l.end && is_white(body[i])) ++i;
        if (i < l.end && body[i] != '#') return i;
    }
    if (!any_content) {
        if (h.chomping == Chomping::Keep) out.append(empty_lines, '\n');
    } else if (h.chomping != Chomping::Strip && last_break) {
        out += '\n';
        if (h.chomping == Chomping::Keep) out.append(empty_lines, '\n');
    }
    return std::string_view::npos;
}

// ---------------------------------------------------------------------------------------
// Tree

// What an anchor names. A scalar keeps its text and typing inputs, so that an alias is typed
// where it is used (a key takes the text, a value the typed scalar); a collection keeps a
// copy of the finished node with its size and height.
struct Anchor {
    bool scalar = false;
    std::string text;
    bool plain = false;
    TagRule tag = TagRule::None;
    Value node;
    std::uint64_t nodes = 1;   // nodes a copy adds, keys included
    std::uint64_t bytes = 0;   // bytes a copy adds: 16 per node and the text of its strings
    std::size_t height = 0;    // levels of mappings and sequences in the node
    std::uint64_t order = 0;   // when the anchor was defined: the latest definition wins
};

constexpr std::uint64_t kNodeBytes = sizeof(Value);

// Builds the tree from parser events. Each open mapping or sequence is a frame; its elements
// or members wait on one of two stacks shared by all frames, and the node is made in one
// piece when it closes, then added to the frame below. The last one out is the root.
class TreeBuilder {
public:
    // `input` is the text the parser reads, `file_size` the size of the file it came from.
    // The alias bounds grow with the file: one that uses anchors for shared defaults stays
    // far below them, while aliases that multiply at every level, or that copy one long
    // string many times, pass them quickly.
    TreeBuilder(std::string_view input, std::size_t file_size)
        : input_(input),
          node_limit_(std::max<std::uint64_t>(
              kYamlAliasNodesFloor,
              std::uint64_t{kYamlAliasNodesPerByte} * static_cast<std::uint64_t>(file_size))),
          byte_limit_(std::max<std::uint64_t>(
              kYamlAliasBytesFloor,
              std::uint64_t{kYamlAliasBytesPerByte} * static_cast<std::uint64_t>(file_size))) {}

    // Handles one event; an error stops the parse.
    Result<Unit> handle(fy_event& e) {
        if (directives_without_start_ && e.type != FYET_DOCUMENT_START) {
            const Mark m = e.type == FYET_DOCUMENT_END ? Mark{} : node_start(e);
            return located_at("missing document start after directives", m);
        }
        switch (e.type) {
            case FYET_DOCUMENT_START: {
                if (++documents_ > 1)
                    return parse_error(Format::Yaml,
                                       "deserializing from YAML containing more than one "
                                       "document is not supported");
                // Directives must be followed by "---"; libfyaml 0.7 starts the document
                // without it.
                fy_document_state* state = e.document_start.document_state;
                directives_without_start_ =
                    e.document_start.implicit && state != nullptr &&
                    (fy_document_state_version_explicit(state) ||
                     fy_document_state_tags_explicit(state));
                return Unit{};
            }
            case FYET_SCALAR:
                return scalar(e);
            case FYET_ALIAS:
                return alias(e);
            case FYET_SEQUENCE_START:
                return open(e, false);
            case FYET_MAPPING_START:
                return open(e, true);
            case FYET_SEQUENCE_END:
            case FYET_MAPPING_END:
                close();
                return Unit{};
            default:  // stream start and end, document end
                return Unit{};
        }
    }

    Value take_root() { return std::move(root_); }

private:
    struct Frame {
        bool mapping;
        bool block = false;
        long column = -1;           // block collections: the column of their entries, from 0
        std::size_t key_line = 0;   // mappings: the line of the latest key, 0 when unknown
        bool expecting_key = true;  // mappings: the next node is a key
        std::size_t first = 0;      // where its elements or members start on their stack
        std::string anchor;         // empty when the collection has none
        std::uint64_t anchor_order = 0;
        std::uint64_t nodes = 1;
        std::uint64_t bytes = kNodeBytes;
        std::size_t height = 1;
    };

    bool at_key() const { return !frames_.empty() && frames_.back().mapping &&
                                 frames_.back().expecting_key; }

    void set_key(std::string_view key, std::size_t line) {
        Frame& top = frames_.back();
        top.key_line = line;
        members_.push_back(Member{Value::string(key), Value()});
        top.expecting_key = false;
        top.nodes += 1;
        top.bytes += kNodeBytes + key.size();
    }

    // The text of a scalar. Flow scalars are made here from their bytes in the input: a plain
    // one on one line is exactly those bytes, which saves libfyaml assembling a copy, and
    // libfyaml 0.7 assembles some quoted ones wrongly (two escaped single quotes in a row, an
    // escaped blank before a line break in double quotes). Block scalars are built by
    // block_scalar.
    std::string_view scalar_text(fy_token* token) {
        const fy_scalar_style style = fy_token_scalar_style(token);
        if (style == FYSS_PLAIN || style == FYSS_SINGLE_QUOTED || style == FYSS_DOUBLE_QUOTED) {
            const fy_mark* start = fy_token_start_mark(token);
            const fy_mark* end = fy_token_end_mark(token);
            if (start != nullptr && end != nullptr && start->input_pos <= end->input_pos &&
                end->input_pos <= input_.size()) {
                const std::string_view raw =
                    input_.substr(start->input_pos, end->input_pos - start->input_pos);
                if (style == FYSS_PLAIN && start->line == end->line) {
                    // Builds with assertions (the fuzz targets) compare with libfyaml's text.
                    assert(raw == text_of(token));
                    return raw;
                }
                if (raw.find_first_of(style == FYSS_PLAIN ? "\r\n" : "\r\n'\\") ==
                    std::string_view::npos)
                    return raw;
                if (flow_scalar_text(raw, style, scratch_)) return scratch_;
            }
        }
        return text_of(token);
    }

    // The column of the block collection that holds the node being read, -1 for none.
    long parent_column() const {
        return frames_.empty() || !frames_.back().block ? -1 : frames_.back().column;
    }

    // Where a node that is not a key starts must be inside its block collection: beyond the
    // collection's column (an entry's node or a value below its key; a sequence that is a
    // mapping's value may share the mapping's column), and a block mapping that is a value
    // starts on a later line than its key. libfyaml 0.7 takes a node at the column of its
    // parent as the value of the entry above it. `start` is where the node begins (at its
    // properties), `content` where its own text or first entry begins (line 0: unknown).
    Result<Unit> check_placement(const Mark& start, const Mark& content, bool block_collection,
                                 bool sequence) {
        if (frames_.empty() || !frames_.back().block || at_key()) return Unit{};
        const Frame& top = frames_.back();
        if (block_collection && !sequence && top.mapping && top.key_line != 0 &&
            content.line == top.key_line)
            return located_at("invalid nested block mapping on the same line", content);
        const bool may_share = block_collection && sequence && top.mapping;
        for (const Mark& m : {start, content}) {
            if (m.line == 0) continue;
            const long column = static_cast<long>(m.column) - 1;
            if (column < top.column || (column == top.column && !may_share))
                return located_at("wrongly indented node in block collection", m);
        }
        return Unit{};
    }

    // The value of a block scalar, built from its lines in the input: libfyaml 0.7's copy
    // (and its pieces) turn a line of spaces only into a NUL byte or drop it when it is the
    // only content past an indentation indicator, add a final line break that the input does
    // not have, and take in lines indented too little.
    Result<Unit> block_scalar(fy_event& e, fy_token* token, Mark& start) {
        const fy_mark* first = fy_token_start_mark(token);
        const fy_mark* last = fy_token_end_mark(token);
        std::size_t from = last_end_;
        for (fy_token* t : {e.scalar.anchor, e.scalar.tag})
            if (const fy_mark* m = t != nullptr ? fy_token_end_mark(t) : nullptr; m != nullptr)
                from = std::max(from, m->input_pos);
        BlockHeader header;
        if (first == nullptr || last == nullptr || first->input_pos > last->input_pos ||
            last->input_pos > input_.size() ||
            !find_block_header(input_, from, first->input_pos, header))
            return located_at("invalid block scalar", start_of(token));
        // The header's place, from the content's: a column in characters.
        std::size_t column = 1;
        const bool mark = header.line_start == 0 && input_.substr(0, 3) == "\xEF\xBB\xBF";
        for (std::size_t i = header.line_start + (mark ? 3 : 0); i < header.at; ++i)
            column += (static_cast<unsigned char>(input_[i]) & 0xC0) != 0x80 ? 1 : 0;
        const std::size_t line = static_cast<std::size_t>(std::max(first->line, 0)) +
                                 (header.on_previous_line ? 0 : 1);
        const Mark at{header.at, line, column};
        if (start.line == 0 || at.offset < start.offset) start = at;
        const std::string_view body =
            input_.substr(first->input_pos, last->input_pos - first->input_pos);
        if (const std::size_t bad = block_scalar_value(body, header, parent_column(), scratch_);
            bad != std::string_view::npos)
            return located_at("wrongly indented line in block scalar",
                              mark_at(first->input_pos + bad));
        return Unit{};
    }

    Mark mark_at(std::size_t offset) const {
        const TextPosition at = position_of(input_, offset);
        return Mark{offset, at.line, at.column};
    }

    void note_end(fy_token* token) {
        const fy_mark* m = token != nullptr ? fy_token_end_mark(token) : nullptr;
        if (m != nullptr) last_end_ = std::max(last_end_, m->input_pos);
    }

    Result<Unit> scalar(fy_event& e) {
        fy_token* value = e.scalar.value;
        const fy_scalar_style style = fy_token_scalar_style(value);
        const bool block = style == FYSS_LITERAL || style == FYSS_FOLDED;
        Mark start = node_start(e);
        Mark content = start_of(value);
        std::string_view text;
        if (block) {
            if (Result<Unit> r = block_scalar(e, value, start); !r) return r;
            text = scratch_;
            content = Mark{};
        } else {
            text = scalar_text(value);
            // An empty plain scalar has no place of its own.
            const fy_mark* end = value != nullptr ? fy_token_end_mark(value) : nullptr;
            if (end == nullptr || end->input_pos == content.offset) {
                content = Mark{};
                if (e.scalar.anchor == nullptr && e.scalar.tag == nullptr) start = Mark{};
            }
        }
        for (fy_token* t : {e.scalar.anchor, e.scalar.tag, value}) note_end(t);
        if (Result<Unit> r = check_placement(start, content, false, false); !r) return r;
        const bool plain = style == FYSS_PLAIN;
        const TagRule tag = e.scalar.tag != nullptr ? tag_rule(text_of(e.scalar.tag))
                                                    : TagRule::None;
        if (e.scalar.anchor != nullptr) {
            Anchor a;
            a.scalar = true;
            a.text = std::string(text);
            a.plain = plain;
            a.tag = tag;
            a.bytes = kNodeBytes + text.size();
            a.order = ++anchor_order_;
            anchors_.insert_or_assign(std::string(text_of(e.scalar.anchor)), std::move(a));
        }
        if (at_key()) {
            set_key(text, start_of(value).line);
            return Unit{};
        }
        return typed(text, plain, tag, e);
    }

    Result<Unit> typed(std::string_view text, bool plain, TagRule tag, fy_event& e) {
        Value v;
        switch (type_scalar(text, plain, tag, v)) {
            case ScalarFailure::OutOfRange:
                return located_at("JSON number out of range", node_start(e));
            case ScalarFailure::TagMismatch:
                return located_at(std::string("invalid value for tag ") + tag_short_name(tag),
                                  node_start(e));
            case ScalarFailure::None:
                break;
        }
        add(std::move(v), 1, kNodeBytes + text.size(), 0);
        return Unit{};
    }

    Result<Unit> alias(fy_event& e) {
        note_end(e.alias.anchor);
        if (Result<Unit> r = check_placement(node_start(e), Mark{}, false, false); !r) return r;
        const std::string_view name = text_of(e.alias.anchor);
        // An alias names the latest node defined with that anchor. When that is a collection
        // still open, the tree would contain itself.
        std::uint64_t open_order = 0;
        for (const Frame& f : frames_)
            if (f.anchor == name) open_order = std::max(open_order, f.anchor_order);
        const auto it = anchors_.find(std::string(name));
        if (open_order != 0 && (it == anchors_.end() || it->second.order < open_order))
            return located_at(
                "alias \"" + std::string(name) + "\" refers to a node that contains it",
                node_start(e));
        if (it == anchors_.end())
            return located_at("unknown anchor \"" + std::string(name) + "\"", node_start(e));
        const Anchor& a = it->second;
        if (at_key() && !a.scalar)
            return located_at("a mapping or sequence cannot be a mapping key", node_start(e));
        expanded_nodes_ += a.nodes;
        expanded_bytes_ += a.bytes;
        if (expanded_nodes_ > node_limit_)
            return located_at("alias expansion exceeds " + std::to_string(node_limit_) +
                                  " nodes (possible alias bomb)",
                              node_start(e));
        if (expanded_bytes_ > byte_limit_)
            return located_at("alias expansion exceeds " + std::to_string(byte_limit_) +
                                  " bytes (possible alias bomb)",
                              node_start(e));
        if (at_key()) {
            set_key(a.text, start_of(e.alias.anchor).line);
            return Unit{};
        }
        if (a.scalar) return typed(a.text, a.plain, a.tag, e);
        if (frames_.size() + a.height > kYamlMaxDepth)
            return located_at("recursion limit exceeded", node_start(e));
        add(a.node.deep_copy(), a.nodes, a.bytes, a.height);
        return Unit{};
    }

    Result<Unit> open(fy_event& e, bool mapping) {
        if (at_key())
            return located_at("a mapping or sequence cannot be a mapping key", node_start(e));
        if (frames_.size() >= kYamlMaxDepth)
            return located_at("recursion limit exceeded", node_start(e));
        fy_token* token = fy_event_get_token(&e);
        const fy_token_type type = token != nullptr ? fy_token_get_type(token) : FYTT_NONE;
        const bool block = type != FYTT_FLOW_MAPPING_START && type != FYTT_FLOW_SEQUENCE_START;
        const Mark content = start_of(token);
        if (Result<Unit> r = check_placement(node_start(e), content, block, !mapping); !r)
            return r;
        for (fy_token* t : {fy_event_get_anchor_token(&e), fy_event_get_tag_token(&e)}) note_end(t);
        Frame f;
        f.mapping = mapping;
        f.block = block;
        f.column = content.line != 0 ? static_cast<long>(content.column) - 1 : -1;
        f.first = mapping ? members_.size() : values_.size();
        if (fy_token* anchor = fy_event_get_anchor_token(&e); anchor != nullptr) {
            f.anchor = std::string(text_of(anchor));
            f.anchor_order = ++anchor_order_;
        }
        frames_.push_back(std::move(f));
        return Unit{};
    }

    void close() {
        Frame done = std::move(frames_.back());
        frames_.pop_back();
        Value node;
        if (done.mapping) {
            // A repeated key keeps its later value.
            node = Value::object(
                Object::from_members(members_.data() + done.first, members_.size() - done.first));
            members_.resize(done.first);
        } else {
            node = Value::array(
                Array::from_values(values_.data() + done.first, values_.size() - done.first));
            values_.resize(done.first);
        }
        if (!done.anchor.empty()) {
            // A node inside may have redefined the anchor since; then that one stays.
            const auto it = anchors_.find(done.anchor);
            if (it == anchors_.end() || it->second.order < done.anchor_order) {
                Anchor a;
                a.node = node.deep_copy();
                a.nodes = done.nodes;
                a.bytes = done.bytes;
                a.height = done.height;
                a.order = done.anchor_order;
                anchors_.insert_or_assign(std::move(done.anchor), std::move(a));
            }
        }
        add(std::move(node), done.nodes, done.bytes, done.height);
    }

    void add(Value v, std::uint64_t nodes, std::uint64_t bytes, std::size_t height) {
        if (frames_.empty()) {
            root_ = std::move(v);
            return;
        }
        Frame& top = frames_.back();
        top.nodes += nodes;
        top.bytes += bytes;
        top.height = std::max(top.height, height + 1);
        if (!top.mapping) {
            values_.push_back(std::move(v));
            return;
        }
        members_.back().value = std::move(v);
        top.expecting_key = true;
    }

    Error located_at(std::string description, const Mark& m) const {
        if (m.line == 0) return parse_error(Format::Yaml, description);
        return parse_error(Format::Yaml, description, TextPosition{m.line, m.column});
    }

    std::string_view input_;
    std::size_t last_end_ = 0;  // the end of the latest token read, in the input
    bool directives_without_start_ = false;
    std::string scratch_;  // the text of the latest flow scalar, when decoded
    std::vector<Frame> frames_;
    std::vector<Value> values_;    // elements of the open sequences, innermost last
    std::vector<Member> members_;  // members of the open mappings, innermost last
    std::unordered_map<std::string, Anchor> anchors_;
    Value root_;
    int documents_ = 0;
    std::uint64_t anchor_order_ = 0;
    std::uint64_t expanded_nodes_ = 0;
    std::uint64_t expanded_bytes_ = 0;
    const std::uint64_t node_limit_;
    const std::uint64_t byte_limit_;
};

// Makes every line break of the text (CR LF, CR, LF) a single LF, in place, and returns the
// new size (the text only shrinks): YAML reads the three alike, but libfyaml 0.7 takes a CR LF just before the closing
// quote of a flow scalar for a line feed of the value, where a LF there folds into a space.
// Lines and columns stay the same.
std::size_t to_line_feeds(char* const begin, std::size_t size) {
    const void* cr = std::memchr(begin, '\r', size);
    if (cr == nullptr) return size;
    const std::size_t first = static_cast<std::size_t>(static_cast<const char*>(cr) - begin);
    const char* const end = begin + size;
    char* out = begin + first;         // where the next line goes
    const char* from = begin + first;  // the next byte to move there
    // The text between two breaks moves in 16-byte blocks, which may run up to 15 bytes past
    // it: only where the input has those bytes, and where the output trails the input by a
    // block or more, so that every store lands before the break, on bytes already read. The
    // first lines, until as many CRs are gone, move exactly.
    constexpr std::size_t kBlock = 16;
    const auto line_feed = [&](const char* cr) {
        const std::size_t n = static_cast<std::size_t>(cr - from);
        if (static_cast<std::size_t>(from - out) >= kBlock &&
            static_cast<std::size_t>(end - from) >= n + kBlock) {
            for (std::size_t i = 0; i < n; i += kBlock) std::memcpy(out + i, from + i, kBlock);
        } else if (out != from) {
            std::memmove(out, from, n);
        }
        out += n;
        *out++ = '\n';
        from = cr + 1;
        if (from != end && *from == '\n') ++from;  // CR LF is one break
    };
    // After the XOR a word's bytes are zero where it has a CR; the zero test sets the high bit
    // of exactly those bytes (no carry crosses a byte). A word is loaded before any of its
    // CRs is handled, and stores stay below the CR handled.
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kLow7 = kOnes * 0x7F;
    constexpr bool kLittle = std::endian::native == std::endian::little;
    const char* p = begin + first;
    for (; end - p >= 8; p += 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        const std::uint64_t x = w ^ (kOnes * '\r');
        std::uint64_t crs = ~(((x & kLow7) + kLow7) | x | kLow7);
        while (crs != 0) {
            const int bit = kLittle ? std::countr_zero(crs) : 63 - std::countl_zero(crs);
            crs &= ~(std::uint64_t{1} << bit);
            const char* cr = p + (kLittle ? bit / 8 : 7 - bit / 8);
            if (cr >= from) line_feed(cr);  // not the LF of a CR LF (never a CR)
        }
    }
    for (; p != end; ++p)
        if (*p == '\r' && p >= from) line_feed(p);
    const std::size_t rest = static_cast<std::size_t>(end - from);
    if (out != from) std::memmove(out, from, rest);
    return static_cast<std::size_t>(out + rest - begin);
}

// A text that has a byte YAML cannot read fails at it (before its line breaks change).
bool unreadable(std::string_view text, Result<Value>& failure) {
    std::size_t bad = 0;
    const char* problem = first_unreadable(text, bad);
    if (problem != nullptr) failure = parse_error(Format::Yaml, problem, position_of(text, bad));
    return problem != nullptr;
}

// Parses a readable text whose line breaks are all LFs (libfyaml reads it so, and so does the
// fast reader); `file_size` is the size of the text as it was, which bounds alias copies.
Result<Value> parse_line_feed_text(std::string_view input, std::size_t file_size,
                                   bool plain_block_first) {
    if (input.empty()) return Value::null();
    // Most settings files have the everyday shapes of block YAML, which the fast reader takes
    // whole; anything else, invalid text included, is read from the start by libfyaml. A byte
    // order mark at the start is no part of the document.
    if (Value fast; plain_block_first &&
                    read_plain_block_yaml(input.starts_with("\xEF\xBB\xBF") ? input.substr(3) : input,
                                          type_plain_scalar, fast))
        return fast;
    Diagnostics diagnostics;
    if (diagnostics.get() == nullptr) return parse_error(Format::Yaml, "out of memory");
    Parser parser(diagnostics, input);
    if (parser.get() == nullptr) return parse_error(Format::Yaml, "out of memory");

    TreeBuilder builder(input, file_size);
    while (fy_event* next = fy_parser_parse(parser.get())) {
        const Event event(parser.get(), next);
        if (Result<Unit> r = builder.handle(*event); !r) return std::move(r).error();
    }
    if (fy_parser_get_stream_error(parser.get())) {
        if (frees_key_twice() && diagnostics.first_message() == kKeyFreedTwice) parser.abandon();
        return diagnostics.first_error();
    }
    return builder.take_root();
}

// A text held elsewhere is read where it is, or from a copy when it has a CR to change.
Result<Value> parse_yaml(std::string_view text, bool plain_block_first) {
    if (Result<Value> failure = Value::null(); unreadable(text, failure)) return failure;
    if (text.find('\r') == std::string_view::npos)
        return parse_line_feed_text(text, text.size(), plain_block_first);
    std::string copy(text);
    copy.resize(to_line_feeds(copy.data(), copy.size()));
    return parse_line_feed_text(copy, text.size(), plain_block_first);
}

}  // namespace

Result<Value> parse_yaml(std::string_view text) { return parse_yaml(text, true); }

Result<Value> parse_yaml_general(std::string_view text) { return parse_yaml(text, false); }

Result<Value> parse_yaml_in_place(char* text, std::size_t size) {
    if (Result<Value> failure = Value::null(); unreadable({text, size}, failure)) return failure;
    return parse_line_feed_text({text, to_line_feeds(text, size)}, size, true);
}

}  // namespace zel
