// The fast reader of everyday block YAML. It walks the text line by line: each block
// collection knows the column of its entries; a line indented less ends it, a line indented
// the same holds its next entry, and a line indented more is only allowed where a nested
// collection starts (after "key:" or "-" with nothing else on the line) or inside a block
// scalar or a flow collection. Every rule it is unsure of makes it give up, never guess: the
// general reader then reads the text from the start.
#include "formats/yaml/block_reader.hpp"

#include "formats/yaml/scalars.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zel {
namespace {

// Deeper documents are left to the general reader, which also enforces the nesting limit.
constexpr std::size_t kMaxDepth = 100;
// An implicit key must stay within 1024 characters; longer keys are left to the general reader.
constexpr std::size_t kMaxKeyBytes = 1000;

// Bytes that make the text "not mine" wherever they are: tab and CR (white space and line
// breaks with rules of their own), and a byte order mark, NEL, LS and PS. Sixteen or eight
// bytes at a time while they are ASCII without tab or CR.
bool has_unsupported_bytes(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
    const auto has_zero = [](std::uint64_t x) { return (x - kOnes) & ~x & kHighs; };
    std::size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        // Sixteen bytes at a time while they are ASCII without tab or CR.
        const __m128i tab = _mm_set1_epi8('\t'), cr = _mm_set1_epi8('\r');
        while (n - i >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i odd = _mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, cr));
            if (_mm_movemask_epi8(_mm_or_si128(v, odd)) != 0) break;
            i += 16;
        }
        if (i == n) break;
#endif
        if (n - i >= 8) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            if (((w & kHighs) | has_zero(w ^ (kOnes * '\t')) | has_zero(w ^ (kOnes * '\r'))) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = p[i];
        if (c == '\t' || c == '\r') return true;
        if (c == 0xC2 && i + 1 < n && p[i + 1] == 0x85) return true;  // U+0085
        if (c == 0xE2 && i + 2 < n && p[i + 1] == 0x80 && (p[i + 2] == 0xA8 || p[i + 2] == 0xA9))
            return true;  // U+2028, U+2029
        if (c == 0xEF && i + 2 < n && p[i + 1] == 0xBB && p[i + 2] == 0xBF) return true;  // U+FEFF
        ++i;
    }
    return false;
}

// A table of the bytes in `bytes`, looked up by byte value.
constexpr std::array<bool, 256> byte_set(std::string_view bytes) {
    std::array<bool, 256> table{};
    for (const unsigned char c : bytes) table[c] = true;
    return table;
}

// Characters that cannot start a plain scalar here (some could, with rules left to the
// general reader).
constexpr auto kIndicators = byte_set("-?:,[]{}#&*!|>'\"%@`");
bool is_indicator(char c) { return kIndicators[static_cast<unsigned char>(c)]; }

// Bytes a plain scalar's line looks at: the line break, and the space, '#' and ':' that may end
// the scalar.
constexpr auto kPlainLineStops = byte_set("\n #:");

// Bytes a plain key looks at: the line break, and the ':' and '#' that may end it.
constexpr auto kKeyStops = byte_set("\n:#");

// Bytes that end a plain scalar inside a flow collection: the flow indicators.
bool is_flow_indicator(char c) { return c == ',' || c == '[' || c == ']' || c == '{' || c == '}'; }

class Reader {
public:
    Reader(std::string_view text, PlainScalarTyper type_plain)
        : s_(text.data()), n_(text.size()), type_plain_(type_plain) {}

