/*{
    "ISFVSN": "2.0",
    "DESCRIPTION": "Trails: each frame lays the image over what was there, which fades.",
    "CATEGORIES": ["Feedback"],
    "INPUTS": [
        {"NAME": "inputImage", "TYPE": "image", "LABEL": "the image leaving trails"},
        {"NAME": "inputDecay", "TYPE": "float", "DEFAULT": 0.9, "MIN": 0.0, "MAX": 1.0, "LABEL": "how much of the trail stays each frame"}
    ],
    "PASSES": [{"TARGET": "trail", "PERSISTENT": true}]
}*/

void main() {
    vec4 now = IMG_THIS_NORM_PIXEL(inputImage);
    vec4 before = IMG_THIS_NORM_PIXEL(trail) * inputDecay;
    gl_FragColor = now + before * (1.0 - now.a);
}
