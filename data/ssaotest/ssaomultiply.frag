#version 120
// The plain picture (white geometry on the clear colour) coloured and shaded by the occlusion
// pass: geometry takes `sphere_col` times its ambient light times its occlusion; the
// background keeps its clear colour.
uniform sampler2D render;       // unit 0: the plain picture
uniform sampler2D ssao;         // unit 1: occlusion (r), ambient (g), geometry mask (b)
uniform float uv_mul;           // scale of the occlusion lookup about the centre: below 1 the
                                // occlusion spreads a little outward, a soft contact shadow
uniform float discard_limit;    // occlusion lighter than this counts as none, which keeps the
                                // faint grain of the kernel off open faces
uniform vec3 sphere_col;

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec4 plain = texture2D(render, uv);
    vec4 shading = texture2D(ssao, uv);
    float open = texture2D(ssao, (uv - 0.5) * uv_mul + 0.5).r;
    open = open > discard_limit ? 1.0 : open;
    float geometry = shading.b;
    vec3 colour = mix(vec3(1.0), sphere_col * shading.g * open, geometry);
    gl_FragColor = vec4(plain.rgb * colour, 1.0);
}