    bool read(Value& out) {
        if (!next_content(0) || eof_) return false;
        may_start_document_ = false;
        if (!starts_entry(pos_)) return false;
        Value root;
        if (!node(col_, 1, root) || !eof_) return false;
        out = std::move(root);
        return true;
    }

private:
    bool at_end(std::size_t i) const { return i >= n_ || s_[i] == '\n'; }
    std::size_t skip_spaces(std::size_t i) const {
        while (i < n_ && s_[i] == ' ') ++i;
        return i;
    }
    // Index just past the line break that ends the line holding `i` (n_ at the end).
    std::size_t after_line(std::size_t i) const {
        const void* nl = i < n_ ? std::memchr(s_ + i, '\n', n_ - i) : nullptr;
        return nl == nullptr ? n_ : static_cast<std::size_t>(static_cast<const char*>(nl) - s_) + 1;
    }
    // Nothing more on the line from `i` but a comment; `from` is where the spaces before `i`
    // began (a comment needs a space before it).
    bool rest_is_empty(std::size_t i, std::size_t from) const {
        return at_end(i) || (s_[i] == '#' && i > from);
    }
    // ":" at `i` followed by a space or the end of the line: a mapping value indicator.
    bool is_value_colon(std::size_t i) const {
        return i < n_ && s_[i] == ':' && (i + 1 >= n_ || s_[i + 1] == ' ' || s_[i + 1] == '\n');
    }
    // A sequence entry starts at `i`: "-" followed by a space or the end of the line.
    bool is_dash(std::size_t i) const {
        return i < n_ && s_[i] == '-' && (i + 1 >= n_ || s_[i + 1] == ' ' || s_[i + 1] == '\n');
    }
    bool starts_entry(std::size_t i) {
        std::size_t after = 0;
        return is_dash(i) || key(i, after);
    }

    // Moves to the first line from index `i` (a line start) that holds more than spaces or a
    // comment: pos_ and col_ are where its content starts, or eof_ is set. False when that
    // line starts with something left to the general reader (directives, document markers
    // other than one "---" alone on its line before the first content). Inlined, as key() is:
    // both run for every line, and clang otherwise keeps them out of line (4% of a large
    // read, measured against GCC's build, which inlines them by itself).
    [[gnu::always_inline]] bool next_content(std::size_t i) {
        for (;;) {
            if (i >= n_) {
                eof_ = true;
                return true;
            }
            const std::size_t j = skip_spaces(i);
            if (j >= n_) {
                eof_ = true;
                return true;
            }
            if (s_[j] == '\n') {
                i = j + 1;
                continue;
            }
            if (s_[j] == '#') {
                i = after_line(j);
                continue;
            }
            if (j == i && n_ - j >= 3 && std::memcmp(s_ + j, "---", 3) == 0 &&
                may_start_document_ && (at_end(j + 3) || s_[j + 3] == ' ')) {
                const std::size_t rest = skip_spaces(j + 3);
                if (!rest_is_empty(rest, j + 3)) return false;
                may_start_document_ = false;
                i = after_line(rest);
                continue;
            }
            if (j == i && (s_[j] == '%' || (n_ - j >= 3 && (std::memcmp(s_ + j, "---", 3) == 0 ||
                                                          std::memcmp(s_ + j, "...", 3) == 0))))
                return false;
            pos_ = j;
            col_ = j - i;
            return true;
        }
    }

    // A quoted scalar on one line starting at `i`; `after` is the index past its closing
    // quote. Single quotes: '' is a quote. Double quotes: escapes are decoded, and a
    // backslash at the end of the line (a break escaped) is left to the general reader. The
    // text may live in scratch_ until the next call.
    bool quoted(std::size_t i, std::string_view& text, std::size_t& after) {
        const char q = s_[i];
        std::size_t j = i + 1;
        for (;; ++j) {
            if (at_end(j)) return false;
            const char c = s_[j];
            if (c == q) {
                if (q == '\'' && j + 1 < n_ && s_[j + 1] == '\'') break;
                after = j + 1;
                text = std::string_view(s_ + i + 1, j - i - 1);
                return true;
            }
            if (c == '\\' && q == '"') break;
        }
        // Decoded from the first quote pair or escape on.
        scratch_.assign(s_ + i + 1, j - i - 1);
        const std::string_view line(s_, n_);
        for (;;) {
            if (at_end(j)) return false;
            const char c = s_[j];
            if (c == q) {
                if (q == '\'' && j + 1 < n_ && s_[j + 1] == '\'') {
                    scratch_ += '\'';
                    j += 2;
                    continue;
                }
                break;
            }
            if (c == '\\' && q == '"') {
                const std::size_t length = append_yaml_escape(line, j, scratch_);
                if (length == 0) return false;
                j += length;
                continue;
            }
            scratch_ += c;
            ++j;
        }
        after = j + 1;
        text = scratch_;
        return true;
    }

