// script_lines.h - the grammar of PLOTX.SCR: every line form in one table (script_lines.cpp)
// that both the reader and the writer follow. Text to numbers and back only: which line an
// event records as, and what a played line does, is scripts.cpp's.
#pragma once
#include <cstddef>

namespace plotx {

// The line forms. The first three are the classic ones, which a line's kind letter (its
// seventh character: M, K or P) selects alone; the others are selected by their whole word,
// and none of those words begins with one of the three letters.
enum LineForm {
    LINE_MOUSE,
    LINE_KBD,
    LINE_PERIODIC,
    LINE_AT,
    LINE_DOWN_BUTTON,
    LINE_UP_BUTTON,
    LINE_CURSOR,
    LINE_WHEEL,
    LINE_DOWN_KEY,
    LINE_UP_KEY,
    LINE_FORM_COUNT
};

constexpr int LINE_FIELDS_MAX = 4;
constexpr int SCRIPT_LINE_SIZE = 80;  // room for the longest line: a word and four ints

struct ScriptLine {
    LineForm form;
    int values[LINE_FIELDS_MAX];  // in the order the line gives them
};

// "PLOTX_<WORD>(v, v, ...);\n" into a buffer of SCRIPT_LINE_SIZE bytes; returns the length.
int format_script_line(const ScriptLine& line, char* text, size_t size);
// Reads n characters, which need no terminator (a NUL byte is an ordinary character).
// False for a line no form reads, or whose values no key or button has.
bool parse_script_line(const char* text, int n, ScriptLine* line);

}  // namespace plotx
