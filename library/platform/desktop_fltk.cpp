// desktop_fltk.cpp - the desktop backend: every layer window becomes an FLTK window on X11
// holding a menu bar built from the window's px::Menu and a view that shows its client
// image; pointer, keyboard, focus and close requests become posted messages.
// Waiting blocks in Fl::wait, so an idle program sleeps in select() on the X connection.
#include "desktop_fltk.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "backend.h"

namespace px {
namespace {

// Height of a menu bar: fits the default 14-pixel menu font with FLTK's item padding.
constexpr int BAR_HEIGHT = 25;
constexpr unsigned VK_MENU_KEY = 0x12, VK_NO_CODE = 0xFF;
constexpr WPARAM MK_LBUTTON = 0x0001;
// Menu entries are drawn by our own label type: a leading mark byte says whether the
// entry is checked, and a tab splits the label from its right-aligned shortcut text.
constexpr Fl_Labeltype ENTRY_LABEL = FL_FREE_LABELTYPE;
constexpr char MARK_CHECKED = '\x01', MARK_PLAIN = '\x02';

struct Native;

// Shows the client image and turns pointer, keyboard and focus events into messages.
class ClientView : public Fl_Widget {
public:
    ClientView(Native* n, int x, int y, int w, int h) : Fl_Widget(x, y, w, h), native_(n) { box(FL_NO_BOX); }
    void draw() override;
    int handle(int event) override;

private:
    int key(bool up);
    Native* native_;
};

// A menu bar that leaves every key with Control held to the library's own key handling.
class MenuBar : public Fl_Menu_Bar {
public:
    MenuBar(int x, int y, int w, int h) : Fl_Menu_Bar(x, y, w, h) { clear_visible_focus(); }
    int handle(int event) override {
        if (event == FL_SHORTCUT && (Fl::event_state() & (FL_CTRL | FL_META))) return 0;
        return Fl_Menu_Bar::handle(event);
    }
};

struct Native {
    HWND hwnd = nullptr;  // null once the layer window is gone
    Fl_Window* win = nullptr;
    MenuBar* bar = nullptr;
    ClientView* view = nullptr;
    // The menu as FLTK sees it; labels own the texts the items point to.
    std::vector<Fl_Menu_Item> items;
    std::vector<std::string> labels;
    int laid_w = -1, laid_h = -1, laid_bar = -1;
};

// How a client image reaches the screen: XPutImage of the pixels as they lie (0x00RRGGBB
// in 32 bits is what a 24-bit TrueColor visual takes) or, on any other visual, FLTK's
// converting image drawing.
struct PutImagePath {
    bool direct = false;
    int byte_order = LSBFirst;
};
PutImagePath g_path;

void put_rows(const Bitmap& b, int vx, int vy, int width, int height) {
    if (width <= 0 || height <= 0) return;
    if (g_path.direct) {
        XImage* im = XCreateImage(fl_display, fl_visual->visual, 24, ZPixmap, 0,
                                  reinterpret_cast<char*>(const_cast<uint32_t*>(b.pixels.data())), b.width,
                                  b.height, 32, b.width * 4);
        if (!im) return;
        im->byte_order = g_path.byte_order;
        // The rows form a ring: logical row 0 is physical row row_offset. Two bands at most.
        int off = b.row_offset;
        int first = std::min(height, b.height - off);
        XPutImage(fl_display, fl_window, fl_gc, im, 0, off, vx, vy, static_cast<unsigned>(width),
                  static_cast<unsigned>(first));
        if (first < height)
            XPutImage(fl_display, fl_window, fl_gc, im, 0, 0, vx, vy + first, static_cast<unsigned>(width),
                      static_cast<unsigned>(height - first));
        im->data = nullptr;  // the pixels belong to the bitmap
        XDestroyImage(im);
        return;
    }
    fl_draw_image(
        [](void* data, int x, int y, int w, uchar* out) {
            const Bitmap* bm = static_cast<const Bitmap*>(data);
            const uint32_t* row = bm->row(y) + x;
            for (int i = 0; i < w; ++i) {
                out[3 * i] = static_cast<uchar>(row[i] >> 16);
                out[3 * i + 1] = static_cast<uchar>(row[i] >> 8);
                out[3 * i + 2] = static_cast<uchar>(row[i]);
            }
        },
        const_cast<Bitmap*>(&b), vx, vy, width, height, 3);
}

// Draws the window's client image into the view; fl_window and fl_gc must be current.
void show_image(Native* n) {
    ClientView* v = n->view;
    const Bitmap& b = n->hwnd->client;
    int w = std::min(v->w(), b.width), h = std::min(v->h(), b.height);
    put_rows(b, v->x(), v->y(), w, h);
    // Whatever the image does not cover shows the window background.
    if (w < v->w() || h < v->h()) {
        COLORREF bg = n->hwnd->background;
        fl_color(static_cast<uchar>(GetRValue(bg)), static_cast<uchar>(GetGValue(bg)),
                 static_cast<uchar>(GetBValue(bg)));
        if (w < v->w()) fl_rectf(v->x() + w, v->y(), v->w() - w, v->h());
        if (h < v->h()) fl_rectf(v->x(), v->y() + h, w, v->h() - h);
    }
}

void ClientView::draw() {
    if (!native_->hwnd) {
        fl_rectf(x(), y(), w(), h(), FL_WHITE);
        return;
    }
    // FLTK draws the view only when it was exposed, shown or resized: the window then
    // needs its paint as well, which is how the layer's windows learn they were uncovered.
    InvalidateRect(native_->hwnd, nullptr, true);
    show_image(native_);
}

// The platform's key code for an FLTK key.
unsigned key_code(int k) {
    if (k >= 'a' && k <= 'z') return static_cast<unsigned>(k - 'a' + 'A');
    if ((k >= '0' && k <= '9') || k == ' ') return static_cast<unsigned>(k);
    if (k >= FL_F + 1 && k <= FL_F + 24) return VK_F1 + static_cast<unsigned>(k - FL_F - 1);
    if (k >= FL_KP + '0' && k <= FL_KP + '9') return 0x60 + static_cast<unsigned>(k - FL_KP - '0');
    switch (k) {
        case FL_BackSpace: return VK_BACK;
        case FL_Tab: return VK_TAB;
        case FL_Enter: case FL_KP_Enter: return VK_RETURN;
        case FL_Escape: return VK_ESCAPE;
        case FL_Shift_L: case FL_Shift_R: return VK_SHIFT;
        case FL_Control_L: case FL_Control_R: return VK_CONTROL;
        case FL_Alt_L: case FL_Alt_R: return VK_MENU_KEY;
        case FL_Pause: return 0x13;
        case FL_Caps_Lock: return 0x14;
        case FL_Page_Up: return 0x21;
        case FL_Page_Down: return 0x22;
        case FL_End: return 0x23;
        case FL_Home: return 0x24;
        case FL_Left: return 0x25;
        case FL_Up: return 0x26;
        case FL_Right: return 0x27;
        case FL_Down: return 0x28;
        case FL_Print: return 0x2C;
        case FL_Insert: return 0x2D;
        case FL_Delete: return 0x2E;
        case FL_KP + '*': return 0x6A;
        case FL_KP + '+': return 0x6B;
        case FL_KP + ',': return VK_SEPARATOR;
        case FL_KP + '-': return 0x6D;
        case FL_KP + '.': return 0x6E;
        case FL_KP + '/': return VK_DIVIDE;
        case FL_Num_Lock: return 0x90;
        case FL_Scroll_Lock: return 0x91;
        case ';': return 0xBA;
        case '=': return 0xBB;
        case ',': return 0xBC;
        case '-': return 0xBD;
        case '.': return 0xBE;
        case '/': return 0xBF;
        case '`': return 0xC0;
        case '[': return 0xDB;
        case '\\': return 0xDC;
        case ']': return 0xDD;
        case '\'': return 0xDE;
        default: return VK_NO_CODE;
    }
}

// The byte the key types, as the layer's TranslateMessage expects it: with Control held
// a letter gives the letter itself (the layer makes the control code), other keys nothing.
unsigned char typed_byte(int k, int state, bool control, unsigned vk) {
    if (control) {
        if (k < 'a' || k > 'z') return 0;
        bool upper = ((state & FL_SHIFT) != 0) != ((state & FL_CAPS_LOCK) != 0);
        return static_cast<unsigned char>(upper ? k - 'a' + 'A' : k);
    }
    // Keys that type nothing on the platform, whatever X makes of them.
    if (vk == 0x2E || (vk >= 0x21 && vk <= 0x28) || (vk >= VK_F1 && vk <= VK_F1 + 23)) return 0;
    const unsigned char* t = reinterpret_cast<const unsigned char*>(Fl::event_text());
    int n = Fl::event_length();
    if (n == 1) return t[0];
    // Two-byte UTF-8 up to U+00FF: the Latin-1 byte the platform's ANSI code page gives.
    if (n == 2 && (t[0] == 0xC2 || t[0] == 0xC3) && (t[1] & 0xC0) == 0x80)
        return static_cast<unsigned char>(((t[0] & 0x03) << 6) | (t[1] & 0x3F));
    return 0;
}

int ClientView::key(bool up) {
    HWND hwnd = native_->hwnd;
    int k = Fl::event_key();
    int state = Fl::event_state();
    bool control_key = k == FL_Control_L || k == FL_Control_R;
    // X reports the modifier state from before the event, so a Control key going down
    // does not yet count itself.
    bool control = (state & FL_CTRL) != 0 || (control_key && !up);
    // Alt and its combinations are system keys on the platform (menu mnemonics), not
    // key-down messages: leave them to the menu bar.
    if (!control_key && (k == FL_Alt_L || k == FL_Alt_R || k == FL_Meta_L || k == FL_Meta_R ||
                         ((state & FL_ALT) && !control)))
        return 0;
    unsigned vk = key_code(k);
    unsigned char typed = up ? 0 : typed_byte(k, state, control, vk);
    post_input(hwnd, up ? WM_KEYUP : WM_KEYDOWN, vk, key_lparam(typed, control, up));
    return 1;
}

// True when the pointer has just left the window while the keyboard follows the pointer
// (no window manager sets the focus): the window has then lost the keyboard, although X
// reports no focus change for it.
bool pointer_left_focus(const Fl_Window* win) {
    int ex = Fl::event_x(), ey = Fl::event_y();
    if (!win || (ex >= 0 && ey >= 0 && ex < win->w() && ey < win->h())) return false;
    ::Window focus = None;
    int revert = 0;
    XGetInputFocus(fl_display, &focus, &revert);
    return focus == PointerRoot;
}

int ClientView::handle(int event) {
    HWND hwnd = native_->hwnd;
    if (!hwnd) return Fl_Widget::handle(event);
    switch (event) {
        case FL_PUSH:
            if (Fl::focus() != this) take_focus();
            if (Fl::event_button() == FL_LEFT_MOUSE) {
                int cx = Fl::event_x() - x(), cy = Fl::event_y() - y();
                post_input(hwnd, WM_LBUTTONDOWN, MK_LBUTTON,
                           MAKELPARAM(static_cast<unsigned>(cx), static_cast<unsigned>(cy)));
            }
            return 1;
        case FL_LEAVE:
            if (pointer_left_focus(window())) post_input(hwnd, WM_KILLFOCUS, 0, 0);
            return 1;
        case FL_DRAG: case FL_RELEASE: case FL_ENTER: case FL_MOVE:
        case FL_FOCUS:
            return 1;
        case FL_UNFOCUS:
            post_input(hwnd, WM_KILLFOCUS, 0, 0);
            return 1;
        // Every key is consumed here, so FLTK never offers it to the menu as a shortcut.
        case FL_KEYDOWN: return key(false);
        case FL_KEYUP: return key(true);
        default: return Fl_Widget::handle(event);
    }
}

// --- Menu entries ----------------------------------------------------------------------

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

// Brings the FLTK menu in step with the window's px::Menu. When only marks and states
// changed the items are updated where they lie, so a menu FLTK is still holding (inside
// a pick's callback) never points at freed entries.
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
            item.labelsize_ = FL_NORMAL_SIZE;
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

// --- Windows ---------------------------------------------------------------------------

void window_close_requested(Fl_Widget*, void* data) {
    // Escape reaching the window unhandled is FLTK's own close; the platform has none.
    if (Fl::event() == FL_SHORTCUT) return;
    Native* n = static_cast<Native*>(data);
    if (n->hwnd) post_input(n->hwnd, WM_CLOSE, 0, 0);
}

// Sizes the FLTK window so that the view is exactly the layer's client area, below the
// menu bar when the window has a menu.
void lay_out(Native* n) {
    HWND h = n->hwnd;
    int cw = std::max(1, h->client.width), ch = std::max(1, h->client.height);
    int bar = h->menu ? BAR_HEIGHT : 0;
    if (cw == n->laid_w && ch == n->laid_h && bar == n->laid_bar) return;
    n->laid_w = cw;
    n->laid_h = ch;
    n->laid_bar = bar;
    if (bar) {
        n->bar->resize(0, 0, cw, bar);
        n->bar->show();
    } else {
        n->bar->hide();
    }
    n->view->resize(0, bar, cw, ch);
    if (n->win->w() != cw || n->win->h() != bar + ch) n->win->size(cw, bar + ch);
    n->win->size_range(cw, bar + ch, cw, bar + ch);
}

Native* native_of(HWND h) { return h ? static_cast<Native*>(h->native) : nullptr; }

class Desktop;
Desktop* g_desktop = nullptr;

class Desktop final : public Backend {
public:
    Desktop() : start_(std::chrono::steady_clock::now()) {
        g_desktop = this;
        Fl::set_labeltype(ENTRY_LABEL, draw_entry, measure_entry);
        choose_image_path();
    }
    ~Desktop() override {
        for (auto& n : natives_) {
            if (n->win) delete n->win;
            n->win = nullptr;
        }
        if (g_desktop == this) g_desktop = nullptr;
    }
    const char* name() const override { return "desktop"; }
    uint64_t now_ms() override { return static_cast<uint64_t>(elapsed_ms()); }
    void screen_size(int* w, int* h) override {
        int x = 0, y = 0;
        Fl::screen_xywh(x, y, *w, *h, 0);
    }
    void poll() override { Fl::check(); }
    void wait_until(uint64_t deadline) override {
        if (deadline == NO_DEADLINE) {
            Fl::wait(1e20);  // FLTK's "forever": until an event arrives
            return;
        }
        double left = static_cast<double>(deadline) - elapsed_ms();
        if (left <= 0) {
            Fl::check();
            return;
        }
        Fl::wait(left / 1000.0);
    }

