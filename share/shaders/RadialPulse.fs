/*{
    "ISFVSN": "2",
    "DESCRIPTION": "Rings pulsing outwards from a centre point",
    "CREDIT": "Prismeta",
    "CATEGORIES": ["Generator"],
    "INPUTS": [
        {"NAME": "center", "TYPE": "point2D", "DEFAULT": [0.5, 0.5], "MIN": [0.0, 0.0], "MAX": [1.0, 1.0]},
        {"NAME": "rings", "TYPE": "float", "DEFAULT": 6.0, "MIN": 1.0, "MAX": 40.0},
        {"NAME": "speed", "TYPE": "float", "DEFAULT": 1.0, "MIN": -4.0, "MAX": 4.0},
        {"NAME": "color", "TYPE": "color", "DEFAULT": [0.2, 0.8, 1.0, 1.0]}
    ]
}*/

void main() {
    // Distance to the centre in the surface's own proportions.
    vec2 d = (isf_FragNormCoord - center) * vec2(RENDERSIZE.x / RENDERSIZE.y, 1.0);
    float r = length(d);
    // A soft ring every 1/rings, travelling outwards with time.
    float wave = 0.5 + 0.5 * sin(6.2832 * (r * rings - TIME * speed));
    // Fading towards the edges.
    float fade = clamp(1.0 - r, 0.0, 1.0);
    gl_FragColor = vec4(color.rgb * wave * fade, color.a);
}
