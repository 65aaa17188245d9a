// demo_main.cpp - the demo's main routine: start-up, the event loop and its dispatch,
// the periodic update of sun, traffic and creature, and the full redraw after every event.
// The state lives in demo_main's own DemoState; the pieces take it by reference.
#include "demo.h"
#include "plotx.h"

namespace {

int clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

}  // namespace

void periodic_update(DemoState& s) {
    advance_sun(&s.sun_x, &s.sun_y);
    // A stopped road draws no random value, so a replay's traffic depends only on the
    // ticks it ran.
    if (s.traffic_running) {
        move_vehicles(s.vehicle_x, s.vehicle_y, s.traffic_direction, s.traffic_speed, &s.vehicle_count,
                      s.vehicle_state);
        spawn_vehicle(s.vehicle_x, s.vehicle_y, s.vehicle_state, s.traffic_direction, &s.vehicle_count);
    }
    step_creature(&s.creature_x, &s.creature_y, &s.creature_pose, &s.target_x, &s.target_y, s.traffic_speed,
                  &s.creature_facing, &s.stride_ticks, &s.creature_scale);
    check_stomp(s.vehicle_x, s.vehicle_y, s.vehicle_state, s.creature_x, s.creature_y, s.vehicle_count,
                s.creature_facing, &s.creature_pose, &s.stride_ticks);
}

void handle_event(DemoState& s, int kind) {
    switch (kind) {
        case PLOTX_MOUSE:
            if (point_in_panel(s.mouse_x, s.mouse_y)) {
                press_button(s.mouse_x, s.mouse_y, &s.traffic_running, &s.traffic_speed, &s.traffic_direction,
                             &s.car_color);
            } else if (s.mouse_y <= HORIZON_Y) {
                // A click on the window always lies on the ground already; a replayed
                // script may name any point, and a target far outside would make the
                // walk and the figure's arithmetic overflow.
                s.target_x = clamp(s.mouse_x, GROUND_LEFT, GROUND_RIGHT);
                s.target_y = clamp(s.mouse_y, GROUND_BOTTOM, HORIZON_Y);
            }
            break;
        case PLOTX_PERIODIC:
            periodic_update(s);
            break;
        case PLOTX_QUIT:
            s.quit_seen = 1;
            break;
        default:
            // Typed characters have no effect of their own; the picture is redrawn as is.
            break;
    }
}

void redraw(const DemoState& s) {
    // Nothing is cleared: the sky covers every pixel the window shows.
    draw_scene(s.sun_x, s.sun_y);
    draw_panel();
    draw_vehicles(s.vehicle_x, s.vehicle_y, s.vehicle_state, s.car_color, s.vehicle_count);
    draw_creature(s.creature_x, s.creature_y, s.creature_pose, s.creature_facing, s.creature_scale);
}

void demo_start(DemoState& s, void* instance, void* prev_instance, const char* cmd_line, int show_mode) {
    seed_random();
    PLOTX_begin(instance, prev_instance, cmd_line, show_mode);
    PLOTX_set_logging(0);
    PLOTX_clear_canvas();
    PLOTX_set_animation(RUN_ANIMATE);
    s = DemoState{};
    redraw(s);
}

int demo_step(DemoState& s) {
    const int kind = PLOTX_wait_event(&s.mouse_x, &s.mouse_y, &s.key);
    handle_event(s, kind);
    redraw(s);  // after every event, the quit event included
    return kind;
}

void demo_finish() { PLOTX_end(); }

int demo_main(void* instance, void* prev_instance, const char* cmd_line, int show_mode) {
    DemoState s;
    demo_start(s, instance, prev_instance, cmd_line, show_mode);
    do {
        demo_step(s);
    } while (!s.quit_seen);
    demo_finish();
    return 0;
}
