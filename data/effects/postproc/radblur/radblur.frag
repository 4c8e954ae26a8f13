#version 120
// Radial (zoom) blur around a centre. RadialBlurParams: centre x and y in texture coordinates,
// the weight kept from one sample to the next, and the strength (how far toward the centre
// the samples reach; 0 leaves the picture as it is).
uniform sampler2D tex;
uniform vec4 RadialBlurParams;

const int samples = 24;

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec2 centre = RadialBlurParams.xy;
    float decay = clamp(RadialBlurParams.z, 0.0, 1.0);
    float reach = 0.25 * RadialBlurParams.w / float(samples);
    vec4 sum = vec4(0.0);
    float total = 0.0;
    float weight = 1.0;
    for (int i = 0; i < samples; ++i) {
        sum += texture2D(tex, centre + (uv - centre) * (1.0 - reach * float(i))) * weight;
        total += weight;
        weight *= decay;
    }
    gl_FragColor = sum / total * gl_Color;
}
