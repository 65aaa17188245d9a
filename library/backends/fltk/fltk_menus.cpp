// fltk_menus.cpp - the desktop backend's menus: a layer window's px::Menu flattened into an FLTK
// menu bar whose entries draw their check mark and right-aligned shortcut text; a pick
// becomes WM_COMMAND with the entry's identifier.
//
// Checklist:
//   [x] popups, separators, grayed entries
//   [x] check marks kept live (updated in place while a pick's callback holds the menu)
//   [x] shortcut text after a tab, right-aligned
//   [x] '@' shown as text, not as an FLTK symbol
//   [x] a pick posts WM_COMMAND and gives the keyboard back to the view
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstring>

#include "backends/fltk/fltk_internal.h"

namespace px {
namespace fltk {
namespace {

// Menu entries are drawn by our own label type: a leading mark byte says whether the
// entry is checked, and a tab splits the label from its right-aligned shortcut text.
constexpr Fl_Labeltype ENTRY_LABEL = FL_FREE_LABELTYPE;
constexpr char MARK_CHECKED = '\x01', MARK_PLAIN = '\x02';

struct EntryText {
    bool checked;
    std::string left, right;
};

EntryText split_entry(const char* value) {
    EntryText e{false, "", ""};
    if (!value) return e;
    if (*value == MARK_CHECKED || *value == MARK_PLAIN) e.checked = *value++ == MARK_CHECKED;
    const char* tab = std::strchr(value, '\t');
    e.left = tab ? std::string(value, tab) : std::string(value);
    if (tab) e.right = tab + 1;
    return e;
}

int mark_column(int size) { return size + 4; }
constexpr int SHORTCUT_GAP = 30;

void draw_entry(const Fl_Label* label, int x, int y, int w, int h, Fl_Align) {
    EntryText e = split_entry(label->value);
    fl_font(label->font, label->size);
    fl_color(label->color);
    int col = mark_column(label->size);
    if (e.checked) {
        // A tick in the mark column, as tall as the text.
        int s = label->size / 2, cx = x + col / 2 - 1, cy = y + h / 2 + s / 2;
        fl_line_style(FL_SOLID, 2);
        fl_line(cx - s / 2 - 1, cy - s / 2, cx - 1, cy);
        fl_line(cx - 1, cy, cx + s - 1, cy - s);
        fl_line_style(0);
    }
    // Symbols off: an '@' in an entry (a contact address) is text, not an FLTK symbol.
    fl_draw(e.left.c_str(), x + col, y, w - col, h, FL_ALIGN_LEFT, nullptr, 0);
    if (!e.right.empty()) fl_draw(e.right.c_str(), x, y, w - 4, h, FL_ALIGN_RIGHT, nullptr, 0);
}

void measure_entry(const Fl_Label* label, int& w, int& h) {
    EntryText e = split_entry(label->value);
    fl_font(label->font, label->size);
    int lw = 0, lh = 0, rw = 0, rh = 0;
    fl_measure(e.left.c_str(), lw, lh, 0);
    if (!e.right.empty()) fl_measure(e.right.c_str(), rw, rh, 0);
    w = mark_column(label->size) + lw + (e.right.empty() ? 0 : SHORTCUT_GAP + rw + 4);
    h = std::max(lh, rh);
}

// FLTK treats '@' as the start of a symbol in plain labels; "@@" draws one '@'.
std::string escape_symbols(const std::string& s) {
    std::string out;
    for (char c : s) {
        out += c;
        if (c == '@') out += '@';
    }
    return out;
}

void entry_chosen(Fl_Widget* bar, void* id) {
    Native* n = static_cast<Native*>(bar->user_data());
    if (!n || !n->hwnd) return;
    post_input(n->hwnd, WM_COMMAND, reinterpret_cast<uintptr_t>(id), 0);
    n->view->take_focus();
}

struct Entry {
    std::string label;
    int flags;
    uintptr_t id;
    bool end;  // closes a submenu
};

void collect(HMENU m, std::vector<Entry>& out, bool top) {
    for (const MenuItem& it : m->items) {
        if (it.flags & MF_SEPARATOR) {
            // FLTK draws a divider below an entry rather than as an entry of its own.
            if (!out.empty() && !out.back().end && !(out.back().flags & FL_SUBMENU)) out.back().flags |= FL_MENU_DIVIDER;
            continue;
        }
        int flags = (it.flags & (MF_GRAYED | MF_DISABLED)) ? FL_MENU_INACTIVE : 0;
        if ((it.flags & MF_POPUP) && it.popup) {
            out.push_back(Entry{top ? escape_symbols(it.text) : std::string(1, MARK_PLAIN) + it.text,
                                flags | FL_SUBMENU, 0, false});
            collect(it.popup, out, false);
            out.push_back(Entry{"", 0, 0, true});
            continue;
        }
        std::string text = top ? escape_symbols(it.text)
                               : std::string(1, (it.flags & MF_CHECKED) ? MARK_CHECKED : MARK_PLAIN) + it.text;
        out.push_back(Entry{text, flags, it.id, false});
    }
}

std::string unmarked(const std::string& label) {
    bool marked = !label.empty() && (label[0] == MARK_CHECKED || label[0] == MARK_PLAIN);
    return marked ? label.substr(1) : label;
}

}  // namespace

// When only marks and states changed the items are updated where they lie, so a menu FLTK
// is still holding (inside a pick's callback) never points at freed entries.
void sync_menu(Native* n) {
    std::vector<Entry> entries;
    if (n->hwnd && n->hwnd->menu) collect(n->hwnd->menu, entries, true);
    bool same = entries.size() + 1 == n->items.size();
    for (size_t i = 0; same && i < entries.size(); ++i) {
        const Entry& e = entries[i];
        same = e.end == (n->items[i].text == nullptr) &&
               (e.end || (e.flags & FL_SUBMENU) == (n->items[i].flags & FL_SUBMENU)) &&
               (e.end || unmarked(e.label) == unmarked(n->labels[i]));
    }
    if (same) {
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].end || n->labels[i].empty()) continue;
            // Only the mark byte can differ: change it where it lies.
            n->labels[i][0] = entries[i].label[0];
            n->items[i].flags = entries[i].flags;
        }
    } else {
        n->labels.assign(entries.size(), std::string());
        for (size_t i = 0; i < entries.size(); ++i) n->labels[i] = entries[i].label;
        std::vector<Fl_Menu_Item> items(entries.size() + 1);
        for (size_t i = 0; i <= entries.size(); ++i) std::memset(static_cast<void*>(&items[i]), 0, sizeof(Fl_Menu_Item));
        bool top = true;
        int depth = 0;
        for (size_t i = 0; i < entries.size(); ++i) {
            Fl_Menu_Item& item = items[i];
            const Entry& e = entries[i];
            if (e.end) { --depth; continue; }
            top = depth == 0;
            item.text = n->labels[i].c_str();
            item.flags = e.flags;
            item.labeltype_ = top ? FL_NORMAL_LABEL : ENTRY_LABEL;
            item.labelsize_ = static_cast<Fl_Fontsize>(FL_NORMAL_SIZE * scale());
            item.labelcolor_ = FL_FOREGROUND_COLOR;
            if (e.flags & FL_SUBMENU) ++depth;
            else {
                item.callback_ = entry_chosen;
                item.user_data_ = reinterpret_cast<void*>(e.id);
            }
        }
        n->items.swap(items);
        if (n->bar) n->bar->menu(n->items.data());
    }
    if (n->bar) n->bar->redraw();
}

void install_entry_label() { Fl::set_labeltype(ENTRY_LABEL, draw_entry, measure_entry); }

}  // namespace fltk
}  // namespace px
