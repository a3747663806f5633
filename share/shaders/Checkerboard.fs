/*{
    "ISFVSN": "2",
    "DESCRIPTION": "A checkerboard, optionally scrolling, for focus and geometry checks",
    "CREDIT": "Prismeta",
    "CATEGORIES": ["Generator", "Utility"],
    "INPUTS": [
        {"NAME": "squares", "TYPE": "float", "DEFAULT": 8.0, "MIN": 1.0, "MAX": 128.0},
        {"NAME": "scroll", "TYPE": "point2D", "DEFAULT": [0.0, 0.0], "MIN": [-1.0, -1.0], "MAX": [1.0, 1.0]},
        {"NAME": "colorA", "TYPE": "color", "DEFAULT": [1.0, 1.0, 1.0, 1.0]},
        {"NAME": "colorB", "TYPE": "color", "DEFAULT": [0.0, 0.0, 0.0, 1.0]}
    ]
}*/

void main() {
    vec2 cell = floor((isf_FragNormCoord + scroll * TIME) * squares);
    // Alternate by the parity of the cell's row plus column.
    gl_FragColor = mod(cell.x + cell.y, 2.0) < 1.0 ? colorA : colorB;
}
