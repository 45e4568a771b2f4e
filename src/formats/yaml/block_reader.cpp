// The fast reader of plain block YAML. It walks the text line by line: each block collection
// knows the column of its entries; a line indented less ends it, a line indented the same
// holds its next entry, and a line indented more is only allowed where a nested collection
// starts (after "key:" or "-" with nothing else on the line). Every rule it is unsure of
// makes it give up, never guess: the general reader then reads the text from the start.
#include "formats/yaml/block_reader.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace zel {
namespace {

// Deeper documents are left to the general reader, which also enforces the nesting limit.
constexpr std::size_t kMaxDepth = 100;
// An implicit key must stay within 1024 characters; longer keys are left to the general reader.
constexpr std::size_t kMaxKeyBytes = 1000;

// Bytes that make the text "not mine" wherever they are: tab and CR (white space and line
// breaks with rules of their own), and a byte order mark, NEL, LS and PS. Eight bytes at a
// time while they are ASCII without tab or CR.
bool has_unsupported_bytes(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
    const auto has_zero = [](std::uint64_t x) { return (x - kOnes) & ~x & kHighs; };
    std::size_t i = 0;
    while (i < n) {
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

// Characters that cannot start a plain scalar here (some could, with rules left to the
// general reader).
constexpr auto kIndicators = [] {
    std::array<bool, 256> table{};
    for (const unsigned char c : std::string_view("-?:,[]{}#&*!|>'\"%@`")) table[c] = true;
    return table;
}();
bool is_indicator(char c) { return kIndicators[static_cast<unsigned char>(c)]; }

class Reader {
public:
    Reader(std::string_view text, PlainScalarTyper type_plain)
        : s_(text.data()), n_(text.size()), type_plain_(type_plain) {}

    bool read(Value& out) {
        if (!next_content(0) || eof_) return false;
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
    // line starts with something left to the general reader (document markers, directives).
    bool next_content(std::size_t i) {
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
            if (j == i && (s_[j] == '%' || (n_ - j >= 3 && (std::memcmp(s_ + j, "---", 3) == 0 ||
                                                          std::memcmp(s_ + j, "...", 3) == 0))))
                return false;
            pos_ = j;
            col_ = j - i;
            return true;
        }
    }

    // A quoted scalar on one line starting at `i`; `after` is the index past its closing
    // quote. Single quotes: '' is a quote. Double quotes: no escapes.
    bool quoted(std::size_t i, std::string_view& text, std::size_t& after) {
        const char q = s_[i];
        std::size_t j = i + 1;
        bool doubled = false;
        for (;; ++j) {
            if (at_end(j)) return false;
            const char c = s_[j];
            if (c == '\\' && q == '"') return false;
            if (c == q) {
                if (q == '\'' && j + 1 < n_ && s_[j + 1] == '\'') {
                    doubled = true;
                    ++j;
                    continue;
                }
                break;
            }
        }
        after = j + 1;
        text = std::string_view(s_ + i + 1, j - i - 1);
        if (doubled) {
            scratch_.clear();
            for (std::size_t k = 0; k < text.size(); ++k) {
                scratch_ += text[k];
                if (text[k] == '\'') ++k;  // the second quote of a pair
            }
            text = scratch_;
        }
        return true;
    }

    // A key at `i`, followed by ":" and a space or the end of the line; `after` is the index
    // past the ":". The key's text may live in scratch_ until the next call.
    bool key(std::size_t i, std::size_t& after, std::string_view* text = nullptr) {
        if (at_end(i)) return false;
        std::string_view k;
        std::size_t j;
        if (s_[i] == '\'' || s_[i] == '"') {
            if (!quoted(i, k, j) || j >= n_ || s_[j] != ':') return false;
        } else {
            if (is_indicator(s_[i])) return false;
            for (j = i;; ++j) {
                if (at_end(j)) return false;
                if (s_[j] == ':' && (j + 1 >= n_ || s_[j + 1] == ' ' || s_[j + 1] == '\n')) break;
                if (s_[j] == '#' && s_[j - 1] == ' ') return false;
            }
            if (s_[j - 1] == ' ') return false;
            k = std::string_view(s_ + i, j - i);
        }
        if (k.size() > kMaxKeyBytes) return false;
        if (j + 1 < n_ && s_[j + 1] != ' ' && s_[j + 1] != '\n') return false;
        after = j + 1;
        if (text != nullptr) *text = k;
        return true;
    }

    // A scalar (or [] or {}) that starts at `i` and ends its line; `next` is the start of the
    // following line.
    bool inline_value(std::size_t i, Value& out, std::size_t& next) {
        const char c = s_[i];
        std::size_t end;
        if (c == '\'' || c == '"') {
            std::string_view text;
            if (!quoted(i, text, end)) return false;
            out = Value::string(text);
        } else if (c == '[' || c == '{') {
            if (i + 1 >= n_ || s_[i + 1] != (c == '[' ? ']' : '}')) return false;
            out = c == '[' ? Value::array() : Value::object();
            end = i + 2;
        } else {
            if (is_indicator(c) && !(c == '-' && !at_end(i + 1) && s_[i + 1] != ' ')) return false;
            std::size_t last = i;  // past the last character that is not a space
            std::size_t j = i;
            for (; !at_end(j); ++j) {
                const char d = s_[j];
                if (d == ' ') continue;
                if (d == '#' && s_[j - 1] == ' ') break;
                if (d == ':' && (j + 1 >= n_ || s_[j + 1] == ' ' || s_[j + 1] == '\n')) return false;
                last = j + 1;
            }
            if (!type_plain_(std::string_view(s_ + i, last - i), out)) return false;
            next = after_line(j);
            return true;
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

    // A value given on the lines after "key:" or "-": a nested collection indented more, a
    // sequence at the mapping's own column (`same_column_sequence`), else null.
    bool value_below(std::size_t line_end, std::size_t col, std::size_t depth,
                     bool same_column_sequence, Value& out) {
        if (!next_content(line_end)) return false;
        if (eof_ || col_ < col) return true;  // out stays null
        if (col_ > col) {
            if (!starts_entry(pos_)) return false;
            return node(col_, depth + 1, out);
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
                if (!inline_value(sp, v, next) || !after_inline(next, col)) return false;
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
                if (!inline_value(sp, v, next) || !after_inline(next, col)) return false;
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
    std::string scratch_;
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
