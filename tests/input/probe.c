/* probe.c - the input scenario's probe, one program for every platform: it takes every kind
 * of input PLOTX_wait offers and prints one line per event, "KIND x y button key mods held"
 * (held: how many keys PLOTX_key_held reports down), the lines tests/input/scenario.txt expects. */
#include <plotx.h>
#include <stdio.h>

static const char* const KINDS[] = {"?", "MOUSE", "KBD", "PERIODIC", "QUIT", "MOUSE_UP",
                                    "MOUSE_MOVE", "WHEEL", "KEY_DOWN", "KEY_UP"};

int main(void) {
    PLOTX_Event e;
    int held, code;
    PLOTX_begin(0, 0, "", 1);
    PLOTX_set_logging(0);
    PLOTX_set_input(PLOTX_INPUT_BUTTONS | PLOTX_INPUT_MOTION | PLOTX_INPUT_WHEEL | PLOTX_INPUT_KEYS);
    PLOTX_clear_canvas();
    PLOTX_draw_rectangle(SEA_GREEN, -100, 100, 100, -100, 0);
    printf("ready\n");
    fflush(stdout);
    do {
        PLOTX_wait(&e);
        for (held = 0, code = 0; code < 512; ++code) held += PLOTX_key_held(code);
        printf("%s %d %d %d %d %d %d\n", e.kind >= 1 && e.kind <= 9 ? KINDS[e.kind] : KINDS[0], e.x, e.y, e.button,
               e.key, e.mods, held);
        fflush(stdout);
    } while (e.kind != PLOTX_QUIT);
    return PLOTX_end() ? 0 : 1;
}
