#version 120
// Digital glitch over the picture on unit 0: bands of rows jump sideways and the colour
// channels split apart, changing in steps over "time". "amount" (0..1) is how much of the
// picture is hit and how hard; at 0 the picture passes unchanged.
uniform sampler2D tex;
uniform float time;
uniform float amount;

float hash(vec2 p)
{
    return fract(sin(dot(p, vec2(12.9898, 78.233))) * 43758.5453);
}

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    float frame = floor(time * 12.0);
    float band = floor(uv.y * 24.0);
    float hit = step(1.0 - amount, hash(vec2(band, frame)));
    float shift = (hash(vec2(frame, band)) - 0.5) * 0.2 * amount * hit;
    float split = 0.01 * amount * (0.5 + hash(vec2(frame, 7.0)));
    vec2 at = vec2(uv.x + shift, uv.y);
    vec4 centre = texture2D(tex, at);
    float red = texture2D(tex, at + vec2(split, 0.0)).r;
    float blue = texture2D(tex, at - vec2(split, 0.0)).b;
    gl_FragColor = vec4(red, centre.g, blue, centre.a) * gl_Color;
}
