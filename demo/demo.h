// demo.h - the demo application's state record, scene constants and operations: the
// main routine and its loop, the scene and control panel, the traffic and the creature.
// The demo keeps no process-wide state; every operation gets what it needs as arguments.
#pragma once

// Scene, in canvas coordinates.
constexpr int ROAD_Y = -100;
constexpr int HORIZON_Y = -50;
constexpr int PANEL_LEFT = -295;
constexpr int PANEL_RIGHT = -220;
constexpr int PANEL_TOP = 245;
constexpr int PANEL_BOTTOM = 95;
constexpr int BUTTON_HEIGHT = 25;

// Where a target may lie: the ground as drawn. Every click on the window falls inside;
// only a replayed script can name a point outside, and it is brought to the nearest edge.
constexpr int GROUND_LEFT = -300;
constexpr int GROUND_RIGHT = 300;
constexpr int GROUND_BOTTOM = -250;

// Traffic.
constexpr int MAX_VEHICLES = 10;
constexpr int ROAD_END = 320;       // vehicles enter at either end and leave beyond it
constexpr int ENTRY_GAP_EDGE = 260; // a neighbour must have cleared this before a newcomer enters
enum VehicleState { VEHICLE_INTACT = 0, VEHICLE_CRUSHED = 1, VEHICLE_STOMPED = 2 };

// Creature.
enum CreaturePose { POSE_STANDING = 0, POSE_NEAR_LEG_UP = 1, POSE_FAR_LEG_UP = 2 };
constexpr int CREATURE_TRIANGLES = 21;

// Everything the main routine owns for the run, at its initial values.
struct DemoState {
    int sun_x = 250, sun_y = 215;
    int traffic_running = 1;
    int traffic_speed = 5;
    int traffic_direction = 1;
    int car_color = 2;
    int vehicle_count = 0;
    int vehicle_x[MAX_VEHICLES] = {};
    int vehicle_y[MAX_VEHICLES] = {};
    int vehicle_state[MAX_VEHICLES] = {};
    int creature_x = 0, creature_y = -200;
    int target_x = 0, target_y = -200;
    int creature_pose = POSE_STANDING;
    int creature_facing = 1;
    int stride_ticks = 0;
    double creature_scale = 2.95;
    int quit_seen = 0;
    int mouse_x = 0, mouse_y = 0;
    char key = 0;
};

// The program's entry: start-up, the event loop until quit, PLOTX_end; returns 0.
int demo_main(void* instance, void* prev_instance, const char* cmd_line, int show_mode);

// demo_main in pieces, so a caller can drive the loop one event at a time.
// Start-up: seeds the generator, opens the library, draws the first frame.
void demo_start(DemoState& s, void* instance, void* prev_instance, const char* cmd_line, int show_mode);
// One pass of the loop: waits for an event, handles it, redraws. Returns the event kind.
int demo_step(DemoState& s);
void demo_finish();

// What an event does to the state (the mouse position is taken from s.mouse_x, s.mouse_y).
void handle_event(DemoState& s, int kind);
void periodic_update(DemoState& s);
// The whole picture: scene, panel, vehicles, creature.
void redraw(const DemoState& s);

// The platform runtime's pseudo-random generator: values 0..RANDOM_MAX.
constexpr int RANDOM_MAX = 32767;
// Seeds with PLOTX_SEED when that is set to a decimal number, else with the time in seconds.
void seed_random();
void seed_random_with(unsigned seed);
int next_random();

// Scene and control panel.
void draw_scene(int sun_x, int sun_y);
void draw_road(int road_y);
void draw_panel();
int point_in_panel(int x, int y);
void press_button(int x, int y, int* traffic_running, int* traffic_speed, int* traffic_direction, int* car_color);
void advance_sun(int* sun_x, int* sun_y);
extern const char* const DEMO_TITLE;
extern const char* const DEMO_INSTRUCTIONS;

// Traffic.
void move_vehicles(int vehicle_x[], int vehicle_y[], int traffic_direction, int traffic_speed, int* vehicle_count,
                   int vehicle_state[]);
void spawn_vehicle(int vehicle_x[], int vehicle_y[], int vehicle_state[], int traffic_direction, int* vehicle_count);
void draw_vehicles(const int vehicle_x[], const int vehicle_y[], const int vehicle_state[], int car_color,
                   int vehicle_count);
void draw_car(int x, int y, int color);
void draw_crushed_car(int x, int y, int color);

// Creature.
void step_creature(int* creature_x, int* creature_y, int* pose, int* target_x, int* target_y, int traffic_speed,
                   int* facing, int* stride_ticks, double* scale);
void check_stomp(const int vehicle_x[], const int vehicle_y[], int vehicle_state[], int creature_x, int creature_y,
                 int vehicle_count, int facing, int* pose, int* stride_ticks);
void draw_creature(int x, int y, int pose, int facing, double scale);
void draw_pose_standing(int x, int y, int facing, double scale);
void draw_pose_near_leg_up(int x, int y, int facing, double scale);
void draw_pose_far_leg_up(int x, int y, int facing, double scale);
