/*{
    "ISFVSN": "2.0",
    "DESCRIPTION": "Softens an image: a box blur across, then down.",
    "CATEGORIES": ["Blur"],
    "INPUTS": [
        {"NAME": "inputImage", "TYPE": "image", "LABEL": "the image to blur"},
        {"NAME": "inputRadius", "TYPE": "float", "DEFAULT": 4.0, "MIN": 0.0, "MAX": 32.0, "LABEL": "pixels on each side"}
    ],
    "PASSES": [{"TARGET": "rows"}, {}]
}*/

void main() {
    int r = int(inputRadius);
    vec4 sum = vec4(0.0);
    // One loop per pass, so that each reads only its own image. A constant
    // bound, as old GLSL wants; the loop ends at the radius.
    if (PASSINDEX == 0) {
        for (int i = 0; i <= 64; ++i) {
            if (i > 2 * r) break;
            sum += IMG_PIXEL(inputImage, gl_FragCoord.xy + vec2(float(i - r), 0.0));
        }
    } else {
        for (int i = 0; i <= 64; ++i) {
            if (i > 2 * r) break;
            sum += IMG_PIXEL(rows, gl_FragCoord.xy + vec2(0.0, float(i - r)));
        }
    }
    gl_FragColor = sum / float(2 * r + 1);
}
