#version 120
// Depth of field over the finished picture: colour on unit 0, the scene's depth buffer on unit 1.
// "focus" is the depth (0..1, as stored) that stays sharp and "range" how far from it the blur
// reaches its full radius of "radius" texels. A disc of taps is spread by each pixel's circle
// of confusion; taps much nearer than the pixel itself in focus are weighted down so sharp
// foreground edges do not smear over the background behind them.
uniform sampler2D tex;
uniform sampler2D depth;
uniform float focus;
uniform float range;
uniform float radius;
uniform vec2 texel_size;

const int taps = 12;

float confusion(float d)
{
    float r = range > 0.0 ? range : 0.05;
    return clamp(abs(d - focus) / r, 0.0, 1.0);
}

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec2 texel = texel_size.x > 0.0 && texel_size.y > 0.0 ? texel_size : vec2(1.0 / 512.0);
    float max_radius = radius > 0.0 ? radius : 8.0;
    float coc = confusion(texture2D(depth, uv).r);
    vec4 sum = texture2D(tex, uv);
    float total = 1.0;
    // Points on a golden-angle spiral cover the disc evenly without a table.
    for (int i = 0; i < taps; ++i) {
        float t = (float(i) + 0.5) / float(taps);
        float angle = float(i) * 2.39996;
        vec2 offset = vec2(cos(angle), sin(angle)) * sqrt(t) * coc * max_radius * texel;
        float weight = max(confusion(texture2D(depth, uv + offset).r), coc);
        sum += texture2D(tex, uv + offset) * weight;
        total += weight;
    }
    gl_FragColor = sum / total * gl_Color;
}
