#version 120
// Radial blur towards the picture's centre. Its users bind it without setting anything, so the
// sampler stays on unit 0 and the centre and strength are built in. The result is drawn
// additively: the average of black samples is black and adds nothing.
uniform sampler2D tex;

const vec2 centre = vec2(0.5, 0.5);
const float strength = 0.35;
// Eight samples over the same length, each weighing as much as two did: half the texture
// reads of sixteen for nearly the same trail, so the software rasteriser keeps up.
const int samples = 8;
const float falloff = 0.8464;  // 0.92 squared

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
        weight *= falloff;
    }
    gl_FragColor = sum / total * gl_Color;
}