    void window_created(HWND h) override {
        auto n = std::make_unique<Native>();
        n->hwnd = h;
        Fl_Group* saved = Fl_Group::current();
        Fl_Group::current(nullptr);
        n->win = new Fl_Window(h->x, h->y, std::max(1, h->width), std::max(1, h->height));
        n->win->box(FL_NO_BOX);  // the bar and the view cover it; no gray flash on expose
        n->bar = new MenuBar(0, 0, n->win->w(), BAR_HEIGHT);
        n->bar->user_data(n.get());
        n->bar->hide();
        n->view = new ClientView(n.get(), 0, 0, n->win->w(), n->win->h());
        n->win->end();
        Fl_Group::current(saved);
        n->win->copy_label(h->title.c_str());
        n->win->xclass("plotx");
        n->win->callback(window_close_requested, n.get());
        h->native = n.get();
        natives_.push_back(std::move(n));
    }

    void window_shown(HWND h, bool show) override {
        Native* n = native_of(h);
        if (!n) return;
        if (!show) {
            n->win->hide();
            return;
        }
        lay_out(n);
        n->win->position(h->x, h->y);
        n->win->show();
        // FLTK nudges a bordered window at the screen's edge inward to keep a title bar it
        // assumes on screen; ask for the layer's place itself (a window manager may still
        // place the frame as it likes).
        XMoveWindow(fl_display, fl_xid(n->win), h->x, h->y);
        // Without a window manager keys go to the window under the pointer; within FLTK
        // they go to the focus widget, which is the view of the last window shown.
        n->view->take_focus();
    }

