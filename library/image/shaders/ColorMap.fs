/*{
    "ISFVSN": "2.0",
    "DESCRIPTION": "Colours an image by its brightness along a gradient (fire unless set otherwise).",
    "CATEGORIES": ["Color"],
    "INPUTS": [
        {"NAME": "inputImage", "TYPE": "image", "LABEL": "the image whose brightness picks the colour"},
        {"NAME": "inputPreset", "TYPE": "long", "DEFAULT": 0, "VALUES": [0, 1, 2, 3],
         "LABELS": ["fire", "ice", "grey", "custom"], "LABEL": "the gradient; custom uses the stops below"},
        {"NAME": "inputStops", "TYPE": "float", "DEFAULT": 2, "MIN": 2, "MAX": 8,
         "LABEL": "custom gradient: how many of the stops are used"},
        {"NAME": "stop0", "TYPE": "color", "DEFAULT": [0, 0, 0, 1], "LABEL": "custom gradient stop at 0"},
        {"NAME": "stop1", "TYPE": "color", "DEFAULT": [1, 1, 1, 1], "LABEL": "custom gradient stop"},
        {"NAME": "stop2", "TYPE": "color", "DEFAULT": [1, 1, 1, 1], "LABEL": "custom gradient stop"},
        {"NAME": "stop3", "TYPE": "color", "DEFAULT": [1, 1, 1, 1], "LABEL": "custom gradient stop"},
        {"NAME": "stop4", "TYPE": "color", "DEFAULT": [1, 1, 1, 1], "LABEL": "custom gradient stop"},
        {"NAME": "stop5", "TYPE": "color", "DEFAULT": [1, 1, 1, 1], "LABEL": "custom gradient stop"},
        {"NAME": "stop6", "TYPE": "color", "DEFAULT": [1, 1, 1, 1], "LABEL": "custom gradient stop"},
        {"NAME": "stop7", "TYPE": "color", "DEFAULT": [1, 1, 1, 1], "LABEL": "custom gradient stop"}
    ]
}*/

// Evenly spaced stops; `count` of them from 0 to 1.
vec3 gradient(float x, int count, vec4 s0, vec4 s1, vec4 s2, vec4 s3, vec4 s4, vec4 s5, vec4 s6, vec4 s7) {
    float at = clamp(x, 0.0, 1.0) * float(count - 1);
    int i = int(min(floor(at), float(count - 2)));
    float f = at - float(i);
    vec4 a = s0, b = s1;
    if (i == 1) { a = s1; b = s2; }
    else if (i == 2) { a = s2; b = s3; }
    else if (i == 3) { a = s3; b = s4; }
    else if (i == 4) { a = s4; b = s5; }
    else if (i == 5) { a = s5; b = s6; }
    else if (i == 6) { a = s6; b = s7; }
    return mix(a.rgb, b.rgb, f);
}

void main() {
    vec4 c = IMG_THIS_NORM_PIXEL(inputImage);
    float heat = dot(c.rgb, vec3(0.299, 0.587, 0.114));
    vec3 colour;
    if (inputPreset == 0)
        colour = gradient(heat, 5, vec4(0.0, 0.0, 0.0, 1.0), vec4(0.5, 0.0, 0.0, 1.0), vec4(1.0, 0.35, 0.0, 1.0),
                          vec4(1.0, 0.85, 0.1, 1.0), vec4(1.0, 1.0, 1.0, 1.0), vec4(1.0), vec4(1.0), vec4(1.0));
    else if (inputPreset == 1)
        colour = gradient(heat, 4, vec4(0.0, 0.0, 0.0, 1.0), vec4(0.0, 0.15, 0.5, 1.0), vec4(0.3, 0.7, 1.0, 1.0),
                          vec4(1.0, 1.0, 1.0, 1.0), vec4(1.0), vec4(1.0), vec4(1.0), vec4(1.0));
    else if (inputPreset == 2)
        colour = vec3(heat);
    else
        colour = gradient(heat, int(clamp(inputStops, 2.0, 8.0)), stop0, stop1, stop2, stop3, stop4, stop5, stop6, stop7);
    gl_FragColor = vec4(colour * c.a, c.a);
}
