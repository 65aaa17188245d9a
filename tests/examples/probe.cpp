// probe.cpp - reads a saved picture with the tests' PNG reader and checks colours at canvas
// points, so that each example's picture is held to a fact of its program, not only to the
// copy in docs/images that the library itself made.
//   example-probe FILE X,Y=RRGGBB ...    (canvas coordinates; exit status 1 on a mismatch)
#include <cstdio>
#include <cstdlib>
#include <string>
#include "host/png/png_reader.h"
#include "plotx.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: example-probe FILE X,Y=RRGGBB ...\n");
        return 2;
    }
    const px::Png png = px::read_png(argv[1]);
    if (!png.ok || png.width != VISIBLE_WIDTH || png.height != VISIBLE_HEIGHT) {
        std::fprintf(stderr, "%s: not a %dx%d picture: %s\n", argv[1], VISIBLE_WIDTH, VISIBLE_HEIGHT, png.error.c_str());
        return 1;
    }
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        int x = 0, y = 0;
        unsigned want = 0;
        if (std::sscanf(argv[i], "%d,%d=%x", &x, &y, &want) != 3 || x < VISIBLE_LEFT || x > VISIBLE_RIGHT ||
            y < VISIBLE_BOTTOM || y > VISIBLE_TOP) {
            std::fprintf(stderr, "bad probe %s\n", argv[i]);
            return 2;
        }
        const unsigned got = png.at(static_cast<unsigned>(x - VISIBLE_LEFT), static_cast<unsigned>(VISIBLE_TOP - y));
        if (got != want) {
            std::fprintf(stderr, "%s: (%d,%d) is %06X, not %06X\n", argv[1], x, y, got, want);
            status = 1;
        }
    }
    return status;
}