    void window_changed(HWND h) override {
        Native* n = native_of(h);
        if (!n || !n->win->shown() || !n->win->visible()) return;
        lay_out(n);
        n->win->make_current();
        show_image(n);
        XFlush(fl_display);
    }

    void window_destroyed(HWND h) override {
        Native* n = native_of(h);
        if (!n) return;
        n->hwnd = nullptr;
        h->native = nullptr;
        delete n->win;  // never inside an FLTK callback: the layer destroys from its dispatch
        n->win = nullptr;
        natives_.erase(std::remove_if(natives_.begin(), natives_.end(),
                                      [&](const std::unique_ptr<Native>& p) { return p.get() == n; }),
                       natives_.end());
    }

    void menu_changed(HWND h) override {
        Native* n = native_of(h);
        if (!n) return;
        sync_menu(n);
        if (h->client.width || h->client.height) lay_out(n);
    }

private:
    double elapsed_ms() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    }

    static void choose_image_path() {
        g_path.direct = false;
        const Visual* v = fl_visual ? fl_visual->visual : nullptr;
        if (!v || fl_visual->depth != 24 || v->red_mask != 0xFF0000 || v->green_mask != 0xFF00 || v->blue_mask != 0xFF)
            return;
        // The server must store depth-24 pixels in 32 bits for the pixels to go as they are.
        int count = 0;
        XPixmapFormatValues* formats = XListPixmapFormats(fl_display, &count);
        for (int i = 0; i < count; ++i)
            if (formats[i].depth == 24 && formats[i].bits_per_pixel == 32) g_path.direct = true;
        if (formats) XFree(formats);
        const uint32_t one = 1;
        g_path.byte_order = *reinterpret_cast<const unsigned char*>(&one) == 1 ? LSBFirst : MSBFirst;
    }

    std::chrono::steady_clock::time_point start_;
    std::vector<std::unique_ptr<Native>> natives_;
};

}  // namespace

namespace desktop {

bool active() { return g_desktop && &backend() == g_desktop; }

void sync() {
    if (fl_display) XSync(fl_display, False);
}

int client_top(HWND hwnd) {
    Native* n = active() ? native_of(hwnd) : nullptr;
    if (!n) return -1;
    return n->view->y();
}

}  // namespace desktop

std::unique_ptr<Backend> make_desktop_backend() {
    // Checked here so that a missing X server ends in the layer's one-line message rather
    // than in FLTK's own fatal error.
    Display* d = XOpenDisplay(nullptr);
    if (!d) return nullptr;
    fl_open_display(d);
    return std::make_unique<Desktop>();
}

}  // namespace px
