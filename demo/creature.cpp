// creature.cpp - the creature: its walk toward the target with alternating strides, the
// perspective scale, stepping on vehicles, and its three pose drawings. The figure is
// kept as triangle tables in units of the pose's vertical and horizontal lengths.
#include "demo.h"
#include "plotx.h"

namespace {

// A vertex (a, b) is the canvas point (x + a*h, y + b*d).
struct Triangle {
    int a1, b1, a2, b2, a3, b3;
};
constexpr int LEG_TRIANGLES = 5;

// Drawn first, so the body covers it.
constexpr Triangle FAR_LEG_DOWN[LEG_TRIANGLES] = {
    {1, 1, -1, 3, -5, 1},
    {1, 9, -5, 1, -1, 3},
    {1, 9, -3, 5, -5, 1},
    {1, 9, -3, 11, -6, 7},
    {1, 9, -6, 7, -3, 5},
};
constexpr Triangle FAR_LEG_UP[LEG_TRIANGLES] = {
    {7, 5, 4, 7, 1, 5},
    {5, 11, 1, 5, 4, 7},
    {5, 11, 1, 7, 1, 5},
    {5, 11, -3, 9, 1, 7},
    {1, 7, -3, 9, -3, 5},
};
constexpr Triangle BODY[] = {
    {10, 20, 4, 23, 0, 20},
    {10, 20, 7, 19, 0, 20},
    {7, 19, 8, 16, 4, 18},
    {7, 19, 0, 20, 4, 18},
    {4, 18, 0, 20, 0, 2},
    {0, 2, 0, 20, -6, 8},
    {0, 2, -6, 8, -6, 4},
    {-6, 4, -6, 8, -16, 4},
};
constexpr Triangle ARM[] = {
    {6, 12, 6, 13, 2, 15},
    {6, 12, 2, 15, 2, 14},
};
// Drawn after the body and arm, so it covers them.
constexpr Triangle NEAR_LEG_DOWN[LEG_TRIANGLES] = {
    {0, 0, -2, 2, -6, 0},
    {0, 8, -6, 0, -2, 2},
    {0, 8, -4, 4, -6, 0},
    {0, 8, -4, 10, -7, 6},
    {0, 8, -7, 6, -4, 4},
};
constexpr Triangle NEAR_LEG_UP[LEG_TRIANGLES] = {
    {6, 4, 3, 6, 0, 4},
    {4, 10, 0, 4, 3, 6},
    {4, 10, 0, 6, 0, 4},
    {4, 10, -4, 8, 0, 6},
    {0, 6, -4, 8, -4, 4},
};
constexpr Triangle EYE = {6, 21, 4, 22, 5, 21};

static_assert(LEG_TRIANGLES + sizeof BODY / sizeof BODY[0] + sizeof ARM / sizeof ARM[0] + LEG_TRIANGLES + 1 ==
                  CREATURE_TRIANGLES,
              "the figure is 21 triangles");

constexpr int STOMP_REACH_BEHIND = 60;  // across: from 60 behind the foot point...
constexpr int STOMP_REACH_AHEAD = 20;   // ...to 20 in front of it
constexpr int STOMP_BELOW = 10;         // along: from 10 below...
constexpr int STOMP_ABOVE = 15;         // ...to 15 above

void draw_group(const Triangle* t, int n, int color, int x, int y, int h, int d) {
    for (int i = 0; i < n; ++i)
        PLOTX_draw_triangle(color, x + t[i].a1 * h, y + t[i].b1 * d, x + t[i].a2 * h, y + t[i].b2 * d,
                            x + t[i].a3 * h, y + t[i].b3 * d, 0);
}

void draw_figure(const Triangle* far_leg, const Triangle* near_leg, int x, int y, int facing, double scale) {
    const int d = static_cast<int>(scale * 10.0);
    const int h = static_cast<int>(static_cast<double>(facing * 10) * scale);
    draw_group(far_leg, LEG_TRIANGLES, BLACK, x, y, h, d);
    draw_group(BODY, sizeof BODY / sizeof BODY[0], FOREST_GREEN, x, y, h, d);
    draw_group(ARM, sizeof ARM / sizeof ARM[0], GREEN, x, y, h, d);
    draw_group(near_leg, LEG_TRIANGLES, GREEN, x, y, h, d);
    draw_group(&EYE, 1, RED, x, y, h, d);
}

}  // namespace

