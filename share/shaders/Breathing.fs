/*{
    "ISFVSN": "2",
    "DESCRIPTION": "A solid colour breathing slowly between dim and full",
    "CREDIT": "Prismeta",
    "CATEGORIES": ["Generator"],
    "INPUTS": [
        {"NAME": "color", "TYPE": "color", "DEFAULT": [1.0, 0.6, 0.3, 1.0]},
        {"NAME": "period", "TYPE": "float", "DEFAULT": 4.0, "MIN": 0.1, "MAX": 60.0},
        {"NAME": "depth", "TYPE": "float", "DEFAULT": 0.6, "MIN": 0.0, "MAX": 1.0}
    ]
}*/

void main() {
    // A cosine from 1 down to (1 - depth) and back, once per period.
    float level = 1.0 - depth * (0.5 - 0.5 * cos(6.2832 * TIME / period));
    gl_FragColor = vec4(color.rgb * level, color.a);
}
