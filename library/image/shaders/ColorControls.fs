/*{
    "ISFVSN": "2.0",
    "DESCRIPTION": "Brightness, contrast, saturation and hue of an image.",
    "CATEGORIES": ["Color"],
    "INPUTS": [
        {"NAME": "inputImage", "TYPE": "image", "LABEL": "the image to adjust"},
        {"NAME": "inputBrightness", "TYPE": "float", "DEFAULT": 0.0, "MIN": -1.0, "MAX": 1.0, "LABEL": "added to every colour"},
        {"NAME": "inputContrast", "TYPE": "float", "DEFAULT": 1.0, "MIN": 0.0, "MAX": 4.0, "LABEL": "spread around mid grey; 1 leaves it"},
        {"NAME": "inputSaturation", "TYPE": "float", "DEFAULT": 1.0, "MIN": 0.0, "MAX": 4.0, "LABEL": "0 is grey, 1 leaves it"},
        {"NAME": "inputHue", "TYPE": "float", "DEFAULT": 0.0, "MIN": -180.0, "MAX": 180.0, "LABEL": "turns the colours, in degrees"}
    ]
}*/

vec3 hueTurn(vec3 c, float degrees) {
    // Rotation about the grey axis.
    float a = radians(degrees);
    vec3 k = vec3(0.57735);
    return c * cos(a) + cross(k, c) * sin(a) + k * dot(k, c) * (1.0 - cos(a));
}

void main() {
    vec4 p = IMG_THIS_NORM_PIXEL(inputImage);
    vec3 c = p.a > 0.0 ? p.rgb / p.a : vec3(0.0);
    // The same for every pixel: no turn costs llvmpipe no sines and cosines.
    if (inputHue != 0.0) c = hueTurn(c, inputHue);
    float grey = dot(c, vec3(0.299, 0.587, 0.114));
    c = mix(vec3(grey), c, inputSaturation);
    c = (c - 0.5) * inputContrast + 0.5 + inputBrightness;
    gl_FragColor = vec4(clamp(c, 0.0, 1.0) * p.a, p.a);
}
