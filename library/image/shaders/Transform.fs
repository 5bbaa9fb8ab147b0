/*{
    "ISFVSN": "2.0",
    "DESCRIPTION": "Moves, scales, turns and crops an image.",
    "CATEGORIES": ["Geometry"],
    "INPUTS": [
        {"NAME": "inputImage", "TYPE": "image", "LABEL": "the image to move"},
        {"NAME": "inputX", "TYPE": "float", "DEFAULT": 0.0, "MIN": -1.0, "MAX": 1.0, "LABEL": "move right, in image widths"},
        {"NAME": "inputY", "TYPE": "float", "DEFAULT": 0.0, "MIN": -1.0, "MAX": 1.0, "LABEL": "move up, in image heights"},
        {"NAME": "inputScale", "TYPE": "float", "DEFAULT": 1.0, "MIN": 0.01, "MAX": 10.0, "LABEL": "size; 1 leaves it"},
        {"NAME": "inputRotation", "TYPE": "float", "DEFAULT": 0.0, "MIN": -360.0, "MAX": 360.0, "LABEL": "turn anticlockwise, in degrees"},
        {"NAME": "inputCrop", "TYPE": "float", "DEFAULT": 0.0, "MIN": 0.0, "MAX": 0.5, "LABEL": "cut from each edge, as a fraction"}
    ]
}*/

void main() {
    vec2 size = RENDERSIZE;
    vec2 p = (isf_FragNormCoord - 0.5 - vec2(inputX, inputY)) * size;
    float a = radians(-inputRotation);
    p = mat2(cos(a), sin(a), -sin(a), cos(a)) * p / inputScale;
    vec2 uv = p / size + 0.5;
    bool inside = all(greaterThanEqual(uv, vec2(inputCrop))) && all(lessThanEqual(uv, vec2(1.0 - inputCrop)));
    gl_FragColor = inside ? IMG_NORM_PIXEL(inputImage, uv) : vec4(0.0);
}
