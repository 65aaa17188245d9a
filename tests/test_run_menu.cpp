// The Run menu: its entries, the commands, the Control-key shortcuts and the logging switch.
#include "support/harness.h"

using namespace plotx;
using namespace plotx_test;
namespace hl = px::headless;

using RunMenu = LibraryTest;
using Shortcuts = LibraryTest;
using LoggingSwitch = LibraryTest;

namespace {
// Lets the pump take a chosen menu command (and whatever else is queued).
void wait_for_command() {
    while (px::message_available()) pump_one_message();
}
const px::MenuItem& entry(int position) { return g.run_menu.menu->items.at(static_cast<size_t>(position - 1)); }
bool checked(int position) { return (entry(position).flags & px::MF_CHECKED) != 0; }
}  // namespace

TEST_F(RunMenu, BarHoldsOneRunPopupWithSixteenEntriesInOrder) {
    begin();
    px::HMENU bar = px::GetMenu(graphics());
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->items.size(), 1u);
    EXPECT_EQ(bar->items[0].text, "&Run");
    EXPECT_EQ(bar->items[0].popup, g.run_menu.menu);
    ASSERT_EQ(g.run_menu.menu->items.size(), 16u);

    struct Expected { unsigned id; const char* text; };
    const Expected strings[] = {
        {1, "&Animate\tCtrl+A"}, {2, "&Halt animation\tCtrl+H"}, {3, "Advance one &frame\tCtrl+F"},
        {0, nullptr},            {4, "&Logging\tCtrl+L"},        {0, nullptr},
        {5, "&Record Script\tCtrl+R"}, {6, "&Playback Script\tCtrl+P"}, {7, "Play &One Script\tCtrl+O"},
        {0, nullptr},            {8, "&Quit\tCtrl+Q"},           {0, nullptr},
    };
    for (int pos = 1; pos <= 12; ++pos) {
        const Expected& e = strings[pos - 1];
        if (!e.text) {
            EXPECT_TRUE(entry(pos).flags & px::MF_SEPARATOR) << pos;
            EXPECT_EQ(entry(pos).id, 0u);
        } else {
            EXPECT_EQ(entry(pos).text, e.text) << pos;
            EXPECT_EQ(entry(pos).id, e.id) << pos;
            EXPECT_FALSE(entry(pos).flags & (px::MF_GRAYED | px::MF_SEPARATOR)) << pos;
        }
    }
    // Entry 4's mark shows logging, which starts on.
    EXPECT_TRUE(checked(5));
    EXPECT_EQ(g.drawing.logging_on, 1);
    for (int pos : {7, 8}) EXPECT_FALSE(checked(pos));
    // The four information lines are grayed, carry id 9, and can't be chosen.
    for (int pos = 13; pos <= 16; ++pos) {
        EXPECT_EQ(entry(pos).id, 9u);
        EXPECT_TRUE(entry(pos).flags & px::MF_GRAYED);
    }
    EXPECT_EQ(entry(14).text.rfind("MAC: ", 0), 0u);
    EXPECT_EQ(entry(15).text.rfind("WINDOWS: ", 0), 0u);
    EXPECT_EQ(entry(16).text.rfind("UPDATES: ", 0), 0u);
    EXPECT_FALSE(hl::choose_menu(graphics(), CMD_INFO));
}

TEST_F(RunMenu, MenuBarTakesItsHeightFromTheClientArea) {
    begin();
    EXPECT_EQ(graphics()->client.height, 540 - 22 - 19 - 6);
}

TEST_F(RunMenu, LoggingCommandTogglesFlagAndMarkButNeverShowsTheWindow) {
    begin();
    px::ShowWindow(text(), px::SW_HIDE);
    ASSERT_TRUE(hl::choose_menu(graphics(), CMD_LOGGING));
    wait_for_command();
    EXPECT_EQ(g.drawing.logging_on, 0);
    EXPECT_FALSE(checked(5));
    ASSERT_TRUE(hl::choose_menu(graphics(), CMD_LOGGING));
    wait_for_command();
    EXPECT_EQ(g.drawing.logging_on, 1);
    EXPECT_TRUE(checked(5));
    EXPECT_FALSE(px::IsWindowVisible(text()));
}

TEST_F(RunMenu, AnimationCommandsFromTheMenu) {
    begin();
    ASSERT_TRUE(hl::choose_menu(graphics(), CMD_ANIMATE, 50));
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    EXPECT_EQ(hl::now(), 100u);
    // Halt keeps a frame that Advance one frame requested and that is not yet armed.
    run_command(CMD_ADVANCE_FRAME);
    EXPECT_EQ(g.events.animating, 0);
    EXPECT_EQ(g.events.single_step, 1);
    run_command(CMD_HALT);
    EXPECT_EQ(g.events.single_step, 1);
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    click_canvas(0, 0, 5000);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_EQ(hl::now(), 5000u);
}

TEST_F(RunMenu, QuitEndsTheWaitInProgress) {
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    ASSERT_TRUE(hl::choose_menu(graphics(), CMD_QUIT, 30));
    EXPECT_EQ(wait(), PLOTX_QUIT);
    EXPECT_EQ(hl::now(), 30u);
}