    // A key at `i`, followed by ":" and a space or the end of the line; `after` is the index
    // past the ":". The key's text may live in scratch_ until the next call.
    [[gnu::always_inline]] bool key(std::size_t i, std::size_t& after,
                                    std::string_view* text = nullptr) {
        if (at_end(i)) return false;
        std::string_view k;
        std::size_t j;
        if (s_[i] == '\'' || s_[i] == '"') {
            if (!quoted(i, k, j) || j >= n_ || s_[j] != ':') return false;
        } else {
            if (is_indicator(s_[i])) return false;
            for (j = i;; ++j) {
                if (j >= n_) return false;
                const char d = s_[j];
                if (!kKeyStops[static_cast<unsigned char>(d)]) continue;
                if (d == '\n') return false;
                if (is_value_colon(j)) break;
                if (d == '#' && s_[j - 1] == ' ') return false;
            }
            if (s_[j - 1] == ' ') return false;
            k = std::string_view(s_ + i, j - i);
        }
        if (j - i > kMaxKeyBytes) return false;
        if (!is_value_colon(j)) return false;
        after = j + 1;
        if (text != nullptr) *text = k;
        return true;
    }

    // The line of a plain scalar in a block collection from `i`: `end` is where the line or
    // a comment starts, `last` past its last character that is not a space. False where a
    // ": " (or ":" at the end of the line) would make it a key.
    bool plain_line(std::size_t i, std::size_t& end, std::size_t& last) const {
        last = i;
        std::size_t j = i;
        for (; j < n_; ++j) {
            const char d = s_[j];
            if (!kPlainLineStops[static_cast<unsigned char>(d)]) {
                last = j + 1;
                continue;
            }
            if (d == '\n') break;
            if (d == ' ') continue;
            if (d == '#' && s_[j - 1] == ' ') break;
            if (d == ':' && (j + 1 >= n_ || s_[j + 1] == ' ' || s_[j + 1] == '\n')) return false;
            last = j + 1;
        }
        end = j;
        return true;
    }

    // A plain scalar inside a flow collection, from `i` to before `end`, where a flow
    // indicator, a ": " (or ":" before the end of the line or a flow indicator), or a
    // comment stops it; `end` is past its last character that is not a space. False when
    // none starts at `i`.
    bool flow_plain(std::size_t i, std::size_t& end) const {
        if (at_end(i)) return false;
        const char c = s_[i];
        if (is_indicator(c)) {
            // "-" starts one when a character that is not an indicator follows.
            if (c != '-' || at_end(i + 1) || s_[i + 1] == ' ' || is_indicator(s_[i + 1]))
                return false;
        }
        std::size_t last = i;
        for (std::size_t j = i; !at_end(j); ++j) {
            const char d = s_[j];
            if (d == ' ') continue;
            if (is_flow_indicator(d) || (d == '#' && s_[j - 1] == ' ')) break;
            if (d == ':' && (at_end(j + 1) || s_[j + 1] == ' ' || is_flow_indicator(s_[j + 1])))
                break;
            last = j + 1;
        }
        end = last;
        return true;
    }

    // A node inside a flow collection at `i`: a nested collection, a quoted or a plain
    // scalar; `after` is the index past it.
    bool flow_node(std::size_t i, std::size_t depth, Value& out, std::size_t& after) {
        if (i >= n_) return false;
        const char c = s_[i];
        if (c == '[' || c == '{') return flow(i, depth + 1, out, after);
        if (c == '\'' || c == '"') {
            std::string_view text;
            if (!quoted(i, text, after)) return false;
            out = Value::string(text);
            return true;
        }
        return flow_plain(i, after) && type_plain_(std::string_view(s_ + i, after - i), out);
    }

    // The first index from `i` that is not white space between flow nodes: spaces, and
    // where a line ends (after a comment or not), the lines after it up to the next with
    // content. Every line crossed that is not empty must be indented by at least
    // flow_indent_; npos when one is not, or when the text ends.
    std::size_t flow_space(std::size_t i) const {
        for (;;) {
            std::size_t j = skip_spaces(i);
            if (j < n_ && s_[j] == '#' && (s_[j - 1] == ' ' || s_[j - 1] == '\n')) {
                const void* nl = std::memchr(s_ + j, '\n', n_ - j);
                j = nl == nullptr ? n_ : static_cast<std::size_t>(static_cast<const char*>(nl) - s_);
            }
            if (!at_end(j)) return j;
            if (j >= n_) return std::string_view::npos;
            i = j + 1;
            const std::size_t k = skip_spaces(i);
            if (!at_end(k) && k - i < flow_indent_) return std::string_view::npos;
        }
    }

