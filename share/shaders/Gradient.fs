/*{
    "ISFVSN": "2",
    "DESCRIPTION": "A linear gradient between two colours that turns slowly",
    "CREDIT": "Prismeta",
    "CATEGORIES": ["Generator"],
    "INPUTS": [
        {"NAME": "startColor", "TYPE": "color", "DEFAULT": [0.0, 0.2, 0.6, 1.0]},
        {"NAME": "endColor", "TYPE": "color", "DEFAULT": [1.0, 0.5, 0.1, 1.0]},
        {"NAME": "angle", "TYPE": "float", "DEFAULT": 0.0, "MIN": 0.0, "MAX": 6.2832},
        {"NAME": "spin", "TYPE": "float", "DEFAULT": 0.1, "MIN": -2.0, "MAX": 2.0}
    ]
}*/

void main() {
    // The direction of the gradient, turning with time.
    float a = angle + spin * TIME;
    vec2 direction = vec2(cos(a), sin(a));
    // Project the pixel (centred) on the direction; 0 to 1 across the surface.
    float t = dot(isf_FragNormCoord - 0.5, direction) / (abs(direction.x) + abs(direction.y)) + 0.5;
    gl_FragColor = mix(startColor, endColor, clamp(t, 0.0, 1.0));
}
