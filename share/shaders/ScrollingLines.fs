/*{
    "ISFVSN": "2",
    "DESCRIPTION": "Thin lines scrolling across the surface, horizontal or vertical",
    "CREDIT": "Prismeta",
    "CATEGORIES": ["Generator"],
    "INPUTS": [
        {"NAME": "lines", "TYPE": "float", "DEFAULT": 12.0, "MIN": 1.0, "MAX": 200.0},
        {"NAME": "thickness", "TYPE": "float", "DEFAULT": 0.1, "MIN": 0.01, "MAX": 1.0},
        {"NAME": "speed", "TYPE": "float", "DEFAULT": 0.5, "MIN": -4.0, "MAX": 4.0},
        {"NAME": "vertical", "TYPE": "bool", "DEFAULT": false},
        {"NAME": "color", "TYPE": "color", "DEFAULT": [1.0, 1.0, 1.0, 1.0]}
    ]
}*/

void main() {
    float along = vertical ? isf_FragNormCoord.x : isf_FragNormCoord.y;
    float s = fract(along * lines + TIME * speed);
    // Anti-aliased line edges, about one pixel wide.
    float pixel = lines / (vertical ? RENDERSIZE.x : RENDERSIZE.y);
    float line = 1.0 - smoothstep(thickness - pixel, thickness + pixel, s);
    gl_FragColor = vec4(color.rgb * line, color.a);
}
