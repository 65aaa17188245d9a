// traffic.cpp - the vehicle table (sorted by x, neighbours more than 60 apart), moving
// and removing vehicles, letting new ones enter at random, and the two vehicle shapes.
#include "demo.h"
#include "plotx.h"

namespace {

// A draw of r in 0..RANDOM_MAX admits a vehicle when r < RANDOM_MAX / 10, about one
// tick in ten.
bool draw_admits_vehicle(int r) { return r * 10 < RANDOM_MAX; }

void copy_entry(int vehicle_x[], int vehicle_y[], int vehicle_state[], int to, int from) {
    vehicle_x[to] = vehicle_x[from];
    vehicle_y[to] = vehicle_y[from];
    vehicle_state[to] = vehicle_state[from];
}

}  // namespace

void move_vehicles(int vehicle_x[], int vehicle_y[], int traffic_direction, int traffic_speed, int* vehicle_count,
                   int vehicle_state[]) {
    const int v = traffic_direction * traffic_speed;
    // From the top down, so whatever a left-end removal shifts has already moved.
    for (int i = *vehicle_count - 1; i >= 0; --i) {
        const int nx = vehicle_x[i] + v;
        if (nx > ROAD_END) {
            // Sorted and all moving alike: a vehicle leaving at the right is the last one.
            --*vehicle_count;
        } else if (nx < -ROAD_END) {
            for (int j = i + 1; j < *vehicle_count; ++j) copy_entry(vehicle_x, vehicle_y, vehicle_state, j - 1, j);
            --*vehicle_count;
        } else {
            vehicle_x[i] = nx;
        }
    }
}

void spawn_vehicle(int vehicle_x[], int vehicle_y[], int vehicle_state[], int traffic_direction, int* vehicle_count) {
    // One value per call, whether or not there is room, so replays stay in step.
    const int r = next_random();
    if (!draw_admits_vehicle(r)) return;
    const int n = *vehicle_count;
    if (n >= MAX_VEHICLES) return;
    if (traffic_direction == 1) {
        if (n > 0 && vehicle_x[0] <= -ENTRY_GAP_EDGE) return;
        for (int j = n; j > 0; --j) copy_entry(vehicle_x, vehicle_y, vehicle_state, j, j - 1);
        vehicle_x[0] = -ROAD_END;
        vehicle_y[0] = ROAD_Y;
        vehicle_state[0] = VEHICLE_INTACT;
        *vehicle_count = n + 1;
    } else if (traffic_direction == -1) {
        if (n > 0 && vehicle_x[n - 1] >= ENTRY_GAP_EDGE) return;
        vehicle_x[n] = ROAD_END;
        vehicle_y[n] = ROAD_Y;
        vehicle_state[n] = VEHICLE_INTACT;
        *vehicle_count = n + 1;
    }
}

void draw_car(int x, int y, int color) {
    PLOTX_draw_rectangle(color, x - 20, y + 6, x + 20, y + 18, 0);
    PLOTX_draw_rectangle(color, x - 6, y + 18, x + 6, y + 24, 0);
    PLOTX_draw_circle(BLACK, x - 10, y + 6, 6);
    PLOTX_draw_circle(BLACK, x + 10, y + 6, 6);
}

void draw_crushed_car(int x, int y, int color) {
    PLOTX_draw_rectangle(color, x - 20, y, x + 20, y + 6, 0);
    PLOTX_draw_rectangle(BLACK, x - 16, y, x - 4, y + 6, 0);
    PLOTX_draw_rectangle(BLACK, x + 4, y, x + 16, y + 6, 0);
    PLOTX_draw_triangle(color, x - 4, y + 6, x - 20, y + 6, x - 20, y + 7, 0);
    PLOTX_draw_triangle(color, x + 10, y + 6, x, y + 6, x + 26, y + 12, 0);
}

void draw_vehicles(const int vehicle_x[], const int vehicle_y[], const int vehicle_state[], int car_color,
                   int vehicle_count) {
    for (int i = 0; i < vehicle_count; ++i) {
        if (vehicle_state[i] == VEHICLE_CRUSHED)
            draw_crushed_car(vehicle_x[i], vehicle_y[i], car_color);
        else
            draw_car(vehicle_x[i], vehicle_y[i], car_color);
    }
}