TEST_F(RunMenu, IdentifiersOutsideOneToEightDoNothing) {
    begin();
    for (int id : {0, 9, 10, -1, 1000}) {
        px::SendMessageA(graphics(), px::WM_COMMAND, static_cast<px::WPARAM>(id), 0);
        EXPECT_EQ(g.events.animating, 0);
        EXPECT_EQ(g.events.single_step, 0);
        EXPECT_EQ(g.drawing.logging_on, 1);
        EXPECT_EQ(g.events.quit_requested, 0);
    }
    click_canvas(0, 0, 100);
    EXPECT_EQ(wait(), PLOTX_MOUSE);  // and no quit was posted
}

TEST_F(Shortcuts, ControlShiftAAnimatesLikeControlA) {
    begin();
    hl::key_down(graphics(), px::VK_CONTROL);
    hl::key_down(graphics(), px::VK_SHIFT);
    hl::key_down(graphics(), 'A', 'A');
    hl::key_up(graphics(), 'A');
    hl::key_up(graphics(), px::VK_SHIFT);
    hl::key_up(graphics(), px::VK_CONTROL);
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    EXPECT_EQ(g.events.animating, 1);
}

TEST_F(Shortcuts, LetterWithoutControlIsTypedNotRun) {
    begin();
    hl::type_char(graphics(), 'A');
    char key = 0;
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(key, 'A');
    EXPECT_EQ(g.events.animating, 0);
}

TEST_F(Shortcuts, RepeatedKeyDownsOfControlLToggleEachTime) {
    begin();
    hl::key_down(graphics(), px::VK_CONTROL);
    for (int i = 0; i < 3; ++i) hl::key_down(graphics(), 'L', 'l');  // key repeat: no key-ups
    hl::key_up(graphics(), 'L');
    hl::key_up(graphics(), px::VK_CONTROL);
    click_canvas(0, 0, 100);
    EXPECT_EQ(wait(), PLOTX_MOUSE);  // the control codes were not delivered as characters
    EXPECT_EQ(g.drawing.logging_on, 0);  // on -> off -> on -> off
    EXPECT_FALSE(checked(5));
}

TEST_F(Shortcuts, EveryLetterRunsItsCommand) {
    begin();
    hl::control_key(graphics(), 'f');
    EXPECT_EQ(wait(), PLOTX_PERIODIC);  // Advance one frame
    hl::control_key(graphics(), 'a', 1000);
    hl::control_key(graphics(), 'h', 1000);
    click_canvas(0, 0, 3000);
    // Animate armed a periodic event before Halt ran; Halt lets the armed one through.
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    EXPECT_LE(hl::now(), 1100u);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_EQ(hl::now(), 3000u);
    hl::control_key(graphics(), 'q', 4000);
    EXPECT_EQ(wait(), PLOTX_QUIT);
}

TEST_F(Shortcuts, KeypadAndFunctionKeysWithControlDoNothing) {
    begin();
    hl::key_down(graphics(), px::VK_CONTROL);
    for (unsigned vk : {px::VK_NUMPAD1, px::VK_NUMPAD6, px::VK_NUMPAD8, px::VK_SEPARATOR, px::VK_DIVIDE,
                        px::VK_F1, px::VK_F2, px::VK_F3}) {
        hl::key_down(graphics(), vk);
        hl::key_up(graphics(), vk);
    }
    hl::key_up(graphics(), px::VK_CONTROL);
    click_canvas(0, 0, 100);
    EXPECT_EQ(wait(), PLOTX_MOUSE);  // in particular, Control+F2 did not quit
    EXPECT_EQ(g.events.animating, 0);
    EXPECT_EQ(g.drawing.logging_on, 1);
}

TEST_F(Shortcuts, ShortcutsTypedInTheTextWindowWork) {
    begin();
    hl::control_key(text(), 'a');
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    EXPECT_EQ(g.events.animating, 1);
    PLOTX_set_animation(RUN_HALT);
    hl::type_char(text(), 'z', 500);
    char key = 0;
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(key, 'z');
}

TEST_F(Shortcuts, FocusLossForgetsAHeldControlKey) {
    begin();
    hl::key_down(graphics(), px::VK_CONTROL);
    hl::focus_lost(graphics());
    hl::release_elsewhere(px::VK_CONTROL);  // in another program's window
    hl::type_char(graphics(), 'x', 100);
    char key = 0;
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(key, 'x');
}

TEST_F(LoggingSwitch, OffClearsFlagAndMarkAndKeepsTheWindowShown) {
    begin();
    EXPECT_EQ(PLOTX_set_logging(0), 1);
    EXPECT_EQ(g.drawing.logging_on, 0);
    EXPECT_FALSE(checked(5));
    EXPECT_TRUE(px::IsWindowVisible(text()));
}

TEST_F(LoggingSwitch, OnShowsTheWindowEvenWhenAlreadyOn) {
    begin();
    px::ShowWindow(text(), px::SW_HIDE);
    EXPECT_EQ(PLOTX_set_logging(1), 1);
    EXPECT_TRUE(px::IsWindowVisible(text()));
    EXPECT_TRUE(checked(5));
}

TEST_F(LoggingSwitch, BeforeBeginNothingChanges) {
    EXPECT_EQ(PLOTX_set_logging(0), 0);
    EXPECT_EQ(g.drawing.logging_on, 1);
}
