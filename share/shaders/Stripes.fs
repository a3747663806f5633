/*{
    "ISFVSN": "2",
    "DESCRIPTION": "Hard-edged stripes of two colours at any angle",
    "CREDIT": "Prismeta",
    "CATEGORIES": ["Generator"],
    "INPUTS": [
        {"NAME": "count", "TYPE": "float", "DEFAULT": 8.0, "MIN": 1.0, "MAX": 100.0},
        {"NAME": "angle", "TYPE": "float", "DEFAULT": 0.785, "MIN": 0.0, "MAX": 3.1416},
        {"NAME": "width", "TYPE": "float", "DEFAULT": 0.5, "MIN": 0.0, "MAX": 1.0},
        {"NAME": "colorA", "TYPE": "color", "DEFAULT": [1.0, 1.0, 1.0, 1.0]},
        {"NAME": "colorB", "TYPE": "color", "DEFAULT": [0.0, 0.0, 0.0, 1.0]}
    ]
}*/

void main() {
    vec2 direction = vec2(cos(angle), sin(angle));
    // Distance along the direction in stripe periods.
    float s = fract(dot(isf_FragNormCoord, direction) * count);
    gl_FragColor = s < width ? colorA : colorB;
}
