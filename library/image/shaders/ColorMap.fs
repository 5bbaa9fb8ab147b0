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

void main() {
    vec4 c = IMG_THIS_NORM_PIXEL(inputImage);
    float heat = clamp(dot(c.rgb, vec3(0.299, 0.587, 0.114)), 0.0, 1.0);
    // The stops, evenly spaced from 0 to 1; the choice is the same for every
    // pixel, so only the mixing below is done per pixel.
    vec3 s[8];
    int count = 5;
    if (inputPreset == 0) {
        s[0] = vec3(0.0); s[1] = vec3(0.5, 0.0, 0.0); s[2] = vec3(1.0, 0.35, 0.0);
        s[3] = vec3(1.0, 0.85, 0.1); s[4] = vec3(1.0);
    } else if (inputPreset == 1) {
        count = 4;
        s[0] = vec3(0.0); s[1] = vec3(0.0, 0.15, 0.5); s[2] = vec3(0.3, 0.7, 1.0); s[3] = vec3(1.0);
    } else if (inputPreset == 2) {
        count = 2;
        s[0] = vec3(0.0); s[1] = vec3(1.0);
    } else {
        count = int(clamp(inputStops, 2.0, 8.0));
        s[0] = stop0.rgb; s[1] = stop1.rgb; s[2] = stop2.rgb; s[3] = stop3.rgb;
        s[4] = stop4.rgb; s[5] = stop5.rgb; s[6] = stop6.rgb; s[7] = stop7.rgb;
    }
    float at = heat * float(count - 1);
    vec3 colour = s[0];
    for (int k = 1; k < 8; ++k) {
        if (k >= count) break;
        colour = mix(colour, s[k], clamp(at - float(k - 1), 0.0, 1.0));
    }
    gl_FragColor = vec4(colour * c.a, c.a);
}
