#version 120
// Radial blur towards the picture's centre. Its users bind it without setting anything, so the
// sampler stays on unit 0 and the centre and strength are built in. The result is drawn
// additively: the average of black samples is black and adds nothing.
uniform sampler2D tex;

const vec2 centre = vec2(0.5, 0.5);
const float strength = 0.35;
const int samples = 16;

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec2 step = (centre - uv) * (strength / float(samples));
    vec4 sum = vec4(0.0);
    float weight = 1.0;
    float total = 0.0;
    for (int i = 0; i < samples; ++i) {
        sum += texture2D(tex, uv + step * float(i)) * weight;
        total += weight;
        weight *= 0.92;
    }
    gl_FragColor = sum / total * gl_Color;
}