    // A flow collection that starts at `i` ("[" or "{"); `after` is the index past its
    // closing bracket. Mapping entries are "key: value" with a scalar key, the key, the ":"
    // and the start of the value on one line; empty nodes, single pairs in sequences,
    // explicit keys, entries without a value and scalars on several lines are left to the
    // general reader. A comma may follow the last entry. Lines may break between nodes.
    bool flow(std::size_t i, std::size_t depth, Value& out, std::size_t& after) {
        if (depth > kMaxDepth) return false;
        const bool mapping = s_[i] == '{';
        const char close = mapping ? '}' : ']';
        const std::size_t first = mapping ? members_.size() : values_.size();
        std::size_t j = flow_space(i + 1);
        while (j >= n_ || s_[j] != close) {
            if (mapping) {
                std::string_view name;
                std::size_t end;
                if (at_end(j)) return false;
                if (s_[j] == '\'' || s_[j] == '"') {
                    if (!quoted(j, name, end)) return false;
                } else {
                    if (!flow_plain(j, end)) return false;
                    name = std::string_view(s_ + j, end - j);
                }
                if (end - j > kMaxKeyBytes || end >= n_ || s_[end] != ':' || end + 1 >= n_ ||
                    s_[end + 1] != ' ')
                    return false;
                members_.push_back(Member{Value::string(name), Value()});
                const std::size_t at = members_.size() - 1;
                Value v;
                if (!flow_node(skip_spaces(end + 1), depth, v, end)) return false;
                members_[at].value = std::move(v);
                j = flow_space(end);
            } else {
                Value v;
                std::size_t end;
                if (!flow_node(j, depth, v, end)) return false;
                values_.push_back(std::move(v));
                j = flow_space(end);
            }
            // After a plain scalar, a line that does not start with "," or the closing
            // bracket would continue it.
            if (j < n_ && s_[j] == ',') {
                j = flow_space(j + 1);
            } else if (j >= n_ || s_[j] != close) {
                return false;
            }
        }
        after = j + 1;
        if (mapping) {
            out = Value::object(
                Object::from_members(members_.data() + first, members_.size() - first));
            members_.resize(first);
        } else {
            out = Value::array(Array::from_values(values_.data() + first, values_.size() - first));
            values_.resize(first);
        }
        return true;
    }

