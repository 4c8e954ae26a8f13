#version 120
// Additive radial blur with a chosen number of samples (RadialBlurParams.w, at most 128)
// spread over the whole way to the origin; the weights fall by "step" per sample.
uniform sampler2D tex;
uniform vec4 RadialBlurParams;

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    float count = clamp(RadialBlurParams.w, 1.0, 128.0);
    vec2 toward = (RadialBlurParams.xy - uv) / count;
    float decay = clamp(RadialBlurParams.z, 0.0, 1.0);
    vec4 sum = vec4(0.0);
    float total = 0.0;
    float weight = 1.0;
    for (int i = 0; i < 128; ++i) {
        if (float(i) >= count) break;
        sum += texture2D(tex, uv + toward * float(i)) * weight;
        total += weight;
        weight *= decay;
    }
    gl_FragColor = sum / total * gl_Color;
}
