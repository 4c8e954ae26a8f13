#version 120
// Additive radial blur: each pixel gathers the texture along the line toward the origin with
// weights that fall by "step" per sample, scaled by the intensity. It is drawn with (one, one)
// blending, so black adds nothing. RadialBlurParams: origin x, y, step, intensity.
uniform sampler2D tex;
uniform vec4 RadialBlurParams;

const int samples = 32;

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec2 toward = (RadialBlurParams.xy - uv) / float(samples);
    float decay = clamp(RadialBlurParams.z, 0.0, 1.0);
    vec4 sum = vec4(0.0);
    float total = 0.0;
    float weight = 1.0;
    for (int i = 0; i < samples; ++i) {
        sum += texture2D(tex, uv + toward * float(i)) * weight;
        total += weight;
        weight *= decay;
    }
    gl_FragColor = sum / total * RadialBlurParams.w * gl_Color;
}