    // A block scalar whose header ("|" or ">") is at `i`, the value of an entry of the block
    // collection in column `parent`; `next` is the start of the line that ends it. Content
    // lines are indented by the header's indicator beyond `parent`, or as the first of them
    // is. Left to the general reader: no content line, a line of spaces reaching past the
    // indentation (its spaces would be content), leading empty lines longer than the first
    // content line's indentation, a first content line indented more than an indicator asks,
    // and a comment right after a scalar that keeps its trailing lines.
    bool block_scalar(std::size_t i, std::size_t parent, Value& out, std::size_t& next) {
        const bool folded = s_[i] == '>';
        std::size_t indicator = 0;
        char chomping = 0;  // '-', '+', or 0 for clip
        std::size_t j = i + 1;
        for (; !at_end(j) && j <= i + 2; ++j) {
            const char c = s_[j];
            if (c >= '1' && c <= '9' && indicator == 0) {
                indicator = static_cast<std::size_t>(c - '0');
            } else if ((c == '-' || c == '+') && chomping == 0) {
                chomping = c;
            } else {
                break;
            }
        }
        if (!at_end(j) && s_[j] != ' ') return false;
        const std::size_t rest = skip_spaces(j);
        if (!rest_is_empty(rest, j)) return false;
        std::size_t indent = indicator != 0 ? parent + indicator : 0;
        std::string& text = block_;
        text.clear();
        std::size_t longest_leading = 0;  // spaces of the longest empty line before the content
        std::size_t empty_lines = 0;      // since the last content line
        bool any = false, last_spaced = false, last_break = false;
        std::size_t p = after_line(rest);
        while (p < n_) {
            const std::size_t sp = skip_spaces(p);
            const std::size_t spaces = sp - p;
            if (at_end(sp)) {
                if (any || indent != 0) {
                    if (spaces > indent) return false;
                } else {
                    longest_leading = std::max(longest_leading, spaces);
                }
                if (sp >= n_) {
                    p = n_;
                    break;
                }
                ++empty_lines;
                p = sp + 1;
                continue;
            }
            if (!any) {
                if (indicator == 0) {
                    if (spaces <= parent || longest_leading > spaces) return false;
                    indent = spaces;
                } else if (spaces != indent) {
                    return false;
                }
            }
            if (spaces < indent) break;
            const std::size_t end = after_line(sp);
            const bool has_break = end <= n_ && s_[end - 1] == '\n';
            const std::size_t line_end = has_break ? end - 1 : end;
            const bool spaced = spaces > indent;
            if (!any) {
                text.append(empty_lines, '\n');
            } else if (folded && !last_spaced && !spaced) {
                if (empty_lines == 0) text += ' ';
                text.append(empty_lines, '\n');
            } else {
                text.append(empty_lines + 1, '\n');
            }
            text.append(s_ + p + indent, line_end - p - indent);
            empty_lines = 0;
            any = true;
            last_spaced = spaced;
            last_break = has_break;
            p = end;
        }
        if (!any) return false;
        if (chomping != '-' && last_break) {
            text += '\n';
            if (chomping == '+') {
                if (p < n_ && s_[skip_spaces(p)] == '#') return false;
                text.append(empty_lines, '\n');
            }
        }
        out = Value::string(text);
        next = p;
        return true;
    }

    // A scalar, flow collection or block scalar that starts at `i` (after "key: " or "- " of
    // an entry of the block collection in column `col`), and ends its line or, for a block
    // scalar, the lines it takes; `next` is the start of the following line.
    bool inline_value(std::size_t i, std::size_t col, std::size_t depth, Value& out,
                      std::size_t& next) {
        const char c = s_[i];
        std::size_t end;
        if (c == '\'' || c == '"') {
            std::string_view text;
            if (!quoted(i, text, end)) return false;
            out = Value::string(text);
        } else if (c == '[' || c == '{') {
            flow_indent_ = col + 1;
            if (!flow(i, depth + 1, out, end)) return false;
        } else if (c == '|' || c == '>') {
            return block_scalar(i, col, out, next);
        } else {
            if (is_indicator(c) && !(c == '-' && !at_end(i + 1) && s_[i + 1] != ' ')) return false;
            std::size_t j, last;
            if (!plain_line(i, j, last)) return false;
            next = after_line(j);
            std::string_view text(s_ + i, last - i);
            // Lines indented more than the collection continue the scalar, unless a comment
            // ended it: each line break folds into a space, or into a line feed per empty
            // line after it; the spaces around a break go.
            bool folded = false;
            while (at_end(j) && next < n_) {
                std::size_t p = next, empty_lines = 0, sp;
                for (;; ++empty_lines, p = sp + 1) {
                    sp = skip_spaces(p);
                    if (sp >= n_ || s_[sp] != '\n') break;
                }
                if (sp >= n_ || sp - p <= col || s_[sp] == '#') break;
                if (is_indicator(s_[sp])) return false;
                std::size_t line_last;
                if (!plain_line(sp, j, line_last)) return false;
                if (!folded) {
                    scratch_.assign(text);
                    folded = true;
                }
                if (empty_lines == 0) scratch_ += ' ';
                scratch_.append(empty_lines, '\n');
                scratch_.append(s_ + sp, line_last - sp);
                next = after_line(j);
            }
            if (folded) text = scratch_;
            return type_plain_(text, out);
        }
        const std::size_t rest = skip_spaces(end);
        if (!rest_is_empty(rest, end)) return false;
        next = after_line(rest);
        return true;
    }

    // The block collection whose first entry starts at pos_, in column `col`.
    bool node(std::size_t col, std::size_t depth, Value& out) {
        if (depth > kMaxDepth) return false;
        return is_dash(pos_) ? sequence(col, depth, false, out) : mapping(col, depth, out);
    }