void step_creature(int* creature_x, int* creature_y, int* pose, int* target_x, int* target_y, int traffic_speed,
                   int* facing, int* stride_ticks, double* scale) {
    const int s = 2 * traffic_speed;
    const int x = *creature_x, y = *creature_y;
    const int tx = *target_x, ty = *target_y;

    // Horizontal: a step that would pass the target stops on it and keeps the facing,
    // so walking straight up or down never turns the creature round.
    int nx;
    if (x > tx) {
        nx = x - s;
        if (nx < tx) nx = tx;
        else *facing = -1;
    } else {
        nx = x + s;
        if (nx > tx) nx = tx;
        else *facing = 1;
    }

    int ny;
    if (y > ty) {
        ny = y - s;
        if (ny < ty) ny = ty;
    } else {
        ny = y + s;
        if (ny > ty) ny = ty;
    }

    if (nx == tx && ny == ty) {
        *pose = POSE_STANDING;
        *stride_ticks = 0;
    } else if (++*stride_ticks >= 2) {
        *stride_ticks = 0;
        *pose = *pose == POSE_FAR_LEG_UP ? POSE_NEAR_LEG_UP : POSE_FAR_LEG_UP;
    }

    *creature_x = nx;
    *creature_y = ny;
    // Nearer the viewer (lower on the canvas) is larger; exactly 1 on the road's centre line.
    *scale = static_cast<double>(ROAD_Y - ny) * 0.0065 + 1.0;
}

void check_stomp(const int vehicle_x[], const int vehicle_y[], int vehicle_state[], int creature_x, int creature_y,
                 int vehicle_count, int facing, int* pose, int* stride_ticks) {
    const int left = facing == 1 ? creature_x - STOMP_REACH_BEHIND : creature_x - STOMP_REACH_AHEAD;
    const int right = facing == 1 ? creature_x + STOMP_REACH_AHEAD : creature_x + STOMP_REACH_BEHIND;
    for (int i = 0; i < vehicle_count; ++i) {
        if (vehicle_state[i] == VEHICLE_STOMPED || vehicle_state[i] == VEHICLE_CRUSHED) {
            vehicle_state[i] = VEHICLE_CRUSHED;
            continue;
        }
        const bool across = left <= vehicle_x[i] && vehicle_x[i] <= right;
        const bool along = creature_y - STOMP_BELOW <= vehicle_y[i] && vehicle_y[i] <= creature_y + STOMP_ABOVE;
        if (!across || !along) continue;
        vehicle_state[i] = VEHICLE_STOMPED;
        // A standing creature shows its near leg lifted for the one tick of the stomp; the
        // count of 2 makes a walking one go straight on to its far-leg stride.
        if (*pose == POSE_STANDING) {
            *pose = POSE_NEAR_LEG_UP;
            *stride_ticks = 2;
        }
    }
}

void draw_pose_standing(int x, int y, int facing, double scale) {
    draw_figure(FAR_LEG_DOWN, NEAR_LEG_DOWN, x, y, facing, scale);
}

void draw_pose_near_leg_up(int x, int y, int facing, double scale) {
    draw_figure(FAR_LEG_DOWN, NEAR_LEG_UP, x, y, facing, scale);
}

void draw_pose_far_leg_up(int x, int y, int facing, double scale) {
    draw_figure(FAR_LEG_UP, NEAR_LEG_DOWN, x, y, facing, scale);
}

void draw_creature(int x, int y, int pose, int facing, double scale) {
    switch (pose) {
        case POSE_STANDING: draw_pose_standing(x, y, facing, scale); break;
        case POSE_NEAR_LEG_UP: draw_pose_near_leg_up(x, y, facing, scale); break;
        case POSE_FAR_LEG_UP: draw_pose_far_leg_up(x, y, facing, scale); break;
        default: break;
    }
}
