/*{
    "ISFVSN": "2",
    "DESCRIPTION": "Smooth value noise drifting over the surface",
    "CREDIT": "Prismeta",
    "CATEGORIES": ["Generator"],
    "INPUTS": [
        {"NAME": "scale", "TYPE": "float", "DEFAULT": 8.0, "MIN": 1.0, "MAX": 64.0},
        {"NAME": "speed", "TYPE": "float", "DEFAULT": 0.5, "MIN": 0.0, "MAX": 4.0},
        {"NAME": "tint", "TYPE": "color", "DEFAULT": [1.0, 1.0, 1.0, 1.0]}
    ]
}*/

// A repeatable pseudo-random value per lattice point.
float hash(vec2 p) {
    return fract(sin(dot(p, vec2(127.1, 311.7))) * 43758.5453);
}

// Value noise: the lattice values around p blended with a smooth step.
float noise(vec2 p) {
    vec2 i = floor(p);
    vec2 f = fract(p);
    vec2 u = f * f * (3.0 - 2.0 * f);
    return mix(mix(hash(i), hash(i + vec2(1.0, 0.0)), u.x),
               mix(hash(i + vec2(0.0, 1.0)), hash(i + vec2(1.0, 1.0)), u.x), u.y);
}

void main() {
    vec2 p = isf_FragNormCoord * scale + vec2(TIME * speed, TIME * speed * 0.7);
    // Two octaves for a little detail.
    float n = 0.65 * noise(p) + 0.35 * noise(p * 2.0 + 17.0);
    gl_FragColor = vec4(tint.rgb * n, tint.a);
}