    // After an entry's inline value: the next line must not be indented more (that would
    // continue the scalar, or be an error).
    bool after_inline(std::size_t next, std::size_t col) {
        return next_content(next) && (eof_ || col_ <= col);
    }

    // A value given on the lines after "key:" or "-": a nested collection or a scalar indented
    // more, a sequence at the mapping's own column (`same_column_sequence`), else null.
    bool value_below(std::size_t line_end, std::size_t col, std::size_t depth,
                     bool same_column_sequence, Value& out) {
        if (!next_content(line_end)) return false;
        if (eof_ || col_ < col) return true;  // out stays null
        if (col_ > col) {
            if (starts_entry(pos_)) return node(col_, depth + 1, out);
            // A scalar or flow collection on the lines below; not a block scalar.
            if (s_[pos_] == '|' || s_[pos_] == '>') return false;
            std::size_t next;
            return inline_value(pos_, col, depth, out, next) && after_inline(next, col);
        }
        if (same_column_sequence && is_dash(pos_)) return sequence(col, depth + 1, true, out);
        return true;
    }

    // `indentless`: the value of a mapping key, in the mapping's own column.
    bool sequence(std::size_t col, std::size_t depth, bool indentless, Value& out) {
        const std::size_t first = values_.size();
        for (;;) {
            Value v;
            const std::size_t sp = skip_spaces(pos_ + 1);
            if (rest_is_empty(sp, pos_ + 1)) {
                // libfyaml 0.7 refuses an entry with nothing on its line in such a sequence.
                if (indentless) return false;
                if (!value_below(after_line(sp), col, depth, false, v)) return false;
            } else if (starts_entry(sp)) {  // a compact collection on the entry's line
                const std::size_t inner = col + (sp - pos_);
                pos_ = sp;
                col_ = inner;
                if (!node(inner, depth + 1, v)) return false;
            } else {
                std::size_t next;
                if (!inline_value(sp, col, depth, v, next) || !after_inline(next, col))
                    return false;
            }
            values_.push_back(std::move(v));
            if (eof_ || col_ < col) break;
            if (col_ > col) return false;
            if (!is_dash(pos_)) break;  // the mapping that holds this sequence goes on
        }
        out = Value::array(Array::from_values(values_.data() + first, values_.size() - first));
        values_.resize(first);
        return true;
    }

    bool mapping(std::size_t col, std::size_t depth, Value& out) {
        const std::size_t first = members_.size();
        for (;;) {
            std::string_view name;
            std::size_t after;
            if (is_dash(pos_) || !key(pos_, after, &name)) return false;
            members_.push_back(Member{Value::string(name), Value()});
            const std::size_t at = members_.size() - 1;
            Value v;
            const std::size_t sp = skip_spaces(after);
            if (rest_is_empty(sp, after)) {
                if (!value_below(after_line(sp), col, depth, true, v)) return false;
            } else {
                std::size_t next;
                if (!inline_value(sp, col, depth, v, next) || !after_inline(next, col))
                    return false;
            }
            members_[at].value = std::move(v);
            if (eof_ || col_ < col) break;
            if (col_ > col) return false;
        }
        out = Value::object(Object::from_members(members_.data() + first, members_.size() - first));
        members_.resize(first);
        return true;
    }

    const char* s_;
    std::size_t n_;
    PlainScalarTyper type_plain_;
    std::size_t pos_ = 0;  // where the current line's content starts
    std::size_t col_ = 0;  // its indentation
    bool eof_ = false;     // no content line is left
    bool may_start_document_ = true;  // no content yet: one "---" line may come
    std::size_t flow_indent_ = 0;     // the least indentation of a flow collection's lines
    std::string scratch_;  // a quoted scalar's decoded text
    std::string block_;    // a block scalar's text
    std::vector<Value> values_;    // elements of the open sequences, innermost last
    std::vector<Member> members_;  // members of the open mappings, innermost last
};

}  // namespace

bool read_plain_block_yaml(std::string_view text, PlainScalarTyper type_plain, Value& out) {
    if (has_unsupported_bytes(text)) return false;
    Reader reader(text, type_plain);
    return reader.read(out);
}

}  // namespace zel
