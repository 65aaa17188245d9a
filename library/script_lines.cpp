// script_lines.cpp - the table of script line forms, and the one reader and one writer that
// follow it. Every form is written "PLOTX_<WORD>(n, n, ...);". The classic forms are read
// as leniently as scripts have always been read; the others exactly, so that a line of a
// future form is unrecognised rather than misread.
#include "script_lines.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include "state.h"

namespace plotx {

namespace {

constexpr int KIND_INDEX = 6;      // "PLOTX_" is six characters; the kind letter follows
constexpr int NUMBER_BUFFER = 12;  // a classic number holds at most 11 characters, sign included
constexpr int MAX_EXACT_DIGITS = 10;

// What a field holds, which decides the values a played line may carry.
enum Field {
    NUMBER,      // any int; written numbers beyond int are clamped to it
    COORDINATE,  // a canvas coordinate, clamped to +-COORDINATE_LIMIT
    BUTTON,      // 1 left, 2 middle, 3 right; any other makes the line unrecognised
    KEY,         // the key code of some key; any other makes the line unrecognised
    MODS,        // PLOTX_MOD_ bits; other bits are dropped
};

// Where a form's numbers are in its line.
enum Scan {
    EXACT,          // "(n, n, ...);": blanks around each number of an optional '-' and 1..10 digits
    NUMBER_RUNS,    // after the kind letter, successive runs of digits and '-'
    SIGNED_DIGITS,  // the first run of digits after the kind letter, with a '-' just before it
    DIGITS,         // the first run of digits after the kind letter, any sign skipped
};

struct Form {
    const char* word;  // after "PLOTX_", up to the parenthesis
    Scan scan;
    int count;
    Field fields[LINE_FIELDS_MAX];
};

// In LineForm's order. The classic mouse line's coordinates are NUMBERs: PLOTX_wait_event
// reports them as written.
constexpr Form FORMS[] = {
    {"MOUSE", NUMBER_RUNS, 2, {NUMBER, NUMBER}},
    {"KBD", SIGNED_DIGITS, 1, {NUMBER}},  // the key byte, written signed: -128..127
    {"PERIODIC", DIGITS, 1, {NUMBER}},    // a run of that many ticks
    {"AT", EXACT, 3, {COORDINATE, COORDINATE, MODS}},
    {"DOWN_BUTTON", EXACT, 4, {COORDINATE, COORDINATE, BUTTON, MODS}},
    {"UP_BUTTON", EXACT, 4, {COORDINATE, COORDINATE, BUTTON, MODS}},
    {"CURSOR", EXACT, 3, {COORDINATE, COORDINATE, MODS}},
    {"WHEEL", EXACT, 4, {COORDINATE, COORDINATE, NUMBER, MODS}},
    {"DOWN_KEY", EXACT, 2, {KEY, MODS}},
    {"UP_KEY", EXACT, 2, {KEY, MODS}},
};
static_assert(sizeof FORMS / sizeof FORMS[0] == LINE_FORM_COUNT, "one table row per line form");

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int clamp_to_int(long long v) { return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v); }

// A classic number of at most 11 characters: an optional '-', then digits up to the first
// other character. False when there is no digit or the field is too long; eleven
// characters cannot overflow the wider accumulator.
bool convert_field(const char* start, int length, int* value) {
    if (length <= 0 || length > NUMBER_BUFFER - 1) return false;
    char field[NUMBER_BUFFER];
    std::memcpy(field, start, static_cast<size_t>(length));
    field[length] = '\0';
    const char* p = field;
    bool negative = *p == '-';
    if (negative) ++p;
    if (!is_digit(*p)) return false;
    long long v = 0;
    for (; is_digit(*p); ++p) v = v * 10 + (*p - '0');
    *value = clamp_to_int(negative ? -v : v);
    return true;
}

// The first run of digits after the kind letter; with_sign takes a '-' just before it along.
bool digit_field(const char* line, int n, bool with_sign, int* value) {
    int start = KIND_INDEX + 1;
    while (start < n && !is_digit(line[start])) ++start;
    int end = start;
    while (end < n && is_digit(line[end])) ++end;
    if (with_sign && start > KIND_INDEX + 1 && line[start - 1] == '-') --start;
    return convert_field(line + start, end - start, value);
}

// The next run of digits and '-' at or after *pos; *pos moves past it.
bool number_run(const char* line, int n, int* pos, int* value) {
    auto in_run = [](char c) { return is_digit(c) || c == '-'; };
    int start = *pos;
    while (start < n && !in_run(line[start])) ++start;
    int end = start;
    while (end < n && in_run(line[end])) ++end;
    *pos = end;
    return convert_field(line + start, end - start, value);
}

// "n, n, ...);" with exactly `count` numbers from line[pos].
bool exact_fields(const char* line, int n, int pos, int count, int* values) {
    for (int i = 0; i < count; ++i) {
        while (pos < n && line[pos] == ' ') ++pos;
        bool negative = pos < n && line[pos] == '-';
        if (negative) ++pos;
        long long v = 0;
        int digits = 0;
        // A run longer than any int is refused below; it is not accumulated past that.
        for (; pos < n && is_digit(line[pos]); ++pos, ++digits)
            if (digits < MAX_EXACT_DIGITS) v = v * 10 + (line[pos] - '0');
        if (digits == 0 || digits > MAX_EXACT_DIGITS) return false;
        values[i] = clamp_to_int(negative ? -v : v);
        while (pos < n && line[pos] == ' ') ++pos;
        char want = i + 1 < count ? ',' : ')';
        if (pos >= n || line[pos] != want) return false;
        ++pos;
    }
    return pos < n && line[pos] == ';';
}

// The form whose line this is, by its kind letter or its word; -1 for none. *after is
// where an exact form's numbers begin.
int form_of(const char* line, int n, int* after) {
    if (n <= KIND_INDEX) return -1;
    for (int f = 0; f < LINE_FORM_COUNT; ++f) {
        const Form& form = FORMS[f];
        if (form.scan != EXACT) {
            if (line[KIND_INDEX] == form.word[0]) return f;
            continue;
        }
        int length = static_cast<int>(std::strlen(form.word));
        if (n > KIND_INDEX + length && std::memcmp(line, "PLOTX_", KIND_INDEX) == 0 &&
            std::memcmp(line + KIND_INDEX, form.word, static_cast<size_t>(length)) == 0 &&
            line[KIND_INDEX + length] == '(') {
            *after = KIND_INDEX + length + 1;
            return f;
        }
    }
    return -1;
}

}  // namespace

