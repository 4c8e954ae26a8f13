#version 120
// A film look. The picture's own colour (Color) mixed with four tones of its luminance
// (monochrome, brown, green and blue sepia); then contrast around mid-grey and brightness;
// then grain that moves with "time" and dark scanlines on every other row.
// "time" starts near 1000 and grows, so the grain hashes only its fractional part and the
// pixel position: no sine of large numbers, no banding.
uniform sampler2D tex;
uniform float time;
uniform float Color;
uniform float Monochrome;
uniform float BrownSepia;
uniform float GreenSepia;
uniform float BlueSepia;
uniform float Contrast;
uniform float Brightness;
uniform float FilmgrainAmount;
uniform float ScanlineAmount;

float grain(vec2 p)
{
    vec3 q = fract(vec3(p.xyx) * 0.1031);
    q += dot(q, q.yzx + 33.33);
    return fract((q.x + q.y) * q.z);
}

void main()
{
    vec4 picture = texture2D(tex, gl_TexCoord[0].st);
    float luminance = dot(picture.rgb, vec3(0.299, 0.587, 0.114));
    vec3 toned = picture.rgb * Color + luminance * (Monochrome * vec3(1.0) + BrownSepia * vec3(1.07, 0.74, 0.43) +
                                                    GreenSepia * vec3(0.62, 0.88, 0.55) + BlueSepia * vec3(0.55, 0.72, 1.05));
    vec3 colour = (toned - 0.5) * Contrast + 0.5 + Brightness;
    vec2 moving = gl_FragCoord.xy + fract(time * vec2(0.6180, 0.4142)) * vec2(811.0, 577.0);
    colour += (grain(moving) - 0.5) * FilmgrainAmount;
    colour *= 1.0 - ScanlineAmount * mod(floor(gl_FragCoord.y), 2.0);
    gl_FragColor = vec4(clamp(colour, 0.0, 1.0), picture.a);
}
