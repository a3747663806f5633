/*{
    "ISFVSN": "2",
    "DESCRIPTION": "Light chasing around the surface's edge, like a marquee",
    "CREDIT": "Prismeta",
    "CATEGORIES": ["Generator"],
    "INPUTS": [
        {"NAME": "border", "TYPE": "float", "DEFAULT": 0.05, "MIN": 0.005, "MAX": 0.5},
        {"NAME": "dashes", "TYPE": "long", "VALUES": [1, 2, 4, 8, 16], "LABELS": ["1", "2", "4", "8", "16"], "DEFAULT": 4},
        {"NAME": "speed", "TYPE": "float", "DEFAULT": 0.25, "MIN": -2.0, "MAX": 2.0},
        {"NAME": "color", "TYPE": "color", "DEFAULT": [1.0, 0.9, 0.6, 1.0]}
    ]
}*/

// Position around the edge, 0 to 1, by the angle seen from the centre.
float around(vec2 p) {
    vec2 c = p - 0.5;
    return atan(c.y, c.x) / 6.2832 + 0.5;
}

void main() {
    vec2 p = isf_FragNormCoord;
    // Only a band along the border lights up.
    float distanceToEdge = min(min(p.x, 1.0 - p.x), min(p.y, 1.0 - p.y));
    float band = step(distanceToEdge, border);
    // Dashes travel around the edge.
    float phase = fract(around(p) * float(dashes) - TIME * speed);
    float lit = smoothstep(0.0, 0.1, phase) * (1.0 - smoothstep(0.4, 0.5, phase));
    gl_FragColor = vec4(color.rgb * band * lit, color.a);
}
