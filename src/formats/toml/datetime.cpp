// The TOML date-time grammar, read the same way by the reader and by the writer's check of
// the date-times it writes.
#include "formats/toml/datetime.hpp"

#include <string>
#include <string_view>

namespace zel {
namespace {

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// A character that may continue a number or date-time token.
bool is_value_char(char c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || is_digit(c) || c == '_' ||
           c == '-' || c == '+' || c == '.' || c == ':';
}

// The scanner behind scan_toml_datetime; on failure, `error` names what is wrong and
// `error_at` where.
class DatetimeScan {
public:
    DatetimeScan(const char* p, const char* end) noexcept : start_(p), p_(p), end_(end) {}

    // Past the date-time, or nullptr on failure.
    const char* run(std::string& loaded) {
        loaded.clear();
        if (digits_ahead(4) && at(4) == '-') {
            if (!date(loaded)) return nullptr;
            // "T", "t" or a space, then a time; a space followed by anything else ends a date.
            const char c = at(0);
            if (c == 'T' || c == 't') {
                if (p_ + 1 == end_ || !is_value_char(p_[1])) {
                    fail("could not determine value type", start_);
                    return nullptr;
                }
                ++p_;
            } else if (c == ' ' && digits_ahead(2, 1) && at(3) == ':') {
                ++p_;
            } else {
                return p_;
            }
            loaded += 'T';
            if (!time(loaded) || !offset(loaded)) return nullptr;
            return p_;
        }
        if (!time(loaded)) return nullptr;
        return p_;
    }

    const char* error = nullptr;
    const char* error_at = nullptr;
    bool cut_short = false;  // the text ended where the error expected more

private:
    char at(std::size_t i) const noexcept {
        return static_cast<std::size_t>(end_ - p_) > i ? p_[i] : '\0';
    }
    bool digits_ahead(std::size_t n, std::size_t from = 0) const noexcept {
        for (std::size_t i = from; i < from + n; ++i)
            if (!is_digit(at(i))) return false;
        return true;
    }
    bool fail(const char* description, const char* where) noexcept {
        error = description;
        error_at = where;
        return false;
    }

    // Something missing at `where`.
    bool missing(const char* what, const char* where) noexcept {
        cut_short = where >= end_;
        return fail(what, where);
    }

    // Two digits and their value, appended to `loaded`; `what` names them in the error.
    bool two_digits(const char* what, int& value, std::string& loaded) {
        if (!digits_ahead(2)) return missing(what, is_digit(at(0)) ? p_ + 1 : p_);
        value = (p_[0] - '0') * 10 + (p_[1] - '0');
        loaded.append(p_, 2);
        p_ += 2;
        return true;
    }
    bool separator(char c, const char* what, std::string& loaded) {
        if (at(0) != c) return missing(what, p_);
        loaded += c;
        ++p_;
        return true;
    }

    bool date(std::string& loaded) {
        const int year =
            ((p_[0] - '0') * 10 + (p_[1] - '0')) * 100 + (p_[2] - '0') * 10 + (p_[3] - '0');
        loaded.append(p_, 5);  // the year and '-'
        p_ += 5;
        int month, day;
        if (!two_digits("expected 2-digit month", month, loaded)) return false;
        if (month < 1 || month > 12) return fail("expected month between 1 and 12", p_);
        if (!separator('-', "expected '-' after the month", loaded)) return false;
        if (!two_digits("expected 2-digit day", day, loaded)) return false;
        static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
        const int last = month == 2 && leap ? 29 : kDays[month - 1];
        if (day < 1 || day > last) {
            fail(last == 31   ? "expected day between 1 and 31"
                 : last == 30 ? "expected day between 1 and 30"
                 : last == 29 ? "expected day between 1 and 29"
                              : "expected day between 1 and 28",
                 p_);
            return false;
        }
        return true;
    }

    bool time(std::string& loaded) {
        int hour, minute, second;
        if (!two_digits("expected 2-digit hour", hour, loaded)) return false;
        if (hour > 23) return fail("expected hour between 0 and 23", p_);
        if (!separator(':', "expected ':' after the hour", loaded)) return false;
        if (!two_digits("expected 2-digit minute", minute, loaded)) return false;
        if (minute > 59) return fail("expected minute between 0 and 59", p_);
        if (!separator(':', "expected ':' after the minute", loaded)) return false;
        if (!two_digits("expected 2-digit second", second, loaded)) return false;
        if (second > 59) return fail("expected second between 0 and 59", p_);
        if (at(0) != '.') return true;
        ++p_;
        const char* digits = p_;
        while (p_ < end_ && is_digit(*p_)) ++p_;
        if (p_ == digits) return missing("expected a digit after the decimal point", p_);
        // Nanoseconds at most, without trailing zeros; none at all when they are zero.
        const char* kept = digits + std::min<std::ptrdiff_t>(p_ - digits, 9);
        while (kept > digits && kept[-1] == '0') --kept;
        if (kept > digits) {
            loaded += '.';
            loaded.append(digits, kept);
        }
        return true;
    }

    // The offset of a date-time, if any: "Z" for a zero offset, else "+hh:mm" or "-hh:mm".
    bool offset(std::string& loaded) {
        const char c = at(0);
        if (c == 'Z' || c == 'z') {
            loaded += 'Z';
            ++p_;
            return true;
        }
        if (c != '+' && c != '-') return true;
        ++p_;
        std::string digits;
        int hours, minutes;
        if (!two_digits("expected 2-digit offset hours", hours, digits)) return false;
        if (hours > 23) return fail("expected offset hours between 0 and 23", p_);
        if (!separator(':', "expected ':' in the offset", digits)) return false;
        if (!two_digits("expected 2-digit offset minutes", minutes, digits)) return false;
        if (minutes > 59) return fail("expected offset minutes between 0 and 59", p_);
        if (hours == 0 && minutes == 0) {
            loaded += 'Z';
        } else {
            loaded += c;
            loaded += digits;
        }
        return true;
    }

    const char* start_;
    const char* p_;
    const char* end_;
};

}  // namespace

const char* scan_toml_datetime(const char* p, const char* end, std::string& loaded,
                               DatetimeFailure& failure) {
    DatetimeScan scan(p, end);
    const char* after = scan.run(loaded);
    if (after == nullptr) failure = DatetimeFailure{scan.error, scan.error_at, scan.cut_short};
    return after;
}

bool is_toml_datetime(std::string_view text, std::string* loaded) {
    if (text.empty() || !is_digit(text[0])) return false;
    // The value's first characters decide what it is, as in the reader.
    const bool date = text.size() >= 5 && is_digit(text[1]) && is_digit(text[2]) &&
                      is_digit(text[3]) && text[4] == '-';
    const bool time = text.size() >= 3 && is_digit(text[1]) && text[2] == ':';
    if (!date && !time) return false;
    std::string scratch;
    DatetimeFailure failure;
    const char* after = scan_toml_datetime(text.data(), text.data() + text.size(),
                                           loaded != nullptr ? *loaded : scratch, failure);
    return after == text.data() + text.size();
}

}  // namespace zel
