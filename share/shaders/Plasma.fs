/*{
    "ISFVSN": "2",
    "DESCRIPTION": "Classic plasma: sums of moving sine waves mapped to colour",
    "CREDIT": "Prismeta",
    "CATEGORIES": ["Generator"],
    "INPUTS": [
        {"NAME": "speed", "TYPE": "float", "DEFAULT": 1.0, "MIN": 0.0, "MAX": 5.0},
        {"NAME": "scale", "TYPE": "float", "DEFAULT": 10.0, "MIN": 1.0, "MAX": 40.0}
    ]
}*/

void main() {
    vec2 p = (isf_FragNormCoord - 0.5) * scale;
    float t = TIME * speed;
    // Four waves: along x, along y, diagonal and circular.
    float v = sin(p.x + t) + sin(p.y + t * 0.7) + sin((p.x + p.y) * 0.5 + t * 1.3) +
              sin(length(p) + t * 0.9);
    // v in [-4, 4]: phase-shifted cosines give the three channels.
    vec3 colour = 0.5 + 0.5 * cos(3.14159 * v * 0.5 + vec3(0.0, 2.094, 4.188));
    gl_FragColor = vec4(colour, 1.0);
}
