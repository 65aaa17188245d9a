/* regression.c - tests a student's program the way a grader would: replay a recorded session
 * with no window (headless, on a virtual clock, so it takes no time), keep the last picture
 * and compare it with the expected one, byte for byte.
 *   ./example-regression session.scr expected.png [actual.png]
 * Exit status 0 when the pictures match; a first run without expected.png writes it.
 * Record a session with Run > Record Script (Ctrl+R): it goes to PLOTX.SCR. */
#include <plotx.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#define setenv(name, value, overwrite) _putenv_s(name, value)
#else
int setenv(const char* name, const char* value, int overwrite); /* POSIX */
#endif

/* The student's program: a sun crossing the sky; each click builds a house, n changes roofs. */
static int student_main(void) {
    int sun_x = -250, houses = 0, roof = RED, x, y, kind = 0, i;
    int hx[10], hy[10], hroof[10];
    char key;
    PLOTX_begin(0, 0, "", 1);
    PLOTX_set_logging(0);
    PLOTX_set_animation(RUN_ANIMATE);
    while (kind != PLOTX_QUIT) {
        kind = PLOTX_wait_event(&x, &y, &key);
        if (kind == PLOTX_PERIODIC) sun_x += 10;
        if (kind == PLOTX_KBD && key == 'n') roof = roof == RED ? NAVY_BLUE : RED;
        if (kind == PLOTX_MOUSE && houses < 10) {
            hx[houses] = x; hy[houses] = y; hroof[houses] = roof; houses++;
        }
        PLOTX_clear_canvas();
        PLOTX_draw_rectangle(ICE_BLUE, VISIBLE_LEFT, VISIBLE_TOP, VISIBLE_RIGHT, 0, 0);
        PLOTX_draw_rectangle(SEA_GREEN, VISIBLE_LEFT, 0, VISIBLE_RIGHT, VISIBLE_BOTTOM, 0);
        PLOTX_draw_circle(YELLOW, sun_x, 180, 30);
        for (i = 0; i < houses; i++) {
            PLOTX_draw_rectangle(BROWN, hx[i] - 30, hy[i] + 40, hx[i] + 30, hy[i], 0);
            PLOTX_draw_triangle(hroof[i], hx[i] - 40, hy[i] + 40, hx[i] + 40, hy[i] + 40, hx[i], hy[i] + 80, 0);
        }
    }
    return PLOTX_end() ? 0 : 1;
}

static int copy_file(const char* from, const char* to) {
    char buffer[4096];
    size_t n;
    FILE *in = fopen(from, "rb"), *out = in ? fopen(to, "wb") : NULL;
    int ok = in && out;
    while (ok && (n = fread(buffer, 1, sizeof buffer, in)) > 0) ok = fwrite(buffer, 1, n, out) == n;
    if (in) fclose(in);
    if (out && fclose(out) != 0) ok = 0;
    return ok;
}

/* 1 when both files hold the same bytes, 0 when they differ, -1 when `a` cannot be read. */
static int same_file(const char* a, const char* b) {
    FILE *fa = fopen(a, "rb"), *fb = fopen(b, "rb");
    int ca, cb, same = fa && fb;
    if (!fa) same = -1;
    while (same == 1) {
        ca = getc(fa);
        cb = getc(fb);
        if (ca == EOF && cb == EOF) break;
        same = ca == cb;
    }
    if (fa) fclose(fa);
    if (fb) fclose(fb);
    return same;
}

int main(int argc, char** argv) {
    const char* actual = argc > 3 ? argv[3] : "actual.png";
    int same;
    if (argc < 3) {
        fprintf(stderr, "usage: %s session.scr expected.png [actual.png]\n", argv[0]);
        return 2;
    }
    /* The library plays PLOTX.SCR from the current directory, and ends the program with it. */
    if (!copy_file(argv[1], "PLOTX.SCR")) { fprintf(stderr, "cannot copy %s\n", argv[1]); return 2; }
    setenv("PLOTX_BACKEND", "headless", 1);
    setenv("PLOTX_PLAYBACK", "1", 1);
    setenv("PLOTX_SNAPSHOT", actual, 1);
    if (student_main() != 0) { fprintf(stderr, "the program failed\n"); return 1; }
    same = same_file(argv[2], actual);
    if (same < 0) {
        printf("no %s yet: recorded this run's picture as the expected one\n", argv[2]);
        return copy_file(actual, argv[2]) ? 0 : 2;
    }
    printf(same ? "PASS: the picture matches %s\n" : "FAIL: %s differs from %s\n", argv[2], actual);
    return same ? 0 : 1;
}
