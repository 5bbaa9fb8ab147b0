/*{
    "ISFVSN": "2.0",
    "DESCRIPTION": "Softens an image: a box blur across, then down.",
    "CATEGORIES": ["Blur"],
    "INPUTS": [
        {"NAME": "inputImage", "TYPE": "image", "LABEL": "the image to blur"},
        {"NAME": "inputRadius", "TYPE": "float", "DEFAULT": 4.0, "MIN": 0.0, "MAX": 32.0, "LABEL": "pixels on each side"}
    ],
    "PASSES": [{"TARGET": "across"}, {}]
}*/

void main() {
    int r = int(inputRadius);
    vec2 step = PASSINDEX == 0 ? vec2(1.0, 0.0) : vec2(0.0, 1.0);
    vec4 sum = vec4(0.0);
    // A constant bound, as old GLSL wants; the loop ends at the radius.
    for (int i = 0; i <= 64; ++i) {
        if (i > 2 * r) break;
        vec2 at = gl_FragCoord.xy + step * float(i - r);
        sum += PASSINDEX == 0 ? IMG_PIXEL(inputImage, at) : IMG_PIXEL(across, at);
    }
    gl_FragColor = sum / float(2 * r + 1);
}
