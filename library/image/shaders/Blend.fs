/*{
    "ISFVSN": "2.0",
    "DESCRIPTION": "Lays one image over another with a blend mode and an opacity.",
    "CATEGORIES": ["Composite"],
    "INPUTS": [
        {"NAME": "inputImage", "TYPE": "image", "LABEL": "the image underneath"},
        {"NAME": "inputTopImage", "TYPE": "image", "LABEL": "the image laid over it"},
        {"NAME": "inputMode", "TYPE": "long", "DEFAULT": 0, "VALUES": [0, 1, 2, 3, 4, 5, 6, 7],
         "LABELS": ["normal", "add", "multiply", "screen", "overlay", "difference", "lighten", "darken"],
         "LABEL": "how the top image's colours combine with those underneath"},
        {"NAME": "inputOpacity", "TYPE": "float", "DEFAULT": 1.0, "MIN": 0.0, "MAX": 1.0,
         "LABEL": "opacity of the top image"}
    ]
}*/

// Colours are premultiplied: a blend mode works on straight colour, then the
// result is premultiplied again and laid over the base.
vec3 straight(vec4 c) { return c.a > 0.0 ? c.rgb / c.a : vec3(0.0); }

void main() {
    vec4 base = IMG_THIS_NORM_PIXEL(inputImage);
    vec4 top = IMG_NORM_PIXEL(inputTopImage, isf_FragNormCoord) * inputOpacity;
    vec3 b = straight(base), t = straight(top);
    vec3 mixed = t;
    if (inputMode == 1) mixed = min(b + t, 1.0);
    else if (inputMode == 2) mixed = b * t;
    else if (inputMode == 3) mixed = 1.0 - (1.0 - b) * (1.0 - t);
    else if (inputMode == 4) mixed = mix(2.0 * b * t, 1.0 - 2.0 * (1.0 - b) * (1.0 - t), step(0.5, b));
    else if (inputMode == 5) mixed = abs(b - t);
    else if (inputMode == 6) mixed = max(b, t);
    else if (inputMode == 7) mixed = min(b, t);
    // Where there is nothing underneath, the top image's own colour shows.
    vec3 blended = mix(t, mixed, base.a);
    gl_FragColor = vec4(blended * top.a + base.rgb * (1.0 - top.a), top.a + base.a * (1.0 - top.a));
}
