// fltk_internal.h - the records the desktop backend's files share: each layer window's FLTK
// counterpart (a window holding a menu bar and a view of the client image) and the entry
// points of fltk_presentation.cpp, fltk_input.cpp and fltk_menus.cpp that fltk_windows.cpp calls.
#pragma once
#include <FL/Fl.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Window.H>

#include <string>
#include <vector>

#include "window/backend.h"

namespace px {
namespace fltk {

// Height of a menu bar: fits the default 14-pixel menu font with FLTK's item padding.
constexpr int BAR_HEIGHT = 25;

struct Native;

// The whole factor each client pixel is shown at (display_scale_for, once at start); the
// menu bar's fonts and sizes grow by it too.
int scale();
int bar_height();

// What a window needs to show its client image as blocks of scale() x scale() pixels,
// kept between frames: a pixmap holding the image that the server enlarges (Render), or
// else the image enlarged here, in the pixel store (shared with the server when the client
// image would be).
struct ScaledImage {
    unsigned long pixmap = 0, picture = 0;  // Render's source: the client image on the server
    int pixmap_w = 0, pixmap_h = 0;
    uint32_t* pixels = nullptr;
    size_t bytes = 0;
    ScaledImage() = default;
    ScaledImage(const ScaledImage&) = delete;
    ScaledImage& operator=(const ScaledImage&) = delete;
    ~ScaledImage();
};

// Shows the client image (fltk_presentation.cpp) and turns pointer, keyboard and focus events
// into messages (fltk_input.cpp).
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
    bool exposed = false;  // the view has been drawn once: images sent now reach the screen
    ScaledImage scaled;    // used only at a scale above 1
};

// fltk_presentation.cpp: how client images reach the screen.
// Picks the way images go to the X server for the display's visual; once, at start.
void choose_image_path();
// Draws the window's client image into its view; fl_window and fl_gc must be current.
void show_image(Native* n);
// Where client images are kept: shared with the server when it can read them.
PixelStore* pixel_store();
bool shared_images();  // true while images go by the shared-memory extension
int uploads();         // images sent to the server so far

// fltk_menus.cpp: the window's px::Menu as an FLTK menu bar.
// Registers the label type that draws menu entries with their marks and shortcut texts.
void install_entry_label();
// Brings the FLTK menu in step with the window's px::Menu.
void sync_menu(Native* n);

}  // namespace fltk
}  // namespace px
