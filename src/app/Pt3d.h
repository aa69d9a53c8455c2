#pragma once

// A point or offset in three dimensions; the canvas view offset.
struct Pt3d {
    double _x = 0.0;
    double _y = 0.0;
    double _z = 0.0;
};
