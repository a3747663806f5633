/*{
    "ISFVSN": "2",
    "DESCRIPTION": "A calibration sweep: a grid, a moving bar and a grey ramp to line up projectors",
    "CREDIT": "Prismeta",
    "CATEGORIES": ["Utility"],
    "INPUTS": [
        {"NAME": "gridCells", "TYPE": "float", "DEFAULT": 10.0, "MIN": 2.0, "MAX": 64.0},
        {"NAME": "sweepSeconds", "TYPE": "float", "DEFAULT": 4.0, "MIN": 0.5, "MAX": 60.0},
        {"NAME": "showRamp", "TYPE": "bool", "DEFAULT": true}
    ]
}*/

void main() {
    vec2 p = isf_FragNormCoord;
    vec3 c = vec3(0.0);
    // Grid lines one pixel wide, whatever the render size.
    vec2 cell = fract(p * gridCells);
    vec2 pixel = gridCells / RENDERSIZE;
    if (cell.x < pixel.x || cell.y < pixel.y) {
        c = vec3(0.6);
    }
    // The bottom eighth: a grey ramp from black to white.
    if (showRamp && p.y < 0.125) {
        c = vec3(floor(p.x * 16.0) / 15.0);
    }
    // A vertical bar sweeping left to right, then back.
    float x = abs(fract(TIME / sweepSeconds) * 2.0 - 1.0);
    if (abs(p.x - x) < 2.0 / RENDERSIZE.x) {
        c = vec3(1.0, 0.1, 0.1);
    }
    // Diagonals from corner to corner for the keystone.
    if (abs(p.x - p.y) < 1.5 / RENDERSIZE.y || abs(p.x - (1.0 - p.y)) < 1.5 / RENDERSIZE.y) {
        c = vec3(0.1, 1.0, 0.1);
    }
    gl_FragColor = vec4(c, 1.0);
}