int format_script_line(const ScriptLine& line, char* text, size_t size) {
    const Form& form = FORMS[line.form];
    int n = std::snprintf(text, size, "PLOTX_%s(", form.word);
    for (int i = 0; i < form.count; ++i)
        n += std::snprintf(text + n, size - static_cast<size_t>(n), i ? ", %d" : "%d", line.values[i]);
    n += std::snprintf(text + n, size - static_cast<size_t>(n), ");\n");
    return n;
}

bool parse_script_line(const char* text, int n, ScriptLine* line) {
    int pos = 0;
    int f = form_of(text, n, &pos);
    if (f < 0) return false;
    const Form& form = FORMS[f];
    int* v = line->values;
    bool read = false;
    switch (form.scan) {
        case EXACT: read = exact_fields(text, n, pos, form.count, v); break;
        case NUMBER_RUNS:
            pos = KIND_INDEX + 1;
            read = number_run(text, n, &pos, &v[0]) && number_run(text, n, &pos, &v[1]);
            break;
        case SIGNED_DIGITS: read = digit_field(text, n, true, &v[0]); break;
        case DIGITS: read = digit_field(text, n, false, &v[0]); break;
    }
    if (!read) return false;
    for (int i = 0; i < form.count; ++i) {
        switch (form.fields[i]) {
            case NUMBER: break;
            case COORDINATE: v[i] = clamp_coordinate(v[i]); break;
            case BUTTON:
                if (v[i] < 1 || v[i] > 3) return false;
                break;
            case KEY:
                if (!is_key_code(v[i])) return false;
                break;
            case MODS: v[i] &= PLOTX_MOD_SHIFT | PLOTX_MOD_CTRL | PLOTX_MOD_ALT; break;
        }
    }
    line->form = static_cast<LineForm>(f);
    return true;
}

}  // namespace plotx
